// The log as plain text: the one model of its line rules.
#pragma once

#include <string>
#include <vector>

#include "commands/log_lines.h"

class TextLog : public LogLines {
 public:
  TextLog() = default;
  explicit TextLog(const std::string& text);

  void ClearLog() override;
  int LineCount() const override;
  std::string GetLine(int index) const override;
  void SetLine(int index, const std::string& text) override;
  void AddLine(const std::string& text) override;

  // Whether SetLine(index, ...) would change a line.
  bool HasLine(int index) const { return index >= 0 && index < static_cast<int>(lines_.size()); }

  // Line index as it is, however long; index must be a line (HasLine).
  const std::string& WholeLine(int index) const { return lines_[static_cast<std::size_t>(index)]; }

  std::string Text() const;
  // The lines from firstLine on, whole, joined by separator.
  std::string LinesFrom(int firstLine, const std::string& separator) const;

 private:
  // The pieces between CR LFs: never empty, the last may be "".
  std::vector<std::string> lines_{""};
};
