// The simulated service's own behaviour that the device suites do not reach:
// the refusal before authentication, the connection point's bookkeeping,
// Insert3's chunked copy with its progress calls and faults, reading a file
// back and deleting it, and that every object and reference goes away again.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "channel/initiator.h"
#include "crypto/bignum/bigerror.h"
#include "platform/com.h"
#include "platform/wmdm.h"
#include "sim/paths.h"
#include "sim/simservice.h"

namespace fs = std::filesystem;

namespace {

// Sets or clears the trace variable where the service reads it: the process
// environment (the COM server DLL has a C runtime of its own).
void SetTraceVariable(const char* path) {
#ifdef _WIN32
  SetEnvironmentVariableA("TESSFOLD_SIM_TRACE", path);
#else
  if (path != nullptr) {
    setenv("TESSFOLD_SIM_TRACE", path, 1);
  } else {
    unsetenv("TESSFOLD_SIM_TRACE");
  }
#endif
}

constexpr HRESULT kCannotConnect = static_cast<HRESULT>(0x80040202u);
constexpr HRESULT kNoConnection = static_cast<HRESULT>(0x80040200u);

// A caller's callback object: progress and notification faces, counting
// references and recording every call.
class Callback final : public IWMDMProgress, public IWMDMNotification {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IWMDMProgress) {
      *ppv = static_cast<IWMDMProgress*>(this);
    } else if (riid == IID_IWMDMNotification && notifications_) {
      *ppv = static_cast<IWMDMNotification*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }  // lives on the test's stack
  HRESULT STDMETHODCALLTYPE Begin(DWORD ticks) override { return log("Begin(" + std::to_string(ticks) + ")"); }
  HRESULT STDMETHODCALLTYPE Progress(DWORD ticks) override {
    log("Progress(" + std::to_string(ticks) + ")");
    return ++progressCalls == cancelAtProgress ? WMDM_E_USER_CANCELLED : S_OK;
  }
  HRESULT STDMETHODCALLTYPE End() override { return log("End()"); }
  HRESULT STDMETHODCALLTYPE WMDMMessage(DWORD type, LPCWSTR name) override {
    return log("Message(" + std::to_string(type) + "," + NarrowToUtf8(WStringView(name, WideLength(name))) + ")");
  }

  explicit Callback(bool notifications = true) : notifications_(notifications) {}
  IUnknown* unknown() { return static_cast<IWMDMProgress*>(this); }
  std::atomic<long> references{1};
  std::vector<std::string> calls;
  // What the storage folder held when each call came (files, partial ones included).
  fs::path watched;
  std::vector<size_t> filesSeen;
  // The Progress call (counted from 1) that cancels; 0: none.
  int cancelAtProgress = 0;

 private:
  int progressCalls = 0;
  HRESULT log(std::string call) {
    calls.push_back(std::move(call));
    if (!watched.empty()) {
      size_t n = 0;
      for (auto it = fs::directory_iterator(watched); it != fs::directory_iterator(); ++it) ++n;
      filesSeen.push_back(n);
    }
    return S_OK;
  }
  bool notifications_;
};

template <typename T>
void ReleaseAndClear(T*& p) {
  if (p != nullptr) p->Release();
  p = nullptr;
}

