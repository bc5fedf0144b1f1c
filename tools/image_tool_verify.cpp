// tessfold-image verify: the acceptance a transfer runs, with a verdict.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "device/transfer.h"
#include "image/accept.h"
#include "image/binutils.h"
#include "mincrypt/rootlevel.h"
#include "platform/diag.h"
#include "platform/text.h"
#include "tools/image_tool.h"
#include "tools/tool_files.h"

namespace imagetool {

namespace {

struct Kind {
  const char* name;
  TransferKind kind;
  bool binding;  // false: the file is sent whatever the image checks find
  const char* window;
};

// The transfer's kinds; their size windows are the transfer's own, on the
// whole size of the file.
const Kind kKinds[] = {
    {"bootloader", KIND_BOOTLOADER, true, "at most 0x80000 bytes"},
    {"recovery", KIND_RECOVERY, true, "0x80000 to 0x180000 bytes"},
    {"os", KIND_OS_IMAGE, true, "at least 0x180000 bytes"},
    {"font", KIND_FONT, false, "none"},
};

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
  const Kind* kind = nullptr;
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
      o->kind = nullptr;
      for (const Kind& k : kKinds)
        if (value == k.name) o->kind = &k;
      if (o->kind == nullptr) return UsageError("unknown kind '" + value + "' (bootloader, recovery, os or font)");
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

}  // namespace

int RunVerify(const Args& args) {
  Options o;
  if (const int rc = ParseOptions(args, &o); rc != kExitOk) return rc;
  if (const std::string missing = MissingFileReason(o.path); !missing.empty()) {
    Error(missing);
    return kExitUsage;
  }

  // As a transfer does: open, hand over the expected texts, accept, close.
  // With --json the diagnostic lines go to the error stream so that the
  // standard output holds the JSON object alone.
  std::unique_ptr<DiagCapture> toErr;
  if (o.json) toErr = std::make_unique<DiagCapture>(true);
  AcceptReport report{};
  report.lMakeResult = kAttributeNotChecked;
  report.lModelResult = kAttributeNotChecked;
  const bool opened = OpenImage(WidenUtf8(o.path).c_str());
  bool accepted = false;
  const WString make = WidenUtf8(o.make.value_or(""));
  const WString model = WidenUtf8(o.model.value_or(""));
  if (opened) {
    SetExpectedDevice(o.make ? make.c_str() : nullptr, o.model ? model.c_str() : nullptr);
    accepted = AcceptImageWithReport(&report);
    SetExpectedDevice(nullptr, nullptr);
    CloseImage();
  }
  toErr.reset();

  uint64_t size = 0;
  const bool sized = toolfiles::FileSize(o.path, &size);
  const bool inWindow = o.kind == nullptr || (sized && FitsSizeWindow(o.kind->kind, size));
  const bool binding = o.kind == nullptr || o.kind->binding;
  const bool sent = binding ? opened && accepted && inWindow : true;

  std::string verdict;
  if (!opened) {
    verdict = "'" + o.path + "' is not a ROM image";
  } else if (!accepted) {
    verdict = AcceptRefusalReason(report);
  } else {
    verdict = std::string(TrustLevelName(report.dwRootLevel)) + " signature";
    if (report.lMakeResult == 0 || report.lModelResult == 0) {
      verdict += report.lMakeResult == 0 && report.lModelResult == 0 ? ", make and model match"
                 : report.lMakeResult == 0                           ? ", make matches"
                                                                     : ", model matches";
    }
  }
  std::string window;
  if (o.kind != nullptr && o.kind->binding) {
    window = std::to_string(size) + " bytes " + (inWindow ? "inside" : "outside") + " the " + o.kind->name + " window";
  }

  if (o.json) {
    std::string j = "{";
    j += "\"file\":" + JsonString(o.path);
    j += std::string(",\"image\":") + (opened ? "true" : "false");
    j += std::string(",\"accepted\":") + (sent ? "true" : "false");
    j += std::string(",\"imageAccepted\":") + (accepted ? "true" : "false");
    const bool signatureChecked = report.stage >= AcceptStage::kSignature;
    const bool signaturePassed = report.stage > AcceptStage::kSignature;
    j += std::string(",\"signature\":") + (signaturePassed    ? "\"passed\""
                                           : signatureChecked ? "\"failed\""
                                                              : "\"not checked\"");
    j += ",\"reason\":" + JsonString(sent ? "" : !accepted ? verdict : window);
    j += ",\"trustLevel\":" + (signaturePassed ? JsonString(TrustLevelName(report.dwRootLevel)) : std::string("null"));
    j += ",\"rootLevel\":" + std::to_string(report.dwRootLevel);
    j += ",\"digest\":" + (report.fDigest ? JsonString(DigestHex(report.rgbDigest)) : std::string("null"));
    j += ",\"catalogLength\":" + std::to_string(report.cbCatalog);
    j += ",\"status\":" + JsonString(Hex(static_cast<uint32_t>(report.lStatus)));
    j += ",\"errorCode\":" + JsonString(Hex(static_cast<uint32_t>(report.lErrCode)));
    j += ",\"make\":{\"expected\":" + (o.make ? JsonString(*o.make) : std::string("null")) +
         ",\"result\":" + JsonString(AttributeResult(report.lMakeResult)) + "}";
    j += ",\"model\":{\"expected\":" + (o.model ? JsonString(*o.model) : std::string("null")) +
         ",\"result\":" + JsonString(AttributeResult(report.lModelResult)) + "}";
    if (o.kind != nullptr) {
      j += ",\"kind\":" + JsonString(o.kind->name);
      j += ",\"size\":" + std::to_string(size);
      j += std::string(",\"sizeWindow\":") + (!o.kind->binding ? "\"none\"" : inWindow ? "\"inside\"" : "\"outside\"");
    }
    j += "}\n";
    DiagPrintf(DiagStream::Out, "%s", j.c_str());
  } else if (!opened && binding) {
    Error(verdict);
  } else if (o.kind != nullptr && !o.kind->binding) {
    DiagPrintf(DiagStream::Out, "SENT ANYWAY: font files are not bound by the image checks (%s%s)\n",
               accepted ? "accepted: " : "refused: ", verdict.c_str());
  } else if (sent) {
    DiagPrintf(DiagStream::Out, "ACCEPTED: %s%s%s\n", verdict.c_str(), window.empty() ? "" : "; ", window.c_str());
  } else if (opened && accepted) {
    DiagPrintf(DiagStream::Out, "REFUSED: %s (%s)\n", window.c_str(), o.kind->window);
  } else {
    DiagPrintf(DiagStream::Out, "REFUSED: %s\n", verdict.c_str());
  }
  if (!opened && binding) return kExitUsage;
  return sent ? kExitOk : kExitRefused;
}

}  // namespace imagetool
