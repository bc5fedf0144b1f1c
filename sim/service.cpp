#include "sim/service.h"

#include <map>
#include <mutex>
#include <set>

#include "platform/diag.h"
#include "sim/comobject.h"
#include "sim/paths.h"

namespace fs = std::filesystem;

namespace {

struct Sink {
  DWORD cookie;
  const void* owner;
  IWMDMNotification* sink;
};

struct State {
  std::mutex lock;
  fs::path folder;
  SimFaults faults;
  std::set<std::string> unplugged;
  std::vector<std::string> scanErrors;
  std::vector<Sink> sinks;
  DWORD nextCookie = 1;
  // Canonical names are handed to callers who may keep them past the call
  // (a posted window message), so they are never freed.
  std::map<std::string, std::unique_ptr<WString>> names;
  bool haveInsert = false;
  SimInsertRecord lastInsert;
  // What SimWatchPlayerFolder saw last, and in which folder.
  bool watching = false;
  fs::path watchedFolder;
  std::set<std::string> watched;
};

State& S() {
  static State* state = new State;  // never destroyed: objects may outlive static destruction
  return *state;
}

}  // namespace

SimFaults SimCurrentFaults() {
  std::lock_guard<std::mutex> g(S().lock);
  return S().faults;
}

std::vector<SimPlayerRef> SimPresentPlayers() {
  fs::path folder;
  std::set<std::string> unplugged;
  {
    std::lock_guard<std::mutex> g(S().lock);
    folder = S().folder;
    unplugged = S().unplugged;
  }
  std::vector<SimPlayerRef> present;
  std::vector<std::string> errors;
  if (!folder.empty()) {
    for (SimPlayer& p : SimScanPlayers(folder, &errors)) {
      if (!unplugged.count(p.id)) present.push_back(std::make_shared<const SimPlayer>(std::move(p)));
    }
  }
  for (const std::string& e : errors) DiagPrintf(DiagStream::Err, "sim: %s\n", e.c_str());
  std::lock_guard<std::mutex> g(S().lock);
  S().scanErrors = std::move(errors);
  return present;
}

bool SimPlayerPresent(const std::string& id) {
  fs::path folder;
  {
    std::lock_guard<std::mutex> g(S().lock);
    if (S().unplugged.count(id) || S().folder.empty()) return false;
    folder = S().folder;
  }
  std::error_code ec;
  return fs::exists(folder / SimPathFromUtf8(id) / kSimDescriptionFile, ec);
}

DWORD SimAdviseSink(const void* owner, IWMDMNotification* sink) {
  SimHold(sink);
  std::lock_guard<std::mutex> g(S().lock);
  const DWORD cookie = S().nextCookie++;
  if (S().nextCookie == 0) S().nextCookie = 1;  // 0 is never a valid cookie
  S().sinks.push_back({cookie, owner, sink});
  return cookie;
}

HRESULT SimUnadviseSink(const void* owner, DWORD cookie) {
  IWMDMNotification* sink = nullptr;
  {
    std::lock_guard<std::mutex> g(S().lock);
    for (auto it = S().sinks.begin(); it != S().sinks.end(); ++it) {
      if (it->cookie == cookie && it->owner == owner) {
        sink = it->sink;
        S().sinks.erase(it);
        break;
      }
    }
  }
  if (sink == nullptr) return kSimNoConnection;
  SimDrop(sink);  // outside the lock: the sink may call back in
  return S_OK;
}

