#include "channel/responder.h"

#include <cstring>
#include <new>

#include "channel/certificate.h"
#include "channel/credentials.h"
#include "channel/curve_lock.h"
#include "channel/ecdsa_elgamal.h"
#include "channel/initiator.h"
#include "channel/key_container.h"
#include "channel/private_key.h"
#include "channel/wire.h"

namespace {

constexpr DWORD kPass1RequestLength = kPass1RequestCertificateOffset + kChannelCertificateLength;

// One pass's curve work: membership of the lock scheme and the lock held.
class CurveLock {
 public:
  CurveLock() = default;
  CurveLock(const CurveLock&) = delete;
  CurveLock& operator=(const CurveLock&) = delete;

 private:
  ChannelLockMembership member_;
  ChannelLockHeld held_;
};

}  // namespace

void ChannelResponder::setTrustedRoot(const BYTE rgbRoot[40]) {
  ownRoot_ = rgbRoot != nullptr;
  if (ownRoot_) std::memcpy(trustedRoot_, rgbRoot, sizeof trustedRoot_);
}

HRESULT ChannelResponder::protocols(DWORD** ppdwProtocols, DWORD* pdwProtocolCount) {
  if (ppdwProtocols == nullptr || pdwProtocolCount == nullptr) return E_INVALIDARG;
  DWORD* list = static_cast<DWORD*>(CoTaskMemAlloc(sizeof(DWORD)));
  if (list == nullptr) return E_OUTOFMEMORY;
  list[0] = kChannelProtocol2;
  *ppdwProtocols = list;
  *pdwProtocolCount = 1;
  return S_OK;
}

HRESULT ChannelResponder::exchange(DWORD dwProtocolID, DWORD dwPass, const BYTE* pbDataIn, DWORD dwDataInLen,
                                   BYTE** ppbDataOut, DWORD* pdwDataOutLen) {
  if (ppbDataOut == nullptr || pdwDataOutLen == nullptr) return E_INVALIDARG;
  *ppbDataOut = nullptr;
  *pdwDataOutLen = 0;
  if (dwProtocolID == kChannelProtocol1) return E_NOTIMPL;
  if (dwProtocolID != kChannelProtocol2) return E_INVALIDARG;
  if (dwPass > 1 || (dwPass == 1 && !challengesReady_)) return WMDM_E_CALL_OUT_OF_SEQUENCE;
  const DWORD want = dwPass == 0 ? kPass0RequestLength : kPass1RequestLength;
  if (pbDataIn == nullptr || dwDataInLen != want) return E_INVALIDARG;
  if (ownCertificate_ == nullptr || ownKeyContainer_ == nullptr) return E_FAIL;
  if (dwPass == 0) return pass0(pbDataIn, ppbDataOut, pdwDataOutLen);
  const HRESULT hr = pass1(pbDataIn, ppbDataOut, pdwDataOutLen);
  dropCurve();  // the exchange is over, whichever way it ended
  return hr;
}

ChannelResponder::~ChannelResponder() { dropCurve(); }

void ChannelResponder::dropCurve() {
  if (curve_ == nullptr) return;
  CurveLock lock;
  ChannelCurveDestroy(curve_);
  curve_ = nullptr;
}

