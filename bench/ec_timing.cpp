// The curve arithmetic's speed where Google Benchmark and OpenSSL are not at
// hand (the Windows builds under Wine): k*G from G's table, a point's table
// built and multiplied, one field multiplication and one inversion, each the
// best of ten rounds. bench_ec (native) gives the same figures next to
// OpenSSL's.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/best_of.h"
#include "tests/crypto/ec_test_support.h"

namespace {

constexpr DWORD kW = 4;
constexpr DWORD kT = 60;
constexpr int kScalars = 32;

}  // namespace

int main() {
  auto c = ectest::MakeCurve(ectest::kChannelP, ectest::kChannelA, ectest::kChannelB);
  const DWORD n = c->n;
  std::vector<Digit> G = c->Point({ectest::kChannelGx, ectest::kChannelGy});
  std::vector<Digit> gTable(EcFixedBaseTableDigits(kT, n)), table(gTable.size());
  // 159-bit scalars (below the group order) from a fixed linear congruential
  // sequence: the same work in every run.
  std::vector<std::vector<Digit>> scalars(kScalars, std::vector<Digit>(n));
  Digit state = 12345;
  for (auto& k : scalars) {
    for (Digit& d : k) d = state = state * 1664525u + 1013904223u;
    k[n - 1] &= 0x7FFFFFFFu;
  }
  Digit q[2 * FIELD_MAX_DIGITS], out[2 * FIELD_MAX_DIGITS];
  if (!EcFixedBaseTable(G.data(), kW, kT, gTable.data(), &c->curve) ||
      !EcFixedBaseMul(gTable.data(), kW, kT, scalars[0].data(), n, q, &c->curve)) {
    std::fprintf(stderr, "curve set-up failed\n");
    return 1;
  }
  bool ok = true;
  int next = 0;
  const double kG = timing::BestOf(
      [&] { ok &= EcFixedBaseMul(gTable.data(), kW, kT, scalars[next++ % kScalars].data(), n, out, &c->curve) != 0; },
      kScalars);
  const double kQ = timing::BestOf(
      [&] {
        ok &= EcFixedBaseTable(q, kW, kT, table.data(), &c->curve) &&
              EcFixedBaseMul(table.data(), kW, kT, scalars[next++ % kScalars].data(), n, out, &c->curve);
      },
      kScalars);
  Digit a[FIELD_MAX_DIGITS];
  for (DWORD i = 0; i < n; ++i) a[i] = G[i];
  const double mul = timing::BestOf([&] { FieldMul(a, a, a, &c->field); }, 100000);
  const double inverse = timing::BestOf([&] { ok &= FieldInverse(a, a, &c->field) != 0; }, 2000);
  if (!ok) {
    std::fprintf(stderr, "an operation failed\n");
    return 1;
  }
  std::printf(
      "k*G from G's table        %8.2f us\nk*Q with its table first  %8.2f us\n"
      "field multiplication      %8.1f ns\nfield inversion           %8.2f us\n",
      kG, kQ, mul * 1000, inverse);
  return 0;
}
