#include "flash/verdict.h"

#include "flash/result_text.h"
#include "platform/text.h"

namespace flash {

namespace {

// Why the checks stop the file, in the order a transfer runs them; empty when
// it may go.
std::string Refusal(const TransferVerdict& v, const AcceptReport* report) {
  const TransferCheck& c = v.check;
  if (c.fSend) return std::string();
  if (c.fReservedName)
    return "a font may not be named '" + Utf8(c.szDestination) +
           "': on the player it would replace the firmware file of that name";
  if (!c.fImage) return "'" + v.file + "' is not a ROM image";
  if (!c.fAccepted)
    return "the image is refused: " + (report != nullptr ? AcceptRefusalReason(*report) : std::string("checks failed"));
  if (!c.fSized) return "the size of '" + v.file + "' cannot be read";
  return "the image's size " + std::to_string(c.cbFile) + " bytes is outside the " + v.kind->pszOptionName +
         " window (" + SizeWindowText(v.kind->window) + ")";
}

// What every verdict on `player` starts from: the command, the file and the kind.
TransferVerdict VerdictFor(const Options& o, const DeviceDetails& player) {
  TransferVerdict v;
  v.send = o.command == Command::kSend;
  v.file = Utf8(o.file);
  v.kind = o.kind;
  v.player = &player;
  return v;
}

}  // namespace

TransferVerdict DecideTransfer(const Options& o, const DeviceDetails& player, const TransferCheck& check, HRESULT hr,
                               const AcceptReport* report, std::vector<std::string> lines) {
  TransferVerdict v = VerdictFor(o, player);
  v.check = check;
  v.hr = hr;
  v.lines = std::move(lines);
  if (check.fImage && check.fAccepted && report != nullptr) v.trustLevel = TrustLevelName(report->dwRootLevel);
  v.refusal = Refusal(v, report);
  v.copied = v.send && check.fSend && SUCCEEDED(hr);
  v.failure = v.refusal;
  if (v.send && check.fSend && FAILED(hr)) v.failure = "the copy failed: " + DescribeDeviceResult(hr);
  v.exitCode = v.failure.empty() ? kExitOk : kExitFailed;
  return v;
}

void DecideReadBack(TransferVerdict* v, bool ran, HRESULT hr, const ReadBackResult& r) {
  if (!v->copied) return;
  v->readBack = r;
  if (!ran) {
    v->verification = Verification::kSkipped;
    return;
  }
  const std::string destination = Utf8(v->check.szDestination);
  if (FAILED(hr)) {
    v->verification = Verification::kNotDone;
    v->failure = "the file was sent but could not be read back: " + DescribeDeviceResult(hr);
    v->exitCode = kExitFailed;
    return;
  }
  switch (r.outcome) {
    case ReadBackOutcome::kMatched:
      v->verification = Verification::kMatched;
      return;
    case ReadBackOutcome::kMismatch: {
      v->verification = Verification::kMismatch;
      std::string line = "the read-back does not match what was sent: sent " + std::to_string(r.cbSent) +
                         " bytes, SHA-1 " + HexDigest(r.rgbSent, sizeof r.rgbSent) + "; the player holds " +
                         std::to_string(r.cbRead) + " bytes, SHA-1 " + HexDigest(r.rgbRead, sizeof r.rgbRead);
      if (r.fRemoved) {
        line += "; the damaged " + destination + " was removed from the player";
      } else {
        line += "; removing the damaged " + destination + " failed too (" + DescribeDeviceResult(r.hrDelete) +
                "): the player now holds a bad " + destination + ", send the file again before restarting it";
      }
      v->failure = line;
      break;
    }
    case ReadBackOutcome::kReadFailed:
      v->verification = Verification::kNotDone;
      v->failure = "the file was sent but could not be read back: " + DescribeDeviceResult(r.hr) + "; " + destination +
                   " is left on the player (it may be good): send again, or use --no-verify";
      break;
    case ReadBackOutcome::kSourceFailed:
      v->verification = Verification::kNotDone;
      v->failure = "the file was sent but '" + v->file + "' can no longer be read here to compare it; " + destination +
                   " is left on the player";
      break;
  }
  v->exitCode = kExitFailed;
}

void DecideInterruption(TransferVerdict* v, Interruption where) {
  const std::string destination = Utf8(v->check.szDestination);
  v->interruption = where;
  switch (where) {
    case Interruption::kNone:
      return;
    case Interruption::kBeforeCopy:
      v->failure = "interrupted before anything was sent: the player is unchanged";
      break;
    case Interruption::kDuringCopy:
      v->copied = false;
      v->failure = "interrupted during the copy: the copy was stopped and the player may not hold a complete " +
                   destination + "; send the file again before restarting the player";
      break;
    case Interruption::kDuringReadBack:
      v->verification = Verification::kNotDone;
      v->failure = "interrupted during the read-back: " + destination +
                   " was written to the player but not verified; send it again to be sure";
      break;
  }
  v->exitCode = kExitInterrupted;
}

TransferVerdict SkippedPlayer(const Options& o, const DeviceDetails& player, const std::string& reason) {
  TransferVerdict v = VerdictFor(o, player);
  v.failure = reason;
  v.exitCode = kExitFailed;
  v.skipped = true;
  return v;
}

std::string HexDigest(const BYTE* digest, size_t length) { return LowerHex(digest, length); }

}  // namespace flash
