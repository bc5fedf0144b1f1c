#include "platform/text.h"

#include <cstdio>

#include "flash/flash.h"
#include "platform/diag.h"

namespace flash {

std::string Utf8(const WString& text) { return NarrowToUtf8(WStringView(text.data(), text.size())); }

std::string Utf8(const WCHAR* text) { return NarrowToUtf8(WStringView(text, WideLength(text))); }

std::string Hex32(DWORD v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(v));
  return text;
}

void Out(const std::string& text) { DiagPrintf(DiagStream::Out, "%s", text.c_str()); }
void Err(const std::string& text) { DiagPrintf(DiagStream::Err, "%s", text.c_str()); }

}  // namespace flash
