#include <windows.h>
#include <winternl.h>

#include "crypto/random/random_state.h"
#include "crypto/random/sources_common.h"
#include "crypto/random/sources_win_testing.h"

namespace {

typedef LONG(NTAPI* NtOpenFileFn)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
typedef VOID(NTAPI* RtlInitUnicodeStringFn)(PUNICODE_STRING, PCWSTR);
typedef LONG(NTAPI* NtQuerySystemInformationFn)(ULONG, PVOID, ULONG, PULONG);
typedef BOOL(WINAPI* GetCursorPosFn)(LPPOINT);
typedef LONG(WINAPI* GetMessageTimeFn)();
typedef BOOL(WINAPI* DeviceIoControlFn)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
typedef BOOL(WINAPI* CloseHandleFn)(HANDLE);

// Entry points that older systems may lack, looked up by the probe and used
// only through the table it fills.
struct EntryPoints {
  NtOpenFileFn pfnNtOpenFile;
  RtlInitUnicodeStringFn pfnRtlInitUnicodeString;
  NtQuerySystemInformationFn pfnNtQuerySystemInformation;
  GetCursorPosFn pfnGetCursorPos;
  GetMessageTimeFn pfnGetMessageTime;
  DeviceIoControlFn pfnDeviceIoControl;
  CloseHandleFn pfnCloseHandle;
};
EntryPoints g_entry;
KernelSourceCalls g_testKernel;
bool g_fTestKernel = false;

#define KSEC_DESIRED_ACCESS 0x100001u  // SYNCHRONIZE | FILE_READ_DATA
#define KSEC_SHARE_ACCESS 7u           // read, write, delete
#define KSEC_OPEN_OPTIONS 16u          // synchronous I/O, not alertable
#define KSEC_IOCTL_RANDOM 0x390008u
#define ATTRIBUTE_CASE_INSENSITIVE 0x40u

template <typename Fn>
Fn Lookup(HMODULE hModule, const char* pszName) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(hModule, pszName)));
}

BOOL Kernel(const BYTE* pbIn, DWORD cbIn, BYTE* pbOut, DWORD cbOut, DWORD* pcbOut) {
  *pcbOut = 0;
  UNICODE_STRING name;
  g_entry.pfnRtlInitUnicodeString(&name, L"\\Device\\KsecDD");
  OBJECT_ATTRIBUTES attributes = {};
  // 24 bytes in the 32-bit build; the 64-bit structure is larger and the
  // system checks the length against its own.
  attributes.Length = sizeof(attributes);
  attributes.ObjectName = &name;
  attributes.Attributes = ATTRIBUTE_CASE_INSENSITIVE;
  IO_STATUS_BLOCK iosb = {};
  HANDLE hDevice = nullptr;
  if (g_entry.pfnNtOpenFile(&hDevice, KSEC_DESIRED_ACCESS, &attributes, &iosb, KSEC_SHARE_ACCESS, KSEC_OPEN_OPTIONS) <
      0) {
    return FALSE;
  }
  DWORD cbReturned = 0;
  BOOL fOk = g_entry.pfnDeviceIoControl(hDevice, KSEC_IOCTL_RANDOM, const_cast<BYTE*>(pbIn), cbIn, pbOut, cbOut,
                                        &cbReturned, nullptr);
  g_entry.pfnCloseHandle(hDevice);
  if (fOk) *pcbOut = cbReturned;
  return fOk;
}

BOOL SystemQuery(DWORD dwClass, BYTE* pb, DWORD cb, DWORD* pcbReturned) {
  ULONG cbReturned = 0;
  *pcbReturned = 0;
  if (g_entry.pfnNtQuerySystemInformation(dwClass, pb, cb, &cbReturned) < 0) return FALSE;
  *pcbReturned = cbReturned;
  return TRUE;
}

BOOL CursorPos(BYTE rgb[8]) {
  POINT pt = {};
  if (!g_entry.pfnGetCursorPos(&pt)) return FALSE;
  static_assert(sizeof(pt) == 8);
  CopyMemory(rgb, &pt, 8);
  return TRUE;
}

BOOL MessageTime(BYTE rgb[4]) {
  LONG t = g_entry.pfnGetMessageTime();
  CopyMemory(rgb, &t, 4);
  return TRUE;
}

}  // namespace

void RandomProbePlatform(RandomSources* pSources) {
  *pSources = RandomSources{};
  RandomFillCommonSources(pSources);
  g_entry = EntryPoints{};
  g_entry.pfnDeviceIoControl = DeviceIoControl;
  g_entry.pfnCloseHandle = CloseHandle;
  if (g_fTestKernel) {
    g_entry.pfnNtOpenFile = g_testKernel.pfnNtOpenFile;
    g_entry.pfnRtlInitUnicodeString = g_testKernel.pfnRtlInitUnicodeString;
    g_entry.pfnDeviceIoControl = g_testKernel.pfnDeviceIoControl;
    g_entry.pfnCloseHandle = g_testKernel.pfnCloseHandle;
    pSources->pfnKernel = Kernel;
    return;
  }
  // The high bit of the version word is clear on the NT family.
  const bool fNt = (GetVersion() & 0x80000000u) == 0;
  if (fNt) {
    HMODULE hNtdll = GetModuleHandleA("ntdll.dll");
    if (hNtdll == nullptr) return;
    g_entry.pfnNtOpenFile = Lookup<NtOpenFileFn>(hNtdll, "NtOpenFile");
    g_entry.pfnRtlInitUnicodeString = Lookup<RtlInitUnicodeStringFn>(hNtdll, "RtlInitUnicodeString");
    g_entry.pfnNtQuerySystemInformation = Lookup<NtQuerySystemInformationFn>(hNtdll, "NtQuerySystemInformation");
    if (g_entry.pfnNtOpenFile != nullptr && g_entry.pfnRtlInitUnicodeString != nullptr) pSources->pfnKernel = Kernel;
    if (g_entry.pfnNtQuerySystemInformation != nullptr) pSources->pfnSystemQuery = SystemQuery;
  } else {
    HMODULE hUser32 = LoadLibraryA("user32.dll");
    if (hUser32 == nullptr) return;
    g_entry.pfnGetCursorPos = Lookup<GetCursorPosFn>(hUser32, "GetCursorPos");
    g_entry.pfnGetMessageTime = Lookup<GetMessageTimeFn>(hUser32, "GetMessageTime");
    if (g_entry.pfnGetCursorPos != nullptr) pSources->pfnCursorPos = CursorPos;
    if (g_entry.pfnGetMessageTime != nullptr) pSources->pfnMessageTime = MessageTime;
  }
}

void RandomUseKernelCallsForTests(const KernelSourceCalls* pCalls) {
  g_fTestKernel = pCalls != nullptr;
  g_testKernel = pCalls != nullptr ? *pCalls : KernelSourceCalls{};
}
