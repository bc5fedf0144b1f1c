#include "device/devicemanager.h"

#include <cstring>
#include <new>

#include "device/devicemanager_object.h"

namespace {

// What the service's root object is created with.
constexpr DWORD kRootContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
// Credential flags handed to the channel together with the placeholders.
constexpr DWORD kCredentialFlags = 2;

// Runs the channel's handshake with the first protocol the service offers.
HRESULT Authenticate(DeviceManager* dm) {
  static const BYTE kPlaceholder[1] = {0};  // all zero: use the built-in credentials
  HRESULT hr = dm->channel->setCredentials(kCredentialFlags, kPlaceholder, sizeof kPlaceholder, kPlaceholder,
                                           sizeof kPlaceholder);
  if (FAILED(hr)) return hr;
  dm->channel->attachPeer(dm->root.Get());

  DWORD* protocols = nullptr;
  DWORD count = 0;
  hr = dm->root->SACGetProtocols(&protocols, &count);
  if (SUCCEEDED(hr)) hr = count != 0 && protocols != nullptr ? dm->channel->authenticate(protocols[0]) : E_FAIL;
  if (protocols != nullptr) CoTaskMemFree(protocols);
  return hr;
}

// IWMDeviceManager is asked for only on the way to IWMDeviceManager2.
HRESULT ReachDeviceManager2(DeviceManager* dm) {
  ComPtr<IWMDeviceManager> manager1;
  const HRESULT hr = dm->root.Query(IID_IWMDeviceManager, &manager1);
  if (FAILED(hr)) return hr;
  return manager1.Query(IID_IWMDeviceManager2, &dm->manager);
}

// Device events are a comfort, not a need: any failure here leaves the
// DeviceManager working without them.
void AdviseForDeviceEvents(DeviceManager* dm) {
  ComPtr<IConnectionPointContainer> container;
  if (FAILED(dm->manager.Query(IID_IConnectionPointContainer, &container))) return;
  ComPtr<IConnectionPoint>& point = dm->connectionPoint;
  if (FAILED(point.Receive(container->FindConnectionPoint(IID_IWMDMNotification, point.Out())))) return;
  if (FAILED(point->Advise(dm->sink->progressFace(), &dm->cookie))) {
    point.Reset();
    dm->cookie = 0;
  }
}

// Opens a fresh enumeration over a re-read list of devices.
HRESULT OpenEnumeration(DeviceManager* dm) {
  dm->manager->Reinitialize();
  return dm->enumeration.Receive(dm->manager->EnumDevices2(dm->enumeration.Out()));
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

// Reads an enumerated device's identity into *record: E_FAIL when it is no
// storage device, the failing query's error, or S_OK.
HRESULT ReadDeviceIdentity(IWMDMDevice2* device, DFTInfo* record) {
  DWORD type = 0;
  if (FAILED(device->GetType(&type)) || (type & WMDM_DEVICE_TYPE_STORAGE) == 0) return E_FAIL;
  HRESULT hr =
      Terminated(device->GetManufacturer(record->szDeviceManufacturer, kTextUnits), record->szDeviceManufacturer);
  if (SUCCEEDED(hr)) hr = Terminated(device->GetName(record->szDeviceName, kTextUnits), record->szDeviceName);
  device->GetVersion(&record->dwDeviceVersion);
  return hr;
}

HRESULT ReadIdentity(const ComPtr<IWMDMDevice>& found, DFTInfo* record) {
  ComPtr<IWMDMDevice2> device;
  if (FAILED(found.Query(IID_IWMDMDevice2, &device))) return E_FAIL;
  return ReadDeviceIdentity(device.Get(), record);
}

// Each step of creation, in order; the first failure names the stage.
HRESULT CreateSteps(DeviceManager* dm, HWND hWnd, UINT uMsg, DeviceManagerCreateStage* stage) {
  *stage = DeviceManagerCreateStage::kMemory;
  dm->channel.reset(new (std::nothrow) ChannelInitiator);
  if (!dm->channel) return E_FAIL;
  *stage = DeviceManagerCreateStage::kService;
  HRESULT hr = dm->root.Receive(
      CoCreateInstance(CLSID_MediaDevMgr, nullptr, kRootContext, IID_IComponentAuthenticate, dm->root.OutVoid()));
  if (FAILED(hr)) return hr;
  *stage = DeviceManagerCreateStage::kAuthentication;
  hr = Authenticate(dm);
  if (FAILED(hr)) return hr;
  *stage = DeviceManagerCreateStage::kManager;
  hr = ReachDeviceManager2(dm);
  if (FAILED(hr)) return hr;
  *stage = DeviceManagerCreateStage::kMemory;
  *dm->sink.Out() = DeviceEventSink::Create(hWnd, uMsg);
  if (!dm->sink) return E_OUTOFMEMORY;
  AdviseForDeviceEvents(dm);
  *stage = DeviceManagerCreateStage::kCreated;
  return hr;
}

}  // namespace

DeviceManager* DeviceManagerCreate(HWND hWnd, UINT uMsg) { return DeviceManagerCreateWithResult(hWnd, uMsg, nullptr); }

DeviceManager* DeviceManagerCreateWithResult(HWND hWnd, UINT uMsg, DeviceManagerCreateResult* pResult) {
  DeviceManager* dm = new (std::nothrow) DeviceManager;
  const WaitCursor wait;
  DeviceManagerCreateStage stage = DeviceManagerCreateStage::kMemory;
  const HRESULT hr = dm != nullptr ? CreateSteps(dm, hWnd, uMsg, &stage) : E_FAIL;
  const HandshakeFailure handshake =
      dm != nullptr && dm->channel ? dm->channel->lastFailure() : HandshakeFailure::kNone;
  if (FAILED(hr)) {
    if (dm != nullptr) DeviceManagerDestroy(dm);
    dm = INVALID_DEVICE_MANAGER;
  }
  if (pResult != nullptr) {
    pResult->stage = stage;
    pResult->hr = hr;
    pResult->fDeviceEvents = dm != INVALID_DEVICE_MANAGER && dm->connectionPoint;
    pResult->handshake = stage == DeviceManagerCreateStage::kAuthentication ? handshake : HandshakeFailure::kNone;
  }
  return dm;
}

HRESULT DeviceManagerDestroy(DeviceManager* hDeviceManager) {
  const HRESULT check = CheckHandleAndArguments(hDeviceManager);
  if (FAILED(check)) return check;
  DeviceManager* dm = hDeviceManager;
  const WaitCursor wait;
  DisconnectDevice(dm);
  if (dm->connectionPoint) dm->connectionPoint->Unadvise(dm->cookie);
  dm->connectionPoint.Reset();
  dm->enumeration.Reset();
  dm->manager.Reset();
  dm->root.Reset();
  dm->sink.Reset();
  dm->channel.reset();
  delete dm;
  return S_OK;
}

HRESULT EnumNextDevice(DeviceManager* hDeviceManager, DFTInfo* lpDFTInfo) {
  HRESULT hr = CheckHandleAndArguments(hDeviceManager, lpDFTInfo);
  if (FAILED(hr)) return hr;
  DeviceManager* dm = hDeviceManager;
  const WaitCursor wait;
  if (!dm->enumeration) hr = OpenEnumeration(dm);
  if (!dm->enumeration) return hr;
  const ComPtr<IWMDMDevice> found = NextItem<IWMDMDevice>(dm->enumeration.Get());
  if (!found) {
    dm->enumeration.Reset();
    return S_FALSE;
  }
  return ReadIdentity(found, lpDFTInfo);
}

namespace {

// Holds the first enumerated device that `matches` (and fills *identity);
// what ConnectDevice and ConnectDeviceByCanonicalName share.
template <typename Matches>
HRESULT ConnectFirstMatching(DeviceManager* dm, Matches matches) {
  if (!dm->enumeration) {
    const HRESULT hr = OpenEnumeration(dm);
    if (FAILED(hr)) return hr;
  }
  bool matched = false;
  dm->enumeration->Reset();
  while (!matched) {
    const ComPtr<IWMDMDevice> found = NextItem<IWMDMDevice>(dm->enumeration.Get());
    if (!found) break;
    DisconnectDevice(dm);
    DFTInfo identity = {};
    matched = SUCCEEDED(found.Query(IID_IWMDMDevice2, &dm->device)) && matches(dm->device.Get(), &identity);
    if (matched) dm->current = identity;
  }
  dm->enumeration.Reset();
  if (!matched) {
    dm->device.Reset();
    dm->current = DFTInfo{};
    return E_FAIL;
  }
  return S_OK;
}

}  // namespace

HRESULT ConnectDevice(DeviceManager* hDeviceManager, const DFTInfo* lpDFTInfo) {
  const HRESULT hr = CheckHandleAndArguments(hDeviceManager, lpDFTInfo);
  if (FAILED(hr)) return hr;
  return ConnectFirstMatching(hDeviceManager, [lpDFTInfo](IWMDMDevice2* device, DFTInfo* identity) {
    *identity = *lpDFTInfo;
    return IsRecordedDevice(device, *lpDFTInfo);
  });
}

HRESULT ConnectDeviceByCanonicalName(DeviceManager* hDeviceManager, LPCWSTR pwszCanonicalName) {
  const HRESULT hr = CheckHandleAndArguments(hDeviceManager, pwszCanonicalName);
  if (FAILED(hr)) return hr;
  return ConnectFirstMatching(hDeviceManager, [pwszCanonicalName](IWMDMDevice2* device, DFTInfo* identity) {
    WCHAR name[kTextUnits] = {};
    if (FAILED(Terminated(device->GetCanonicalName(name, kTextUnits), name)) || !SameText(name, pwszCanonicalName))
      return false;
    // Ready and a storage device, as ConnectDevice requires; its own identity.
    DFTInfo own = {};
    if (FAILED(ReadDeviceIdentity(device, &own)) || !IsRecordedDevice(device, own)) return false;
    *identity = own;
    return true;
  });
}

HRESULT DisconnectDevice(DeviceManager* hDeviceManager) {
  const HRESULT check = CheckHandleAndArguments(hDeviceManager);
  if (FAILED(check)) return check;
  DeviceManager* dm = hDeviceManager;
  if (!dm->device) return E_FAIL;
  dm->sent.Reset();
  dm->szSentStorage[0] = 0;
  dm->device.Reset();
  dm->current = DFTInfo{};
  return S_OK;
}
