// On Windows the test programs register the service's class object with COM
// for their own process, so that CoCreateInstance reaches the very service
// that the test drives, ahead of any DLL registered in the registry.
#include <mutex>

#include "sim/factory.h"
#include "sim/simservice.h"

namespace {

std::mutex g_lock;
DWORD g_cookie = 0;

}  // namespace

HRESULT SimRegisterService() {
  std::lock_guard<std::mutex> g(g_lock);
  if (g_cookie != 0) return S_OK;
  IClassFactory* factory = SimNewClassFactory();
  if (factory == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr =
      CoRegisterClassObject(CLSID_MediaDevMgr, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &g_cookie);
  factory->Release();
  if (FAILED(hr)) g_cookie = 0;
  return hr;
}

void SimUnregisterService() {
  std::lock_guard<std::mutex> g(g_lock);
  if (g_cookie == 0) return;
  CoRevokeClassObject(g_cookie);
  g_cookie = 0;
}
