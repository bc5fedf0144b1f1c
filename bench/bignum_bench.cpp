// The arithmetic against OpenSSL's BN and GMP in the same run: Montgomery
// multiplication modulo the channel's 160-bit prime and modulo a 2048-bit
// number, a 160-bit exponentiation, inversion, division and the extended
// gcd. Each pair is run five times; the closing lines give the ratio of the
// median processor times (ours / theirs), which a machine shared with other
// work disturbs less than wall-clock time.
#include <benchmark/benchmark.h>
#include <gmp.h>
#include <openssl/bn.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "crypto/bignum/modular.h"

namespace {

using Num = std::vector<Digit>;

// The channel's prime, least significant digit first.
const Num kPrime160 = {0x141424f7u, 0x31415926u, 0x27182818u, 0x01234567u, 0x89abcdefu};

Num RandomDigits(std::mt19937& rng, size_t n) {
  Num v(n);
  for (auto& d : v) d = rng();
  return v;
}

BIGNUM* ToBn(const Num& v) {
  return BN_lebin2bn(reinterpret_cast<const unsigned char*>(v.data()), static_cast<int>(4 * v.size()), nullptr);
}

void ToMpz(mpz_t z, const Num& v) { mpz_import(z, v.size(), -1, 4, 0, 0, v.data()); }

// A modulus with both libraries' contexts and two reduced operands.
struct ModFixture {
  Num m;
  ModulusRecord rec{};
  Num scratch = Num(kMulScratchDigits);
  Num a, b, e;  // a, b in working form; e an exponent of 160 bits
  BN_CTX* ctx = BN_CTX_new();
  BN_MONT_CTX* mont = BN_MONT_CTX_new();
  BIGNUM *bm, *ba, *bb, *be, *br;

