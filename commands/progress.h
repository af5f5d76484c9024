// How far a running command has got, for a front end to show.
#pragma once

#include <cstddef>

struct CommandProgress {
  std::size_t bytesDone = 0;   // image bytes written so far
  std::size_t bytesTotal = 0;  // 0 for Erase
  double fractionDone = 0;     // 0 to 1, by the estimated time
  double msLeft = 0;           // estimated time still to go
};

class ProgressListener {
 public:
  virtual void OnProgress(const CommandProgress& progress) = 0;

 protected:
  ~ProgressListener() = default;
};
