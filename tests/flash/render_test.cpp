// tessfold-flash's verdicts and what it prints for them, natively: the texts
// and JSON objects that scripts and users read, for every way a check or a
// send can end, and the player list.
#include "flash/render.h"

#include <gtest/gtest.h>

#include <cstring>

#include "flash/result_text.h"
#include "flash/verdict.h"
#include "platform/wmdm.h"

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
       shown + "NOT CHECKED: fonts are sent to Corvane ZR-410 without the image checks; it would be stored as "
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
       "Sent 'a.ttf' to Corvane ZR-410 as a.ttf (10 bytes; fonts are sent without the image checks).\n", ""},
      // send shows the acceptance's lines only to explain a refusal.
      {"send refused", Command(true, KIND_BOOTLOADER, "x.bin"), Check(false, false, 100, true, false, "EBoot.bin"),
       E_FAIL, nullptr, 1, "", shown + "tessfold-flash: 'x.bin' is not a ROM image\n"},
      {"copy failed", Command(true, KIND_OS_IMAGE, "nk.bin"), Check(true, true, 0x180000, true, true, "NK.bin"),
       static_cast<HRESULT>(0x80070005), &product, 1, "",
       "tessfold-flash: the copy failed: access denied by the player or the device service (0x80070005)\n"},
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
  SetText(player->szCanonicalName, "usb#p1");
  flash::TransferVerdict sent =
      flash::DecideTransfer(Command(true, KIND_OS_IMAGE, "nk \"2\".bin"), *player,
                            Check(true, true, 0x180000, true, true, "NK.bin"), S_OK, &test, {"one\ttab"});
  sent.storage = "Internal";
  ReadBackResult matched = {};
  matched.outcome = ReadBackOutcome::kMatched;
  matched.cbSent = matched.cbRead = 0x180000;
  matched.fSentDigest = matched.fReadDigest = true;
  std::memset(matched.rgbSent, 0xA5, sizeof matched.rgbSent);
  std::memset(matched.rgbRead, 0xA5, sizeof matched.rgbRead);
  flash::DecideReadBack(&sent, true, S_OK, matched);
  sent.fileSha1 = flash::HexDigest(matched.rgbSent, sizeof matched.rgbSent);
  const std::string digest = "a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5";
  const Printed p = flash::RenderTransfer(true, sent);
  EXPECT_EQ(
      p.out,
      "{\"ok\":true,\"exitCode\":0,\"command\":\"send\",\"player\":{\"manufacturer\":\"Corvane\",\"name\":"
      "\"ZR-410\",\"version\":\"0x00010002\",\"id\":\"usb#p1\",\"ready\":true,\"storages\":[{\"name\":"
      "\"Internal\",\"ready\":true},{\"name\":\"Card\",\"ready\":false}]},\"make\":\"Corvane\",\"model\":\"ZR-410\","
      "\"file\":\"nk \\\"2\\\".bin\",\"kind\":\"os\",\"size\":1572864,\"sha1\":\"" +
          digest +
          "\",\"checked\":true,\"image\":true,\"accepted\":true,\"trustLevel\":\"test\",\"sizeWindow\":"
          "\"inside\",\"destination\":\"NK.bin\",\"sent\":true,\"storage\":\"Internal\",\"result\":"
          "\"0x00000000\",\"verified\":true,\"sentSha1\":\"" +
          digest + "\",\"readBackSha1\":\"" + digest +
          "\",\"readBackSize\":1572864,\"removed\":false,\"interrupted\":null,\"error\":null,\"lines\":"
          "[\"one\\u0009tab\"]}\n");
  EXPECT_EQ(p.err, "");

  // A check has no copy result; a font has no window; a refusal is the error.
  const flash::TransferVerdict font = flash::DecideTransfer(
      Command(false, KIND_FONT, "a.ttf"), *player, Check(false, false, 10, true, true, "a.ttf"), S_OK, nullptr, {});
  const std::string f = flash::RenderTransfer(true, font).out;
  EXPECT_EQ(f.find("\"result\""), std::string::npos) << f;
  // Fonts are not checked: neither accepted nor refused.
  EXPECT_NE(f.find("\"checked\":false,\"image\":false,\"accepted\":null,\"trustLevel\":null,\"sizeWindow\":\"none\""),
            std::string::npos)
      << f;
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

