#include "channel/ecdsa_elgamal.h"

#include <cstring>

#include "channel/ecdsa_elgamal_testing.h"
#include "channel/wire.h"
#include "crypto/bignum/bigalloc.h"
#include "crypto/bignum/bignum.h"
#include "crypto/bignum/modular.h"
#include "crypto/bignum/mulplan.h"
#include "crypto/ec/curve.h"
#include "crypto/ec/field.h"
#include "crypto/ec/fixed_base.h"
#include "crypto/random/random.h"
#include "crypto/random/wipe.h"
#include "crypto/sha1.h"
#include "platform/processor.h"

namespace {

constexpr DWORD kDigits = 5;  // 160 bits
constexpr DWORD kWindow = 4;
constexpr DWORD kTablePoints = 60;
constexpr DWORD kTableDigits = EcFixedBaseTableDigits(kTablePoints, kDigits);

// The curve, little-endian words of the values (p, n, a, b, Gx, Gy).
constexpr Digit kP[kDigits] = {0x141424f7, 0x31415926, 0x27182818, 0x01234567, 0x89abcdef};
constexpr Digit kN[kDigits] = {0x28c2a675, 0xec149044, 0x2716b26e, 0x01234567, 0x89abcdef};
constexpr Digit kA[kDigits] = {0xebe41497, 0x4780c009, 0x7632ff3d, 0xd277bce8, 0x37a5abcc};
constexpr Digit kB[kDigits] = {0x9328239e, 0xd78fdedf, 0x28e85f1a, 0x725e2f32, 0x0dd8dabf};
constexpr Digit kGx[kDigits] = {0x109fa120, 0xba38daf0, 0x3510c07d, 0xd6a3a1e5, 0x8723947f};
constexpr Digit kGy[kDigits] = {0xa379936f, 0xd4ed7acd, 0x8c3c5856, 0x1075522d, 0x44574491};

using Number = Digit[kDigits];
using Point = Digit[2 * kDigits];

void FromWire(const BYTE* p, Digit* out) {
  for (DWORD i = 0; i < kDigits; ++i) out[i] = ReadLe32(p + 4 * i);
}
void ToWire(const Digit* a, BYTE* out) {
  for (DWORD i = 0; i < kDigits; ++i) WriteLe32(out + 4 * i, a[i]);
}

bool IsZero(const Digit* a) { return BigSignificantLength(a, kDigits) == 0; }
bool Below(const Digit* a, const Digit* bound) { return BigCompare(a, kDigits, bound, kDigits) < 0; }

}  // namespace

struct ChannelCurve {
  ModulusRecord prime;
  Digit scratch[kMulScratchDigits];
  FieldDesc field;
  CurveDesc curve;
  Point g;  // working form
  Digit gTable[kTableDigits];
  BigReciprocal orderReciprocal;
  // The table of the one other point being multiplied (a key under check,
  // C1, the peer's key in the transport), built for that operation only.
  Digit pointTable[kTableDigits];
};

