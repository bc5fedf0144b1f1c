// Copying files onto a player of the simulated service: which files go, under
// which name, to which storage, with which metadata and progress, and that a
// file that must not go leaves the player as it was.
#include "device/transfer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "device/transfer_testing.h"
#include "tests/device/fake_image.h"
#include "tests/device/sim_fixture.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr size_t k512K = 0x80000;
constexpr size_t k1536K = 0x180000;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class Transfer : public SimDeviceTest {
 protected:
  void SetUp() override {
    SimDeviceTest::SetUp();
    FakeImageReset();
  }
  void TearDown() override {
    EXPECT_FALSE(FakeImageIsOpen());
    SimDeviceTest::TearDown();
  }
  // One connected player with one storage, and a signed image of each size.
  void Attach(SimPlayerDescription player = Player(kMake, kModel, 1)) {
    AddPlayer("p1", player);
    Create();
    Connect(kMake, kModel);
  }
  HRESULT Send(const fs::path& source, TransferKind kind) {
    return TransferFile(dm_, WindowsPath(source).c_str(), kind);
  }
  std::string Signed() const { return FakeImageHeader(kMake, kModel); }
  void ClearStorage(const std::string& storage = "Internal") {
    for (const std::string& name : FilesIn("p1", storage)) fs::remove(SimStorageFolder("p1", storage) / name);
  }
};

// The windows themselves are the rules suite's table; here only that a
// transfer applies its kind's window before the player is touched.
TEST_F(Transfer, KindsSizeWindowDecidesWhatIsSent) {
  Attach();
  const struct {
    size_t size;
    bool sent;
  } cases[] = {{k512K - 1, false}, {k512K, true}};
  for (const auto& c : cases) {
    const fs::path source = MakeFile("fw.bin", Signed(), c.size);
    EXPECT_EQ(Send(source, KIND_RECOVERY), c.sent ? S_OK : E_FAIL) << c.size;
    EXPECT_EQ(FilesIn("p1", "Internal").size(), c.sent ? 1u : 0u) << c.size;
    ClearStorage();
  }
}

