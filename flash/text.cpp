#include "platform/text.h"

#include <cstdio>

#include "flash/flash.h"
#include "platform/diag.h"

namespace flash {

std::string Utf8(const std::wstring& text) { return NarrowToUtf8(WStringView(text.data(), text.size())); }

std::string Utf8(const WCHAR* text) { return NarrowToUtf8(WStringView(text, WideLength(text))); }

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

void Out(const std::string& text) { DiagPrintf(DiagStream::Out, "%s", text.c_str()); }
void Err(const std::string& text) { DiagPrintf(DiagStream::Err, "%s", text.c_str()); }

}  // namespace flash
