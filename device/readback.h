// Reading back what the last copy put on the player: the file that Insert3
// made is read through the service into a temporary file of our own and
// compared, length and SHA-1, with the file that was sent. A copy that only
// reported success proves nothing to a player's boot loader.
#pragma once

#include "device/devicemanager.h"

inline constexpr UINT kReadBackDigestSize = 20;

enum class ReadBackOutcome {
  kMatched,       // the player holds exactly the file that was sent
  kMismatch,      // it holds something else; see fRemoved
  kReadFailed,    // the file could not be read back (it is left on the player)
  kSourceFailed,  // the sent file cannot be read here any more; nothing was compared
};

struct ReadBackResult {
  ReadBackOutcome outcome;
  HRESULT hr;        // the failing call's result (Read, the temporary file, Delete); S_OK when matched
  ULONGLONG cbSent;  // length of the file that was sent
  ULONGLONG cbRead;  // length of what came back (0 when nothing did)
  bool fSentDigest;  // rgbSent holds the sent file's SHA-1
  bool fReadDigest;  // rgbRead holds the read-back's SHA-1
  BYTE rgbSent[kReadBackDigestSize];
  BYTE rgbRead[kReadBackDigestSize];
  bool fRemoved;     // after a mismatch: the damaged file was deleted from the player
  HRESULT hrDelete;  // after a mismatch: Delete's result
};

// Reads back the file that the last successful TransferFile made on the held
// device and compares it with `pwszSourcePath` (the file that was sent). On a
// mismatch the damaged file is deleted from the player. Progress goes to the
// window as for a copy. The temporary file is always removed.
// E_POINTER/E_HANDLE as every operation; E_FAIL when no copy was made since
// the device was held (nothing in *pResult); WMDM_E_USER_CANCELLED when a
// stop was requested before or during the read (outcome kReadFailed); S_OK
// otherwise, the verdict in *pResult.
HRESULT VerifyLastTransfer(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, ReadBackResult* pResult);

// The length and SHA-1 of a file, read to its end; false when it cannot be.
bool DigestFileSha1(LPCWSTR pwszPath, ULONGLONG* pcbLength, BYTE rgbDigest[kReadBackDigestSize]);

// The name of the storage the last successful copy went to; E_FAIL when none.
HRESULT LastTransferStorage(DeviceManager* hDeviceManager, WCHAR* pwszName, UINT cchName);
