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
// A host path as the service's callers pass it (for Insert3's source).
WString SimWideFromPath(const std::filesystem::path& path);

// An environment variable as UTF-8 (through the wide API on Windows, so that
// no code page mangles it). False when it is not set.
bool SimGetEnvironment(const char* name, std::string* value);

// A folder that a user named in the environment. Under Wine a Unix absolute
// path ("/home/me/players") is accepted as well and turned into the Windows
// path that names the same folder, so that scripts need no winepath.
std::filesystem::path SimPathFromUserText(const std::string& utf8);