class SimService : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_EQ(SimRegisterService(), S_OK);
    SimReset();
    baseline_ = SimLiveObjects();
    root_dir_ = fs::path(::testing::TempDir()) / "tf_sim_service";
    fs::remove_all(root_dir_);
    fs::create_directories(root_dir_);
    SimSetPlayerFolder(root_dir_ / "players");
    SimPlayerDescription d;
    d.manufacturer = "Corvane";
    d.name = "ZR-410";
    d.version = 3;
    d.storages = {{"Busy", false}, {"Internal", true}};
    ASSERT_TRUE(SimAddPlayer("zr410", d));
    source_ = root_dir_ / "NK.bin";
    std::string content(10000, 'x');
    std::ofstream(source_, std::ios::binary) << content;
  }

  void TearDown() override {
    ReleaseAndClear(root_);
    EXPECT_EQ(SimLiveObjects(), baseline_);
    EXPECT_EQ(SimHeldClientReferences(), 0);
    EXPECT_EQ(SimAdvisedSinks(), 0u);
#ifndef _WIN32
    EXPECT_EQ(TfComTaskMemOutstanding(), 0);
#endif
    SimReset();
    SimUnregisterService();
    CoUninitialize();
  }

  HRESULT Create() {
    return CoCreateInstance(CLSID_MediaDevMgr, nullptr, CLSCTX_INPROC_SERVER, IID_IComponentAuthenticate,
                            reinterpret_cast<void**>(&root_));
  }

  // One exchange call; the reply is checked for its length and freed.
  HRESULT Pass(DWORD protocol, DWORD pass, DWORD length, DWORD expectReply = 0) {
    std::vector<BYTE> request(length + 1, 0);
    BYTE* reply = reinterpret_cast<BYTE*>(1);
    DWORD replyLength = 99;
    const HRESULT hr = root_->SACAuth(protocol, pass, request.data(), length, &reply, &replyLength);
    if (FAILED(hr)) {
      EXPECT_EQ(reply, nullptr);
      EXPECT_EQ(replyLength, 0u);
    } else {
      EXPECT_EQ(replyLength, expectReply);
    }
    CoTaskMemFree(reply);
    return hr;
  }

  // The handshake as the program makes it, with its built-in credentials.
  HRESULT Authenticate() {
    ChannelInitiator channel;
    const BYTE zero[1] = {0};
    HRESULT hr = channel.setCredentials(2, zero, 1, zero, 1);
    if (FAILED(hr)) return hr;
    channel.attachPeer(root_);
    return channel.authenticate(2);
  }

  IWMDeviceManager2* Manager() {
    IWMDeviceManager2* m = nullptr;
    EXPECT_EQ(root_->QueryInterface(IID_IWMDeviceManager2, reinterpret_cast<void**>(&m)), S_OK);
    return m;
  }

  // The root's notification connection point with `sink` advised on it
  // (nullptr, with the failure reported, when either step fails).
  IConnectionPoint* AdviseNotifications(Callback* sink, DWORD* cookie) {
    IConnectionPointContainer* container = nullptr;
    IConnectionPoint* point = nullptr;
    EXPECT_EQ(root_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)), S_OK);
    if (container == nullptr) return nullptr;
    EXPECT_EQ(container->FindConnectionPoint(IID_IWMDMNotification, &point), S_OK);
    ReleaseAndClear(container);
    if (point == nullptr) return nullptr;
    const HRESULT hr = point->Advise(sink->unknown(), cookie);
    EXPECT_EQ(hr, S_OK);
    if (FAILED(hr)) ReleaseAndClear(point);
    return point;
  }

  // The first storage named `folder` of the first device, as IWMDMStorageControl3.
  IWMDMStorageControl3* StorageControl(const char* folder) {
    IWMDeviceManager2* manager = Manager();
    IWMDMEnumDevice* devices = nullptr;
    IWMDMDevice* device = nullptr;
    IWMDMDevice2* device2 = nullptr;
    IWMDMStorage* storage = nullptr;
    IWMDMStorageControl3* control = nullptr;
    ULONG fetched = 0;
    EXPECT_EQ(manager->EnumDevices2(&devices), S_OK);
    EXPECT_EQ(devices->Next(1, &device, &fetched), S_OK);
    EXPECT_EQ(device->QueryInterface(IID_IWMDMDevice2, reinterpret_cast<void**>(&device2)), S_OK);
    const WString name = WidenUtf8(folder);
    EXPECT_EQ(device2->GetStorage(name.c_str(), &storage), S_OK);
    EXPECT_EQ(storage->QueryInterface(IID_IWMDMStorageControl3, reinterpret_cast<void**>(&control)), S_OK);
    ReleaseAndClear(storage);
    ReleaseAndClear(device2);
    ReleaseAndClear(device);
    ReleaseAndClear(devices);
    ReleaseAndClear(manager);
    return control;
  }

  // Insert3 as the device layer makes it, with a format-code metadata item;
  // with `file`, keeps the storage object of the new file.
  HRESULT Insert(IWMDMStorageControl3* control, Callback* progress, const WCHAR* destination,
                 IWMDMStorageControl** file = nullptr) {
    IWMDMStorage3* storage = nullptr;
    IWMDMMetaData* metadata = nullptr;
    EXPECT_EQ(control->QueryInterface(IID_IWMDMStorage3, reinterpret_cast<void**>(&storage)), S_OK);
    EXPECT_EQ(storage->CreateEmptyMetadataObject(&metadata), S_OK);
    DWORD code = 0xB802;
    EXPECT_EQ(metadata->AddItem(WMDM_TYPE_DWORD, g_wszWMDMFormatCode, reinterpret_cast<BYTE*>(&code), 4), S_OK);
    WString source = SimWideFromPath(source_);
    IWMDMStorage* created = nullptr;
    const HRESULT hr =
        control->Insert3(WMDM_MODE_BLOCK | WMDM_CONTENT_FILE, 0, source.data(), const_cast<LPWSTR>(destination),
                         nullptr, progress, metadata, nullptr, &created);
    EXPECT_EQ(created != nullptr, SUCCEEDED(hr));
    if (file != nullptr && created != nullptr) {
      EXPECT_EQ(created->QueryInterface(IID_IWMDMStorageControl, reinterpret_cast<void**>(file)), S_OK);
    }
    ReleaseAndClear(created);
    ReleaseAndClear(metadata);
    ReleaseAndClear(storage);
    return hr;
  }

  // The read-back as the flasher makes it, into `to` on the computer.
  static HRESULT Read(IWMDMStorageControl* file, const fs::path& to, Callback* progress,
                      UINT mode = WMDM_MODE_BLOCK | WMDM_CONTENT_FILE, IWMDMOperation* operation = nullptr) {
    WString path = SimWideFromPath(to);
    return file->Read(mode, path.data(), progress, operation);
  }

  // Authenticated, with NK.bin (the source file) inserted into Internal and
  // the file's storage object in *file; faults are set only afterwards.
  // A fresh player holding NK.bin and the storage object that Insert3 made
  // for it (`file`); the call goes to `target`: that object, or the storage
  // folder itself (`folder`). The player's file may be gone or the player
  // pulled out first.
  struct StorageTarget {
    IWMDMStorageControl* file = nullptr;
    IWMDMStorageControl3* folder = nullptr;
    IWMDMStorageControl* target = nullptr;
  };
  void Target(const char* faults, bool folderItself, bool fileGone, bool pulledOut, StorageTarget* t) {
    SimReset();
    SimSetPlayerFolder(root_dir_ / "players");
    InsertSource(&t->file, faults);
    t->target = t->file;
    if (folderItself) t->target = t->folder = StorageControl("Internal");
    if (fileGone) fs::remove(SimStorageFolder("zr410", "Internal") / "NK.bin");
    if (pulledOut) SimUnplugPlayer("zr410");
  }

  void InsertSource(IWMDMStorageControl** file, const char* faults = "") {
    IWMDMStorageControl3* control = StorageControl("Internal");
    ASSERT_NE(control, nullptr);
    ASSERT_EQ(Insert(control, nullptr, WSTR("NK.bin"), file), S_OK);
    ReleaseAndClear(control);
    SimFaults f;
    std::string error;
    ASSERT_TRUE(SimParseFaults(faults, &f, &error)) << error;
    SimSetFaults(f);
  }

  long baseline_ = 0;
  fs::path root_dir_;
  fs::path source_;
  IComponentAuthenticate* root_ = nullptr;
};

}  // namespace

