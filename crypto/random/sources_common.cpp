#include "crypto/random/sources_common.h"

#include <cstring>

#include "crypto/random/wipe.h"
#include "platform/registry.h"
#include "platform/sysinfo.h"

namespace {

const char kSeedKey[] = "SOFTWARE\\Microsoft\\Cryptography\\RNG";
const char kSeedValue[] = "Seed";

BOOL ReadSeed(BYTE rgbSeed[RANDOM_SEED_LEN]) {
  HKEY hKey = nullptr;
  DWORD dwDisposition = 0;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSeedKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_QUERY_VALUE, nullptr,
                      &hKey, &dwDisposition) != ERROR_SUCCESS) {
    return FALSE;
  }
  BYTE rgbValue[RANDOM_SEED_LEN];
  DWORD dwType = 0;
  DWORD cbValue = sizeof(rgbValue);
  LONG status = RegQueryValueExA(hKey, kSeedValue, nullptr, &dwType, rgbValue, &cbValue);
  RegCloseKey(hKey);
  // A value of another type or size is not a seed this program wrote; a
  // short one would replace only part of the seed.
  BOOL fOk = status == ERROR_SUCCESS && dwType == REG_BINARY && cbValue == RANDOM_SEED_LEN;
  if (fOk) std::memcpy(rgbSeed, rgbValue, RANDOM_SEED_LEN);
  SecureWipe(rgbValue, sizeof(rgbValue));
  return fOk;
}

void WriteSeed(const BYTE rgbSeed[RANDOM_SEED_LEN]) {
  HKEY hKey = nullptr;
  DWORD dwDisposition = 0;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSeedKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &hKey,
                      &dwDisposition) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(hKey, kSeedValue, 0, REG_BINARY, rgbSeed, RANDOM_SEED_LEN);
  RegCloseKey(hKey);
}

DWORD ProcessId() { return GetCurrentProcessId(); }
DWORD ThreadId() { return GetCurrentThreadId(); }
DWORD TickCount() { return GetTickCount(); }

void LocalTime(BYTE rgb[16]) {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  static_assert(sizeof(st) == 16);
  std::memcpy(rgb, &st, 16);
}

void PerformanceCounter(BYTE rgb[8]) {
  LARGE_INTEGER li{};
  QueryPerformanceCounter(&li);
  std::memcpy(rgb, &li.QuadPart, 8);
}

// The 32 bytes that the structure has in the 32-bit build; the 64-bit
// structure is longer and its first 32 bytes stand in for it.
void MemoryStatus(BYTE rgb[32]) {
  MEMORYSTATUS ms{};
  ms.dwLength = 32;
  GlobalMemoryStatus(&ms);
  static_assert(sizeof(ms) >= 32);
  std::memcpy(rgb, &ms, 32);
}

BOOL DiskFreeSpace(BYTE rgb[16]) {
  DWORD v[4] = {};
  if (!GetDiskFreeSpaceA(nullptr, &v[0], &v[1], &v[2], &v[3])) return FALSE;
  std::memcpy(rgb, v, 16);
  return TRUE;
}

DWORD ComputerName(BYTE rgb[16]) {
  char sz[16] = {};
  DWORD cch = sizeof(sz);
  if (!GetComputerNameA(sz, &cch) || cch >= sizeof(sz)) return 0;
  std::memcpy(rgb, sz, cch);
  return cch;
}

DWORD UserName(BYTE rgb[257]) {
  char sz[257] = {};
  DWORD cch = sizeof(sz);
  // The count includes the terminator here, unlike the computer name's.
  if (!GetUserNameA(sz, &cch) || cch == 0 || cch > sizeof(sz)) return 0;
  std::memcpy(rgb, sz, cch - 1);
  return cch - 1;
}

}  // namespace

void RandomFillCommonSources(RandomSources* p) {
  p->pfnReadSeed = ReadSeed;
  p->pfnWriteSeed = WriteSeed;
  p->pfnProcessId = ProcessId;
  p->pfnThreadId = ThreadId;
  p->pfnTickCount = TickCount;
  p->pfnLocalTime = LocalTime;
  p->pfnPerformanceCounter = PerformanceCounter;
  p->pfnMemoryStatus = MemoryStatus;
  p->pfnDiskFreeSpace = DiskFreeSpace;
  p->pfnComputerName = ComputerName;
  p->pfnUserName = UserName;
}
