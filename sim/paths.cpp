#include "sim/paths.h"

#include <cstdlib>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

fs::path SimPathFromUtf8(std::string_view utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string SimUtf8FromPath(const fs::path& path) {
  const std::u8string s = path.u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

fs::path SimPathFromWide(const WCHAR* path) {
#ifdef _WIN32
  return fs::path(std::wstring(path));
#else
  std::string utf8 = NarrowToUtf8(WStringView(path, WideLength(path)));
  for (char& c : utf8) {
    if (c == '\\') c = '/';
  }
  return SimPathFromUtf8(utf8);
#endif
}

WString SimWideFromPath(const fs::path& path) {
#ifdef _WIN32
  return path.wstring();
#else
  return WidenUtf8(SimUtf8FromPath(path));
#endif
}

#ifdef _WIN32

bool SimGetEnvironment(const char* name, std::string* value) {
  const WString wideName = WidenUtf8(name);
  std::vector<WCHAR> buffer(256);
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD n = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
      value->clear();  // set, but empty
      return true;
    }
    if (n < buffer.size()) {
      *value = NarrowToUtf8(WStringView(buffer.data(), n));
      return true;
    }
    buffer.resize(n);
  }
}

fs::path SimPathFromUserText(const std::string& utf8) {
  if (!utf8.empty() && utf8[0] == '/') {
    // Wine's own export; absent on Windows, where such a path stays as given.
    using ToDos = WCHAR*(CDECL*)(const char*);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto toDos =
        kernel ? reinterpret_cast<ToDos>(reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_dos_file_name")))
               : nullptr;
    if (toDos != nullptr) {
      WCHAR* dos = toDos(utf8.c_str());
      if (dos != nullptr) {
        fs::path path(dos);
        HeapFree(GetProcessHeap(), 0, dos);
        return path;
      }
    }
  }
  return SimPathFromUtf8(utf8);
}

#else

bool SimGetEnvironment(const char* name, std::string* value) {
  const char* v = std::getenv(name);
  if (v == nullptr) return false;
  *value = v;
  return true;
}

fs::path SimPathFromUserText(const std::string& utf8) { return SimPathFromUtf8(utf8); }

#endif
