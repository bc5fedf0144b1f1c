// tessfold-flash's verdicts and what it prints for them, natively: the texts
// and JSON objects that scripts and users read, for every way a check or a
// send can end, and the player list.
#include "flash/render.h"

#include <gtest/gtest.h>

#include <cstring>

#include "flash/verdict.h"

namespace {

using flash::Printed;

template <size_t N>
void SetText(WCHAR (&field)[N], const std::string& utf8) {
  const WString wide = WidenUtf8(utf8);
  ASSERT_LT(wide.size(), N);
  std::memset(field, 0, sizeof field);
  wide.copy(field, wide.size());
}

std::unique_ptr<DeviceDetails> Player(std::vector<std::pair<std::string, bool>> storages) {
  auto d = std::make_unique<DeviceDetails>();
  *d = DeviceDetails{};
  SetText(d->info.szDeviceManufacturer, "Corvane");
  SetText(d->info.szDeviceName, "ZR-410");
  d->info.dwDeviceVersion = 0x10002;
  d->fReady = true;
  d->fStoragesListed = true;
  for (const auto& [name, ready] : storages) {
    if (d->cStorages < kMaxListedStorages) {
      SetText(d->rgStorages[d->cStorages].szName, name);
      d->rgStorages[d->cStorages].fReady = ready;
    }
    ++d->cStorages;
  }
  return d;
}

flash::Options Command(bool send, TransferKind kind, const char* file) {
  flash::Options o;
  o.command = send ? flash::Command::kSend : flash::Command::kCheck;
  o.kind = FindTransferKind(kind);
  o.file = WidenUtf8(file);
  return o;
}

// What the device layer found: an image or not, accepted or not, its size
// (none: unreadable), whether it fits, and the name it gets.
TransferCheck Check(bool image, bool accepted, long long size, bool inWindow, bool send, const char* destination) {
  TransferCheck c = {};
  c.fImage = image;
  c.fAccepted = accepted;
  c.fSized = size >= 0;
  c.cbFile = size >= 0 ? static_cast<ULONGLONG>(size) : 0;
  c.fInWindow = inWindow;
  c.fSend = send;
  c.hrRefused = accepted || !image ? E_FAIL : NTE_BAD_SIGNATURE;
  SetText(c.szDestination, destination);
  return c;
}

TEST(FlashVerdict, EveryEndingOfCheckAndSendAsText) {
  const auto player = Player({{"Internal", true}});
  AcceptReport product = {};
  product.stage = AcceptStage::kAccepted;
  product.dwRootLevel = 3;
  const std::vector<std::string> lines = {"catalog found", "digest listed"};
  const std::string shown = "catalog found\ndigest listed\n";
  const struct {
    const char* what;
    flash::Options options;
    TransferCheck check;
    HRESULT hr;
    const AcceptReport* report;
    int exitCode;
    std::string out, err;
  } cases[] = {
      {"check accepted", Command(false, KIND_OS_IMAGE, "nk.bin"), Check(true, true, 0x180000, true, true, "NK.bin"),
       S_OK, &product, 0,
       shown + "ACCEPTED for Corvane ZR-410: product signature, make and model match; 1572864 bytes inside the os "
               "window (at least 0x180000 bytes); it would be stored as NK.bin.\n",
       ""},
      {"check of a font", Command(false, KIND_FONT, "C:\\f\\a.ttf"), Check(false, false, 10, true, true, "a.ttf"), S_OK,
       nullptr, 0,
       shown + "ACCEPTED for Corvane ZR-410: font files are not bound by the image checks; it would be stored as "
               "a.ttf.\n",
       ""},
      {"not an image", Command(false, KIND_BOOTLOADER, "x.bin"), Check(false, false, 100, true, false, "EBoot.bin"),
       S_OK, nullptr, 1, shown, "tessfold-flash: 'x.bin' is not a ROM image\n"},
      {"refused without a report", Command(false, KIND_RECOVERY, "r.bin"),
       Check(true, false, 0x80000, true, false, "Recovery.bin"), S_OK, nullptr, 1, shown,
       "tessfold-flash: the image is refused: checks failed\n"},
      {"size unreadable", Command(false, KIND_RECOVERY, "r.bin"), Check(true, true, -1, false, false, "Recovery.bin"),
       S_OK, &product, 1, shown, "tessfold-flash: the size of 'r.bin' cannot be read\n"},
      {"outside the window", Command(false, KIND_RECOVERY, "r.bin"),
       Check(true, true, 0x180001, false, false, "Recovery.bin"), S_OK, &product, 1, shown,
       "tessfold-flash: the image's size 1572865 bytes is outside the recovery window (0x80000 to 0x180000 "
       "bytes)\n"},
      {"sent", Command(true, KIND_BOOTLOADER, "C:\\fw\\e.bin"), Check(true, true, 0x80000, true, true, "EBoot.bin"),
       S_OK, &product, 0,
       "Sent 'C:\\fw\\e.bin' to Corvane ZR-410 as EBoot.bin (524288 bytes; product signature, make and model "
       "match).\n",
       ""},
      {"font sent", Command(true, KIND_FONT, "a.ttf"), Check(false, false, 10, true, true, "a.ttf"), S_OK, nullptr, 0,
       "Sent 'a.ttf' to Corvane ZR-410 as a.ttf (10 bytes; font files are not bound by the image checks).\n", ""},
      // send shows the acceptance's lines only to explain a refusal.
      {"send refused", Command(true, KIND_BOOTLOADER, "x.bin"), Check(false, false, 100, true, false, "EBoot.bin"),
       E_FAIL, nullptr, 1, "", shown + "tessfold-flash: 'x.bin' is not a ROM image\n"},
      {"copy failed", Command(true, KIND_OS_IMAGE, "nk.bin"), Check(true, true, 0x180000, true, true, "NK.bin"),
       static_cast<HRESULT>(0x80070005), &product, 1, "",
       "tessfold-flash: the copy failed: the device service reported 0x80070005\n"},
  };
  for (const auto& c : cases) {
    const flash::TransferVerdict v = flash::DecideTransfer(c.options, *player, c.check, c.hr, c.report, lines);
    EXPECT_EQ(v.exitCode, c.exitCode) << c.what;
    EXPECT_EQ(v.copied, c.options.command == flash::Command::kSend && c.exitCode == 0) << c.what;
    const Printed p = flash::RenderTransfer(false, v);
    EXPECT_EQ(p.out, c.out) << c.what;
    EXPECT_EQ(p.err, c.err) << c.what;
  }
}

TEST(FlashVerdict, JsonHoldsTheWholeVerdict) {
  const auto player = Player({{"Internal", true}, {"Card", false}});
  AcceptReport test = {};
  test.stage = AcceptStage::kAccepted;
  test.dwRootLevel = 1;
  const flash::TransferVerdict sent =
      flash::DecideTransfer(Command(true, KIND_OS_IMAGE, "nk \"2\".bin"), *player,
                            Check(true, true, 0x180000, true, true, "NK.bin"), S_OK, &test, {"one\ttab"});
  const Printed p = flash::RenderTransfer(true, sent);
  EXPECT_EQ(p.out,
            "{\"ok\":true,\"exitCode\":0,\"command\":\"send\",\"player\":{\"manufacturer\":\"Corvane\",\"name\":"
            "\"ZR-410\",\"version\":\"0x00010002\",\"ready\":true,\"storages\":[{\"name\":\"Internal\",\"ready\":true},"
            "{\"name\":\"Card\",\"ready\":false}]},\"file\":\"nk \\\"2\\\".bin\",\"kind\":\"os\",\"size\":1572864,"
            "\"image\":true,\"accepted\":true,\"trustLevel\":\"test\",\"sizeWindow\":\"inside\",\"destination\":"
            "\"NK.bin\",\"sent\":true,\"result\":\"0x00000000\",\"error\":null,\"lines\":[\"one\\u0009tab\"]}\n");
  EXPECT_EQ(p.err, "");

  // A check has no copy result; a font has no window; a refusal is the error.
  const flash::TransferVerdict font = flash::DecideTransfer(
      Command(false, KIND_FONT, "a.ttf"), *player, Check(false, false, 10, true, true, "a.ttf"), S_OK, nullptr, {});
  const std::string f = flash::RenderTransfer(true, font).out;
  EXPECT_EQ(f.find("\"result\""), std::string::npos) << f;
  EXPECT_NE(f.find("\"accepted\":false,\"trustLevel\":null,\"sizeWindow\":\"none\""), std::string::npos) << f;
  EXPECT_NE(f.find("\"sent\":false,\"error\":null,\"lines\":[]}"), std::string::npos) << f;
  const flash::TransferVerdict refused =
      flash::DecideTransfer(Command(false, KIND_RECOVERY, "r.bin"), *player,
                            Check(true, true, 0x180001, false, false, "Recovery.bin"), S_OK, &test, {});
  const std::string r = flash::RenderTransfer(true, refused).out;
  EXPECT_EQ(r.rfind("{\"ok\":false,\"exitCode\":1,", 0), 0u) << r;
  EXPECT_NE(r.find("\"sizeWindow\":\"outside\""), std::string::npos) << r;
  EXPECT_NE(r.find("\"error\":\"the image's size 1572865 bytes is outside the recovery window (0x80000 to 0x180000 "
                   "bytes)\""),
            std::string::npos)
      << r;
}

TEST(FlashVerdict, PlayerListKeepsItsStoragesAndCountsTheRest) {
  std::vector<std::pair<std::string, bool>> storages;
  for (int i = 0; i < 20; ++i) storages.push_back({std::string(1, 'S').append(std::to_string(i)), i != 1});
  flash::Players players;
  players.push_back(Player(storages));
  players.back()->fReady = false;
  const Printed text = flash::RenderPlayers(false, players);
  std::string expected = "Corvane\tZR-410\tversion 0x00010002\tbusy\n";
  for (int i = 0; i < 16; ++i)
    expected.append("    storage \"S")
        .append(std::to_string(i))
        .append("\"\t")
        .append(i != 1 ? "ready" : "not ready")
        .append("\n");
  EXPECT_EQ(text.out, expected + "    (4 more storages)\n");
  const std::string json = flash::RenderPlayers(true, players).out;
  EXPECT_EQ(json.rfind("{\"ok\":true,\"exitCode\":0,\"players\":[{\"manufacturer\":\"Corvane\",", 0), 0u) << json;
  EXPECT_NE(
      json.find("\"ready\":false,\"storages\":[{\"name\":\"S0\",\"ready\":true},{\"name\":\"S1\",\"ready\":false}"),
      std::string::npos);
  EXPECT_NE(json.find("{\"name\":\"S15\",\"ready\":true}]}]}\n"), std::string::npos) << json;

  EXPECT_EQ(flash::RenderPlayers(false, {}).out, "No players connected.\n");
  EXPECT_EQ(flash::RenderPlayers(true, {}).out, "{\"ok\":true,\"exitCode\":0,\"players\":[]}\n");
}

TEST(FlashVerdict, FailuresAndServiceStages) {
  EXPECT_EQ(flash::RenderFailure(false, 2, "no \"x\"").err, "tessfold-flash: no \"x\"\n");
  EXPECT_EQ(flash::RenderFailure(false, 2, "no \"x\"").out, "");
  EXPECT_EQ(flash::RenderFailure(true, 1, "no \"x\"").out,
            "{\"ok\":false,\"exitCode\":1,\"error\":\"no \\\"x\\\"\"}\n");
  EXPECT_EQ(flash::RenderFailure(true, 1, "x").err, "");
  const struct {
    DeviceManagerCreateStage stage;
    HRESULT hr;
    const char* message;
  } stages[] = {
      {DeviceManagerCreateStage::kService, static_cast<HRESULT>(0x80040154),
       "no device service: the Windows Media Device Manager service is not installed or not registered "
       "(0x80040154)"},
      {DeviceManagerCreateStage::kAuthentication, E_NOTIMPL,
       "the device service refused the authentication handshake (0x80004001)"},
      {DeviceManagerCreateStage::kManager, E_NOINTERFACE,
       "the device service refused its device manager after the handshake (0x80004002)"},
      {DeviceManagerCreateStage::kMemory, E_OUTOFMEMORY, "the device session could not be set up (0x8007000E)"},
  };
  for (const auto& s : stages)
    EXPECT_EQ(flash::ServiceFailureMessage(DeviceManagerCreateResult{s.stage, s.hr, false}), s.message);
}

}  // namespace