namespace {

// out = x mod n for x of at least five digits. The divisor is the fixed
// order with its reciprocal, so the division has nothing to refuse.
bool ModOrder(const ChannelCurve* c, const Digit* x, DWORD length, Digit* out) {
  Digit remainder[kDigits] = {};
  BigDivRem(x, length, kN, kDigits, &c->orderReciprocal, nullptr, remainder);
  std::memcpy(out, remainder, sizeof remainder);
  return true;
}

// out = a·b mod n.
bool MulOrder(const ChannelCurve* c, const Digit* a, const Digit* b, Digit* out) {
  Digit product[2 * kDigits];
  BigMulSchool(a, kDigits, b, kDigits, product);
  return ModOrder(c, product, 2 * kDigits, out);
}

// out = a^-1 mod n; false unless the gcd is 1.
bool InverseOrder(const Digit* a, Digit* out) {
  Digit gcd[kDigits];
  return BigGcdInverse(a, kDigits, kN, kDigits, out, nullptr, gcd, nullptr) == 1 && gcd[0] == 1;
}

// The SHA-1 digest of the message read least significant byte first, mod n.
bool DigestOrder(const ChannelCurve* c, const BYTE* message, DWORD length, Digit* out) {
  ShaContext sha;
  BYTE digest[SHA1_DIGEST_LEN];
  ShaInit(&sha);
  ShaUpdate(&sha, message, length);
  ShaFinal(&sha, digest);
  Number e;
  FromWire(digest, e);
  return ModOrder(c, e, kDigits, out);
}

// A wire point in working form: both coordinates below p and on the curve.
bool PointIn(ChannelCurve* c, const BYTE* wire, Digit* out) {
  Number x, y;
  FromWire(wire, x);
  FromWire(wire + kChannelNumberLength, y);
  return Below(x, kP) && Below(y, kP) && ModToForm(x, kDigits, out, &c->prime) &&
         ModToForm(y, kDigits, out + kDigits, &c->prime) && EcOnCurve(out, &c->curve);
}

// A point out of working form; false for infinity.
bool PointOut(const ChannelCurve* c, const Digit* point, BYTE* wire) {
  if (EcIsInfinity(point, &c->curve)) return false;
  Number x = {}, y = {};
  ModFromForm(point, x, &c->prime);
  ModFromForm(point + kDigits, y, &c->prime);
  ToWire(x, wire);
  ToWire(y, wire + kChannelNumberLength);
  return true;
}

// out = k·P through a table built for P for this one multiplication.
bool MulPoint(ChannelCurve* c, const Digit* point, const Digit* k, Digit* out) {
  return EcFixedBaseTable(point, kWindow, kTablePoints, c->pointTable, &c->curve) &&
         EcFixedBaseMul(c->pointTable, kWindow, kTablePoints, k, kDigits, out, &c->curve);
}

bool MulBase(ChannelCurve* c, const Digit* k, Digit* out) {
  return EcFixedBaseMul(c->gTable, kWindow, kTablePoints, k, kDigits, out, &c->curve);
}

// A private key as a number. Any 160-bit d serves: the signature reduces
// d·r mod n and d·C1 is (d mod n)·C1. A multiple of n (0 or n itself) is
// refused, as its public key is the point at infinity.
bool PrivateIn(const ChannelCurve* c, const BYTE* wire, Digit* d) {
  FromWire(wire, d);
  Number reduced;
  const bool ok = ModOrder(c, d, kDigits, reduced) && !IsZero(reduced);
  SecureWipe(reduced, sizeof reduced);
  return ok;
}

// G's table as the first set-up built it, while the test hook shares it.
struct SharedBaseTable {
  bool on;
  bool ready;
  Digit table[kTableDigits];
} g_sharedBase;

bool BaseTable(ChannelCurve* c) {
  if (g_sharedBase.on && g_sharedBase.ready) {
    std::memcpy(c->gTable, g_sharedBase.table, sizeof c->gTable);
    return true;
  }
  if (!EcFixedBaseTable(c->g, kWindow, kTablePoints, c->gTable, &c->curve)) return false;
  if (g_sharedBase.on) {
    std::memcpy(g_sharedBase.table, c->gTable, sizeof c->gTable);
    g_sharedBase.ready = true;
  }
  return true;
}

// A nonce below p that is not a multiple of n (p exceeds n, so k = n can be
// drawn; it would put k·G at infinity).
bool DrawNonce(Digit* k) {
  for (;;) {
    if (BigRandomNonzeroBelow(kP, kDigits, k) == 0) return false;
    if (BigCompare(k, kDigits, kN, kDigits) != 0) return true;
  }
}

enum class SignStep { kDone, kRetry, kFailed };

SignStep SignOnce(ChannelCurve* c, const Digit* d, const Digit* e, const Digit* nonce, BYTE* signature) {
  Number k, r, s, kInverse, dr;
  Point R;
  if (!ModOrder(c, nonce, kDigits, k)) return SignStep::kFailed;
  if (IsZero(k)) return SignStep::kRetry;
  if (!MulBase(c, k, R)) return SignStep::kFailed;
  if (EcIsInfinity(R, &c->curve)) return SignStep::kRetry;
  Number x = {};
  ModFromForm(R, x, &c->prime);
  if (!ModOrder(c, x, kDigits, r)) return SignStep::kFailed;
  if (IsZero(r)) return SignStep::kRetry;
  if (!InverseOrder(k, kInverse) || !MulOrder(c, d, r, dr)) return SignStep::kFailed;
  // e + d·r mod n, both below n: one subtraction of n at most.
  Digit sum[kDigits + 1];
  sum[kDigits] = BigAddSame(e, dr, sum, kDigits);
  if (BigCompare(sum, kDigits + 1, kN, kDigits) >= 0) sum[kDigits] -= BigSub(sum, kDigits, kN, kDigits, sum);
  if (!MulOrder(c, kInverse, sum, s)) return SignStep::kFailed;
  SecureWipe(k, sizeof k);
  SecureWipe(kInverse, sizeof kInverse);
  if (IsZero(s)) return SignStep::kRetry;
  ToWire(r, signature);
  ToWire(s, signature + kChannelNumberLength);
  return SignStep::kDone;
}

}  // namespace

