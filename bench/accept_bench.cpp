// Accepting a 64 MiB signed OS image (OpenImage + AcceptImage: record table,
// traversal, SHA-1 of the signed parts, catalog verification, make and model)
// against OpenSSL's SHA-1 of the same file read from the page cache. Prints
// both times and their ratio (ours / OpenSSL's).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "image/accept.h"
#include "image/binutils.h"
#include "platform/diag.h"
#include "platform/text.h"
#include "tests/support/signed_image.h"

namespace {

constexpr size_t kMiB = 1024 * 1024;
const char16_t kMake[] = u"Corvane";
const char16_t kModel[] = u"ZR-410";

std::string g_path;

void Quiet(DiagStream, const char*, void*) {}

// An OS image of about 64 MiB: a kernel module with large sections, a few
// more modules and files, and a cat_sig placeholder, signed through the
// product chain.
bool MakeSignedImage(const std::string& path) {
  imagebuilder::RomImage image;
  for (int m = 0; m < 4; ++m) {
    imagebuilder::Module module;
    module.name = m == 0 ? "nk.exe" : "module" + std::to_string(m) + ".dll";
    for (int s = 0; s < 4; ++s) {
      const uint32_t size = static_cast<uint32_t>(2 * kMiB);
      module.sections.push_back({.virtualSize = size, .physicalSize = size});
    }
    image.modules.push_back(module);
  }
  for (int f = 0; f < 16; ++f) image.files.push_back({.storedSize = static_cast<uint32_t>(2 * kMiB)});
  image.headName = "chain";
  image.extensions = {{.name = "cat_sig", .length = 8192}};
  std::string error;
  return signedimage::WriteSignedImage(image, signedimage::DevSigner("product"), {.make = kMake, .model = kModel}, path,
                                       &error);
}

bool OursOnce() {
  if (!OpenImage(WidenUtf8(g_path).c_str())) return false;
  SetExpectedDevice(reinterpret_cast<const WCHAR*>(kMake), reinterpret_cast<const WCHAR*>(kModel));
  const bool accepted = AcceptImage();
  CloseImage();
  return accepted;
}

bool OpenSslOnce(unsigned char digest[20]) {
  FILE* f = std::fopen(g_path.c_str(), "rb");
  if (f == nullptr) return false;
  static std::vector<unsigned char> buffer(kMiB);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  bool ok = EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) == 1;
  for (size_t n; ok && (n = std::fread(buffer.data(), 1, buffer.size(), f)) != 0;) {
    ok = EVP_DigestUpdate(ctx.get(), buffer.data(), n) == 1;
  }
  std::fclose(f);
  return ok && EVP_DigestFinal_ex(ctx.get(), digest, nullptr) == 1;
}

void BM_OpenAndAcceptImage(benchmark::State& state) {
  for (auto _ : state) {
    if (!OursOnce()) state.SkipWithError("image refused");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 64 * static_cast<int64_t>(kMiB));
}
BENCHMARK(BM_OpenAndAcceptImage)->Unit(benchmark::kMillisecond);

void BM_OpenSslSha1OfFile(benchmark::State& state) {
  unsigned char digest[20];
  for (auto _ : state) {
    if (!OpenSslOnce(digest)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 64 * static_cast<int64_t>(kMiB));
}
BENCHMARK(BM_OpenSslSha1OfFile)->Unit(benchmark::kMillisecond);

// Process CPU time (user and system: the page-cache copies count too).
double CpuMs() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The machine is shared: the closing ratios come from alternating rounds of
// both, taking each side's best, by wall-clock and by CPU time.
void PrintRatio() {
  constexpr int kRounds = 9;
  double ours = 1e30, theirs = 1e30, oursCpu = 1e30, theirsCpu = 1e30;
  unsigned char digest[20];
  for (int i = 0; i < kRounds; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = CpuMs();
    OursOnce();
    const auto t1 = std::chrono::steady_clock::now();
    const double c1 = CpuMs();
    OpenSslOnce(digest);
    const auto t2 = std::chrono::steady_clock::now();
    const double c2 = CpuMs();
    ours = std::min(ours, std::chrono::duration<double, std::milli>(t1 - t0).count());
    theirs = std::min(theirs, std::chrono::duration<double, std::milli>(t2 - t1).count());
    oursCpu = std::min(oursCpu, c1 - c0);
    theirsCpu = std::min(theirsCpu, c2 - c1);
  }
  std::printf(
      "64 MiB signed OS image, best of %d alternating rounds: OpenImage+AcceptImage %.1f ms (CPU %.1f ms), OpenSSL "
      "SHA-1 of the file %.1f ms (CPU %.1f ms), ratio %.3f (CPU %.3f)\n",
      kRounds, ours, oursCpu, theirs, theirsCpu, ours / theirs, oursCpu / theirsCpu);
}

}  // namespace

int main(int argc, char** argv) {
  DiagSetSink(Quiet, nullptr);
  g_path = (std::getenv("TMPDIR") != nullptr ? std::string(std::getenv("TMPDIR")) : std::string("/tmp")) +
           "/tf_bench_accept_os.bin";
  if (!MakeSignedImage(g_path) || !OursOnce()) {
    std::fprintf(stderr, "setup failed: the signed image is not accepted\n");
    return 1;
  }
  unsigned char digest[20];
  OpenSslOnce(digest);  // both start from a warm page cache
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintRatio();
  std::remove(g_path.c_str());
  return 0;
}
