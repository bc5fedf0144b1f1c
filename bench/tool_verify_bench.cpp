// `tessfold-image verify` as a user runs it, one whole process per run,
// against `openssl sha1` of the same file, alternating in the same run:
//  - signed 64 MiB OS images whose parts are 2 MiB (the layout of
//    bench_accept) and 16 MiB: median wall-clock and CPU times of both and
//    their ratio (ours / OpenSSL's);
//  - a signed 400 MiB image whose parts are 100 MiB: the verifier's peak
//    resident memory as `/usr/bin/time -v` reports it.
// Both sides read the file from the page cache: each is run once before
// anything is timed.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/diag.h"
#include "tests/support/signed_image.h"

extern char** environ;

namespace {

constexpr uint32_t kMiB = 1024 * 1024;
const char16_t kMake[] = u"Corvane";
const char16_t kModel[] = u"ZR-410";

void Quiet(DiagStream, const char*, void*) {}

std::string Tool() {
  const char* tool = std::getenv("TF_IMAGE_TOOL");
  return tool != nullptr ? tool : TF_DEFAULT_IMAGE_TOOL;
}

// An OS image of `total` bytes of section and file data in parts of `part`
// bytes, half of them sections of one module and half files, signed through
// the product chain for the player above.
bool MakeSignedImage(const std::string& path, uint32_t total, uint32_t part) {
  imagebuilder::RomImage image;
  imagebuilder::Module kernel;
  kernel.name = "nk.exe";
  const uint32_t parts = total / part;
  for (uint32_t i = 0; i < parts / 2; ++i) kernel.sections.push_back({.virtualSize = part, .physicalSize = part});
  image.modules.push_back(kernel);
  for (uint32_t i = parts / 2; i < parts; ++i) image.files.push_back({.storedSize = part});
  image.extensions = {{.name = "cat_sig", .length = 8192}};
  std::string error;
  return signedimage::WriteSignedImage(image, signedimage::DevSigner("product"), {.make = kMake, .model = kModel}, path,
                                       &error);
}

struct ChildRun {
  int status = -1;    // exit status, -1 when it did not exit
  double wallMs = 0;  // from spawn to reaped
  double cpuMs = 0;   // the child's user and system time
};

// Runs `argv` with its standard output and error sent to `output` (or
// /dev/null when empty) and waits for it.
ChildRun Run(const std::vector<std::string>& argv, const std::string& output = "") {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const char* sink = output.empty() ? "/dev/null" : output.c_str();
  posix_spawn_file_actions_addopen(&actions, 1, sink, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  ChildRun r;
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) r.status = WEXITSTATUS(status);
    r.cpuMs =
        (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
  }
  r.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  posix_spawn_file_actions_destroy(&actions);
  return r;
}

std::vector<std::string> VerifyCommand(const std::string& path) {
  return {Tool(), "verify", path, "--make", "Corvane", "--model", "ZR-410"};
}
std::vector<std::string> Sha1Command(const std::string& path) { return {"openssl", "sha1", path}; }

void BM_Process(benchmark::State& state, std::vector<std::string> argv) {
  for (auto _ : state) {
    if (Run(argv).status != 0) {
      state.SkipWithError("the command failed");
      break;
    }
  }
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 != 0 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The machine is shared: the ratios come from alternating runs of both
// commands, each side's median taken, by wall-clock and by CPU time.
void PrintRatio(const char* what, const std::string& path, const char* goal) {
  constexpr int kRounds = 15;
  std::vector<double> ours, theirs, oursCpu, theirsCpu;
  for (int i = 0; i < kRounds; ++i) {
    const ChildRun a = Run(VerifyCommand(path));
    const ChildRun b = Run(Sha1Command(path));
    ours.push_back(a.wallMs);
    oursCpu.push_back(a.cpuMs);
    theirs.push_back(b.wallMs);
    theirsCpu.push_back(b.cpuMs);
  }
  std::printf(
      "%s, median of %d alternating runs: tessfold-image verify %.1f ms (CPU %.1f ms), openssl sha1 %.1f ms (CPU "
      "%.1f ms), ratio %.3f (CPU %.3f)%s\n",
      what, kRounds, Median(ours), Median(oursCpu), Median(theirs), Median(theirsCpu), Median(ours) / Median(theirs),
      Median(oursCpu) / Median(theirsCpu), goal);
}

// The "Maximum resident set size (kbytes)" line of `/usr/bin/time -v`.
long PeakKiB(const std::vector<std::string>& argv, const std::string& report) {
  std::vector<std::string> timed = {"/usr/bin/time", "-v"};
  timed.insert(timed.end(), argv.begin(), argv.end());
  if (Run(timed, report).status != 0) return -1;
  std::ifstream in(report);
  const std::string key = "Maximum resident set size (kbytes):";
  for (std::string line; std::getline(in, line);) {
    const size_t at = line.find(key);
    if (at != std::string::npos) return std::atol(line.c_str() + at + key.size());
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  DiagSetSink(Quiet, nullptr);
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp != nullptr ? tmp : "/tmp") + "/tf_bench_tool_XXXXXX";
  if (mkdtemp(dir.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string small = dir + "/os-2m-parts.bin", medium = dir + "/os-16m-parts.bin",
                    large = dir + "/os-100m-parts.bin";
  bool ok = MakeSignedImage(small, 64 * kMiB, 2 * kMiB) && MakeSignedImage(medium, 64 * kMiB, 16 * kMiB) &&
            MakeSignedImage(large, 400 * kMiB, 100 * kMiB);
  for (const std::string& path : {small, medium, large}) {
    ok = ok && Run(VerifyCommand(path)).status == 0 && Run(Sha1Command(path)).status == 0;
  }
  if (!ok) {
    std::fprintf(stderr, "setup failed: an image was not made or not accepted by %s\n", Tool().c_str());
  } else {
    // The time is the child's: this process only waits for it.
    const struct {
      const char* name;
      std::vector<std::string> command;
    } rows[] = {
        {"BM_ToolVerify/64MiB_2MiB_parts", VerifyCommand(small)},
        {"BM_OpenSslSha1/64MiB_2MiB_parts", Sha1Command(small)},
        {"BM_ToolVerify/64MiB_16MiB_parts", VerifyCommand(medium)},
        {"BM_OpenSslSha1/64MiB_16MiB_parts", Sha1Command(medium)},
    };
    for (const auto& row : rows) {
      benchmark::RegisterBenchmark(row.name, BM_Process, row.command)
          ->UseRealTime()
          ->Unit(benchmark::kMillisecond)
          ->MinTime(0.5);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintRatio("64 MiB signed OS image, 2 MiB parts", small, "");
    PrintRatio("64 MiB signed OS image, 16 MiB parts", medium, ", goal <= 1.15");
    const long ours = PeakKiB(VerifyCommand(large), dir + "/time-verify.txt");
    const long theirs = PeakKiB(Sha1Command(large), dir + "/time-sha1.txt");
    std::printf(
        "400 MiB signed OS image, 100 MiB parts, peak resident memory (/usr/bin/time -v): tessfold-image verify "
        "%.1f MiB (goal <= 48 MiB), openssl sha1 %.1f MiB\n",
        ours / 1024.0, theirs / 1024.0);
  }
  for (const char* name :
       {"os-2m-parts.bin", "os-16m-parts.bin", "os-100m-parts.bin", "time-verify.txt", "time-sha1.txt"}) {
    std::remove((dir + "/" + name).c_str());
  }
  rmdir(dir.c_str());
  return ok ? 0 : 1;
}
