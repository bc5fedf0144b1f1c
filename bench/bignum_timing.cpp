// Plain timings of the arithmetic for builds without Google Benchmark or
// OpenSSL, chiefly the i686 program under Wine; compare its lines with the
// native ones of bench_bignum. Built by hand, for example:
//   i686-w64-mingw32-g++-posix -O2 -std=c++20 -I. bench/bignum_timing.cpp \
//     build/win32/crypto/bignum/libtf_bignum.a build/win32/crypto/random/libtf_random.a \
//     build/win32/crypto/libtf_crypto.a build/win32/platform/libtf_platform.a -static -o bignum_timing.exe
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "crypto/bignum/modular.h"

namespace {

using Num = std::vector<Digit>;
using Clock = std::chrono::steady_clock;

volatile Digit g_sink;

// Best of nine rounds of `per` calls, in nanoseconds per call.
template <typename F>
double Time(F&& f, int per) {
  double best = 1e30;
  for (int round = 0; round < 9; ++round) {
    auto t0 = Clock::now();
    for (int i = 0; i < per; ++i) f();
    double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / per;
    if (ns < best) best = ns;
  }
  return best;
}

Num Random(std::mt19937& rng, size_t n) {
  Num v(n);
  for (auto& d : v) d = rng();
  return v;
}

}  // namespace

int main() {
  std::mt19937 rng(1);
  const Num p = {0x141424f7u, 0x31415926u, 0x27182818u, 0x01234567u, 0x89abcdefu};
  Num m64 = Random(rng, 64);
  m64[0] |= 1;
  m64[63] |= 0x80000000u;
  ModulusRecord r5, r64;
  ModulusCreate(p.data(), 5, 1, &r5);
  ModulusCreate(m64.data(), 64, 1, &r64);
  Num scratch(kMulScratchDigits);
  Num a5(5), b5(5), o5(5), a64(64), b64(64), o64(64), x;
  x = Random(rng, 5);
  ModToForm(x.data(), 5, a5.data(), &r5);
  x = Random(rng, 5);
  ModToForm(x.data(), 5, b5.data(), &r5);
  x = Random(rng, 64);
  ModToForm(x.data(), 64, a64.data(), &r64);
  x = Random(rng, 64);
  ModToForm(x.data(), 64, b64.data(), &r64);
  Num e = Random(rng, 5);
  e[4] |= 0x80000000u;
  Num num = Random(rng, 128), den = Random(rng, 64), quot(65), rem(64);
  BigReciprocal rec;
  BigReciprocalCompute(den.data(), 64, &rec);
  Num inv(5), g(5);

  std::printf("ModMul160      %10.1f ns\n", Time(
                                                [&] {
                                                  ModMul(a5.data(), b5.data(), o5.data(), &r5, scratch.data());
                                                  g_sink = o5[0];
                                                },
                                                20000));
  std::printf("ModExp160      %10.1f ns\n", Time(
                                                [&] {
                                                  ModExp(a5.data(), e.data(), 5, o5.data(), &r5);
                                                  g_sink = o5[0];
                                                },
                                                200));
  std::printf("ModInverse160  %10.1f ns\n", Time(
                                                [&] {
                                                  ModInverseJacobi(a5.data(), &r5, o5.data(), nullptr);
                                                  g_sink = o5[0];
                                                },
                                                200));
  std::printf("ModMul2048     %10.1f ns\n", Time(
                                                [&] {
                                                  ModMul(a64.data(), b64.data(), o64.data(), &r64, scratch.data());
                                                  g_sink = o64[0];
                                                },
                                                200));
  std::printf("DivRem128by64  %10.1f ns\n", Time(
                                                [&] {
                                                  BigDivRem(num.data(), 128, den.data(), 64, &rec, quot.data(),
                                                            rem.data());
                                                  g_sink = rem[0];
                                                },
                                                200));
  std::printf("GcdInverse160  %10.1f ns\n", Time(
                                                [&] {
                                                  BigGcdInverse(a5.data(), 5, p.data(), 5, inv.data(), nullptr,
                                                                g.data(), nullptr);
                                                  g_sink = inv[0];
                                                },
                                                200));
  return 0;
}
