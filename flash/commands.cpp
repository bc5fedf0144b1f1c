// list, check and send.
#include <windows.h>

#include "device/device_details.h"
#include "device/transfer.h"
#include "flash/device_connection.h"
#include "flash/flash.h"
#include "flash/render.h"
#include "flash/verdict.h"
#include "image/accept.h"
#include "platform/diag.h"

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

// The player among `players` that the options name: with identical names the
// device layer holds the first ready one. Null when none is there; the exit
// code of a usage failure in *rc when the choice is not the program's to make.
const DeviceDetails* PickPlayer(const Options& o, const Players& players, int* rc) {
  *rc = -1;
  if (!o.playerGiven && players.size() > 1) {
    std::string names;
    for (const auto& p : players) {
      if (!names.empty()) names += ", ";
      names += Utf8(p->info.szDeviceName);
    }
    *rc = Fail(o, kExitUsage, "several players are connected (" + names + "): choose one with --player NAME");
    return nullptr;
  }
  const DeviceDetails* first = nullptr;
  for (const auto& p : players) {
    if (o.playerGiven && Utf8(p->info.szDeviceName) != Utf8(o.player)) continue;
    if (p->fReady) return p.get();
    if (first == nullptr) first = p.get();
  }
  return first;
}

// Picks the player to work with, waiting for one when asked to. Returns the
// exit code of a failure, or -1 with *chosen set.
int ChoosePlayer(const Options& o, DeviceConnection& connection, Players* players, const DeviceDetails** chosen) {
  const DWORD waitMs = o.waitSeconds * 1000;
  const DWORD start = GetTickCount();
  bool announced = false;
  for (;;) {
    const HRESULT hr = ListPlayers(connection.devices(), players);
    if (FAILED(hr)) return Fail(o, kExitFailed, "the device service cannot list players (" + Hex32(hr) + ")");
    int rc = -1;
    *chosen = PickPlayer(o, *players, &rc);
    if (rc >= 0 || *chosen != nullptr) return rc;
    const DWORD spent = GetTickCount() - start;
    if (spent >= waitMs) {
      if (o.playerGiven) return Fail(o, kExitFailed, "no player named '" + Utf8(o.player) + "' is connected");
      return Fail(o, kExitFailed, "no player is connected");
    }
    if (!announced && !o.json && ErrorIsConsole()) {
      Err("Waiting for a player (up to " + std::to_string(o.waitSeconds) + " s)...\n");
      announced = true;
    }
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

// Holds the chosen player; the exit code of a failure, or -1.
int ConnectPlayer(const Options& o, DeviceConnection& connection, const DeviceDetails& chosen) {
  const std::string player = Utf8(chosen.info.szDeviceManufacturer) + " " + Utf8(chosen.info.szDeviceName);
  if (!chosen.fReady) return Fail(o, kExitFailed, "the player " + player + " is busy (not ready)");
  if (!chosen.HasReadyStorage()) return Fail(o, kExitFailed, "the player " + player + " has no ready storage");
  if (const HRESULT hr = ConnectDevice(connection.devices(), &chosen.info); FAILED(hr))
    return Fail(o, kExitFailed, "cannot connect to the player " + player + " (" + Hex32(hr) + ")");
  return -1;
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
  DeviceConnection connection;
  DeviceManagerCreateResult created = {};
  if (!connection.Open(&created)) return Fail(o, kExitService, ServiceFailureMessage(created));
  Players players;
  const DeviceDetails* chosen = nullptr;
  if (const int rc = ChoosePlayer(o, connection, &players, &chosen); rc >= 0) return rc;
  if (const int rc = ConnectPlayer(o, connection, *chosen); rc >= 0) return rc;

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
      BeginProgress(cbFile);
      hr = TransferFileWithCheck(connection.devices(), o.file.c_str(), o.kind->kind, &check);
      EndProgress();
    } else {
      hr = CheckTransfer(connection.devices(), o.file.c_str(), o.kind->kind, &check);
    }
    lines = capture.Lines();
  }
  if (!send && FAILED(hr)) return Fail(o, kExitFailed, "the checks could not run (" + Hex32(hr) + ")");
  AcceptReport report = {};
  const bool reported = LastAcceptReport(&report);
  const TransferVerdict verdict = DecideTransfer(o, *chosen, check, hr, reported ? &report : nullptr, std::move(lines));
  Print(RenderTransfer(o.json, verdict));
  return verdict.exitCode;
}

}  // namespace flash
