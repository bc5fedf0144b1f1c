// The DeviceManager against the simulated service: creation and its
// failures, listing players, holding one, and the device events it forwards.
#include <gtest/gtest.h>

#include "crypto/bignum/bigerror.h"
#include "device/transfer.h"
#include "platform/com.h"
#include "tests/device/sim_fixture.h"

namespace {

constexpr int kWait = 32514;
constexpr int kArrow = 32512;

using DeviceManagerTest = SimDeviceTest;

TEST_F(DeviceManagerTest, CreationAdvisesOneSinkAndDestructionUndoesEverything) {
  Create();
  EXPECT_EQ(SimAdvisedSinks(), 1u);
  EXPECT_GT(SimHeldClientReferences(), 0);
  EXPECT_EQ(DeviceManagerDestroy(dm_), S_OK);
  dm_ = INVALID_DEVICE_MANAGER;
  EXPECT_EQ(SimAdvisedSinks(), 0u);
  EXPECT_EQ(SimHeldClientReferences(), 0);
  if (kCursorsObservable) {
    const std::vector<int> expected = {kWait, kArrow, kWait, kArrow};
    EXPECT_EQ(CursorHistory(), expected);
  }
}

TEST_F(DeviceManagerTest, FailedCreationLeavesNothingBehind) {
  struct Case {
    const char* name;
    SimFaults faults;
  };
  SimFaults noProtocols, rejected, protocolOneFirst;
  noProtocols.noProtocols = true;
  rejected.rejectAuth = true;
  protocolOneFirst.protocolFirst = 1;  // the first protocol offered is taken, and 1 is not spoken
  SimFaults noManager;
  noManager.managerRefused = true;  // after a handshake that succeeded
  std::vector<Case> cases = {Case{"no protocols", noProtocols}, Case{"rejected", rejected},
                             Case{"protocol 1 first", protocolOneFirst}, Case{"manager refused", noManager}};
  // Each step of the secure channel that can fail (the exact results are the
  // service suite's).
  for (const char* channel :
       {"channel-cert-format=0", "channel-cert-format=88", "channel-signed-length=53", "channel-foreign-cert",
        "channel-challenge-signature", "channel-short-pass0", "channel-distrust-caller", "channel-no-square-root",
        "channel-short-pass1", "channel-c1-off-curve", "channel-key-signature"}) {
    SimFaults f;
    std::string error;
    ASSERT_TRUE(SimParseFaults(channel, &f, &error)) << error;
    cases.push_back({channel, f});
  }
  for (const Case& c : cases) {
    BigErrorResetForTests();
    SimSetFaults(c.faults);
    ClearCursorHistory();
    EXPECT_EQ(DeviceManagerCreate(window_.hwnd(), WM_DEVICENOTIFY), INVALID_DEVICE_MANAGER) << c.name;
    // TearDown checks objects, references and task memory; these belong here.
    EXPECT_EQ(SimAdvisedSinks(), 0u) << c.name;
    if (kCursorsObservable) {
      EXPECT_EQ(CursorHistory().back(), kArrow) << c.name;
    }
  }
}

// Whoever stopped the handshake is told apart: a service whose certificate
// we refused did not refuse us.
TEST_F(DeviceManagerTest, CreationSaysWhichSideStoppedTheHandshake) {
  const struct {
    const char* faults;
    DeviceManagerCreateStage stage;
    HandshakeFailure handshake;
  } cases[] = {
      {"reject-auth", DeviceManagerCreateStage::kAuthentication, HandshakeFailure::kServiceRefused},
      {"channel-distrust-caller", DeviceManagerCreateStage::kAuthentication, HandshakeFailure::kServiceRefused},
      {"channel-short-pass0", DeviceManagerCreateStage::kAuthentication, HandshakeFailure::kServiceReply},
      {"channel-short-pass1", DeviceManagerCreateStage::kAuthentication, HandshakeFailure::kServiceReply},
      {"channel-foreign-cert", DeviceManagerCreateStage::kAuthentication, HandshakeFailure::kServiceCertificate},
      {"channel-cert-format=0", DeviceManagerCreateStage::kAuthentication, HandshakeFailure::kServiceCertificate},
      {"channel-signed-length=53", DeviceManagerCreateStage::kAuthentication, HandshakeFailure::kServiceCertificate},
      {"channel-challenge-signature", DeviceManagerCreateStage::kAuthentication, HandshakeFailure::kServiceSignature},
      {"channel-key-signature", DeviceManagerCreateStage::kAuthentication, HandshakeFailure::kServiceSignature},
      {"channel-c1-off-curve", DeviceManagerCreateStage::kAuthentication, HandshakeFailure::kServiceSignature},
      {"no-protocols", DeviceManagerCreateStage::kAuthentication, HandshakeFailure::kNone},
      {"manager-refused", DeviceManagerCreateStage::kManager, HandshakeFailure::kNone},
  };
  for (const auto& c : cases) {
    BigErrorResetForTests();
    SimFaults faults;
    std::string error;
    ASSERT_TRUE(SimParseFaults(c.faults, &faults, &error)) << error;
    SimSetFaults(faults);
    DeviceManagerCreateResult result = {};
    result.handshake = HandshakeFailure::kResources;  // must be overwritten
    EXPECT_EQ(DeviceManagerCreateWithResult(window_.hwnd(), WM_DEVICENOTIFY, &result), INVALID_DEVICE_MANAGER)
        << c.faults;
    EXPECT_EQ(result.stage, c.stage) << c.faults;
    EXPECT_EQ(result.handshake, c.handshake) << c.faults;
  }
}

// Players of one make and name are told apart by the service's canonical name.
TEST_F(DeviceManagerTest, ConnectByCanonicalNameHoldsThatOnePlayer) {
  AddPlayer("p1", Player("Corvane", "ZR-410", 1));
  AddPlayer("p2", Player("Corvane", "ZR-410", 2));
  SimPlayerDescription asleep = Player("Corvane", "ZR-410", 3);
  asleep.ready = false;
  AddPlayer("p3", asleep);
  Create();
  EXPECT_EQ(ConnectDeviceByCanonicalName(dm_, SimCanonicalName("p2")), S_OK);
  SetTransferSuccessBox(false);
  const std::filesystem::path font = MakeFile("fonts/a.fnt", "font\n", 100);
  EXPECT_EQ(TransferFile(dm_, WindowsPath(font).c_str(), KIND_FONT), S_OK);
  SetTransferSuccessBox(true);
  EXPECT_EQ(FilesIn("p2", "Internal"), std::vector<std::string>{"a.fnt"});
  EXPECT_TRUE(FilesIn("p1", "Internal").empty());
  EXPECT_EQ(ConnectDeviceByCanonicalName(dm_, SimCanonicalName("p3")), E_FAIL);  // not ready
  EXPECT_EQ(DisconnectDevice(dm_), E_FAIL);
  EXPECT_EQ(ConnectDeviceByCanonicalName(dm_, WSTR("nobody")), E_FAIL);
  EXPECT_EQ(ConnectDeviceByCanonicalName(dm_, nullptr), E_POINTER);
}

// Device events are a convenience: a service that will not take the sink still
// gives a working session, which then hears of no arrivals.
TEST_F(DeviceManagerTest, RefusedSinkDoesNotFailCreation) {
  SimFaults faults;
  faults.adviseFails = true;
  SimSetFaults(faults);
  AddPlayer("p1", Player(kMake, kModel, 1));
  Create();
  EXPECT_EQ(SimAdvisedSinks(), 0u);
  SimFireMessage(2, "p1");
  window_.Pump();
  EXPECT_TRUE(window_.messages().empty());
  DFTInfo record = {};
  EXPECT_EQ(EnumNextDevice(dm_, &record), S_OK);
  EXPECT_EQ(ConnectDevice(dm_, &record), S_OK);
}

TEST_F(DeviceManagerTest, EnumerationSkipsNonStorageAndFailingDevicesAndStartsOver) {
  AddPlayer("p1", Player("Corvane", "ZR-410", 7));
  SimPlayerDescription notStorage = Player("Corvane", "Dock", 1);
  notStorage.type = 0x1;  // playback only
  AddPlayer("p2", notStorage);
  SimPlayerDescription failing = Player("Corvane", "Broken", 1);
  failing.failingQueries = kSimQueryName;
  AddPlayer("p3", failing);
  AddPlayer("p4", Player("Halden", "Mini", 0));
  // The longest texts that the 260-unit fields hold, their last unit included.
  const std::string longMake = std::string(258, 'm') + "K", longName = std::string(258, 'n') + "Z";
  AddPlayer("p5", Player(longMake, longName, 3));
  Create();

  struct Step {
    HRESULT result;
    const char* make;
    const char* name;
    DWORD version;
  };
  const Step steps[] = {
      {S_OK, "Corvane", "ZR-410", 7},
      {E_FAIL, nullptr, nullptr, 0},                // not a storage device
      {WMDM_E_PROCESSFAILED, nullptr, nullptr, 0},  // GetName's own error
      {S_OK, "Halden", "Mini", 0},
      {S_OK, longMake.c_str(), longName.c_str(), 3},
      {S_FALSE, nullptr, nullptr, 0},
      {S_OK, "Corvane", "ZR-410", 7},  // a new enumeration
  };
  for (const Step& s : steps) {
    DFTInfo record = Record("stale", "stale", 99);
    EXPECT_EQ(EnumNextDevice(dm_, &record), s.result);
    if (s.result == S_OK) {
      EXPECT_EQ(Utf8(record.szDeviceManufacturer), s.make);
      EXPECT_EQ(Utf8(record.szDeviceName), s.name);
      EXPECT_EQ(record.dwDeviceVersion, s.version);
    }
  }
}

TEST_F(DeviceManagerTest, WithoutPlayersNothingIsListedOrHeld) {
  Create();
  DFTInfo record = {};
  ClearCursorHistory();
  EXPECT_EQ(EnumNextDevice(dm_, &record), S_FALSE);
  if (kCursorsObservable) {
    EXPECT_EQ(CursorHistory(), (std::vector<int>{kWait, kArrow}));
  }
  EXPECT_EQ(EnumNextDevice(dm_, &record), S_FALSE);
  record = Record(kMake, kModel, 0);
  EXPECT_EQ(ConnectDevice(dm_, &record), E_FAIL);
  EXPECT_EQ(DisconnectDevice(dm_), E_FAIL);
}

TEST_F(DeviceManagerTest, ConnectMatchesIdentityAndReadiness) {
  AddPlayer("p1", Player("Corvane", "ZR-410", 7));
  SimPlayerDescription asleep = Player("Corvane", "ZR-300", 2);
  asleep.ready = false;
  AddPlayer("p2", asleep);
  SimPlayerDescription silent = Player("Corvane", "ZR-200", 4);
  silent.failingQueries = kSimQueryVersion;
  AddPlayer("p3", silent);
  Create();

  struct Case {
    const char* make;
    const char* name;
    DWORD version;
    HRESULT result;
  };
  const Case cases[] = {
      {"Corvane", "ZR-410", 0, S_OK},  // 0 takes any version
      {"Corvane", "ZR-410", 7, S_OK},    {"Corvane", "ZR-410", 8, E_FAIL},
      {"corvane", "ZR-410", 0, E_FAIL},                                     // case matters
      {"Corvane", "ZR-41", 0, E_FAIL},                                      // a prefix is not the name
      {"Corvane", "ZR-4100", 0, E_FAIL}, {"Corvane", "ZR-300", 0, E_FAIL},  // not ready
      {"Corvane", "ZR-200", 0, S_OK},                                       // the version is not asked for
      {"Corvane", "ZR-200", 4, E_FAIL},                                     // ... and its query fails when it is
  };
  for (const Case& c : cases) {
    Connect("Corvane", "ZR-410");
    const DFTInfo record = Record(c.make, c.name, c.version);
    EXPECT_EQ(ConnectDevice(dm_, &record), c.result) << c.make << " " << c.name << " " << c.version;
    // A miss leaves nothing held, not even the device held before.
    EXPECT_EQ(DisconnectDevice(dm_), c.result == S_OK ? S_OK : E_FAIL) << c.name;
  }
}

TEST_F(DeviceManagerTest, DisconnectReleasesOnceAndConnectClosesTheEnumeration) {
  AddPlayer("p1", Player("Corvane", "ZR-410", 7));
  AddPlayer("p2", Player("Halden", "Mini", 1));
  Create();
  DFTInfo first = {};
  ASSERT_EQ(EnumNextDevice(dm_, &first), S_OK);
  ASSERT_EQ(ConnectDevice(dm_, &first), S_OK);
  // The enumeration that the listing left open was closed: listing restarts.
  DFTInfo again = {};
  ASSERT_EQ(EnumNextDevice(dm_, &again), S_OK);
  EXPECT_EQ(Utf8(again.szDeviceName), "ZR-410");

  EXPECT_EQ(DisconnectDevice(dm_), S_OK);
  EXPECT_EQ(DisconnectDevice(dm_), E_FAIL);
}

TEST_F(DeviceManagerTest, NullRecordsAreRefused) {
  Create();
  EXPECT_EQ(EnumNextDevice(dm_, nullptr), E_POINTER);
  EXPECT_EQ(ConnectDevice(dm_, nullptr), E_POINTER);
}

TEST_F(DeviceManagerTest, ArrivalAndRemovalArePostedAndNothingElse) {
  AddPlayer("p1", Player(kMake, kModel, 1));
  Create();
  for (DWORD type : {0u, 2u, 1u, 3u, 9u}) SimFireMessage(type, "p1");
  EXPECT_TRUE(window_.messages().empty()) << "device events are posted, not sent";
  window_.Pump();
  const LPARAM name = reinterpret_cast<LPARAM>(SimCanonicalName("p1"));
  const std::vector<WindowMessage> expected = {
      {WM_DEVICENOTIFY, kDeviceNotifyArrived, name, true},
      {WM_DEVICENOTIFY, kDeviceNotifyRemoved, name, true},
  };
  EXPECT_EQ(window_.messages(), expected);

  // Once destroyed, the DeviceManager hears nothing more.
  EXPECT_EQ(DeviceManagerDestroy(dm_), S_OK);
  dm_ = INVALID_DEVICE_MANAGER;
  window_.Clear();
  SimFireDeviceArrival("p1");
  window_.Pump();
  EXPECT_TRUE(window_.messages().empty());
}

}  // namespace
