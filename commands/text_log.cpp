#include "commands/text_log.h"

#include <algorithm>

TextLog::TextLog(const std::string& text) {
  lines_.clear();
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines_.push_back(text.substr(start, end - start));
  }
  lines_.push_back(text.substr(start));
}

void TextLog::ClearLog() { lines_.assign(1, ""); }

int TextLog::LineCount() const {
  const auto pieces = static_cast<int>(lines_.size());
  return lines_.back().empty() ? pieces - 1 : pieces;
}

std::string TextLog::GetLine(int index) const {
  if (!HasLine(index)) return {};
  return lines_[static_cast<std::size_t>(index)].substr(0, kMaxLineLength);
}

void TextLog::SetLine(int index, const std::string& text) {
  if (!HasLine(index)) return;
  lines_[static_cast<std::size_t>(index)] = text;
}

void TextLog::AddLine(const std::string& text) {
  if (lines_.back().empty()) {
    lines_.back() = text;
    lines_.emplace_back();
  } else {
    lines_.push_back(text);
  }
}

std::string TextLog::Text() const { return LinesFrom(0, "\r\n"); }

std::string TextLog::LinesFrom(int firstLine, const std::string& separator) const {
  const auto first = static_cast<std::size_t>(std::max(firstLine, 0));
  std::string text;
  for (std::size_t i = first; i < lines_.size(); ++i) {
    if (i > first) text += separator;
    text += lines_[i];
  }
  return text;
}
