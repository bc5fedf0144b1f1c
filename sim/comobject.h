// What every object of the simulated service shares: COM reference counting,
// a process-wide count of live objects for leak checks, and small helpers for
// the WMDM calling conventions. Internal to sim/.
#pragma once

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/text.h"
#include "platform/wmdm.h"

// Objects start with one reference, owned by whoever created them, and delete
// themselves when the last one is released.
class SimObject {
 public:
  SimObject(const SimObject&) = delete;
  SimObject& operator=(const SimObject&) = delete;

 protected:
  SimObject();
  virtual ~SimObject();
  ULONG addRef();
  ULONG release();

 private:
  std::atomic<ULONG> references_{1};
};

// AddRef and Release of a class with one or more interfaces over SimObject.
#define SIM_REFCOUNTING                                          \
  ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); } \
  ULONG STDMETHODCALLTYPE Release() override { return release(); }

long SimObjectsAlive();

// References that the service holds on its callers' objects (advised sinks,
// the progress object of a running transfer). Every AddRef that the service
// makes on a caller's object goes through SimHold and its Release through
// SimDrop, so that tests can see that nothing is left held.
void SimHold(IUnknown* object);
void SimDrop(IUnknown* object);
long SimHeldReferences();

// Hands out `object` as `riid` through its QueryInterface and drops the
// creator's reference: the usual ending of a method that creates an object.
template <typename T>
HRESULT SimHandOut(T* object, REFIID riid, void** out) {
  const HRESULT hr = object->QueryInterface(riid, out);
  object->Release();
  return hr;
}

// Copies `text` and its NUL into a caller's buffer of `capacity` units.
// E_INVALIDARG for a null buffer; WMDM_E_BUFFERTOOSMALL (with an empty text
// written when there is room for the NUL) when it does not fit.
HRESULT SimCopyText(const WString& text, LPWSTR buffer, UINT capacity);

// Next and Skip of an enumerator over `count` items whose cursor is `*next`.
// Next checks its arguments, then asks `ready` (a failure is returned as it
// is), then hands out `make(index, &ppItems[i])` for up to `celt` items; when
// one fails, those already handed out are released and nothing is fetched.
template <typename Item, typename Ready, typename Make>
HRESULT SimEnumNext(ULONG celt, Item** ppItems, ULONG* pceltFetched, size_t count, size_t* next, Ready ready,
                    Make make) {
  if (pceltFetched != nullptr) *pceltFetched = 0;
  if (ppItems == nullptr || (pceltFetched == nullptr && celt != 1)) return E_INVALIDARG;
  const HRESULT hrReady = ready();
  if (FAILED(hrReady)) return hrReady;
  ULONG fetched = 0;
  while (fetched < celt && *next < count) {
    const HRESULT hr = make(*next, &ppItems[fetched]);
    if (FAILED(hr)) {
      while (fetched > 0) ppItems[--fetched]->Release();
      return hr;
    }
    ++*next;
    ++fetched;
  }
  if (pceltFetched != nullptr) *pceltFetched = fetched;
  return fetched == celt ? S_OK : S_FALSE;
}

inline HRESULT SimEnumSkip(ULONG celt, ULONG* pceltFetched, size_t count, size_t* next) {
  const size_t n = std::min<size_t>(celt, count - *next);
  *next += n;
  if (pceltFetched != nullptr) *pceltFetched = static_cast<ULONG>(n);
  return n == celt ? S_OK : S_FALSE;
}

// Results that the service gives in the situations the real one meets.
constexpr HRESULT kSimQueryFailed = WMDM_E_PROCESSFAILED;                      // a device query set to fail
constexpr HRESULT kSimCallFailed = WMDM_E_PROCESSFAILED;                       // a metadata call set to fail
constexpr HRESULT kSimDeviceGone = WMDM_E_INTERFACEDEAD;                       // the player has been removed
constexpr HRESULT kSimNotReady = WMDM_E_BUSY;                                  // player or storage not ready
constexpr HRESULT kSimGeneralFailure = static_cast<HRESULT>(0x8007001Fu);      // ERROR_GEN_FAILURE
constexpr HRESULT kSimDeviceNotConnected = static_cast<HRESULT>(0x8007048Fu);  // ERROR_DEVICE_NOT_CONNECTED
constexpr HRESULT kSimFileNotFound = static_cast<HRESULT>(0x80070002u);        // ERROR_FILE_NOT_FOUND
constexpr HRESULT kSimAccessDenied = static_cast<HRESULT>(0x80070005u);        // E_ACCESSDENIED
// Connection-point results; olectl.h would bring them on Windows, but with
// half of the OLE controls API besides.
constexpr HRESULT kSimNoConnection = static_cast<HRESULT>(0x80040200u);   // CONNECT_E_NOCONNECTION
constexpr HRESULT kSimCannotConnect = static_cast<HRESULT>(0x80040202u);  // CONNECT_E_CANNOTCONNECT
