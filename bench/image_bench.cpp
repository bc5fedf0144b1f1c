// Walking the signed parts of a 64 MiB image against reading the same file
// front to back with plain reads, in the same run. The walk reads each part
// where the tables point and hands it to a callback that does nothing, so the
// ratio is the reader's own cost over the bare file reads.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "image/binutils.h"
#include "image/traverse.h"
#include "platform/diag.h"
#include "platform/fileio.h"
#include "platform/text.h"
#include "tests/support/image_builder.h"

namespace {

using namespace imagebuilder;

constexpr uint32_t kKiB = 1024;
constexpr DWORD kChunk = 1024 * kKiB;

std::string g_path;
uint64_t g_fileSize = 0;
uint64_t g_partBytes = 0;

// About 64 MiB, laid out like a real OS image: modules with a few sections
// each (one of them in place), files of many sizes, a signature extension,
// and a record for each section's and file's data, so that the record table
// has a few hundred entries to search.
RomImage BenchImage() {
  RomImage r;
  uint32_t state = 12345;
  auto next = [&state](uint32_t lo, uint32_t hi) {
    state = state * 1103515245u + 12345u;
    return lo + (state >> 8) % (hi - lo + 1);
  };
  for (int i = 0; i < 24; ++i) {
    Module m;
    const uint32_t code = next(256, 1024) * kKiB;
    m.sections.push_back(Section{.virtualSize = code + 0x1000, .physicalSize = code});
    const uint32_t data = next(16, 256) * kKiB;
    m.sections.push_back(Section{.virtualSize = data, .physicalSize = data, .flags = 0x80002000});
    m.sections.push_back(Section{.virtualSize = 4 * kKiB, .physicalSize = 4 * kKiB, .realInRom = true});
    r.modules.push_back(std::move(m));
  }
  for (int i = 0; i < 164; ++i) r.files.push_back(File{.storedSize = next(32, 550) * kKiB + next(0, 1023)});
  r.extensions = {Extension{.name = "cat_sig", .length = 8 * kKiB}};
  // A record starts at each section's and file's data.
  for (const Placed& item : Build(r).items)
    if (item.what.ends_with(" data")) r.splitAt.push_back(item.virtualAddress);
  return r;
}

void Quiet(DiagStream, const char*, void*) {}

bool CountPart(const BYTE*, DWORD cbData, void* pvContext) {
  *static_cast<uint64_t*>(pvContext) += cbData;
  return true;
}

// The walk alone, over an image opened once.
void BM_TraverseImage(benchmark::State& state) {
  if (!OpenImage(WidenUtf8(g_path).c_str())) {
    state.SkipWithError("open failed");
    return;
  }
  for (auto _ : state) {
    uint64_t bytes = 0;
    if (!TraverseImage(CountPart, &bytes) || bytes != g_partBytes) {
      state.SkipWithError("traversal failed");
      break;
    }
    benchmark::DoNotOptimize(bytes);
  }
  CloseImage();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_fileSize));
}

// What a caller pays in all: opening (the record table is read then) and the walk.
void BM_OpenAndTraverse(benchmark::State& state) {
  const WString path = WidenUtf8(g_path);
  for (auto _ : state) {
    uint64_t bytes = 0;
    if (!OpenImage(path.c_str()) || !TraverseImage(CountPart, &bytes) || bytes != g_partBytes) {
      state.SkipWithError("traversal failed");
      break;
    }
    CloseImage();
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_fileSize));
}

void BM_PlainRead(benchmark::State& state) {
  const WString path = WidenUtf8(g_path);
  for (auto _ : state) {
    // Like the walk, each pass opens the file and takes its buffer afresh;
    // 1 MiB reads keep the system-call count far below the walk's.
    const std::unique_ptr<BYTE[]> buffer(new BYTE[kChunk]);
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    uint64_t total = 0;
    DWORD got = 0;
    while (ReadFile(h, buffer.get(), kChunk, &got, nullptr) && got != 0) total += got;
    CloseHandle(h);
    if (total != g_fileSize) {
      state.SkipWithError("short read");
      break;
    }
    benchmark::DoNotOptimize(buffer.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_fileSize));
}

// The machine is shared: the best of several repetitions is the figure least
// disturbed by other work, and the three alternate so that a busy spell
// slows all of them alike.
void RegisterInterleaved() {
  for (int r = 0; r < 8; ++r) {
    benchmark::RegisterBenchmark("BM_PlainRead", BM_PlainRead)->Unit(benchmark::kMillisecond)->MinTime(0.3);
    benchmark::RegisterBenchmark("BM_TraverseImage", BM_TraverseImage)->Unit(benchmark::kMillisecond)->MinTime(0.3);
    benchmark::RegisterBenchmark("BM_OpenAndTraverse", BM_OpenAndTraverse)->Unit(benchmark::kMillisecond)->MinTime(0.3);
  }
}

// Keeps the best time per iteration of each benchmark for the closing ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string name = run.run_name.function_name;
      if (!real.contains(name) || run.GetAdjustedRealTime() < real[name]) real[name] = run.GetAdjustedRealTime();
      if (!cpu.contains(name) || run.GetAdjustedCPUTime() < cpu[name]) cpu[name] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> real, cpu;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RegisterInterleaved();
  const BuiltImage image = Build(BenchImage());
  for (const Part& part : image.parts) g_partBytes += part.length;
  g_path = (std::filesystem::temp_directory_path() / "tf_bench_image.bin").string();
  if (!SaveFile(g_path, image.bytes)) {
    std::fprintf(stderr, "cannot write %s\n", g_path.c_str());
    return 1;
  }
  g_fileSize = image.bytes.size();
  std::printf("image: %.1f MiB in %zu records, %zu parts, %.1f MiB handed out\n", g_fileSize / 1048576.0,
              image.records.size(), image.parts.size(), g_partBytes / 1048576.0);
  if (std::getenv("TF_BENCH_VERBOSE") == nullptr) DiagSetSink(Quiet, nullptr);

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::filesystem::remove(g_path);
  const std::string kPlain = "BM_PlainRead";
  if (!reporter.real.contains(kPlain)) return 1;
  // CPU time as well: on a busy machine the wall clock also counts waiting.
  for (const std::string name : {"BM_TraverseImage", "BM_OpenAndTraverse"}) {
    if (!reporter.real.contains(name)) return 1;
    std::printf("best of 8: %s %.2f ms (cpu %.2f), plain read %.2f ms (cpu %.2f): ratio %.3f (cpu %.3f), goal <= 1.2\n",
                name.c_str() + 3, reporter.real[name], reporter.cpu[name], reporter.real[kPlain], reporter.cpu[kPlain],
                reporter.real[name] / reporter.real[kPlain], reporter.cpu[name] / reporter.cpu[kPlain]);
  }
  return 0;
}