// Kept absolute: the program's open-file dialog moves the working folder, and
// the players must not move with it.
TEST_F(SimService, RelativePlayerFolderIsKeptAbsolute) {
  const fs::path saved = SimGetPlayerFolder();
  SimSetPlayerFolder("players-here");
  EXPECT_EQ(SimGetPlayerFolder(), fs::current_path() / "players-here");
  SimSetPlayerFolder(saved);
}

TEST_F(SimService, RefusesTheDeviceManagerUntilAuthenticated) {
  ASSERT_EQ(Create(), S_OK);
  IUnknown* p = reinterpret_cast<IUnknown*>(1);
  for (const IID* iid : {&IID_IWMDeviceManager, &IID_IWMDeviceManager2, &IID_IConnectionPointContainer}) {
    EXPECT_EQ(root_->QueryInterface(*iid, reinterpret_cast<void**>(&p)), WMDM_E_NOTCERTIFIED);
    EXPECT_EQ(p, nullptr);
  }

  DWORD* protocols = nullptr;
  DWORD count = 0;
  ASSERT_EQ(root_->SACGetProtocols(&protocols, &count), S_OK);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(protocols[0], 2u);
  CoTaskMemFree(protocols);

  // Wrong protocol, order or sizes never authenticate.
  EXPECT_EQ(Pass(1, 0, 4), E_NOTIMPL);
  EXPECT_EQ(Pass(3, 0, 4), E_INVALIDARG);
  EXPECT_EQ(Pass(2, 1, 140), WMDM_E_CALL_OUT_OF_SEQUENCE);
  EXPECT_EQ(Pass(2, 0, 5), E_INVALIDARG);
  EXPECT_EQ(Pass(2, 0, 4, 144), S_OK);
  EXPECT_EQ(Pass(2, 1, 139), E_INVALIDARG);
  EXPECT_EQ(Pass(2, 2, 140), WMDM_E_CALL_OUT_OF_SEQUENCE);
  EXPECT_EQ(root_->QueryInterface(IID_IWMDeviceManager, reinterpret_cast<void**>(&p)), WMDM_E_NOTCERTIFIED);

  EXPECT_EQ(Pass(2, 1, 140), kChannelNotCertified) << "zeros are no certificate";
  EXPECT_EQ(root_->QueryInterface(IID_IWMDeviceManager, reinterpret_cast<void**>(&p)), WMDM_E_NOTCERTIFIED);
  EXPECT_EQ(Authenticate(), S_OK);
  IWMDeviceManager2* manager = Manager();
  ASSERT_NE(manager, nullptr);
  DWORD devices = 0;
  EXPECT_EQ(manager->GetDeviceCount(&devices), S_OK);
  EXPECT_EQ(devices, 1u);
  manager->Release();

  // Authentication belongs to the object: a second root starts refused.
  IComponentAuthenticate* second = nullptr;
  ASSERT_EQ(SimCreateRoot(IID_IComponentAuthenticate, reinterpret_cast<void**>(&second)), S_OK);
  EXPECT_EQ(second->QueryInterface(IID_IWMDeviceManager2, reinterpret_cast<void**>(&p)), WMDM_E_NOTCERTIFIED);
  second->Release();
}

TEST_F(SimService, AuthenticationFaults) {
  SimFaults f;
  f.noProtocols = true;
  SimSetFaults(f);
  ASSERT_EQ(Create(), S_OK);
  DWORD* protocols = reinterpret_cast<DWORD*>(1);
  DWORD count = 7;
  EXPECT_EQ(root_->SACGetProtocols(&protocols, &count), S_OK);
  EXPECT_EQ(protocols, nullptr);
  EXPECT_EQ(count, 0u);

  f = SimFaults{};
  f.rejectAuth = true;
  SimSetFaults(f);
  EXPECT_EQ(Authenticate(), WMDM_E_NOTCERTIFIED);
  IUnknown* p = nullptr;
  EXPECT_EQ(root_->QueryInterface(IID_IWMDeviceManager2, reinterpret_cast<void**>(&p)), WMDM_E_NOTCERTIFIED);
  SimSetFaults(SimFaults{});
  EXPECT_EQ(Authenticate(), S_OK);
}

