// The rules of a file transfer by kind, and what TransferFile found before
// it copied.
#pragma once

#include "device/devicemanager.h"
#include "platform/text.h"

// Object format code stored with every file ("firmware").
constexpr DWORD kFirmwareFormatCode = 0xB802;

// The kinds a TransferKind can select (its other bits are ignored); any other
// combination of the kind bits selects none. The rules per kind are the table
// in device/transfer_kinds.h.
bool IsTransferKind(TransferKind kind);

// Whether a firmware file of `cbFile` bytes may be sent as `kind`: inside
// the kind's size window (fonts have none). The whole 64-bit size counts.
bool FitsSizeWindow(TransferKind kind, ULONGLONG cbFile);

// The file's name on the player: the kind's fixed name ("EBoot.bin",
// "Recovery.bin", "NK.bin"), and for a font the text after the last backslash
// of the source path (the whole path without one). Empty for an unknown kind.
WString DestinationName(LPCWSTR pwszSourcePath, TransferKind kind);

// Whether `pwszName` names one of the firmware files on the player
// ("EBoot.bin", "Recovery.bin", "NK.bin") as Windows compares file names:
// without regard to case, and with the trailing dots and spaces that Windows
// drops from a name. A font of such a name would replace the firmware with
// content nobody checked, so TransferFile refuses it (E_ACCESSDENIED).
bool IsFirmwareDestinationName(LPCWSTR pwszName);

// What TransferFile found before it copies (or would copy) a file.
struct TransferCheck {
  bool fImage;               // the file opened as a ROM image
  bool fAccepted;            // the image checks accepted it for the held device
  bool fSized;               // the file's size could be read
  ULONGLONG cbFile;          // its whole size
  bool fInWindow;            // the size lies in the kind's window (always for fonts)
  bool fReservedName;        // a font named as a firmware file is (it would replace the firmware)
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
