// Diagnostic lines of the image and verification layers.
//
// Callers format UTF-8 text printf-style (wide strings are converted with
// NarrowToUtf8 first) and include their own line ending ("\n" or "\r\n").
// The default sink writes to the process's standard output or error stream:
// UTF-8 bytes on Linux, UTF-16 console output on Windows. Tests install their
// own sink to capture exact lines.
#pragma once

#include <cstdarg>

enum class DiagStream { Out, Err };

using DiagSink = void (*)(DiagStream stream, const char* text, void* context);

// Installs `sink` (null restores the default) and returns the previous one.
DiagSink DiagSetSink(DiagSink sink, void* context);

void DiagPrintf(DiagStream stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
void DiagVPrintf(DiagStream stream, const char* format, va_list args);

// Programming errors: prints "Assertion failed: <expr>, file <file>, line <n>"
// to the error stream and aborts. Active in every build: a violated invariant
// must never run on.
[[noreturn]] void DiagAssertFailed(const char* expression, const char* file, int line);

#define TF_ASSERT(expr) ((expr) ? static_cast<void>(0) : DiagAssertFailed(#expr, __FILE__, __LINE__))
