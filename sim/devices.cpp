// Devices and the device enumerator.
#include "sim/comobject.h"
#include "sim/objects.h"

namespace {

class DeviceEnum final : public IWMDMEnumDevice, public SimObject {
 public:
  DeviceEnum(std::vector<SimPlayerRef> players, size_t next) : players_(std::move(players)), next_(next) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IWMDMEnumDevice) return E_NOINTERFACE;
    *ppv = static_cast<IWMDMEnumDevice*>(this);
    addRef();
    return S_OK;
  }
  SIM_REFCOUNTING

  HRESULT STDMETHODCALLTYPE Next(ULONG celt, IWMDMDevice** ppDevice, ULONG* pceltFetched) override {
    if (pceltFetched != nullptr) *pceltFetched = 0;
    if (ppDevice == nullptr || (pceltFetched == nullptr && celt != 1)) return E_INVALIDARG;
    ULONG fetched = 0;
    while (fetched < celt && next_ < players_.size()) {
      const HRESULT hr = SimNewDevice(players_[next_], &ppDevice[fetched]);
      if (FAILED(hr)) {
        while (fetched > 0) ppDevice[--fetched]->Release();
        return hr;
      }
      ++next_;
      ++fetched;
    }
    if (pceltFetched != nullptr) *pceltFetched = fetched;
    return fetched == celt ? S_OK : S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE Skip(ULONG celt, ULONG* pceltFetched) override {
    const size_t n = std::min<size_t>(celt, players_.size() - next_);
    next_ += n;
    if (pceltFetched != nullptr) *pceltFetched = static_cast<ULONG>(n);
    return n == celt ? S_OK : S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE Reset() override {
    next_ = 0;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Clone(IWMDMEnumDevice** ppEnumDevice) override {
    if (ppEnumDevice == nullptr) return E_INVALIDARG;
    *ppEnumDevice = new (std::nothrow) DeviceEnum(players_, next_);
    return *ppEnumDevice != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  const std::vector<SimPlayerRef> players_;  // as present when the enumeration was opened
  size_t next_;
};

class Device final : public IWMDMDevice2, public SimObject {
 public:
  explicit Device(SimPlayerRef player) : player_(std::move(player)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    const bool device2 = riid == IID_IWMDMDevice2;
    if (riid != IID_IUnknown && riid != IID_IWMDMDevice && !device2) return E_NOINTERFACE;
    if (device2 && fails(kSimQueryDevice2)) return E_NOINTERFACE;
    *ppv = static_cast<IWMDMDevice2*>(this);
    addRef();
    return S_OK;
  }
  SIM_REFCOUNTING

  HRESULT STDMETHODCALLTYPE GetName(LPWSTR pwszName, UINT nMaxChars) override {
    return text(kSimQueryName, player_->description.name, pwszName, nMaxChars);
  }

  HRESULT STDMETHODCALLTYPE GetManufacturer(LPWSTR pwszName, UINT nMaxChars) override {
    return text(kSimQueryManufacturer, player_->description.manufacturer, pwszName, nMaxChars);
  }

  HRESULT STDMETHODCALLTYPE GetVersion(DWORD* pdwVersion) override {
    return number(kSimQueryVersion, player_->description.version, pdwVersion);
  }

  HRESULT STDMETHODCALLTYPE GetType(DWORD* pdwType) override {
    return number(kSimQueryType, player_->description.type, pdwType);
  }

  HRESULT STDMETHODCALLTYPE GetSerialNumber(PWMDMID, BYTE*) override { return WMDM_E_NOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE GetPowerSource(DWORD*, DWORD*) override { return WMDM_E_NOTSUPPORTED; }

  HRESULT STDMETHODCALLTYPE GetStatus(DWORD* pdwStatus) override {
    if (pdwStatus == nullptr) return E_INVALIDARG;
    if (!SimStillPresent(player_)) {
      *pdwStatus = WMDM_STATUS_DEVICE_NOTPRESENT;
      return S_OK;
    }
    return number(kSimQueryStatus, SimPlayerReady(*player_) ? WMDM_STATUS_READY : WMDM_STATUS_BUSY, pdwStatus);
  }

  HRESULT STDMETHODCALLTYPE GetDeviceIcon(ULONG*) override { return WMDM_E_NOTSUPPORTED; }

  HRESULT STDMETHODCALLTYPE EnumStorage(IWMDMEnumStorage** ppEnumStorage) override {
    if (ppEnumStorage == nullptr) return E_INVALIDARG;
    *ppEnumStorage = nullptr;
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    if (fails(kSimQueryStorages)) return kSimQueryFailed;
    return SimNewStorageEnum(player_, ppEnumStorage);
  }

  HRESULT STDMETHODCALLTYPE GetFormatSupport(_WAVEFORMATEX**, UINT*, LPWSTR**, UINT*) override {
    return WMDM_E_NOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE SendOpaqueCommand(OPAQUECOMMAND*) override { return WMDM_E_NOTSUPPORTED; }

  // IWMDMDevice2
  HRESULT STDMETHODCALLTYPE GetStorage(LPCWSTR pszStorageName, IWMDMStorage** ppStorage) override {
    if (pszStorageName == nullptr || ppStorage == nullptr) return E_INVALIDARG;
    *ppStorage = nullptr;
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    const std::string wanted = NarrowToUtf8(WStringView(pszStorageName, WideLength(pszStorageName)));
    const auto& storages = player_->description.storages;
    for (size_t i = 0; i < storages.size(); ++i) {
      if (storages[i].folder == wanted) return SimNewStorage(player_, i, {}, ppStorage);
    }
    return E_INVALIDARG;
  }

  HRESULT STDMETHODCALLTYPE GetFormatSupport2(DWORD, _WAVEFORMATEX**, UINT*, _VIDEOINFOHEADER**, UINT*,
                                              WMFILECAPABILITIES**, UINT*) override {
    return WMDM_E_NOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE GetSpecifyPropertyPages(ISpecifyPropertyPages**, IUnknown***, ULONG*) override {
    return WMDM_E_NOTSUPPORTED;
  }

  HRESULT STDMETHODCALLTYPE GetCanonicalName(LPWSTR pwszPnPName, UINT nMaxChars) override {
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    return SimCopyText(SimCanonicalName(player_->id), pwszPnPName, nMaxChars);
  }

 private:
  bool fails(uint32_t query) const { return (player_->description.failingQueries & query) != 0; }

  HRESULT text(uint32_t query, const std::string& value, LPWSTR buffer, UINT capacity) const {
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    if (fails(query)) return kSimQueryFailed;
    return SimCopyText(WidenUtf8(value), buffer, capacity);
  }

  HRESULT number(uint32_t query, DWORD value, DWORD* out) const {
    if (out == nullptr) return E_INVALIDARG;
    if (!SimStillPresent(player_)) return kSimDeviceGone;
    if (fails(query)) return kSimQueryFailed;
    *out = value;
    return S_OK;
  }

  const SimPlayerRef player_;
};

}  // namespace

HRESULT SimNewDeviceEnum(std::vector<SimPlayerRef> players, IWMDMEnumDevice** out) {
  *out = new (std::nothrow) DeviceEnum(std::move(players), 0);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT SimNewDevice(SimPlayerRef player, IWMDMDevice** out) {
  *out = new (std::nothrow) Device(std::move(player));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

bool SimPlayerReady(const SimPlayer& player) { return player.description.ready && !SimCurrentFaults().playersNotReady; }

bool SimStorageReady(const SimPlayer& player, size_t storage) {
  return player.description.storages.at(storage).ready && !SimCurrentFaults().storagesNotReady;
}
