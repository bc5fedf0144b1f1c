// Conversions between the service's UTF-16 paths, UTF-8 texts and host paths.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/text.h"

// A UTF-8 text as a host path (never through the Windows ANSI code page).
std::filesystem::path SimPathFromUtf8(std::string_view utf8);
std::string SimUtf8FromPath(const std::filesystem::path& path);
// A path as the service's callers pass it. Elsewhere than on Windows a
// backslash separates folders too, as in the platform's file stand-in.
std::filesystem::path SimPathFromWide(const WCHAR* path);