  ModFixture(const Num& modulus, uint32_t seed) : m(modulus) {
    std::mt19937 rng(seed);
    ModulusCreate(m.data(), static_cast<DWORD>(m.size()), 1, &rec);
    const DWORD n = rec.n;
    Num x = RandomDigits(rng, n), y = RandomDigits(rng, n);
    a.resize(n);
    b.resize(n);
    ModToForm(x.data(), n, a.data(), &rec);
    ModToForm(y.data(), n, b.data(), &rec);
    e = RandomDigits(rng, 5);
    e[4] |= 0x80000000u;
    bm = ToBn(m);
    ba = ToBn(x);
    bb = ToBn(y);
    be = ToBn(e);
    br = BN_new();
    BN_MONT_CTX_set(mont, bm, ctx);
    BN_nnmod(ba, ba, bm, ctx);
    BN_nnmod(bb, bb, bm, ctx);
    BN_to_montgomery(ba, ba, mont, ctx);
    BN_to_montgomery(bb, bb, mont, ctx);
  }
};

ModFixture& Fixture160() {
  static ModFixture f(kPrime160, 1);
  return f;
}
ModFixture& Fixture2048() {
  static ModFixture f = [] {
    std::mt19937 rng(2);
    Num m = RandomDigits(rng, 64);
    m[0] |= 1;
    m[63] |= 0x80000000u;
    return ModFixture(m, 3);
  }();
  return f;
}

void ModMulOurs(benchmark::State& state, ModFixture& f) {
  Num out(f.rec.n);
  for (auto _ : state) {
    ModMul(f.a.data(), f.b.data(), out.data(), &f.rec, f.scratch.data());
    benchmark::DoNotOptimize(out.data());
  }
}
void ModMulOpenSsl(benchmark::State& state, ModFixture& f) {
  for (auto _ : state) {
    BN_mod_mul_montgomery(f.br, f.ba, f.bb, f.mont, f.ctx);
    benchmark::DoNotOptimize(f.br);
  }
}

void BM_ModMul160_Ours(benchmark::State& s) { ModMulOurs(s, Fixture160()); }
void BM_ModMul160_OpenSsl(benchmark::State& s) { ModMulOpenSsl(s, Fixture160()); }
void BM_ModMul2048_Ours(benchmark::State& s) { ModMulOurs(s, Fixture2048()); }
void BM_ModMul2048_OpenSsl(benchmark::State& s) { ModMulOpenSsl(s, Fixture2048()); }

void BM_ModExp160_Ours(benchmark::State& state) {
  ModFixture& f = Fixture160();
  Num out(f.rec.n);
  for (auto _ : state) {
    ModExp(f.a.data(), f.e.data(), 5, out.data(), &f.rec);
    benchmark::DoNotOptimize(out.data());
  }
}
void BM_ModExp160_OpenSsl(benchmark::State& state) {
  ModFixture& f = Fixture160();
  BIGNUM* base = BN_new();
  BN_from_montgomery(base, f.ba, f.mont, f.ctx);
  for (auto _ : state) {
    BN_mod_exp_mont(f.br, base, f.be, f.bm, f.ctx, f.mont);
    benchmark::DoNotOptimize(f.br);
  }
  BN_free(base);
}

void BM_ModInverse160_Ours(benchmark::State& state) {
  ModFixture& f = Fixture160();
  Num out(f.rec.n);
  for (auto _ : state) {
    ModInverseJacobi(f.a.data(), &f.rec, out.data(), nullptr);
    benchmark::DoNotOptimize(out.data());
  }
}
void BM_ModInverse160_OpenSsl(benchmark::State& state) {
  ModFixture& f = Fixture160();
  for (auto _ : state) {
    BN_mod_inverse(f.br, f.ba, f.bm, f.ctx);
    benchmark::DoNotOptimize(f.br);
  }
}

// Division of a 128-digit number by a 64-digit one.
struct DivFixture {
  Num num, den, quot = Num(65), rem = Num(64);
  mpz_t zn, zd, zq, zr;
  DivFixture() {
    std::mt19937 rng(4);
    num = RandomDigits(rng, 128);
    den = RandomDigits(rng, 64);
    mpz_inits(zn, zd, zq, zr, nullptr);
    ToMpz(zn, num);
    ToMpz(zd, den);
  }
};
DivFixture& Div() {
  static DivFixture f;
  return f;
}
void BM_DivRem128by64_Ours(benchmark::State& state) {
  DivFixture& f = Div();
  BigReciprocal rec;
  BigReciprocalCompute(f.den.data(), 64, &rec);
  for (auto _ : state) {
    BigDivRem(f.num.data(), 128, f.den.data(), 64, &rec, f.quot.data(), f.rem.data());
    benchmark::DoNotOptimize(f.rem.data());
  }
}
void BM_DivRem128by64_Gmp(benchmark::State& state) {
  DivFixture& f = Div();
  for (auto _ : state) {
    mpz_tdiv_qr(f.zq, f.zr, f.zn, f.zd);
    benchmark::DoNotOptimize(f.zr);
  }
}

// Inverse of a 160-bit number modulo the 160-bit group-order-sized prime.
void BM_GcdInverse160_Ours(benchmark::State& state) {
  ModFixture& f = Fixture160();
  Num inv(5), g(5);
  for (auto _ : state) {
    BigGcdInverse(f.a.data(), 5, f.m.data(), 5, inv.data(), nullptr, g.data(), nullptr);
    benchmark::DoNotOptimize(inv.data());
  }
}
void BM_GcdInverse160_Gmp(benchmark::State& state) {
  ModFixture& f = Fixture160();
  mpz_t za, zm, zi;
  mpz_inits(za, zm, zi, nullptr);
  ToMpz(za, f.a);
  ToMpz(zm, f.m);
  for (auto _ : state) {
    mpz_invert(zi, za, zm);
    benchmark::DoNotOptimize(zi);
  }
  mpz_clears(za, zm, zi, nullptr);
}

#define TF_PAIR(name, theirs)                                              \
  BENCHMARK(BM_##name##_Ours)->Repetitions(5)->ReportAggregatesOnly(true); \
  BENCHMARK(BM_##name##_##theirs)->Repetitions(5)->ReportAggregatesOnly(true)
TF_PAIR(ModMul160, OpenSsl);
TF_PAIR(ModExp160, OpenSsl);
TF_PAIR(ModInverse160, OpenSsl);
TF_PAIR(ModMul2048, OpenSsl);
TF_PAIR(DivRem128by64, Gmp);
TF_PAIR(GcdInverse160, Gmp);

// Console output plus one closing line per pair with the ratio of medians.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        medians_[r.run_name.function_name] = r.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const char* pairs[][3] = {
        {"ModMul160", "OpenSsl", "goal <= 1.0"},
        {"ModExp160", "OpenSsl", "goal <= 1.0"},
        {"ModInverse160", "OpenSsl", "goal <= 1.0"},
        {"ModMul2048", "OpenSsl", ""},
        {"DivRem128by64", "Gmp", ""},
        {"GcdInverse160", "Gmp", ""},
    };
    for (auto& p : pairs) {
      auto ours = medians_.find(std::string("BM_") + p[0] + "_Ours");
      auto theirs = medians_.find(std::string("BM_") + p[0] + "_" + p[1]);
      if (ours == medians_.end() || theirs == medians_.end() || theirs->second <= 0) continue;
      std::printf("%-14s ours %9.1f ns  %-7s %9.1f ns  ratio %.2f %s\n", p[0], ours->second, p[1], theirs->second,
                  ours->second / theirs->second, p[2]);
    }
  }

 private:
  std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // The channel's threshold on every processor of this decade: a 5-digit
  // modulus pads to 6 digits and multiplies with the 6-digit kernel.
  MulPlanSetThreshold(12);
  // Before timing: the Montgomery products must agree with OpenSSL's.
  for (ModFixture* f : {&Fixture160(), &Fixture2048()}) {
    Num out(f->rec.n), plain(f->rec.n);
    ModMul(f->a.data(), f->b.data(), out.data(), &f->rec, f->scratch.data());
    ModFromForm(out.data(), plain.data(), &f->rec);
    BIGNUM* want = BN_new();
    BN_mod_mul_montgomery(want, f->ba, f->bb, f->mont, f->ctx);
    BN_from_montgomery(want, want, f->mont, f->ctx);
    BIGNUM* got = ToBn(plain);
    const bool same = BN_cmp(got, want) == 0;
    BN_free(got);
    BN_free(want);
    if (!same) {
      std::fprintf(stderr, "ModMul disagrees with OpenSSL\n");
      return 1;
    }
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