// Every way the service's side of the handshake can go wrong ends the
// program's handshake with the result the protocol gives it, and leaves the
// service refusing its device manager where the caller was never verified.
TEST_F(SimService, ChannelFaultsEndTheHandshakeWithTheirResult) {
  struct Case {
    const char* switches;
    HRESULT result;
    bool callerVerified;  // the service got as far as trusting the caller
  };
  const Case cases[] = {
      {"channel-cert-format=0", kChannelNotCertified, false},
      {"channel-cert-format=88", kChannelNotCertified, false},
      {"channel-signed-length=53", E_FAIL, false},
      {"channel-foreign-cert", E_FAIL, false},
      {"channel-challenge-signature", E_FAIL, false},
      {"channel-short-pass0", E_FAIL, false},
      {"channel-distrust-caller", E_FAIL, false},
      {"channel-no-square-root", E_FAIL, false},
      {"reject-auth", WMDM_E_NOTCERTIFIED, false},
      {"channel-short-pass1", E_FAIL, true},
      {"channel-c1-off-curve", E_FAIL, true},
      {"channel-key-signature", E_FAIL, true},
  };
  for (const Case& c : cases) {
    BigErrorResetForTests();
    SimFaults f;
    std::string error;
    ASSERT_TRUE(SimParseFaults(c.switches, &f, &error)) << error;
    SimSetFaults(f);
    ASSERT_EQ(Create(), S_OK) << c.switches;
    EXPECT_EQ(Authenticate(), c.result) << c.switches;
    IUnknown* p = nullptr;
    const HRESULT manager = root_->QueryInterface(IID_IWMDeviceManager2, reinterpret_cast<void**>(&p));
    EXPECT_EQ(manager, c.callerVerified ? S_OK : WMDM_E_NOTCERTIFIED) << c.switches;
    ReleaseAndClear(p);
    ReleaseAndClear(root_);
#ifndef _WIN32
    EXPECT_EQ(TfComTaskMemOutstanding(), 0) << c.switches;
#endif
  }
  SimSetFaults(SimFaults{});
  ASSERT_EQ(Create(), S_OK);
  EXPECT_EQ(Authenticate(), S_OK) << "the same service without faults";
}

// TESSFOLD_SIM_TRACE: one line per message, the whole message in hex.
TEST_F(SimService, ExchangeTraceHasEveryMessage) {
  const fs::path trace = root_dir_ / "trace.txt";
  SetTraceVariable(trace.string().c_str());
  ASSERT_EQ(Create(), S_OK);
  EXPECT_EQ(Authenticate(), S_OK);
  SetTraceVariable(nullptr);
  std::ifstream in(trace);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u);
  const struct {
    const char* head;
    size_t bytes;
  } expected[] = {{"pass 0 request ", 4}, {"pass 0 reply ", 144}, {"pass 1 request ", 140}, {"pass 1 reply ", 120}};
  for (size_t i = 0; i < 4; ++i) {
    const std::string head = expected[i].head;
    ASSERT_EQ(lines[i].rfind(head, 0), 0u) << lines[i];
    const std::string hex = lines[i].substr(head.size());
    EXPECT_EQ(hex.size(), 2 * expected[i].bytes) << lines[i];
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos) << lines[i];
  }
}

