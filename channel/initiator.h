// ChannelInitiator: the program's side of the WMDM service's secure
// authenticated channel. The DeviceManager drives it once, while it is being
// created:
//   construct -> setCredentials(2, one zero byte, one zero byte)
//             -> attachPeer(root) -> authenticate(first protocol offered)
// and destroys it with itself. Nothing else of the device layer depends on
// how the handshake works inside authenticate.
#pragma once

#include "platform/wmdm.h"

// Lengths of the built-in credentials that all-zero placeholders select.
constexpr DWORD kChannelCertificateLength = 100;
constexpr DWORD kKeyContainerLength = 4096;

// Protocol ids that the service may offer through SACGetProtocols.
constexpr DWORD kChannelProtocol1 = 1;  // not supported
constexpr DWORD kChannelProtocol2 = 2;

class ChannelInitiator {
 public:
  // No credentials, no peer, no session key.
  ChannelInitiator();
  // Frees the credentials, the session key and the peer certificate, and
  // releases the peer interface.
  ~ChannelInitiator();
  ChannelInitiator(const ChannelInitiator&) = delete;
  ChannelInitiator& operator=(const ChannelInitiator&) = delete;

  // Copies the certificate and the key container. When either consists only
  // of zero bytes, the built-in pair is taken instead (lengths 100 and 4096).
  // S_OK; E_INVALIDARG for a null pointer or a zero length; E_OUTOFMEMORY.
  // The previous credentials are freed first.
  HRESULT setCredentials(DWORD dwFlags, const BYTE* pbCertificate, DWORD cbCertificate, const BYTE* pbKeyContainer,
                         DWORD cbKeyContainer);

  // Keeps a counted reference to the service's interface and returns the
  // count that its AddRef reported (0 for a null interface, which keeps none).
  // A peer attached earlier is released.
  ULONG attachPeer(IComponentAuthenticate* pPeer);

  // Runs the handshake of `dwProtocolId` with the attached peer.
  // S_OK when it completed; E_NOTIMPL for protocol 1; E_INVALIDARG for any id
  // other than 1 and 2; E_POINTER with no peer attached; E_FAIL without
  // credentials; otherwise the handshake's failure, the service's own results
  // passed through.
  HRESULT authenticate(DWORD dwProtocolId);

  bool isAuthenticated() const { return authenticated_ != 0; }

 private:
  HRESULT runProtocol2();

  DWORD authenticated_ = 0;
  BYTE* ownCertificate_ = nullptr;
  DWORD ownCertificateLength_ = 0;
  BYTE* peerCertificate_ = nullptr;
  BYTE* ownKeyContainer_ = nullptr;
  DWORD ownKeyContainerLength_ = 0;
  BYTE* sessionKey_ = nullptr;
  IComponentAuthenticate* peer_ = nullptr;
  DWORD certificateFlags_ = 0;
};
