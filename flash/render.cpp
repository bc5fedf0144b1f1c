#include "flash/render.h"

namespace flash {

namespace {

const char* Bool(bool v) { return v ? "true" : "false"; }

std::string AuthenticationFailureMessage(HandshakeFailure failure);
std::string TransferSuccessText(const TransferVerdict& v);

std::string PlayerName(const DeviceDetails& d) {
  return Utf8(d.info.szDeviceManufacturer) + " " + Utf8(d.info.szDeviceName);
}

std::string PlayerJson(const DeviceDetails& d) {
  std::string j = "{\"manufacturer\":" + JsonQuote(Utf8(d.info.szDeviceManufacturer));
  j += ",\"name\":" + JsonQuote(Utf8(d.info.szDeviceName));
  j += ",\"version\":" + JsonQuote(Hex32(d.info.dwDeviceVersion));
  j += ",\"id\":" + JsonQuote(Utf8(d.szCanonicalName));
  j += std::string(",\"ready\":") + Bool(d.fReady);
  j += ",\"storages\":[";
  for (UINT i = 0; i < d.ListedStorages(); ++i) {
    if (i != 0) j += ",";
    j += "{\"name\":" + JsonQuote(Utf8(d.rgStorages[i].szName)) + ",\"ready\":" + Bool(d.rgStorages[i].fReady) + "}";
  }
  return j + "]}";
}

std::string PlayerText(size_t position, const DeviceDetails& p) {
  std::string t = std::to_string(position) + "\t" + Utf8(p.info.szDeviceManufacturer) + "\t" +
                  Utf8(p.info.szDeviceName) + "\tversion " + Hex32(p.info.dwDeviceVersion) + "\t" +
                  (p.fReady ? "ready" : "busy") + "\tid " + Utf8(p.szCanonicalName) + "\n";
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

std::string OrNull(const std::string& text) { return text.empty() ? std::string("null") : JsonQuote(text); }

std::string VerifiedJson(const TransferVerdict& v) {
  if (v.verification == Verification::kSkipped) return "\"skipped\"";
  return Bool(v.verification == Verification::kMatched);
}

std::string ReadBackJson(const TransferVerdict& v) {
  const ReadBackResult& r = v.readBack;
  std::string j = ",\"verified\":" + VerifiedJson(v);
  j += ",\"sentSha1\":" + (r.fSentDigest ? JsonQuote(HexDigest(r.rgbSent, sizeof r.rgbSent)) : std::string("null"));
  j += ",\"readBackSha1\":" + (r.fReadDigest ? JsonQuote(HexDigest(r.rgbRead, sizeof r.rgbRead)) : std::string("null"));
  j += ",\"readBackSize\":" + (r.fReadDigest ? std::to_string(r.cbRead) : std::string("null"));
  j += std::string(",\"removed\":") + Bool(v.verification == Verification::kMismatch && r.fRemoved);
  return j;
}

const char* InterruptionName(Interruption where) {
  switch (where) {
    case Interruption::kBeforeCopy:
      return "\"before-copy\"";
    case Interruption::kDuringCopy:
      return "\"during-copy\"";
    case Interruption::kDuringReadBack:
      return "\"during-read-back\"";
    case Interruption::kNone:
      break;
  }
  return "null";
}

std::string TransferJsonObject(const TransferVerdict& v) {
  const bool checked = v.kind->fImageChecksBind;
  std::string j = std::string("{\"ok\":") + Bool(v.exitCode == kExitOk) + ",\"exitCode\":" + std::to_string(v.exitCode);
  j += ",\"command\":" + JsonQuote(v.send ? "send" : "check");
  j += ",\"player\":" + PlayerJson(*v.player);
  // The make and model an image is checked against: the player's.
  j += ",\"make\":" + JsonQuote(Utf8(v.player->info.szDeviceManufacturer));
  j += ",\"model\":" + JsonQuote(Utf8(v.player->info.szDeviceName));
  j += ",\"file\":" + JsonQuote(v.file) + ",\"kind\":" + JsonQuote(v.kind->pszOptionName);
  if (v.skipped) {
    j += std::string(",\"skipped\":true,\"sent\":false");
    return j + ",\"error\":" + OrNull(v.failure) + "}";
  }
  j += ",\"size\":" + std::to_string(v.check.cbFile);
  j += ",\"sha1\":" + OrNull(v.fileSha1);
  j += std::string(",\"checked\":") + Bool(checked);
  j += std::string(",\"image\":") + Bool(v.check.fImage);
  // Fonts are not checked: neither accepted nor refused by the image checks.
  j += ",\"accepted\":" + std::string(checked ? Bool(v.check.fImage && v.check.fAccepted) : "null");
  j += ",\"trustLevel\":" + OrNull(v.trustLevel);
  j += ",\"sizeWindow\":" + JsonQuote(SizeWindowState(v));
  j += ",\"destination\":" + JsonQuote(Utf8(v.check.szDestination));
  j += std::string(",\"sent\":") + Bool(v.copied);
  if (v.send) {
    j += ",\"storage\":" + OrNull(v.storage);
    j += ",\"result\":" + JsonQuote(Hex32(static_cast<DWORD>(v.hr)));
    j += ReadBackJson(v);
    j += std::string(",\"interrupted\":") + InterruptionName(v.interruption);
  }
  j += ",\"error\":" + OrNull(v.failure);
  return j + ",\"lines\":" + LinesJson(v.lines) + "}";
}

std::string TransferJson(const TransferVerdict& v) { return TransferJsonObject(v) + "\n"; }

std::string VerifiedText(const TransferVerdict& v) {
  if (v.verification == Verification::kSkipped) return "; not read back (--no-verify)";
  if (v.verification != Verification::kMatched) return std::string();
  return "; read back and verified, SHA-1 " + HexDigest(v.readBack.rgbRead, sizeof v.readBack.rgbRead);
}

// The success line: what was sent, or what would be.
std::string TransferSuccessText(const TransferVerdict& v) {
  const bool binding = v.kind->fImageChecksBind;
  const std::string player = PlayerName(*v.player);
  const std::string destination = Utf8(v.check.szDestination);
  const std::string size = std::to_string(v.check.cbFile);
  const std::string signature =
      v.trustLevel.empty() ? std::string() : v.trustLevel + " signature, make and model match";
  const std::string detail = binding ? signature : "fonts are sent without the image checks";
  const std::string where = v.storage.empty() ? std::string() : " on storage \"" + v.storage + "\"";
  if (v.send)
    return "Sent '" + v.file + "' to " + player + " as " + destination + where + " (" + size + " bytes; " + detail +
           VerifiedText(v) + ").\n";
  if (!binding)
    return "NOT CHECKED: fonts are sent to " + player + " without the image checks; it would be stored as " +
           destination + ".\n";
  const std::string window = binding ? "; " + size + " bytes inside the " + v.kind->pszOptionName + " window (" +
                                           SizeWindowText(v.kind->window) + ")"
                                     : std::string();
  return "ACCEPTED for " + player + ": " + detail + window + "; it would be stored as " + destination + ".\n";
}

// Who stopped the handshake matters: a service whose certificate we refused
// did not refuse us.
std::string AuthenticationFailureMessage(HandshakeFailure failure) {
  switch (failure) {
    case HandshakeFailure::kServiceRefused:
      return "the device service refused the authentication handshake";
    case HandshakeFailure::kServiceReply:
      return "the device service answered the authentication handshake with a reply too short to use";
    case HandshakeFailure::kServiceCertificate:
      return "the device service's certificate did not verify: this program refused to work with it";
    case HandshakeFailure::kServiceSignature:
      return "the device service's signature in the authentication handshake did not verify: this program refused "
             "to work with it";
    case HandshakeFailure::kOwnCredentials:
      return "this program's own credentials for the device service could not be used";
    case HandshakeFailure::kResources:
      return "the authentication handshake ran out of memory or random bytes";
    case HandshakeFailure::kNone:
      break;
  }
  return "the device service offered no authentication protocol this program can use";
}

std::string ResultWord(const TransferVerdict& v) {
  if (v.skipped) return "skipped";
  if (v.interruption != Interruption::kNone) return "interrupted";
  if (!v.refusal.empty()) return "refused";
  if (v.exitCode != kExitOk) return "failed";
  return v.send ? "sent" : (v.kind->fImageChecksBind ? "accepted" : "not checked");
}

std::string VerifiedWord(const TransferVerdict& v) {
  switch (v.verification) {
    case Verification::kMatched:
      return "yes";
    case Verification::kMismatch:
      return v.readBack.fRemoved ? "no (removed)" : "no (NOT removed)";
    case Verification::kNotDone:
      return "not done";
    case Verification::kSkipped:
      return "skipped";
    case Verification::kNotRun:
      break;
  }
  return "-";
}

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text + "  ";
}

}  // namespace

std::string PlayerLabel(const DeviceDetails& d) {
  std::string label = PlayerName(d);
  if (d.szCanonicalName[0] != 0) label += " (" + Utf8(d.szCanonicalName) + ")";
  return label;
}

std::string VerdictLine(const TransferVerdict& v) {
  if (!v.failure.empty()) return PlayerName(*v.player) + ": " + ResultWord(v) + ": " + v.failure + "\n";
  return TransferSuccessText(v);
}

Printed RenderSummary(bool json, const std::vector<TransferVerdict>& verdicts) {
  if (json) {
    std::string j = "[";
    for (size_t i = 0; i < verdicts.size(); ++i) j += (i != 0 ? "," : "") + TransferJsonObject(verdicts[i]);
    return {j + "]\n", ""};
  }
  std::vector<std::string> players;
  size_t width = 6;
  for (size_t i = 0; i < verdicts.size(); ++i) {
    players.push_back(std::to_string(i + 1) + " " + PlayerLabel(*verdicts[i].player));
    if (players.back().size() > width) width = players.back().size();
  }
  std::string t = "\n" + Padded("Player", width) + Padded("Result", 11) + Padded("Destination", 12) + "Verified\n";
  for (size_t i = 0; i < verdicts.size(); ++i) {
    const TransferVerdict& v = verdicts[i];
    const std::string destination = v.skipped ? "-" : Utf8(v.check.szDestination);
    t += Padded(players[i], width) + Padded(ResultWord(v), 11) + Padded(destination, 12) + VerifiedWord(v) + "\n";
  }
  if (verdicts.empty()) t = "No players connected.\n";
  return {t, ""};
}

std::string LogLine(const TransferVerdict& v, const std::string& sourcePath, const std::string& utcTime,
                    const std::string& version) {
  const DeviceDetails& p = *v.player;
  std::string j = "{\"time\":" + JsonQuote(utcTime) + ",\"version\":" + JsonQuote(version);
  j += ",\"manufacturer\":" + JsonQuote(Utf8(p.info.szDeviceManufacturer));
  j += ",\"player\":" + JsonQuote(Utf8(p.info.szDeviceName));
  j += ",\"deviceVersion\":" + JsonQuote(Hex32(p.info.dwDeviceVersion));
  j += ",\"id\":" + JsonQuote(Utf8(p.szCanonicalName));
  j += ",\"kind\":" + JsonQuote(v.kind->pszOptionName) + ",\"source\":" + JsonQuote(sourcePath);
  j += ",\"size\":" + (v.skipped ? std::string("null") : std::to_string(v.check.cbFile));
  j += ",\"sha1\":" + OrNull(v.fileSha1);
  j += ",\"destination\":" + (v.skipped ? std::string("null") : JsonQuote(Utf8(v.check.szDestination)));
  j += ",\"storage\":" + OrNull(v.storage);
  j += ",\"signatureLevel\":" + OrNull(v.trustLevel);
  j += ",\"result\":" + JsonQuote(ResultWord(v)) + ",\"error\":" + OrNull(v.failure);
  j += ",\"verified\":" + VerifiedJson(v);
  j += ",\"readBackSha1\":" + (v.readBack.fReadDigest
                                   ? JsonQuote(HexDigest(v.readBack.rgbRead, sizeof v.readBack.rgbRead))
                                   : std::string("null"));
  return j + "}\n";
}

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
      return AuthenticationFailureMessage(r.handshake) + code;
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
      j += "{\"position\":" + std::to_string(i + 1) + "," + PlayerJson(*players[i]).substr(1);
    }
    return {j + "]}\n", ""};
  }
  if (players.empty()) return {"No players connected.\n", ""};
  Printed printed;
  for (size_t i = 0; i < players.size(); ++i) printed.out += PlayerText(i + 1, *players[i]);
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
