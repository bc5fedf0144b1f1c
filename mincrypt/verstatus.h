// Status codes of the verification library that the platform header does not
// already provide. Every verification entry point returns a 32-bit status:
// 0 for success, else one of these HRESULT-style codes or a small Win32 error
// number (ERROR_FILE_NOT_FOUND, ERROR_NO_DATA).
#pragma once

#include "platform/win.h"

#ifndef NTE_BAD_PUBLIC_KEY
#define NTE_BAD_PUBLIC_KEY static_cast<HRESULT>(0x80090015u)
#endif
#ifndef CRYPT_E_AUTH_ATTR_MISSING
#define CRYPT_E_AUTH_ATTR_MISSING static_cast<HRESULT>(0x80091006u)
#endif
