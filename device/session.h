// The DeviceManager object behind the opaque handle, shared by the session
// operations (devicemanager.cpp) and the transfer (transfer.cpp).
#pragma once

#include "channel/initiator.h"
#include "device/devicemanager.h"
#include "device/event_sink.h"
#include "platform/wmdm.h"

struct DeviceManager {
  IComponentAuthenticate* root = nullptr;
  IWMDeviceManager2* manager = nullptr;
  IWMDMEnumDevice* enumeration = nullptr;  // open between EnumNextDevice calls
  IWMDMDevice2* device = nullptr;          // the held device
  IConnectionPoint* connectionPoint = nullptr;
  DeviceEventSink* sink = nullptr;  // one reference is ours
  DFTInfo current = {};             // identity of the held device; zero when none
  ChannelInitiator* channel = nullptr;
  DWORD cookie = 0;
};

// The first check of every operation: E_POINTER for null, E_HANDLE for
// INVALID_DEVICE_MANAGER, S_OK otherwise.
inline HRESULT CheckDeviceManager(const DeviceManager* hDeviceManager) {
  if (hDeviceManager == nullptr) return E_POINTER;
  if (hDeviceManager == INVALID_DEVICE_MANAGER) return E_HANDLE;
  return S_OK;
}

inline void ShowWaitCursor() { SetCursor(LoadCursorW(nullptr, IDC_WAIT)); }
inline void ShowArrowCursor() { SetCursor(LoadCursorW(nullptr, IDC_ARROW)); }

template <typename T>
void ReleaseAndClear(T*& p) {
  if (p != nullptr) {
    p->Release();
    p = nullptr;
  }
}
