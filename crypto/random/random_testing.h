// Test hooks of the random generator. Product code never includes this file.
//
// The generator reaches every entropy source and the registry seed through a
// table of calls. Tests put their own table in place to make a run
// deterministic or to watch what the generator asks for; RandomTestReset
// returns the process to the state of a fresh start.
#pragma once

#include "platform/win.h"

#define RANDOM_SEED_LEN 80
#define RANDOM_POOL_LEN 256

// Every call the gatherer makes. An entry that is null is a source that this
// platform lacks: it is not called and adds nothing. Sources report failure
// by returning FALSE or a length of 0; a failing source adds nothing.
struct RandomSources {
  // Registry value "Seed": ReadSeed succeeds only with exactly 80 bytes.
  BOOL (*pfnReadSeed)(BYTE rgbSeed[RANDOM_SEED_LEN]);
  void (*pfnWriteSeed)(const BYTE rgbSeed[RANDOM_SEED_LEN]);

  // Kernel source: given the pool bytes, fills at most cbOut bytes of pbOut
  // and stores how many in *pcbOut.
  BOOL (*pfnKernel)(const BYTE* pbIn, DWORD cbIn, BYTE* pbOut, DWORD cbOut, DWORD* pcbOut);

  // The collected items, in the order they are collected.
  DWORD (*pfnProcessId)();
  DWORD (*pfnThreadId)();
  DWORD (*pfnTickCount)();
  void (*pfnLocalTime)(BYTE rgb[16]);          // a SYSTEMTIME
  void (*pfnPerformanceCounter)(BYTE rgb[8]);  // a LARGE_INTEGER
  void (*pfnMemoryStatus)(BYTE rgb[32]);       // a MEMORYSTATUS
  BOOL (*pfnDiskFreeSpace)(BYTE rgb[16]);      // four DWORDs
  DWORD (*pfnComputerName)(BYTE rgb[16]);      // length without terminator
  DWORD (*pfnUserName)(BYTE rgb[257]);         // length without terminator

  // System-information query: fills at most cb bytes and stores how many
  // in *pcbReturned. Its presence raises the re-key limit to 16384.
  BOOL (*pfnSystemQuery)(DWORD dwClass, BYTE* pb, DWORD cb, DWORD* pcbReturned);

  // Used only where the system-information query is absent.
  BOOL (*pfnCursorPos)(BYTE rgb[8]);  // a POINT
  BOOL (*pfnMessageTime)(BYTE rgb[4]);
};

// Forgets everything the process has done with the generator: the next
// request is a first request again (pool set up afresh, seed block zero and
// read from the registry, platform probed, re-key at once). Sources put in
// place with RandomTestUseSources stay in place.
void RandomTestReset();

// Makes the generator use *pSources (copied) from the next first request on;
// null returns to the platform's own sources. Call RandomTestReset after it.
void RandomTestUseSources(const RandomSources* pSources);

// A table whose every source returns the same fixed bytes, with no kernel
// source, no system query and no registry: after RandomTestReset, the
// sequence of outputs is the same in every run and on every build.
const RandomSources* RandomTestFixedSources();
