#include "flash/render.h"

namespace flash {

namespace {

const char* Bool(bool v) { return v ? "true" : "false"; }

std::string PlayerName(const DeviceDetails& d) {
  return Utf8(d.info.szDeviceManufacturer) + " " + Utf8(d.info.szDeviceName);
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

std::string PlayerText(const DeviceDetails& p) {
  std::string t = Utf8(p.info.szDeviceManufacturer) + "\t" + Utf8(p.info.szDeviceName) + "\tversion " +
                  Hex32(p.info.dwDeviceVersion) + "\t" + (p.fReady ? "ready" : "busy") + "\n";
  for (UINT i = 0; i < p.ListedStorages(); ++i) {
    const StorageDetails& s = p.rgStorages[i];
    t += "    storage \"" + Utf8(s.szName) + "\"\t" + (s.fReady ? "ready" : "not ready") + "\n";
  }
  if (p.cStorages > p.ListedStorages())
    t += "    (" + std::to_string(p.cStorages - p.ListedStorages()) + " more storages)\n";
  return t;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Lines from the image layers need not be UTF-8; what is not becomes U+FFFD.
std::string LinesJson(const std::vector<std::string>& lines) {
  std::string j = "[";
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i != 0) j += ',';
    j += JsonQuote(NarrowToUtf8(WidenUtf8(lines[i])));
  }
  return j + "]";
}

std::string SizeWindowState(const TransferVerdict& v) {
  if (!v.kind->fImageChecksBind) return "none";
  return v.check.fInWindow ? "inside" : "outside";
}

std::string TransferJson(const TransferVerdict& v) {
  std::string j = std::string("{\"ok\":") + Bool(v.exitCode == kExitOk) + ",\"exitCode\":" + std::to_string(v.exitCode);
  j += ",\"command\":" + JsonQuote(v.send ? "send" : "check");
  j += ",\"player\":" + PlayerJson(*v.player);
  j += ",\"file\":" + JsonQuote(v.file) + ",\"kind\":" + JsonQuote(v.kind->pszOptionName);
  j += ",\"size\":" + std::to_string(v.check.cbFile);
  j += std::string(",\"image\":") + Bool(v.check.fImage);
  j += std::string(",\"accepted\":") + Bool(v.check.fImage && v.check.fAccepted);
  j += ",\"trustLevel\":" + (v.trustLevel.empty() ? std::string("null") : JsonQuote(v.trustLevel));
  j += ",\"sizeWindow\":" + JsonQuote(SizeWindowState(v));
  j += ",\"destination\":" + JsonQuote(Utf8(v.check.szDestination));
  j += std::string(",\"sent\":") + Bool(v.copied);
  if (v.send) j += ",\"result\":" + JsonQuote(Hex32(static_cast<DWORD>(v.hr)));
  j += ",\"error\":" + (v.failure.empty() ? std::string("null") : JsonQuote(v.failure));
  j += ",\"lines\":" + LinesJson(v.lines) + "}\n";
  return j;
}

// The success line: what was sent, or what would be.
std::string TransferSuccessText(const TransferVerdict& v) {
  const bool binding = v.kind->fImageChecksBind;
  const std::string player = PlayerName(*v.player);
  const std::string destination = Utf8(v.check.szDestination);
  const std::string size = std::to_string(v.check.cbFile);
  const std::string signature =
      v.trustLevel.empty() ? std::string() : v.trustLevel + " signature, make and model match";
  const std::string detail = binding ? signature : "font files are not bound by the image checks";
  if (v.send)
    return "Sent '" + v.file + "' to " + player + " as " + destination + " (" + size + " bytes; " + detail + ").\n";
  const std::string window = binding ? "; " + size + " bytes inside the " + v.kind->pszOptionName + " window (" +
                                           SizeWindowText(v.kind->window) + ")"
                                     : std::string();
  return "ACCEPTED for " + player + ": " + detail + window + "; it would be stored as " + destination + ".\n";
}

}  // namespace

Printed RenderFailure(bool json, int exitCode, const std::string& message) {
  if (json)
    return {"{\"ok\":false,\"exitCode\":" + std::to_string(exitCode) + ",\"error\":" + JsonQuote(message) + "}\n", ""};
  return {"", "tessfold-flash: " + message + "\n"};
}

std::string ServiceFailureMessage(const DeviceManagerCreateResult& r) {
  const std::string code = " (" + Hex32(static_cast<DWORD>(r.hr)) + ")";
  switch (r.stage) {
    case DeviceManagerCreateStage::kService:
      return "no device service: the Windows Media Device Manager service is not installed or not registered" + code;
    case DeviceManagerCreateStage::kAuthentication:
      return "the device service refused the authentication handshake" + code;
    case DeviceManagerCreateStage::kManager:
      return "the device service refused its device manager after the handshake" + code;
    case DeviceManagerCreateStage::kMemory:
    case DeviceManagerCreateStage::kCreated:
      break;
  }
  return "the device session could not be set up" + code;
}

Printed RenderPlayers(bool json, const Players& players) {
  if (json) {
    std::string j = "{\"ok\":true,\"exitCode\":0,\"players\":[";
    for (size_t i = 0; i < players.size(); ++i) {
      if (i != 0) j += ',';
      j += PlayerJson(*players[i]);
    }
    return {j + "]}\n", ""};
  }
  if (players.empty()) return {"No players connected.\n", ""};
  Printed printed;
  for (const auto& p : players) printed.out += PlayerText(*p);
  return printed;
}

Printed RenderTransfer(bool json, const TransferVerdict& v) {
  if (json) return {TransferJson(v), ""};
  Printed printed;
  // check shows the acceptance's lines always; send only to explain a refusal.
  if (!v.send) printed.out = Lines(v.lines);
  if (!v.failure.empty()) {
    if (v.send && !v.refusal.empty()) printed.err = Lines(v.lines);
    printed.err += "tessfold-flash: " + v.failure + "\n";
    return printed;
  }
  printed.out += TransferSuccessText(v);
  return printed;
}

}  // namespace flash
