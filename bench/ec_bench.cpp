// Scalar multiplication on the channel's curve: EcFixedBaseMul from G's
// 61-point table against OpenSSL's k*G (OpenSSL keeps no precomputed
// multiples for a curve given by its numbers), and EcFixedBaseTable(Q, 4, 60)
// followed by EcFixedBaseMul, the cost of a point met for the first time,
// against OpenSSL's k*Q. Field multiplication and inversion are timed beside
// them. Prints each pair's ratio (ours / OpenSSL's).
#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/rand.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "crypto/bignum/mulplan.h"
#include "tests/crypto/ec_test_support.h"
#include "tests/crypto/openssl_hex.h"

namespace {

using ectest::OpenSslHex;

constexpr DWORD kW = 4;
constexpr DWORD kT = 60;
constexpr int kScalars = 64;

struct Fixture {
  std::unique_ptr<ectest::TestCurve> c = ectest::MakeCurve(ectest::kChannelP, ectest::kChannelA, ectest::kChannelB);
  DWORD n = c->n;
  BN_CTX* ctx = BN_CTX_new();
  EC_GROUP* group = nullptr;
  EC_POINT* Q = nullptr;
  std::vector<BIGNUM*> bnScalars;
  std::vector<std::vector<Digit>> scalars;
  std::vector<Digit> G, q, gTable;

  Fixture() {
    BIGNUM *p = nullptr, *a = nullptr, *b = nullptr, *x = nullptr, *y = nullptr, *order = nullptr;
    BN_hex2bn(&p, ectest::kChannelP);
    BN_hex2bn(&a, ectest::kChannelA);
    BN_hex2bn(&b, ectest::kChannelB);
    BN_hex2bn(&x, ectest::kChannelGx);
    BN_hex2bn(&y, ectest::kChannelGy);
    BN_hex2bn(&order, ectest::kChannelN);
    group = EC_GROUP_new_curve_GFp(p, a, b, ctx);
    EC_POINT* g = EC_POINT_new(group);
    EC_POINT_set_affine_coordinates(group, g, x, y, ctx);
    EC_GROUP_set_generator(group, g, order, nullptr);
    for (int i = 0; i < kScalars; i++) {
      BIGNUM* k = BN_new();
      BN_rand_range(k, order);
      bnScalars.push_back(k);
      scalars.push_back(ectest::DigitsFromHex(OpenSslHex(k), n));
    }
    // Q: a point met for the first time, here a random multiple of G.
    BIGNUM* r = BN_new();
    BN_rand_range(r, order);
    Q = EC_POINT_new(group);
    EC_POINT_mul(group, Q, r, nullptr, nullptr, ctx);
    EC_POINT_get_affine_coordinates(group, Q, x, y, ctx);
    q = c->Point({OpenSslHex(x), OpenSslHex(y)});
    G = c->Point({ectest::kChannelGx, ectest::kChannelGy});
    gTable.resize(EcFixedBaseTableDigits(kT, n));
    EcFixedBaseTable(G.data(), kW, kT, gTable.data(), &c->curve);
    for (BIGNUM* v : {p, a, b, x, y, order, r}) BN_free(v);
    EC_POINT_free(g);
  }
};

Fixture& F() {
  static Fixture f;
  return f;
}

void OursKG(int i) {
  Fixture& f = F();
  Digit out[2 * FIELD_MAX_DIGITS];
  if (!EcFixedBaseMul(f.gTable.data(), kW, kT, f.scalars[i].data(), f.n, out, &f.c->curve)) std::abort();
  benchmark::DoNotOptimize(out);
}
void TheirsKG(int i) {
  Fixture& f = F();
  EC_POINT* r = EC_POINT_new(f.group);
  EC_POINT_mul(f.group, r, f.bnScalars[i], nullptr, nullptr, f.ctx);
  EC_POINT_free(r);
}
void OursKQ(int i) {
  Fixture& f = F();
  std::vector<Digit> table(EcFixedBaseTableDigits(kT, f.n));
  Digit out[2 * FIELD_MAX_DIGITS];
  if (!(EcFixedBaseTable(f.q.data(), kW, kT, table.data(), &f.c->curve) &&
        EcFixedBaseMul(table.data(), kW, kT, f.scalars[i].data(), f.n, out, &f.c->curve))) {
    std::abort();
  }
  benchmark::DoNotOptimize(out);
}
void TheirsKQ(int i) {
  Fixture& f = F();
  EC_POINT* r = EC_POINT_new(f.group);
  EC_POINT_mul(f.group, r, nullptr, f.Q, f.bnScalars[i], f.ctx);
  EC_POINT_free(r);
}

void BM_EcFixedBaseMulG(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) OursKG(i++ % kScalars);
}
BENCHMARK(BM_EcFixedBaseMulG);