TEST_F(SimService, ConnectionPointHoldsSinksUntilUnadvised) {
  ASSERT_EQ(Create(), S_OK);
  ASSERT_EQ(Authenticate(), S_OK);
  IConnectionPointContainer* container = nullptr;
  IConnectionPoint* point = nullptr;
  ASSERT_EQ(root_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)), S_OK);
  EXPECT_EQ(container->FindConnectionPoint(IID_IWMDMProgress, &point), kNoConnection);
  EXPECT_EQ(point, nullptr);
  ASSERT_EQ(container->FindConnectionPoint(IID_IWMDMNotification, &point), S_OK);
  ReleaseAndClear(container);

  Callback sink;
  Callback deaf(/*notifications=*/false);
  DWORD cookie = 0;
  DWORD deafCookie = 5;
  EXPECT_EQ(point->Advise(deaf.unknown(), &deafCookie), kCannotConnect);
  EXPECT_EQ(deafCookie, 0u);
  EXPECT_EQ(deaf.references, 1);
  ASSERT_EQ(point->Advise(sink.unknown(), &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  EXPECT_EQ(sink.references, 2);
  EXPECT_EQ(SimHeldClientReferences(), 1);

  SimFireDeviceArrival("zr410");
  SimFireMessage(WMDM_MSG_MEDIA_ARRIVAL, "zr410");
  SimUnplugPlayer("zr410");
  SimPlugPlayer("zr410");
  const std::string name = NarrowToUtf8(SimCanonicalName("zr410"));
  EXPECT_EQ(sink.calls, (std::vector<std::string>{"Message(0," + name + ")", "Message(2," + name + ")",
                                                  "Message(1," + name + ")", "Message(0," + name + ")"}));
  EXPECT_EQ(sink.references, 2);

  EXPECT_EQ(point->Unadvise(cookie + 1), kNoConnection);
  EXPECT_EQ(point->Unadvise(cookie), S_OK);
  EXPECT_EQ(point->Unadvise(cookie), kNoConnection);
  EXPECT_EQ(sink.references, 1);
  SimFireDeviceRemoval("zr410");
  EXPECT_EQ(sink.calls.size(), 4u);

  // A caller that forgets to unadvise gets its sink back when the service
  // object goes away.
  ASSERT_EQ(point->Advise(sink.unknown(), &cookie), S_OK);
  ReleaseAndClear(point);
  ReleaseAndClear(root_);
  EXPECT_EQ(sink.references, 1);
}

TEST_F(SimService, WatchingThePlayerFolderAnnouncesPlayersThatCameOrWent) {
  ASSERT_EQ(Create(), S_OK);
  ASSERT_EQ(Authenticate(), S_OK);
  Callback sink;
  DWORD cookie = 0;
  IConnectionPoint* point = AdviseNotifications(&sink, &cookie);
  ASSERT_NE(point, nullptr);

  SimWatchPlayerFolder();  // takes note of zr410
  SimPlayerDescription d;
  d.manufacturer = "Corvane";
  d.name = "ZR-411";
  ASSERT_TRUE(SimAddPlayer("zr411", d));
  ASSERT_TRUE(SimAddPlayer("a-first", d));
  fs::remove_all(SimGetPlayerFolder() / "zr410");
  SimWatchPlayerFolder();
  SimWatchPlayerFolder();  // nothing new
  auto name = [](const char* id) { return NarrowToUtf8(SimCanonicalName(id)); };
  EXPECT_EQ(sink.calls,
            (std::vector<std::string>{"Message(1," + name("zr410") + ")", "Message(0," + name("a-first") + ")",
                                      "Message(0," + name("zr411") + ")"}));
  // A player pulled out and then deleted is not announced twice, and comes
  // back plugged in with a new folder.
  SimUnplugPlayer("zr411");
  fs::remove_all(SimGetPlayerFolder() / "zr411");
  SimWatchPlayerFolder();
  ASSERT_TRUE(SimAddPlayer("zr411", d));
  SimWatchPlayerFolder();
  EXPECT_EQ(std::vector<std::string>(sink.calls.begin() + 3, sink.calls.end()),
            (std::vector<std::string>{"Message(1," + name("zr411") + ")", "Message(0," + name("zr411") + ")"}));
  IWMDeviceManager2* manager = Manager();
  DWORD count = 0;
  EXPECT_EQ(manager->GetDeviceCount(&count), S_OK);
  EXPECT_EQ(count, 2u);
  ReleaseAndClear(manager);
  sink.calls.resize(3);
  // A new folder is taken note of, not announced.
  SimSetPlayerFolder(root_dir_);
  SimWatchPlayerFolder();
  EXPECT_EQ(sink.calls.size(), 3u);
  EXPECT_EQ(point->Unadvise(cookie), S_OK);
  ReleaseAndClear(point);
}

TEST_F(SimService, Insert3CopiesInChunksWithProgress) {
  ASSERT_EQ(Create(), S_OK);
  ASSERT_EQ(Authenticate(), S_OK);
  SimFaults f;
  f.chunkBytes = 4096;
  SimSetFaults(f);
  IWMDMStorageControl3* control = StorageControl("Internal");
  ASSERT_NE(control, nullptr);
  Callback progress;
  progress.watched = SimStorageFolder("zr410", "Internal");
  ASSERT_EQ(Insert(control, &progress, WSTR("NK.bin")), S_OK);
  EXPECT_EQ(progress.calls,
            (std::vector<std::string>{"Begin(10000)", "Progress(4096)", "Progress(8192)", "Progress(10000)", "End()"}));
  // Only the temporary file while copying; at the end the file itself.
  EXPECT_EQ(progress.filesSeen, (std::vector<size_t>{1, 1, 1, 1, 1}));
  EXPECT_EQ(progress.references, 1);
  EXPECT_EQ(fs::file_size(progress.watched / "NK.bin"), 10000u);

  SimInsertRecord r;
  ASSERT_TRUE(SimLastInsert(&r));
  EXPECT_EQ(r.player, "zr410");
  EXPECT_EQ(r.storage, "Internal");
  EXPECT_EQ(r.mode, 5u);
  EXPECT_EQ(r.destination, WString(WSTR("NK.bin")));
  ASSERT_EQ(r.metadata.size(), 1u);
  EXPECT_EQ(r.metadata[0].name, WString(g_wszWMDMFormatCode));
  EXPECT_EQ(r.metadata[0].type, WMDM_TYPE_DWORD);
  EXPECT_EQ(r.metadata[0].value, (std::vector<BYTE>{0x02, 0xB8, 0, 0}));
  EXPECT_EQ(r.progressCalls, progress.calls);
  EXPECT_EQ(r.result, S_OK);
  control->Release();
}

TEST_F(SimService, Insert3FailuresLeaveNoFile) {
  ASSERT_EQ(Create(), S_OK);
  ASSERT_EQ(Authenticate(), S_OK);
  Callback sink;
  DWORD cookie = 0;
  IConnectionPoint* point = AdviseNotifications(&sink, &cookie);
  ASSERT_NE(point, nullptr);

  const std::string removed = "Message(1," + NarrowToUtf8(SimCanonicalName("zr410")) + ")";
  struct Case {
    const char* name;
    const char* storage;
    const WCHAR* destination;
    const char* faults;
    HRESULT result;
    std::vector<std::string> calls;
  };
  // clang-format off
  const Case cases[] = {
      {"fails part-way", "Internal", WSTR("NK.bin"), "chunk=4096 insert-fail=5000", static_cast<HRESULT>(0x8007001Fu),
       {"Begin(10000)", "Progress(4096)", "Progress(8192)", "End()"}},
      {"fails on the storage named", "Internal", WSTR("NK.bin"), "chunk=4096 insert-fail-storage=INTERNAL",
       static_cast<HRESULT>(0x8007001Fu), {"Begin(10000)", "Progress(4096)", "Progress(8192)", "End()"}},
      {"fails at the last byte", "Internal", WSTR("NK.bin"), "chunk=4096 insert-fail=99999",
       static_cast<HRESULT>(0x8007001Fu), {"Begin(10000)", "Progress(4096)", "Progress(8192)", "Progress(10000)", "End()"}},
      {"pulled out half way", "Internal", WSTR("NK.bin"), "chunk=4096 remove-during-transfer",
       static_cast<HRESULT>(0x8007048Fu), {"Begin(10000)", "Progress(4096)", "Progress(8192)", removed, "End()"}},
      {"storage not ready", "Busy", WSTR("NK.bin"), "", WMDM_E_BUSY, {}},
      {"every storage not ready", "Internal", WSTR("NK.bin"), "storages-not-ready", WMDM_E_BUSY, {}},
      {"player not ready", "Internal", WSTR("NK.bin"), "players-not-ready", WMDM_E_BUSY, {}},
      {"name leaving the folder", "Internal", WSTR("..\\NK.bin"), "", E_INVALIDARG, {}},
  };
  // clang-format on

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimFaults f;
    std::string error;
    ASSERT_TRUE(SimParseFaults(c.faults, &f, &error)) << error;
    SimSetFaults(f);
    SimPlugPlayer("zr410");
    sink.calls.clear();
    IWMDMStorageControl3* control = StorageControl(c.storage);
    ASSERT_NE(control, nullptr);
    Callback progress;
    progress.calls.clear();
    EXPECT_EQ(Insert(control, &progress, c.destination), c.result);
    // The progress callback sees the removal notification arrive in between.
    std::vector<std::string> seen = progress.calls;
    if (!sink.calls.empty() && sink.calls.back() == removed) seen.insert(seen.end() - 1, removed);
    EXPECT_EQ(seen, c.calls);
    EXPECT_EQ(progress.references, 1);
    EXPECT_TRUE(fs::is_empty(SimStorageFolder("zr410", c.storage)));
    EXPECT_TRUE(fs::is_empty(SimStorageFolder("zr410", "Internal")));
    control->Release();
  }
  // After the pull-out the player's objects are dead until it is plugged in.
  SimUnplugPlayer("zr410");
  EXPECT_EQ(point->Unadvise(cookie), S_OK);
  ReleaseAndClear(point);
}

