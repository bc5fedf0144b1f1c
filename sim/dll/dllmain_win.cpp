// The simulated service as an in-process COM server, for programs that find
// it through the registry (the GUI suite and the demo under Wine). Its
// player folder and faults come from the environment: TESSFOLD_SIM_PLAYERS
// and TESSFOLD_SIM_FAULTS (see sim/README.md). Test programs drive it
// through the exported control table instead (tf_simclient).
#include <mutex>
#include <string>

#include "platform/diag.h"
#include "platform/wmdm.h"
#include "sim/control.h"
#include "sim/factory.h"
#include "sim/simservice.h"

namespace {

HINSTANCE g_module = nullptr;

constexpr HRESULT kSelfRegClassError = static_cast<HRESULT>(0x80040201u);  // SELFREG_E_CLASS
constexpr WCHAR kClassKey[] = L"CLSID\\{25BAAD81-3560-11D3-8471-00C04F79DBC0}";
constexpr WCHAR kServerKey[] = L"CLSID\\{25BAAD81-3560-11D3-8471-00C04F79DBC0}\\InprocServer32";
constexpr WCHAR kClassName[] = L"Tessfold simulated device manager";
// Where a class registration that this DLL displaced is kept until
// unregistration puts it back.
constexpr WCHAR kDisplacedKey[] = L"Tessfold.SimulatedDeviceManager\\Displaced";

std::once_flag g_configured;
HRESULT g_configuration = S_OK;

// The environment is read once, when the first class object is asked for,
// unless a test program has taken the control table first: it then sets the
// service up itself.
HRESULT Configure() {
  std::call_once(g_configured, [] {
    std::string error;
    if (!SimConfigureFromEnvironment(&error)) {
      DiagPrintf(DiagStream::Err, "tfsimwmdm: %s\n", error.c_str());
      g_configuration = E_INVALIDARG;
    }
  });
  return g_configuration;
}

void CALLBACK WatchTick(HWND, UINT, UINT_PTR, DWORD) { SimWatchPlayerFolder(); }

// With "watch-ms", players plugged in and out by creating and deleting their
// folders are announced. The timer belongs to the thread that asked for the
// first class object, so the announcements reach the caller's sinks on its
// own thread, from its message loop, as the real service's do.
void StartWatching() {
  static std::once_flag once;
  std::call_once(once, [] {
    const uint32_t ms = SimGetFaults().watchMs;
    if (ms == 0) return;
    SimWatchPlayerFolder();  // takes note of the players there now
    SetTimer(nullptr, 0, ms, WatchTick);
  });
}

std::wstring ModulePath() {
  WCHAR path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
  return (n == 0 || n >= MAX_PATH) ? std::wstring() : std::wstring(path, n);
}

// The server registered for the class now, or empty.
std::wstring RegisteredServer() {
  WCHAR value[MAX_PATH * 2];
  DWORD bytes = sizeof(value);
  if (RegGetValueW(HKEY_CLASSES_ROOT, kServerKey, nullptr, RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS) {
    return std::wstring();
  }
  return std::wstring(value);
}

bool SamePath(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) == 0; }

bool KeyExists(const WCHAR* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The class key carries our name when it was made by this DLL, wherever the
// DLL was at the time.
bool ClassKeyIsOurs() {
  WCHAR value[64];
  DWORD bytes = sizeof(value);
  return RegGetValueW(HKEY_CLASSES_ROOT, kClassKey, nullptr, RRF_RT_REG_SZ, nullptr, value, &bytes) == ERROR_SUCCESS &&
         lstrcmpW(value, kClassName) == 0;
}

HRESULT CopyTree(const WCHAR* from, const WCHAR* to) {
  HKEY source = nullptr;
  HKEY target = nullptr;
  LONG e = RegOpenKeyExW(HKEY_CLASSES_ROOT, from, 0, KEY_READ, &source);
  if (e == ERROR_SUCCESS) {
    e = RegCreateKeyExW(HKEY_CLASSES_ROOT, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr);
  }
  if (e == ERROR_SUCCESS) e = RegCopyTreeW(source, nullptr, target);
  if (target != nullptr) RegCloseKey(target);
  if (source != nullptr) RegCloseKey(source);
  return e == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(e);
}

// A class key that is not ours (another server's registration, or one with
// no in-process server) is copied whole, once, before it is written over.
HRESULT KeepDisplacedRegistration() {
  if (!KeyExists(kClassKey) || ClassKeyIsOurs() || KeyExists(kDisplacedKey)) return S_OK;
  const HRESULT hr = CopyTree(kClassKey, kDisplacedKey);
  if (FAILED(hr)) RegDeleteTreeW(HKEY_CLASSES_ROOT, kDisplacedKey);
  return hr;
}

// Puts the kept registration back exactly as it was; without one the class
// key was made by this DLL and goes.
HRESULT RestoreDisplacedRegistration() {
  LONG e = RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
  if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(e);
  if (!KeyExists(kDisplacedKey)) return S_OK;
  const HRESULT hr = CopyTree(kDisplacedKey, kClassKey);
  if (FAILED(hr)) return hr;  // the copy stays where it is for another try
  e = RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Tessfold.SimulatedDeviceManager");
  return e == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(e);
}

HRESULT SetString(HKEY key, const WCHAR* name, const std::wstring& value) {
  const LONG e = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
  return e == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(e);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_MediaDevMgr) return CLASS_E_CLASSNOTAVAILABLE;
  const HRESULT hr = Configure();
  if (FAILED(hr)) return hr;
  StartWatching();
  IClassFactory* factory = SimNewClassFactory();
  if (factory == nullptr) return E_OUTOFMEMORY;
  const HRESULT q = factory->QueryInterface(riid, ppv);
  factory->Release();
  return q;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return SimLiveObjects() == 0 && SimServerLocks() == 0 ? S_OK : S_FALSE;
}

// Registers this DLL as the device-manager class. On a machine where the
// real service is registered this would displace it, so an existing
// registration of another server is left alone unless
// TESSFOLD_SIM_FORCE_REGISTER=1; even then it is kept aside first and
// unregistration puts it back.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  const std::wstring self = ModulePath();
  if (self.empty()) return E_FAIL;
  const std::wstring current = RegisteredServer();
  WCHAR force[4] = {};
  const bool forced = GetEnvironmentVariableW(L"TESSFOLD_SIM_FORCE_REGISTER", force, 4) == 1 && force[0] == L'1';
  if (!current.empty() && !SamePath(current, self) && !forced) return kSelfRegClassError;
  HRESULT hr = KeepDisplacedRegistration();
  if (FAILED(hr)) return hr;

