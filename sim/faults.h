// Faults the simulated service can be told to show, so that callers can be
// tested against a service and players that misbehave the way real ones do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A byte count meaning "half of the file being copied".
constexpr uint64_t kSimHalfway = UINT64_MAX;

struct SimFaults {
  bool rejectAuth = false;        // the channel exchange refuses the caller
  bool noProtocols = false;       // SACGetProtocols offers no protocol
  bool playersNotReady = false;   // every player reports not ready
  bool storagesNotReady = false;  // every storage reports not ready
  // Insert3 fails once this many bytes have been written (a count at or past
  // the end fails just before the file would be completed).
  bool insertFails = false;
  uint64_t insertFailAfter = kSimHalfway;
  // The player is pulled out once this many bytes have been written: removal
  // is announced to the advised sinks and the copy fails.
  bool removeDuringTransfer = false;
  uint64_t removeAfter = kSimHalfway;
  uint32_t chunkBytes = 64 * 1024;  // bytes copied between two progress reports
  uint32_t chunkDelayMs = 0;        // pause after each chunk, to watch progress
};

// Parses the switch list of the TESSFOLD_SIM_FAULTS variable: words separated
// by commas or blanks, some with "=number" (decimal or 0x hex):
//   reject-auth  no-protocols  players-not-ready  storages-not-ready
//   insert-fail[=BYTES]  remove-during-transfer[=BYTES]  chunk=BYTES
//   chunk-delay-ms=N
// Starts from the defaults. On failure returns false with a one-line `error`.
bool SimParseFaults(std::string_view text, SimFaults* out, std::string* error);
