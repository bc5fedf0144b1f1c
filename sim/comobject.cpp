#include "sim/comobject.h"

namespace {

std::atomic<long> g_alive{0};
std::atomic<long> g_held{0};

}  // namespace

SimObject::SimObject() { ++g_alive; }

SimObject::~SimObject() { --g_alive; }

ULONG SimObject::addRef() { return ++references_; }

ULONG SimObject::release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

long SimObjectsAlive() { return g_alive; }

void SimHold(IUnknown* object) {
  object->AddRef();
  ++g_held;
}

void SimDrop(IUnknown* object) {
  --g_held;
  object->Release();
}

long SimHeldReferences() { return g_held; }

HRESULT SimCopyText(const WString& text, LPWSTR buffer, UINT capacity) {
  if (buffer == nullptr) return E_INVALIDARG;
  if (text.size() + 1 > capacity) {
    if (capacity > 0) buffer[0] = 0;
    return WMDM_E_BUFFERTOOSMALL;
  }
  text.copy(buffer, text.size());
  buffer[text.size()] = 0;
  return S_OK;
}