DWORD ChannelThresholdForProcessor(DWORD dwProcessorType, WORD wProcessorLevel) {
  if (dwProcessorType == PROCESSOR_INTEL_386 || dwProcessorType == PROCESSOR_INTEL_486 || wProcessorLevel < 6) return 4;
  return 12;
}

ChannelCurve* ChannelCurveCreate() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  MulPlanSetThreshold(ChannelThresholdForProcessor(info.dwProcessorType, info.wProcessorLevel));

  ChannelCurve* c = static_cast<ChannelCurve*>(BigAlloc(sizeof(ChannelCurve)));
  if (c == nullptr) return nullptr;
  Number a, b;
  const bool ok = ModulusCreate(kP, kDigits, TRUE, &c->prime) && ModToForm(kA, kDigits, a, &c->prime) &&
                  ModToForm(kB, kDigits, b, &c->prime) && FieldInitPrime(&c->prime, c->scratch, &c->field) &&
                  EcCurveInit(a, b, &c->field, &c->curve) && ModToForm(kGx, kDigits, c->g, &c->prime) &&
                  ModToForm(kGy, kDigits, c->g + kDigits, &c->prime) && EcOnCurve(c->g, &c->curve) && BaseTable(c) &&
                  BigReciprocalCompute(kN, kDigits, &c->orderReciprocal);
  if (!ok) {
    BigFree(c);
    return nullptr;
  }
  return c;
}

void ChannelCurveDestroy(ChannelCurve* pCurve) {
  if (pCurve == nullptr) return;
  SecureWipe(pCurve, sizeof *pCurve);
  BigFree(pCurve);
}

void ChannelCurveShareBaseTableForTests(bool fShare) {
  g_sharedBase.on = fShare;
  g_sharedBase.ready = false;
}

bool ChannelRandom(BYTE* pbOut, DWORD cbOut) { return randomBytes(pbOut, cbOut) != 0; }

bool ChannelPublicKey(ChannelCurve* pCurve, const BYTE rgbPrivate[20], BYTE rgbPublic[40]) {
  Number d;
  Point Q;
  const bool ok = PrivateIn(pCurve, rgbPrivate, d) && MulBase(pCurve, d, Q) && PointOut(pCurve, Q, rgbPublic);
  SecureWipe(d, sizeof d);
  return ok;
}

bool ChannelVerify(ChannelCurve* pCurve, const BYTE rgbPublic[40], const BYTE* pbMessage, DWORD cbMessage,
                   const BYTE rgbSignature[40]) {
  ChannelCurve* c = pCurve;
  Point Q, X1, X2;
  Number r, s, w, e, u1, u2, x, v;
  FromWire(rgbSignature, r);
  FromWire(rgbSignature + kChannelNumberLength, s);
  if (!PointIn(c, rgbPublic, Q)) return false;
  if (IsZero(r) || IsZero(s) || !Below(r, kN) || !Below(s, kN)) return false;
  if (!InverseOrder(s, w) || !DigestOrder(c, pbMessage, cbMessage, e)) return false;
  if (!MulOrder(c, e, w, u1) || !MulOrder(c, r, w, u2)) return false;
  if (!MulBase(c, u1, X1) || !MulPoint(c, Q, u2, X2) || !EcAddSub(X1, X2, X1, 1, &c->curve)) return false;
  if (EcIsInfinity(X1, &c->curve)) return false;
  std::memset(x, 0, sizeof x);
  ModFromForm(X1, x, &c->prime);
  return ModOrder(c, x, kDigits, v) && BigCompare(v, kDigits, r, kDigits) == 0;
}

