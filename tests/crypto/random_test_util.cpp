#include "tests/crypto/random_test_util.h"

#include <cstring>

#include "crypto/random/random_state.h"
#include "crypto/rc4.h"
#include "platform/text.h"

std::vector<BYTE> Pattern(size_t n, unsigned m, unsigned c) {
  std::vector<BYTE> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<BYTE>((m * i + c) & 0xFF);
  return v;
}

std::string Hex(const BYTE* pb, size_t cb) { return LowerHex(pb, cb); }

std::vector<BYTE> Keystream(const std::vector<BYTE>& key, size_t cb) {
  Rc4State rc4;
  Rc4KeySetup(&rc4, key.data(), static_cast<DWORD>(key.size()));
  std::vector<BYTE> out(cb);
  Rc4Apply(&rc4, out.data(), static_cast<DWORD>(cb));
  return out;
}

namespace {

FakeWorld g_world;

BOOL ReadSeed(BYTE rgb[RANDOM_SEED_LEN]) {
  ++g_world.seedReads;
  if (!g_world.fSeedPresent) return FALSE;
  std::memcpy(rgb, g_world.storedSeed.data(), RANDOM_SEED_LEN);
  return TRUE;
}

void WriteSeed(const BYTE rgb[RANDOM_SEED_LEN]) { g_world.seedWrites.emplace_back(rgb, rgb + RANDOM_SEED_LEN); }

BOOL Kernel(const BYTE* pbIn, DWORD cbIn, BYTE* pbOut, DWORD cbOut, DWORD* pcbOut) {
  const size_t call = static_cast<size_t>(g_world.kernelCalls++);
  g_world.kernelInputs.emplace_back(pbIn, pbIn + cbIn);
  *pcbOut = 0;
  if (g_world.fKernelFails || g_world.kernelReplies.empty()) return FALSE;
  const std::vector<BYTE>& reply = g_world.kernelReplies[std::min(call, g_world.kernelReplies.size() - 1)];
  const DWORD cb = std::min<DWORD>(cbOut, static_cast<DWORD>(reply.size()));
  if (cb != 0) std::memcpy(pbOut, reply.data(), cb);
  *pcbOut = cb;
  return TRUE;
}

DWORD ProcessId() { return 0x11111111; }
DWORD ThreadId() { return 0x22222222; }
DWORD TickCount() { return 0x33333333; }
void LocalTime(BYTE rgb[16]) { std::memset(rgb, 0x44, 16); }
void Counter(BYTE rgb[8]) { std::memset(rgb, 0x55, 8); }
void Memory(BYTE rgb[32]) { std::memset(rgb, 0x66, 32); }
BOOL Disk(BYTE rgb[16]) {
  std::memset(rgb, 0x77, 16);
  return TRUE;
}
DWORD ComputerName(BYTE rgb[16]) {
  ++g_world.computerNameCalls;
  std::memcpy(rgb, g_world.computerName.data(), g_world.computerName.size());
  return static_cast<DWORD>(g_world.computerName.size());
}
DWORD UserName(BYTE rgb[257]) {
  std::memcpy(rgb, g_world.userName.data(), g_world.userName.size());
  return static_cast<DWORD>(g_world.userName.size());
}

// Answers class k with bytes 0xA0 + k, half of what was offered unless told
// to fill it all or to return a given length.
BOOL SystemQuery(DWORD dwClass, BYTE* pb, DWORD cb, DWORD* pcbReturned) {
  g_world.queries.emplace_back(dwClass, cb);
  *pcbReturned = 0;
  std::memset(pb, 0xEE, cb);  // scribbles over all it was given, as a query may
  if (dwClass == g_world.dwFailingClass) return FALSE;
  *pcbReturned = g_world.fQueryFillsAll ? cb : g_world.dwQueryReturns != 0 ? g_world.dwQueryReturns : cb / 2;
  std::memset(pb, static_cast<int>(0xA0 + dwClass), *pcbReturned);
  return TRUE;
}

BOOL CursorPos(BYTE rgb[8]) {
  std::memset(rgb, 0xC8, 8);
  return TRUE;
}
BOOL MessageTime(BYTE rgb[4]) {
  std::memset(rgb, 0xC4, 4);
  return TRUE;
}

}  // namespace

FakeWorld& World() { return g_world; }
void ResetWorld() { g_world = FakeWorld{}; }

const RandomSources* FakeSources() {
  static RandomSources table;
  table = RandomSources{ReadSeed, WriteSeed, nullptr,      ProcessId, ThreadId, TickCount, LocalTime, Counter,
                        Memory,   Disk,      ComputerName, UserName,  nullptr,  nullptr,   nullptr};
  if (g_world.fKernel) table.pfnKernel = Kernel;
  if (g_world.fSystemQuery) table.pfnSystemQuery = SystemQuery;
  if (g_world.fCursor) {
    table.pfnCursorPos = CursorPos;
    table.pfnMessageTime = MessageTime;
  }
  return &table;
}

void UseFakeSources() {
  RandomTestUseSources(FakeSources());
  RandomTestReset();
}
