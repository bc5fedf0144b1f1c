#include "flash/flash_log.h"

#include <windows.h>

#include <cstdio>

#include "flash/result_text.h"

namespace flash {

FlashLog::~FlashLog() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool FlashLog::Open(const WString& path, std::string* why) {
  // FILE_APPEND_DATA alone: every write lands at the end, whoever else has
  // the file open for appending meanwhile.
  file_ = CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ != INVALID_HANDLE_VALUE) return true;
  const DWORD error = GetLastError();
  switch (error) {
    case ERROR_PATH_NOT_FOUND:
      *why = "its folder does not exist";
      break;
    case ERROR_ACCESS_DENIED:
      *why = "access denied (a folder, or a file that may not be written)";
      break;
    case ERROR_SHARING_VIOLATION:
      *why = "another program holds it";
      break;
    default:
      *why = "error " + std::to_string(error);
      break;
  }
  return false;
}

bool FlashLog::Append(const std::string& line) {
  if (file_ == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  return WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) != FALSE &&
         written == line.size();
}

std::string UtcNow() {
  SYSTEMTIME t = {};
  GetSystemTime(&t);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return text;
}

}  // namespace flash
