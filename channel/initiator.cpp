#include "channel/initiator.h"

#include <cstring>
#include <memory>
#include <new>

#include "channel/certificate.h"
#include "channel/credentials.h"
#include "channel/curve_lock.h"
#include "channel/ecdsa_elgamal.h"
#include "channel/key_container.h"
#include "channel/private_key.h"
#include "channel/wire.h"
#include "crypto/random/wipe.h"

namespace {

constexpr DWORD kPass0ReplyLength = kPass0ReplyCertificateOffset + kChannelCertificateLength;

// One reply of the service's exchange, owned by the pass that asked for it
// and given back to the task allocator whichever way the pass ends.
class ServiceReply {
 public:
  ServiceReply() = default;
  ~ServiceReply() { CoTaskMemFree(data_); }
  ServiceReply(const ServiceReply&) = delete;
  ServiceReply& operator=(const ServiceReply&) = delete;

  // The service's own result when the call fails; E_FAIL for a reply shorter
  // than the message it stands for, of which nothing is read.
  HRESULT fetch(IComponentAuthenticate* peer, DWORD pass, BYTE* request, DWORD requestLength, DWORD expected) {
    const HRESULT hr = peer->SACAuth(kChannelProtocol2, pass, request, requestLength, &data_, &length_);
    refused_ = FAILED(hr);
    if (FAILED(hr)) return hr;
    return data_ != nullptr && length_ >= expected ? S_OK : E_FAIL;
  }
  // Whether the last fetch failed in the service's own call.
  bool refused() const { return refused_; }
  const BYTE* at(DWORD offset) const { return data_ + offset; }

 private:
  BYTE* data_ = nullptr;
  DWORD length_ = 0;
  bool refused_ = false;
};

// The curve context of one handshake, made and freed under the lock.
class CurveScope {
 public:
  CurveScope() {
    ChannelLockHeld held;
    curve_ = ChannelCurveCreate();
  }
  ~CurveScope() {
    ChannelLockHeld held;
    ChannelCurveDestroy(curve_);
  }
  CurveScope(const CurveScope&) = delete;
  CurveScope& operator=(const CurveScope&) = delete;
  ChannelCurve* get() const { return curve_; }

 private:
  ChannelCurve* curve_;
};

bool VerifyHeld(ChannelCurve* curve, const BYTE* publicKey, const BYTE* message, DWORD length, const BYTE* signature) {
  ChannelLockHeld held;
  return ChannelVerify(curve, publicKey, message, length, signature);
}

}  // namespace

HRESULT ChannelInitiator::authenticate(DWORD dwProtocolId) {
  if (dwProtocolId == kChannelProtocol1) return E_NOTIMPL;
  if (dwProtocolId != kChannelProtocol2) return E_INVALIDARG;
  if (peer_ == nullptr) return E_POINTER;
  return runProtocol2();
}

HRESULT ChannelInitiator::runProtocol2() {
  ChannelLockMembership member;
  failure_ = HandshakeFailure::kNone;
  CurveScope curve;
  if (curve.get() == nullptr) return fail(HandshakeFailure::kResources, E_OUTOFMEMORY);
  cipherReady_ = 0;

  // Zeroed: the generator stirs what the output buffer held into its pool.
  BYTE challenges[2 * kChannelChallengeLength] = {};  // ours, then the peer's
  {
    ChannelLockHeld held;
    if (!ChannelRandom(challenges, kChannelChallengeLength)) return fail(HandshakeFailure::kResources, E_FAIL);
  }
  HRESULT hr = exchangeChallenges(curve.get(), challenges);
  if (FAILED(hr)) return hr;

  ChannelPrivateKey key;
  if (ownKeyContainer_ == nullptr) return fail(HandshakeFailure::kOwnCredentials, E_FAIL);
  hr = KeyContainerExtract(ownKeyContainer_, ownKeyContainerLength_, key.bytes);
  if (FAILED(hr)) return fail(HandshakeFailure::kOwnCredentials, hr);

  hr = exchangeSessionKey(curve.get(), challenges, key.bytes);
  if (FAILED(hr)) return hr;
  authenticated_ = 1;
  return S_OK;
}

