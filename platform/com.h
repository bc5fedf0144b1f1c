// The COM runtime as Tessfold uses it. On Windows this is the real thing
// (<objbase.h>, <ocidl.h>); elsewhere a small in-process stand-in
// (com_posix.cpp): CoCreateInstance looks the class up in a table that the
// class's provider fills with TfComRegisterClass, as a registered in-process
// server would be found on Windows. ComPtr, the owning interface pointer,
// is the same on both.
#pragma once

#include "platform/sync.h"
#include "platform/win.h"

#ifdef _WIN32

#include <objbase.h>
#include <ocidl.h>

#else  // !_WIN32

#include <cstring>

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

// No virtual destructors: an object is destroyed by its own Release, and the
// vtables must hold exactly the interface's methods in order.
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

struct IClassFactory : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

struct IConnectionPointContainer;
struct IEnumConnections;
struct IEnumConnectionPoints;

struct IConnectionPoint : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) = 0;
};

struct IConnectionPointContainer : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;
};

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IConnectionPoint = {
    0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u
#define CLSCTX_REMOTE_SERVER 0x10u

#define CO_E_NOTINITIALIZED static_cast<HRESULT>(0x800401F0u)

// Per thread, counted: S_OK on the first call, S_FALSE on later ones; each
// call needs its CoUninitialize.
HRESULT CoInitialize(LPVOID pvReserved);
void CoUninitialize();

// CO_E_NOTINITIALIZED before CoInitialize; CLASS_E_NOAGGREGATION with an
// outer object; REGDB_E_CLASSNOTREG for a class nobody registered; otherwise
// the factory's CreateInstance result. *ppv is null on every failure.
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);

LPVOID CoTaskMemAlloc(SIZE_T cb);
void CoTaskMemFree(LPVOID pv);

// Stand-in registration: CoCreateInstance of `rclsid` goes to `factory`,
// which is kept with one reference until revoked (a later registration of
// the same class replaces it). E_POINTER for a null factory.
HRESULT TfComRegisterClass(REFCLSID rclsid, IClassFactory* factory);
// S_OK, or REGDB_E_CLASSNOTREG when the class was not registered.
HRESULT TfComRevokeClass(REFCLSID rclsid);

// Blocks from CoTaskMemAlloc not yet given back (for leak checks in tests).
long TfComTaskMemOutstanding();

#endif  // _WIN32

// Owns one reference to a COM interface and releases it when it goes. Moves
// but does not copy: every reference has exactly one owner.
//
// For a call that fills an out pointer, pass Out() and hand the call's result
// to Receive(): a failed call's leftover is not ours and is dropped without a
// Release, and a success that left no pointer counts as E_FAIL, so that an
// owner is either empty or holds what a successful call gave.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(other.Detach()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = other.Detach();
    }
    return *this;
  }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // Releases what was held; the pointer is cleared before the Release, which
  // may re-enter code that looks at it.
  void Reset() {
    T* held = p_;
    p_ = nullptr;
    if (held != nullptr) held->Release();
  }
  // Hands the reference to the caller.
  T* Detach() {
    T* held = p_;
    p_ = nullptr;
    return held;
  }

  T** Out() {
    Reset();
    return &p_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  HRESULT Receive(HRESULT hr) {
    if (FAILED(hr)) p_ = nullptr;
    return SUCCEEDED(hr) && p_ == nullptr ? E_FAIL : hr;
  }

  // QueryInterface into `out`, which is empty unless it succeeded.
  template <typename U>
  HRESULT Query(REFIID riid, ComPtr<U>* out) const {
    void** slot = out->OutVoid();
    return out->Receive(p_ != nullptr ? p_->QueryInterface(riid, slot) : E_POINTER);
  }

 private:
  T* p_ = nullptr;
};
