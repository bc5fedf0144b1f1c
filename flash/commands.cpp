// list, check and send.
#include <cstdio>
#include <memory>

#include "device/device_details.h"
#include "device/transfer.h"
#include "flash/flash.h"
#include "flash/session.h"
#include "image/accept.h"
#include "platform/diag.h"
#include "platform/text.h"

namespace flash {

namespace {

// How often the player list is read again while --wait runs, for services
// that announce no arrivals.
constexpr DWORD kWaitPollMs = 250;

std::string Hex32(DWORD v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(v));
  return text;
}

std::string Number(ULONGLONG v) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(v));
  return text;
}

const char* Bool(bool v) { return v ? "true" : "false"; }

std::string PlayerName(const DeviceDetails& d) {
  return Utf8(d.info.szDeviceManufacturer) + " " + Utf8(d.info.szDeviceName);
}

using Players = std::vector<std::unique_ptr<DeviceDetails>>;

void Collect(const DeviceDetails& details, void* context) {
  static_cast<Players*>(context)->push_back(std::make_unique<DeviceDetails>(details));
}

HRESULT ListPlayers(DeviceManager* devices, Players* players) {
  players->clear();
  return ListDeviceDetails(devices, Collect, players);
}

std::string PlayerJson(const DeviceDetails& d) {
  std::string j = "{\"manufacturer\":" + JsonQuote(Utf8(d.info.szDeviceManufacturer));
  j += ",\"name\":" + JsonQuote(Utf8(d.info.szDeviceName));
  j += ",\"version\":" + JsonQuote(Hex32(d.info.dwDeviceVersion));
  j += std::string(",\"ready\":") + Bool(d.fReady);
  j += ",\"storages\":[";
  for (UINT i = 0; i < d.ListedStorages(); ++i) {
    if (i != 0) j += ",";
    j += "{\"name\":" + JsonQuote(Utf8(d.rgStorages[i].szName)) + ",\"ready\":" + Bool(d.rgStorages[i].fReady) + "}";
  }
  return j + "]}";
}

// One line for a failure, as text or as the JSON verdict.
int Fail(const Options& o, int code, const std::string& message) {
  if (o.json) {
    Out("{\"ok\":false,\"exitCode\":" + std::to_string(code) + ",\"error\":" + JsonQuote(message) + "}\n");
  } else {
    Err("tessfold-flash: " + message + "\n");
  }
  return code;
}

int ServiceFailure(const Options& o, const DeviceManagerCreateResult& r) {
  const std::string code = " (" + Hex32(static_cast<DWORD>(r.hr)) + ")";
  switch (r.stage) {
    case DeviceManagerCreateStage::kService:
      return Fail(
          o, kExitService,
          "no device service: the Windows Media Device Manager service is not installed or not registered" + code);
    case DeviceManagerCreateStage::kAuthentication:
      return Fail(o, kExitService, "the device service refused the authentication handshake" + code);
    case DeviceManagerCreateStage::kManager:
      return Fail(o, kExitService, "the device service refused its device manager after the handshake" + code);
    case DeviceManagerCreateStage::kMemory:
    case DeviceManagerCreateStage::kCreated:
      break;
  }
  return Fail(o, kExitService, "the device session could not be set up" + code);
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

const char* WindowText(TransferKind kind) {
  switch (kind) {
    case KIND_BOOTLOADER:
      return "at most 0x80000 bytes";
    case KIND_RECOVERY:
      return "0x80000 to 0x180000 bytes";
    case KIND_OS_IMAGE:
      return "at least 0x180000 bytes";
    default:
      return "none";
  }
}

// Picks the player to work with, waiting for one when asked to. Returns the
// exit code of a failure, or -1 with *chosen set.
int ChoosePlayer(const Options& o, Session& session, Players* players, const DeviceDetails** chosen) {
  const DWORD waitMs = o.waitSeconds * 1000;
  const DWORD start = GetTickCount();
  bool announced = false;
  for (;;) {
    const HRESULT hr = ListPlayers(session.devices(), players);
    if (FAILED(hr)) return Fail(o, kExitFailed, "the device service cannot list players (" + Hex32(hr) + ")");
    std::vector<const DeviceDetails*> candidates;
    for (const auto& p : *players) {
      if (!o.playerGiven || Utf8(p->info.szDeviceName) == Utf8(o.player)) candidates.push_back(p.get());
    }
    if (!o.playerGiven && players->size() > 1) {
      std::string names;
      for (const auto& p : *players) {
        if (!names.empty()) names += ", ";
        names += Utf8(p->info.szDeviceName);
      }
      return Fail(o, kExitUsage, "several players are connected (" + names + "): choose one with --player NAME");
    }
    if (!candidates.empty()) {
      // With identical names the device layer holds the first ready one.
      *chosen = candidates.front();
      for (const DeviceDetails* c : candidates) {
        if (c->fReady) {
          *chosen = c;
          break;
        }
      }
      return -1;
    }
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
    session.WaitForDeviceEvent(left < kWaitPollMs ? left : kWaitPollMs);
  }
}

void PrintLines(const std::vector<std::string>& lines, bool toError) {
  for (const std::string& line : lines) (toError ? Err : Out)(line + "\n");
}

std::string LinesJson(const std::vector<std::string>& lines) {
  std::string j = "[";
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i != 0) j += ',';
    j += JsonQuote(NarrowToUtf8(WidenUtf8(lines[i])));
  }
  return j + "]";
}

}  // namespace

