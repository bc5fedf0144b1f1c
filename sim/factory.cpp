#include "sim/factory.h"

#include "sim/comobject.h"
#include "sim/simservice.h"

namespace {

std::atomic<long> g_locks{0};

class ClassFactory final : public IClassFactory, public SimObject {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    addRef();
    return S_OK;
  }
  SIM_REFCOUNTING

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    return SimCreateRoot(riid, ppvObject);
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
    if (fLock) {
      ++g_locks;
    } else if (g_locks > 0) {
      --g_locks;
    }
    return S_OK;
  }
};

}  // namespace

IClassFactory* SimNewClassFactory() { return new (std::nothrow) ClassFactory; }

long SimServerLocks() { return g_locks; }
