// What both ends of the secure channel hold: credentials, the peer's
// certificate, the session key, and the data protection built on it (buffer
// encryption and MAC slots). ChannelInitiator and ChannelResponder add their
// own half of the handshake.
#pragma once

#include "channel/mac.h"
#include "crypto/des.h"
#include "platform/sync.h"
#include "platform/wmdm.h"

constexpr DWORD kMacSlotCount = 20;
// peerCertificate's answer to an output shorter than a certificate.
constexpr HRESULT kChannelBufferTooSmall = static_cast<HRESULT>(0x80028016u);

class ChannelObject {
 public:
  ChannelObject(const ChannelObject&) = delete;
  ChannelObject& operator=(const ChannelObject&) = delete;

  // Copies the certificate and the key container. When either consists only
  // of zero bytes, the built-in pair is taken instead (lengths 100 and 4096).
  // S_OK; E_INVALIDARG for a null pointer or a zero length; E_OUTOFMEMORY.
  // The previous credentials are freed first.
  HRESULT setCredentials(DWORD dwFlags, const BYTE* pbCertificate, DWORD cbCertificate, const BYTE* pbKeyContainer,
                         DWORD cbKeyContainer);

  // Keeps a counted reference to the peer's interface and returns the count
  // that its AddRef reported (0 for a null interface, which keeps none). A
  // peer attached earlier is released after the new one has been counted, so
  // attaching the same interface again never frees it.
  ULONG attachPeer(IComponentAuthenticate* pPeer);

  // Replaces the session key; the cipher schedule and the MAC key are derived
  // again from it on next use. S_OK; E_INVALIDARG for a null key;
  // E_OUTOFMEMORY.
  HRESULT setSessionKey(const BYTE rgbKey[8]);
  // Copies the session key. E_INVALIDARG for a null output and while no
  // session key has been set (the output is then left alone).
  HRESULT sessionKey(BYTE rgbKey[8]) const;
  // Own and peer level: the big-endian word at offset 92 of each certificate.
  // An output stays as it was when its pointer or the certificate is missing.
  HRESULT securityLevels(DWORD* pdwOwnLevel, DWORD* pdwPeerLevel) const;
  // Without an output, *pcbCertificate := 100. E_FAIL before a peer
  // certificate was received; kChannelBufferTooSmall for a length below 100;
  // E_POINTER for a null length.
  HRESULT peerCertificate(BYTE* pbCertificate, DWORD* pcbCertificate) const;

  // DES-CBC in place over the whole 8-byte blocks, the feedback register
  // starting from zero on every call; a trailing part is left as it is.
  // S_OK; S_FALSE (nothing changed) below 8 bytes; E_INVALIDARG for a null
  // buffer, a zero length or no session key.
  HRESULT encryptBuffer(BYTE* pbData, DWORD cbData);
  HRESULT decryptBuffer(BYTE* pbData, DWORD cbData);

  // MAC slots. macBegin takes the lowest free slot: E_INVALIDARG for a null
  // output or no session key; E_FAIL when all 20 are in use. macAppend:
  // E_INVALIDARG for an index above 19, a slot not in use, null data or a zero
  // length. macFinish writes the 8-byte code and frees the slot: E_INVALIDARG
  // for an index above 19 or a slot not in use; E_POINTER for a null output,
  // which leaves the slot as it was.
  HRESULT macBegin(DWORD* pdwSlot);
  HRESULT macAppend(DWORD dwSlot, const BYTE* pbData, DWORD cbData);
  HRESULT macFinish(DWORD dwSlot, BYTE rgbMac[kMacLength]);

  bool isAuthenticated() const { return authenticated_ != 0; }

 protected:
  ChannelObject();
  ~ChannelObject();

  HRESULT cipher(BYTE* pbData, DWORD cbData, int fEncrypt);

  DWORD authenticated_ = 0;
  BYTE* ownCertificate_ = nullptr;
  DWORD ownCertificateLength_ = 0;
  BYTE* peerCertificate_ = nullptr;
  DWORD peerCertificateLength_ = 0;
  BYTE* ownKeyContainer_ = nullptr;
  DWORD ownKeyContainerLength_ = 0;
  BYTE* sessionKey_ = nullptr;
  DWORD sessionKeyLength_ = 0;
  DWORD cipherReady_ = 0;
  DesKeySchedule schedule_{};
  IComponentAuthenticate* peer_ = nullptr;
  DWORD certificateFlags_ = 0;
  struct MacSlot {
    DWORD inUse;
    MacContext context;
  } macSlots_[kMacSlotCount]{};
  DWORD macKey_[kMacKeyWords]{};
  DWORD macKeyReady_ = 0;
  CRITICAL_SECTION macLock_;
};
