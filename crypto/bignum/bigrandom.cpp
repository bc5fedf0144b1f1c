#include <bit>

#include "crypto/bignum/bignum.h"
#include "crypto/bignum/bigrandom_testing.h"
#include "crypto/random/random.h"

namespace {

BigRandomSource g_source = nullptr;

BOOL Draw(BYTE* pb, DWORD cb) {
  BOOL ok = g_source != nullptr ? g_source(pb, cb) : randomBytes(pb, cb);
  if (!ok) BigErrorSet(kBigErrRandomSource);
  return ok;
}

void Zero(Digit* p, DWORD n) {
  for (DWORD i = 0; i < n; ++i) p[i] = 0;
}

}  // namespace

void BigRandomUseSourceForTests(BigRandomSource source) { g_source = source; }

BOOL DigitRandomRange(Digit lo, Digit hi, Digit* out) {
  *out = 0;
  if (hi < lo) {
    BigErrorSet(kBigErrRandomRange);
    return 0;
  }
  const Digit range = hi - lo;
  const Digit mask = 0xFFFFFFFFu >> std::countl_zero(range | 1);
  Digit v;
  do {
    BYTE b[4];
    if (!Draw(b, 4)) return 0;
    v = (Digit{b[0]} | Digit{b[1]} << 8 | Digit{b[2]} << 16 | Digit{b[3]} << 24) & mask;
  } while (v > range);
  *out = lo + v;
  return 1;
}

BOOL BigRandomBelow(const Digit* bound, DWORD n, Digit* out) {
  if (n == 0 || bound[n - 1] == 0) {
    Zero(out, n);
    BigErrorSet(kBigErrRandomBound);
    return 0;
  }
  do {
    // The generator's bytes land in the digits in little-endian order.
    if (n > 1 && !Draw(reinterpret_cast<BYTE*>(out), 4 * (n - 1))) {
      Zero(out, n);
      return 0;
    }
    if (!DigitRandomRange(0, bound[n - 1], &out[n - 1])) {
      Zero(out, n);
      return 0;
    }
  } while (BigCompare(out, n, bound, n) >= 0);
  return 1;
}

DWORD BigRandomNonzeroBelow(const Digit* bound, DWORD n, Digit* out) {
  Digit one = 1;
  if (n == 0 || bound[n - 1] == 0 || BigCompare(bound, n, &one, 1) <= 0) {
    Zero(out, n);
    BigErrorSet(kBigErrRandomNonzeroBound);
    return 0;
  }
  DWORD len;
  do {
    if (!BigRandomBelow(bound, n, out)) return 0;
    len = BigSignificantLength(out, n);
  } while (len == 0);
  return len;
}
