#include "sim/responder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "channel/certificate.h"
#include "channel/ecdsa_elgamal.h"
#include "channel/curve_lock.h"
#include "channel/key_container.h"
#include "channel/wire.h"
#include "sim/service.h"
#include "sim/service_credentials.h"

namespace {

// The key of a root that is not the channel's: a certificate signed with it
// is "not from our root". Public like the development keys.
const BYTE kForeignRootKey[20] = {0x5a, 0x17, 0x0e, 0x21, 0x93, 0x44, 0x08, 0x7c, 0x61, 0x2d,
                                  0xb3, 0x19, 0x4e, 0x70, 0x0a, 0x55, 0x26, 0x3f, 0x11, 0x06};

std::vector<BYTE> ServiceKeyContainer() {
  // The filler only has to be there; the service's key is public anyway.
  std::vector<BYTE> container(kKeyContainerLength);
  for (DWORD i = 0; i < kKeyContainerLength; ++i) container[i] = static_cast<BYTE>(i * 151 + 7);
  KeyContainerWrap(kSimServicePrivateKey, 0x2961, container.data());
  return container;
}

// The service's certificate signed again with the foreign root.
bool ForeignCertificate(BYTE certificate[kChannelCertificateLength]) {
  std::memcpy(certificate, kSimServiceCertificate, kChannelCertificateLength);
  ChannelLockMembership member;
  ChannelLockHeld held;
  ChannelCurve* curve = ChannelCurveCreate();
  const bool ok =
      curve != nullptr && ChannelSign(curve, kForeignRootKey, certificate + kCertificateSignedOffset,
                                      kCertificateMaxSignedLength, certificate + kCertificateSignatureOffset);
  ChannelCurveDestroy(curve);
  return ok;
}

// Replaces a task-allocated reply by its first `length` bytes in a block of
// exactly that size, so that reading past its end is caught.
HRESULT CutShort(BYTE** reply, DWORD* replyLength, DWORD length) {
  BYTE* shorter = static_cast<BYTE*>(CoTaskMemAlloc(length));
  if (shorter == nullptr) return E_OUTOFMEMORY;
  std::memcpy(shorter, *reply, length);
  CoTaskMemFree(*reply);
  *reply = shorter;
  *replyLength = length;
  return S_OK;
}

// What the fault switches do to a reply the responder produced.
HRESULT Tamper(const SimFaults& f, DWORD pass, BYTE** reply, DWORD* replyLength) {
  BYTE* r = *reply;
  if (pass == 0) {
    BYTE* certificate = r + kPass0ReplyCertificateOffset;
    if (f.channelCertFormatAt >= 0) certificate[f.channelCertFormatAt] ^= 0x01;
    if (f.channelSignedLength != 0) WriteLe32(certificate + kCertificateSignedLengthOffset, f.channelSignedLength);
    if (f.channelBadChallengeSignature) r[kPass0ReplySignatureOffset] ^= 0x01;
    if (f.channelShortPass0) return CutShort(reply, replyLength, *replyLength - 1);
  } else {
    if (f.channelBadKeySignature) r[0] ^= 0x01;
    if (f.channelC1OffCurve) r[kPass1ReplyC1Offset + kChannelNumberLength] ^= 0x01;
    if (f.channelShortPass1) return CutShort(reply, replyLength, *replyLength - 1);
  }
  return S_OK;
}

}  // namespace

void SimTraceMessage(DWORD dwPass, const char* what, const BYTE* pb, DWORD cb) {
#ifdef _WIN32
  // The process environment, not this module's C runtime copy of it: the
  // service may be a DLL with a runtime of its own.
  char path[1024];
  const DWORD length = GetEnvironmentVariableA("TESSFOLD_SIM_TRACE", path, sizeof path);
  if (length == 0 || length >= sizeof path) return;
#else
  const char* path = std::getenv("TESSFOLD_SIM_TRACE");
  if (path == nullptr || *path == '\0') return;
#endif
  std::FILE* file = std::fopen(path, "a");
  if (file == nullptr) return;
  std::fprintf(file, "pass %lu %s ", static_cast<unsigned long>(dwPass), what);
  for (DWORD i = 0; i < cb && pb != nullptr; ++i) std::fprintf(file, "%02x", pb[i]);
  std::fputc('\n', file);
  std::fclose(file);
}

SimResponder::SimResponder() = default;

HRESULT SimResponder::protocols(DWORD** ppdwProtocols, DWORD* pdwProtocolCount, DWORD first) {
  if (first == 0) return responder_.protocols(ppdwProtocols, pdwProtocolCount);
  DWORD* list = static_cast<DWORD*>(CoTaskMemAlloc(2 * sizeof(DWORD)));
  if (list == nullptr) return E_OUTOFMEMORY;
  list[0] = first;
  list[1] = 2;
  *ppdwProtocols = list;
  *pdwProtocolCount = 2;
  return S_OK;
}

HRESULT SimResponder::exchange(DWORD dwProtocolID, DWORD dwPass, const BYTE* pbDataIn, DWORD dwDataInLen,
                               BYTE** ppbDataOut, DWORD* pdwDataOutLen) {
  *ppbDataOut = nullptr;
  *pdwDataOutLen = 0;
  SimTraceMessage(dwPass, "request", pbDataIn, pbDataIn != nullptr ? dwDataInLen : 0);
  const SimFaults f = SimCurrentFaults();
  if (dwProtocolID == 2 && dwPass == 0) {
    // The credentials and the service's trust are set afresh for each
    // exchange, so that switches changed between two exchanges take effect.
    BYTE certificate[kChannelCertificateLength];
    if (f.channelForeignCertificate) {
      if (!ForeignCertificate(certificate)) return E_FAIL;
    } else {
      std::memcpy(certificate, kSimServiceCertificate, sizeof certificate);
    }
    const std::vector<BYTE> container = ServiceKeyContainer();
    const HRESULT hr = responder_.setCredentials(0, certificate, sizeof certificate, container.data(),
                                                 static_cast<DWORD>(container.size()));
    if (FAILED(hr)) return hr;
    // Distrusting the caller: its certificate is checked against the
    // service's own key instead of the root, which never signed it.
    if (f.channelDistrustCaller)
      responder_.setTrustedRoot(kSimServiceCertificate + kCertificatePublicKeyOffset);
    else
      responder_.setTrustedRoot(nullptr);
    responder_.setKeyPointTries(f.channelNoSquareRoot ? 0 : 100);
  }
  HRESULT hr = responder_.exchange(dwProtocolID, dwPass, pbDataIn, dwDataInLen, ppbDataOut, pdwDataOutLen);
  if (SUCCEEDED(hr)) {
    hr = Tamper(f, dwPass, ppbDataOut, pdwDataOutLen);
    if (FAILED(hr)) {
      CoTaskMemFree(*ppbDataOut);
      *ppbDataOut = nullptr;
      *pdwDataOutLen = 0;
      return hr;
    }
    SimTraceMessage(dwPass, "reply", *ppbDataOut, *pdwDataOutLen);
  }
  return hr;
}
