#include "platform/win.h"

namespace {
thread_local DWORD g_lastError = 0;
}

DWORD GetLastError() { return g_lastError; }
void SetLastError(DWORD dwErrCode) { g_lastError = dwErrCode; }
