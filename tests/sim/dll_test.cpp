// The service as a COM server DLL found through the registry (as
// scripts/wine-register-sim leaves it in the build tree's Wine prefix), the
// way the product and the GUI suite reach it: registration, the class object
// exports, and a program that takes its players from the environment.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "channel/initiator.h"
#include "platform/wmdm.h"
#include "sim/simservice.h"

namespace fs = std::filesystem;

namespace {

constexpr WCHAR kClassRoot[] = L"CLSID\\{25BAAD81-3560-11D3-8471-00C04F79DBC0}";
constexpr WCHAR kClassKey[] = L"CLSID\\{25BAAD81-3560-11D3-8471-00C04F79DBC0}\\InprocServer32";
constexpr WCHAR kProgIdKey[] = L"CLSID\\{25BAAD81-3560-11D3-8471-00C04F79DBC0}\\ProgID";

LSTATUS SetValue(const WCHAR* key, const WCHAR* name, DWORD type, const std::wstring& value) {
  return RegSetKeyValueW(HKEY_CLASSES_ROOT, key, name, type, value.c_str(),
                         static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
}

// A string value's type and text as stored, unexpanded; type 0 when absent.
std::pair<DWORD, std::wstring> RawValue(const WCHAR* key, const WCHAR* name) {
  WCHAR value[MAX_PATH] = {};
  DWORD bytes = sizeof(value) - sizeof(WCHAR);
  DWORD type = 0;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, &type, value,
                   &bytes) != ERROR_SUCCESS) {
    return {0, L""};
  }
  return {type, value};
}

bool KeyExists(const WCHAR* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::wstring RegisteredValue(const WCHAR* name) {
  WCHAR value[MAX_PATH * 2] = {};
  DWORD bytes = sizeof(value);
  if (RegGetValueW(HKEY_CLASSES_ROOT, kClassKey, name, RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS) {
    return L"";
  }
  return value;
}

template <typename T>
void ReleaseAndClear(T*& p) {
  if (p != nullptr) p->Release();
  p = nullptr;
}

// The channel's handshake as the program makes it, then the manager.
HRESULT Authenticate(IComponentAuthenticate* root, IWMDeviceManager2** manager) {
  DWORD* protocols = nullptr;
  DWORD count = 0;
  HRESULT hr = root->SACGetProtocols(&protocols, &count);
  if (FAILED(hr)) return hr;
  const DWORD protocol = count > 0 ? protocols[0] : 0;
  CoTaskMemFree(protocols);
  ChannelInitiator channel;
  const BYTE zero[1] = {0};
  hr = channel.setCredentials(2, zero, 1, zero, 1);
  if (SUCCEEDED(hr)) {
    channel.attachPeer(root);
    hr = channel.authenticate(protocol);
  }
  if (FAILED(hr)) return hr;
  return root->QueryInterface(IID_IWMDeviceManager2, reinterpret_cast<void**>(manager));
}

// Manufacturer and name of every device, "make/name" each.
std::vector<std::string> Devices(IWMDeviceManager2* manager) {
  std::vector<std::string> found;
  IWMDMEnumDevice* devices = nullptr;
  EXPECT_EQ(manager->Reinitialize(), S_OK);
  EXPECT_EQ(manager->EnumDevices2(&devices), S_OK);
  if (devices == nullptr) return found;
  IWMDMDevice* device = nullptr;
  ULONG fetched = 0;
  while (devices->Next(1, &device, &fetched) == S_OK) {
    WCHAR make[260] = {};
    WCHAR name[260] = {};
    EXPECT_EQ(device->GetManufacturer(make, 260), S_OK);
    EXPECT_EQ(device->GetName(name, 260), S_OK);
    found.push_back(NarrowToUtf8(make) + "/" + NarrowToUtf8(name));
    ReleaseAndClear(device);
  }
  ReleaseAndClear(devices);
  return found;
}

// CoCreateInstance as the product makes it, then the channel exchange: 0, or
// the exit code of the step that failed (2 creating, 3 authenticating).
int ConnectAsAProgram(IComponentAuthenticate** root, IWMDeviceManager2** manager) {
  if (FAILED(CoCreateInstance(CLSID_MediaDevMgr, nullptr, CLSCTX_ALL, IID_IComponentAuthenticate,
                              reinterpret_cast<void**>(root)))) {
    return 2;
  }
  return FAILED(Authenticate(*root, manager)) ? 3 : 0;
}

// What a program without the test API sees: CoCreateInstance as the product
// makes it, the players taken from TESSFOLD_SIM_PLAYERS.
int EnumerateAsAProgram() {
  IComponentAuthenticate* root = nullptr;
  IWMDeviceManager2* manager = nullptr;
  if (const int failed = ConnectAsAProgram(&root, &manager)) return failed;
  const std::vector<std::string> devices = Devices(manager);
  ReleaseAndClear(manager);
  ReleaseAndClear(root);
  return devices == std::vector<std::string>{"Corvane/ZR-410"} ? 0 : 4;
}

// A program's notification sink; lives on the stack.
class Sink final : public IWMDMNotification {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IWMDMNotification) return E_NOINTERFACE;
    *ppv = static_cast<IWMDMNotification*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE WMDMMessage(DWORD type, LPCWSTR name) override {
    messages.push_back(std::to_string(type) + "," + NarrowToUtf8(name));
    return S_OK;
  }
  ULONG references = 1;
  std::vector<std::string> messages;
};

// With "watch-ms", a player folder created while the program runs its
// message loop arrives at the program's sink.
int WatchAsAProgram(const fs::path& newPlayer) {
  IComponentAuthenticate* root = nullptr;
  IWMDeviceManager2* manager = nullptr;
  IConnectionPointContainer* container = nullptr;
  IConnectionPoint* point = nullptr;
  if (const int failed = ConnectAsAProgram(&root, &manager)) return failed;
  if (FAILED(manager->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))) ||
      FAILED(container->FindConnectionPoint(IID_IWMDMNotification, &point))) {
    return 5;
  }
  Sink sink;
  DWORD cookie = 0;
  if (FAILED(point->Advise(&sink, &cookie))) return 6;
  fs::create_directories(newPlayer);
  std::ofstream(newPlayer / "player.ini") << "manufacturer = Corvane\nname = ZR-411\n";
  const DWORD start = GetTickCount();
  while (sink.messages.empty() && GetTickCount() - start < 10000) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(10);
  }
  point->Unadvise(cookie);
  ReleaseAndClear(point);
  ReleaseAndClear(container);
  ReleaseAndClear(manager);
  ReleaseAndClear(root);
  const std::vector<std::string> want = {"0,\\\\?\\tfsim#" + newPlayer.filename().string()};
  return sink.messages == want && sink.references == 1 ? 0 : 7;
}

