#include "device/readback.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "crypto/sha1.h"
#include "device/devicemanager_object.h"
#include "device/transfer_stop.h"
#include "platform/fileio.h"
#include "platform/sysinfo.h"
#include "platform/text.h"

namespace {

constexpr DWORD kHashChunk = 256 * 1024;

// A file of ours in the temporary folder, removed when this goes.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates an empty file of a name nobody else holds.
  HRESULT Create() {
    WCHAR folder[260];
    const DWORD length = GetTempPathW(260, folder);
    if (length == 0 || length >= 260) return E_FAIL;
    const DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
      char name[64];
      std::snprintf(name, sizeof name, "tessfold-readback-%08x.tmp", static_cast<unsigned>(seed + attempt));
      WString path = WString(folder, length) + WidenUtf8(name);
      const HANDLE file =
          CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) continue;
      CloseHandle(file);
      path_ = std::move(path);
      return S_OK;
    }
    return E_FAIL;
  }
  const WString& path() const { return path_; }

 private:
  WString path_;
};

}  // namespace

bool DigestFileSha1(LPCWSTR path, ULONGLONG* length, BYTE digest[kReadBackDigestSize]) {
  const HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kHashChunk]);
  ShaContext context;
  ShaInit(&context);
  *length = 0;
  bool ok = buffer != nullptr;
  while (ok) {
    DWORD got = 0;
    ok = ReadFile(file, buffer.get(), kHashChunk, &got, nullptr) != FALSE;
    if (!ok || got == 0) break;
    ShaUpdate(&context, buffer.get(), got);
    *length += got;
  }
  CloseHandle(file);
  if (ok) ShaFinal(&context, digest);
  return ok;
}

namespace {

HRESULT ReadBackInto(DeviceManager* dm, const WString& path) {
  ComPtr<IWMDMStorageControl> control;
  HRESULT hr = dm->sent.Query(IID_IWMDMStorageControl, &control);
  if (FAILED(hr)) return hr;
  WString target(path);  // Read takes a writable string
  hr = control->Read(WMDM_MODE_BLOCK | WMDM_CONTENT_FILE, target.data(), dm->sink->progressFace(), nullptr);
  return SUCCEEDED(hr) ? S_OK : hr;
}

// Deletes the damaged file; its result.
HRESULT RemoveSent(DeviceManager* dm) {
  ComPtr<IWMDMStorageControl> control;
  HRESULT hr = dm->sent.Query(IID_IWMDMStorageControl, &control);
  if (FAILED(hr)) return hr;
  hr = control->Delete(WMDM_MODE_BLOCK, nullptr);
  return SUCCEEDED(hr) ? S_OK : hr;
}

void Compare(DeviceManager* dm, const WString& readBack, ReadBackResult* r) {
  r->fReadDigest = DigestFileSha1(readBack.c_str(), &r->cbRead, r->rgbRead);
  if (!r->fReadDigest) {
    r->outcome = ReadBackOutcome::kReadFailed;
    r->hr = E_FAIL;
    return;
  }
  if (r->cbRead == r->cbSent && std::memcmp(r->rgbRead, r->rgbSent, kReadBackDigestSize) == 0) {
    r->outcome = ReadBackOutcome::kMatched;
    return;
  }
  r->outcome = ReadBackOutcome::kMismatch;
  r->hrDelete = RemoveSent(dm);
  r->fRemoved = SUCCEEDED(r->hrDelete);
  if (r->fRemoved) {
    // The player's file is gone; nothing is left to read back or name.
    dm->sent.Reset();
  }
}

}  // namespace

HRESULT VerifyLastTransfer(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, ReadBackResult* pResult) {
  const HRESULT check = CheckHandleAndArguments(hDeviceManager, pwszSourcePath, pResult);
  if (FAILED(check)) return check;
  DeviceManager* dm = hDeviceManager;
  if (!dm->device || !dm->sent) return E_FAIL;
  ReadBackResult& r = *pResult;
  r = ReadBackResult{};
  r.outcome = ReadBackOutcome::kReadFailed;
  if (TransferStopRequested()) {
    r.hr = WMDM_E_USER_CANCELLED;
    return r.hr;
  }
  r.fSentDigest = DigestFileSha1(pwszSourcePath, &r.cbSent, r.rgbSent);
  if (!r.fSentDigest) {
    r.outcome = ReadBackOutcome::kSourceFailed;
    r.hr = E_FAIL;
    return S_OK;
  }
  TemporaryFile readBack;
  r.hr = readBack.Create();
  if (SUCCEEDED(r.hr)) r.hr = ReadBackInto(dm, readBack.path());
  if (r.hr == WMDM_E_USER_CANCELLED) return r.hr;
  if (FAILED(r.hr)) return S_OK;
  Compare(dm, readBack.path(), &r);
  return S_OK;
}

HRESULT LastTransferStorage(DeviceManager* hDeviceManager, WCHAR* pwszName, UINT cchName) {
  const HRESULT check = CheckHandleAndArguments(hDeviceManager, pwszName);
  if (FAILED(check)) return check;
  if (cchName == 0) return E_INVALIDARG;
  const DeviceManager* dm = hDeviceManager;
  if (dm->szSentStorage[0] == 0 && !dm->sent) return E_FAIL;
  const size_t units = WideLength(dm->szSentStorage);
  const size_t copied = units < cchName - 1 ? units : cchName - 1;
  std::memcpy(pwszName, dm->szSentStorage, copied * sizeof(WCHAR));
  pwszName[copied] = 0;
  return S_OK;
}
