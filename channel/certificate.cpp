#include "channel/certificate.h"

#include <cstring>

#include "channel/wire.h"

bool CertificateFormatOk(const BYTE* pbCertificate) {
  return ReadLe32(pbCertificate) == kCertificateFormat &&
         ReadLe32(pbCertificate + kCertificateSecondFormatOffset) == kCertificateFormat;
}

DWORD CertificateSignedLength(const BYTE* pbCertificate) {
  return ReadLe32(pbCertificate + kCertificateSignedLengthOffset);
}

DWORD CertificateSecurityLevel(const BYTE* pbCertificate) { return ReadBe32(pbCertificate + kCertificateLevelOffset); }

void CertificateLayout(const BYTE rgbPublicKey[40], DWORD dwLevel, DWORD dwTrailer,
                       BYTE rgbCertificate[kChannelCertificateLength]) {
  std::memset(rgbCertificate, 0, kChannelCertificateLength);
  WriteLe32(rgbCertificate, kCertificateFormat);
  WriteLe32(rgbCertificate + kCertificateSignedLengthOffset, kCertificateMaxSignedLength);
  std::memcpy(rgbCertificate + kCertificatePublicKeyOffset, rgbPublicKey, kChannelPointLength);
  WriteLe32(rgbCertificate + kCertificateSecondFormatOffset, kCertificateFormat);
  WriteBe32(rgbCertificate + kCertificateLevelOffset, dwLevel);
  WriteBe32(rgbCertificate + kCertificateLevelOffset + 4, dwTrailer);
}
