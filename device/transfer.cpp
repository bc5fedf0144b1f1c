#include "device/transfer.h"

#include <utility>

#include "device/devicemanager_object.h"
#include "device/transfer_kinds.h"
#include "device/transfer_stop.h"
#include "device/transfer_testing.h"
#include "image/accept.h"
#include "image/binutils.h"
#include "platform/fileio.h"

namespace {

// Whether InsertFile announces its success with the box.
bool g_successBox = true;

bool IsReady(const ComPtr<IWMDMStorage3>& storage) {
  ComPtr<IWMDMStorageGlobals> globals;
  if (FAILED(globals.Receive(storage->GetStorageGlobals(globals.Out())))) return false;
  DWORD status = 0;
  return SUCCEEDED(globals->GetStatus(&status)) && (status & WMDM_STATUS_READY) != 0;
}

// A metadata object holding the firmware format code, or nothing: the copy
// goes ahead without metadata when the service cannot make one.
ComPtr<IWMDMMetaData> FormatCodeMetadata(const ComPtr<IWMDMStorage3>& storage) {
  ComPtr<IWMDMMetaData> metadata;
  if (FAILED(metadata.Receive(storage->CreateEmptyMetadataObject(metadata.Out())))) return metadata;
  DWORD dwFormatCode = kFirmwareFormatCode;
  if (FAILED(metadata->AddItem(WMDM_TYPE_DWORD, g_wszWMDMFormatCode, reinterpret_cast<BYTE*>(&dwFormatCode),
                               sizeof dwFormatCode)))
    metadata.Reset();
  return metadata;
}

// One attempt on one storage: E_FAIL when it is not ready or cannot take
// files, else the result of Insert3 (S_OK for any success code).
HRESULT InsertIntoStorage(DeviceManager* dm, const ComPtr<IWMDMStorage>& found, WString& source, WString& destination) {
  ComPtr<IWMDMStorage3> storage;
  if (FAILED(found.Query(IID_IWMDMStorage3, &storage)) || !IsReady(storage)) return E_FAIL;
  ComPtr<IWMDMStorageControl3> control;
  if (FAILED(found.Query(IID_IWMDMStorageControl3, &control))) return E_FAIL;
  const ComPtr<IWMDMMetaData> metadata = FormatCodeMetadata(storage);
  ComPtr<IWMDMStorage> created;
  const HRESULT hr = control->Insert3(WMDM_MODE_BLOCK | WMDM_CONTENT_FILE, 0, source.data(), destination.data(),
                                      nullptr, dm->sink->progressFace(), metadata.Get(), nullptr, created.Out());
  if (FAILED(hr)) {
    created.Detach();  // what a failed call left is not ours
    return hr;
  }
  // Kept for a read-back; the storage's name says where the file went.
  dm->sent = std::move(created);
  if (FAILED(found->GetName(dm->szSentStorage, kTextUnits))) dm->szSentStorage[0] = 0;
  dm->szSentStorage[kTextUnits - 1] = 0;
  return S_OK;
}

// What the transfer's operations open with: the handle, the pointers, then
// the kind.
template <typename... Arguments>
HRESULT CheckTransferArguments(const DeviceManager* hDeviceManager, TransferKind kind, const Arguments*... arguments) {
  const HRESULT hr = CheckHandleAndArguments(hDeviceManager, arguments...);
  if (FAILED(hr)) return hr;
  return IsTransferKind(kind) ? S_OK : E_INVALIDARG;
}

HRESULT InsertFile(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, TransferKind kind) {
  HRESULT hr = CheckTransferArguments(hDeviceManager, kind, pwszSourcePath);
  if (FAILED(hr)) return hr;
  DeviceManager* dm = hDeviceManager;
  if (!dm->device) return E_FAIL;

  // Insert3 takes writable strings; hand it copies rather than our constants.
  WString source(pwszSourcePath);
  WString destination = DestinationName(pwszSourcePath, kind);
  // A font path that ends in a backslash names no file to store.
  if (destination.empty()) return E_INVALIDARG;

  dm->sent.Reset();
  dm->szSentStorage[0] = 0;
  if (TransferStopRequested()) return WMDM_E_USER_CANCELLED;

  hr = E_FAIL;
  ComPtr<IWMDMEnumStorage> storages;
  if (SUCCEEDED(storages.Receive(dm->device->EnumStorage(storages.Out())))) {
    while (hr != S_OK) {
      const ComPtr<IWMDMStorage> found = NextItem<IWMDMStorage>(storages.Get());
      if (!found) break;
      hr = InsertIntoStorage(dm, found, source, destination);
    }
  }
  if (hr == S_OK && g_successBox)
    MessageBoxW(nullptr, WSTR("Download Success!! Please press 'OK' "), WSTR("Status"), MB_OK | MB_TOPMOST);
  return hr;
}

// The checks of a transfer: the image checks against the held device's make
// and model, then the kind's size window. Kinds that the image checks do not
// bind (fonts) go whatever the checks find.
TransferCheck RunTransferChecks(DeviceManager* dm, LPCWSTR pwszSourcePath, const TransferKindInfo& kind) {
  TransferCheck check = {};
  check.hrRefused = E_FAIL;
  WIN32_FILE_ATTRIBUTE_DATA fileInfo = {};
  check.fSized = GetFileAttributesExW(pwszSourcePath, GetFileExInfoStandard, &fileInfo) != FALSE;
  if (OpenImage(pwszSourcePath)) {
    check.fImage = true;
    SetExpectedDevice(dm->current.szDeviceManufacturer, dm->current.szDeviceName);
    check.fAccepted = AcceptImage();
    if (!check.fAccepted) check.hrRefused = NTE_BAD_SIGNATURE;
    CloseImage();
  }
  check.cbFile = check.fSized ? (static_cast<ULONGLONG>(fileInfo.nFileSizeHigh) << 32) | fileInfo.nFileSizeLow : 0;
  check.fInWindow = check.fSized && InSizeWindow(kind.window, check.cbFile);
  const WString destination = DestinationName(pwszSourcePath, kind.kind);
  check.fReservedName = !kind.fImageChecksBind && IsFirmwareDestinationName(destination.c_str());
  check.fSend = kind.fImageChecksBind ? check.fAccepted && check.fInWindow : !check.fReservedName;
  if (check.fReservedName) check.hrRefused = E_ACCESSDENIED;
  const size_t units = destination.size() < 259 ? destination.size() : 259;
  destination.copy(check.szDestination, units);
  check.szDestination[units] = 0;
  return check;
}

}  // namespace

