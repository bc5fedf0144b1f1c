// Identifiers, clocks, memory and disk figures and names of the machine, as
// the random generator collects them. On Windows these are the real calls;
// elsewhere small stand-ins over POSIX with the same shapes and sizes.
#pragma once

#include "platform/win.h"

#ifndef _WIN32

#define ERROR_BUFFER_OVERFLOW 111L
#define ERROR_INSUFFICIENT_BUFFER 122L

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};

struct MEMORYSTATUS {
  DWORD dwLength;
  DWORD dwMemoryLoad;  // percent of physical memory in use
  SIZE_T dwTotalPhys;
  SIZE_T dwAvailPhys;
  SIZE_T dwTotalPageFile;
  SIZE_T dwAvailPageFile;
  SIZE_T dwTotalVirtual;
  SIZE_T dwAvailVirtual;
};

DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();
// Milliseconds since boot (monotonic clock), wrapping at 2^32.
DWORD GetTickCount();
// The wall clock in local time.
void GetLocalTime(SYSTEMTIME* lpSystemTime);
// The monotonic clock in nanoseconds.
BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount);
void GlobalMemoryStatus(MEMORYSTATUS* lpBuffer);
// lpRootPathName null means the current folder's file system.
BOOL GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster, LPDWORD lpBytesPerSector,
                       LPDWORD lpNumberOfFreeClusters, LPDWORD lpTotalNumberOfClusters);
// *nSize: buffer size in; length without the terminator out. A buffer too
// small fails with ERROR_BUFFER_OVERFLOW and the size needed.
BOOL GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize);
// *pcbBuffer: buffer size in; length *with* the terminator out, as on
// Windows. A buffer too small fails with ERROR_INSUFFICIENT_BUFFER.
BOOL GetUserNameA(LPSTR lpBuffer, LPDWORD pcbBuffer);

#endif  // !_WIN32