HRESULT ChannelResponder::pass0(const BYTE* pbDataIn, BYTE** ppbDataOut, DWORD* pdwDataOutLen) {
  // A new pass 0 starts the exchange over, with a curve context of its own
  // that lasts until its pass 1.
  challengesReady_ = false;
  dropCurve();
  ChannelPrivateKey key;
  HRESULT hr = KeyContainerExtract(ownKeyContainer_, ownKeyContainerLength_, key.bytes);
  if (FAILED(hr)) return hr;
  const DWORD replyLength = kPass0ReplyCertificateOffset + ownCertificateLength_;
  BYTE* reply = static_cast<BYTE*>(CoTaskMemAlloc(replyLength));
  if (reply == nullptr) return E_OUTOFMEMORY;
  std::memcpy(initiatorChallenge_, pbDataIn, kChannelChallengeLength);
  BYTE both[2 * kChannelChallengeLength];
  bool ok;
  {
    CurveLock lock;
    curve_ = ChannelCurveCreate();
    ok = curve_ != nullptr && ChannelRandom(responderChallenge_, kChannelChallengeLength);
    std::memcpy(both, initiatorChallenge_, kChannelChallengeLength);
    std::memcpy(both + kChannelChallengeLength, responderChallenge_, kChannelChallengeLength);
    ok = ok && ChannelSign(curve_, key.bytes, both, sizeof both, reply + kPass0ReplySignatureOffset);
  }
  if (!ok) {
    CoTaskMemFree(reply);
    dropCurve();
    return E_FAIL;
  }
  std::memcpy(reply, responderChallenge_, kChannelChallengeLength);
  std::memcpy(reply + kPass0ReplyCertificateOffset, ownCertificate_, ownCertificateLength_);
  challengesReady_ = true;
  *ppbDataOut = reply;
  *pdwDataOutLen = replyLength;
  return S_OK;
}

HRESULT ChannelResponder::pass1(const BYTE* pbDataIn, BYTE** ppbDataOut, DWORD* pdwDataOutLen) {
  challengesReady_ = false;
  const BYTE* certificate = pbDataIn + kPass1RequestCertificateOffset;
  if (peerCertificate_ == nullptr) {
    peerCertificate_ = new (std::nothrow) BYTE[kChannelCertificateLength];
    if (peerCertificate_ == nullptr) return E_OUTOFMEMORY;
  }
  std::memcpy(peerCertificate_, certificate, kChannelCertificateLength);
  peerCertificateLength_ = kChannelCertificateLength;
  if (!CertificateFormatOk(certificate)) return kChannelNotCertified;
  const DWORD signedLength = CertificateSignedLength(certificate);
  if (signedLength > kCertificateMaxSignedLength) return E_FAIL;

  ChannelPrivateKey key;
  HRESULT hr = KeyContainerExtract(ownKeyContainer_, ownKeyContainerLength_, key.bytes);
  if (FAILED(hr)) return hr;
  BYTE* reply = static_cast<BYTE*>(CoTaskMemAlloc(kPass1ReplyLength));
  if (reply == nullptr) return E_OUTOFMEMORY;

  BYTE both[2 * kChannelChallengeLength];  // responder's challenge first
  std::memcpy(both, responderChallenge_, kChannelChallengeLength);
  std::memcpy(both + kChannelChallengeLength, initiatorChallenge_, kChannelChallengeLength);
  BYTE sessionKey[kChannelSessionKeyLength] = {};
  bool ok;
  {
    CurveLock lock;
    ChannelCurve* curve = curve_;
    const BYTE* peerKey = certificate + kCertificatePublicKeyOffset;
    ok = curve != nullptr &&
         ChannelVerify(curve, ownRoot_ ? trustedRoot_ : kChannelRootPublicKey, certificate + kCertificateSignedOffset,
                       signedLength, certificate + kCertificateSignatureOffset) &&
         ChannelVerify(curve, peerKey, both, sizeof both, pbDataIn) && ChannelRandom(sessionKey, sizeof sessionKey) &&
         ChannelSign(curve, key.bytes, sessionKey, sizeof sessionKey, reply) &&
         ChannelKeySeal(curve, peerKey, sessionKey, reply + kPass1ReplyC1Offset, keyPointTries_);
  }
  if (ok) hr = setSessionKey(sessionKey);
  if (!ok || FAILED(hr)) {
    CoTaskMemFree(reply);
    return ok ? hr : E_FAIL;
  }
  authenticated_ = 1;
  *ppbDataOut = reply;
  *pdwDataOutLen = kPass1ReplyLength;
  return S_OK;
}
