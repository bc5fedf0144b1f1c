#include "device/event_sink.h"

#include <new>

#include "device/devicemanager.h"
#include "device/transfer_stop.h"
#include "platform/sync.h"

DeviceEventSink* DeviceEventSink::Create(HWND hWnd, UINT uMsg) {
  return new (std::nothrow) DeviceEventSink(hWnd, uMsg);
}

HRESULT DeviceEventSink::QueryInterface(REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IWMDMProgress)) {
    *ppvObject = progressFace();
  } else if (IsEqualIID(riid, IID_IWMDMNotification)) {
    *ppvObject = notificationFace();
  } else {
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG DeviceEventSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG DeviceEventSink::Release() {
  const LONG count = InterlockedDecrement(&references_);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT DeviceEventSink::Begin(DWORD dwEstimatedTicks) {
  estimate_ = dwEstimatedTicks;
  SendMessageW(window_, message_, kDeviceNotifyProgress, kDeviceNotifyBegin);
  return S_OK;
}

HRESULT DeviceEventSink::Progress(DWORD dwTranspiredTicks) {
  SendMessageW(window_, message_, kDeviceNotifyProgress, ProgressPercent(estimate_, dwTranspiredTicks));
  // The service stops the copy on a failing report.
  return TransferStopRequested() ? WMDM_E_USER_CANCELLED : S_OK;
}

HRESULT DeviceEventSink::End() {
  SendMessageW(window_, message_, kDeviceNotifyProgress, kDeviceNotifyEnd);
  return S_OK;
}

HRESULT DeviceEventSink::WMDMMessage(DWORD dwMessageType, LPCWSTR pwszCanonicalName) {
  WPARAM event;
  if (dwMessageType == WMDM_MSG_DEVICE_REMOVAL) {
    event = kDeviceNotifyRemoved;
  } else if (dwMessageType == WMDM_MSG_DEVICE_ARRIVAL) {
    event = kDeviceNotifyArrived;
  } else {
    return S_OK;
  }
  PostMessageW(window_, message_, event, reinterpret_cast<LPARAM>(pwszCanonicalName));
  return S_OK;
}

LPARAM ProgressPercent(DWORD estimate, DWORD done) {
  // The bare formula divides by zero for an estimate of 0 and wraps to a huge
  // remainder once more ticks than estimated are reported; either would put
  // a value outside 0..100 on the bar. Without an estimate nothing is known,
  // and 0 leaves the bar where it is until the transfer ends.
  if (estimate == 0) return 0;
  if (done >= estimate) return 100;
  const double remaining = static_cast<double>(estimate - done) * 100.0 / static_cast<double>(estimate);
  return 100 - static_cast<LPARAM>(remaining);
}