namespace {

std::string Contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& file, const std::string& content) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
}

}  // namespace

TEST_F(SimService, ReadCopiesTheFileBackWithProgress) {
  ASSERT_EQ(Create(), S_OK);
  ASSERT_EQ(Authenticate(), S_OK);
  IWMDMStorageControl* file = nullptr;
  InsertSource(&file, "chunk=4096");
  ASSERT_NE(file, nullptr);
  std::string content(10000, 'x');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 131 % 251);
  WriteFile(SimStorageFolder("zr410", "Internal") / "NK.bin", content);

  // A longer file already there is replaced, not written over in part.
  const fs::path back = root_dir_ / "back.bin";
  WriteFile(back, std::string(12000, 'o'));
  Callback progress;
  ASSERT_EQ(Read(file, back, &progress), S_OK);
  EXPECT_EQ(Contents(back), content);
  EXPECT_EQ(progress.calls,
            (std::vector<std::string>{"Begin(10000)", "Progress(4096)", "Progress(8192)", "Progress(10000)", "End()"}));
  EXPECT_EQ(progress.references, 1);

  // Cancelled by the caller's progress object: its failure is the result, and
  // neither the file nor a part of it is left on the computer.
  const fs::path computer = root_dir_ / "computer";
  fs::create_directories(computer);
  Callback cancelling;
  cancelling.cancelAtProgress = 2;
  EXPECT_EQ(Read(file, computer / "back.bin", &cancelling), WMDM_E_USER_CANCELLED);
  EXPECT_EQ(cancelling.calls, (std::vector<std::string>{"Begin(10000)", "Progress(4096)", "Progress(8192)", "End()"}));
  EXPECT_TRUE(fs::is_empty(computer));
  EXPECT_EQ(cancelling.references, 1);
  ReleaseAndClear(file);
}

