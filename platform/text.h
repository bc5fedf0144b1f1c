// UTF-8 <-> UTF-16 conversion for tools, tests and the diagnostics sink.
#pragma once

#include <string>
#include <string_view>

#include "platform/win.h"

using WString = std::basic_string<WCHAR>;
using WStringView = std::basic_string_view<WCHAR>;

// Ill-formed input is replaced with U+FFFD; never fails.
WString WidenUtf8(std::string_view utf8);
std::string NarrowToUtf8(WStringView utf16);
// Length of a zero-terminated UTF-16 string.
size_t WideLength(const WCHAR* s);
