// Square roots modulo an odd prime, by the prime's residue modulo 8.
#include <cstring>

#include "crypto/bignum/modular.h"

namespace {

// Draws for the Lucas method before giving up: each draw succeeds with
// probability about 1/2 for a prime, while a composite modulus could keep
// it drawing for ever.
constexpr int kLucasAttempts = 64;

struct SqrtWork {
  const ModulusRecord* rec;
  DWORD n;
  Digit* scratch;  // a MulScratch
  BOOL ok = 1;

  void Mul(const Digit* a, const Digit* b, Digit* out) {
    if (ok) ok = ModMul(a, b, out, rec, scratch);
  }
  void Sub(const Digit* a, const Digit* b, Digit* out) {
    if (ok) ok = ModSub(a, b, out, rec);
  }
  void Exp(const Digit* base, const Digit* e, Digit* out) {
    if (!ok) return;
    DWORD before = BigError();
    ModExp(base, e, n, out, rec);
    ok = BigError() == before;
  }
};

// e = (m + add) >> shift, for the exponents (m+1)/4 and (m-5)/8.
void Exponent(const Digit* m, DWORD n, bool addOne, int shift, Digit* e) {
  Digit carry;
  if (addOne) {
    Digit one = 1;
    carry = BigAdd(m, n, &one, 1, e);
  } else {
    Digit five = 5;
    BigSub(m, n, &five, 1, e);
    carry = 0;
  }
  BigShift(e, -shift, e, n);
  e[n - 1] |= carry << (32 - shift);
}

// Bit i of (m + 1) / 2 for m = 1 mod 8: m + 1 differs from m only in bit 1,
// so the bits are m's moved down by one, with bit 0 set.
inline bool HalfSuccessorBit(const Digit* m, DWORD i) {
  if (i == 0) return true;
  return ((m[(i + 1) / 32] >> ((i + 1) % 32)) & 1) != 0;
}

// The Lucas value V_k(P, Q), k = (m + 1) / 2 of kBits bits, by the ladder
// over (V_j, V_(j+1), Q^j) from j = 0 through the bits of k, with one
// temporary t.
void LucasV(SqrtWork& w, const Digit* p, const Digit* q, DWORD kBits, Digit* v, Digit* v1, Digit* qj, Digit* t) {
  const size_t cb = w.n * sizeof(Digit);
  const Digit* m = w.rec->modulus;
  std::memcpy(v, w.rec->one, cb);
  if (w.ok) w.ok = ModAdd(v, v, v, w.rec);  // V_0 = 2
  std::memcpy(v1, p, cb);                   // V_1 = P
  std::memcpy(qj, w.rec->one, cb);          // Q^0
  for (DWORD i = kBits; w.ok && i-- > 0;) {
    // t = V_(2j+1) = V_j V_(j+1) - P Q^j
    w.Mul(v, v1, t);
    if (!HalfSuccessorBit(m, i)) {
      w.Mul(p, qj, v1);
      w.Sub(t, v1, t);
      // V_(2j) = V_j^2 - 2 Q^j
      if (w.ok) w.ok = ModAdd(qj, qj, v1, w.rec);
      w.Mul(v, v, v);
      w.Sub(v, v1, v);
      std::memcpy(v1, t, cb);
      w.Mul(qj, qj, qj);
    } else {
      w.Mul(p, qj, v);
      w.Sub(t, v, t);
      // V_(2j+2) = V_(j+1)^2 - 2 Q^(j+1)
      w.Mul(qj, q, v);
      if (w.ok) w.ok = ModAdd(v, v, v, w.rec);
      w.Mul(v1, v1, v1);
      w.Sub(v1, v, v1);
      std::memcpy(v, t, cb);
      w.Mul(qj, qj, qj);
      w.Mul(qj, q, qj);
    }
  }
}

bool IsZero(const Digit* a, DWORD n) { return BigSignificantLength(a, n) == 0; }

}  // namespace