TEST_F(SimService, ReadRefusalsWriteNothing) {
  ASSERT_EQ(Create(), S_OK);
  ASSERT_EQ(Authenticate(), S_OK);
  enum Setup { kNothing, kFolderItself, kNoPath, kOperation, kFileGone, kPulledOut };
  struct Case {
    const char* name;
    Setup setup;
    UINT mode;
    const char* faults;
    HRESULT result;
  };
  constexpr UINT kFile = WMDM_MODE_BLOCK | WMDM_CONTENT_FILE;
  const Case cases[] = {
      {"the storage folder itself", kFolderItself, kFile, "", WMDM_E_NOTSUPPORTED},
      {"no computer path", kNoPath, kFile, "", E_INVALIDARG},
      {"no file content", kNothing, WMDM_MODE_BLOCK, "", WMDM_E_NOTSUPPORTED},
      {"a folder's content", kNothing, kFile | WMDM_CONTENT_FOLDER, "", WMDM_E_NOTSUPPORTED},
      {"through an operation object", kOperation, kFile, "", WMDM_E_NOTSUPPORTED},
      {"player busy", kNothing, kFile, "players-not-ready", WMDM_E_BUSY},
      {"storage busy", kNothing, kFile, "storages-not-ready", WMDM_E_BUSY},
      {"refused", kNothing, kFile, "read-refused", static_cast<HRESULT>(0x80045004u)},
      {"the player's file gone", kFileGone, kFile, "", static_cast<HRESULT>(0x80070002u)},
      {"player pulled out", kPulledOut, kFile, "", WMDM_E_INTERFACEDEAD},
  };
  const fs::path computer = root_dir_ / "computer";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(computer);
    fs::create_directories(computer);
    StorageTarget t;
    Target(c.faults, c.setup == kFolderItself, c.setup == kFileGone, c.setup == kPulledOut, &t);
    ASSERT_NE(t.file, nullptr);
    IWMDMStorageControl* target = t.target;
    Callback progress;
    // The interface is only declared, so any object stands in: the service
    // must refuse the call before it would touch one.
    IWMDMOperation* operation = c.setup == kOperation ? reinterpret_cast<IWMDMOperation*>(&progress) : nullptr;
    WString path = SimWideFromPath(computer / "back.bin");
    EXPECT_EQ(target->Read(c.mode, c.setup == kNoPath ? nullptr : path.data(), &progress, operation), c.result);
    EXPECT_TRUE(progress.calls.empty());
    EXPECT_EQ(progress.references, 1);
    EXPECT_TRUE(fs::is_empty(computer));
    ReleaseAndClear(t.folder);
    ReleaseAndClear(t.file);
  }
}

TEST_F(SimService, DeleteRemovesThePlayersFile) {
  ASSERT_EQ(Create(), S_OK);
  ASSERT_EQ(Authenticate(), S_OK);
  enum Setup { kNothing, kNoProgress, kFolderItself, kFileGone, kPulledOut };
  struct Case {
    const char* name;
    Setup setup;
    const char* faults;
    HRESULT result;
    bool fileLeft;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"removed", kNothing, "", S_OK, false, {"Begin(1)", "End()"}},
      {"removed without progress", kNoProgress, "", S_OK, false, {}},
      {"the storage folder itself", kFolderItself, "", WMDM_E_NOTSUPPORTED, true, {}},
      {"refused", kNothing, "delete-refused", static_cast<HRESULT>(0x80070005u), true, {}},
      {"gone already", kFileGone, "", static_cast<HRESULT>(0x80070002u), false, {}},
      {"player pulled out", kPulledOut, "", WMDM_E_INTERFACEDEAD, true, {}},
  };
  const fs::path onPlayer = SimStorageFolder("zr410", "Internal") / "NK.bin";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StorageTarget t;
    Target(c.faults, c.setup == kFolderItself, c.setup == kFileGone, c.setup == kPulledOut, &t);
    ASSERT_NE(t.file, nullptr);
    IWMDMStorageControl* target = t.target;
    Callback progress;
    EXPECT_EQ(target->Delete(WMDM_MODE_BLOCK, c.setup == kNoProgress ? nullptr : &progress), c.result);
    EXPECT_EQ(progress.calls, c.calls);
    EXPECT_EQ(progress.references, 1);
    EXPECT_EQ(fs::exists(onPlayer), c.fileLeft);
    EXPECT_TRUE(fs::is_directory(onPlayer.parent_path()));
    ReleaseAndClear(t.folder);
    ReleaseAndClear(t.file);
  }
}

