// The test-facing operations of sim/simservice.h as a table of plain
// functions. The COM server DLL exports it (TfSimControl), so that a test
// program can drive the very service instance that COM loaded from the
// registry: tf_simclient implements sim/simservice.h over this table.
// Only C types cross the boundary; texts come back through caller buffers.
// Internal to sim/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/simservice.h"

struct SimControlTable {
  uint32_t size;        // sizeof(SimControlTable) where the table was built
  uint32_t faultsSize;  // sizeof(SimFaults) there
  HRESULT (*createRoot)(REFIID riid, void** ppv);
  void (*reset)();
  // Text results: the full length is returned, the text (and a NUL) written
  // only when it fits `capacity`.
  bool (*configureFromEnvironment)(char* error, size_t capacity);
  void (*setPlayerFolder)(const WCHAR* folder);
  size_t (*getPlayerFolder)(WCHAR* buffer, size_t capacity);
  const WCHAR* (*canonicalName)(const char* id);
  size_t (*scanErrors)(char* buffer, size_t capacity);  // one error per line
  void (*fireMessage)(DWORD type, const char* id);
  void (*unplugPlayer)(const char* id);
  void (*plugPlayer)(const char* id);
  void (*watchPlayerFolder)();
  void (*setFaults)(const SimFaults* faults);
  void (*getFaults)(SimFaults* faults);
  long (*liveObjects)();
  long (*heldClientReferences)();
  size_t (*advisedSinks)();
  size_t (*lastInsert)(char* buffer, size_t capacity);  // SimEncodeInsertRecord; 0 when none
};

// The table over this module's service.
const SimControlTable* SimGetControlTable();

// A byte string that SimDecodeInsertRecord turns back into the same record.
std::string SimEncodeInsertRecord(const SimInsertRecord& record);
// False for anything that SimEncodeInsertRecord did not produce.
bool SimDecodeInsertRecord(std::string_view bytes, SimInsertRecord* record);
