#include "device/device_details.h"

#include <memory>
#include <new>

#include "device/devicemanager_object.h"

namespace {

bool StorageReady(const ComPtr<IWMDMStorage>& storage) {
  ComPtr<IWMDMStorage3> storage3;
  if (FAILED(storage.Query(IID_IWMDMStorage3, &storage3))) return false;
  ComPtr<IWMDMStorageGlobals> globals;
  if (FAILED(globals.Receive(storage3->GetStorageGlobals(globals.Out())))) return false;
  DWORD status = 0;
  return SUCCEEDED(globals->GetStatus(&status)) && (status & WMDM_STATUS_READY) != 0;
}

void ListStorages(const ComPtr<IWMDMDevice2>& device, DeviceDetails* details) {
  ComPtr<IWMDMEnumStorage> storages;
  if (FAILED(storages.Receive(device->EnumStorage(storages.Out())))) return;
  details->fStoragesListed = true;
  for (;;) {
    const ComPtr<IWMDMStorage> storage = NextItem<IWMDMStorage>(storages.Get());
    if (!storage) break;
    if (details->cStorages < kMaxListedStorages) {
      StorageDetails& s = details->rgStorages[details->cStorages];
      if (FAILED(storage->GetName(s.szName, kTextUnits))) s.szName[0] = 0;
      s.szName[kTextUnits - 1] = 0;
      s.fReady = StorageReady(storage);
    }
    ++details->cStorages;
  }
}

// Fills `details` from one enumerated device; false when it is no storage
// device or its identity cannot be read.
bool Describe(const ComPtr<IWMDMDevice>& found, DeviceDetails* details) {
  ComPtr<IWMDMDevice2> device;
  if (FAILED(found.Query(IID_IWMDMDevice2, &device))) return false;
  DWORD type = 0;
  if (FAILED(device->GetType(&type)) || (type & WMDM_DEVICE_TYPE_STORAGE) == 0 ||
      FAILED(device->GetManufacturer(details->info.szDeviceManufacturer, kTextUnits)) ||
      FAILED(device->GetName(details->info.szDeviceName, kTextUnits)))
    return false;
  details->info.szDeviceManufacturer[kTextUnits - 1] = 0;
  details->info.szDeviceName[kTextUnits - 1] = 0;
  if (FAILED(device->GetVersion(&details->info.dwDeviceVersion))) details->info.dwDeviceVersion = 0;
  if (FAILED(device->GetCanonicalName(details->szCanonicalName, kTextUnits))) details->szCanonicalName[0] = 0;
  details->szCanonicalName[kTextUnits - 1] = 0;
  if (FAILED(device->GetStatus(&details->dwStatus))) details->dwStatus = 0;
  details->fReady = (details->dwStatus & WMDM_STATUS_READY) != 0;
  ListStorages(device, details);
  return true;
}

}  // namespace

bool DeviceDetails::HasReadyStorage() const {
  for (UINT i = 0; i < ListedStorages(); ++i)
    if (rgStorages[i].fReady) return true;
  return false;
}

HRESULT ListDeviceDetails(DeviceManager* hDeviceManager, DeviceDetailsCallback each, void* context) {
  HRESULT hr = CheckHandleAndArguments(hDeviceManager);
  if (FAILED(hr)) return hr;
  if (each == nullptr) return E_POINTER;
  DeviceManager* dm = hDeviceManager;

  ComPtr<IWMDMEnumDevice> enumeration;
  dm->manager->Reinitialize();
  hr = enumeration.Receive(dm->manager->EnumDevices2(enumeration.Out()));
  if (FAILED(hr)) return hr;
  for (;;) {
    const ComPtr<IWMDMDevice> found = NextItem<IWMDMDevice>(enumeration.Get());
    if (!found) break;
    // Large (it holds the storages' names), so not on the stack of a caller's callback chain.
    const std::unique_ptr<DeviceDetails> details(new (std::nothrow) DeviceDetails{});
    if (details && Describe(found, details.get())) each(*details, context);
  }
  return S_OK;
}
