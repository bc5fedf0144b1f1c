// sim/simservice.h for test programs that reach the service through the COM
// server DLL registered in the registry, as the product does, rather than
// through a copy linked into the program. Every operation goes to the DLL's
// exported control table, so that the program drives the very service whose
// objects CoCreateInstance hands out. The DLL is loaded from its registered
// path and stays loaded until the process ends.
#include <mutex>
#include <vector>

#include "platform/diag.h"
#include "sim/control.h"
#include "sim/paths.h"
#include "sim/playerfolder.h"

namespace fs = std::filesystem;

namespace {

constexpr WCHAR kServerKey[] = L"CLSID\\{25BAAD81-3560-11D3-8471-00C04F79DBC0}\\InprocServer32";

std::mutex g_lock;
const SimControlTable* g_table = nullptr;

HRESULT Load() {
  std::lock_guard<std::mutex> g(g_lock);
  if (g_table != nullptr) return S_OK;
  WCHAR path[MAX_PATH * 2];
  DWORD bytes = sizeof(path);
  if (RegGetValueW(HKEY_CLASSES_ROOT, kServerKey, nullptr, RRF_RT_REG_SZ, nullptr, path, &bytes) != ERROR_SUCCESS) {
    return REGDB_E_CLASSNOTREG;
  }
  const HMODULE dll = LoadLibraryW(path);
  if (dll == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  using GetTable = const SimControlTable*(WINAPI*)();
  const auto get = reinterpret_cast<GetTable>(reinterpret_cast<void*>(GetProcAddress(dll, "TfSimControl")));
  const SimControlTable* table = get != nullptr ? get() : nullptr;
  if (table == nullptr || table->size != sizeof(SimControlTable) || table->faultsSize != sizeof(SimFaults)) {
    FreeLibrary(dll);
    return CO_E_DLLNOTFOUND;  // another server, or a build of another shape
  }
  g_table = table;
  return S_OK;
}

// The test-facing calls have no way to report a missing server, and a test
// cannot go on without it.
const SimControlTable& Table() {
  const HRESULT hr = Load();
  if (FAILED(hr)) {
    DiagPrintf(DiagStream::Err,
               "sim client: the simulated service's DLL is not registered (0x%08lX); run "
               "scripts/wine-register-sim\n",
               static_cast<unsigned long>(hr));
  }
  TF_ASSERT(g_table != nullptr);
  return *g_table;
}

// Calls `get` with a growing buffer until the whole text fits.
template <typename Char, typename Get>
std::basic_string<Char> Fetch(Get get) {
  std::vector<Char> buffer(256);
  for (;;) {
    const size_t n = get(buffer.data(), buffer.size());
    if (n < buffer.size()) return std::basic_string<Char>(buffer.data(), n);
    buffer.resize(n + 1);
  }
}

}  // namespace

HRESULT SimRegisterService() { return Load(); }

// COM may still hold objects of the DLL, so it stays loaded.
void SimUnregisterService() {}

HRESULT SimCreateRoot(REFIID riid, void** ppv) { return Table().createRoot(riid, ppv); }

void SimReset() { Table().reset(); }

bool SimConfigureFromEnvironment(std::string* error) {
  std::vector<char> buffer(1024);
  const bool ok = Table().configureFromEnvironment(buffer.data(), buffer.size());
  if (!ok && error != nullptr) *error = buffer.data();
  return ok;
}

void SimSetPlayerFolder(const fs::path& folder) { Table().setPlayerFolder(folder.wstring().c_str()); }

fs::path SimGetPlayerFolder() {
  const SimControlTable& t = Table();
  return fs::path(Fetch<WCHAR>([&](WCHAR* b, size_t n) { return t.getPlayerFolder(b, n); }));
}

bool SimAddPlayer(const std::string& id, const SimPlayerDescription& description, std::string* error) {
  const fs::path folder = SimGetPlayerFolder();
  if (folder.empty()) {
    if (error) *error = "no player folder set";
    return false;
  }
  return SimWritePlayer(folder, id, description, error);
}

fs::path SimStorageFolder(const std::string& id, const std::string& storage) {
  return SimGetPlayerFolder() / SimPathFromUtf8(id) / SimPathFromUtf8(storage);
}

const WCHAR* SimCanonicalName(const std::string& id) { return Table().canonicalName(id.c_str()); }

std::vector<std::string> SimScanErrors() {
  const SimControlTable& t = Table();
  const std::string all = Fetch<char>([&](char* b, size_t n) { return t.scanErrors(b, n); });
  std::vector<std::string> errors;
  size_t start = 0;
  for (size_t end; (end = all.find('\n', start)) != std::string::npos; start = end + 1) {
    errors.push_back(all.substr(start, end - start));
  }
  return errors;
}

void SimFireMessage(DWORD type, const std::string& id) { Table().fireMessage(type, id.c_str()); }
void SimFireDeviceArrival(const std::string& id) { SimFireMessage(WMDM_MSG_DEVICE_ARRIVAL, id); }
void SimFireDeviceRemoval(const std::string& id) { SimFireMessage(WMDM_MSG_DEVICE_REMOVAL, id); }
void SimUnplugPlayer(const std::string& id) { Table().unplugPlayer(id.c_str()); }
void SimPlugPlayer(const std::string& id) { Table().plugPlayer(id.c_str()); }
void SimWatchPlayerFolder() { Table().watchPlayerFolder(); }

void SimSetFaults(const SimFaults& faults) { Table().setFaults(&faults); }

SimFaults SimGetFaults() {
  SimFaults faults;
  Table().getFaults(&faults);
  return faults;
}

long SimLiveObjects() { return Table().liveObjects(); }
long SimHeldClientReferences() { return Table().heldClientReferences(); }
size_t SimAdvisedSinks() { return Table().advisedSinks(); }

bool SimLastInsert(SimInsertRecord* out) {
  const SimControlTable& t = Table();
  std::string bytes(256, '\0');
  for (;;) {
    const size_t n = t.lastInsert(bytes.data(), bytes.size());
    if (n == 0) return false;
    if (n <= bytes.size()) {
      bytes.resize(n);
      break;
    }
    bytes.resize(n);
  }
  const bool ok = SimDecodeInsertRecord(bytes, out);
  TF_ASSERT(ok);
  return ok;
}