void BM_OpenSslMulG(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) TheirsKG(i++ % kScalars);
}
BENCHMARK(BM_OpenSslMulG);

void BM_EcTableAndMulQ(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) OursKQ(i++ % kScalars);
}
BENCHMARK(BM_EcTableAndMulQ);

void BM_OpenSslMulQ(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) TheirsKQ(i++ % kScalars);
}
BENCHMARK(BM_OpenSslMulQ);

void BM_FieldMul(benchmark::State& state) {
  Fixture& f = F();
  std::vector<Digit> a(f.G.begin(), f.G.begin() + f.n), b(f.G.begin() + f.n, f.G.end());
  for (auto _ : state) {
    FieldMul(a.data(), b.data(), a.data(), &f.c->field);
    benchmark::DoNotOptimize(a.data());
  }
}
BENCHMARK(BM_FieldMul);

void BM_FieldInverse(benchmark::State& state) {
  Fixture& f = F();
  std::vector<Digit> a(f.G.begin(), f.G.begin() + f.n);
  for (auto _ : state) {
    if (!FieldInverse(a.data(), a.data(), &f.c->field)) std::abort();
    benchmark::DoNotOptimize(a.data());
  }
}
BENCHMARK(BM_FieldInverse);

// The machine is shared, so each closing ratio comes from short alternating
// rounds of both operations, taking each side's best round.
void PrintInterleavedRatio(const char* what, const std::function<void(int)>& ours,
                           const std::function<void(int)>& theirs) {
  constexpr int kRounds = 30;
  using Clock = std::chrono::steady_clock;
  double bestOurs = 1e30, bestTheirs = 1e30;
  for (int r = 0; r < kRounds; ++r) {
    auto t0 = Clock::now();
    for (int i = 0; i < kScalars; ++i) ours(i);
    auto t1 = Clock::now();
    for (int i = 0; i < kScalars; ++i) theirs(i);
    auto t2 = Clock::now();
    bestOurs = std::min(bestOurs, std::chrono::duration<double, std::micro>(t1 - t0).count() / kScalars);
    bestTheirs = std::min(bestTheirs, std::chrono::duration<double, std::micro>(t2 - t1).count() / kScalars);
  }
  std::printf("%s, best of %d alternating rounds: ours %.2f us, OpenSSL %.2f us, ratio %.2f\n", what, kRounds, bestOurs,
              bestTheirs, bestOurs / bestTheirs);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // The channel's threshold on every processor of this decade, set before the
  // field's record is made (the record keeps its plan rows): the 5-digit prime
  // pads to 6 digits and multiplies with the 6-digit kernel.
  MulPlanSetThreshold(12);
  // Before timing: our k*G and k*Q must equal OpenSSL's.
  Fixture& f = F();
  for (int i = 0; i < kScalars; i++) {
    Digit out[2 * FIELD_MAX_DIGITS];
    EC_POINT* r = EC_POINT_new(f.group);
    EC_POINT_mul(f.group, r, nullptr, f.Q, f.bnScalars[i], f.ctx);
    BIGNUM *x = BN_new(), *y = BN_new();
    EC_POINT_get_affine_coordinates(f.group, r, x, y, f.ctx);
    std::vector<Digit> table(EcFixedBaseTableDigits(kT, f.n));
    if (!EcFixedBaseTable(f.q.data(), kW, kT, table.data(), &f.c->curve) ||
        !EcFixedBaseMul(table.data(), kW, kT, f.scalars[i].data(), f.n, out, &f.c->curve) ||
        !(f.c->Hex2(out) == ectest::HexPoint{OpenSslHex(x), OpenSslHex(y)})) {
      std::fprintf(stderr, "k*Q disagrees with OpenSSL\n");
      return 1;
    }
    BN_free(x);
    BN_free(y);
    EC_POINT_free(r);
  }
  benchmark::RunSpecifiedBenchmarks();
  PrintInterleavedRatio("k*G from G's table (w = 4, t = 60)", OursKG, TheirsKG);
  PrintInterleavedRatio("k*Q with its table built first", OursKQ, TheirsKQ);
  benchmark::Shutdown();
  return 0;
}