int RunList(const Options& o) {
  Session session;
  DeviceManagerCreateResult created = {};
  if (!session.Open(&created)) return ServiceFailure(o, created);
  Players players;
  const HRESULT hr = ListPlayers(session.devices(), &players);
  if (FAILED(hr)) return Fail(o, kExitFailed, "the device service cannot list players (" + Hex32(hr) + ")");

  if (o.json) {
    std::string j = "{\"ok\":true,\"exitCode\":0,\"players\":[";
    for (size_t i = 0; i < players.size(); ++i) {
      if (i != 0) j += ',';
      j += PlayerJson(*players[i]);
    }
    Out(j + "]}\n");
    return kExitOk;
  }
  if (players.empty()) {
    Out("No players connected.\n");
    return kExitOk;
  }
  for (const auto& p : players) {
    Out(Utf8(p->info.szDeviceManufacturer) + "\t" + Utf8(p->info.szDeviceName) + "\tversion " +
        Hex32(p->info.dwDeviceVersion) + "\t" + (p->fReady ? "ready" : "busy") + "\n");
    for (UINT i = 0; i < p->ListedStorages(); ++i) {
      const StorageDetails& s = p->rgStorages[i];
      Out("    storage \"" + Utf8(s.szName) + "\"\t" + (s.fReady ? "ready" : "not ready") + "\n");
    }
    if (p->cStorages > p->ListedStorages())
      Out("    (" + std::to_string(p->cStorages - p->ListedStorages()) + " more storages)\n");
  }
  return kExitOk;
}

