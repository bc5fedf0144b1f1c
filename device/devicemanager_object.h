// The DeviceManager object behind the opaque handle, and what every operation
// of the device layer opens with: the handle and argument check and the wait
// cursor. Private to device/ (devicemanager.cpp, transfer.cpp,
// device_details.cpp).
#pragma once

#include <memory>

#include "channel/initiator.h"
#include "device/devicemanager.h"
#include "device/event_sink.h"
#include "platform/com.h"
#include "platform/wmdm.h"

struct DeviceManager {
  ComPtr<IComponentAuthenticate> root;
  ComPtr<IWMDeviceManager2> manager;
  ComPtr<IWMDMEnumDevice> enumeration;  // open between EnumNextDevice calls
  ComPtr<IWMDMDevice2> device;          // the held device
  ComPtr<IConnectionPoint> connectionPoint;
  ComPtr<DeviceEventSink> sink;  // our reference; the service holds its own
  DFTInfo current = {};          // identity of the held device; zero when none
  // The file the last successful copy made on the held device, for reading
  // it back; released with the device.
  ComPtr<IWMDMStorage> sent;
  WCHAR szSentStorage[260] = {};  // the name of the storage it went to
  std::unique_ptr<ChannelInitiator> channel;
  DWORD cookie = 0;
};

// The first check of every operation: E_POINTER for a null handle,
// E_HANDLE for INVALID_DEVICE_MANAGER, then E_POINTER when any of the
// pointer arguments is null; S_OK otherwise.
template <typename... Arguments>
HRESULT CheckHandleAndArguments(const DeviceManager* hDeviceManager, const Arguments*... arguments) {
  if (hDeviceManager == nullptr) return E_POINTER;
  if (hDeviceManager == INVALID_DEVICE_MANAGER) return E_HANDLE;
  return ((arguments == nullptr) || ...) ? E_POINTER : S_OK;
}

// The next item of a WMDM enumeration, or nothing at its end: Next(1) must
// give exactly S_OK, so the service's "no more" and its errors alike end it.
template <typename Item, typename Enumeration>
ComPtr<Item> NextItem(Enumeration* enumeration) {
  ComPtr<Item> item;
  ULONG fetched = 0;
  if (enumeration->Next(1, item.Out(), &fetched) != S_OK) item.Detach();  // what it left is not ours
  return item;
}

// The wait cursor for as long as it lives, then the arrow.
class WaitCursor {
 public:
  WaitCursor() { SetCursor(LoadCursorW(nullptr, IDC_WAIT)); }
  ~WaitCursor() { SetCursor(LoadCursorW(nullptr, IDC_ARROW)); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// Fields of the 260-unit texts that the service fills.
inline constexpr UINT kTextUnits = 260;