void SimUnadviseAll(const void* owner) {
  std::vector<IWMDMNotification*> dropped;
  {
    std::lock_guard<std::mutex> g(S().lock);
    auto& sinks = S().sinks;
    for (auto it = sinks.begin(); it != sinks.end();) {
      if (it->owner == owner) {
        dropped.push_back(it->sink);
        it = sinks.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (IWMDMNotification* s : dropped) SimDrop(s);
}

void SimRecordInsert(const SimInsertRecord& record) {
  std::lock_guard<std::mutex> g(S().lock);
  S().lastInsert = record;
  S().haveInsert = true;
}

// --- Test-facing API ---------------------------------------------------------------

void SimReset() {
  std::lock_guard<std::mutex> g(S().lock);
  S().folder.clear();
  S().faults = SimFaults{};
  S().unplugged.clear();
  S().scanErrors.clear();
  S().haveInsert = false;
  S().lastInsert = SimInsertRecord{};
  S().watching = false;
  S().watched.clear();
}

bool SimConfigureFromEnvironment(std::string* error) {
  std::string folder;
  std::string faults;
  const bool haveFolder = SimGetEnvironment("TESSFOLD_SIM_PLAYERS", &folder);
  const bool haveFaults = SimGetEnvironment("TESSFOLD_SIM_FAULTS", &faults);
  SimFaults parsed;
  if (haveFaults && !SimParseFaults(faults, &parsed, error)) return false;
  fs::path folderPath = haveFolder ? SimPathFromUserText(folder) : fs::path();
  // Kept absolute: the program's file dialog moves the working folder.
  if (haveFolder && !folderPath.empty()) {
    std::error_code ec;
    fs::path absolute = fs::absolute(folderPath, ec);
    if (!ec) folderPath = std::move(absolute);
  }
  std::lock_guard<std::mutex> g(S().lock);
  if (haveFolder) S().folder = folderPath;
  if (haveFaults) S().faults = parsed;
  return true;
}

void SimSetPlayerFolder(const fs::path& folder) {
  std::error_code ec;
  const fs::path absolute = folder.empty() ? folder : fs::absolute(folder, ec);
  std::lock_guard<std::mutex> g(S().lock);
  S().folder = ec ? folder : absolute;
}

fs::path SimGetPlayerFolder() {
  std::lock_guard<std::mutex> g(S().lock);
  return S().folder;
}

const WCHAR* SimCanonicalName(const std::string& id) {
  std::lock_guard<std::mutex> g(S().lock);
  std::unique_ptr<WString>& name = S().names[id];
  if (!name) name = std::make_unique<WString>(WidenUtf8("\\\\?\\tfsim#" + id));
  return name->c_str();
}

std::vector<std::string> SimScanErrors() {
  std::lock_guard<std::mutex> g(S().lock);
  return S().scanErrors;
}

void SimFireMessage(DWORD type, const std::string& id) {
  const WCHAR* name = SimCanonicalName(id);
  std::vector<IWMDMNotification*> targets;
  {
    std::lock_guard<std::mutex> g(S().lock);
    for (const Sink& s : S().sinks) targets.push_back(s.sink);
    // Held across the calls: a sink may be unadvised from inside its own call.
    for (IWMDMNotification* t : targets) SimHold(t);
  }
  for (IWMDMNotification* t : targets) t->WMDMMessage(type, name);
  for (IWMDMNotification* t : targets) SimDrop(t);
}

void SimFireDeviceArrival(const std::string& id) { SimFireMessage(WMDM_MSG_DEVICE_ARRIVAL, id); }

void SimFireDeviceRemoval(const std::string& id) { SimFireMessage(WMDM_MSG_DEVICE_REMOVAL, id); }

void SimUnplugPlayer(const std::string& id) {
  {
    std::lock_guard<std::mutex> g(S().lock);
    S().unplugged.insert(id);
  }
  SimFireDeviceRemoval(id);
}

void SimPlugPlayer(const std::string& id) {
  {
    std::lock_guard<std::mutex> g(S().lock);
    S().unplugged.erase(id);
  }
  SimFireDeviceArrival(id);
}

void SimWatchPlayerFolder() {
  const fs::path folder = SimGetPlayerFolder();
  std::set<std::string> now;
  if (!folder.empty()) {
    for (const SimPlayer& p : SimScanPlayers(folder, nullptr)) now.insert(p.id);
  }
  std::vector<std::string> gone;
  std::vector<std::string> came;
  {
    std::lock_guard<std::mutex> g(S().lock);
    if (S().watching && S().watchedFolder == folder) {
      for (const std::string& id : S().watched) {
        if (now.count(id)) continue;
        // A player pulled out before has been announced already; with its
        // folder gone it can come back later as a new one.
        if (S().unplugged.erase(id) == 0) gone.push_back(id);
      }
      for (const std::string& id : now) {
        if (!S().watched.count(id)) came.push_back(id);
      }
    }
    S().watching = true;
    S().watchedFolder = folder;
    S().watched = std::move(now);
  }
  for (const std::string& id : gone) SimFireDeviceRemoval(id);
  for (const std::string& id : came) SimFireDeviceArrival(id);
}

void SimSetFaults(const SimFaults& faults) {
  std::lock_guard<std::mutex> g(S().lock);
  S().faults = faults;
}

SimFaults SimGetFaults() { return SimCurrentFaults(); }

long SimLiveObjects() { return SimObjectsAlive(); }

long SimHeldClientReferences() { return SimHeldReferences(); }

size_t SimAdvisedSinks() {
  std::lock_guard<std::mutex> g(S().lock);
  return S().sinks.size();
}

bool SimLastInsert(SimInsertRecord* out) {
  std::lock_guard<std::mutex> g(S().lock);
  if (!S().haveInsert) return false;
  *out = S().lastInsert;
  return true;
}
