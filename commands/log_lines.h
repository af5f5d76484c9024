// The five line operations the downloads log through. The text's lines are
// separated by CR LF: an empty text has one empty line, and a text that ends
// with CR LF has an empty last line.
#pragma once

#include <string>

class LogLines {
 public:
  static constexpr std::size_t kMaxLineLength = 4096;

  virtual ~LogLines() = default;

  virtual void ClearLog() = 0;
  // Lines, not counting an empty last line; 0 for an empty text.
  virtual int LineCount() const = 0;
  // At most kMaxLineLength characters; empty past the last line.
  virtual std::string GetLine(int index) const = 0;
  // Replaces an existing line (an empty last line counts); else nothing.
  virtual void SetLine(int index, const std::string& text) = 0;
  // Appends text as a line of its own and ends the text with CR LF when it
  // already did so or was empty.
  virtual void AddLine(const std::string& text) = 0;
};
