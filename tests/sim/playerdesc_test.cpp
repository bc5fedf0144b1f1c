#include "sim/playerdesc.h"

#include <gtest/gtest.h>

#include <fstream>

#include "sim/faults.h"
#include "sim/paths.h"
#include "sim/playerfolder.h"

namespace fs = std::filesystem;

namespace {

constexpr char kFull[] =
    "# a player with everything\r\n"
    "manufacturer = Corvane\n"
    "  Name=ZR-410  \n"
    "version = 0x00010002\n"
    "type = 17\n"
    "ready = no\n"
    "fail = name, version status\n"
    "\n"
    "[storage]\n"
    "folder = Internal Storage\n"
    "[ storage ]\n"
    "ready = false\n"
    "folder = Card\n";

fs::path FreshFolder(const char* name) {
  fs::path p = fs::path(::testing::TempDir()) / name;
  fs::remove_all(p);
  fs::create_directories(p);
  return p;
}

}  // namespace

TEST(SimPlayerDescription, ParsesEveryKey) {
  SimPlayerDescription d;
  std::string error;
  ASSERT_TRUE(SimParsePlayerDescription(kFull, &d, &error)) << error;
  EXPECT_EQ(d.manufacturer, "Corvane");
  EXPECT_EQ(d.name, "ZR-410");
  EXPECT_EQ(d.version, 0x00010002u);
  EXPECT_EQ(d.type, 17u);
  EXPECT_FALSE(d.ready);
  EXPECT_EQ(d.failingQueries, kSimQueryName | kSimQueryVersion | kSimQueryStatus);
  ASSERT_EQ(d.storages.size(), 2u);
  EXPECT_EQ(d.storages[0].folder, "Internal Storage");
  EXPECT_TRUE(d.storages[0].ready);
  EXPECT_EQ(d.storages[1].folder, "Card");
  EXPECT_FALSE(d.storages[1].ready);

  // Defaults: a ready storage player of version 0 with nothing failing.
  ASSERT_TRUE(SimParsePlayerDescription("manufacturer=M\nname=N\n", &d, &error)) << error;
  EXPECT_EQ(d.version, 0u);
  EXPECT_EQ(d.type, 0x11u);
  EXPECT_TRUE(d.ready);
  EXPECT_EQ(d.failingQueries, 0u);
  EXPECT_TRUE(d.storages.empty());
}

TEST(SimPlayerDescription, ByteOrderMarkIsSkipped) {
  SimPlayerDescription d;
  std::string error;
  ASSERT_TRUE(SimParsePlayerDescription("\xEF\xBB\xBFmanufacturer=M\nname=N\n", &d, &error)) << error;
  EXPECT_EQ(d.manufacturer, "M");
}

TEST(SimPlayerDescription, FormatReadsBackUnchanged) {
  SimPlayerDescription d;
  std::string error;
  ASSERT_TRUE(SimParsePlayerDescription(kFull, &d, &error)) << error;
  d.manufacturer = "Corvane \xC3\xA9lectronique";  // non-ASCII survives
  SimPlayerDescription back;
  ASSERT_TRUE(SimParsePlayerDescription(SimFormatPlayerDescription(d), &back, &error)) << error;
  EXPECT_EQ(SimFormatPlayerDescription(back), SimFormatPlayerDescription(d));
  EXPECT_EQ(back.manufacturer, d.manufacturer);
  EXPECT_EQ(back.failingQueries, d.failingQueries);
}

