#include "sim/paths.h"

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
