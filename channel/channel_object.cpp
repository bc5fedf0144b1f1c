#include "channel/channel_object.h"

#include <cstring>
#include <new>

#include "channel/certificate.h"
#include "channel/credentials.h"
#include "channel/key_container.h"
#include "channel/wire.h"
#include "crypto/random/wipe.h"

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

// Secrets are wiped before their blocks go back to the heap.
void FreeSecret(BYTE*& p, DWORD& n) {
  SecureWipe(p, n);
  delete[] p;
  p = nullptr;
  n = 0;
}

}  // namespace

ChannelObject::ChannelObject() { InitializeCriticalSection(&macLock_); }

ChannelObject::~ChannelObject() {
  delete[] ownCertificate_;
  FreeSecret(ownKeyContainer_, ownKeyContainerLength_);
  FreeSecret(sessionKey_, sessionKeyLength_);
  delete[] peerCertificate_;
  if (peer_ != nullptr) peer_->Release();
  SecureWipe(&schedule_, sizeof schedule_);
  SecureWipe(macKey_, sizeof macKey_);
  DeleteCriticalSection(&macLock_);
}

HRESULT ChannelObject::setCredentials(DWORD dwFlags, const BYTE* pbCertificate, DWORD cbCertificate,
                                      const BYTE* pbKeyContainer, DWORD cbKeyContainer) {
  if (pbCertificate == nullptr || cbCertificate == 0 || pbKeyContainer == nullptr || cbKeyContainer == 0)
    return E_INVALIDARG;
  delete[] ownCertificate_;
  ownCertificate_ = nullptr;
  ownCertificateLength_ = 0;
  FreeSecret(ownKeyContainer_, ownKeyContainerLength_);

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
    FreeSecret(keyContainer, cbKeyContainer);
    return E_OUTOFMEMORY;
  }
  ownCertificate_ = certificate;
  ownCertificateLength_ = cbCertificate;
  ownKeyContainer_ = keyContainer;
  ownKeyContainerLength_ = cbKeyContainer;
  certificateFlags_ = dwFlags;
  return S_OK;
}

ULONG ChannelObject::attachPeer(IComponentAuthenticate* pPeer) {
  const ULONG count = pPeer != nullptr ? pPeer->AddRef() : 0;
  IComponentAuthenticate* previous = peer_;
  peer_ = pPeer;
  if (previous != nullptr) previous->Release();
  return count;
}

HRESULT ChannelObject::setSessionKey(const BYTE rgbKey[8]) {
  if (rgbKey == nullptr) return E_INVALIDARG;
  if (sessionKey_ == nullptr) {
    sessionKey_ = new (std::nothrow) BYTE[kChannelSessionKeyLength];
    if (sessionKey_ == nullptr) return E_OUTOFMEMORY;
  }
  std::memcpy(sessionKey_, rgbKey, kChannelSessionKeyLength);
  sessionKeyLength_ = kChannelSessionKeyLength;
  cipherReady_ = 0;
  macKeyReady_ = 0;
  return S_OK;
}

HRESULT ChannelObject::sessionKey(BYTE rgbKey[8]) const {
  if (rgbKey == nullptr || sessionKey_ == nullptr) return E_INVALIDARG;
  std::memcpy(rgbKey, sessionKey_, kChannelSessionKeyLength);
  return S_OK;
}

HRESULT ChannelObject::securityLevels(DWORD* pdwOwnLevel, DWORD* pdwPeerLevel) const {
  if (pdwOwnLevel != nullptr && ownCertificate_ != nullptr && ownCertificateLength_ >= kChannelCertificateLength)
    *pdwOwnLevel = CertificateSecurityLevel(ownCertificate_);
  if (pdwPeerLevel != nullptr && peerCertificate_ != nullptr)
    *pdwPeerLevel = CertificateSecurityLevel(peerCertificate_);
  return S_OK;
}

HRESULT ChannelObject::peerCertificate(BYTE* pbCertificate, DWORD* pcbCertificate) const {
  if (pcbCertificate == nullptr) return E_POINTER;
  if (pbCertificate == nullptr) {
    *pcbCertificate = kChannelCertificateLength;
    return S_OK;
  }
  if (peerCertificate_ == nullptr) return E_FAIL;
  if (*pcbCertificate < kChannelCertificateLength) return kChannelBufferTooSmall;
  std::memcpy(pbCertificate, peerCertificate_, kChannelCertificateLength);
  *pcbCertificate = kChannelCertificateLength;
  return S_OK;
}

HRESULT ChannelObject::cipher(BYTE* pbData, DWORD cbData, int fEncrypt) {
  if (pbData == nullptr || cbData == 0 || sessionKey_ == nullptr) return E_INVALIDARG;
  if (cipherReady_ == 0) {
    DesKeySetup(&schedule_, sessionKey_);
    cipherReady_ = 1;
  }
  if (cbData < DES_BLOCK_LEN) return S_FALSE;
  BYTE feedback[DES_BLOCK_LEN] = {};
  for (DWORD at = 0; cbData - at >= DES_BLOCK_LEN; at += DES_BLOCK_LEN)
    DesCbcStep(pbData + at, pbData + at, &schedule_, fEncrypt, feedback);
  return S_OK;
}

HRESULT ChannelObject::encryptBuffer(BYTE* pbData, DWORD cbData) { return cipher(pbData, cbData, DES_ENCRYPT); }
HRESULT ChannelObject::decryptBuffer(BYTE* pbData, DWORD cbData) { return cipher(pbData, cbData, DES_DECRYPT); }

HRESULT ChannelObject::macBegin(DWORD* pdwSlot) {
  if (pdwSlot == nullptr || sessionKey_ == nullptr) return E_INVALIDARG;
  HRESULT hr = E_FAIL;
  EnterCriticalSection(&macLock_);
  for (DWORD i = 0; i < kMacSlotCount; ++i) {
    if (macSlots_[i].inUse != 0) continue;
    if (macKeyReady_ == 0) {
      MacKeyDerive(sessionKey_, macKey_);
      macKeyReady_ = 1;
    }
    MacInit(&macSlots_[i].context);
    macSlots_[i].inUse = 1;
    *pdwSlot = i;
    hr = S_OK;
    break;
  }
  LeaveCriticalSection(&macLock_);
  return hr;
}

HRESULT ChannelObject::macAppend(DWORD dwSlot, const BYTE* pbData, DWORD cbData) {
  if (dwSlot >= kMacSlotCount || macSlots_[dwSlot].inUse == 0 || pbData == nullptr || cbData == 0) return E_INVALIDARG;
  MacAppend(&macSlots_[dwSlot].context, macKey_, pbData, cbData);
  return S_OK;
}

HRESULT ChannelObject::macFinish(DWORD dwSlot, BYTE rgbMac[kMacLength]) {
  if (dwSlot >= kMacSlotCount || macSlots_[dwSlot].inUse == 0) return E_INVALIDARG;
  if (rgbMac == nullptr) return E_POINTER;
  MacFinish(&macSlots_[dwSlot].context, macKey_, rgbMac);
  macSlots_[dwSlot].inUse = 0;
  return S_OK;
}
