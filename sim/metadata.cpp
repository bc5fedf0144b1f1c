// Metadata objects: a list of named, typed values.
#include <cstring>

#include "sim/comobject.h"
#include "sim/objects.h"

namespace {

// Sizes of the fixed-width tag types; 0 for the variable ones.
UINT FixedSize(WMDM_TAG_DATATYPE type) {
  switch (type) {
    case WMDM_TYPE_DWORD:
    case WMDM_TYPE_BOOL:
      return 4;
    case WMDM_TYPE_QWORD:
      return 8;
    case WMDM_TYPE_WORD:
      return 2;
    case WMDM_TYPE_GUID:
      return 16;
    case WMDM_TYPE_DATE:
      return 12;  // WMDMDATETIME
    default:
      return 0;
  }
}

class Metadata final : public IWMDMMetaData, public SimObject {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IWMDMMetaData) return E_NOINTERFACE;
    *ppv = static_cast<IWMDMMetaData*>(this);
    addRef();
    return S_OK;
  }
  SIM_REFCOUNTING

  HRESULT STDMETHODCALLTYPE AddItem(WMDM_TAG_DATATYPE Type, LPCWSTR pwszTagName, BYTE* pValue, UINT iLength) override {
    if (pwszTagName == nullptr || (pValue == nullptr && iLength != 0)) return E_INVALIDARG;
    if (SimCurrentFaults().metadataAddFails) return kSimCallFailed;
    if (static_cast<uint32_t>(Type) > WMDM_TYPE_DATE) return WMDM_E_INVALIDTYPE;
    const UINT fixed = FixedSize(Type);
    if (fixed != 0 && iLength != fixed) return E_INVALIDARG;
    SimMetadataItem item{WString(pwszTagName), Type, std::vector<BYTE>(pValue, pValue + iLength)};
    for (SimMetadataItem& existing : items_) {
      if (existing.name == item.name) {
        existing = std::move(item);
        return S_OK;
      }
    }
    items_.push_back(std::move(item));
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE QueryByName(LPCWSTR pwszTagName, WMDM_TAG_DATATYPE* pType, BYTE** pValue,
                                        UINT* pcbLength) override {
    if (pwszTagName == nullptr || pType == nullptr || pValue == nullptr || pcbLength == nullptr) return E_INVALIDARG;
    *pValue = nullptr;
    *pcbLength = 0;
    for (const SimMetadataItem& item : items_) {
      if (item.name == pwszTagName) return give(item, nullptr, pType, pValue, pcbLength);
    }
    return E_INVALIDARG;
  }

  HRESULT STDMETHODCALLTYPE QueryByIndex(UINT iIndex, WCHAR** ppwszName, WMDM_TAG_DATATYPE* pType, BYTE** ppValue,
                                         UINT* pcbLength) override {
    if (ppwszName == nullptr || pType == nullptr || ppValue == nullptr || pcbLength == nullptr) return E_INVALIDARG;
    *ppwszName = nullptr;
    *ppValue = nullptr;
    *pcbLength = 0;
    if (iIndex >= items_.size()) return E_INVALIDARG;
    return give(items_[iIndex], ppwszName, pType, ppValue, pcbLength);
  }

  HRESULT STDMETHODCALLTYPE GetItemCount(UINT* iCount) override {
    if (iCount == nullptr) return E_INVALIDARG;
    *iCount = static_cast<UINT>(items_.size());
    return S_OK;
  }

 private:
  // Hands out task-allocated copies that the caller frees.
  static HRESULT give(const SimMetadataItem& item, WCHAR** name, WMDM_TAG_DATATYPE* type, BYTE** value, UINT* length) {
    BYTE* v = static_cast<BYTE*>(CoTaskMemAlloc(item.value.size()));
    WCHAR* n = nullptr;
    if (name != nullptr) n = static_cast<WCHAR*>(CoTaskMemAlloc((item.name.size() + 1) * sizeof(WCHAR)));
    if (v == nullptr || (name != nullptr && n == nullptr)) {
      CoTaskMemFree(v);
      CoTaskMemFree(n);
      return E_OUTOFMEMORY;
    }
    if (!item.value.empty()) std::memcpy(v, item.value.data(), item.value.size());
    if (name != nullptr) {
      item.name.copy(n, item.name.size());
      n[item.name.size()] = 0;
      *name = n;
    }
    *type = item.type;
    *value = v;
    *length = static_cast<UINT>(item.value.size());
    return S_OK;
  }

  std::vector<SimMetadataItem> items_;
};

}  // namespace

HRESULT SimNewMetadata(IWMDMMetaData** out) {
  *out = new (std::nothrow) Metadata;
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}
