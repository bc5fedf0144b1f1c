#include "platform/text.h"

#include "flash/flash.h"
#include "platform/diag.h"

namespace flash {

std::string Utf8(const std::wstring& text) { return NarrowToUtf8(WStringView(text.data(), text.size())); }

std::string Utf8(const WCHAR* text) { return NarrowToUtf8(WStringView(text, WideLength(text))); }

void Out(const std::string& text) { DiagPrintf(DiagStream::Out, "%s", text.c_str()); }
void Err(const std::string& text) { DiagPrintf(DiagStream::Err, "%s", text.c_str()); }

}  // namespace flash