class SimDll : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    dir_ = fs::path(::testing::TempDir()) / "tf_sim_dll";
    std::error_code ec;
    fs::remove_all(dir_, ec);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    CoUninitialize();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

}  // namespace

TEST_F(SimDll, IsRegisteredAsAnApartmentServer) {
  const fs::path server = RegisteredValue(nullptr);
  ASSERT_FALSE(server.empty()) << "not registered: run scripts/wine-register-sim";
  EXPECT_EQ(server.filename(), L"tfsimwmdm.dll");
  EXPECT_TRUE(fs::is_regular_file(server));
  EXPECT_EQ(RegisteredValue(L"ThreadingModel"), L"Apartment");

  ASSERT_EQ(SimRegisterService(), S_OK);  // loads the registered DLL
  const HMODULE dll = GetModuleHandleW(server.c_str());
  ASSERT_NE(dll, nullptr);
  using Register = HRESULT(STDAPICALLTYPE*)();
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  const auto registerServer =
      reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(dll, "DllRegisterServer")));
  const auto canUnload = reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
  const auto getClassObject =
      reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  const auto unregisterServer =
      reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(dll, "DllUnregisterServer")));
  ASSERT_TRUE(registerServer && unregisterServer && canUnload && getClassObject);

  // Registering again over itself changes nothing.
  EXPECT_EQ(registerServer(), S_OK);
  EXPECT_EQ(fs::path(RegisteredValue(nullptr)), server);
  // Another server registered for the class is neither displaced nor removed,
  // unless registration is forced; then unregistration puts it back whole.
  constexpr HRESULT kSelfRegClass = static_cast<HRESULT>(0x80040201u);
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassRoot), ERROR_SUCCESS);
  const std::wstring other = L"%SystemRoot%\\system32\\other.dll";
  ASSERT_EQ(SetValue(kClassKey, nullptr, REG_EXPAND_SZ, other), ERROR_SUCCESS);
  ASSERT_EQ(SetValue(kClassKey, L"ThreadingModel", REG_SZ, L"Both"), ERROR_SUCCESS);
  ASSERT_EQ(SetValue(kClassRoot, nullptr, REG_SZ, L"Other device manager"), ERROR_SUCCESS);
  ASSERT_EQ(SetValue(kProgIdKey, nullptr, REG_SZ, L"Other.Manager.1"), ERROR_SUCCESS);
  const auto expectOtherRegistration = [&] {
    EXPECT_EQ(RawValue(kClassKey, nullptr), (std::pair<DWORD, std::wstring>{REG_EXPAND_SZ, other}));
    EXPECT_EQ(RawValue(kClassKey, L"ThreadingModel"), (std::pair<DWORD, std::wstring>{REG_SZ, L"Both"}));
    EXPECT_EQ(RawValue(kClassRoot, nullptr), (std::pair<DWORD, std::wstring>{REG_SZ, L"Other device manager"}));
    EXPECT_EQ(RawValue(kProgIdKey, nullptr), (std::pair<DWORD, std::wstring>{REG_SZ, L"Other.Manager.1"}));
  };
  EXPECT_EQ(registerServer(), kSelfRegClass);
  EXPECT_EQ(unregisterServer(), kSelfRegClass);
  expectOtherRegistration();
  SetEnvironmentVariableW(L"TESSFOLD_SIM_FORCE_REGISTER", L"1");
  EXPECT_EQ(registerServer(), S_OK);
  EXPECT_EQ(registerServer(), S_OK);  // again over itself: what was kept stays the other server's
  SetEnvironmentVariableW(L"TESSFOLD_SIM_FORCE_REGISTER", nullptr);
  EXPECT_EQ(fs::path(RegisteredValue(nullptr)), server);
  EXPECT_EQ(RegisteredValue(L"ThreadingModel"), L"Apartment");
  EXPECT_EQ(unregisterServer(), S_OK);
  expectOtherRegistration();
  // Back to this DLL alone, for the cases that follow.
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassRoot), ERROR_SUCCESS);
  EXPECT_EQ(registerServer(), S_OK);
  EXPECT_EQ(unregisterServer(), S_OK);
  EXPECT_FALSE(KeyExists(kClassRoot)) << "a class key made by this DLL goes with it";
  EXPECT_EQ(registerServer(), S_OK);
  EXPECT_EQ(fs::path(RegisteredValue(nullptr)), server);

  IClassFactory* factory = reinterpret_cast<IClassFactory*>(1);
  EXPECT_EQ(getClassObject(IID_IWMDMDevice, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factory, nullptr);
  ASSERT_EQ(getClassObject(CLSID_MediaDevMgr, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  IComponentAuthenticate* root = nullptr;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IComponentAuthenticate, reinterpret_cast<void**>(&root)), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  ReleaseAndClear(factory);
  EXPECT_EQ(canUnload(), S_FALSE);  // a root and a lock
  ReleaseAndClear(root);
  EXPECT_EQ(canUnload(), S_FALSE);  // the lock
  ASSERT_EQ(getClassObject(CLSID_MediaDevMgr, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  ReleaseAndClear(factory);
  EXPECT_EQ(canUnload(), S_OK);
}

TEST_F(SimDll, CoCreateInstanceReachesTheRegisteredServer) {
  ASSERT_EQ(SimRegisterService(), S_OK);
  SimReset();
  SimSetPlayerFolder(dir_);
  SimPlayerDescription d;
  d.manufacturer = "Corvane";
  d.name = "ZR-410";
  d.storages = {{"Internal", true}};
  std::string error;
  ASSERT_TRUE(SimAddPlayer("zr410", d, &error)) << error;

  IComponentAuthenticate* root = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_MediaDevMgr, nullptr, CLSCTX_ALL, IID_IComponentAuthenticate,
                             reinterpret_cast<void**>(&root)),
            S_OK);
  EXPECT_EQ(SimLiveObjects(), 1);  // the object came from the DLL that the test API drives
  IWMDeviceManager2* manager = nullptr;
  ASSERT_EQ(Authenticate(root, &manager), S_OK);
  EXPECT_EQ(Devices(manager), std::vector<std::string>{"Corvane/ZR-410"});

  // Faults set through the test API reach the DLL's objects.
  SimFaults f;
  f.playersNotReady = true;
  SimSetFaults(f);
  IWMDMDevice* device = nullptr;
  ASSERT_EQ(manager->GetDeviceFromCanonicalName(SimCanonicalName("zr410"), &device), S_OK);
  DWORD status = 0;
  EXPECT_EQ(device->GetStatus(&status), S_OK);
  EXPECT_EQ(status, WMDM_STATUS_BUSY);
  ReleaseAndClear(device);
  ReleaseAndClear(manager);
  ReleaseAndClear(root);
  EXPECT_EQ(SimLiveObjects(), 0);
  SimReset();
}

// A program started with TESSFOLD_SIM_PLAYERS (under Wine a Unix path, as
// scripts give it) enumerates the players of that folder; a malformed
// TESSFOLD_SIM_FAULTS makes the class unavailable rather than half set up;
// with "watch-ms" new player folders arrive.
TEST_F(SimDll, ProgramTakesItsPlayersFromTheEnvironment) {
  ASSERT_EQ(SimRegisterService(), S_OK);
  SimReset();
  SimSetPlayerFolder(dir_);
  SimPlayerDescription d;
  d.manufacturer = "Corvane";
  d.name = "ZR-410";
  ASSERT_TRUE(SimAddPlayer("zr410", d));
  SimReset();

  std::wstring folder = dir_.wstring();
  using ToUnix = char*(CDECL*)(const WCHAR*);
  const auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (toUnix != nullptr) {
    char* unix = toUnix(folder.c_str());
    ASSERT_NE(unix, nullptr);
    folder = WidenUtf8(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    EXPECT_EQ(folder.front(), L'/');
  }

  WCHAR self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  const std::wstring newPlayer = (dir_ / "zr411").wstring();
  const struct {
    const WCHAR* faults;
    const WCHAR* mode;
    DWORD exitCode;
  } cases[] = {{L"", L"enumerate", 0}, {L"bogus-switch", L"enumerate", 2}, {L"watch-ms=20", L"watch", 0}};
  for (const auto& c : cases) {
    SetEnvironmentVariableW(L"TESSFOLD_SIM_PLAYERS", folder.c_str());
    SetEnvironmentVariableW(L"TESSFOLD_SIM_FAULTS", c.faults);
    SetEnvironmentVariableW(L"TF_SIM_DLL_CHILD", c.mode);
    SetEnvironmentVariableW(L"TF_SIM_DLL_NEW_PLAYER", newPlayer.c_str());
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=SimDllChild.*";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    const BOOL started =
        CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableW(L"TESSFOLD_SIM_PLAYERS", nullptr);
    SetEnvironmentVariableW(L"TESSFOLD_SIM_FAULTS", nullptr);
    SetEnvironmentVariableW(L"TF_SIM_DLL_CHILD", nullptr);
    SetEnvironmentVariableW(L"TF_SIM_DLL_NEW_PLAYER", nullptr);
    ASSERT_TRUE(started);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 99;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    EXPECT_EQ(exitCode, c.exitCode) << NarrowToUtf8(c.mode) << " with faults: " << NarrowToUtf8(c.faults);
  }
}

// Run only as the child of the test above: its exit code is the result.
TEST(SimDllChild, EnumeratesAsAProgram) {
  if (GetEnvironmentVariableW(L"TF_SIM_DLL_CHILD", nullptr, 0) == 0) GTEST_SKIP() << "run by its parent test";
  const HRESULT init = CoInitialize(nullptr);
  WCHAR mode[16] = {};
  WCHAR newPlayer[MAX_PATH] = {};
  GetEnvironmentVariableW(L"TF_SIM_DLL_CHILD", mode, 16);
  GetEnvironmentVariableW(L"TF_SIM_DLL_NEW_PLAYER", newPlayer, MAX_PATH);
  int result = 1;
  if (SUCCEEDED(init)) result = std::wstring(mode) == L"watch" ? WatchAsAProgram(newPlayer) : EnumerateAsAProgram();
  CoUninitialize();
  fflush(stdout);
  ExitProcess(static_cast<UINT>(result));
}
