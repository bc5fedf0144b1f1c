// UTF-8 <-> UTF-16 conversion for tools, tests and the diagnostics sink, and
// UTF-8 text as a JSON string for the tools' machine-readable output.
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
// A JSON string literal of UTF-8 text, quotes included: '"' and '\\' are
// escaped and control characters written as \u00XX; all other bytes are
// copied as they are, so ill-formed input stays ill-formed.
std::string JsonQuote(std::string_view utf8);

// Lower-case hex of `length` bytes, two digits a byte (digests as the tools and
// tests print them).
std::string LowerHex(const BYTE* bytes, size_t length);

// Whether two file names are the same name to Windows: equal without regard to
// case (the system's own case table on Windows; the C library's upper-case
// mapping of each UTF-16 unit elsewhere).
bool SameFileNameText(WStringView a, WStringView b);
