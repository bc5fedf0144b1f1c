// The service's end of the secure channel in the same process: a
// ChannelResponder with the simulated service's credentials behind the
// service root's IComponentAuthenticate, counting its references. The channel
// suites, its benchmark, its timing program and its fuzzer all talk to it.
#pragma once

#include <vector>

#include "channel/key_container.h"
#include "channel/responder.h"
#include "platform/wmdm.h"
#include "sim/service_credentials.h"

namespace channeltest {

// The simulated service's private key hidden in a key container.
inline std::vector<BYTE> SimServiceKeyContainer() {
  std::vector<BYTE> container(kKeyContainerLength, 0x3C);
  KeyContainerWrap(kSimServicePrivateKey, 0x0BAD, container.data());
  return container;
}

class ResponderPeer final : public IComponentAuthenticate {
 public:
  ResponderPeer() {
    const std::vector<BYTE> container = SimServiceKeyContainer();
    responder.setCredentials(0, kSimServiceCertificate, sizeof kSimServiceCertificate, container.data(),
                             static_cast<DWORD>(container.size()));
  }
  ResponderPeer(const ResponderPeer&) = delete;
  ResponderPeer& operator=(const ResponderPeer&) = delete;

  ChannelResponder responder;
  ULONG references = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE SACAuth(DWORD protocol, DWORD pass, BYTE* in, DWORD inLength, BYTE** out,
                                    DWORD* outLength) override {
    return responder.exchange(protocol, pass, in, inLength, out, outLength);
  }
  HRESULT STDMETHODCALLTYPE SACGetProtocols(DWORD** protocols, DWORD* count) override {
    return responder.protocols(protocols, count);
  }
};

}  // namespace channeltest