// A write that lands wrong still reports a whole, good copy; only reading the
// file back shows the damage.
TEST_F(SimService, WriteFaultsLeaveAWrongFileBehindASuccessfulInsert) {
  ASSERT_EQ(Create(), S_OK);
  ASSERT_EQ(Authenticate(), S_OK);
  struct Case {
    const char* faults;
    size_t size;
    size_t kept;        // bytes left on the player
    ptrdiff_t flipped;  // the byte inverted among them, -1 for none
  };
  const Case cases[] = {
      {"damaged-write", 10000, 10000, 5000},
      {"damaged-write=0", 10000, 10000, 0},
      {"damaged-write=0x2000", 10000, 10000, 8192},
      {"damaged-write=99999", 10000, 10000, 9999},
      {"damaged-write", 0, 0, -1},
      {"short-write", 10001, 5001, -1},
      {"short-write=1", 10000, 9999, -1},
      {"short-write=99999", 10000, 0, -1},
      {"short-write=2000 damaged-write=99999", 10000, 8000, 7999},
  };
  const fs::path back = root_dir_ / "back.bin";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults);
    std::string content(c.size, 0);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 131 % 251);
    WriteFile(source_, content);
    std::string expected = content.substr(0, c.kept);
    if (c.flipped >= 0) expected[c.flipped] = static_cast<char>(expected[c.flipped] ^ 0xFF);
    std::vector<std::string> wholeCopy = {"Begin(" + std::to_string(c.size) + ")"};
    for (size_t done = 4096; c.size != 0; done += 4096) {
      wholeCopy.push_back("Progress(" + std::to_string(std::min(done, c.size)) + ")");
      if (done >= c.size) break;
    }
    wholeCopy.push_back("End()");

    SimFaults f;
    std::string error;
    ASSERT_TRUE(SimParseFaults(std::string(c.faults) + " chunk=4096", &f, &error)) << error;
    SimSetFaults(f);
    IWMDMStorageControl3* control = StorageControl("Internal");
    ASSERT_NE(control, nullptr);
    IWMDMStorageControl* file = nullptr;
    Callback progress;
    ASSERT_EQ(Insert(control, &progress, WSTR("NK.bin"), &file), S_OK);
    EXPECT_EQ(progress.calls, wholeCopy);
    EXPECT_EQ(Contents(SimStorageFolder("zr410", "Internal") / "NK.bin"), expected);
    ASSERT_EQ(Read(file, back, nullptr), S_OK);
    EXPECT_EQ(Contents(back), expected);
    ReleaseAndClear(file);
    ReleaseAndClear(control);
  }
}

// Each query that a description names fails alone; a player that is pulled
// out answers every query as gone.
TEST_F(SimService, DeviceQueriesFailAsDescribedOrWhenRemoved) {
  ASSERT_EQ(Create(), S_OK);
  ASSERT_EQ(Authenticate(), S_OK);
  IWMDeviceManager2* manager = Manager();
  ASSERT_NE(manager, nullptr);
  // What each query gives: S_OK, or the failure it was set up for.
  auto queries = [&](std::vector<HRESULT>* results, bool* device2) {
    IWMDMEnumDevice* devices = nullptr;
    IWMDMDevice* device = nullptr;
    IWMDMDevice2* second = nullptr;
    IWMDMEnumStorage* storages = nullptr;
    ULONG fetched = 0;
    ASSERT_EQ(manager->EnumDevices2(&devices), S_OK);
    ASSERT_EQ(devices->Next(1, &device, &fetched), S_OK);
    ReleaseAndClear(devices);
    WCHAR text[260];
    DWORD number = 0;
    *results = {device->GetType(&number),    device->GetManufacturer(text, 260), device->GetName(text, 260),
                device->GetVersion(&number), device->GetStatus(&number),         device->EnumStorage(&storages)};
    *device2 = device->QueryInterface(IID_IWMDMDevice2, reinterpret_cast<void**>(&second)) == S_OK;
    ReleaseAndClear(second);
    ReleaseAndClear(storages);
    ReleaseAndClear(device);
  };
  const uint32_t bits[] = {kSimQueryType,    kSimQueryManufacturer, kSimQueryName,
                           kSimQueryVersion, kSimQueryStatus,       kSimQueryStorages};
  SimPlayerDescription d;
  d.manufacturer = "Corvane";
  d.name = "ZR-410";
  d.storages = {{"Internal", true}};
  std::vector<HRESULT> results;
  bool device2 = false;
  for (size_t i = 0; i < std::size(bits); ++i) {
    d.failingQueries = bits[i];
    ASSERT_TRUE(SimAddPlayer("zr410", d));
    queries(&results, &device2);
    std::vector<HRESULT> want(std::size(bits), S_OK);
    want[i] = WMDM_E_PROCESSFAILED;
    EXPECT_EQ(results, want) << "failing query " << i;
    EXPECT_TRUE(device2);
  }
  d.failingQueries = kSimQueryDevice2;
  ASSERT_TRUE(SimAddPlayer("zr410", d));
  queries(&results, &device2);
  EXPECT_EQ(results, std::vector<HRESULT>(std::size(bits), S_OK));
  EXPECT_FALSE(device2);

  // Removed while the caller holds its device: every query says so.
  d.failingQueries = 0;
  ASSERT_TRUE(SimAddPlayer("zr410", d));
  IWMDMDevice* device = nullptr;
  ASSERT_EQ(manager->GetDeviceFromCanonicalName(SimCanonicalName("zr410"), &device), S_OK);
  SimUnplugPlayer("zr410");
  WCHAR text[260];
  DWORD status = 0;
  IWMDMEnumStorage* storages = nullptr;
  EXPECT_EQ(device->GetName(text, 260), WMDM_E_INTERFACEDEAD);
  EXPECT_EQ(device->EnumStorage(&storages), WMDM_E_INTERFACEDEAD);
  EXPECT_EQ(device->GetStatus(&status), S_OK);
  EXPECT_EQ(status, WMDM_STATUS_DEVICE_NOTPRESENT);
  DWORD count = 9;
  EXPECT_EQ(manager->GetDeviceCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ReleaseAndClear(device);
  ReleaseAndClear(manager);
}
