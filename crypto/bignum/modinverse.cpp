// Binary extended Euclid between a residue and the modulus, tracking the
// Jacobi symbol on the way.
#include <bit>
#include <cstring>

#include "crypto/bignum/modular.h"
#include "crypto/bignum/shortwords.h"

namespace {

DWORD TrailingZeros(const Digit* v, DWORD n) {
  DWORD z = 0;
  for (DWORD i = 0; i < n; ++i) {
    if (v[i] != 0) return z + static_cast<DWORD>(std::countr_zero(v[i]));
    z += 32;
  }
  return z;
}

// The same walk on words of a compile-time count, for short moduli: the
// values never leave registers and cache lines between the steps.
template <int kDigits>
class ShortInverse {
 public:
  static constexpr int kWords = ShortWords<kDigits>();

  // u = a, v = m, x1 = start, x2 = 0. Returns the Jacobi symbol when the gcd
  // is 1 (inv = the cofactor), else 0; gcd gets v.
  static int Run(const Digit* a, const Digit* m, const Digit* start, ShortWord mPrime, Digit* inv, Digit* gcd) {
    ShortWord words[5 * kWords];
    ShortWord* u = words;
    ShortWord* v = words + kWords;
    ShortWord* x1 = words + 2 * kWords;
    ShortWord* x2 = words + 3 * kWords;
    ShortWord* wm = words + 4 * kWords;
    ShortLoad<kDigits>(a, u);
    ShortLoad<kDigits>(m, v);
    ShortLoad<kDigits>(m, wm);
    ShortLoad<kDigits>(start, x1);
    for (int i = 0; i < kWords; ++i) x2[i] = 0;
    int symbol = 1;
    while (!IsZero(u)) {
      int z = StripTwos(u);
      if (z != 0) {
        HalveCofactor(x1, z, wm, mPrime);
        ShortWord v8 = v[0] & 7;
        if ((z & 1) != 0 && (v8 == 3 || v8 == 5)) symbol = -symbol;
      }
      int c = ShortCompare<kWords>(u, v);
      if (c == 0) break;
      if (c < 0) {
        // Quadratic reciprocity for the swap of two odd values.
        if ((u[0] & 3) == 3 && (v[0] & 3) == 3) symbol = -symbol;
        ShortWord* t = u;
        u = v;
        v = t;
        t = x1;
        x1 = x2;
        x2 = t;
      }
      ShortSub<kWords>(u, v, u);
      if (ShortSub<kWords>(x1, x2, x1) != 0) ShortAdd<kWords>(x1, wm, x1);
    }
    if (gcd != nullptr) ShortStore<kDigits>(v, gcd);
    if (v[0] != 1 || !IsZero(v + 1, kWords - 1)) return 0;
    if (inv != nullptr) ShortStore<kDigits>(IsZero(u) ? x2 : x1, inv);
    return symbol;
  }

 private:
  static bool IsZero(const ShortWord* w, int count = kWords) {
    ShortWord any = 0;
    for (int i = 0; i < count; ++i) any |= w[i];
    return any == 0;
  }

  // Divides a non-zero u by its largest power of two; returns the exponent.
  static int StripTwos(ShortWord* u) {
    int whole = 0;
    while (u[whole] == 0) ++whole;
    int bits = std::countr_zero(u[whole]);
    if (whole != 0) {
      for (int i = 0; i < kWords; ++i) u[i] = i + whole < kWords ? u[i + whole] : 0;
    }
    if (bits != 0) {
#pragma GCC unroll 8
      for (int i = 0; i < kWords - 1; ++i) u[i] = (u[i] >> bits) | (u[i + 1] << (kShortWordBits - bits));
      u[kWords - 1] >>= bits;
    }
    return whole * kShortWordBits + bits;
  }

