#include "channel/initiator.h"

#include <cstring>
#include <new>

#include "channel/certificate.h"
#include "channel/credentials.h"
#include "channel/curve.h"
#include "channel/curve_lock.h"
#include "channel/key_container.h"
#include "channel/private_key.h"
#include "channel/wire.h"

namespace {

constexpr DWORD kPass0ReplyLength = kPass0ReplyCertificateOffset + kChannelCertificateLength;

// A reply of the service's exchange, given back to the task allocator
// whichever way the handshake ends.
class Reply {
 public:
  Reply() = default;
  ~Reply() { release(); }
  Reply(const Reply&) = delete;
  Reply& operator=(const Reply&) = delete;
  BYTE** data() { return &data_; }
  DWORD* length() { return &length_; }
  const BYTE* bytes() const { return data_; }
  // Nothing is read from a reply shorter than its message.
  bool holds(DWORD length) const { return data_ != nullptr && length_ >= length; }
  void release() {
    CoTaskMemFree(data_);
    data_ = nullptr;
    length_ = 0;
  }

 private:
  BYTE* data_ = nullptr;
  DWORD length_ = 0;
};

// The curve context of one handshake, freed under the lock.
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

}  // namespace

HRESULT ChannelInitiator::authenticate(DWORD dwProtocolId) {
  if (dwProtocolId == kChannelProtocol1) return E_NOTIMPL;
  if (dwProtocolId != kChannelProtocol2) return E_INVALIDARG;
  if (peer_ == nullptr) return E_POINTER;
  if (ownCertificate_ == nullptr || ownKeyContainer_ == nullptr) return E_FAIL;
  return runProtocol2();
}

HRESULT ChannelInitiator::runProtocol2() {
  ChannelLockMembership member;
  CurveScope curve;
  if (curve.get() == nullptr) return E_OUTOFMEMORY;
  cipherReady_ = 0;

  BYTE challenges[2 * kChannelChallengeLength];  // initiator's, then the peer's
  {
    ChannelLockHeld held;
    if (!ChannelRandom(challenges, kChannelChallengeLength)) return E_FAIL;
  }

  Reply reply;
  HRESULT hr = peer_->SACAuth(kChannelProtocol2, 0, challenges, kPass0RequestLength, reply.data(), reply.length());
  if (FAILED(hr)) return hr;
  if (!reply.holds(kPass0ReplyLength)) return E_FAIL;

  if (peerCertificate_ == nullptr) {
    peerCertificate_ = new (std::nothrow) BYTE[kChannelCertificateLength];
    if (peerCertificate_ == nullptr) return E_OUTOFMEMORY;
  }
  std::memcpy(peerCertificate_, reply.bytes() + kPass0ReplyCertificateOffset, kChannelCertificateLength);
  peerCertificateLength_ = kChannelCertificateLength;
  if (!CertificateFormatOk(peerCertificate_)) return kChannelNotCertified;
  const DWORD signedLength = CertificateSignedLength(peerCertificate_);
  if (signedLength > kCertificateMaxSignedLength) return E_FAIL;
  const BYTE* peerKey = peerCertificate_ + kCertificatePublicKeyOffset;
  std::memcpy(challenges + kChannelChallengeLength, reply.bytes(), kChannelChallengeLength);
  {
    ChannelLockHeld held;
    if (!ChannelVerify(curve.get(), kChannelRootPublicKey, peerCertificate_ + kCertificateSignedOffset, signedLength,
                       peerCertificate_ + kCertificateSignatureOffset))
      return E_FAIL;
    if (!ChannelVerify(curve.get(), peerKey, challenges, sizeof challenges, reply.bytes() + kPass0ReplySignatureOffset))
      return E_FAIL;
  }
  reply.release();

  ChannelPrivateKey key;
  hr = KeyContainerExtract(ownKeyContainer_, ownKeyContainerLength_, key.bytes);
  if (FAILED(hr)) return hr;

  const DWORD requestLength = kPass1RequestCertificateOffset + ownCertificateLength_;
  BYTE* request = new (std::nothrow) BYTE[requestLength];
  if (request == nullptr) return E_OUTOFMEMORY;
  BYTE swapped[2 * kChannelChallengeLength];  // the peer's challenge first
  std::memcpy(swapped, challenges + kChannelChallengeLength, kChannelChallengeLength);
  std::memcpy(swapped + kChannelChallengeLength, challenges, kChannelChallengeLength);
  bool signedOk;
  {
    ChannelLockHeld held;
    signedOk = ChannelSign(curve.get(), key.bytes, swapped, sizeof swapped, request);
  }
  if (!signedOk) {
    delete[] request;
    return E_FAIL;
  }
  std::memcpy(request + kPass1RequestCertificateOffset, ownCertificate_, ownCertificateLength_);
  hr = peer_->SACAuth(kChannelProtocol2, 1, request, requestLength, reply.data(), reply.length());
  delete[] request;
  if (FAILED(hr)) return hr;
  if (!reply.holds(kPass1ReplyLength)) return E_FAIL;

  BYTE sessionKey[kChannelSessionKeyLength];
  {
    ChannelLockHeld held;
    if (!ChannelKeyOpen(curve.get(), key.bytes, reply.bytes() + kPass1ReplyC1Offset,
                        reply.bytes() + kPass1ReplyC2Offset, sessionKey))
      return E_FAIL;
  }
  hr = setSessionKey(sessionKey);
  volatile BYTE* wipe = sessionKey;
  for (DWORD i = 0; i < kChannelSessionKeyLength; ++i) wipe[i] = 0;
  if (FAILED(hr)) return hr;
  {
    ChannelLockHeld held;
    if (!ChannelVerify(curve.get(), peerKey, sessionKey_, kChannelSessionKeyLength, reply.bytes())) return E_FAIL;
  }
  authenticated_ = 1;
  return S_OK;
}
