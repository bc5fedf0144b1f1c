#include "flash/verdict.h"

namespace flash {

namespace {

// Why the checks stop the file, in the order a transfer runs them; empty when
// it may go.
std::string Refusal(const TransferVerdict& v, const AcceptReport* report) {
  const TransferCheck& c = v.check;
  if (c.fSend) return std::string();
  if (!c.fImage) return "'" + v.file + "' is not a ROM image";
  if (!c.fAccepted)
    return "the image is refused: " + (report != nullptr ? AcceptRefusalReason(*report) : std::string("checks failed"));
  if (!c.fSized) return "the size of '" + v.file + "' cannot be read";
  return "the image's size " + std::to_string(c.cbFile) + " bytes is outside the " + v.kind->pszOptionName +
         " window (" + SizeWindowText(v.kind->window) + ")";
}

}  // namespace

TransferVerdict DecideTransfer(const Options& o, const DeviceDetails& player, const TransferCheck& check, HRESULT hr,
                               const AcceptReport* report, std::vector<std::string> lines) {
  TransferVerdict v;
  v.send = o.command == Command::kSend;
  v.file = Utf8(o.file);
  v.kind = o.kind;
  v.player = &player;
  v.check = check;
  v.hr = hr;
  v.lines = std::move(lines);
  if (check.fImage && check.fAccepted && report != nullptr) v.trustLevel = TrustLevelName(report->dwRootLevel);
  v.refusal = Refusal(v, report);
  v.copied = v.send && check.fSend && SUCCEEDED(hr);
  v.failure = v.refusal;
  if (v.send && check.fSend && FAILED(hr))
    v.failure = "the copy failed: the device service reported " + Hex32(static_cast<DWORD>(hr));
  v.exitCode = v.failure.empty() ? kExitOk : kExitFailed;
  return v;
}

}  // namespace flash
