// The Windows types, constants and calls that Tessfold's portable code uses.
// On Windows this is the real SDK; elsewhere it declares the same names with
// the same sizes and provides small stand-ins (see the *_posix.cpp files).
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32

#include <windows.h>

// Wide literals are UTF-16 on both sides: L"" here, u"" elsewhere.
#define WSTR(s) L##s

#else  // !_WIN32

#define WSTR(s) u##s

#ifndef WINAPI
#define WINAPI
#endif
#ifndef STDMETHODCALLTYPE
#define STDMETHODCALLTYPE
#endif

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int BOOL;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint64_t DWORD64;
typedef size_t SIZE_T;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef int32_t HRESULT;
typedef char CHAR;
typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void VOID;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* PBYTE;
typedef BYTE* LPBYTE;
typedef DWORD* PDWORD;
typedef DWORD* LPDWORD;
typedef LONG* PLONG;
typedef void* HANDLE;
typedef void* HLOCAL;

#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define MAKE_HRESULT(sev, fac, code)                                                             \
  static_cast<HRESULT>((static_cast<uint32_t>(sev) << 31) | (static_cast<uint32_t>(fac) << 16) | \
                       static_cast<uint32_t>(code))

#define S_OK static_cast<HRESULT>(0)
#define S_FALSE static_cast<HRESULT>(1)
#define E_NOTIMPL static_cast<HRESULT>(0x80004001u)
#define E_NOINTERFACE static_cast<HRESULT>(0x80004002u)
#define E_POINTER static_cast<HRESULT>(0x80004003u)
#define E_ABORT static_cast<HRESULT>(0x80004004u)
#define E_FAIL static_cast<HRESULT>(0x80004005u)
#define E_UNEXPECTED static_cast<HRESULT>(0x8000FFFFu)
#define E_HANDLE static_cast<HRESULT>(0x80070006u)
#define E_ACCESSDENIED static_cast<HRESULT>(0x80070005u)
#define E_OUTOFMEMORY static_cast<HRESULT>(0x8007000Eu)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057u)
#define NTE_BAD_SIGNATURE static_cast<HRESULT>(0x80090006u)
#define NTE_BAD_ALGID static_cast<HRESULT>(0x80090008u)
#define CLASS_E_NOAGGREGATION static_cast<HRESULT>(0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE static_cast<HRESULT>(0x80040111u)
#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154u)
#define CONNECT_E_NOCONNECTION static_cast<HRESULT>(0x80040200u)
#define CONNECT_E_ADVISELIMIT static_cast<HRESULT>(0x80040201u)
#define CRYPT_E_BAD_MSG static_cast<HRESULT>(0x8009200Du)
#define CRYPT_E_HASH_VALUE static_cast<HRESULT>(0x80091007u)
#define CRYPT_E_NO_SIGNER static_cast<HRESULT>(0x8009200Eu)
#define CRYPT_E_NOT_FOUND static_cast<HRESULT>(0x80092004u)
#define CRYPT_E_UNKNOWN_ALGO static_cast<HRESULT>(0x80091002u)
#define CERT_E_CHAINING static_cast<HRESULT>(0x800B010Au)
#define CERT_E_PURPOSE static_cast<HRESULT>(0x800B0106u)
#define CERT_E_UNTRUSTEDROOT static_cast<HRESULT>(0x800B0109u)
#define TRUST_E_NOSIGNATURE static_cast<HRESULT>(0x800B0100u)

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_HANDLE_EOF 38L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_NO_DATA 232L

DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

#endif  // _WIN32
