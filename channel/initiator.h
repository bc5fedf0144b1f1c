// ChannelInitiator: the program's side of the WMDM service's secure
// authenticated channel. The DeviceManager drives it once, while it is being
// created:
//   construct -> setCredentials(2, one zero byte, one zero byte)
//             -> attachPeer(root) -> authenticate(first protocol offered)
// and destroys it with itself. Nothing else of the device layer depends on
// how the handshake works inside authenticate.
#pragma once

#include "channel/channel_object.h"

struct ChannelCurve;

// Protocol ids that the service may offer through SACGetProtocols.
constexpr DWORD kChannelProtocol1 = 1;  // not supported
constexpr DWORD kChannelProtocol2 = 2;

// The peer's certificate does not have the certificate format.
constexpr HRESULT kChannelNotCertified = static_cast<HRESULT>(0x80041003u);

// Which side a failed handshake stopped on, for programs that must tell the
// user whether the service refused us or we refused the service.
enum class HandshakeFailure {
  kNone,                // no handshake ran, or it completed
  kServiceRefused,      // an exchange call of the service failed
  kServiceReply,        // a reply was shorter than the protocol's
  kServiceCertificate,  // the service's certificate did not verify here
  kServiceSignature,    // its signature over the challenges or the session key, or the key transport, did not verify
  kOwnCredentials,      // our own key container or signature could not be used
  kResources,           // memory or random bytes ran out
};

class ChannelInitiator : public ChannelObject {
 public:
  ChannelInitiator() = default;

  // Where the last authenticate of protocol 2 stopped.
  HandshakeFailure lastFailure() const { return failure_; }

  // Runs the handshake of `dwProtocolId` with the attached peer.
  // S_OK when it completed; E_NOTIMPL for protocol 1; E_INVALIDARG for any id
  // other than 1 and 2; E_POINTER with no peer attached. Protocol 2 fails
  // with:
  //   E_OUTOFMEMORY         the curve context or a working buffer
  //   E_FAIL                no random bytes; a reply shorter than the
  //                         protocol's; a signed length above 52; a signature
  //                         that does not verify; C1 or C2 off the curve; no
  //                         key container (after pass 0) or one that yields
  //                         no usable key
  //   kChannelNotCertified  a format word of the peer's certificate
  //   the service's result  when an exchange call fails
  // A failed handshake leaves the authenticated flag as it was; the peer
  // certificate and the session key keep what they had reached.
  HRESULT authenticate(DWORD dwProtocolId);

 private:
  HRESULT runProtocol2();
  // Pass 0: the peer's challenge (into the second half of `rgbChallenges`)
  // and certificate, kept and checked, with its signature over both
  // challenges.
  HRESULT exchangeChallenges(ChannelCurve* pCurve, BYTE rgbChallenges[8]);
  // Pass 1: our signature and certificate; the session key that comes back,
  // stored and checked against the peer's signature over it.
  HRESULT exchangeSessionKey(ChannelCurve* pCurve, const BYTE rgbChallenges[8], const BYTE rgbPrivateKey[20]);
  HRESULT keepPeerCertificate(const BYTE* pbCertificate);
  // Notes where the handshake stopped and passes `hr` on.
  HRESULT fail(HandshakeFailure failure, HRESULT hr) {
    failure_ = failure;
    return hr;
  }
  // A fetch's failure: the service's own result, or a short reply.
  HRESULT failFetch(HRESULT hr, bool refused) {
    return fail(refused ? HandshakeFailure::kServiceRefused : HandshakeFailure::kServiceReply, hr);
  }

  HandshakeFailure failure_ = HandshakeFailure::kNone;
};