bool IsTransferKind(TransferKind kind) { return FindTransferKind(kind) != nullptr; }

bool FitsSizeWindow(TransferKind kind, ULONGLONG cbFile) {
  const TransferKindInfo* row = FindTransferKind(kind);
  return row != nullptr && InSizeWindow(row->window, cbFile);
}

WString DestinationName(LPCWSTR pwszSourcePath, TransferKind kind) {
  const TransferKindInfo* row = FindTransferKind(kind);
  if (row == nullptr) return WString();
  if (row->pwszDestination != nullptr) return row->pwszDestination;
  const WStringView path(pwszSourcePath, WideLength(pwszSourcePath));
  const size_t slash = path.rfind(WCHAR('\\'));
  return WString(slash == WStringView::npos ? path : path.substr(slash + 1));
}

bool IsFirmwareDestinationName(LPCWSTR pwszName) {
  if (pwszName == nullptr) return false;
  WStringView name(pwszName, WideLength(pwszName));
  while (!name.empty() && (name.back() == WCHAR('.') || name.back() == WCHAR(' '))) name.remove_suffix(1);
  for (const TransferKindInfo& row : kTransferKinds) {
    if (row.pwszDestination != nullptr &&
        SameFileNameText(name, WStringView(row.pwszDestination, WideLength(row.pwszDestination))))
      return true;
  }
  return false;
}

HRESULT InsertFileForTest(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, TransferKind kind) {
  return InsertFile(hDeviceManager, pwszSourcePath, kind);
}

void SetTransferSuccessBox(bool fShow) { g_successBox = fShow; }

HRESULT CheckTransfer(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, TransferKind kind, TransferCheck* pCheck) {
  const HRESULT hr = CheckTransferArguments(hDeviceManager, kind, pwszSourcePath, pCheck);
  if (FAILED(hr)) return hr;
  const WaitCursor wait;
  *pCheck = RunTransferChecks(hDeviceManager, pwszSourcePath, *FindTransferKind(kind));
  return S_OK;
}

HRESULT TransferFileWithCheck(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, TransferKind kind,
                              TransferCheck* pCheck) {
  HRESULT hr = CheckTransferArguments(hDeviceManager, kind, pwszSourcePath);
  if (FAILED(hr)) return hr;
  TransferCheck check;
  {
    const WaitCursor wait;
    check = RunTransferChecks(hDeviceManager, pwszSourcePath, *FindTransferKind(kind));
    hr = check.fSend ? InsertFile(hDeviceManager, pwszSourcePath, kind) : check.hrRefused;
  }
  if (pCheck != nullptr) *pCheck = check;
  return hr;
}

HRESULT TransferFile(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, TransferKind kind) {
  return TransferFileWithCheck(hDeviceManager, pwszSourcePath, kind, nullptr);
}