TEST(SimPlayerDescription, BadInputGivesOneClearError) {
  const std::string long259(259, 'x');
  const std::string long260(260, 'x');
  struct Case {
    std::string text;
    const char* error;  // empty: must parse
  } cases[] = {
      {"manufacturer=M\nname=" + long259 + "\n", ""},
      {"manufacturer=M\nname=" + long260 + "\n", "line 2: 'name' is longer than 259 UTF-16 units"},
      {"name=N\n", "'manufacturer' is missing"},
      {"manufacturer=M\n", "'name' is missing"},
      {"manufacturer=M\nname=\n", "line 2: 'name' is empty"},
      {"manufacturer=M\nname=N\ncolour=red\n", "line 3: unknown key 'colour'"},
      {"manufacturer=M\nmanufacturer=M\n", "line 2: 'manufacturer' given twice"},
      {"manufacturer M\n", "line 1: expected 'key = value'"},
      {"= M\n", "line 1: expected 'key = value'"},
      {"manufacturer=M\nname=N\nversion=0x100000000\n", "line 3: 'version' is not a 32-bit number"},
      {"manufacturer=M\nname=N\nversion=12a\n", "line 3: 'version' is not a 32-bit number"},
      {"manufacturer=M\nname=N\nversion=0x\n", "line 3: 'version' is not a 32-bit number"},
      {"manufacturer=M\nname=N\nversion=4294967295\n", ""},
      {"manufacturer=M\nname=N\nready=maybe\n", "line 3: 'ready' must be yes or no"},
      {"manufacturer=M\nname=N\nfail=name,colour\n", "line 3: 'fail' names an unknown query 'colour'"},
      {"manufacturer=M\nname=N\n[storage\n", "line 3: section header without ']'"},
      {"manufacturer=M\nname=N\n[device]\n", "line 3: unknown section '[device]'"},
      {"manufacturer=M\nname=N\n[storage]\nready=yes\n", "the [storage] section of line 3 has no 'folder'"},
      {"manufacturer=M\n[storage]\n[storage]\nfolder=A\n", "the [storage] section of line 2 has no 'folder'"},
      {"manufacturer=M\n[storage]\nfolder=A\nname=N\n", "line 4: 'name' belongs before the first [storage] section"},
      {"manufacturer=M\nname=N\nfolder=A\n", "line 3: 'folder' belongs in a [storage] section"},
      {"manufacturer=M\nname=N\n[storage]\nfolder=A\nfolder=B\n", "line 5: 'folder' given twice"},
      {"manufacturer=M\nname=N\n[storage]\nfolder=A\nsize=1\n", "line 5: unknown key 'size' in a [storage] section"},
      {"manufacturer=M\nname=N\n[storage]\nfolder=Card\n[storage]\nfolder=card\n",
       "line 6: storage folder 'card' listed twice"},
      {"manufacturer=M\nname=N\n[storage]\nfolder=..\n", "line 4: 'folder' must name a folder, not '..'"},
      {"manufacturer=M\nname=N\n[storage]\nfolder=../x\n", "line 4: 'folder' may not contain '/'"},
      {"manufacturer=M\nname=N\n[storage]\nfolder=a\\b\n", "line 4: 'folder' may not contain '\\'"},
      {"manufacturer=M\nname=N\n[storage]\nfolder=C:x\n", "line 4: 'folder' may not contain ':'"},
      {"manufacturer=M\nname=N\n[storage]\nfolder=x.\n", "line 4: 'folder' may not end with '.'"},
      {"manufacturer=M\nname=N\n[storage]\nfolder=Player.INI\n", "line 4: 'folder' may not be the description"},
      {"manufacturer=M\nname=N\n[storage]\nfolder=" + std::string(256, 'f') + "\n",
       "line 4: 'folder' is longer than 255 bytes"},
      {"manufacturer=M\x01\n", "line 1: 'manufacturer' contains a control character"},
      {"manufacturer=\xC3\n", "line 1: 'manufacturer' is not valid UTF-8"},
      {"manufacturer=\xED\xA0\x80\n", "line 1: 'manufacturer' is not valid UTF-8"},  // a lone surrogate
      {std::string("manufacturer=M\0x\n", 17), "line 1: contains a NUL byte"},
      {std::string(kSimMaxDescriptionBytes + 1, '#'), "description is larger than 64 KiB"},
  };
  for (const Case& c : cases) {
    SimPlayerDescription d;
    std::string error;
    const bool ok = SimParsePlayerDescription(c.text, &d, &error);
    if (*c.error == '\0') {
      EXPECT_TRUE(ok) << c.text.substr(0, 80) << " -> " << error;
    } else {
      EXPECT_FALSE(ok) << c.text.substr(0, 80);
      EXPECT_EQ(error.rfind(c.error, 0), 0u) << "got: " << error << "\nwant: " << c.error;
    }
  }
}

