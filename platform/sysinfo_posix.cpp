#include <pwd.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "platform/sysinfo.h"

namespace {

ULONGLONG MonotonicNanoseconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<ULONGLONG>(ts.tv_sec) * 1000000000u + static_cast<ULONGLONG>(ts.tv_nsec);
}

DWORD Clamp32(unsigned long long v) { return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(v); }

SIZE_T ClampSize(unsigned long long v) {
  return v > static_cast<SIZE_T>(-1) ? static_cast<SIZE_T>(-1) : static_cast<SIZE_T>(v);
}

// Copies a name with its terminator when it fits; the Windows calls differ
// only in what they report back, which the callers below sort out.
bool CopyName(const char* name, LPSTR lpBuffer, DWORD cbBuffer) {
  size_t len = std::strlen(name);
  if (lpBuffer == nullptr || len + 1 > cbBuffer) return false;
  std::memcpy(lpBuffer, name, len + 1);
  return true;
}

}  // namespace

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

DWORD GetTickCount() { return static_cast<DWORD>(MonotonicNanoseconds() / 1000000u); }

void GetLocalTime(SYSTEMTIME* lpSystemTime) {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm t{};
  localtime_r(&ts.tv_sec, &t);
  lpSystemTime->wYear = static_cast<WORD>(t.tm_year + 1900);
  lpSystemTime->wMonth = static_cast<WORD>(t.tm_mon + 1);
  lpSystemTime->wDayOfWeek = static_cast<WORD>(t.tm_wday);
  lpSystemTime->wDay = static_cast<WORD>(t.tm_mday);
  lpSystemTime->wHour = static_cast<WORD>(t.tm_hour);
  lpSystemTime->wMinute = static_cast<WORD>(t.tm_min);
  lpSystemTime->wSecond = static_cast<WORD>(t.tm_sec);
  lpSystemTime->wMilliseconds = static_cast<WORD>(ts.tv_nsec / 1000000);
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount) {
  lpPerformanceCount->QuadPart = static_cast<LONGLONG>(MonotonicNanoseconds());
  return TRUE;
}

void GlobalMemoryStatus(MEMORYSTATUS* lpBuffer) {
  std::memset(lpBuffer, 0, sizeof(*lpBuffer));
  lpBuffer->dwLength = sizeof(*lpBuffer);
  struct sysinfo si {};
  if (sysinfo(&si) != 0) return;
  unsigned long long unit = si.mem_unit != 0 ? si.mem_unit : 1;
  unsigned long long total = si.totalram * unit, avail = si.freeram * unit;
  lpBuffer->dwMemoryLoad = total != 0 ? static_cast<DWORD>((total - avail) * 100 / total) : 0;
  lpBuffer->dwTotalPhys = ClampSize(total);
  lpBuffer->dwAvailPhys = ClampSize(avail);
  lpBuffer->dwTotalPageFile = ClampSize(si.totalswap * unit);
  lpBuffer->dwAvailPageFile = ClampSize(si.freeswap * unit);
  lpBuffer->dwTotalVirtual = ClampSize(total);
  lpBuffer->dwAvailVirtual = ClampSize(avail);
}

BOOL GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster, LPDWORD lpBytesPerSector,
                       LPDWORD lpNumberOfFreeClusters, LPDWORD lpTotalNumberOfClusters) {
  struct statvfs st {};
  if (statvfs(lpRootPathName != nullptr ? lpRootPathName : ".", &st) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  // One "sector" per fragment, one "cluster" per fragment: the counts are
  // what matters here, not the geometry.
  if (lpSectorsPerCluster != nullptr) *lpSectorsPerCluster = 1;
  if (lpBytesPerSector != nullptr) *lpBytesPerSector = Clamp32(st.f_frsize);
  if (lpNumberOfFreeClusters != nullptr) *lpNumberOfFreeClusters = Clamp32(st.f_bavail);
  if (lpTotalNumberOfClusters != nullptr) *lpTotalNumberOfClusters = Clamp32(st.f_blocks);
  return TRUE;
}

BOOL GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize) {
  char name[256] = {};
  if (gethostname(name, sizeof(name) - 1) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (!CopyName(name, lpBuffer, *nSize)) {
    *nSize = static_cast<DWORD>(std::strlen(name) + 1);
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return FALSE;
  }
  *nSize = static_cast<DWORD>(std::strlen(name));
  return TRUE;
}

BOOL GetUserNameA(LPSTR lpBuffer, LPDWORD pcbBuffer) {
  char scratch[1024];
  passwd pw{};
  passwd* pResult = nullptr;
  if (getpwuid_r(geteuid(), &pw, scratch, sizeof(scratch), &pResult) != 0 || pResult == nullptr) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (!CopyName(pw.pw_name, lpBuffer, *pcbBuffer)) {
    *pcbBuffer = static_cast<DWORD>(std::strlen(pw.pw_name) + 1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *pcbBuffer = static_cast<DWORD>(std::strlen(pw.pw_name) + 1);
  return TRUE;
}
