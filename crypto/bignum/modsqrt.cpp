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

// The Lucas value V_k(P, Q) by the ladder over (V_j, V_(j+1), Q^j), from
// j = 0 through the bits of k. tmp holds 4n digits.
void LucasV(SqrtWork& w, const Digit* p, const Digit* q, const Digit* k, DWORD kBits, Digit* v, Digit* tmp) {
  const DWORD n = w.n;
  const size_t cb = n * sizeof(Digit);
  Digit* v1 = tmp;
  Digit* qj = tmp + n;
  Digit* mixed = tmp + 2 * n;
  Digit* t = tmp + 3 * n;
  std::memcpy(v, w.rec->one, cb);
  if (w.ok) w.ok = ModAdd(v, v, v, w.rec);  // V_0 = 2
  std::memcpy(v1, p, cb);                   // V_1 = P
  std::memcpy(qj, w.rec->one, cb);          // Q^0
  for (DWORD i = kBits; w.ok && i-- > 0;) {
    const bool bit = ((k[i / 32] >> (i % 32)) & 1) != 0;
    // V_(2j+1) = V_j V_(j+1) - P Q^j
    w.Mul(p, qj, t);
    w.Mul(v, v1, mixed);
    w.Sub(mixed, t, mixed);
    if (!bit) {
      // V_(2j) = V_j^2 - 2 Q^j
      if (w.ok) w.ok = ModAdd(qj, qj, t, w.rec);
      w.Mul(v, v, v);
      w.Sub(v, t, v);
      std::memcpy(v1, mixed, cb);
      w.Mul(qj, qj, qj);
    } else {
      // V_(2j+2) = V_(j+1)^2 - 2 Q^(j+1)
      w.Mul(qj, q, t);
      if (w.ok) w.ok = ModAdd(t, t, t, w.rec);
      w.Mul(v1, v1, v1);
      w.Sub(v1, t, v1);
      std::memcpy(v, mixed, cb);
      w.Mul(qj, qj, qj);
      w.Mul(qj, q, qj);
    }
  }
}

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
  if (BigSignificantLength(a, n) == 0) {
    std::memset(out, 0, cb);
    return 1;
  }
  // Working arrays: exponent, candidate, three more residues, the Lucas
  // ladder's four, and a MulScratch.
  Digit* block = static_cast<Digit*>(BigAlloc((9 * n + kMulScratchDigits) * sizeof(Digit)));
  if (block == nullptr) {
    std::memset(out, 0, cb);
    return 0;
  }
  Digit* e = block;
  Digit* root = block + n;
  Digit* x = block + 2 * n;
  Digit* y = block + 3 * n;
  Digit* z = block + 4 * n;
  Digit* lucas = block + 5 * n;
  SqrtWork w{rec, n, block + 9 * n};
  const Digit m8 = m[0] & 7;
  if (m8 == 3 || m8 == 7) {
    Exponent(m, n, true, 2, e);
    w.Exp(a, e, root);
  } else if (m8 == 5) {
    // Atkin: v = (2a)^((m-5)/8), i = 2a v^2, root = a v (i - 1).
    Exponent(m, n, false, 3, e);
    if (w.ok) w.ok = ModAdd(a, a, x, rec);  // 2a
    w.Exp(x, e, y);                         // v
    w.Mul(y, y, z);
    w.Mul(z, x, z);  // i
    w.Sub(z, rec->one, z);
    w.Mul(a, y, root);
    w.Mul(root, z, root);
  } else if (ModInverseJacobi(a, rec, nullptr, nullptr) != 1) {
    // A non-residue (or a stored code) needs no drawing.
    w.ok = 0;
  } else {
    // Lehmer: V_((m+1)/2)(t, a/4) squares to a when t^2 - a is a
    // non-residue; otherwise draw another t.
    Exponent(m, n, true, 1, e);
    const DWORD eBits = BigBitLength(e, n);
    if (w.ok) w.ok = ModShift(a, -2, x, rec);  // Q = a/4
    bool found = false;
    for (int attempt = 0; w.ok && !found && attempt < kLucasAttempts; ++attempt) {
      if (!BigRandomBelow(m, n, y)) {
        w.ok = 0;
        break;
      }
      LucasV(w, y, x, e, eBits, root, lucas);
      w.Mul(root, root, z);
      found = w.ok && BigCompare(z, n, a, n) == 0;
    }
  }
  BOOL result = 0;
  if (w.ok) {
    w.Mul(root, root, z);
    result = w.ok && BigCompare(z, n, a, n) == 0;
  }
  if (result) {
    std::memcpy(out, root, cb);
  } else {
    std::memset(out, 0, cb);
  }
  BigFree(block);
  return result;
}
