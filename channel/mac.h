// The channel's 8-byte message authentication code, keyed by twelve odd
// 32-bit words derived from the session key.
#pragma once

#include "platform/win.h"

constexpr DWORD kMacKeyWords = 12;
constexpr DWORD kMacLength = 8;

struct MacContext {
  DWORD dwSum;
  DWORD dwChain;
  BYTE rgbPending[8];  // a partial block
  DWORD cbPending;     // 0..7
};

// k0..k11: RC4 keyed with the session key run over 48 zero bytes, read as
// little-endian words, each with its lowest bit set.
void MacKeyDerive(const BYTE rgbSessionKey[8], DWORD rgdwKey[kMacKeyWords]);

void MacInit(MacContext* pCtx);
// Any split of the same bytes gives the same code.
void MacAppend(MacContext* pCtx, const DWORD rgdwKey[kMacKeyWords], const BYTE* pbData, DWORD cbData);
// Zero-pads a partial block; writes the sum then the chaining value, both
// little-endian. No data at all gives eight zero bytes.
void MacFinish(MacContext* pCtx, const DWORD rgdwKey[kMacKeyWords], BYTE rgbMac[kMacLength]);
