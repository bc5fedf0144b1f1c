// A harness that fails on purpose: it crashes on any input starting with the
// marker "CRASH" and leaks a block on any input starting with "LEAK". The
// fuzz runner's own check (scripts/check-fuzz-runner) feeds it these inputs
// and expects the runner to report a finding; it is built outside the
// directory the runner scans, so ordinary runs never see it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
bool StartsWith(const std::uint8_t* data, std::size_t size, const char* marker) {
  const std::size_t n = std::strlen(marker);
  return size >= n && std::memcmp(data, marker, n) == 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (StartsWith(data, size, "CRASH")) __builtin_trap();
  if (StartsWith(data, size, "LEAK")) {
    // Kept out of the optimiser's reach so the block is really allocated.
    void* volatile block = std::malloc(64);
    static_cast<void>(block);
  }
  return 0;
}
