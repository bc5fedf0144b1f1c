#include <atomic>
#include <cstdlib>
#include <vector>

#include "platform/com.h"

namespace {

struct Registration {
  CLSID clsid;
  IClassFactory* factory;
};

// Registrations are process-wide, like the registry they stand in for.
std::vector<Registration>& Registrations() {
  static std::vector<Registration> table;
  return table;
}

thread_local int t_initCount = 0;
std::atomic<long> g_taskMemOutstanding{0};

Registration* Find(REFCLSID clsid) {
  for (Registration& r : Registrations())
    if (r.clsid == clsid) return &r;
  return nullptr;
}

}  // namespace

HRESULT CoInitialize(LPVOID) { return t_initCount++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
  if (t_initCount > 0) --t_initCount;
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (t_initCount == 0) return CO_E_NOTINITIALIZED;
  if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
  Registration* r = Find(rclsid);
  if (r == nullptr) return REGDB_E_CLASSNOTREG;
  const HRESULT hr = r->factory->CreateInstance(nullptr, riid, ppv);
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

LPVOID CoTaskMemAlloc(SIZE_T cb) {
  void* p = std::malloc(cb == 0 ? 1 : cb);
  if (p != nullptr) ++g_taskMemOutstanding;
  return p;
}

void CoTaskMemFree(LPVOID pv) {
  if (pv == nullptr) return;
  --g_taskMemOutstanding;
  std::free(pv);
}

long TfComTaskMemOutstanding() { return g_taskMemOutstanding; }

HRESULT TfComRegisterClass(REFCLSID rclsid, IClassFactory* factory) {
  if (factory == nullptr) return E_POINTER;
  factory->AddRef();
  if (Registration* r = Find(rclsid)) {
    IClassFactory* old = r->factory;
    r->factory = factory;
    old->Release();
  } else {
    Registrations().push_back({rclsid, factory});
  }
  return S_OK;
}

HRESULT TfComRevokeClass(REFCLSID rclsid) {
  auto& table = Registrations();
  for (auto it = table.begin(); it != table.end(); ++it) {
    if (it->clsid == rclsid) {
      IClassFactory* factory = it->factory;
      table.erase(it);
      factory->Release();
      return S_OK;
    }
  }
  return REGDB_E_CLASSNOTREG;
}
