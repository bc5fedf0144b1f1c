#include "platform/diag.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/text.h"
#endif

namespace {

void DefaultSink(DiagStream stream, const char* text, void*) {
#ifdef _WIN32
  // Wide output to a console; UTF-8 bytes to a pipe or file, so that
  // redirected output stays readable and byte-exact.
  HANDLE h = GetStdHandle(stream == DiagStream::Err ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (h != INVALID_HANDLE_VALUE && h != nullptr) {
    // Whatever the C runtime holds goes first, so that lines keep their order.
    std::fflush(stream == DiagStream::Err ? stderr : stdout);
    DWORD written = 0;
    if (GetConsoleMode(h, &mode)) {
      const WString wide = WidenUtf8(text);
      WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
      return;
    }
    // Not through the text-mode stream, which would turn "\r\n" into "\r\r\n".
    if (WriteFile(h, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr)) return;
  }
#endif
  FILE* f = stream == DiagStream::Err ? stderr : stdout;
  std::fputs(text, f);
  std::fflush(f);
}

DiagSink g_sink = DefaultSink;
void* g_context = nullptr;

}  // namespace

DiagSink DiagSetSink(DiagSink sink, void* context) {
  DiagSink previous = g_sink;
  g_sink = sink != nullptr ? sink : DefaultSink;
  g_context = sink != nullptr ? context : nullptr;
  return previous;
}

void DiagVPrintf(DiagStream stream, const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof small) {
    g_sink(stream, small, g_context);
    return;
  }
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(big.data(), big.size(), format, args);
  big.resize(static_cast<size_t>(n));
  g_sink(stream, big.c_str(), g_context);
}

void DiagPrintf(DiagStream stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  DiagVPrintf(stream, format, args);
  va_end(args);
}

void DiagAssertFailed(const char* expression, const char* file, int line) {
  DiagPrintf(DiagStream::Err, "Assertion failed: %s, file %s, line %d\n", expression, file, line);
#ifdef _WIN32
  // A program started from the desktop has no standard error to read the line
  // in: show it in a box before the process goes.
  HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
  if (h == nullptr || h == INVALID_HANDLE_VALUE || GetFileType(h) == FILE_TYPE_UNKNOWN) {
    char text[1024];
    std::snprintf(text, sizeof text, "Assertion failed: %s, file %s, line %d", expression, file, line);
    MessageBoxW(nullptr, WidenUtf8(text).c_str(), L"Assertion failed", MB_OK | MB_ICONERROR | MB_TASKMODAL);
  }
#endif
  std::abort();
}
