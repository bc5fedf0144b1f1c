// tessfold-image verify: the acceptance a transfer runs, with a verdict.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "device/transfer_kinds.h"
#include "image/accept.h"
#include "image/binutils.h"
#include "mincrypt/rootlevel.h"
#include "platform/diag.h"
#include "platform/text.h"
#include "tools/image_tool.h"
#include "tools/tool_files.h"

namespace imagetool {

namespace {

// The image tool lists the kinds in the order of their sizes.
std::string KindNames() { return TransferKindNameList({KIND_BOOTLOADER, KIND_RECOVERY, KIND_OS_IMAGE, KIND_FONT}); }

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(v));
  return text;
}

std::string DigestHex(const BYTE* digest) {
  std::string text;
  char pair[3];
  for (DWORD i = 0; i < kImageDigestSize; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    text += pair;
  }
  return text;
}

const char* AttributeResult(LONG result) {
  return result == kAttributeNotChecked ? "not checked" : result == 0 ? "passed" : "mismatch";
}

// Text from the command line need not be UTF-8; what is not becomes U+FFFD,
// so that the object stays valid JSON.
std::string JsonString(const std::string& raw) { return JsonQuote(NarrowToUtf8(WidenUtf8(raw))); }

struct Options {
  std::string path;
  std::optional<std::string> make, model;
  const TransferKindInfo* kind = nullptr;
  bool json = false;
};

int ParseOptions(const Args& args, Options* o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (IsOption(arg, "--make")) {
      if (!TakeValue(args, &i, "--make", &value)) return kExitUsage;
      o->make = value;
    } else if (IsOption(arg, "--model")) {
      if (!TakeValue(args, &i, "--model", &value)) return kExitUsage;
      o->model = value;
    } else if (IsOption(arg, "--kind")) {
      if (!TakeValue(args, &i, "--kind", &value)) return kExitUsage;
      o->kind = FindTransferKindByName(value);
      if (o->kind == nullptr) return UsageError("unknown kind '" + value + "' (" + KindNames() + ")");
    } else if (arg == "--json") {
      o->json = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option '" + arg + "' for verify");
    } else if (!o->path.empty()) {
      return UsageError("verify takes one FILE");
    } else {
      o->path = arg;
    }
  }
  if (o->path.empty()) return UsageError("verify needs a FILE");
  return kExitOk;
}

// What the acceptance found, and what a transfer of the file would do.
struct Verdict {
  std::string unreadable;  // why the file cannot be opened; empty when it can
  bool opened = false;     // the file is a ROM image
  bool accepted = false;   // the image checks passed
  AcceptReport report{};
  uint64_t size = 0;
  bool inWindow = true;  // the size fits the kind's window (or no kind was given)
  bool sent = false;     // a transfer of this kind would send the file
  std::string reason;    // the refusal's reason, or what was accepted
  std::string window;    // "N bytes inside the K window", for the binding kinds
};

// As a transfer does: open, hand over the expected texts, accept, close.
// With --json the diagnostic lines go to the error stream so that the
// standard output holds the JSON object alone.
void Accept(const Options& o, Verdict* v) {
  std::unique_ptr<DiagCapture> toErr;
  if (o.json) toErr = std::make_unique<DiagCapture>(true);
  v->report.lMakeResult = kAttributeNotChecked;
  v->report.lModelResult = kAttributeNotChecked;
  v->opened = OpenImage(WidenUtf8(o.path).c_str());
  const WString make = WidenUtf8(o.make.value_or(""));
  const WString model = WidenUtf8(o.model.value_or(""));
  if (v->opened) {
    SetExpectedDevice(o.make ? make.c_str() : nullptr, o.model ? model.c_str() : nullptr);
    v->accepted = AcceptImageWithReport(&v->report);
    SetExpectedDevice(nullptr, nullptr);
    CloseImage();
  }
}

std::string AcceptedText(const AcceptReport& report) {
  std::string text = std::string(TrustLevelName(report.dwRootLevel)) + " signature";
  if (report.lMakeResult == 0 && report.lModelResult == 0) return text + ", make and model match";
  if (report.lMakeResult == 0) return text + ", make matches";
  if (report.lModelResult == 0) return text + ", model matches";
  return text;
}

Verdict Decide(const Options& o) {
  Verdict v;
  v.unreadable = MissingFileReason(o.path);
  if (!v.unreadable.empty()) return v;
  Accept(o, &v);
  const bool sized = toolfiles::FileSize(o.path, &v.size);
  v.inWindow = o.kind == nullptr || (sized && InSizeWindow(o.kind->window, v.size));
  const bool binding = o.kind == nullptr || o.kind->fImageChecksBind;
  v.sent = !binding || (v.opened && v.accepted && v.inWindow);
  v.reason = !v.opened     ? "'" + o.path + "' is not a ROM image"
             : !v.accepted ? AcceptRefusalReason(v.report)
                           : AcceptedText(v.report);
  if (o.kind != nullptr && o.kind->fImageChecksBind) {
    v.window = std::to_string(v.size) + " bytes " + (v.inWindow ? "inside" : "outside") + " the " +
               o.kind->pszOptionName + " window";
  }
  return v;
}

