#include "device/transfer.h"

#include "device/session.h"
#include "image/accept.h"
#include "image/binutils.h"
#include "platform/fileio.h"

namespace {

constexpr ULONGLONG kBootloaderMax = 0x80000;
constexpr ULONGLONG kRecoveryMax = 0x180000;

TransferKind KindOf(TransferKind kind) { return kind & TRANSFER_KIND_MASK; }

// Whether InsertFile announces its success with the box.
bool g_successBox = true;

bool IsReady(IWMDMStorage3* storage) {
  IWMDMStorageGlobals* globals = nullptr;
  if (FAILED(storage->GetStorageGlobals(&globals)) || globals == nullptr) return false;
  DWORD status = 0;
  const bool ready = SUCCEEDED(globals->GetStatus(&status)) && (status & WMDM_STATUS_READY) != 0;
  globals->Release();
  return ready;
}

// A metadata object holding the firmware format code, or null: the copy goes
// ahead without metadata when the service cannot make one.
IWMDMMetaData* FormatCodeMetadata(IWMDMStorage3* storage) {
  IWMDMMetaData* metadata = nullptr;
  if (FAILED(storage->CreateEmptyMetadataObject(&metadata)) || metadata == nullptr) return nullptr;
  DWORD dwFormatCode = kFirmwareFormatCode;
  if (FAILED(metadata->AddItem(WMDM_TYPE_DWORD, g_wszWMDMFormatCode, reinterpret_cast<BYTE*>(&dwFormatCode),
                               sizeof dwFormatCode))) {
    metadata->Release();
    return nullptr;
  }
  return metadata;
}

// One attempt on one storage: E_FAIL when it is not ready or cannot take
// files, else the result of Insert3 (S_OK for any success code).
HRESULT InsertIntoStorage(DeviceManager* dm, IWMDMStorage* found, WString& source, WString& destination) {
  IWMDMStorage3* storage = nullptr;
  if (FAILED(found->QueryInterface(IID_IWMDMStorage3, reinterpret_cast<void**>(&storage))) || storage == nullptr)
    return E_FAIL;
  HRESULT hr = E_FAIL;
  if (IsReady(storage)) {
    IWMDMStorageControl3* control = nullptr;
    if (SUCCEEDED(found->QueryInterface(IID_IWMDMStorageControl3, reinterpret_cast<void**>(&control))) &&
        control != nullptr) {
      IWMDMMetaData* metadata = FormatCodeMetadata(storage);
      IWMDMStorage* created = nullptr;
      const HRESULT r = control->Insert3(WMDM_MODE_BLOCK | WMDM_CONTENT_FILE, 0, source.data(), destination.data(),
                                         nullptr, dm->sink->progressFace(), metadata, nullptr, &created);
      if (metadata != nullptr) metadata->Release();
      if (SUCCEEDED(r)) {
        if (created != nullptr) created->Release();
        hr = S_OK;
      } else {
        hr = r;
      }
      control->Release();
    }
  }
  storage->Release();
  return hr;
}

}  // namespace

bool IsTransferKind(TransferKind kind) {
  switch (KindOf(kind)) {
    case KIND_BOOTLOADER:
    case KIND_RECOVERY:
    case KIND_FONT:
    case KIND_OS_IMAGE:
      return true;
    default:
      return false;
  }
}

bool FitsSizeWindow(TransferKind kind, ULONGLONG cbFile) {
  switch (KindOf(kind)) {
    case KIND_BOOTLOADER:
      return cbFile <= kBootloaderMax;
    case KIND_RECOVERY:
      return cbFile >= kBootloaderMax && cbFile <= kRecoveryMax;
    case KIND_OS_IMAGE:
      return cbFile >= kRecoveryMax;
    case KIND_FONT:
      return true;
    default:
      return false;
  }
}

WString DestinationName(LPCWSTR pwszSourcePath, TransferKind kind) {
  switch (KindOf(kind)) {
    case KIND_BOOTLOADER:
      return WSTR("EBoot.bin");
    case KIND_RECOVERY:
      return WSTR("Recovery.bin");
    case KIND_OS_IMAGE:
      return WSTR("NK.bin");
    case KIND_FONT: {
      const WStringView path(pwszSourcePath, WideLength(pwszSourcePath));
      const size_t slash = path.rfind(WCHAR('\\'));
      return WString(slash == WStringView::npos ? path : path.substr(slash + 1));
    }
    default:
      return WString();
  }
}

