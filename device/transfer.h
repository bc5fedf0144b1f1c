// The rules of a file transfer by kind, and the copy onto the held device
// that TransferFile ends with.
#pragma once

#include "device/devicemanager.h"
#include "platform/text.h"

// Object format code stored with every file ("firmware").
constexpr DWORD kFirmwareFormatCode = 0xB802;

// The kinds a TransferKind can select (its other bits are ignored); any other
// combination of the kind bits selects none.
bool IsTransferKind(TransferKind kind);

// Whether a firmware file of `cbFile` bytes may be sent as `kind`:
//   KIND_BOOTLOADER  at most 0x80000
//   KIND_RECOVERY    0x80000 to 0x180000, both included
//   KIND_OS_IMAGE    at least 0x180000
// Fonts have no window (true). The whole 64-bit size counts.
bool FitsSizeWindow(TransferKind kind, ULONGLONG cbFile);

// The file's name on the player: "EBoot.bin", "Recovery.bin" or "NK.bin" for
// firmware, and for a font the text after the last backslash of the source
// path (the whole path without one). Empty for an unknown kind.
WString DestinationName(LPCWSTR pwszSourcePath, TransferKind kind);

// Copies the file to the first ready storage of the held device that takes
// it, with the "WMDM/FormatCode" metadata, progress through the event sink,
// and the success box. S_OK; E_FAIL with no device held or no ready storage;
// otherwise the last Insert3 failure. Checks the handle like every operation;
// E_INVALIDARG for an unknown kind or a font path that names no file.
HRESULT InsertFile(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, TransferKind kind);
