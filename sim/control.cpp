#include "sim/control.h"

#include <cstring>
#include <type_traits>

#include "sim/paths.h"

namespace {

static_assert(std::is_trivially_copyable_v<SimFaults>, "SimFaults crosses module boundaries by copy");

template <typename Char>
size_t CopyOut(std::basic_string_view<Char> text, Char* buffer, size_t capacity) {
  if (buffer != nullptr && text.size() < capacity) {
    std::memcpy(buffer, text.data(), text.size() * sizeof(Char));
    buffer[text.size()] = 0;
  }
  return text.size();
}

bool ConfigureFromEnvironment(char* error, size_t capacity) {
  std::string why;
  const bool ok = SimConfigureFromEnvironment(&why);
  if (!ok) CopyOut<char>(why, error, capacity);
  return ok;
}

size_t GetPlayerFolder(WCHAR* buffer, size_t capacity) {
  const WString folder = SimWideFromPath(SimGetPlayerFolder());
  return CopyOut<WCHAR>(folder, buffer, capacity);
}

size_t ScanErrors(char* buffer, size_t capacity) {
  std::string all;
  for (const std::string& e : SimScanErrors()) all += e + "\n";
  return CopyOut<char>(all, buffer, capacity);
}

size_t LastInsert(char* buffer, size_t capacity) {
  SimInsertRecord record;
  if (!SimLastInsert(&record)) return 0;
  const std::string bytes = SimEncodeInsertRecord(record);
  if (buffer != nullptr && bytes.size() <= capacity) std::memcpy(buffer, bytes.data(), bytes.size());
  return bytes.size();
}

const SimControlTable kTable = {
    sizeof(SimControlTable),
    sizeof(SimFaults),
    [](REFIID riid, void** ppv) { return SimCreateRoot(riid, ppv); },
    [] { SimReset(); },
    ConfigureFromEnvironment,
    [](const WCHAR* folder) { SimSetPlayerFolder(SimPathFromWide(folder)); },
    GetPlayerFolder,
    [](const char* id) { return SimCanonicalName(id); },
    ScanErrors,
    [](DWORD type, const char* id) { SimFireMessage(type, id); },
    [](const char* id) { SimUnplugPlayer(id); },
    [](const char* id) { SimPlugPlayer(id); },
    [] { SimWatchPlayerFolder(); },
    [](const SimFaults* faults) { SimSetFaults(*faults); },
    [](SimFaults* faults) { *faults = SimGetFaults(); },
    [] { return SimLiveObjects(); },
    [] { return SimHeldClientReferences(); },
    [] { return SimAdvisedSinks(); },
    LastInsert,
};

}  // namespace

const SimControlTable* SimGetControlTable() { return &kTable; }
