#include "device/transfer.h"

#include "device/session.h"
#include "image/accept.h"
#include "image/binutils.h"
#include "platform/fileio.h"

namespace {

constexpr ULONGLONG kBootloaderMax = 0x80000;
constexpr ULONGLONG kRecoveryMax = 0x180000;

TransferKind KindOf(TransferKind kind) { return kind & TRANSFER_KIND_MASK; }

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
  if (hr == S_OK)
    MessageBoxW(nullptr, WSTR("Download Success!! Please press 'OK' "), WSTR("Status"), MB_OK | MB_TOPMOST);
  return hr;
}

HRESULT TransferFile(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, TransferKind kind) {
  HRESULT hr = CheckDeviceManager(hDeviceManager);
  if (FAILED(hr)) return hr;
  if (pwszSourcePath == nullptr) return E_POINTER;
  if (!IsTransferKind(kind)) return E_INVALIDARG;
  DeviceManager* dm = hDeviceManager;

  hr = E_FAIL;
  ShowWaitCursor();
  bool accepted = false;
  WIN32_FILE_ATTRIBUTE_DATA fileInfo = {};
  if (OpenImage(pwszSourcePath)) {
    SetExpectedDevice(dm->current.szDeviceManufacturer, dm->current.szDeviceName);
    const bool signatureAccepted = AcceptImage();
    accepted = signatureAccepted;
    if (accepted && !GetFileAttributesExW(pwszSourcePath, GetFileExInfoStandard, &fileInfo)) accepted = false;
    if (!signatureAccepted) hr = NTE_BAD_SIGNATURE;
    CloseImage();
  }
  const ULONGLONG cbFile = (static_cast<ULONGLONG>(fileInfo.nFileSizeHigh) << 32) | fileInfo.nFileSizeLow;
  if (KindOf(kind) == KIND_FONT) {
    accepted = true;  // fonts are not signed images: the checks only inform
  } else {
    accepted = accepted && FitsSizeWindow(kind, cbFile);
  }
  if (accepted) hr = InsertFile(dm, pwszSourcePath, kind);
  ShowArrowCursor();
  return hr;
}
