#include <cstring>
#include <new>

#include "device/session.h"

namespace {

// What the service's root object is created with.
constexpr DWORD kRootContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
// Credential flags handed to the channel together with the placeholders.
constexpr DWORD kCredentialFlags = 2;
constexpr UINT kTextUnits = 260;

// Runs the channel's handshake with the first protocol the service offers.
HRESULT Authenticate(DeviceManager* dm) {
  static const BYTE kPlaceholder[1] = {0};  // all zero: use the built-in credentials
  HRESULT hr = dm->channel->setCredentials(kCredentialFlags, kPlaceholder, sizeof kPlaceholder, kPlaceholder,
                                           sizeof kPlaceholder);
  if (FAILED(hr)) return hr;
  dm->channel->attachPeer(dm->root);

  DWORD* protocols = nullptr;
  DWORD count = 0;
  hr = dm->root->SACGetProtocols(&protocols, &count);
  if (SUCCEEDED(hr)) hr = count != 0 && protocols != nullptr ? dm->channel->authenticate(protocols[0]) : E_FAIL;
  if (protocols != nullptr) CoTaskMemFree(protocols);
  return hr;
}

HRESULT ReachDeviceManager2(DeviceManager* dm) {
  IWMDeviceManager* manager1 = nullptr;
  HRESULT hr = dm->root->QueryInterface(IID_IWMDeviceManager, reinterpret_cast<void**>(&manager1));
  if (FAILED(hr)) return hr;
  hr = manager1->QueryInterface(IID_IWMDeviceManager2, reinterpret_cast<void**>(&dm->manager));
  if (FAILED(hr)) dm->manager = nullptr;
  manager1->Release();
  return hr;
}

// Device events are a comfort, not a need: any failure here leaves the
// DeviceManager working without them.
void AdviseForDeviceEvents(DeviceManager* dm) {
  IConnectionPointContainer* container = nullptr;
  if (FAILED(dm->manager->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))) ||
      container == nullptr)
    return;
  if (SUCCEEDED(container->FindConnectionPoint(IID_IWMDMNotification, &dm->connectionPoint)) &&
      dm->connectionPoint != nullptr) {
    if (FAILED(dm->connectionPoint->Advise(dm->sink->progressFace(), &dm->cookie))) {
      ReleaseAndClear(dm->connectionPoint);
      dm->cookie = 0;
    }
  } else {
    dm->connectionPoint = nullptr;
  }
  container->Release();
}

// Opens a fresh enumeration over a re-read list of devices.
HRESULT OpenEnumeration(DeviceManager* dm) {
  dm->manager->Reinitialize();
  const HRESULT hr = dm->manager->EnumDevices2(&dm->enumeration);
  if (FAILED(hr)) {
    dm->enumeration = nullptr;
    return hr;
  }
  return dm->enumeration != nullptr ? hr : E_FAIL;
}

// The next device of the open enumeration, or null at its end (the service's
// "no more" and its errors alike).
IWMDMDevice* NextDevice(IWMDMEnumDevice* enumeration) {
  IWMDMDevice* device = nullptr;
  ULONG fetched = 0;
  if (enumeration->Next(1, &device, &fetched) != S_OK) return nullptr;
  return device;
}

// Passes on the result of a query that filled a 260-unit text field, after
// making sure the field is terminated even if the service filled it to the brim.
HRESULT Terminated(HRESULT hr, WCHAR (&field)[kTextUnits]) {
  field[kTextUnits - 1] = 0;
  return hr;
}

bool SameText(const WCHAR* a, const WCHAR* b) {
  for (UINT i = 0; i < kTextUnits; ++i) {
    if (a[i] != b[i]) return false;
    if (a[i] == 0) return true;
  }
  return true;
}

// Whether a ready storage device is the one the record describes.
bool IsRecordedDevice(IWMDMDevice2* device, const DFTInfo& record) {
  DWORD status = 0;
  DWORD type = 0;
  if (FAILED(device->GetStatus(&status)) || (status & WMDM_STATUS_READY) == 0) return false;
  if (FAILED(device->GetType(&type)) || (type & WMDM_DEVICE_TYPE_STORAGE) == 0) return false;

  WCHAR text[kTextUnits] = {};
  if (FAILED(Terminated(device->GetManufacturer(text, kTextUnits), text)) ||
      !SameText(text, record.szDeviceManufacturer))
    return false;
  std::memset(text, 0, sizeof text);
  if (FAILED(Terminated(device->GetName(text, kTextUnits), text)) || !SameText(text, record.szDeviceName)) return false;
  if (record.dwDeviceVersion != 0) {
    DWORD version = 0;
    if (FAILED(device->GetVersion(&version)) || version != record.dwDeviceVersion) return false;
  }
  return true;
}

}  // namespace

DeviceManager* DeviceManagerCreate(HWND hWnd, UINT uMsg) { return DeviceManagerCreateWithResult(hWnd, uMsg, nullptr); }

