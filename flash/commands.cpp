// list, check and send.
#include <windows.h>

#include <string>

#include "device/device_details.h"
#include "device/readback.h"
#include "device/transfer.h"
#include "device/transfer_stop.h"
#include "flash/device_connection.h"
#include "flash/flash.h"
#include "flash/flash_log.h"
#include "flash/render.h"
#include "flash/result_text.h"
#include "flash/verdict.h"
#include "image/accept.h"
#include "platform/diag.h"
#include "tessfold/version.h"

namespace flash {

namespace {

// How often the player list is read again while --wait runs, for services
// that announce no arrivals.
constexpr DWORD kWaitPollMs = 250;

void Print(const Printed& printed) {
  if (!printed.out.empty()) Out(printed.out);
  if (!printed.err.empty()) Err(printed.err);
}

int Fail(const Options& o, int code, const std::string& message) {
  Print(RenderFailure(o.json, code, message));
  return code;
}

void Collect(const DeviceDetails& details, void* context) {
  static_cast<Players*>(context)->push_back(std::make_unique<DeviceDetails>(details));
}

HRESULT ListPlayers(DeviceManager* devices, Players* players) {
  players->clear();
  return ListDeviceDetails(devices, Collect, players);
}

// While alive, diagnostic lines of the image layers are collected, one entry
// per line without its ending, instead of being printed.
class LineCapture {
 public:
  LineCapture() { previous_ = DiagSetSink(&LineCapture::Sink, this); }
  ~LineCapture() { DiagSetSink(previous_, nullptr); }
  LineCapture(const LineCapture&) = delete;
  LineCapture& operator=(const LineCapture&) = delete;
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines = lines_;
    if (!partial_.empty()) lines.push_back(partial_);
    return lines;
  }

