// The simulated WMDM service as tests and the demo drive it.
//
// The service answers CoCreateInstance of CLSID_MediaDevMgr once
// SimRegisterService has run (or, in the Windows DLL, once the DLL is
// registered). Its players live in a folder (see sim/README.md): one sub-folder
// per player with a "player.ini" description and one folder per storage.
//
// Two libraries implement this header: tf_sim holds the service itself; on
// Windows tf_simclient forwards every call to the COM server DLL named in the
// registry, so that a suite linked with it drives the very instance that
// CoCreateInstance loads (SimRegisterService then loads that DLL, or gives
// REGDB_E_CLASSNOTREG, and SimUnregisterService does nothing).
//
// Everything here is process-wide and may be called from any thread; apart
// from the AddRef that keeps a sink alive across a notification, the service
// never holds its lock while it calls back into its callers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/wmdm.h"
#include "sim/faults.h"
#include "sim/playerdesc.h"

// --- Service ---------------------------------------------------------------------

// Makes CoCreateInstance(CLSID_MediaDevMgr) reach this service: through the
// COM stand-in's class table elsewhere, through CoRegisterClassObject on
// Windows (COM must be initialised on the calling thread there).
HRESULT SimRegisterService();
void SimUnregisterService();

// Creates a root object directly, as the class factory does.
HRESULT SimCreateRoot(REFIID riid, void** ppv);

// Back to the start: no player folder, default faults, every player plugged
// in, no recorded transfer. Objects still alive keep working on the new
// settings; advised sinks stay advised.
void SimReset();

// Reads TESSFOLD_SIM_PLAYERS (the player folder) and TESSFOLD_SIM_FAULTS (the
// fault switches, see SimParseFaults). An unset variable leaves its setting
// alone. On a malformed switch list returns false with `error` set and
// changes nothing.
bool SimConfigureFromEnvironment(std::string* error);

// --- Players -------------------------------------------------------------------

void SimSetPlayerFolder(const std::filesystem::path& folder);
std::filesystem::path SimGetPlayerFolder();

// Writes the player `id` (its folder, description and storage folders) into
// the player folder. It shows up at the next enumeration; no notification.
bool SimAddPlayer(const std::string& id, const SimPlayerDescription& description, std::string* error = nullptr);

// The folder of one storage of player `id`, where inserted files land.
std::filesystem::path SimStorageFolder(const std::string& id, const std::string& storage);

// The canonical name that notifications and GetCanonicalName give for player
// `id`. The returned text stays valid until the process ends.
const WCHAR* SimCanonicalName(const std::string& id);

// Errors of the last scan of the player folder (broken descriptions).
std::vector<std::string> SimScanErrors();

// --- Devices coming and going ---------------------------------------------------

// Delivers IWMDMNotification::WMDMMessage(type, canonical name of `id`) to
// every advised sink, on the calling thread, before returning.
void SimFireMessage(DWORD type, const std::string& id);
void SimFireDeviceArrival(const std::string& id);  // WMDM_MSG_DEVICE_ARRIVAL
void SimFireDeviceRemoval(const std::string& id);  // WMDM_MSG_DEVICE_REMOVAL

// Pulls a player out (it disappears from enumerations, its objects report
// WMDM_E_INTERFACEDEAD) or plugs it back in, and fires the notification.
void SimUnplugPlayer(const std::string& id);
void SimPlugPlayer(const std::string& id);

// Announces the players that appeared in or vanished from the player folder
// since the last call as arrivals and removals (in id order, removals first).
// The first call after SimReset, or after the folder changed, only takes
// note. A pulled-out player whose folder vanishes is not announced again, and
// counts as plugged in when its folder comes back. The COM server DLL calls this on a timer of the thread that created
// the service when the "watch-ms" switch is set, so that a program under test
// sees players plugged in and out by creating and deleting their folders.
void SimWatchPlayerFolder();

// --- Faults ----------------------------------------------------------------------

void SimSetFaults(const SimFaults& faults);
SimFaults SimGetFaults();

// --- Observations -----------------------------------------------------------------

// Live objects of the service (roots, enumerators, devices, storages, ...).
long SimLiveObjects();
// References the service holds on its callers' objects right now.
long SimHeldClientReferences();
// Sinks currently advised through any connection point.
size_t SimAdvisedSinks();

struct SimMetadataItem {
  WString name;
  WMDM_TAG_DATATYPE type;
  std::vector<BYTE> value;
};

// What the last Insert3 (or Insert, Insert2) was asked and how it ended.
struct SimInsertRecord {
  std::string player;   // id
  std::string storage;  // storage folder
  UINT mode = 0;
  UINT type = 0;
  WString source;
  WString destination;  // the name the file got (or would have got)
  bool hadOperation = false;
  bool hadProgress = false;
  bool hadMetadata = false;  // a metadata object was passed, even an empty one
  std::vector<SimMetadataItem> metadata;
  // Calls made on the progress object, in order: "Begin(n)", "Progress(n)", "End()".
  std::vector<std::string> progressCalls;
  HRESULT result = E_FAIL;
};

// False when no insert has been made since the last SimReset.
bool SimLastInsert(SimInsertRecord* out);