  HKEY classKey = nullptr;
  HKEY serverKey = nullptr;
  LONG e = RegCreateKeyExW(HKEY_CLASSES_ROOT, kClassKey, 0, nullptr, 0, KEY_WRITE, nullptr, &classKey, nullptr);
  if (e != ERROR_SUCCESS) return HRESULT_FROM_WIN32(e);
  hr = SetString(classKey, nullptr, kClassName);
  RegCloseKey(classKey);
  if (FAILED(hr)) return hr;
  e = RegCreateKeyExW(HKEY_CLASSES_ROOT, kServerKey, 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey, nullptr);
  if (e != ERROR_SUCCESS) return HRESULT_FROM_WIN32(e);
  hr = SetString(serverKey, nullptr, self);
  if (SUCCEEDED(hr)) hr = SetString(serverKey, L"ThreadingModel", L"Apartment");
  RegCloseKey(serverKey);
  return hr;
}

// Removes the class only while it names this DLL, and puts back what a
// forced registration displaced.
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  const std::wstring current = RegisteredServer();
  if (current.empty()) return S_OK;
  if (!SamePath(current, ModulePath())) return kSelfRegClassError;
  return RestoreDisplacedRegistration();
}

// The test-facing operations, for tf_simclient.
extern "C" const SimControlTable* WINAPI TfSimControl() {
  std::call_once(g_configured, [] {});
  return SimGetControlTable();
}
