// --log FILE: one JSON line per send attempt, appended. The file is opened
// once, before anything is sent, so that a log that cannot be written stops
// the run before it starts; each line goes out in one write to a file opened
// for appending, so that two runs sharing a log never interleave a line.
#pragma once

#include <string>

#include "flash/flash.h"

namespace flash {

class FlashLog {
 public:
  FlashLog() = default;
  ~FlashLog();
  FlashLog(const FlashLog&) = delete;
  FlashLog& operator=(const FlashLog&) = delete;

  // Opens (or creates) `path` for appending; false with the reason in *why.
  bool Open(const WString& path, std::string* why);
  bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }
  // Appends one line; false when it could not be written whole.
  bool Append(const std::string& line);

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

// The current time in UTC as 2026-12-11T14:05:09Z.
std::string UtcNow();

}  // namespace flash
