// Processor information: GetSystemInfo on Windows; elsewhere a stand-in that
// reports the host's processor in the same terms.
#pragma once

#include "platform/win.h"

#ifndef _WIN32

#define PROCESSOR_INTEL_386 386
#define PROCESSOR_INTEL_486 486
#define PROCESSOR_INTEL_PENTIUM 586

// Only the fields that callers read; the Windows structure has more.
struct SYSTEM_INFO {
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  WORD wProcessorLevel;
};
typedef SYSTEM_INFO* LPSYSTEM_INFO;

// The processor type is PROCESSOR_INTEL_PENTIUM on x86 hosts (as Windows
// reports every processor since), the level the "cpu family" of the first
// processor in /proc/cpuinfo (6 when it cannot be read).
void GetSystemInfo(LPSYSTEM_INFO lpSystemInfo);

#endif  // !_WIN32
