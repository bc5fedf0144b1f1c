// Exact remainder by schoolbook long division. Used twice per exponentiation
// (for B^(a+2) mod m and for the final result), so it favours plainness.
#include <cstring>

#include "crypto/rsa_digits.h"
#include "platform/localheap.h"

namespace {

constexpr DWORD kStackWorkBytes = 512;

// One quotient digit at the window u[0..t] against the normalised divisor
// v[0..t-1]: estimate from the top digits, form v*q, lower it by v while it
// exceeds the window, subtract. The caller repeats while the window is still
// not below v, which covers any estimate that came out low.
void ReduceWindow(Digit* u, const Digit* v, DWORD t, Digit* product) {
  for (;;) {
    // The window as t+1 digits against v with a zero top digit.
    if (u[t] == 0 && RsaCompare(u, v, t) < 0) return;
    Digit q;
    if (u[t] >= v[t - 1]) {
      q = 0xFFFFFFFFu;
    } else {
      const DoubleDigit top = (static_cast<DoubleDigit>(u[t]) << 32) | u[t - 1];
      q = static_cast<Digit>(top / v[t - 1]);
    }
    if (q == 0) q = 1;
    product[t] = RsaMulDigit(product, v, q, t);
    while (RsaCompare(product, u, t + 1) > 0) product[t] -= RsaSub(product, product, v, t);
    RsaSub(u, u, product, t + 1);
  }
}

}  // namespace

BOOL RsaRemainder(Digit* pRemainder, const Digit* pNum, DWORD cNum, const Digit* pDiv, DWORD cDiv) {
  if (cDiv == 0) return 0;
  const DWORD t = RsaSignificantLength(pDiv, cDiv);
  if (pDiv[t - 1] == 0) return 0;

  if (cNum == 0 || RsaSignificantLength(pNum, cNum) < t) {
    const DWORD copy = cNum < cDiv ? cNum : cDiv;
    for (DWORD i = 0; i < copy; ++i) pRemainder[i] = pNum[i];
    for (DWORD i = copy; i < cDiv; ++i) pRemainder[i] = 0;
    return 1;
  }

  // Normalised numerator (cNum + 1 digits), divisor (t) and product (t + 1).
  const DWORD workBytes = (cNum + 2 * cDiv) * sizeof(Digit) + 12;
  Digit stackWork[kStackWorkBytes / sizeof(Digit)];
  Digit* work = stackWork;
  HLOCAL heapWork = nullptr;
  if (workBytes > kStackWorkBytes) {
    heapWork = LocalAlloc(LMEM_FIXED, workBytes);
    if (heapWork == nullptr) return 0;
    work = static_cast<Digit*>(heapWork);
  }
  Digit* u = work;
  Digit* v = u + cNum + 1;
  Digit* product = v + t;

  const int shift = std::countl_zero(pDiv[t - 1]);
  if (shift == 0) {
    std::memcpy(v, pDiv, t * sizeof(Digit));
    std::memcpy(u, pNum, cNum * sizeof(Digit));
    u[cNum] = 0;
  } else {
    for (DWORD i = t; i-- > 0;) v[i] = (pDiv[i] << shift) | (i > 0 ? pDiv[i - 1] >> (32 - shift) : 0);
    u[cNum] = pNum[cNum - 1] >> (32 - shift);
    for (DWORD i = cNum; i-- > 0;) u[i] = (pNum[i] << shift) | (i > 0 ? pNum[i - 1] >> (32 - shift) : 0);
  }

  for (DWORD j = cNum - t + 1; j-- > 0;) ReduceWindow(u + j, v, t, product);

  // The remainder sits in u[0..t-1] (u[t] is zero now); undo the shift.
  for (DWORD i = 0; i < t; ++i) {
    pRemainder[i] = shift == 0 ? u[i] : (u[i] >> shift) | (u[i + 1] << (32 - shift));
  }
  for (DWORD i = t; i < cDiv; ++i) pRemainder[i] = 0;

  if (heapWork != nullptr) LocalFree(heapWork);
  return 1;
}
