// What the device layer tells a program that explains itself to a user
// rather than showing boxes: where creation stopped, the players with their
// storages, the checks of a transfer without the copy, and a copy that
// announces nothing.
#include <gtest/gtest.h>

#include "device/device_details.h"
#include "device/transfer.h"
#include "tests/device/fake_image.h"
#include "tests/device/sim_fixture.h"

namespace fs = std::filesystem;

namespace {

class ConsoleSupport : public SimDeviceTest {
 protected:
  void SetUp() override {
    SimDeviceTest::SetUp();
    FakeImageReset();
  }
  void TearDown() override {
    SetTransferSuccessBox(true);
    SimDeviceTest::TearDown();
  }
  static void Keep(const DeviceDetails& d, void* context) {
    static_cast<std::vector<DeviceDetails>*>(context)->push_back(d);
  }
  std::vector<DeviceDetails> Players() {
    std::vector<DeviceDetails> players;
    EXPECT_EQ(ListDeviceDetails(dm_, Keep, &players), S_OK);
    return players;
  }
};

TEST_F(ConsoleSupport, CreationSaysWhereItStopped) {
  AddPlayer("p1", Player(kMake, kModel, 1));
  struct Case {
    const char* what;
    SimFaults faults;
    DeviceManagerCreateStage stage;
  };
  SimFaults reject;
  reject.rejectAuth = true;
  SimFaults noProtocols;
  noProtocols.noProtocols = true;
  SimFaults noEvents;
  noEvents.adviseFails = true;
  SimFaults noManager;
  noManager.managerRefused = true;
  const Case cases[] = {
      {"working service", SimFaults{}, DeviceManagerCreateStage::kCreated},
      {"handshake refused", reject, DeviceManagerCreateStage::kAuthentication},
      {"no protocol offered", noProtocols, DeviceManagerCreateStage::kAuthentication},
      {"manager refused after the handshake", noManager, DeviceManagerCreateStage::kManager},
      {"events refused", noEvents, DeviceManagerCreateStage::kCreated},
  };
  for (const Case& c : cases) {
    SimSetFaults(c.faults);
    DeviceManagerCreateResult result = {};
    result.hr = E_UNEXPECTED;
    DeviceManager* dm = DeviceManagerCreateWithResult(window_.hwnd(), WM_DEVICENOTIFY, &result);
    EXPECT_EQ(result.stage, c.stage) << c.what;
    EXPECT_EQ(dm != INVALID_DEVICE_MANAGER, c.stage == DeviceManagerCreateStage::kCreated) << c.what;
    EXPECT_EQ(result.fDeviceEvents, c.stage == DeviceManagerCreateStage::kCreated && !c.faults.adviseFails) << c.what;
    if (c.stage == DeviceManagerCreateStage::kCreated) {
      EXPECT_EQ(result.hr, S_OK) << c.what;
      DeviceManagerDestroy(dm);
    } else {
      EXPECT_TRUE(FAILED(result.hr)) << c.what;
    }
  }
  SimSetFaults(SimFaults{});

#ifndef _WIN32
  // Without the service's class there is nothing to authenticate to. (Under
  // Windows the registry may still name the COM server DLL; the console
  // program's suite unregisters it there.)
  SimUnregisterService();
  DeviceManagerCreateResult result = {};
  DeviceManager* dm = DeviceManagerCreateWithResult(window_.hwnd(), WM_DEVICENOTIFY, &result);
  EXPECT_EQ(dm, INVALID_DEVICE_MANAGER);
  if (dm != INVALID_DEVICE_MANAGER) DeviceManagerDestroy(dm);
  EXPECT_EQ(result.stage, DeviceManagerCreateStage::kService);
  EXPECT_EQ(result.hr, REGDB_E_CLASSNOTREG);
  ASSERT_EQ(SimRegisterService(), S_OK);
#endif
}

TEST_F(ConsoleSupport, PlayersComeWithReadyStatesAndStorages) {
  SimPlayerDescription ready = Player(kMake, kModel, 0x10002, {"Internal", "Card"});
  ready.storages[1].ready = false;
  SimPlayerDescription busy = Player(kMake, "ZR-410 busy", 2);
  busy.ready = false;
  SimPlayerDescription notStorage = Player(kMake, "Speaker", 3);
  notStorage.type = 0x1;  // playback only: the selector does not list it either
  AddPlayer("p1", ready);
  AddPlayer("p2", busy);
  AddPlayer("p3", notStorage);
  Create();
  // The selector's open enumeration and the held device stay as they are.
  Connect(kMake, kModel);
  DFTInfo first = {};
  ASSERT_EQ(EnumNextDevice(dm_, &first), S_OK);

  const std::vector<DeviceDetails> players = Players();
  ASSERT_EQ(players.size(), 2u);
  EXPECT_EQ(Utf8(players[0].info.szDeviceName), kModel);
  EXPECT_EQ(players[0].info.dwDeviceVersion, 0x10002u);
  EXPECT_TRUE(players[0].fReady);
  ASSERT_EQ(players[0].cStorages, 2u);
  EXPECT_EQ(Utf8(players[0].rgStorages[0].szName), "Internal");
  EXPECT_TRUE(players[0].rgStorages[0].fReady);
  EXPECT_EQ(Utf8(players[0].rgStorages[1].szName), "Card");
  EXPECT_FALSE(players[0].rgStorages[1].fReady);
  EXPECT_TRUE(players[0].HasReadyStorage());

  EXPECT_EQ(Utf8(players[1].info.szDeviceName), "ZR-410 busy");
  EXPECT_FALSE(players[1].fReady);

  DFTInfo second = {};
  EXPECT_EQ(EnumNextDevice(dm_, &second), S_OK);
  EXPECT_EQ(Utf8(second.szDeviceName), "ZR-410 busy") << "the selector's enumeration went on where it was";
  const fs::path font = MakeFile("a.ttf", "font\n", 10);
  EXPECT_EQ(TransferFile(dm_, WindowsPath(font).c_str(), KIND_FONT), S_OK) << "the device is still held";
}

// The list keeps the first kMaxListedStorages and counts the rest; the count
// lies after the list, so a write past its end would show there.
TEST_F(ConsoleSupport, PlayerWithMoreStoragesThanTheListHoldsIsCountedWhole) {
  std::vector<std::string> names;
  for (int i = 1; i <= 20; ++i) names.push_back(std::string(1, 'S').append(std::to_string(100 + i)));
  AddPlayer("p1", Player(kMake, kModel, 1, names));
  Create();
  const std::vector<DeviceDetails> players = Players();
  ASSERT_EQ(players.size(), 1u);
  EXPECT_EQ(players[0].cStorages, 20u);
  ASSERT_EQ(players[0].ListedStorages(), kMaxListedStorages);
  for (UINT i = 0; i < kMaxListedStorages; ++i) {
    EXPECT_EQ(Utf8(players[0].rgStorages[i].szName), names[i]);
    EXPECT_TRUE(players[0].rgStorages[i].fReady) << i;
  }
}

TEST_F(ConsoleSupport, StoragesWithoutReadyOneAreSaidSo) {
  SimPlayerDescription player = Player(kMake, kModel, 1, {"Internal", "Card"});
  player.storages[0].ready = false;
  player.storages[1].ready = false;
  AddPlayer("p1", player);
  Create();
  const std::vector<DeviceDetails> players = Players();
  ASSERT_EQ(players.size(), 1u);
  EXPECT_TRUE(players[0].fReady);
  EXPECT_FALSE(players[0].HasReadyStorage());
}

TEST_F(ConsoleSupport, CheckRunsTheTransfersChecksAndSendsNothing) {
  AddPlayer("p1", Player(kMake, kModel, 1));
  Create();
  Connect(kMake, kModel);
  struct Case {
    const char* what;
    std::string header;
    size_t size;
    TransferKind kind;
    bool image, accepted, inWindow, send;
    HRESULT refused;
    const char* destination;
  };
  const Case cases[] = {
      {"signed OS image", FakeImageHeader(kMake, kModel), 0x180000, KIND_OS_IMAGE, true, true, true, true, E_FAIL,
       "NK.bin"},
      {"image of another model", FakeImageHeader(kMake, "ZR-500"), 0x180000, KIND_OS_IMAGE, true, false, true, false,
       NTE_BAD_SIGNATURE, "NK.bin"},
      {"recovery image too large", FakeImageHeader(kMake, kModel), 0x180001, KIND_RECOVERY, true, true, false, false,
       E_FAIL, "Recovery.bin"},
      {"not an image", "plain\n", 100, KIND_BOOTLOADER, false, false, true, false, E_FAIL, "EBoot.bin"},
      {"font", "plain\n", 100, KIND_FONT, false, false, true, true, E_FAIL, "x.ttf"},
  };
  for (const Case& c : cases) {
    const fs::path file = MakeFile(std::string("files/") + (c.kind == KIND_FONT ? "x.ttf" : "x.bin"), c.header, c.size);
    TransferCheck check = {};
    ASSERT_EQ(CheckTransfer(dm_, WindowsPath(file).c_str(), c.kind, &check), S_OK) << c.what;
    EXPECT_EQ(check.fImage, c.image) << c.what;
    EXPECT_EQ(check.fAccepted, c.accepted) << c.what;
    EXPECT_EQ(check.fInWindow, c.inWindow) << c.what;
    EXPECT_EQ(check.fSend, c.send) << c.what;
    EXPECT_EQ(check.cbFile, c.size) << c.what;
    if (!c.send) {
      EXPECT_EQ(check.hrRefused, c.refused) << c.what;
    }
    EXPECT_EQ(Utf8(check.szDestination), c.destination) << c.what;

    // The transfer itself comes to the same verdict.
    TransferCheck sent = {};
    const HRESULT hr = TransferFileWithCheck(dm_, WindowsPath(file).c_str(), c.kind, &sent);
    EXPECT_EQ(sent.fSend, c.send) << c.what;
    EXPECT_EQ(hr, c.send ? S_OK : c.refused) << c.what;
    fs::remove(file);
    for (const std::string& name : FilesIn("p1", "Internal")) fs::remove(SimStorageFolder("p1", "Internal") / name);
  }
  // CheckTransfer alone never reaches the player.
  const fs::path os = MakeFile("files/os.bin", FakeImageHeader(kMake, kModel), 0x180000);
  TransferCheck check = {};
  ASSERT_EQ(CheckTransfer(dm_, WindowsPath(os).c_str(), KIND_OS_IMAGE, &check), S_OK);
  EXPECT_TRUE(FilesIn("p1", "Internal").empty());
  EXPECT_EQ(CheckTransfer(dm_, WindowsPath(os).c_str(), 0x3, &check), E_INVALIDARG);
  EXPECT_EQ(CheckTransfer(dm_, WindowsPath(os).c_str(), KIND_OS_IMAGE, nullptr), E_POINTER);
  EXPECT_EQ(CheckTransfer(INVALID_DEVICE_MANAGER, WindowsPath(os).c_str(), KIND_OS_IMAGE, &check), E_HANDLE);
}

TEST_F(ConsoleSupport, SuccessBoxCanBeLeftOut) {
  AddPlayer("p1", Player(kMake, kModel, 1));
  Create();
  Connect(kMake, kModel);
  const fs::path font = MakeFile("a.ttf", "font\n", 10);
  SetTransferSuccessBox(false);
  EXPECT_EQ(TransferFile(dm_, WindowsPath(font).c_str(), KIND_FONT), S_OK);
  EXPECT_TRUE(boxes_.boxes().empty());
  EXPECT_EQ(FilesIn("p1", "Internal"), std::vector<std::string>{"a.ttf"});
  SetTransferSuccessBox(true);
  EXPECT_EQ(TransferFile(dm_, WindowsPath(font).c_str(), KIND_FONT), S_OK);
  EXPECT_EQ(boxes_.boxes().size(), 1u);
}

}  // namespace
