// Sizes and byte order of the channel's protocol-2 messages.
//
// Every number on the wire is 160 bits wide and travels as 20 bytes, least
// significant byte first; a point is x then y, a signature r then s.
#pragma once

#include "platform/win.h"

constexpr DWORD kChannelNumberLength = 20;
constexpr DWORD kChannelPointLength = 2 * kChannelNumberLength;
constexpr DWORD kChannelSignatureLength = 2 * kChannelNumberLength;
constexpr DWORD kChannelChallengeLength = 4;
constexpr DWORD kChannelSessionKeyLength = 8;

// The messages of protocol 2, as both ends send them.
//   pass 0 request: initiator challenge
//   pass 0 reply:   peer challenge | signature over (initiator ‖ peer challenge) | peer certificate
//   pass 1 request: signature over (peer ‖ initiator challenge) | initiator certificate
//   pass 1 reply:   signature over the session key | C1 | C2
constexpr DWORD kPass0RequestLength = kChannelChallengeLength;
constexpr DWORD kPass0ReplySignatureOffset = kChannelChallengeLength;
constexpr DWORD kPass0ReplyCertificateOffset = kPass0ReplySignatureOffset + kChannelSignatureLength;
constexpr DWORD kPass1RequestCertificateOffset = kChannelSignatureLength;
constexpr DWORD kPass1ReplyC1Offset = kChannelSignatureLength;
constexpr DWORD kPass1ReplyC2Offset = kPass1ReplyC1Offset + kChannelPointLength;
constexpr DWORD kPass1ReplyLength = kPass1ReplyC2Offset + kChannelPointLength;

inline DWORD ReadLe32(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
         static_cast<DWORD>(p[3]) << 24;
}
inline DWORD ReadBe32(const BYTE* p) {
  return static_cast<DWORD>(p[3]) | static_cast<DWORD>(p[2]) << 8 | static_cast<DWORD>(p[1]) << 16 |
         static_cast<DWORD>(p[0]) << 24;
}
inline void WriteLe32(BYTE* p, DWORD v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}
inline void WriteBe32(BYTE* p, DWORD v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (24 - 8 * i));
}