// 0 accepted (or a font, which is sent anyway), 1 refused, 2 a file that
// cannot be opened or is no ROM image at all.
int ExitCode(const Options& o, const Verdict& v) {
  const bool binding = o.kind == nullptr || o.kind->fImageChecksBind;
  if (!v.unreadable.empty() || (!v.opened && binding)) return kExitUsage;
  return v.sent ? kExitOk : kExitRefused;
}

std::string RenderJson(const Options& o, const Verdict& v) {
  std::string j = "{\"file\":" + JsonString(o.path);
  if (!v.unreadable.empty()) {
    return j + ",\"image\":false,\"accepted\":false,\"error\":" + JsonString(v.unreadable) + "}\n";
  }
  const AcceptReport& r = v.report;
  j += std::string(",\"image\":") + (v.opened ? "true" : "false");
  if (!v.opened) j += ",\"error\":" + JsonString(v.reason);
  j += std::string(",\"accepted\":") + (v.sent ? "true" : "false");
  j += std::string(",\"imageAccepted\":") + (v.accepted ? "true" : "false");
  const bool signatureChecked = r.stage >= AcceptStage::kSignature;
  const bool signaturePassed = r.stage > AcceptStage::kSignature;
  j += std::string(",\"signature\":") + (signaturePassed    ? "\"passed\""
                                         : signatureChecked ? "\"failed\""
                                                            : "\"not checked\"");
  j += ",\"reason\":" + JsonString(v.sent ? "" : !v.accepted ? v.reason : v.window);
  j += ",\"trustLevel\":" + (signaturePassed ? JsonString(TrustLevelName(r.dwRootLevel)) : std::string("null"));
  j += ",\"rootLevel\":" + std::to_string(r.dwRootLevel);
  j += ",\"digest\":" + (r.fDigest ? JsonString(DigestHex(r.rgbDigest)) : std::string("null"));
  j += ",\"catalogLength\":" + std::to_string(r.cbCatalog);
  j += ",\"status\":" + JsonString(Hex(static_cast<uint32_t>(r.lStatus)));
  j += ",\"errorCode\":" + JsonString(Hex(static_cast<uint32_t>(r.lErrCode)));
  j += ",\"make\":{\"expected\":" + (o.make ? JsonString(*o.make) : std::string("null")) +
       ",\"result\":" + JsonString(AttributeResult(r.lMakeResult)) + "}";
  j += ",\"model\":{\"expected\":" + (o.model ? JsonString(*o.model) : std::string("null")) +
       ",\"result\":" + JsonString(AttributeResult(r.lModelResult)) + "}";
  if (o.kind != nullptr) {
    j += ",\"kind\":" + JsonString(o.kind->pszOptionName);
    j += ",\"size\":" + std::to_string(v.size);
    j += std::string(",\"sizeWindow\":") + (!o.kind->fImageChecksBind ? "\"none\""
                                            : v.inWindow              ? "\"inside\""
                                                                      : "\"outside\"");
  }
  return j + "}\n";
}

// The verdict line; a file that cannot be opened or is no image (for a
// binding kind) gets an error line instead.
void RenderText(const Options& o, const Verdict& v) {
  const bool binding = o.kind == nullptr || o.kind->fImageChecksBind;
  if (!v.unreadable.empty()) {
    Error(v.unreadable);
  } else if (!v.opened && binding) {
    Error(v.reason);
  } else if (!binding) {
    DiagPrintf(DiagStream::Out, "SENT ANYWAY: font files are not bound by the image checks (%s%s)\n",
               v.accepted ? "accepted: " : "refused: ", v.reason.c_str());
  } else if (v.sent) {
    DiagPrintf(DiagStream::Out, "ACCEPTED: %s%s%s\n", v.reason.c_str(), v.window.empty() ? "" : "; ", v.window.c_str());
  } else if (v.accepted) {
    DiagPrintf(DiagStream::Out, "REFUSED: %s (%s)\n", v.window.c_str(), SizeWindowText(o.kind->window).c_str());
  } else {
    DiagPrintf(DiagStream::Out, "REFUSED: %s\n", v.reason.c_str());
  }
}

}  // namespace

int RunVerify(const Args& args) {
  Options o;
  if (const int rc = ParseOptions(args, &o); rc != kExitOk) return rc;
  const Verdict v = Decide(o);
  if (o.json) {
    if (!v.unreadable.empty()) Error(v.unreadable);
    DiagPrintf(DiagStream::Out, "%s", RenderJson(o, v).c_str());
  } else {
    RenderText(o, v);
  }
  return ExitCode(o, v);
}

}  // namespace imagetool
