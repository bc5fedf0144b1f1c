// The channel's elliptic-curve cryptography on its one fixed 160-bit curve:
// a working context per handshake, ECDSA signing and verification, and the
// ElGamal transport of the 8-byte session key.
//
// Numbers, points and signatures are in wire form (channel/wire.h). A digest
// is read least significant byte first. Every operation here must run under
// the channel's process-wide lock (channel/curve_lock.h).
#pragma once

#include "platform/win.h"

struct ChannelCurve;

// Allocates a context and sets it up: the field of p in Montgomery form, a
// and b, G checked on the curve with its fixed-base table, n and its
// reciprocal. Null when an allocation or a set-up step fails.
ChannelCurve* ChannelCurveCreate();
void ChannelCurveDestroy(ChannelCurve* pCurve);

// Private keys are any 160-bit numbers except the multiples of n (0 and n).

// Q = d·G. False for a multiple of n.
bool ChannelPublicKey(ChannelCurve* pCurve, const BYTE rgbPrivate[20], BYTE rgbPublic[40]);

// ECDSA verification of the SHA-1 digest of the message: Q on the curve with
// coordinates below p, 0 < r, s < n, and (e·w·G + r·w·Q).x mod n = r, where
// r·w·Q goes through a table built for Q for this check.
bool ChannelVerify(ChannelCurve* pCurve, const BYTE rgbPublic[40], const BYTE* pbMessage, DWORD cbMessage,
                   const BYTE rgbSignature[40]);

// ECDSA signature with a fresh k, drawn below p until k is not a multiple of
// n and neither r nor s is zero. False when no random bytes can be had, for a
// private key that is a multiple of n, or when the arithmetic fails.
bool ChannelSign(ChannelCurve* pCurve, const BYTE rgbPrivate[20], const BYTE* pbMessage, DWORD cbMessage,
                 BYTE rgbSignature[40]);
// The same with a given k (known answers, interoperation tests): false when
// k mod n, r or s is zero.
bool ChannelSignWithNonce(ChannelCurve* pCurve, const BYTE rgbPrivate[20], const BYTE rgbNonce[20],
                          const BYTE* pbMessage, DWORD cbMessage, BYTE rgbSignature[40]);

// The responder's side of the key transport: M with x = key bytes, eight zero
// bytes, a 32-bit counter 0..`dwTries`-1 (the first giving a square root) and
// a random k below p: C1 = k·G, C2 = k·Q + M, written as C1 ‖ C2. False when
// Q is not on the curve, no counter gives a point, or randomness fails.
bool ChannelKeySeal(ChannelCurve* pCurve, const BYTE rgbPeerPublic[40], const BYTE rgbSessionKey[8],
                    BYTE rgbCiphertext[80], DWORD dwTries = 100);
// The initiator's side: C1 and C2 must lie on the curve with coordinates
// below p; M = C2 - d·C1 through a table built for C1; the session key is the
// low 8 bytes of M.x.
bool ChannelKeyOpen(ChannelCurve* pCurve, const BYTE rgbPrivate[20], const BYTE rgbC1[40], const BYTE rgbC2[40],
                    BYTE rgbSessionKey[8]);

// Random bytes from the process-wide generator (challenges, session keys).
bool ChannelRandom(BYTE* pbOut, DWORD cbOut);

// The Karatsuba threshold for this processor: 4 for a 386 or 486 or a level
// below 6, 12 otherwise.
DWORD ChannelThresholdForProcessor(DWORD dwProcessorType, WORD wProcessorLevel);
