// The service's root object: the secure channel's responder, the device
// manager and the container of the device-notification connection point, all
// one COM object as in the real service.
#include "sim/comobject.h"
#include "sim/objects.h"
#include "sim/responder.h"

namespace {

constexpr DWORD kRevision = 0x00080000;

class Root final : public IComponentAuthenticate,
                   public IWMDeviceManager2,
                   public IConnectionPointContainer,
                   public SimObject {
 public:
  ~Root() override { SimUnadviseAll(this); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IComponentAuthenticate) {
      *ppv = static_cast<IComponentAuthenticate*>(this);
    } else if (riid == IID_IWMDeviceManager || riid == IID_IWMDeviceManager2 || riid == IID_IConnectionPointContainer) {
      // The device manager is withheld until the caller has proven itself.
      if (!responder_.authenticated()) return WMDM_E_NOTCERTIFIED;
      if (riid != IID_IConnectionPointContainer && SimCurrentFaults().managerRefused) return E_NOINTERFACE;
      if (riid == IID_IConnectionPointContainer) {
        *ppv = static_cast<IConnectionPointContainer*>(this);
      } else {
        *ppv = static_cast<IWMDeviceManager2*>(this);
      }
    } else {
      return E_NOINTERFACE;
    }
    addRef();
    return S_OK;
  }
  SIM_REFCOUNTING

  // IComponentAuthenticate
  HRESULT STDMETHODCALLTYPE SACAuth(DWORD dwProtocolID, DWORD dwPass, BYTE* pbDataIn, DWORD dwDataInLen,
                                    BYTE** ppbDataOut, DWORD* pdwDataOutLen) override {
    if (ppbDataOut == nullptr || pdwDataOutLen == nullptr) return E_INVALIDARG;
    *ppbDataOut = nullptr;
    *pdwDataOutLen = 0;
    // A rejecting service refuses the caller's certificate, which comes with
    // the second pass.
    if (dwPass == 1 && SimCurrentFaults().rejectAuth) return WMDM_E_NOTCERTIFIED;
    return responder_.exchange(dwProtocolID, dwPass, pbDataIn, dwDataInLen, ppbDataOut, pdwDataOutLen);
  }

  HRESULT STDMETHODCALLTYPE SACGetProtocols(DWORD** ppdwProtocols, DWORD* pdwProtocolCount) override {
    if (ppdwProtocols == nullptr || pdwProtocolCount == nullptr) return E_INVALIDARG;
    *ppdwProtocols = nullptr;
    *pdwProtocolCount = 0;
    if (SimCurrentFaults().noProtocols) return S_OK;
    return responder_.protocols(ppdwProtocols, pdwProtocolCount, SimCurrentFaults().protocolFirst);
  }

  // IWMDeviceManager
  HRESULT STDMETHODCALLTYPE GetRevision(DWORD* pdwRevision) override {
    if (!responder_.authenticated()) return WMDM_E_NOTCERTIFIED;
    if (pdwRevision == nullptr) return E_INVALIDARG;
    *pdwRevision = kRevision;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetDeviceCount(DWORD* pdwCount) override {
    if (!responder_.authenticated()) return WMDM_E_NOTCERTIFIED;
    if (pdwCount == nullptr) return E_INVALIDARG;
    *pdwCount = static_cast<DWORD>(SimPresentPlayers().size());
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE EnumDevices(IWMDMEnumDevice** ppEnumDevice) override { return EnumDevices2(ppEnumDevice); }

  // IWMDeviceManager2
  HRESULT STDMETHODCALLTYPE GetDeviceFromCanonicalName(LPCWSTR pwszCanonicalName, IWMDMDevice** ppDevice) override {
    if (ppDevice != nullptr) *ppDevice = nullptr;
    if (!responder_.authenticated()) return WMDM_E_NOTCERTIFIED;
    if (pwszCanonicalName == nullptr || ppDevice == nullptr) return E_INVALIDARG;
    const WStringView wanted(pwszCanonicalName, WideLength(pwszCanonicalName));
    for (SimPlayerRef& p : SimPresentPlayers()) {
      if (wanted == SimCanonicalName(p->id)) return SimNewDevice(std::move(p), ppDevice);
    }
    return E_INVALIDARG;
  }

  HRESULT STDMETHODCALLTYPE EnumDevices2(IWMDMEnumDevice** ppEnumDevice) override {
    if (ppEnumDevice != nullptr) *ppEnumDevice = nullptr;
    if (!responder_.authenticated()) return WMDM_E_NOTCERTIFIED;
    if (ppEnumDevice == nullptr) return E_INVALIDARG;
    return SimNewDeviceEnum(SimPresentPlayers(), ppEnumDevice);
  }

  // Players are read afresh at every enumeration, so there is nothing to
  // rebuild here.
  HRESULT STDMETHODCALLTYPE Reinitialize() override { return responder_.authenticated() ? S_OK : WMDM_E_NOTCERTIFIED; }

  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override {
    if (ppEnum != nullptr) *ppEnum = nullptr;
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

 private:
  SimResponder responder_;
};

// Holds its container for as long as it lives; the sinks advised through it
// belong to the container (see SimAdviseSink), so that any connection point
// of the same container can unadvise them.
class ConnectionPoint final : public IConnectionPoint, public SimObject {
 public:
  explicit ConnectionPoint(Root* owner) : owner_(owner) { owner_->AddRef(); }
  ~ConnectionPoint() override { owner_->Release(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
    *ppv = static_cast<IConnectionPoint*>(this);
    addRef();
    return S_OK;
  }
  SIM_REFCOUNTING

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override {
    if (pIID == nullptr) return E_POINTER;
    *pIID = IID_IWMDMNotification;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override {
    if (ppCPC == nullptr) return E_POINTER;
    *ppCPC = static_cast<IConnectionPointContainer*>(owner_);
    (*ppCPC)->AddRef();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override {
    if (pdwCookie == nullptr) return E_POINTER;
    *pdwCookie = 0;
    if (pUnkSink == nullptr) return E_POINTER;
    if (SimCurrentFaults().adviseFails) return kSimCannotConnect;
    IWMDMNotification* sink = nullptr;
    if (FAILED(pUnkSink->QueryInterface(IID_IWMDMNotification, reinterpret_cast<void**>(&sink))) || !sink) {
      return kSimCannotConnect;
    }
    *pdwCookie = SimAdviseSink(static_cast<const void*>(owner_), sink);
    sink->Release();  // the service's own reference was taken by SimAdviseSink
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override {
    return SimUnadviseSink(static_cast<const void*>(owner_), dwCookie);
  }

  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override {
    if (ppEnum != nullptr) *ppEnum = nullptr;
    return E_NOTIMPL;
  }

 private:
  Root* owner_;
};

HRESULT STDMETHODCALLTYPE Root::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  if (ppCP == nullptr) return E_POINTER;
  *ppCP = nullptr;
  if (!responder_.authenticated()) return WMDM_E_NOTCERTIFIED;
  if (riid != IID_IWMDMNotification) return kSimNoConnection;
  ConnectionPoint* cp = new (std::nothrow) ConnectionPoint(this);
  if (cp == nullptr) return E_OUTOFMEMORY;
  *ppCP = cp;
  return S_OK;
}

}  // namespace

HRESULT SimCreateRoot(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  Root* root = new (std::nothrow) Root;
  if (root == nullptr) return E_OUTOFMEMORY;
  return SimHandOut(static_cast<IComponentAuthenticate*>(root), riid, ppv);
}