HRESULT ChannelInitiator::exchangeChallenges(ChannelCurve* pCurve, BYTE rgbChallenges[8]) {
  ServiceReply reply;
  HRESULT hr = reply.fetch(peer_, 0, rgbChallenges, kPass0RequestLength, kPass0ReplyLength);
  if (FAILED(hr)) return failFetch(hr, reply.refused());
  hr = keepPeerCertificate(reply.at(kPass0ReplyCertificateOffset));
  if (FAILED(hr))
    return fail(hr == E_OUTOFMEMORY ? HandshakeFailure::kResources : HandshakeFailure::kServiceCertificate, hr);
  std::memcpy(rgbChallenges + kChannelChallengeLength, reply.at(0), kChannelChallengeLength);
  if (!VerifyHeld(pCurve, kChannelRootPublicKey, peerCertificate_ + kCertificateSignedOffset,
                  CertificateSignedLength(peerCertificate_), peerCertificate_ + kCertificateSignatureOffset))
    return fail(HandshakeFailure::kServiceCertificate, E_FAIL);
  if (!VerifyHeld(pCurve, peerCertificate_ + kCertificatePublicKeyOffset, rgbChallenges, 2 * kChannelChallengeLength,
                  reply.at(kPass0ReplySignatureOffset)))
    return fail(HandshakeFailure::kServiceSignature, E_FAIL);
  return S_OK;
}

HRESULT ChannelInitiator::keepPeerCertificate(const BYTE* pbCertificate) {
  if (peerCertificate_ == nullptr) {
    peerCertificate_ = new (std::nothrow) BYTE[kChannelCertificateLength];
    if (peerCertificate_ == nullptr) return E_OUTOFMEMORY;
  }
  std::memcpy(peerCertificate_, pbCertificate, kChannelCertificateLength);
  peerCertificateLength_ = kChannelCertificateLength;
  if (!CertificateFormatOk(peerCertificate_)) return kChannelNotCertified;
  return CertificateSignedLength(peerCertificate_) <= kCertificateMaxSignedLength ? S_OK : E_FAIL;
}

HRESULT ChannelInitiator::exchangeSessionKey(ChannelCurve* pCurve, const BYTE rgbChallenges[8],
                                             const BYTE rgbPrivateKey[20]) {
  const DWORD requestLength = kPass1RequestCertificateOffset + ownCertificateLength_;
  std::unique_ptr<BYTE[]> request(new (std::nothrow) BYTE[requestLength]);
  if (request == nullptr) return fail(HandshakeFailure::kResources, E_OUTOFMEMORY);
  BYTE swapped[2 * kChannelChallengeLength];  // the peer's challenge first
  std::memcpy(swapped, rgbChallenges + kChannelChallengeLength, kChannelChallengeLength);
  std::memcpy(swapped + kChannelChallengeLength, rgbChallenges, kChannelChallengeLength);
  {
    ChannelLockHeld held;
    if (!ChannelSign(pCurve, rgbPrivateKey, swapped, sizeof swapped, request.get()))
      return fail(HandshakeFailure::kOwnCredentials, E_FAIL);
  }
  std::memcpy(request.get() + kPass1RequestCertificateOffset, ownCertificate_, ownCertificateLength_);

  ServiceReply reply;
  HRESULT hr = reply.fetch(peer_, 1, request.get(), requestLength, kPass1ReplyLength);
  if (FAILED(hr)) return failFetch(hr, reply.refused());
  BYTE sessionKey[kChannelSessionKeyLength];
  bool opened;
  {
    ChannelLockHeld held;
    opened =
        ChannelKeyOpen(pCurve, rgbPrivateKey, reply.at(kPass1ReplyC1Offset), reply.at(kPass1ReplyC2Offset), sessionKey);
  }
  if (!opened) return fail(HandshakeFailure::kServiceSignature, E_FAIL);
  hr = setSessionKey(sessionKey);
  SecureWipe(sessionKey, sizeof sessionKey);
  if (FAILED(hr)) return fail(HandshakeFailure::kResources, hr);
  const BYTE* peerKey = peerCertificate_ + kCertificatePublicKeyOffset;
  if (!VerifyHeld(pCurve, peerKey, sessionKey_, kChannelSessionKeyLength, reply.at(0)))
    return fail(HandshakeFailure::kServiceSignature, E_FAIL);
  return S_OK;
}
