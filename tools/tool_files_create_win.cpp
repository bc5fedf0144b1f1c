#include <windows.h>

#include "platform/text.h"
#include "tools/tool_files_create.h"

namespace toolfiles {

namespace {

std::string SystemMessage(DWORD code) {
  WCHAR text[512];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                           sizeof text / sizeof text[0], nullptr);
  while (n > 0 && (text[n - 1] == L'\n' || text[n - 1] == L'\r' || text[n - 1] == L' ' || text[n - 1] == L'.')) --n;
  if (n == 0) return "system error " + std::to_string(code);
  return NarrowToUtf8(WStringView(text, n));
}

}  // namespace

// Windows gives a new file the folder's inherited permissions; Access has no
// finer meaning here.
bool CreateAndWrite(const std::string& path, const void* bytes, size_t size, Access, std::string* cause) {
  const WString wide = WidenUtf8(path);
  const HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *cause = SystemMessage(GetLastError());
    return false;
  }
  const char* p = static_cast<const char*>(bytes);
  DWORD failure = 0;
  for (size_t done = 0; done < size && failure == 0;) {
    const DWORD chunk = static_cast<DWORD>(size - done < (1u << 24) ? size - done : (1u << 24));
    DWORD written = 0;
    if (!WriteFile(h, p + done, chunk, &written, nullptr) || written == 0) {
      failure = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
    }
    done += written;
  }
  if (!CloseHandle(h) && failure == 0) failure = GetLastError();
  if (failure == 0) return true;
  *cause = SystemMessage(failure);
  DeleteFileW(wide.c_str());
  return false;
}

}  // namespace toolfiles
