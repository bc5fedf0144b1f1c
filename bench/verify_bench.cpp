// Time to verify a catalog whose signer chain has three certificates (signer,
// intermediate CA, product anchor): MinCryptVerifyCatalog against libcrypto's
// check of the same catalog (PKCS #7 signature plus chain to the anchor
// certificate). Both make three RSA-2048 public operations. Prints both times
// and their ratio (ours / OpenSSL's).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>

#include "mincrypt/rootlevel.h"
#include "mincrypt/vercat.h"
#include "tests/support/catalog_builder.h"
#include "tests/support/dev_keys.h"

namespace {

std::string DevFile(const char* name) { return devkeys::DevKeyPath(name); }

struct Fixture {
  catalog::Bytes cat;
  std::unique_ptr<catalog::ReferenceVerifier> openssl;

  Fixture() {
    const catalog::Signer signer =
        catalog::LoadSigner(DevFile("product-signer.key"), DevFile("product-signer.pem"), {DevFile("product-ca.pem")});
    catalog::Bytes image(20);
    for (size_t i = 0; i < image.size(); i++) image[i] = static_cast<uint8_t>(i * 7);
    cat = catalog::MakeSignedImageCatalog(
        {.imageSha1 = image, .attributes = {{u"Manufacturer", u"Corvane"}, {u"Model", u"ZR-7"}}}, signer);
    openssl =
        std::make_unique<catalog::ReferenceVerifier>(catalog::LoadCertificatesPem(DevFile("product-root.pem")).at(0));
  }

  LONG Ours() const {
    MapCatInfo info = {};
    info.EncodedBlob = {static_cast<DWORD>(cat.size()), cat.data()};
    return MinCryptVerifyCatalog(&info, TRUE);
  }
  bool Theirs() const { return openssl->Verify(cat); }
};

Fixture& TheFixture() {
  static Fixture f;
  return f;
}

void BM_MinCryptVerifyCatalog(benchmark::State& state) {
  const Fixture& f = TheFixture();
  for (auto _ : state) {
    if (f.Ours() != 0) state.SkipWithError("catalog did not verify");
  }
}
BENCHMARK(BM_MinCryptVerifyCatalog);

void BM_OpenSslVerifyCatalog(benchmark::State& state) {
  const Fixture& f = TheFixture();
  for (auto _ : state) {
    if (!f.Theirs()) state.SkipWithError("OpenSSL refused the catalog");
  }
}
BENCHMARK(BM_OpenSslVerifyCatalog);

double ThreadCpuMicroseconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

// The machine is shared, so the closing ratio comes from short alternating
// rounds of both sides, timed in thread CPU time, taking each side's best
// round.
void PrintInterleavedRatio() {
  const Fixture& f = TheFixture();
  constexpr int kRounds = 30;
  constexpr int kPerRound = 20;
  double bestOurs = 1e30;
  double bestTheirs = 1e30;
  for (int r = 0; r < kRounds; ++r) {
    const double t0 = ThreadCpuMicroseconds();
    for (int i = 0; i < kPerRound; ++i) benchmark::DoNotOptimize(f.Ours());
    const double t1 = ThreadCpuMicroseconds();
    for (int i = 0; i < kPerRound; ++i) benchmark::DoNotOptimize(f.Theirs());
    const double t2 = ThreadCpuMicroseconds();
    bestOurs = std::min(bestOurs, (t1 - t0) / kPerRound);
    bestTheirs = std::min(bestTheirs, (t2 - t1) / kPerRound);
  }
  std::printf(
      "Catalog verification, three-certificate chain (RSA-2048, SHA-1), %zu-byte catalog, best of %d alternating "
      "rounds (CPU time): ours %.1f us, OpenSSL %.1f us, ratio %.2f\n",
      f.cat.size(), kRounds, bestOurs, bestTheirs, bestOurs / bestTheirs);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // Before timing: both sides must accept the catalog, and ours must reach
  // the product anchor.
  Fixture& f = TheFixture();
  RootLevel = 0;
  if (f.Ours() != 0 || RootLevel != ROOT_LEVEL_PRODUCT || !f.Theirs()) {
    std::fprintf(stderr, "setup failed: the catalog does not verify on both sides (anchors other than keys/dev?)\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  PrintInterleavedRatio();
  benchmark::Shutdown();
  return 0;
}
