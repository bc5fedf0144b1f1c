#include "device/device_details.h"

#include <new>

#include "device/session.h"

namespace {

constexpr UINT kTextUnits = 260;

bool StorageReady(IWMDMStorage* storage) {
  IWMDMStorage3* storage3 = nullptr;
  if (FAILED(storage->QueryInterface(IID_IWMDMStorage3, reinterpret_cast<void**>(&storage3))) || storage3 == nullptr)
    return false;
  bool ready = false;
  IWMDMStorageGlobals* globals = nullptr;
  if (SUCCEEDED(storage3->GetStorageGlobals(&globals)) && globals != nullptr) {
    DWORD status = 0;
    ready = SUCCEEDED(globals->GetStatus(&status)) && (status & WMDM_STATUS_READY) != 0;
    globals->Release();
  }
  storage3->Release();
  return ready;
}

void ListStorages(IWMDMDevice2* device, DeviceDetails* details) {
  IWMDMEnumStorage* storages = nullptr;
  if (FAILED(device->EnumStorage(&storages)) || storages == nullptr) return;
  details->fStoragesListed = true;
  for (;;) {
    IWMDMStorage* storage = nullptr;
    ULONG fetched = 0;
    if (storages->Next(1, &storage, &fetched) != S_OK || storage == nullptr) break;
    if (details->cStorages < kMaxListedStorages) {
      StorageDetails& s = details->rgStorages[details->cStorages];
      if (FAILED(storage->GetName(s.szName, kTextUnits))) s.szName[0] = 0;
      s.szName[kTextUnits - 1] = 0;
      s.fReady = StorageReady(storage);
    }
    ++details->cStorages;
    storage->Release();
  }
  storages->Release();
}

// Fills `details` from one enumerated device; false when it is no storage
// device or its identity cannot be read.
bool Describe(IWMDMDevice* found, DeviceDetails* details) {
  IWMDMDevice2* device = nullptr;
  if (FAILED(found->QueryInterface(IID_IWMDMDevice2, reinterpret_cast<void**>(&device))) || device == nullptr)
    return false;
  DWORD type = 0;
  bool ok = SUCCEEDED(device->GetType(&type)) && (type & WMDM_DEVICE_TYPE_STORAGE) != 0 &&
            SUCCEEDED(device->GetManufacturer(details->info.szDeviceManufacturer, kTextUnits)) &&
            SUCCEEDED(device->GetName(details->info.szDeviceName, kTextUnits));
  if (ok) {
    details->info.szDeviceManufacturer[kTextUnits - 1] = 0;
    details->info.szDeviceName[kTextUnits - 1] = 0;
    if (FAILED(device->GetVersion(&details->info.dwDeviceVersion))) details->info.dwDeviceVersion = 0;
    if (FAILED(device->GetStatus(&details->dwStatus))) details->dwStatus = 0;
    details->fReady = (details->dwStatus & WMDM_STATUS_READY) != 0;
    ListStorages(device, details);
  }
  device->Release();
  return ok;
}

}  // namespace

bool DeviceDetails::HasReadyStorage() const {
  for (UINT i = 0; i < ListedStorages(); ++i)
    if (rgStorages[i].fReady) return true;
  return false;
}

HRESULT ListDeviceDetails(DeviceManager* hDeviceManager, DeviceDetailsCallback each, void* context) {
  HRESULT hr = CheckDeviceManager(hDeviceManager);
  if (FAILED(hr)) return hr;
  if (each == nullptr) return E_POINTER;
  DeviceManager* dm = hDeviceManager;

  IWMDMEnumDevice* enumeration = nullptr;
  dm->manager->Reinitialize();
  hr = dm->manager->EnumDevices2(&enumeration);
  if (FAILED(hr)) return hr;
  if (enumeration == nullptr) return E_FAIL;
  for (;;) {
    IWMDMDevice* found = nullptr;
    ULONG fetched = 0;
    if (enumeration->Next(1, &found, &fetched) != S_OK || found == nullptr) break;
    // Large (it holds the storages' names), so not on the stack of a caller's callback chain.
    DeviceDetails* details = new (std::nothrow) DeviceDetails{};
    if (details != nullptr && Describe(found, details)) each(*details, context);
    delete details;
    found->Release();
  }
  enumeration->Release();
  return S_OK;
}
