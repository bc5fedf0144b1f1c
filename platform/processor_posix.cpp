#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/processor.h"

namespace {

WORD CpuFamily() {
  std::FILE* f = std::fopen("/proc/cpuinfo", "r");
  if (f == nullptr) return 6;
  char line[256];
  unsigned family = 6;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::strncmp(line, "cpu family", 10) != 0) continue;
    const char* colon = std::strchr(line, ':');
    if (colon != nullptr) std::sscanf(colon + 1, "%u", &family);
    break;
  }
  std::fclose(f);
  return static_cast<WORD>(family);
}

}  // namespace

void GetSystemInfo(LPSYSTEM_INFO info) {
  std::memset(info, 0, sizeof *info);
  const long processors = sysconf(_SC_NPROCESSORS_ONLN);
  info->dwNumberOfProcessors = processors > 0 ? static_cast<DWORD>(processors) : 1;
  info->dwProcessorType = PROCESSOR_INTEL_PENTIUM;
  info->wProcessorLevel = CpuFamily();
}
