// For the device suites only: the copy that TransferFile ends with, without
// its checks.
#pragma once

#include "device/devicemanager.h"

// Copies the file to the first ready storage of the held device that takes
// it, with the "WMDM/FormatCode" metadata, progress through the event sink,
// and the success box. S_OK; E_FAIL with no device held or no ready storage;
// otherwise the last Insert3 failure. Checks the handle like every operation;
// E_INVALIDARG for an unknown kind or a font path that names no file.
HRESULT InsertFileForTest(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, TransferKind kind);