TEST(SimPlayerFolder, ScanSkipsBrokenPlayersAndNamesTheirFile) {
  const fs::path root = FreshFolder("tf_sim_scan");
  SimPlayerDescription d;
  d.manufacturer = "Corvane";
  d.name = "ZR-410";
  d.storages = {{"Internal", true}, {"Card", false}};
  std::string error;
  ASSERT_TRUE(SimWritePlayer(root, "b-player", d, &error)) << error;
  d.name = "ZR-411";
  ASSERT_TRUE(SimWritePlayer(root, "a-player", d, &error)) << error;
  EXPECT_TRUE(fs::is_directory(root / "a-player" / "Card"));
  fs::create_directories(root / "broken");
  std::ofstream(root / "broken" / "player.ini") << "manufacturer=M\nname=N\nbogus=1\n";
  fs::create_directories(root / "no-description");

  std::vector<std::string> errors;
  const std::vector<SimPlayer> players = SimScanPlayers(root, &errors);
  ASSERT_EQ(players.size(), 2u);
  EXPECT_EQ(players[0].id, "a-player");  // name order
  EXPECT_EQ(players[0].description.name, "ZR-411");
  EXPECT_EQ(players[1].id, "b-player");
  ASSERT_EQ(players[1].description.storages.size(), 2u);
  EXPECT_FALSE(players[1].description.storages[1].ready);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("player.ini: line 3: unknown key 'bogus'"), std::string::npos) << errors[0];

  errors.clear();
  EXPECT_TRUE(SimScanPlayers(root / "missing", &errors).empty());
  EXPECT_EQ(errors.size(), 1u);
}

TEST(SimPlayerFolder, WriteRefusesNamesThatLeaveTheFolder) {
  const fs::path root = FreshFolder("tf_sim_write");
  SimPlayerDescription d;
  // One character each, built rather than assigned from a literal: GCC 12
  // misreads that assignment at -O2 for i686 (-Wrestrict).
  d.manufacturer = std::string(1, 'M');
  d.name = std::string(1, 'N');
  std::string error;
  EXPECT_FALSE(SimWritePlayer(root, "..", d, &error));
  EXPECT_FALSE(SimWritePlayer(root, "a/b", d, &error));
  d.storages = {{"../escape", true}};
  EXPECT_FALSE(SimWritePlayer(root, "p", d, &error));
  EXPECT_EQ(error, "'folder' may not contain '/'");
  EXPECT_TRUE(fs::is_empty(root));
}

