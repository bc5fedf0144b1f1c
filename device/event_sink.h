// DeviceEventSink: the COM object through which the WMDM service reports to
// the device layer, turned into messages for the shell's main window.
//
// Two faces on one reference count: IWMDMProgress (also the object's
// IUnknown) receives the progress of a running Insert3 and reports it with
// sent messages, so the window has drawn each step before the copy goes on;
// IWMDMNotification receives device arrival and removal and reports them with
// posted messages, so they are handled outside the service's call.
#pragma once

#include "platform/window.h"
#include "platform/wmdm.h"

class DeviceEventSink final : public IWMDMProgress, public IWMDMNotification {
 public:
  // A sink with one reference (the creator's), or null when it cannot be
  // allocated. Messages go to `hWnd` as `uMsg`.
  static DeviceEventSink* Create(HWND hWnd, UINT uMsg);

  IWMDMProgress* progressFace() { return this; }
  IWMDMNotification* notificationFace() { return this; }

  // IUnknown, shared by both faces. QueryInterface gives the progress face for
  // IID_IUnknown and IID_IWMDMProgress, the notification face for
  // IID_IWMDMNotification, E_NOINTERFACE otherwise, E_POINTER for a null out
  // pointer.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IWMDMProgress: begin code, step percentages, end code (all sent).
  HRESULT STDMETHODCALLTYPE Begin(DWORD dwEstimatedTicks) override;
  HRESULT STDMETHODCALLTYPE Progress(DWORD dwTranspiredTicks) override;
  HRESULT STDMETHODCALLTYPE End() override;

  // IWMDMNotification: arrival and removal posted, other types dropped.
  HRESULT STDMETHODCALLTYPE WMDMMessage(DWORD dwMessageType, LPCWSTR pwszCanonicalName) override;

 private:
  DeviceEventSink(HWND hWnd, UINT uMsg) : window_(hWnd), message_(uMsg) {}
  ~DeviceEventSink() = default;

  HWND window_;
  UINT message_;
  LONG volatile references_ = 1;
  DWORD estimate_ = 0;
};

// Percentage of a transfer after `done` of `estimate` ticks, in 0..100:
// 100 - trunc((estimate - done) * 100 / estimate) while done < estimate; 100
// once as many ticks as estimated (or more) are done; 0 for an estimate of 0
// (0 moves no bar, so it stays until the end code).
LPARAM ProgressPercent(DWORD estimate, DWORD done);