 private:
  static void Sink(DiagStream, const char* text, void* context) {
    auto* self = static_cast<LineCapture*>(context);
    for (const char* p = text; *p != 0; ++p) {
      if (*p == '\n') {
        self->lines_.push_back(self->partial_);
        self->partial_.clear();
      } else if (*p != '\r') {
        self->partial_ += *p;
      }
    }
  }
  DiagSink previous_ = nullptr;
  std::vector<std::string> lines_;
  std::string partial_;
};

// Whether `wanted` names `player` at `position` (1-based): its id, its
// name, or its position in the list, in that order of precedence over the
// whole list (see PickPlayer).
enum class Naming { kId, kName, kPosition };

bool Names(const WString& wanted, const DeviceDetails& player, size_t position, Naming naming) {
  const std::string text = Utf8(wanted);
  switch (naming) {
    case Naming::kId:
      return player.szCanonicalName[0] != 0 && Utf8(player.szCanonicalName) == text;
    case Naming::kName:
      return Utf8(player.info.szDeviceName) == text;
    case Naming::kPosition:
      return text.find_first_not_of("0123456789") == std::string::npos && text.size() < 6 &&
             static_cast<size_t>(std::stoul(text)) == position;
  }
  return false;
}

// The player among `players` that the options name: with identical names the
// first ready one. Null when none is there; the exit code of a usage failure
// in *rc when the choice is not the program's to make.
const DeviceDetails* PickPlayer(const Options& o, const Players& players, int* rc) {
  *rc = -1;
  if (!o.playerGiven && players.size() > 1) {
    std::string names;
    for (const auto& p : players) {
      if (!names.empty()) names += ", ";
      names += Utf8(p->info.szDeviceName);
    }
    *rc = Fail(
        o, kExitUsage,
        "several players are connected (" + names + "): choose one with --player NAME, ID or POSITION, or use --all");
    return nullptr;
  }
  if (!o.playerGiven) return players.empty() ? nullptr : players.front().get();
  for (const Naming naming : {Naming::kId, Naming::kName, Naming::kPosition}) {
    const DeviceDetails* first = nullptr;
    for (size_t i = 0; i < players.size(); ++i) {
      const DeviceDetails* p = players[i].get();
      if (!Names(o.player, *p, i + 1, naming)) continue;
      if (p->fReady && p->HasReadyStorage()) return p;
      if (first == nullptr) first = p;
    }
    if (first != nullptr) return first;
  }
  return nullptr;
}

bool Workable(const DeviceDetails& p) { return p.fReady && p.HasReadyStorage(); }

// Says once that the program waits, and what for.
void AnnounceWait(const Options& o, bool* announced, const std::string& what) {
  if (*announced || o.json) return;
  Err("Waiting for " + what + " (up to " + std::to_string(o.waitSeconds) + " s)...\n");
  *announced = true;
}

// Picks the player to work with, waiting (with --wait) for one to be plugged
// in and for it to become ready. Returns the exit code of a failure, or -1
// with *chosen set (possibly to a player that is still busy).
int ChoosePlayer(const Options& o, DeviceConnection& connection, Players* players, const DeviceDetails** chosen) {
  const DWORD waitMs = o.waitSeconds * 1000;
  const DWORD start = GetTickCount();
  bool announced = false;
  for (;;) {
    const HRESULT hr = ListPlayers(connection.devices(), players);
    if (FAILED(hr)) return Fail(o, kExitFailed, "the device service cannot list players (" + Hex32(hr) + ")");
    int rc = -1;
    *chosen = PickPlayer(o, *players, &rc);
    if (rc >= 0) return rc;
    if (*chosen != nullptr && Workable(**chosen)) return -1;
    const DWORD spent = GetTickCount() - start;
    if (spent >= waitMs || TransferStopRequested()) {
      if (*chosen != nullptr) return -1;  // busy: the verdict says so
      if (TransferStopRequested()) return Fail(o, kExitInterrupted, "interrupted while waiting: nothing was sent");
      if (o.playerGiven) return Fail(o, kExitFailed, "no player named '" + Utf8(o.player) + "' is connected");
      return Fail(o, kExitFailed, "no player is connected");
    }
    AnnounceWait(
        o, &announced,
        *chosen != nullptr ? "the player " + PlayerLabel(**chosen) + " to become ready" : std::string("a player"));
    const DWORD left = waitMs - spent;
    connection.WaitForDeviceEvent(left < kWaitPollMs ? left : kWaitPollMs);
  }
}

// The file must be there before the device service is asked for anything.
int CheckSourceFile(const Options& o, ULONGLONG* cbFile) {
  const std::string file = Utf8(o.file);
  WIN32_FILE_ATTRIBUTE_DATA attributes = {};
  if (!GetFileAttributesExW(o.file.c_str(), GetFileExInfoStandard, &attributes))
    return Fail(o, kExitUsage, "cannot open '" + file + "': no such file");
  if ((attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return Fail(o, kExitUsage, "'" + file + "' is a folder, not a file");
  *cbFile = (static_cast<ULONGLONG>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
  return -1;
}

// Holds `chosen`; the reason it cannot be worked on, or empty.
std::string ConnectPlayer(DeviceConnection& connection, const DeviceDetails& chosen) {
  const std::string player = PlayerLabel(chosen);
  if (!chosen.fReady) return "the player " + player + " is busy (not ready)";
  if (!chosen.HasReadyStorage()) return "the player " + player + " has no ready storage";
  // By its id where the service gives one: players may share a name.
  const HRESULT hr = chosen.szCanonicalName[0] != 0
                         ? ConnectDeviceByCanonicalName(connection.devices(), chosen.szCanonicalName)
                         : ConnectDevice(connection.devices(), &chosen.info);
  if (FAILED(hr)) return "cannot connect to the player " + player + ": " + DescribeDeviceResult(hr);
  return std::string();
}

// Reads the copy back (or records --no-verify) into the verdict.
void ReadBack(const Options& o, DeviceConnection& connection, ULONGLONG cbFile, TransferVerdict* v) {
  if (!v->copied) return;
  ReadBackResult readBack = {};
  if (!o.verify) {
    DecideReadBack(v, false, S_OK, readBack);
    return;
  }
  BeginProgress("Verifying", cbFile);
  const HRESULT hr = VerifyLastTransfer(connection.devices(), o.file.c_str(), &readBack);
  EndProgress(SUCCEEDED(hr) && readBack.outcome == ReadBackOutcome::kMatched);
  if (hr == WMDM_E_USER_CANCELLED || TransferStopRequested()) {
    DecideInterruption(v, Interruption::kDuringReadBack);
    return;
  }
  DecideReadBack(v, true, hr, readBack);
  if (readBack.fSentDigest) v->fileSha1 = HexDigest(readBack.rgbSent, sizeof readBack.rgbSent);
}

// check or send on one player, from holding it to the read-back.
TransferVerdict WorkOn(const Options& o, DeviceConnection& connection, const DeviceDetails& chosen, ULONGLONG cbFile) {
  if (TransferStopRequested()) {
    TransferVerdict v = SkippedPlayer(o, chosen, "");
    DecideInterruption(&v, Interruption::kBeforeCopy);
    return v;
  }
  if (const std::string why = ConnectPlayer(connection, chosen); !why.empty()) return SkippedPlayer(o, chosen, why);

  // The same road as the window programs: TransferFile's checks, and for send
  // its copy; the acceptance lines are kept for the report.
  const bool send = o.command == Command::kSend;
  TransferCheck check = {};
  HRESULT hr = S_OK;
  std::vector<std::string> lines;
  ForgetLastAcceptReport();
  {
    LineCapture capture;
    if (send) {
      SetTransferSuccessBox(false);
      BeginProgress("Writing", cbFile);
      hr = TransferFileWithCheck(connection.devices(), o.file.c_str(), o.kind->kind, &check);
      EndProgress(SUCCEEDED(hr));
    } else {
      hr = CheckTransfer(connection.devices(), o.file.c_str(), o.kind->kind, &check);
    }
    lines = capture.Lines();
  }
  if (!send && FAILED(hr)) return SkippedPlayer(o, chosen, "the checks could not run: " + DescribeDeviceResult(hr));
  AcceptReport report = {};
  const bool reported = LastAcceptReport(&report);
  TransferVerdict v = DecideTransfer(o, chosen, check, hr, reported ? &report : nullptr, std::move(lines));
  if (send) {
    WCHAR storage[260] = {};
    if (SUCCEEDED(LastTransferStorage(connection.devices(), storage, 260))) v.storage = Utf8(storage);
    if (check.fSend && (hr == WMDM_E_USER_CANCELLED || TransferStopRequested())) {
      DecideInterruption(&v, v.copied ? Interruption::kDuringReadBack : Interruption::kDuringCopy);
      return v;
    }
    ReadBack(o, connection, cbFile, &v);
  }
  if (v.fileSha1.empty()) {
    ULONGLONG length = 0;
    BYTE digest[kReadBackDigestSize];
    if (DigestFileSha1(o.file.c_str(), &length, digest)) v.fileSha1 = HexDigest(digest, sizeof digest);
  }
  return v;
}

void Record(FlashLog& log, const Options& o, const TransferVerdict& v) {
  if (o.command != Command::kSend || !log.IsOpen()) return;
  WCHAR full[MAX_PATH * 4] = {};
  const DWORD length = GetFullPathNameW(o.file.c_str(), MAX_PATH * 4, full, nullptr);
  const std::string source = length > 0 && length < MAX_PATH * 4 ? Utf8(full) : Utf8(o.file);
  if (!log.Append(LogLine(v, source, UtcNow(), TESSFOLD_VERSION_STRING)))
    Err("tessfold-flash: warning: the log '" + Utf8(o.logFile) + "' could not be written\n");
}

// --all: every connected player in the service's order.
int RunAll(const Options& o, DeviceConnection& connection, ULONGLONG cbFile, FlashLog& log) {
  Players players;
  const DWORD start = GetTickCount();
  bool announced = false;
  for (;;) {
    const HRESULT hr = ListPlayers(connection.devices(), &players);
    if (FAILED(hr)) return Fail(o, kExitFailed, "the device service cannot list players (" + Hex32(hr) + ")");
    if (!players.empty() || GetTickCount() - start >= o.waitSeconds * 1000 || TransferStopRequested()) break;
    AnnounceWait(o, &announced, "a player");
    connection.WaitForDeviceEvent(kWaitPollMs);
  }
  if (players.empty()) return Fail(o, kExitFailed, "no player is connected");
  std::vector<TransferVerdict> verdicts;
  int exitCode = kExitOk;
  for (size_t i = 0; i < players.size(); ++i) {
    // Appended piece by piece: GCC 12 misreads a chain of + on std::string here.
    std::string heading = "[";
    heading += std::to_string(i + 1);
    heading += "/";
    heading += std::to_string(players.size());
    heading += "] ";
    heading += PlayerLabel(*players[i]);
    heading += "\n";
    if (!o.json) Out(heading);
    TransferVerdict v = exitCode == kExitInterrupted
                            ? SkippedPlayer(o, *players[i], "not attempted: the run was interrupted")
                            : WorkOn(o, connection, *players[i], cbFile);
    if (!o.json) Out("    " + VerdictLine(v));
    Record(log, o, v);
    if (v.exitCode == kExitInterrupted || exitCode == kExitInterrupted) {
      exitCode = kExitInterrupted;
    } else if (v.exitCode != kExitOk) {
      exitCode = kExitFailed;
    }
    verdicts.push_back(std::move(v));
  }
  DisconnectDevice(connection.devices());
  Print(RenderSummary(o.json, verdicts));
  return exitCode;
}

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  RequestTransferStop();
  return TRUE;
}

}  // namespace

int RunList(const Options& o) {
  DeviceConnection connection;
  DeviceManagerCreateResult created = {};
  if (!connection.Open(&created)) return Fail(o, kExitService, ServiceFailureMessage(created));
  Players players;
  const HRESULT hr = ListPlayers(connection.devices(), &players);
  if (FAILED(hr)) return Fail(o, kExitFailed, "the device service cannot list players (" + Hex32(hr) + ")");
  Print(RenderPlayers(o.json, players));
  return kExitOk;
}

int RunCheckOrSend(const Options& o) {
  ULONGLONG cbFile = 0;
  if (const int rc = CheckSourceFile(o, &cbFile); rc >= 0) return rc;
  FlashLog log;
  std::string why;
  if (!o.logFile.empty() && !log.Open(o.logFile, &why))
    return Fail(o, kExitUsage, "cannot write the log '" + Utf8(o.logFile) + "': " + why + "; nothing was sent");
  DeviceConnection connection;
  DeviceManagerCreateResult created = {};
  if (!connection.Open(&created)) return Fail(o, kExitService, ServiceFailureMessage(created));
  if (o.all) return RunAll(o, connection, cbFile, log);

  Players players;
  const DeviceDetails* chosen = nullptr;
  if (const int rc = ChoosePlayer(o, connection, &players, &chosen); rc >= 0) return rc;
  const TransferVerdict verdict = WorkOn(o, connection, *chosen, cbFile);
  Record(log, o, verdict);
  Print(RenderTransfer(o.json, verdict));
  return verdict.exitCode;
}

void InstallInterruptHandler() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

}  // namespace flash
