#include <bit>

#include "crypto/bignum/bigdiv_internal.h"
#include "crypto/bignum/bignum.h"
#include "crypto/bignum/digitdiv.h"

namespace {

inline Digit ShiftedDigit(const Digit* v, DWORD i, Digit s) { return DigitShifted(v, i, s); }

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
  // The divisor's top two digits normalised, from its top three.
  const Digit s = static_cast<Digit>(std::countl_zero(den[ld - 1]));
  const Digit d1 = ShiftedDigit(den, ld - 1, s);
  const Digit d0 = ld >= 2 ? ShiftedDigit(den, ld - 2, s) : 0;
  rec->shift = s;
  rec->multiplier = DigitReciprocal2(d1, d0);
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
  const Digit d1 = ShiftedDigit(den, ld - 1, s);
  const Digit d0 = ShiftedDigit(den, ld - 2, s);
  // The remainder window: ld digits, starting as the top ld - 1 numerator
  // digits under a zero top.
  for (DWORD i = 0; i + 1 < ld; ++i) rem[i] = num[ln - ld + 1 + i];
  rem[ld - 1] = 0;

  for (DWORD j = ln - ld + 1; j > 0; --j) {
    // Shift the window up and take the next numerator digit in; the value
    // worked on is top * 2^(32 ld) + window, always below den * 2^32.
    const Digit top = rem[ld - 1];
    for (DWORD i = ld - 1; i > 0; --i) rem[i] = rem[i - 1];
    rem[0] = num[j - 1];

    Digit q = 0;
    if (top != 0 || BigCompare(rem, ld, den, ld) >= 0) {
      // The digit shifted out and the window's top two digits, normalised,
      // over the divisor's top two: that quotient is the digit or one more.
      // c is one below it, so the trial digit c + 1 is the quotient itself
      // and one add-back corrects it; when the top two digits reach the
      // divisor's, c is all ones and is tried as it is.
      const Digit n2 = (top << s) | (s != 0 ? rem[ld - 1] >> (32 - s) : 0);
      const Digit n1 = ShiftedDigit(rem, ld - 1, s);
      const Digit n0 = ShiftedDigit(rem, ld - 2, s);
      Digit c;
      Digit trial;
      if (n2 > d1 || (n2 == d1 && n1 >= d0)) {
        c = 0xFFFFFFFFu;
        trial = c;
      } else {
        c = DigitQuotient3(n2, n1, n0, d1, d0, rec->multiplier) - 1;
        trial = c + 1;
      }
      Digit borrow = BigMulDigitSub(den, trial, rem, ld);
      q = trial;
      if (borrow > top) {
        const Digit carry = BigAddSame(rem, den, rem, ld);
        q = trial - 1;  // c, or 2^32 - 2 when c was all ones
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