  // x = x / 2^z mod m, a word's worth of bits less one at a time: adding
  // q * m with q = -x / m mod 2^s clears the low s bits, and the sum over
  // 2^s is below m again.
  static void HalveCofactor(ShortWord* x, int z, const ShortWord* m, ShortWord mPrime) {
    while (z > 0) {
      int s = z < kShortWordBits - 1 ? z : kShortWordBits - 1;
      ShortWord q = (x[0] * mPrime) & ((ShortWord{1} << s) - 1);
      ShortWord carry = 0;
      ShortWord sum[kWords + 1];
#pragma GCC unroll 8
      for (int i = 0; i < kWords; ++i) {
        ShortDouble p = static_cast<ShortDouble>(q) * m[i] + x[i] + carry;
        sum[i] = static_cast<ShortWord>(p);
        carry = static_cast<ShortWord>(p >> kShortWordBits);
      }
      sum[kWords] = carry;
#pragma GCC unroll 8
      for (int i = 0; i < kWords; ++i) x[i] = (sum[i] >> s) | (sum[i + 1] << (kShortWordBits - s));
      z -= s;
    }
  }
};

}  // namespace

int ModInverseJacobi(const Digit* a, const ModulusRecord* rec, Digit* inv, Digit* gcd) {
  const DWORD n = rec->nInverse;
  const Digit* m = rec->inverseModulus;
  if (inv != nullptr) std::memset(inv, 0, rec->n * sizeof(Digit));
  if (gcd != nullptr) std::memset(gcd, 0, rec->n * sizeof(Digit));
  if ((m[0] & 1) == 0) {
    BigErrorSet(kBigErrInverseEvenModulus);
    return 0;
  }
  Digit* block = static_cast<Digit*>(BigAlloc(4 * n * sizeof(Digit)));
  if (block == nullptr) return 0;
  // u * C = a * x1 and v * C = a * x2 (mod m), with C = R^2 in Montgomery
  // form so that the final cofactor is the working form of the inverse.
  Digit* u = block;
  Digit* v = block + n;
  Digit* x1 = block + 2 * n;
  Digit* x2 = block + 3 * n;
  std::memcpy(u, a, n * sizeof(Digit));
  std::memcpy(v, m, n * sizeof(Digit));
  std::memset(x2, 0, n * sizeof(Digit));
  BOOL ok = 1;
  if (rec->fMontgomery) {
    ok = ModToForm(rec->one, n, x1, rec);
  } else {
    std::memcpy(x1, rec->one, n * sizeof(Digit));
  }
  if (ok && n == rec->n && n <= kShortMaxDigits) {
    ShortWord mPrime = 0;
    if constexpr (kShortDigitsPerWord == 2) {
      mPrime -= rec->wordInverse;
    } else {
      mPrime -= rec->digitInverse;
    }
    int result = ShortDispatch(
        n, [&]<int kDigits>() { return ShortInverse<kDigits>::Run(a, m, x1, mPrime, inv, gcd); }, [] { return 0; });
    BigFree(block);
    return result;
  }
  int symbol = 1;
  DWORD ul = BigSignificantLength(u, n);
  DWORD vl = n;
  while (ok && ul != 0) {
    DWORD z = TrailingZeros(u, ul);
    if (z != 0) {
      for (DWORD left = z; left > 0;) {
        int s = left > 32 ? 32 : static_cast<int>(left);
        BigShift(u, -s, u, ul);
        left -= s;
      }
      ul = BigSignificantLength(u, ul);
      ok = ModShift(x1, -static_cast<int>(z), x1, rec);
      Digit v8 = v[0] & 7;
      if ((z & 1) != 0 && (v8 == 3 || v8 == 5)) symbol = -symbol;
    }
    int c = BigCompare(u, ul, v, vl);
    if (c == 0) break;
    if (c < 0) {
      // Quadratic reciprocity for the swap of two odd values.
      if ((u[0] & 3) == 3 && (v[0] & 3) == 3) symbol = -symbol;
      Digit* t = u;
      u = v;
      v = t;
      t = x1;
      x1 = x2;
      x2 = t;
      DWORD tl = ul;
      ul = vl;
      vl = tl;
    }
    BigSub(u, ul, v, vl, u);
    ul = BigSignificantLength(u, ul);
    if (ok) ok = ModSub(x1, x2, x1, rec);
  }
  int result = 0;
  if (ok) {
    // u reached v (or a was zero and v is m): v is the gcd.
    if (gcd != nullptr) std::memcpy(gcd, v, n * sizeof(Digit));
    if (vl == 1 && v[0] == 1) {
      if (inv != nullptr) std::memcpy(inv, ul == 0 ? x2 : x1, n * sizeof(Digit));
      result = symbol;
    }
  }
  BigFree(block);
  return result;
}
