#include "channel/initiator.h"

#include <cstring>
#include <new>

#include "channel/wire.h"

namespace {

constexpr DWORD kPass0RequestLengthHere = kPass0RequestLength;
constexpr DWORD kSignatureLength = kChannelSignatureLength;

}  // namespace

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
  BYTE challenge[kPass0RequestLengthHere] = {};
  BYTE* reply = nullptr;
  DWORD replyLength = 0;
  HRESULT hr = peer_->SACAuth(kChannelProtocol2, 0, challenge, kPass0RequestLengthHere, &reply, &replyLength);
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