bool ChannelSignWithNonce(ChannelCurve* pCurve, const BYTE rgbPrivate[20], const BYTE rgbNonce[20],
                          const BYTE* pbMessage, DWORD cbMessage, BYTE rgbSignature[40]) {
  Number d, e, k;
  FromWire(rgbNonce, k);
  const bool ok = PrivateIn(pCurve, rgbPrivate, d) && DigestOrder(pCurve, pbMessage, cbMessage, e) &&
                  SignOnce(pCurve, d, e, k, rgbSignature) == SignStep::kDone;
  SecureWipe(d, sizeof d);
  SecureWipe(k, sizeof k);
  return ok;
}

bool ChannelSign(ChannelCurve* pCurve, const BYTE rgbPrivate[20], const BYTE* pbMessage, DWORD cbMessage,
                 BYTE rgbSignature[40]) {
  Number d, e, k;
  bool ok = PrivateIn(pCurve, rgbPrivate, d) && DigestOrder(pCurve, pbMessage, cbMessage, e);
  while (ok) {
    if (!DrawNonce(k)) {
      ok = false;
      break;
    }
    const SignStep step = SignOnce(pCurve, d, e, k, rgbSignature);
    if (step == SignStep::kDone) break;
    ok = step == SignStep::kRetry;
  }
  SecureWipe(d, sizeof d);
  SecureWipe(k, sizeof k);
  return ok;
}

bool ChannelKeySeal(ChannelCurve* pCurve, const BYTE rgbPeerPublic[40], const BYTE rgbSessionKey[8],
                    BYTE rgbCiphertext[80], DWORD dwTries) {
  ChannelCurve* c = pCurve;
  Point Q, M, C1, C2;
  if (!PointIn(c, rgbPeerPublic, Q)) return false;
  // x = key bytes, eight zero bytes, the counter; the first x for which
  // x^3 + a·x + b is a square gives M.
  bool found = false;
  for (DWORD counter = 0; counter < dwTries && !found; ++counter) {
    BYTE xBytes[kChannelNumberLength] = {};
    std::memcpy(xBytes, rgbSessionKey, kChannelSessionKeyLength);
    WriteLe32(xBytes + 16, counter);
    Number x, rhs;
    FromWire(xBytes, x);
    if (!ModToForm(x, kDigits, M, &c->prime)) return false;
    if (!FieldMul(M, M, rhs, &c->field) || !FieldAdd(rhs, c->curve.rgA, rhs, &c->field) ||
        !FieldMul(rhs, M, rhs, &c->field) || !FieldAdd(rhs, c->curve.rgB, rhs, &c->field))
      return false;
    found = FieldSqrt(rhs, M + kDigits, &c->field) != 0;
  }
  if (!found) return false;
  Number k;
  bool ok;
  do {
    ok = DrawNonce(k) && MulBase(c, k, C1) && MulPoint(c, Q, k, C2) && EcAddSub(C2, M, C2, 1, &c->curve);
  } while (ok && (EcIsInfinity(C1, &c->curve) || EcIsInfinity(C2, &c->curve)));
  SecureWipe(k, sizeof k);
  return ok && PointOut(c, C1, rgbCiphertext) && PointOut(c, C2, rgbCiphertext + kChannelPointLength);
}

bool ChannelKeyOpen(ChannelCurve* pCurve, const BYTE rgbPrivate[20], const BYTE rgbC1[40], const BYTE rgbC2[40],
                    BYTE rgbSessionKey[8]) {
  ChannelCurve* c = pCurve;
  Point C1, C2, T, M;
  Number d;
  BYTE wire[kChannelPointLength];
  const bool ok = PrivateIn(pCurve, rgbPrivate, d) && PointIn(c, rgbC1, C1) && PointIn(c, rgbC2, C2) &&
                  MulPoint(c, C1, d, T) && EcAddSub(C2, T, M, -1, &c->curve) && PointOut(c, M, wire);
  SecureWipe(d, sizeof d);
  if (ok) std::memcpy(rgbSessionKey, wire, kChannelSessionKeyLength);
  return ok;
}