TEST(SimFaults, ParsesSwitchesAndRefusesUnknownOnes) {
  SimFaults f;
  std::string error;
  ASSERT_TRUE(SimParseFaults("reject-auth, no-protocols players-not-ready,storages-not-ready", &f, &error)) << error;
  EXPECT_TRUE(f.rejectAuth && f.noProtocols && f.playersNotReady && f.storagesNotReady);
  EXPECT_FALSE(f.insertFails || f.removeDuringTransfer);

  ASSERT_TRUE(
      SimParseFaults("insert-fail remove-during-transfer=0x1000 chunk=512 chunk-delay-ms=5 watch-ms=250", &f, &error));
  EXPECT_FALSE(f.rejectAuth);  // every parse starts from the defaults
  EXPECT_TRUE(f.insertFails);
  EXPECT_EQ(f.insertFailAfter, kSimHalfway);
  EXPECT_TRUE(f.removeDuringTransfer);
  EXPECT_EQ(f.removeAfter, 0x1000u);
  EXPECT_EQ(f.chunkBytes, 512u);
  EXPECT_EQ(f.chunkDelayMs, 5u);
  EXPECT_EQ(f.watchMs, 250u);

  ASSERT_TRUE(SimParseFaults("protocol-first=1 advise-fails manager-refused", &f, &error)) << error;
  EXPECT_EQ(f.protocolFirst, 1u);
  EXPECT_TRUE(f.adviseFails && f.managerRefused);

  ASSERT_TRUE(SimParseFaults("metadata-create-fails,metadata-add-fails insert-fail-storage=Card", &f, &error)) << error;
  EXPECT_TRUE(f.metadataCreateFails && f.metadataAddFails);
  EXPECT_TRUE(f.insertFails) << "naming a storage switches the failure on";
  EXPECT_STREQ(f.insertFailStorage, "Card");
  EXPECT_EQ(f.insertFailAfter, kSimHalfway);

  // Quotes let a folder name hold blanks and commas; a longer name after a
  // shorter one leaves nothing of the old behind, and vice versa.
  ASSERT_TRUE(SimParseFaults("insert-fail-storage=\"Internal Storage, A\" insert-fail=16", &f, &error)) << error;
  EXPECT_STREQ(f.insertFailStorage, "Internal Storage, A");
  EXPECT_EQ(f.insertFailAfter, 16u);
  ASSERT_TRUE(SimParseFaults("insert-fail-storage=\"Internal Storage\",insert-fail-storage=B", &f, &error));
  EXPECT_STREQ(f.insertFailStorage, "B");
  const std::string longest(kSimMaxFolderBytes, 'x');
  ASSERT_TRUE(SimParseFaults("insert-fail-storage=" + longest, &f, &error)) << error;
  EXPECT_EQ(std::string(f.insertFailStorage), longest);

  ASSERT_TRUE(SimParseFaults("damaged-write short-write=0x10,read-refused delete-refused", &f, &error)) << error;
  EXPECT_TRUE(f.damagedWrite && f.shortWrite && f.readRefused && f.deleteRefused);
  EXPECT_EQ(f.damageAt, kSimHalfway);
  EXPECT_EQ(f.shortBy, 16u);
  ASSERT_TRUE(SimParseFaults("damaged-write=0 short-write", &f, &error)) << error;
  EXPECT_EQ(f.damageAt, 0u);
  EXPECT_EQ(f.shortBy, kSimHalfway);

  ASSERT_TRUE(SimParseFaults("", &f, &error));
  EXPECT_EQ(f.chunkBytes, 64u * 1024);
  EXPECT_FALSE(f.insertFails || f.metadataCreateFails || f.metadataAddFails);
  EXPECT_FALSE(f.damagedWrite || f.shortWrite || f.readRefused || f.deleteRefused);
  EXPECT_STREQ(f.insertFailStorage, "");

  const char* bad[][2] = {
      {"reject-auth=1", "fault switch 'reject-auth=1': takes no value"},
      {"chunk=0", "fault switch 'chunk=0': must be at least 1"},
      {"chunk=4294967296", "fault switch 'chunk=4294967296': expects a number"},
      {"insert-fail=", "fault switch 'insert-fail=': expects a number"},
      {"insert-fail=18446744073709551615", "fault switch 'insert-fail=18446744073709551615': expects a number"},
      {"chunk-delay-ms=60001", "fault switch 'chunk-delay-ms=60001': expects a number"},
      {"watch-ms=-1", "fault switch 'watch-ms=-1': expects a number"},
      {"explode", "fault switch 'explode': unknown switch"},
      {"protocol-first=0", "fault switch 'protocol-first=0': must be a protocol id"},
      {"metadata-add-fails=1", "fault switch 'metadata-add-fails=1': takes no value"},
      {"short-write=0", "fault switch 'short-write=0': must be at least 1"},
      {"damaged-write=", "fault switch 'damaged-write=': expects a number"},
      {"damaged-write=-1", "fault switch 'damaged-write=-1': expects a number"},
      {"read-refused=1", "fault switch 'read-refused=1': takes no value"},
      {"delete-refused=yes", "fault switch 'delete-refused=yes': takes no value"},
      {"insert-fail-storage", "fault switch 'insert-fail-storage': expects a storage folder"},
      {"insert-fail-storage=", "fault switch 'insert-fail-storage=': 'folder' is empty"},
      {"insert-fail-storage=..", "fault switch 'insert-fail-storage=..': 'folder' must name a folder, not '..'"},
      {"insert-fail-storage=a/b", "fault switch 'insert-fail-storage=a/b': 'folder' may not contain '/'"},
      {"insert-fail-storage=\"a b", "fault switch 'insert-fail-storage=\"a b': quote not closed"},
  };
  for (const auto& b : bad) {
    EXPECT_FALSE(SimParseFaults(b[0], &f, &error)) << b[0];
    EXPECT_EQ(error, b[1]);
  }
  EXPECT_FALSE(SimParseFaults("insert-fail-storage=" + longest + "x", &f, &error));
  EXPECT_TRUE(error.ends_with("'folder' is longer than 255 bytes")) << error;
}
