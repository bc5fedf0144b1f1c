// Test hook of the Windows sources. Product code never includes this file.
//
// The kernel source opens the kernel security driver and asks it for bytes
// through four calls; a test may put its own in their place to see the
// request they carry.
#pragma once

#include <windows.h>
#include <winternl.h>

struct KernelSourceCalls {
  LONG(NTAPI* pfnNtOpenFile)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
  VOID(NTAPI* pfnRtlInitUnicodeString)(PUNICODE_STRING, PCWSTR);
  BOOL(WINAPI* pfnDeviceIoControl)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* pfnCloseHandle)(HANDLE);
};

// From the next platform probe on, the kernel source makes these calls
// (and exists whatever the system offers); null returns to the system's.
void RandomUseKernelCallsForTests(const KernelSourceCalls* pCalls);
