// tessfold-image sign: stamps a copy of an image with a signed catalog.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "image/accept.h"
#include "image/binutils.h"
#include "mincrypt/rootlevel.h"
#include "platform/diag.h"
#include "platform/text.h"
#include "tools/image_tool.h"
#include "tools/image_tool_open.h"
#include "tools/tool_files.h"

#if TF_IMAGE_TOOL_SIGN
#include "authoring/catalog_signer.h"
#include "authoring/image_stamp.h"
#endif

namespace imagetool {

namespace {

struct Options {
  std::string path, key, cert, out;
  std::vector<std::string> chain;
  std::optional<std::string> make, model;
};

int ParseOptions(const Args& args, Options* o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (IsOption(arg, "--key")) {
      if (!TakeValue(args, &i, "--key", &o->key)) return kExitUsage;
    } else if (IsOption(arg, "--cert")) {
      if (!TakeValue(args, &i, "--cert", &o->cert)) return kExitUsage;
    } else if (IsOption(arg, "--chain")) {
      if (!TakeValue(args, &i, "--chain", &value)) return kExitUsage;
      o->chain.push_back(value);
    } else if (IsOption(arg, "--make")) {
      if (!TakeValue(args, &i, "--make", &value)) return kExitUsage;
      o->make = value;
    } else if (IsOption(arg, "--model")) {
      if (!TakeValue(args, &i, "--model", &value)) return kExitUsage;
      o->model = value;
    } else if (arg == "-o" || IsOption(arg, "--output")) {
      if (!TakeValue(args, &i, arg == "-o" ? "-o" : "--output", &o->out)) return kExitUsage;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option '" + arg + "' for sign");
    } else if (!o->path.empty()) {
      return UsageError("sign takes one FILE");
    } else {
      o->path = arg;
    }
  }
  if (o->path.empty()) return UsageError("sign needs a FILE");
  if (o->key.empty() || o->cert.empty()) return UsageError("sign needs --key and --cert");
  if (!o->make || !o->model) return UsageError("sign needs --make and --model");
  if (o->out.empty()) return UsageError("sign needs -o OUT");
  if (toolfiles::SameFile(o->path, o->out))
    return UsageError("OUT must be another file than FILE (the input is never modified)");
  // The output goes to OUT.partial first and is then renamed over OUT: neither
  // may be one of the files read.
  const std::string partial = toolfiles::PartialPath(o->out);
  std::vector<const std::string*> inputs = {&o->path, &o->key, &o->cert};
  for (const std::string& c : o->chain) inputs.push_back(&c);
  for (const std::string* input : inputs) {
    if (toolfiles::SameFile(*input, o->out) || toolfiles::SameFile(*input, partial)) {
      return UsageError("OUT and OUT.partial must not be FILE or a --key, --cert or --chain file ('" + *input + "')");
    }
  }
  return kExitOk;
}

#if TF_IMAGE_TOOL_SIGN

std::u16string Utf16(const std::string& utf8) {
  const WString wide = WidenUtf8(utf8);
  std::u16string text;
  for (WCHAR c : wide) text.push_back(static_cast<char16_t>(c));
  return text;
}

// Opens the stamped file as a transfer would and accepts it for the make
// and model it was signed for. Returns the refusal's reason, or "" when
// accepted with the expected digest.
std::string VerifyStamped(const std::string& path, const Options& o, const uint8_t* digest) {
  std::string reason;
  if (OpenImageQuietly(path, &reason) != OpenResult::kOpen) return reason;
  const WString make = WidenUtf8(*o.make), model = WidenUtf8(*o.model);
  AcceptReport report{};
  bool accepted = false;
  std::vector<std::string> lines;
  {
    DiagCapture capture;
    SetExpectedDevice(make.c_str(), model.c_str());
    accepted = AcceptImageWithReport(&report);
    SetExpectedDevice(nullptr, nullptr);
    lines = capture.Lines();
  }
  CloseImage();
  if (report.fDigest && std::memcmp(report.rgbDigest, digest, kImageDigestSize) != 0) {
    return "stamping changed the image digest";
  }
  if (accepted) return "";
  // The acceptance's own refusal line says best what went wrong.
  std::string last = lines.empty() ? "refused" : lines.back();
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    if (it->find("ERROR") != std::string::npos || it->find("mismatch") != std::string::npos) {
      last = *it;
      break;
    }
  }
  return WithoutLineEnd(last);
}

int Sign(const Options& o) {
  std::string error;
  std::unique_ptr<catalogsign::Signer> signer = catalogsign::Signer::Load(o.key, o.cert, o.chain, &error);
  if (!signer) {
    Error(error);
    return kExitUsage;
  }
  if (!signer->KeyMatchesCertificate()) {
    Error("the key in '" + o.key + "' does not belong to the certificate in '" + o.cert + "'");
    return kExitRefused;
  }
  unsigned level = 0;
  if (!signer->ReachesBuiltInAnchor(&level, &error)) {
    Error(error);
    return kExitRefused;
  }

  std::vector<uint8_t> input;
  if (std::string cause; !toolfiles::ReadWholeFile(o.path, &input, &cause)) {
    Error("cannot read '" + o.path + "'");
    return kExitUsage;
  }
  std::string reason;
  if (OpenImageQuietly(o.path, &reason) != OpenResult::kOpen) {
    Error(reason);
    return kExitUsage;
  }
  catalogsign::CatalogContent content;
  content.make = Utf16(*o.make);
  content.model = Utf16(*o.model);
  imagestamp::StampResult stamped;
  int rc = kExitOk;
  {
    DiagCapture quiet;
    if (!ComputeImageDigest(content.digest)) {
      error = "the image's signed parts cannot be read";
      rc = kExitUsage;
    } else {
      catalogsign::Bytes catalog;
      if (!signer->Sign(content, &catalog, &error) || !imagestamp::StampCatalog(input, catalog, &stamped, &error)) {
        rc = kExitRefused;
      }
    }
  }
  CloseImage();
  if (rc != kExitOk) {
    Error(error);
    return rc;
  }

  // Written under a temporary name and kept only when it verifies.
  if (!toolfiles::WritePartial(o.out, stamped.bytes.data(), stamped.bytes.size(), toolfiles::Access::kShared, &error)) {
    Error(error);
    return kExitUsage;
  }
  const std::string partial = toolfiles::PartialPath(o.out);
  const std::string refusal = VerifyStamped(partial, o, content.digest);
  if (!refusal.empty()) {
    toolfiles::RemoveFile(partial);
    Error("the signed image would not verify (" + refusal + "); nothing written");
    return kExitRefused;
  }
  if (!toolfiles::CommitPartial(o.out, &error)) {
    Error(error);
    return kExitUsage;
  }
  DiagPrintf(DiagStream::Out, "signed %s -> %s: %s signature for make '%s', model '%s'; catalog %s at 0x%08X\n",
             o.path.c_str(), o.out.c_str(), TrustLevelName(level), o.make->c_str(), o.model->c_str(),
             stamped.fPlaceholder ? "in the cat_sig placeholder" : "in a new extension record",
             static_cast<unsigned>(stamped.dwCatalogAddress));
  return kExitOk;
}

#endif  // TF_IMAGE_TOOL_SIGN

}  // namespace

int RunSign(const Args& args) {
  Options o;
  if (const int rc = ParseOptions(args, &o); rc != kExitOk) return rc;
#if TF_IMAGE_TOOL_SIGN
  return Sign(o);
#else
  Error("sign is not available in this build: it was built without OpenSSL");
  return kExitUsage;
#endif
}

}  // namespace imagetool
