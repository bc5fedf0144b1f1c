// The service's end of the secure channel, in process, for the channel's
// benchmark and timing program: a ChannelResponder with the simulated
// service's credentials, and one whole handshake against it.
#pragma once

#include <vector>

#include "channel/initiator.h"
#include "channel/key_container.h"
#include "channel/responder.h"
#include "sim/service_credentials.h"

namespace channelbench {

class Peer final : public IComponentAuthenticate {
 public:
  Peer() {
    std::vector<BYTE> container(kKeyContainerLength, 0x33);
    KeyContainerWrap(kSimServicePrivateKey, 0x1234, container.data());
    responder.setCredentials(0, kSimServiceCertificate, 100, container.data(), kKeyContainerLength);
  }
  ChannelResponder responder;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SACAuth(DWORD protocol, DWORD pass, BYTE* in, DWORD inLength, BYTE** out,
                                    DWORD* outLength) override {
    return responder.exchange(protocol, pass, in, inLength, out, outLength);
  }
  HRESULT STDMETHODCALLTYPE SACGetProtocols(DWORD** protocols, DWORD* count) override {
    return responder.protocols(protocols, count);
  }
};

// Both ends of one handshake, in process; true when it succeeds.
inline bool Handshake() {
  Peer peer;
  ChannelInitiator channel;
  const BYTE zero[1] = {0};
  channel.setCredentials(2, zero, 1, zero, 1);
  channel.attachPeer(&peer);
  return channel.authenticate(2) == S_OK;
}

}  // namespace channelbench
