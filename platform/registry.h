// The registry calls that the random generator's seed uses. On Windows these
// are the real ones. Elsewhere the stand-in keeps one small file per value
// (its raw bytes) under the folder named by TESSFOLD_REGISTRY:
// <folder>/HKLM/SOFTWARE/.../<key>/<value name>. Without that variable there
// is no registry and every call fails, so nothing is ever written outside a
// folder the caller chose. Only REG_BINARY values are kept.
#pragma once

#include "platform/win.h"

#ifndef _WIN32

#define TF_REGISTRY_ENV "TESSFOLD_REGISTRY"

typedef struct TfRegistryKey* HKEY;
typedef LONG LSTATUS;
typedef DWORD REGSAM;
struct SECURITY_ATTRIBUTES;

#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))

#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define REG_OPTION_NON_VOLATILE 0u
#define REG_BINARY 3u
#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u
#define ERROR_MORE_DATA 234L

// Opens the key, creating every missing part of its path. hKey must be one of
// the two predefined roots above.
LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                        const SECURITY_ATTRIBUTES* lpSecurityAttributes, HKEY* phkResult, LPDWORD lpdwDisposition);
// As on Windows: lpData null asks for the size; a buffer too small gives
// ERROR_MORE_DATA with the size needed in *lpcbData.
LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData);
// Replaces the value as a whole (written beside it, then renamed into place).
LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData, DWORD cbData);
LSTATUS RegCloseKey(HKEY hKey);

#endif  // !_WIN32