DeviceManager* DeviceManagerCreateWithResult(HWND hWnd, UINT uMsg, DeviceManagerCreateResult* pResult) {
  HRESULT hr = E_FAIL;
  DeviceManagerCreateStage stage = DeviceManagerCreateStage::kMemory;
  DeviceManager* dm = new (std::nothrow) DeviceManager;
  ShowWaitCursor();
  if (dm != nullptr) {
    dm->channel = new (std::nothrow) ChannelInitiator;
    if (dm->channel != nullptr) {
      stage = DeviceManagerCreateStage::kService;
      hr = CoCreateInstance(CLSID_MediaDevMgr, nullptr, kRootContext, IID_IComponentAuthenticate,
                            reinterpret_cast<void**>(&dm->root));
      if (FAILED(hr)) dm->root = nullptr;
    }
    if (SUCCEEDED(hr)) {
      stage = DeviceManagerCreateStage::kAuthentication;
      hr = Authenticate(dm);
    }
    if (SUCCEEDED(hr)) {
      stage = DeviceManagerCreateStage::kManager;
      hr = ReachDeviceManager2(dm);
    }
    if (SUCCEEDED(hr)) {
      stage = DeviceManagerCreateStage::kMemory;
      dm->sink = DeviceEventSink::Create(hWnd, uMsg);
      if (dm->sink == nullptr) hr = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) AdviseForDeviceEvents(dm);
  }
  if (FAILED(hr)) {
    if (dm != nullptr) DeviceManagerDestroy(dm);
    dm = INVALID_DEVICE_MANAGER;
  } else {
    stage = DeviceManagerCreateStage::kCreated;
  }
  if (pResult != nullptr) {
    pResult->stage = stage;
    pResult->hr = hr;
    pResult->fDeviceEvents = dm != INVALID_DEVICE_MANAGER && dm->connectionPoint != nullptr;
  }
  ShowArrowCursor();
  return dm;
}

HRESULT DeviceManagerDestroy(DeviceManager* hDeviceManager) {
  const HRESULT check = CheckDeviceManager(hDeviceManager);
  if (FAILED(check)) return check;
  DeviceManager* dm = hDeviceManager;
  ShowWaitCursor();
  DisconnectDevice(dm);
  if (dm->connectionPoint != nullptr) {
    dm->connectionPoint->Unadvise(dm->cookie);
    ReleaseAndClear(dm->connectionPoint);
  }
  ReleaseAndClear(dm->enumeration);
  ReleaseAndClear(dm->manager);
  ReleaseAndClear(dm->root);
  ReleaseAndClear(dm->sink);
  delete dm->channel;
  delete dm;
  ShowArrowCursor();
  return S_OK;
}

HRESULT EnumNextDevice(DeviceManager* hDeviceManager, DFTInfo* lpDFTInfo) {
  HRESULT hr = CheckDeviceManager(hDeviceManager);
  if (FAILED(hr)) return hr;
  if (lpDFTInfo == nullptr) return E_POINTER;
  DeviceManager* dm = hDeviceManager;

  ShowWaitCursor();
  if (dm->enumeration == nullptr) hr = OpenEnumeration(dm);
  if (dm->enumeration != nullptr) {
    hr = E_FAIL;
    IWMDMDevice* found = NextDevice(dm->enumeration);
    if (found == nullptr) {
      ReleaseAndClear(dm->enumeration);
      hr = S_FALSE;
    } else {
      IWMDMDevice2* device = nullptr;
      DWORD type = 0;
      if (SUCCEEDED(found->QueryInterface(IID_IWMDMDevice2, reinterpret_cast<void**>(&device))) && device != nullptr) {
        if (SUCCEEDED(device->GetType(&type)) && (type & WMDM_DEVICE_TYPE_STORAGE) != 0) {
          hr = Terminated(device->GetManufacturer(lpDFTInfo->szDeviceManufacturer, kTextUnits),
                          lpDFTInfo->szDeviceManufacturer);
          if (SUCCEEDED(hr))
            hr = Terminated(device->GetName(lpDFTInfo->szDeviceName, kTextUnits), lpDFTInfo->szDeviceName);
          device->GetVersion(&lpDFTInfo->dwDeviceVersion);
        }
        device->Release();
      }
      found->Release();
    }
  }
  ShowArrowCursor();
  return hr;
}

HRESULT ConnectDevice(DeviceManager* hDeviceManager, const DFTInfo* lpDFTInfo) {
  HRESULT hr = CheckDeviceManager(hDeviceManager);
  if (FAILED(hr)) return hr;
  if (lpDFTInfo == nullptr) return E_POINTER;
  DeviceManager* dm = hDeviceManager;

  if (dm->enumeration == nullptr) {
    hr = OpenEnumeration(dm);
    if (FAILED(hr)) return hr;
  }
  bool matched = false;
  dm->enumeration->Reset();
  while (!matched) {
    IWMDMDevice* found = NextDevice(dm->enumeration);
    if (found == nullptr) break;
    DisconnectDevice(dm);
    if (FAILED(found->QueryInterface(IID_IWMDMDevice2, reinterpret_cast<void**>(&dm->device)))) dm->device = nullptr;
    if (dm->device != nullptr && IsRecordedDevice(dm->device, *lpDFTInfo)) {
      dm->current = *lpDFTInfo;
      matched = true;
    }
    found->Release();
  }
  ReleaseAndClear(dm->enumeration);

  if (!matched) {
    ReleaseAndClear(dm->device);
    dm->current = DFTInfo{};
    return E_FAIL;
  }
  return S_OK;
}

HRESULT DisconnectDevice(DeviceManager* hDeviceManager) {
  const HRESULT check = CheckDeviceManager(hDeviceManager);
  if (FAILED(check)) return check;
  DeviceManager* dm = hDeviceManager;
  if (dm->device == nullptr) return E_FAIL;
  ReleaseAndClear(dm->device);
  dm->current = DFTInfo{};
  return S_OK;
}