BOOL ModSqrt(const Digit* a, Digit* out, const ModulusRecord* rec) {
  const DWORD n = rec->n;
  const size_t cb = n * sizeof(Digit);
  const Digit* m = rec->modulus;
  if (BigError() != 0) {
    std::memset(out, 0, cb);
    return 0;
  }
  if ((m[0] & 1) == 0) {
    Digit two = 2;
    if (BigCompare(m, n, &two, 1) == 0) {
      std::memmove(out, a, cb);
      return 1;
    }
    std::memset(out, 0, cb);
    return 0;
  }
  if (IsZero(a, n)) {
    std::memset(out, 0, cb);
    return 1;
  }
  // Six residues of 64 digits and a MulScratch.
  static_assert((6 * kBigMaxDigits + kMulScratchDigits) * sizeof(Digit) == kModSqrtBlockBytes, "ModSqrt's block");
  Digit* block = static_cast<Digit*>(BigAlloc(kModSqrtBlockBytes));
  if (block == nullptr) {
    std::memset(out, 0, cb);
    return 0;
  }
  Digit* slot[6];
  for (int i = 0; i < 6; ++i) slot[i] = block + i * kBigMaxDigits;
  SqrtWork w{rec, n, block + 6 * kBigMaxDigits};
  Digit* root = slot[0];
  Digit* check = slot[5];
  const Digit m8 = m[0] & 7;
  if (m8 == 3 || m8 == 7) {
    Digit* e = slot[1];
    Exponent(m, n, true, 2, e);
    w.Exp(a, e, root);
  } else if (m8 == 5) {
    // Atkin: v = (2a)^((m-5)/8), i = 2a v^2, root = a v (i - 1).
    Digit* e = slot[1];
    Digit* x = slot[2];
    Digit* y = slot[3];
    Digit* z = slot[4];
    Exponent(m, n, false, 3, e);
    if (w.ok) w.ok = ModAdd(a, a, x, rec);  // 2a
    w.Exp(x, e, y);                         // v
    w.Mul(y, y, z);
    w.Mul(z, x, z);  // i
    w.Sub(z, rec->one, z);
    w.Mul(a, y, root);
    w.Mul(root, z, root);
  } else {
    // Lehmer: with t drawn below m, V = V_((m+1)/2)(t, a/4). When t^2 - a
    // is a non-residue, V^2 = a/2 (1 + (a/m)): a root for a residue, zero
    // for a non-residue. Any other draw gives neither and t is drawn again.
    Digit* t = slot[1];
    Digit* q = slot[2];
    Digit* v1 = slot[3];
    Digit* qj = slot[4];
    const DWORD kBits = BigBitLength(m, n) - 1;
    if (w.ok) w.ok = ModShift(a, -2, q, rec);  // Q = a/4
    bool found = false;
    for (int attempt = 0; w.ok && !found && attempt < kLucasAttempts; ++attempt) {
      if (!BigRandomBelow(m, n, t)) {
        w.ok = 0;
        break;
      }
      LucasV(w, t, q, kBits, root, v1, qj, check);
      w.Mul(root, root, check);
      if (!w.ok) break;
      found = BigCompare(check, n, a, n) == 0;
      if (!found && IsZero(root, n) && !IsZero(t, n)) {
        // V = 0 with t^2 - a a non-residue: a is one too (t^2 = a, the
        // other way to reach zero, is told apart by its square).
        w.Mul(t, t, v1);
        if (w.ok && BigCompare(v1, n, a, n) != 0) w.ok = 0;
      }
    }
  }
  BOOL result = 0;
  if (w.ok) {
    w.Mul(root, root, check);
    result = w.ok && BigCompare(check, n, a, n) == 0;
  }
  if (result) {
    std::memcpy(out, root, cb);
  } else {
    std::memset(out, 0, cb);
  }
  BigFree(block);
  return result;
}
