#include "sim/responder.h"

#include <cstring>

namespace {

constexpr DWORD kProtocol = 2;
constexpr DWORD kChallengeLength = 4;
constexpr DWORD kSignatureLength = 40;
constexpr DWORD kCertificateLength = 100;
constexpr DWORD kPass0ReplyLength = kChallengeLength + kSignatureLength + kCertificateLength;
constexpr DWORD kPass1RequestLength = kSignatureLength + kCertificateLength;
constexpr DWORD kPass1ReplyLength = 120;

void PutWord(BYTE* p, DWORD v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}

}  // namespace

HRESULT SimResponder::protocols(DWORD** ppdwProtocols, DWORD* pdwProtocolCount, DWORD first) {
  const DWORD count = first != 0 ? 2 : 1;
  DWORD* list = static_cast<DWORD*>(CoTaskMemAlloc(count * sizeof(DWORD)));
  if (list == nullptr) return E_OUTOFMEMORY;
  if (first != 0) list[0] = first;
  list[count - 1] = kProtocol;
  *ppdwProtocols = list;
  *pdwProtocolCount = count;
  return S_OK;
}

HRESULT SimResponder::exchange(DWORD dwProtocolID, DWORD dwPass, const BYTE* pbDataIn, DWORD dwDataInLen,
                               BYTE** ppbDataOut, DWORD* pdwDataOutLen) {
  *ppbDataOut = nullptr;
  *pdwDataOutLen = 0;
  if (dwProtocolID == 1) return E_NOTIMPL;
  if (dwProtocolID != kProtocol) return E_INVALIDARG;
  // A new pass 0 starts the exchange over, as a caller retrying would.
  if (dwPass != 0 && dwPass != nextPass_) return WMDM_E_CALL_OUT_OF_SEQUENCE;
  const DWORD want = dwPass == 0 ? kChallengeLength : kPass1RequestLength;
  if (pbDataIn == nullptr || dwDataInLen != want) return E_INVALIDARG;

  const DWORD replyLength = dwPass == 0 ? kPass0ReplyLength : kPass1ReplyLength;
  BYTE* reply = static_cast<BYTE*>(CoTaskMemAlloc(replyLength));
  if (reply == nullptr) return E_OUTOFMEMORY;
  std::memset(reply, 0, replyLength);
  if (dwPass == 0) {
    // Only the certificate's two format words are filled in, so that an
    // initiator checking them sees a well-formed certificate.
    BYTE* certificate = reply + kChallengeLength + kSignatureLength;
    PutWord(certificate, 0x100);
    PutWord(certificate + 88, 0x100);
    nextPass_ = 1;
  } else {
    nextPass_ = 0;
    authenticated_ = true;
  }
  *ppbDataOut = reply;
  *pdwDataOutLen = replyLength;
  return S_OK;
}
