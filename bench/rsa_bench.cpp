// RSA-2048 public operation with exponent 65537: RsaPublicOp against OpenSSL's
// raw public operation (EVP_PKEY_encrypt without padding) on the same key and
// input. Prints both times and their ratio (ours / OpenSSL's).
#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "crypto/rsa.h"

namespace {

struct Fixture {
  EVP_PKEY* key = nullptr;
  EVP_PKEY_CTX* encrypt = nullptr;
  RsaPublicKeyRecord record{};
  std::vector<uint8_t> input;  // big-endian, modulus length
  Digit in[RSA_MAX_OPERAND_DIGITS] = {};

  Fixture() {
    EVP_PKEY_CTX* gen = EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr);
    EVP_PKEY_keygen_init(gen);
    EVP_PKEY_CTX_set_rsa_keygen_bits(gen, 2048);
    EVP_PKEY_keygen(gen, &key);  // exponent 65537 by default
    EVP_PKEY_CTX_free(gen);

    BIGNUM* n = nullptr;
    EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &n);
    std::vector<uint8_t> modulus(BN_num_bytes(n));
    BN_bn2bin(n, modulus.data());
    BN_free(n);

    record.dwMagic = RSA_PUBLIC_KEY_MAGIC;
    record.dwKeyLength = static_cast<DWORD>((modulus.size() + 7) / 8 * 8 + 8);
    record.dwBitLength = static_cast<DWORD>(8 * modulus.size());
    record.dwDataLength = static_cast<DWORD>(modulus.size() - 1);
    record.dwPubExp = 65537;
    std::reverse_copy(modulus.begin(), modulus.end(), record.rgbModulus);

    // Any value below the modulus: the modulus with its top byte lowered.
    input = modulus;
    input[0] = static_cast<uint8_t>(input[0] - 1);
    std::reverse_copy(input.begin(), input.end(), reinterpret_cast<uint8_t*>(in));

    encrypt = EVP_PKEY_CTX_new(key, nullptr);
    EVP_PKEY_encrypt_init(encrypt);
    EVP_PKEY_CTX_set_rsa_padding(encrypt, RSA_NO_PADDING);
  }
  ~Fixture() {
    EVP_PKEY_CTX_free(encrypt);
    EVP_PKEY_free(key);
  }
};

Fixture& TheFixture() {
  static Fixture f;
  return f;
}

void BM_RsaPublicOp2048(benchmark::State& state) {
  Fixture& f = TheFixture();
  Digit out[RSA_MAX_OPERAND_DIGITS];
  for (auto _ : state) {
    if (!RsaPublicOp(&f.record, f.in, out)) state.SkipWithError("RsaPublicOp failed");
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_RsaPublicOp2048);

void BM_OpenSslRawPublic2048(benchmark::State& state) {
  Fixture& f = TheFixture();
  std::vector<uint8_t> out(f.input.size());
  for (auto _ : state) {
    size_t outLen = out.size();
    if (EVP_PKEY_encrypt(f.encrypt, out.data(), &outLen, f.input.data(), f.input.size()) != 1) {
      state.SkipWithError("EVP_PKEY_encrypt failed");
    }
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_OpenSslRawPublic2048);

// Console output plus a closing line with the ratio of the two runs.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Iteration) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto ours = times_.find("BM_RsaPublicOp2048");
    const auto theirs = times_.find("BM_OpenSslRawPublic2048");
    if (ours != times_.end() && theirs != times_.end() && theirs->second > 0) {
      std::printf("RSA-2048 public op (e = 65537): ours %.2f us, OpenSSL %.2f us, ratio %.2f\n", ours->second / 1000.0,
                  theirs->second / 1000.0, ours->second / theirs->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

// The machine is shared, so the closing ratio comes from short alternating
// rounds of both operations, taking each side's best round.
void PrintInterleavedRatio() {
  Fixture& f = TheFixture();
  Digit out[RSA_MAX_OPERAND_DIGITS];
  std::vector<uint8_t> theirs(f.input.size());
  constexpr int kRounds = 40;
  constexpr int kPerRound = 50;
  double bestOurs = 1e30;
  double bestTheirs = 1e30;
  using Clock = std::chrono::steady_clock;
  for (int r = 0; r < kRounds; ++r) {
    auto t0 = Clock::now();
    for (int i = 0; i < kPerRound; ++i) {
      RsaPublicOp(&f.record, f.in, out);
      benchmark::DoNotOptimize(out);
    }
    auto t1 = Clock::now();
    for (int i = 0; i < kPerRound; ++i) {
      size_t len = theirs.size();
      EVP_PKEY_encrypt(f.encrypt, theirs.data(), &len, f.input.data(), f.input.size());
      benchmark::DoNotOptimize(theirs.data());
    }
    auto t2 = Clock::now();
    bestOurs = std::min(bestOurs, std::chrono::duration<double, std::micro>(t1 - t0).count() / kPerRound);
    bestTheirs = std::min(bestTheirs, std::chrono::duration<double, std::micro>(t2 - t1).count() / kPerRound);
  }
  std::printf(
      "RSA-2048 public op (e = 65537), best of %d alternating rounds: ours %.2f us, OpenSSL %.2f us, ratio %.2f\n",
      kRounds, bestOurs, bestTheirs, bestOurs / bestTheirs);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // Before timing: our result must equal OpenSSL's.
  Fixture& f = TheFixture();
  Digit out[RSA_MAX_OPERAND_DIGITS] = {};
  std::vector<uint8_t> expected(f.input.size());
  size_t len = expected.size();
  if (!RsaPublicOp(&f.record, f.in, out) ||
      EVP_PKEY_encrypt(f.encrypt, expected.data(), &len, f.input.data(), f.input.size()) != 1) {
    std::fprintf(stderr, "setup failed\n");
    return 1;
  }
  std::vector<uint8_t> ours(len);
  std::reverse_copy(reinterpret_cast<uint8_t*>(out), reinterpret_cast<uint8_t*>(out) + len, ours.begin());
  if (ours != expected) {
    std::fprintf(stderr, "RsaPublicOp disagrees with OpenSSL\n");
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintInterleavedRatio();
  benchmark::Shutdown();
  return 0;
}
