// Leaf multipliers of the Karatsuba engine: column-wise products with the
// loops over a fixed size fully unrolled. The same portable code runs on
// every target, so the i686 program computes with what the tests check.
#include "crypto/bignum/mulplan.h"

namespace {

// Column accumulator: 64 bits plus a carry digit.
struct Column {
  DoubleDigit lo = 0;
  Digit hi = 0;

  inline void Add(DoubleDigit t) {
    lo += t;
    hi += lo < t;
  }
  inline Digit Shift() {
    Digit d = static_cast<Digit>(lo);
    lo = (lo >> 32) | (static_cast<DoubleDigit>(hi) << 32);
    hi = 0;
    return d;
  }
};

template <int N>
inline void MulFixed(const Digit* a, const Digit* b, Digit* out) {
  Column acc;
#pragma GCC unroll 24
  for (int k = 0; k < 2 * N - 1; ++k) {
#pragma GCC unroll 12
    for (int i = (k < N ? 0 : k - N + 1); i <= (k < N ? k : N - 1); ++i) {
      acc.Add(static_cast<DoubleDigit>(a[i]) * b[k - i]);
    }
    out[k] = acc.Shift();
  }
  out[2 * N - 1] = static_cast<Digit>(acc.lo);
}

template <int N>
inline void SqrFixed(const Digit* a, Digit* out) {
  Column acc;
#pragma GCC unroll 24
  for (int k = 0; k < 2 * N - 1; ++k) {
    // Each cross product a[i] a[k-i] with i < k - i appears twice.
    Column cross;
#pragma GCC unroll 12
    for (int i = (k < N ? 0 : k - N + 1); 2 * i < k; ++i) {
      cross.Add(static_cast<DoubleDigit>(a[i]) * a[k - i]);
    }
    acc.hi += (cross.hi << 1) | static_cast<Digit>(cross.lo >> 63);
    acc.Add(cross.lo << 1);
    if (k % 2 == 0) acc.Add(static_cast<DoubleDigit>(a[k / 2]) * a[k / 2]);
    out[k] = acc.Shift();
  }
  out[2 * N - 1] = static_cast<Digit>(acc.lo);
}

template <int N>
void Kernel(const Digit* a, const Digit* b, Digit* out, DWORD count) {
  if (a == b) {
    for (DWORD c = 0; c < count; ++c) SqrFixed<N>(a + c * N, out + c * 2 * N);
  } else {
    for (DWORD c = 0; c < count; ++c) MulFixed<N>(a + c * N, b + c * N, out + c * 2 * N);
  }
}

}  // namespace

const BaseMulFn BaseMulKernel[13] = {
    nullptr, Kernel<1>, Kernel<2>, Kernel<3>, Kernel<4>, nullptr,    Kernel<6>,
    nullptr, Kernel<8>, nullptr,   nullptr,   nullptr,   Kernel<12>,
};