HRESULT InsertFile(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, TransferKind kind) {
  HRESULT hr = CheckDeviceManager(hDeviceManager);
  if (FAILED(hr)) return hr;
  if (pwszSourcePath == nullptr) return E_POINTER;
  if (!IsTransferKind(kind)) return E_INVALIDARG;
  DeviceManager* dm = hDeviceManager;
  if (dm->device == nullptr) return E_FAIL;

  // Insert3 takes writable strings; hand it copies rather than our constants.
  WString source(pwszSourcePath);
  WString destination = DestinationName(pwszSourcePath, kind);
  // A font path that ends in a backslash names no file to store.
  if (destination.empty()) return E_INVALIDARG;

  hr = E_FAIL;
  IWMDMEnumStorage* storages = nullptr;
  if (SUCCEEDED(dm->device->EnumStorage(&storages)) && storages != nullptr) {
    for (;;) {
      IWMDMStorage* found = nullptr;
      ULONG fetched = 0;
      if (storages->Next(1, &found, &fetched) != S_OK || found == nullptr) break;
      hr = InsertIntoStorage(dm, found, source, destination);
      found->Release();
      if (hr == S_OK) break;
    }
    storages->Release();
  }
  if (hr == S_OK && g_successBox)
    MessageBoxW(nullptr, WSTR("Download Success!! Please press 'OK' "), WSTR("Status"), MB_OK | MB_TOPMOST);
  return hr;
}

void SetTransferSuccessBox(bool fShow) { g_successBox = fShow; }

namespace {

// The checks of a transfer: the image checks against the held device's make
// and model, then the kind's size window. Fonts go whatever the checks find.
TransferCheck RunTransferChecks(DeviceManager* dm, LPCWSTR pwszSourcePath, TransferKind kind) {
  TransferCheck check = {};
  check.hrRefused = E_FAIL;
  bool accepted = false;
  WIN32_FILE_ATTRIBUTE_DATA fileInfo = {};
  check.fSized = GetFileAttributesExW(pwszSourcePath, GetFileExInfoStandard, &fileInfo) != FALSE;
  if (OpenImage(pwszSourcePath)) {
    check.fImage = true;
    SetExpectedDevice(dm->current.szDeviceManufacturer, dm->current.szDeviceName);
    check.fAccepted = AcceptImage();
    accepted = check.fAccepted && check.fSized;
    if (!check.fAccepted) check.hrRefused = NTE_BAD_SIGNATURE;
    CloseImage();
  }
  check.cbFile = check.fSized ? (static_cast<ULONGLONG>(fileInfo.nFileSizeHigh) << 32) | fileInfo.nFileSizeLow : 0;
  check.fInWindow = check.fSized && FitsSizeWindow(kind, check.cbFile);
  if (KindOf(kind) == KIND_FONT) {
    accepted = true;  // fonts are not signed images: the checks only inform
  } else {
    accepted = accepted && check.fInWindow;
  }
  check.fSend = accepted;
  const WString destination = DestinationName(pwszSourcePath, kind);
  const size_t units = destination.size() < 259 ? destination.size() : 259;
  destination.copy(check.szDestination, units);
  check.szDestination[units] = 0;
  return check;
}

}  // namespace

HRESULT CheckTransfer(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, TransferKind kind, TransferCheck* pCheck) {
  const HRESULT hr = CheckDeviceManager(hDeviceManager);
  if (FAILED(hr)) return hr;
  if (pwszSourcePath == nullptr || pCheck == nullptr) return E_POINTER;
  if (!IsTransferKind(kind)) return E_INVALIDARG;
  ShowWaitCursor();
  *pCheck = RunTransferChecks(hDeviceManager, pwszSourcePath, kind);
  ShowArrowCursor();
  return S_OK;
}

HRESULT TransferFileWithCheck(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, TransferKind kind,
                              TransferCheck* pCheck) {
  HRESULT hr = CheckDeviceManager(hDeviceManager);
  if (FAILED(hr)) return hr;
  if (pwszSourcePath == nullptr) return E_POINTER;
  if (!IsTransferKind(kind)) return E_INVALIDARG;
  ShowWaitCursor();
  const TransferCheck check = RunTransferChecks(hDeviceManager, pwszSourcePath, kind);
  hr = check.fSend ? InsertFile(hDeviceManager, pwszSourcePath, kind) : check.hrRefused;
  ShowArrowCursor();
  if (pCheck != nullptr) *pCheck = check;
  return hr;
}

HRESULT TransferFile(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, TransferKind kind) {
  return TransferFileWithCheck(hDeviceManager, pwszSourcePath, kind, nullptr);
}