// The endings a send meets after the copy: the read-back's verdicts and a
// Ctrl-C at each stage. Each names the state the player is left in.
TEST(FlashVerdict, ReadBackAndInterruptionsSayWhatThePlayerHolds) {
  const auto player = Player({{"Internal", true}});
  AcceptReport product = {};
  product.stage = AcceptStage::kAccepted;
  product.dwRootLevel = 3;
  const auto sent = [&] {
    return flash::DecideTransfer(Command(true, KIND_OS_IMAGE, "nk.bin"), *player,
                                 Check(true, true, 0x180000, true, true, "NK.bin"), S_OK, &product, {});
  };
  ReadBackResult base = {};
  base.cbSent = 0x180000;
  base.fSentDigest = base.fReadDigest = true;
  std::memset(base.rgbSent, 0x11, sizeof base.rgbSent);
  std::memset(base.rgbRead, 0x22, sizeof base.rgbRead);
  const std::string d11(40, '1'), d22(40, '2');
  ReadBackResult removed = base, kept = base, unread = base;
  removed.outcome = kept.outcome = ReadBackOutcome::kMismatch;
  removed.cbRead = kept.cbRead = 0x100000;
  removed.fRemoved = true;
  kept.hrDelete = E_ACCESSDENIED;
  unread.outcome = ReadBackOutcome::kReadFailed;
  unread.hr = WMDM_E_NOTSUPPORTED;
  unread.fReadDigest = false;
  const struct {
    const char* what;
    ReadBackResult result;
    flash::Verification verification;
    const char* json;
    std::string err;
  } cases[] = {
      {"mismatch, removed", removed, flash::Verification::kMismatch, "\"verified\":false",
       "tessfold-flash: the read-back does not match what was sent: sent 1572864 bytes, SHA-1 " + d11 +
           "; the player holds 1048576 bytes, SHA-1 " + d22 + "; the damaged NK.bin was removed from the player\n"},
      {"mismatch, removal refused", kept, flash::Verification::kMismatch, "\"removed\":false",
       "tessfold-flash: the read-back does not match what was sent: sent 1572864 bytes, SHA-1 " + d11 +
           "; the player holds 1048576 bytes, SHA-1 " + d22 +
           "; removing the damaged NK.bin failed too (access denied by the player or the device service "
           "(0x80070005)): the player now holds a bad NK.bin, send the file again before restarting it\n"},
      {"read refused", unread, flash::Verification::kNotDone, "\"readBackSha1\":null",
       "tessfold-flash: the file was sent but could not be read back: the player or the device service does not "
       "support this (0x80045004); NK.bin is left on the player (it may be good): send again, or use "
       "--no-verify\n"},
  };
  for (const auto& c : cases) {
    flash::TransferVerdict v = sent();
    flash::DecideReadBack(&v, true, S_OK, c.result);
    EXPECT_EQ(v.verification, c.verification) << c.what;
    EXPECT_EQ(v.exitCode, flash::kExitFailed) << c.what;
    EXPECT_EQ(flash::RenderTransfer(false, v).err, c.err) << c.what;
    EXPECT_NE(flash::RenderTransfer(true, v).out.find(c.json), std::string::npos) << c.what;
  }
  flash::TransferVerdict skipped = sent();
  flash::DecideReadBack(&skipped, false, S_OK, ReadBackResult{});
  EXPECT_EQ(skipped.exitCode, flash::kExitOk);
  EXPECT_NE(flash::RenderTransfer(true, skipped).out.find("\"verified\":\"skipped\""), std::string::npos);
  EXPECT_NE(flash::RenderTransfer(false, skipped).out.find("; not read back (--no-verify))"), std::string::npos);

  const struct {
    flash::Interruption where;
    const char* err;
  } stops[] = {
      {flash::Interruption::kBeforeCopy, "interrupted before anything was sent: the player is unchanged"},
      {flash::Interruption::kDuringCopy,
       "interrupted during the copy: the copy was stopped and the player may not hold a complete NK.bin; send the "
       "file again before restarting the player"},
      {flash::Interruption::kDuringReadBack,
       "interrupted during the read-back: NK.bin was written to the player but not verified; send it again to be "
       "sure"},
  };
  for (const auto& stop : stops) {
    flash::TransferVerdict v = sent();
    flash::DecideInterruption(&v, stop.where);
    EXPECT_EQ(v.exitCode, flash::kExitInterrupted) << stop.err;
    EXPECT_EQ(flash::RenderTransfer(false, v).err, std::string("tessfold-flash: ") + stop.err + "\n");
  }
}

