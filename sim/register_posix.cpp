// Elsewhere than on Windows the COM stand-in's class table plays the part of
// the registry.
#include "sim/factory.h"
#include "sim/simservice.h"

HRESULT SimRegisterService() {
  IClassFactory* factory = SimNewClassFactory();
  if (factory == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = TfComRegisterClass(CLSID_MediaDevMgr, factory);
  factory->Release();
  return hr;
}

void SimUnregisterService() { TfComRevokeClass(CLSID_MediaDevMgr); }
