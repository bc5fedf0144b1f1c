// Request times of the random generator against OpenSSL's RAND_bytes in the
// same run: a process's first 4-byte request (set-up, platform probe,
// registry read and a gathering; once with the kernel source and once with
// the collected items that stand in when it does not answer), then later
// 4-byte and 4 KiB requests. OpenSSL's first request cannot be repeated, so
// the first-request lines compare with its later 4-byte request.
//
// The summary uses the medians of the repetitions: ours, OpenSSL's, and
// ours / OpenSSL's.
#include <benchmark/benchmark.h>
#include <openssl/rand.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "crypto/random/random.h"
#include "crypto/random/random_state.h"

namespace {

void First(benchmark::State& state, bool fKernel) {
  RandomSources table;
  RandomProbePlatform(&table);
  if (!fKernel) table.pfnKernel = nullptr;
  RandomTestUseSources(&table);
  BYTE out[4];
  for (auto _ : state) {
    RandomTestReset();
    if (!randomBytes(out, sizeof out)) state.SkipWithError("request failed");
    benchmark::DoNotOptimize(out);
  }
  RandomTestUseSources(nullptr);
  RandomTestReset();
}

void BM_First4_Ours(benchmark::State& state) { First(state, true); }
void BM_First4Collected_Ours(benchmark::State& state) { First(state, false); }

void BM_Later_Ours(benchmark::State& state) {
  std::vector<BYTE> out(static_cast<size_t>(state.range(0)));
  randomBytes(out.data(), static_cast<DWORD>(out.size()));  // the first request is behind us
  for (auto _ : state) {
    if (!randomBytes(out.data(), static_cast<DWORD>(out.size()))) state.SkipWithError("request failed");
    benchmark::DoNotOptimize(out.data());
  }
}

void BM_Later_OpenSSL(benchmark::State& state) {
  std::vector<BYTE> out(static_cast<size_t>(state.range(0)));
  RAND_bytes(out.data(), static_cast<int>(out.size()));
  for (auto _ : state) {
    if (RAND_bytes(out.data(), static_cast<int>(out.size())) != 1) state.SkipWithError("RAND_bytes failed");
    benchmark::DoNotOptimize(out.data());
  }
}

constexpr int kRepetitions = 5;

BENCHMARK(BM_First4_Ours)->Repetitions(kRepetitions);
BENCHMARK(BM_First4Collected_Ours)->Repetitions(kRepetitions);
BENCHMARK(BM_Later_Ours)->Arg(4)->Arg(4096)->Repetitions(kRepetitions);
BENCHMARK(BM_Later_OpenSSL)->Arg(4)->Arg(4096)->Repetitions(kRepetitions);

// Keeps the console output and remembers each benchmark's median time.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (median || single) {
        const std::string& args = run.run_name.args;
        nanoseconds_[run.run_name.function_name + (args.empty() ? "" : "/" + args)] = run.GetAdjustedRealTime();
      }
    }
  }

  void PrintSummary() const {
    std::printf("\nSummary (ns per request, medians)\n");
    Line("first 4 B (kernel source)", "BM_First4_Ours", "BM_Later_OpenSSL/4");
    Line("first 4 B (collected)", "BM_First4Collected_Ours", "BM_Later_OpenSSL/4");
    Line("later 4 B", "BM_Later_Ours/4", "BM_Later_OpenSSL/4");
    Line("later 4 KiB", "BM_Later_Ours/4096", "BM_Later_OpenSSL/4096");
  }

 private:
  void Line(const char* label, const char* ours, const char* theirs) const {
    const auto a = nanoseconds_.find(ours), b = nanoseconds_.find(theirs);
    if (a == nanoseconds_.end() || b == nanoseconds_.end() || b->second <= 0) return;
    std::printf("%-26s ours %10.0f  OpenSSL %8.0f  ratio %.2f\n", label, a->second, b->second, a->second / b->second);
  }

  std::map<std::string, double> nanoseconds_;
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