int RunCheckOrSend(const Options& o) {
  const bool send = o.command == Command::kSend;
  const std::string file = Utf8(o.file);
  WIN32_FILE_ATTRIBUTE_DATA attributes = {};
  if (!GetFileAttributesExW(o.file.c_str(), GetFileExInfoStandard, &attributes))
    return Fail(o, kExitUsage, "cannot open '" + file + "': no such file");
  if ((attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return Fail(o, kExitUsage, "'" + file + "' is a folder, not a file");

  Session session;
  DeviceManagerCreateResult created = {};
  if (!session.Open(&created)) return ServiceFailure(o, created);

  Players players;
  const DeviceDetails* chosen = nullptr;
  if (const int rc = ChoosePlayer(o, session, &players, &chosen); rc >= 0) return rc;
  const std::string player = PlayerName(*chosen);
  if (!chosen->fReady) return Fail(o, kExitFailed, "the player " + player + " is busy (not ready)");
  if (!chosen->HasReadyStorage()) return Fail(o, kExitFailed, "the player " + player + " has no ready storage");
  if (const HRESULT hr = ConnectDevice(session.devices(), &chosen->info); FAILED(hr))
    return Fail(o, kExitFailed, "cannot connect to the player " + player + " (" + Hex32(hr) + ")");

  // The same road as the window programs: TransferFile's checks, and for send
  // its copy; the acceptance lines are kept for the report.
  TransferCheck check = {};
  HRESULT hr = S_OK;
  std::vector<std::string> lines;
  ForgetLastAcceptReport();
  {
    LineCapture capture;
    if (send) {
      SetTransferSuccessBox(false);
      BeginProgress((static_cast<ULONGLONG>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow);
      hr = TransferFileWithCheck(session.devices(), o.file.c_str(), o.kind, &check);
      EndProgress();
    } else {
      hr = CheckTransfer(session.devices(), o.file.c_str(), o.kind, &check);
    }
    lines = capture.Lines();
  }
  if (!send && FAILED(hr)) return Fail(o, kExitFailed, "the checks could not run (" + Hex32(hr) + ")");
  AcceptReport report = {};
  const bool reported = LastAcceptReport(&report);
  const bool font = o.kind == KIND_FONT;
  const std::string kind = Utf8(o.kindName);
  const std::string destination = Utf8(check.szDestination);

  // The one-line verdict; empty when everything passed.
  std::string refusal;
  if (!check.fSend) {
    if (!check.fImage) {
      refusal = "'" + file + "' is not a ROM image";
    } else if (!check.fAccepted) {
      refusal = "the image is refused: " + (reported ? AcceptRefusalReason(report) : std::string("checks failed"));
    } else if (!check.fSized) {
      refusal = "the size of '" + file + "' cannot be read";
    } else {
      refusal = "the image's size " + Number(check.cbFile) + " bytes is outside the " + kind + " window (" +
                WindowText(o.kind) + ")";
    }
  }
  std::string signature;
  if (check.fImage && check.fAccepted && reported) {
    signature = std::string(TrustLevelName(report.dwRootLevel)) + " signature, make and model match";
  }
  const bool copied = send && check.fSend && SUCCEEDED(hr);
  std::string failure = refusal;
  if (send && check.fSend && FAILED(hr)) failure = "the copy failed: the device service reported " + Hex32(hr);
  const int code = failure.empty() ? kExitOk : kExitFailed;

  if (o.json) {
    std::string j = std::string("{\"ok\":") + Bool(code == kExitOk) + ",\"exitCode\":" + std::to_string(code);
    j += ",\"command\":" + JsonQuote(send ? "send" : "check");
    j += ",\"player\":" + PlayerJson(*chosen);
    j += ",\"file\":" + JsonQuote(file) + ",\"kind\":" + JsonQuote(kind);
    j += ",\"size\":" + Number(check.cbFile);
    j += std::string(",\"image\":") + Bool(check.fImage);
    j += std::string(",\"accepted\":") + Bool(check.fImage && check.fAccepted);
    j +=
        ",\"trustLevel\":" + (signature.empty() ? std::string("null") : JsonQuote(TrustLevelName(report.dwRootLevel)));
    j += ",\"sizeWindow\":" + JsonQuote(font ? "none" : check.fInWindow ? "inside" : "outside");
    j += ",\"destination\":" + JsonQuote(destination);
    j += std::string(",\"sent\":") + Bool(copied);
    if (send) j += ",\"result\":" + JsonQuote(Hex32(static_cast<DWORD>(hr)));
    j += ",\"error\":" + (failure.empty() ? std::string("null") : JsonQuote(failure));
    j += ",\"lines\":" + LinesJson(lines) + "}\n";
    Out(j);
    return code;
  }

  if (!send) PrintLines(lines, false);
  if (!failure.empty()) {
    if (send && !refusal.empty()) PrintLines(lines, true);
    Err("tessfold-flash: " + failure + "\n");
    return code;
  }
  const std::string detail = font ? "font files are not bound by the image checks" : signature;
  if (send) {
    Out("Sent '" + file + "' to " + player + " as " + destination + " (" + Number(check.cbFile) + " bytes; " + detail +
        ").\n");
  } else {
    Out("ACCEPTED for " + player + ": " + detail +
        (font ? std::string()
              : "; " + Number(check.cbFile) + " bytes inside the " + kind + " window (" + WindowText(o.kind) + ")") +
        "; it would be stored as " + destination + ".\n");
  }
  return kExitOk;
}

}  // namespace flash