TEST(FlashVerdict, SummaryTableAndLogLine) {
  auto busy = Player({{"Internal", true}});
  busy->fReady = false;
  SetText(busy->szCanonicalName, "usb#1");
  const auto good = Player({{"Internal", true}});
  SetText(good->szCanonicalName, "usb#2");
  AcceptReport product = {};
  product.stage = AcceptStage::kAccepted;
  product.dwRootLevel = 3;
  const flash::Options o = Command(true, KIND_OS_IMAGE, "nk.bin");
  std::vector<flash::TransferVerdict> verdicts;
  verdicts.push_back(flash::SkippedPlayer(o, *busy, "the player is busy (not ready)"));
  verdicts.push_back(
      flash::DecideTransfer(o, *good, Check(true, true, 0x180000, true, true, "NK.bin"), S_OK, &product, {}));
  ReadBackResult matched = {};
  matched.outcome = ReadBackOutcome::kMatched;
  matched.fReadDigest = matched.fSentDigest = true;
  flash::DecideReadBack(&verdicts.back(), true, S_OK, matched);
  verdicts.back().storage = "Internal";
  verdicts.back().fileSha1 = std::string(40, '0');

  EXPECT_EQ(flash::RenderSummary(false, verdicts).out,
            "\n"
            "Player                    Result       Destination   Verified\n"
            "1 Corvane ZR-410 (usb#1)  skipped      -             -\n"
            "2 Corvane ZR-410 (usb#2)  sent         NK.bin        yes\n");
  const std::string json = flash::RenderSummary(true, verdicts).out;
  EXPECT_EQ(json.rfind("[{\"ok\":false,\"exitCode\":1,", 0), 0u) << json;
  EXPECT_NE(json.find("\"skipped\":true,\"sent\":false,\"error\":\"the player is busy (not ready)\"},{\"ok\":true"),
            std::string::npos)
      << json;

  EXPECT_EQ(
      flash::LogLine(verdicts.back(), "C:\\fw\\nk.bin", "2026-12-11T14:05:09Z", "1.2.3"),
      "{\"time\":\"2026-12-11T14:05:09Z\",\"version\":\"1.2.3\",\"manufacturer\":\"Corvane\",\"player\":"
      "\"ZR-410\",\"deviceVersion\":\"0x00010002\",\"id\":\"usb#2\",\"kind\":\"os\",\"source\":\"C:\\\\fw\\\\nk.bin\","
      "\"size\":1572864,\"sha1\":\"" +
          std::string(40, '0') +
          "\",\"destination\":\"NK.bin\",\"storage\":\"Internal\",\"signatureLevel\":\"product\","
          "\"result\":\"sent\",\"error\":null,\"verified\":true,\"readBackSha1\":\"" +
          std::string(40, '0') + "\"}\n");
}

TEST(FlashVerdict, PlayerListKeepsItsStoragesAndCountsTheRest) {
  std::vector<std::pair<std::string, bool>> storages;
  for (int i = 0; i < 20; ++i) storages.push_back({std::string(1, 'S').append(std::to_string(i)), i != 1});
  flash::Players players;
  players.push_back(Player(storages));
  players.back()->fReady = false;
  SetText(players.back()->szCanonicalName, "usb#p7");
  const Printed text = flash::RenderPlayers(false, players);
  std::string expected = "1\tCorvane\tZR-410\tversion 0x00010002\tbusy\tid usb#p7\n";
  for (int i = 0; i < 16; ++i)
    expected.append("    storage \"S")
        .append(std::to_string(i))
        .append("\"\t")
        .append(i != 1 ? "ready" : "not ready")
        .append("\n");
  EXPECT_EQ(text.out, expected + "    (4 more storages)\n");
  const std::string json = flash::RenderPlayers(true, players).out;
  EXPECT_EQ(json.rfind("{\"ok\":true,\"exitCode\":0,\"players\":[{\"position\":1,\"manufacturer\":\"Corvane\",", 0), 0u)
      << json;
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
    HandshakeFailure handshake;
    HRESULT hr;
    const char* message;
  } stages[] = {
      {DeviceManagerCreateStage::kService, HandshakeFailure::kNone, static_cast<HRESULT>(0x80040154),
       "no device service: the Windows Media Device Manager service is not installed or not registered "
       "(0x80040154)"},
      {DeviceManagerCreateStage::kAuthentication, HandshakeFailure::kServiceRefused, E_NOTIMPL,
       "the device service refused the authentication handshake (0x80004001)"},
      // Our check refused the service: the message must not blame the service for refusing us.
      {DeviceManagerCreateStage::kAuthentication, HandshakeFailure::kServiceCertificate, E_FAIL,
       "the device service's certificate did not verify: this program refused to work with it (0x80004005)"},
      {DeviceManagerCreateStage::kAuthentication, HandshakeFailure::kServiceSignature, E_FAIL,
       "the device service's signature in the authentication handshake did not verify: this program refused to "
       "work with it (0x80004005)"},
      {DeviceManagerCreateStage::kAuthentication, HandshakeFailure::kNone, E_FAIL,
       "the device service offered no authentication protocol this program can use (0x80004005)"},
      {DeviceManagerCreateStage::kManager, HandshakeFailure::kNone, E_NOINTERFACE,
       "the device service refused its device manager after the handshake (0x80004002)"},
      {DeviceManagerCreateStage::kMemory, HandshakeFailure::kNone, E_OUTOFMEMORY,
       "the device session could not be set up (0x8007000E)"},
  };
  for (const auto& s : stages)
    EXPECT_EQ(flash::ServiceFailureMessage(DeviceManagerCreateResult{s.stage, s.hr, false, s.handshake}), s.message);
}

TEST(FlashVerdict, DeviceResultsInPlainWords) {
  const struct {
    DWORD code;
    const char* text;
  } cases[] = {
      {0x8007001Fu, "the player reported a failure of the device (a cable, port or storage fault) (0x8007001F)"},
      {0x8007048Fu, "the player was disconnected (0x8007048F)"},
      {0x80004005u, "unspecified failure in the device service (0x80004005)"},
      {0x80045004u, "the player or the device service does not support this (0x80045004)"},
      {0x80012345u, "the device service reported an error (0x80012345)"},
  };
  for (const auto& c : cases) EXPECT_EQ(flash::DescribeDeviceResult(static_cast<HRESULT>(c.code)), c.text);
}

}  // namespace