TEST_F(Transfer, WholeSizeCountsNotItsLow32Bits) {
  Attach();
  SimFaults guard;  // should the window fail, do not copy 4 GiB
  guard.insertFails = true;
  guard.insertFailAfter = 0;
  SimSetFaults(guard);
  const fs::path source = MakeFile("huge.bin", Signed(), 0);
  const unsigned long long size = 0x100000000ull + 0x1000;  // low 32 bits fit a bootloader
#ifdef _WIN32
  HANDLE h = CreateFileW(source.wstring().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  LONG high = static_cast<LONG>(size >> 32);
  SetFilePointer(h, static_cast<LONG>(size & 0xFFFFFFFFu), &high, FILE_BEGIN);
  ASSERT_TRUE(SetEndOfFile(h));
  CloseHandle(h);
#else
  fs::resize_file(source, size);
#endif
  EXPECT_EQ(Send(source, KIND_BOOTLOADER), E_FAIL);
  SimInsertRecord insert;
  EXPECT_FALSE(SimLastInsert(&insert));
  fs::remove(source);
}

TEST_F(Transfer, FilesGoUnderTheirDestinationNamesWithFormatCode) {
  Attach();
  struct Case {
    const char* source;
    TransferKind kind;
    const char* destination;
  };
  const Case cases[] = {
      {"in/my boot.bin", KIND_BOOTLOADER, "EBoot.bin"},
      {"in/NK.bin", KIND_RECOVERY | 0x80000001u, "Recovery.bin"},  // bits outside the kind mask are ignored
      {"in/Recovery.bin", KIND_OS_IMAGE, "NK.bin"},
      {"fonts/Sans Bold.fnt", KIND_FONT, "Sans Bold.fnt"},
  };
  for (const Case& c : cases) {
    const size_t size = c.kind & KIND_OS_IMAGE ? k1536K : c.kind & KIND_RECOVERY ? k512K : 1000;
    const fs::path source = MakeFile(c.source, c.kind == KIND_FONT ? "font\n" : Signed(), size);
    EXPECT_EQ(Send(source, c.kind), S_OK) << c.source;
    ASSERT_EQ(FilesIn("p1", "Internal"), std::vector<std::string>{c.destination}) << c.source;
    EXPECT_EQ(ReadAll(SimStorageFolder("p1", "Internal") / c.destination), ReadAll(source)) << c.source;

    SimInsertRecord insert;
    ASSERT_TRUE(SimLastInsert(&insert));
    EXPECT_EQ(insert.mode, WMDM_MODE_BLOCK | WMDM_CONTENT_FILE);
    EXPECT_EQ(insert.type, 0u);
    EXPECT_FALSE(insert.hadOperation);
    EXPECT_TRUE(insert.hadProgress);
    ASSERT_EQ(insert.metadata.size(), 1u);
    EXPECT_TRUE(insert.metadata[0].name == WString(g_wszWMDMFormatCode));
    EXPECT_EQ(insert.metadata[0].type, WMDM_TYPE_DWORD);
    EXPECT_EQ(insert.metadata[0].value, (std::vector<BYTE>{0x02, 0xB8, 0x00, 0x00}));
    ClearStorage();
  }

  const std::vector<ShownBox> boxes = boxes_.boxes();
  ASSERT_EQ(boxes.size(), std::size(cases));
  for (const ShownBox& box : boxes) {
    EXPECT_EQ(box.text, "Download Success!! Please press 'OK' ");
    EXPECT_EQ(box.caption, "Status");
    EXPECT_TRUE(box.ownerless);
    if (kBoxTopmostObservable) {
      EXPECT_TRUE(box.topmost);
    }
    EXPECT_FALSE(box.hasIcon);
  }
}

TEST_F(Transfer, FontsGoWhateverTheChecksFindAndWithoutFolderKeepTheWholeName) {
  Attach();
  // A font that happens to be an image signed for another player.
  const fs::path odd = MakeFile("fonts/odd.fnt", FakeImageHeader("Other", "Thing"), 300);
  EXPECT_EQ(Send(odd, KIND_FONT), S_OK);
  EXPECT_EQ(FilesIn("p1", "Internal"), std::vector<std::string>{"odd.fnt"});
  const std::vector<std::string> checks = {"open", "expect Corvane|ZR-410", "accept no", "close"};
  EXPECT_EQ(FakeImageCalls(), checks);
  ClearStorage();

  // A path without a backslash names the file on the player as it stands.
  MakeFile("fonts/plain.fnt", "font\n", 300);
  const fs::path before = fs::current_path();
  fs::current_path(dir_ / "fonts");
  EXPECT_EQ(TransferFile(dm_, WSTR("plain.fnt"), KIND_FONT), S_OK);
  fs::current_path(before);
  EXPECT_EQ(FilesIn("p1", "Internal"), std::vector<std::string>{"plain.fnt"});
}

// Fonts go unchecked, so one named as a firmware file would put unchecked
// content where the boot loader looks.
TEST_F(Transfer, AFontNamedAsFirmwareIsRefusedAndTheFirmwareStays) {
  Attach();
  std::ofstream(SimStorageFolder("p1", "Internal") / "NK.bin", std::ios::binary) << "the player's firmware";
  const std::vector<std::string> before = Snapshot(dir_ / "players");
  for (const char* name : {"NK.bin", "nk.bin", "EBoot.BIN", "Recovery.bin."}) {
    const fs::path font = MakeFile(std::string("fonts/") + name, "a font\n", 300);
    TransferCheck check = {};
    EXPECT_EQ(TransferFileWithCheck(dm_, WindowsPath(font).c_str(), KIND_FONT, &check), E_ACCESSDENIED) << name;
    EXPECT_TRUE(check.fReservedName && !check.fSend) << name;
    EXPECT_EQ(Snapshot(dir_ / "players"), before) << name;
    fs::remove(font);
  }
  SimInsertRecord insert;
  EXPECT_FALSE(SimLastInsert(&insert));
  // A name that only contains one still goes.
  EXPECT_EQ(Send(MakeFile("fonts/NK.bin.ttf", "a font\n", 300), KIND_FONT), S_OK);
}

TEST_F(Transfer, RefusedFilesLeaveThePlayerUntouched) {
  SimPlayerDescription player = Player(kMake, kModel, 1, {"Internal", "Card"});
  Attach(player);
  std::ofstream(SimStorageFolder("p1", "Internal") / "EBoot.bin", std::ios::binary) << "old boot";  // the player's own
  const std::vector<std::string> before = Snapshot(dir_ / "players");
  struct Case {
    const char* what;
    std::string header;
    TransferKind kind;
    HRESULT result;
  };
  const Case cases[] = {
      {"signed for another model", FakeImageHeader(kMake, "ZR-400"), KIND_BOOTLOADER, NTE_BAD_SIGNATURE},
      {"signed for another make", FakeImageHeader("Halden", kModel), KIND_BOOTLOADER, NTE_BAD_SIGNATURE},
      {"not an image", "just bytes\n", KIND_BOOTLOADER, E_FAIL},
      {"signed but too large", Signed(), KIND_BOOTLOADER, E_FAIL},
      {"no kind", Signed(), 0, E_INVALIDARG},
      {"two kinds", Signed(), KIND_BOOTLOADER | KIND_FONT, E_INVALIDARG},
  };
  for (const Case& c : cases) {
    const size_t size = std::string(c.what).find("large") != std::string::npos ? k512K + 1 : 1000;
    const fs::path source = MakeFile("in/fw.bin", c.header, size);
    EXPECT_EQ(Send(source, c.kind), c.result) << c.what;
    EXPECT_FALSE(FakeImageIsOpen()) << c.what;
  }
  // A font path that ends in a backslash names no file to store.
  EXPECT_EQ(TransferFile(dm_, WSTR("C:\\fonts\\"), KIND_FONT), E_INVALIDARG);
  EXPECT_EQ(Snapshot(dir_ / "players"), before);
  SimInsertRecord insert;
  EXPECT_FALSE(SimLastInsert(&insert));
  EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(Transfer, ProgressIsSentFromBeginToEndAfterTheImageIsClosed) {
  Attach();
  SimFaults faults;
  faults.chunkBytes = 0x10000;  // eight steps for a 512 KiB image
  SimSetFaults(faults);
  bool openDuringCopy = false;
  window_.onMessage = [&](const WindowMessage&) { openDuringCopy |= FakeImageIsOpen(); };

  ASSERT_EQ(Send(MakeFile("fw.bin", Signed(), k512K), KIND_RECOVERY), S_OK);
  EXPECT_FALSE(openDuringCopy) << "the image must be closed before anything is sent";
  const std::vector<std::string> checks = {"open", "expect Corvane|ZR-410", "accept yes", "close"};
  EXPECT_EQ(FakeImageCalls(), checks);

  const std::vector<WindowMessage>& m = window_.messages();
  SimInsertRecord insert;
  ASSERT_TRUE(SimLastInsert(&insert));
  ASSERT_EQ(m.size(), insert.progressCalls.size());
  ASSERT_GE(m.size(), 10u);  // begin, eight steps (at least), end
  EXPECT_EQ(m.front(), (WindowMessage{WM_DEVICENOTIFY, kDeviceNotifyProgress, kDeviceNotifyBegin, false}));
  EXPECT_EQ(m.back(), (WindowMessage{WM_DEVICENOTIFY, kDeviceNotifyProgress, kDeviceNotifyEnd, false}));
  LPARAM last = 0;
  for (size_t i = 1; i + 1 < m.size(); ++i) {
    EXPECT_EQ(m[i].msg, WM_DEVICENOTIFY);
    EXPECT_EQ(m[i].wParam, kDeviceNotifyProgress);
    EXPECT_FALSE(m[i].posted);
    EXPECT_GE(m[i].lParam, last) << i;
    EXPECT_LE(m[i].lParam, 100) << i;
    last = m[i].lParam;
  }
  EXPECT_EQ(last, 100) << "the last step reports all ticks";
  window_.Pump();
  EXPECT_EQ(m.size(), insert.progressCalls.size()) << "nothing posted";
}

TEST_F(Transfer, FirstReadyStorageOfTheFirstMatchingPlayerReceivesTheFile) {
  SimPlayerDescription first = Player(kMake, kModel, 1, {"Busy", "Card"});
  first.storages[0].ready = false;
  AddPlayer("p1", first);
  AddPlayer("p2", Player(kMake, kModel, 1, {"Busy", "Card"}));  // identical, enumerated second
  Create();
  Connect(kMake, kModel);
  ASSERT_EQ(Send(MakeFile("fw.bin", Signed(), 1000), KIND_BOOTLOADER), S_OK);
  EXPECT_TRUE(FilesIn("p1", "Busy").empty());
  EXPECT_EQ(FilesIn("p1", "Card"), std::vector<std::string>{"EBoot.bin"});
  EXPECT_TRUE(FilesIn("p2", "Busy").empty());
  EXPECT_TRUE(FilesIn("p2", "Card").empty());
}

TEST_F(Transfer, FailedCopiesReportFailureAndLeaveNoFile) {
  struct Case {
    const char* what;
    void (*set)(SimFaults&);
    bool attempted;
  };
  const Case cases[] = {
      {"insert fails halfway", [](SimFaults& f) { f.insertFails = true; }, true},
      {"player pulled out halfway", [](SimFaults& f) { f.removeDuringTransfer = true; }, true},
      {"no storage ready", [](SimFaults& f) { f.storagesNotReady = true; }, false},
  };
  Attach();
  for (const Case& c : cases) {
    SimReset();
    SimSetPlayerFolder(dir_ / "players");
    ASSERT_NO_FATAL_FAILURE(Connect(kMake, kModel));
    SimFaults faults;
    faults.chunkBytes = 0x1000;
    c.set(faults);
    SimSetFaults(faults);
    window_.Clear();

    const HRESULT hr = Send(MakeFile("fw.bin", Signed(), 0x8000), KIND_BOOTLOADER);
    EXPECT_LT(hr, 0) << c.what;
    EXPECT_TRUE(FilesIn("p1", "Internal").empty()) << c.what;
    SimInsertRecord insert;
    EXPECT_EQ(SimLastInsert(&insert), c.attempted) << c.what;
    if (c.attempted) {
      EXPECT_EQ(hr, insert.result) << c.what << ": the service's error is passed on";
      ASSERT_FALSE(window_.messages().empty());
      EXPECT_EQ(window_.messages().back().lParam, kDeviceNotifyEnd) << c.what << ": the bar goes away";
    }
  }
  EXPECT_TRUE(boxes_.boxes().empty());
  // The removal reached the window as a posted event.
  window_.Clear();
  window_.Pump();
  ASSERT_EQ(window_.messages().size(), 1u);
  EXPECT_EQ(window_.messages()[0].wParam, kDeviceNotifyRemoved);
}

// The format code is worth having but not worth failing the copy over: when
// the service cannot make the metadata, the file goes without any.
TEST_F(Transfer, MetadataTroubleSendsTheFileWithoutMetadata) {
  struct Case {
    const char* what;
    bool createFails;
    bool addFails;
    bool hadMetadata;
  };
  const Case cases[] = {
      {"metadata made", false, false, true},
      {"no metadata object", true, false, false},
      {"format code not added", false, true, false},
  };
  Attach();
  const fs::path source = MakeFile("fw.bin", Signed(), 1000);
  for (const Case& c : cases) {
    SimFaults faults;
    faults.metadataCreateFails = c.createFails;
    faults.metadataAddFails = c.addFails;
    SimSetFaults(faults);
    EXPECT_EQ(Send(source, KIND_BOOTLOADER), S_OK) << c.what;
    EXPECT_EQ(ReadAll(SimStorageFolder("p1", "Internal") / "EBoot.bin"), ReadAll(source)) << c.what;
    SimInsertRecord insert;
    ASSERT_TRUE(SimLastInsert(&insert));
    EXPECT_EQ(insert.hadMetadata, c.hadMetadata) << c.what << ": an empty object is not the same as none";
    EXPECT_EQ(insert.metadata.size(), c.hadMetadata ? 1u : 0u) << c.what;
    ClearStorage();
  }
  EXPECT_EQ(boxes_.boxes().size(), std::size(cases));
  // TearDown finds any metadata object that was made and not released.
}

TEST_F(Transfer, AFailedCopyMovesOnToTheNextReadyStorage) {
  struct Case {
    const char* what;
    const char* failing;  // storage whose Insert3 fails; "" for every storage
    HRESULT result;
    const char* landsOn;  // nullptr: nowhere
    size_t attempts;
  };
  const Case cases[] = {
      {"first storage fails", "Internal", S_OK, "Card", 2},
      {"second storage fails", "Card", S_OK, "Internal", 1},
      {"every storage fails", "", static_cast<HRESULT>(0x8007001Fu), nullptr, 2},
  };
  Attach(Player(kMake, kModel, 1, {"Internal", "Card"}));
  const fs::path source = MakeFile("fw.bin", Signed(), 0x8000);
  size_t boxes = 0;
  for (const Case& c : cases) {
    SimFaults faults;
    faults.chunkBytes = 0x1000;
    faults.insertFails = true;
    std::snprintf(faults.insertFailStorage, sizeof faults.insertFailStorage, "%s", c.failing);
    SimSetFaults(faults);
    window_.Clear();

    const HRESULT hr = Send(source, KIND_BOOTLOADER);
    EXPECT_EQ(hr, c.result) << c.what;
    for (const char* storage : {"Internal", "Card"}) {
      const bool here = c.landsOn != nullptr && std::string(c.landsOn) == storage;
      EXPECT_EQ(FilesIn("p1", storage), here ? std::vector<std::string>{"EBoot.bin"} : std::vector<std::string>{})
          << c.what << " " << storage;
    }
    if (c.landsOn != nullptr) {
      EXPECT_TRUE(ReadAll(SimStorageFolder("p1", c.landsOn) / "EBoot.bin") == ReadAll(source)) << c.what;
    }
    // The run ends with the last storage tried, and its result is the one given.
    SimInsertRecord insert;
    ASSERT_TRUE(SimLastInsert(&insert));
    EXPECT_EQ(insert.storage, c.landsOn != nullptr ? c.landsOn : "Card") << c.what;
    EXPECT_EQ(insert.result, hr) << c.what;
    // Every step of these copies lies past 0%, so a 0 marks a bar being made;
    // each attempt's bar is removed again.
    size_t begun = 0;
    for (const WindowMessage& m : window_.messages()) begun += m.lParam == kDeviceNotifyBegin;
    EXPECT_EQ(begun, c.attempts) << c.what;
    ASSERT_FALSE(window_.messages().empty());
    EXPECT_EQ(window_.messages().back().lParam, kDeviceNotifyEnd) << c.what;

    boxes += hr == S_OK;
    EXPECT_EQ(boxes_.boxes().size(), boxes) << c.what << ": the success box only for a copy made";
    ClearStorage("Internal");
    ClearStorage("Card");
  }
}

TEST_F(Transfer, WithoutAHeldDeviceNothingIsSent) {
  AddPlayer("p1", Player(kMake, kModel, 1));
  Create();
  const fs::path font = MakeFile("fonts/a.fnt", "font\n", 100);
  ClearCursorHistory();
  EXPECT_EQ(Send(font, KIND_FONT), E_FAIL);
  if (kCursorsObservable) {
    EXPECT_EQ(CursorHistory(), (std::vector<int>{32514, 32512})) << "wait, then the arrow again";
  }
  Connect(kMake, kModel);
  ASSERT_EQ(DisconnectDevice(dm_), S_OK);
  EXPECT_EQ(Send(font, KIND_FONT), E_FAIL);
  EXPECT_EQ(InsertFileForTest(dm_, WindowsPath(font).c_str(), KIND_FONT), E_FAIL);
  SimInsertRecord insert;
  EXPECT_FALSE(SimLastInsert(&insert));
  EXPECT_TRUE(FilesIn("p1", "Internal").empty());
  EXPECT_TRUE(boxes_.boxes().empty());
}

// A player whose texts fill their 260-unit fields: the record that the device
// list holds connects, and the acceptance compares the texts whole.
TEST_F(Transfer, LongestPlayerTextsReachTheChecksWhole) {
  const std::string make = std::string(258, 'm') + "K", model = std::string(258, 'n') + "Z";
  AddPlayer("p1", Player(make, model, 1));
  Create();
  DFTInfo listed = {};
  ASSERT_EQ(EnumNextDevice(dm_, &listed), S_OK);
  ASSERT_EQ(ConnectDevice(dm_, &listed), S_OK);
  EXPECT_EQ(Send(MakeFile("fw.bin", FakeImageHeader(make, model), 1000), KIND_BOOTLOADER), S_OK);
  EXPECT_EQ(FakeImageCalls().at(1), "expect " + make + "|" + model);
  EXPECT_EQ(FilesIn("p1", "Internal"), std::vector<std::string>{"EBoot.bin"});
}

}  // namespace
