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

// What TransferFile found before it copies (or would copy) a file.
struct TransferCheck {
  bool fImage;               // the file opened as a ROM image
  bool fAccepted;            // the image checks accepted it for the held device
  bool fSized;               // the file's size could be read
  ULONGLONG cbFile;          // its whole size
  bool fInWindow;            // the size lies in the kind's window (always for fonts)
  bool fSend;                // everything passed: the copy goes (or would go) ahead
  HRESULT hrRefused;         // TransferFile's result when fSend is false
  WCHAR szDestination[260];  // the file's name on the player
};

// The checks of TransferFile without the copy: nothing is sent. The checks
// run against the held device's make and model (none held: empty texts, so
// a firmware image is refused). E_POINTER, E_HANDLE and E_INVALIDARG as for
// TransferFile; S_OK otherwise, the verdict in *pCheck.
HRESULT CheckTransfer(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, TransferKind kind, TransferCheck* pCheck);

// TransferFile that also hands back what its checks found (pCheck may be null).
HRESULT TransferFileWithCheck(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, TransferKind kind,
                              TransferCheck* pCheck);

// How a successful copy is announced. The window programs show the success
// box; a console program reports the result itself and must not block on a
// box nobody may see. Process-wide; the box is the default.
void SetTransferSuccessBox(bool fShow);
