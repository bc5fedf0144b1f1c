// Shared by the random generator suites: patterned fixtures and a table of
// sources that answers with recognisable bytes and counts what is asked.
#pragma once

#include <string>
#include <vector>

#include "crypto/random/random_testing.h"
#include "platform/win.h"

// The n bytes (m * i + c) mod 256, i = 0..n-1.
std::vector<BYTE> Pattern(size_t n, unsigned m, unsigned c);

std::string Hex(const BYTE* pb, size_t cb);
inline std::string Hex(const std::vector<BYTE>& v) { return Hex(v.data(), v.size()); }

// The first cb keystream bytes of RC4 keyed with key.
std::vector<BYTE> Keystream(const std::vector<BYTE>& key, size_t cb);

// What the fake sources did since Reset, and how they should answer.
struct FakeWorld {
  // Answers.
  bool fKernel = false;  // a kernel source exists
  bool fKernelFails = false;
  std::vector<std::vector<BYTE>> kernelReplies;  // one per call, in turn (then the last again)
  bool fSystemQuery = false;                     // the system-information query exists
  DWORD dwFailingClass = 0xFFFFFFFF;             // this class fails
  bool fQueryFillsAll = false;                   // every query returns all it was offered
  DWORD dwQueryReturns = 0;                      // when not 0: every query returns this many bytes
  bool fCursor = false;                          // cursor position and message time exist
  bool fSeedPresent = false;
  std::vector<BYTE> storedSeed;  // what ReadSeed answers when present
  std::string computerName = "HOST";
  std::string userName = "someone";

  // Observations.
  int seedReads = 0;
  std::vector<std::vector<BYTE>> seedWrites;
  int kernelCalls = 0;
  std::vector<std::vector<BYTE>> kernelInputs;
  std::vector<std::pair<DWORD, DWORD>> queries;  // class, bytes offered
  int computerNameCalls = 0;
};

// The one world the fake table reports to; Reset clears it.
FakeWorld& World();
void ResetWorld();

// The fake table: the collected items answer with fixed bytes (process id
// 0x11111111, thread 0x22222222, tick 0x33333333, time 16 x 0x44,
// counter 8 x 0x55, memory 32 x 0x66, disk 16 x 0x77), the names and the
// optional sources as World() says.
const RandomSources* FakeSources();

// Puts the fake table, as World() is set up now, in place and starts the
// generator afresh.
void UseFakeSources();
