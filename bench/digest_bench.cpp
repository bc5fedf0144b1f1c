// SHA-1 and MD5 throughput on 1 MiB buffers, ours against OpenSSL's EVP
// digests in the same run. SHA-1 is measured twice on our side: with the
// transform the CPU gets by default (SHA extensions where present) and with
// the portable transform forced. OpenSSL picks its own code from the CPU;
// run with OPENSSL_ia32cap=":~0x20000000" to mask its SHA-extension code and
// compare the portable transform with OpenSSL's best code without them.
//
// Each benchmark runs several repetitions; the summary at the end uses the
// medians: our throughput, OpenSSL's, and ours / OpenSSL's.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "crypto/md5.h"
#include "crypto/sha1.h"

namespace {

constexpr size_t kBufferSize = 1 << 20;

const std::vector<BYTE>& Buffer() {
  static const std::vector<BYTE> buffer = [] {
    std::vector<BYTE> b(kBufferSize);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<BYTE>(i * 131 + 7);
    return b;
  }();
  return buffer;
}

void OurSha1(benchmark::State& state, bool fPortable) {
  const std::vector<BYTE>& buf = Buffer();
  ShaForcePortableTransform(fPortable);
  BYTE digest[SHA1_DIGEST_LEN];
  for (auto _ : state) {
    ShaContext ctx;
    ShaInit(&ctx);
    ShaUpdate(&ctx, buf.data(), static_cast<DWORD>(buf.size()));
    ShaFinal(&ctx, digest);
    benchmark::DoNotOptimize(digest);
  }
  ShaForcePortableTransform(false);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buf.size()));
}

void BM_Sha1_Ours(benchmark::State& state) { OurSha1(state, false); }
void BM_Sha1Portable_Ours(benchmark::State& state) { OurSha1(state, true); }

void BM_Md5_Ours(benchmark::State& state) {
  const std::vector<BYTE>& buf = Buffer();
  for (auto _ : state) {
    MD5Context ctx;
    MD5Init(&ctx);
    MD5Update(&ctx, buf.data(), static_cast<DWORD>(buf.size()));
    MD5Final(&ctx);
    benchmark::DoNotOptimize(ctx.rgbDigest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buf.size()));
}

void OpenSslDigest(benchmark::State& state, const char* name) {
  const std::vector<BYTE>& buf = Buffer();
  EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  if (md == nullptr || ctx == nullptr) {
    state.SkipWithError("OpenSSL digest unavailable");
  } else {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    for (auto _ : state) {
      EVP_DigestInit_ex(ctx, md, nullptr);
      EVP_DigestUpdate(ctx, buf.data(), buf.size());
      EVP_DigestFinal_ex(ctx, digest, &n);
      benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buf.size()));
  }
  EVP_MD_CTX_free(ctx);
  EVP_MD_free(md);
}

void BM_Sha1_OpenSSL(benchmark::State& state) { OpenSslDigest(state, "SHA1"); }
void BM_Md5_OpenSSL(benchmark::State& state) { OpenSslDigest(state, "MD5"); }

constexpr int kRepetitions = 5;

BENCHMARK(BM_Sha1_Ours)->Repetitions(kRepetitions);
BENCHMARK(BM_Sha1Portable_Ours)->Repetitions(kRepetitions);
BENCHMARK(BM_Sha1_OpenSSL)->Repetitions(kRepetitions);
BENCHMARK(BM_Md5_Ours)->Repetitions(kRepetitions);
BENCHMARK(BM_Md5_OpenSSL)->Repetitions(kRepetitions);

// Keeps the console output and remembers each benchmark's median throughput.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto it = run.counters.find("bytes_per_second");
      if (it == run.counters.end()) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (median || single) throughput_[run.run_name.function_name] = it->second.value;
    }
  }

  void PrintSummary() const {
    const char* mask = std::getenv("OPENSSL_ia32cap");
    std::printf("\nSummary (MiB/s, medians; OPENSSL_ia32cap=%s; our SHA-1 transform by default: %s)\n",
                mask ? mask : "(unset)",
                ShaActiveTransform() == ShaTransform::ShaExtensions ? "SHA extensions" : "portable");
    Line("sha1", "BM_Sha1_Ours", "BM_Sha1_OpenSSL");
    Line("sha1 portable", "BM_Sha1Portable_Ours", "BM_Sha1_OpenSSL");
    Line("md5", "BM_Md5_Ours", "BM_Md5_OpenSSL");
  }

 private:
  void Line(const char* label, const char* ours, const char* theirs) const {
    const auto a = throughput_.find(ours), b = throughput_.find(theirs);
    if (a == throughput_.end() || b == throughput_.end() || b->second <= 0) return;
    constexpr double kMiB = 1024.0 * 1024.0;
    std::printf("%-14s ours %8.1f  OpenSSL %8.1f  ratio %.3f\n", label, a->second / kMiB, b->second / kMiB,
                a->second / b->second);
  }

  std::map<std::string, double> throughput_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
