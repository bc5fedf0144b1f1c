// ChannelCertificate: the 100-byte certificate that both ends of the channel
// show, signed with the channel's root key.
//
//   0   format word (LE), 0x100
//   4   signed length (LE): bytes from offset 48 that the root signature covers
//   8   root signature (r, s)
//   48  holder's public key (x, y)
//   88  second format word (LE), 0x100
//   92  holder's security level (BE)
//   96  not interpreted
#pragma once

#include "platform/win.h"

constexpr DWORD kChannelCertificateLength = 100;
constexpr DWORD kCertificateFormat = 0x100;
constexpr DWORD kCertificateSignedLengthOffset = 4;
constexpr DWORD kCertificateSignatureOffset = 8;
constexpr DWORD kCertificateSignedOffset = 48;
constexpr DWORD kCertificatePublicKeyOffset = 48;
constexpr DWORD kCertificateSecondFormatOffset = 88;
constexpr DWORD kCertificateLevelOffset = 92;
// The signed bytes end with the certificate: a longer signed length would
// make the verifier hash bytes past its end.
constexpr DWORD kCertificateMaxSignedLength = kChannelCertificateLength - kCertificateSignedOffset;

// Both format words are 0x100.
bool CertificateFormatOk(const BYTE* pbCertificate);
DWORD CertificateSignedLength(const BYTE* pbCertificate);
DWORD CertificateSecurityLevel(const BYTE* pbCertificate);

// Lays out a certificate for `rgbPublicKey` at `dwLevel` with the signed
// length 52 and both format words; the signature field is left zero for the
// issuer to fill (it covers bytes 48..99, so `dwTrailer` must be final too).
void CertificateLayout(const BYTE rgbPublicKey[40], DWORD dwLevel, DWORD dwTrailer,
                       BYTE rgbCertificate[kChannelCertificateLength]);
