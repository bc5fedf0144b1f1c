#include <bit>

#include "crypto/bignum/bigdiv_internal.h"
#include "crypto/bignum/bignum.h"
#include "crypto/bignum/digitdiv.h"

namespace {

// Digit i of v shifted left by s bits (digits below index 0 are zero).
inline Digit ShiftedDigit(const Digit* v, DWORD i, Digit s) {
  Digit d = v[i] << s;
  if (s != 0 && i > 0) d |= v[i - 1] >> (32 - s);
  return d;
}

}  // namespace

BOOL BigReciprocalCompute(const Digit* den, DWORD ld, BigReciprocal* rec) {
  if (ld == 0) {
    BigErrorSet(kBigErrDivisorEmpty);
    return 0;
  }
  if (den[ld - 1] == 0) {
    BigErrorSet(kBigErrDivisorTopZero);
    return 0;
  }
  rec->shift = static_cast<Digit>(std::countl_zero(den[ld - 1]));
  rec->multiplier = DigitReciprocal(DigitNormalisedTop(den, ld, rec->shift));
  return 1;
}

namespace {

BOOL DivRemDigitStatus(const Digit* num, DWORD ln, Digit d, const BigReciprocal* rec, Digit* quot, Digit* remOut) {
  *remOut = 0;
  BigReciprocal own;
  if (rec == nullptr) {
    if (!BigReciprocalCompute(&d, 1, &own)) return 0;
    rec = &own;
  }
  Digit s = rec->shift;
  Digit dn = d << s;
  // The numerator is normalised on the fly; its extra top digit holds the bits
  // shifted out, which are below dn.
  Digit r = (s != 0 && ln > 0) ? num[ln - 1] >> (32 - s) : 0;
  for (DWORD i = ln; i > 0; --i) {
    Digit u0 = ShiftedDigit(num, i - 1, s);
    Digit q;
    if (!DigitDivide(r, u0, dn, rec->multiplier, &q, &r)) return 0;
    if (quot != nullptr) quot[i - 1] = q;
  }
  *remOut = r >> s;
  return 1;
}

}  // namespace

Digit BigDivRemDigit(const Digit* num, DWORD ln, Digit d, const BigReciprocal* rec, Digit* quot) {
  Digit r;
  DivRemDigitStatus(num, ln, d, rec, quot, &r);
  return r;
}

DWORD BigDivRem(const Digit* num, DWORD ln, const Digit* den, DWORD ld, const BigReciprocal* rec, Digit* quot,
                Digit* rem) {
  DWORD len = 0;
  return BigDivRemStatus(num, ln, den, ld, rec, quot, rem, &len) ? len : 0;
}

BOOL BigDivRemStatus(const Digit* num, DWORD ln, const Digit* den, DWORD ld, const BigReciprocal* rec, Digit* quot,
                     Digit* rem, DWORD* remLen) {
  *remLen = 0;
  BigReciprocal own;
  if (rec == nullptr || ld == 0 || den[ld - 1] == 0) {
    if (!BigReciprocalCompute(den, ld, &own)) return 0;
    rec = &own;
  }
  if (ln < ld) {
    for (DWORD i = 0; i < ln; ++i) rem[i] = num[i];
    for (DWORD i = ln; i < ld; ++i) rem[i] = 0;
    *remLen = BigSignificantLength(rem, ld);
    return 1;
  }
  if (ld == 1) {
    if (!DivRemDigitStatus(num, ln, den[0], rec, quot, &rem[0])) return 0;
    *remLen = rem[0] != 0;
    return 1;
  }

  const Digit s = rec->shift;
  const Digit d1 = DigitNormalisedTop(den, ld, s);
  const Digit d0 = ShiftedDigit(den, ld - 2, s);
  // The remainder window: ld digits, starting as the top ld - 1 numerator
  // digits under a zero top.
  for (DWORD i = 0; i + 1 < ld; ++i) rem[i] = num[ln - ld + 1 + i];
  rem[ld - 1] = 0;

  for (DWORD j = ln - ld + 1; j > 0; --j) {
    // Shift the window up and take the next numerator digit in; the value
    // worked on is top * 2^(32 ld) + window, always below den * 2^32.
    Digit top = rem[ld - 1];
    for (DWORD i = ld - 1; i > 0; --i) rem[i] = rem[i - 1];
    rem[0] = num[j - 1];

    Digit q = 0;
    if (top != 0 || BigCompare(rem, ld, den, ld) >= 0) {
      // Estimate from the top three digits of the value over the top two of
      // the divisor, both normalised: at most one too large.
      Digit n2 = (top << s) | (s != 0 ? rem[ld - 1] >> (32 - s) : 0);
      Digit n1 = ShiftedDigit(rem, ld - 1, s);
      Digit n0 = ShiftedDigit(rem, ld - 2, s);
      Digit r;
      bool rOverflow = false;
      if (n2 >= d1) {
        q = 0xFFFFFFFFu;
        DoubleDigit rr = static_cast<DoubleDigit>(n1) + d1;
        r = static_cast<Digit>(rr);
        rOverflow = (rr >> 32) != 0;
      } else {
        if (!DigitDivide(n2, n1, d1, rec->multiplier, &q, &r)) return 0;
      }
      while (!rOverflow && static_cast<DoubleDigit>(q) * d0 > ((static_cast<DoubleDigit>(r) << 32) | n0)) {
        --q;
        DoubleDigit rr = static_cast<DoubleDigit>(r) + d1;
        r = static_cast<Digit>(rr);
        rOverflow = (rr >> 32) != 0;
      }
      Digit borrow = BigMulDigitSub(den, q, rem, ld);
      if (borrow > top) {
        Digit carry = BigAddSame(rem, den, rem, ld);
        --q;
        borrow -= carry;
      }
      if (borrow != top) {
        BigErrorSet(kBigErrDivCorrection);
        return 0;
      }
    }
    if (quot != nullptr) quot[j - 1] = q;
  }
  *remLen = BigSignificantLength(rem, ld);
  return 1;
}
