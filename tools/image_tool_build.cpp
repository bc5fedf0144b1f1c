// tessfold-image build: synthetic images for demos and tests.
#include <string>

#include "authoring/image_builder.h"
#include "platform/diag.h"
#include "tools/image_tool.h"
#include "tools/tool_files.h"

namespace imagetool {

namespace {

using imagebuilder::RomImage;

struct Options {
  std::string out;
  std::vector<imagebuilder::Module> modules;
  std::vector<imagebuilder::File> files;
  std::optional<uint64_t> size;
  std::optional<uint32_t> catSig;
  bool noChain = false;
  std::optional<uint32_t> seed;
  std::string description;
};

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1) {
    parts.push_back(text.substr(start, comma - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

bool Size32(const std::string& text, const char* what, uint32_t* value) {
  uint64_t v = 0;
  if (!ParseSize(text, &v) || v > 0xFFFFFFFFu) {
    UsageError(std::string("bad ") + what + " '" + text + "'");
    return false;
  }
  *value = static_cast<uint32_t>(v);
  return true;
}

imagebuilder::Section PlainSection(uint32_t size) {
  imagebuilder::Section s;
  s.virtualSize = size;
  s.physicalSize = size;
  return s;
}

int ParseOptions(const Args& args, Options* o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (arg == "-o" || IsOption(arg, "--output")) {
      if (!TakeValue(args, &i, arg == "-o" ? "-o" : "--output", &value)) return kExitUsage;
      o->out = value;
    } else if (IsOption(arg, "--module")) {
      if (!TakeValue(args, &i, "--module", &value)) return kExitUsage;
      const std::vector<std::string> parts = SplitCommas(value);
      imagebuilder::Module m;
      m.name = parts[0];
      if (m.name.empty()) return UsageError("--module needs a name");
      for (size_t k = 1; k < parts.size(); ++k) {
        uint32_t size = 0;
        if (!Size32(parts[k], "section size", &size)) return kExitUsage;
        m.sections.push_back(PlainSection(size));
      }
      if (parts.size() == 1) m.sections = {PlainSection(0x400), PlainSection(0x200)};
      o->modules.push_back(m);
    } else if (IsOption(arg, "--file")) {
      if (!TakeValue(args, &i, "--file", &value)) return kExitUsage;
      const std::vector<std::string> parts = SplitCommas(value);
      if (parts.size() != 2 || parts[0].empty()) return UsageError("--file needs NAME,SIZE");
      imagebuilder::File f;
      f.name = parts[0];
      if (!Size32(parts[1], "file size", &f.storedSize)) return kExitUsage;
      o->files.push_back(f);
    } else if (IsOption(arg, "--size")) {
      if (!TakeValue(args, &i, "--size", &value)) return kExitUsage;
      uint32_t size = 0;
      if (!Size32(value, "size", &size)) return kExitUsage;
      o->size = size;
    } else if (IsOption(arg, "--cat-sig")) {
      if (!TakeValue(args, &i, "--cat-sig", &value)) return kExitUsage;
      uint32_t size = 0;
      if (!Size32(value, "cat_sig size", &size)) return kExitUsage;
      o->catSig = size;
    } else if (arg == "--no-chain") {
      o->noChain = true;
    } else if (IsOption(arg, "--seed")) {
      if (!TakeValue(args, &i, "--seed", &value)) return kExitUsage;
      uint32_t seed = 0;
      if (!Size32(value, "seed", &seed)) return kExitUsage;
      o->seed = seed;
    } else if (IsOption(arg, "--description")) {
      if (!TakeValue(args, &i, "--description", &value)) return kExitUsage;
      o->description = value;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option '" + arg + "' for build");
    } else {
      return UsageError("build takes no FILE argument (use -o OUT)");
    }
  }
  if (o->out.empty()) return UsageError("build needs -o OUT");
  if (o->noChain && o->catSig) return UsageError("--cat-sig needs an extension chain (drop --no-chain)");
  if (!o->description.empty() && (!o->modules.empty() || !o->files.empty() || o->noChain)) {
    return UsageError("--description cannot be combined with --module, --file or --no-chain");
  }
  if (!o->description.empty() && (toolfiles::SameFile(o->description, o->out) ||
                                  toolfiles::SameFile(o->description, toolfiles::PartialPath(o->out)))) {
    return UsageError("OUT must be another file than the description");
  }
  return kExitOk;
}

// The file bytes of `image` padded to exactly `target` bytes: a padding file
// brings the signed content close to the target, zero bytes after the end
// record make up the rest (the reader never looks past the end record).
bool PadTo(RomImage image, uint64_t target, std::vector<uint8_t>* bytes, std::string* error) {
  const size_t padIndex = image.files.size();
  imagebuilder::File pad;
  pad.name = "pad.dat";
  image.files.push_back(pad);
  uint64_t stored = 0;
  for (int attempt = 0; attempt < 8; ++attempt) {
    image.files[padIndex].storedSize = static_cast<uint32_t>(stored);
    imagebuilder::BuiltImage built = imagebuilder::Build(image);
    const uint64_t size = built.bytes.size();
    if (size <= target && target - size < 64) {
      built.bytes.resize(target, 0);
      *bytes = std::move(built.bytes);
      return true;
    }
    if (size > target) {
      if (stored == 0) {
        *error = "the image needs " + std::to_string(size) + " bytes, more than --size " + std::to_string(target);
        return false;
      }
      stored -= std::min<uint64_t>(stored, (size - target + 15) & ~uint64_t{15});
    } else {
      stored += (target - size) & ~uint64_t{15};
    }
    if (stored > 0xFFFFFFFFu) break;
  }
  *error = "cannot lay the image out at " + std::to_string(target) + " bytes";
  return false;
}

}  // namespace

int RunBuild(const Args& args) {
  Options o;
  if (const int rc = ParseOptions(args, &o); rc != kExitOk) return rc;

  RomImage image;
  if (!o.description.empty()) {
    std::vector<uint8_t> text;
    std::string cause;
    if (!toolfiles::ReadWholeFile(o.description, &text, &cause)) {
      Error("cannot read description '" + o.description + "': " + cause);
      return kExitUsage;
    }
    std::string error;
    if (!imagebuilder::ParseDescription(std::string(text.begin(), text.end()), &image, &error)) {
      Error("description '" + o.description + "': " + error);
      return kExitUsage;
    }
  } else {
    image.modules = o.modules;
    image.files = o.files;
    if (image.modules.empty() && image.files.empty()) {
      imagebuilder::Module m;
      m.name = "nk.exe";
      m.sections = {PlainSection(0x1000), PlainSection(0x200)};
      image.modules.push_back(m);
      imagebuilder::File f;
      f.name = "readme.txt";
      f.storedSize = 0x100;
      image.files.push_back(f);
    }
    if (!o.noChain) image.headName = "chain";
  }
  if (o.seed) image.seed = *o.seed;
  if (o.catSig) {
    if (!image.headName && image.extensions.empty()) image.headName = "chain";
    imagebuilder::Extension ext;
    ext.name = "cat_sig";
    ext.length = *o.catSig;
    image.extensions.push_back(ext);
  }

  // Record addresses are 32-bit: the ROM must end within the address space
  // that starts at the image start, or its addresses would wrap.
  const uint64_t room = (uint64_t{1} << 32) - image.imageStart;
  if (o.size && *o.size > room) {
    return UsageError("--size " + std::to_string(*o.size) +
                      " does not fit the 32-bit address space above the image start (" + std::to_string(room) +
                      " bytes)");
  }
  std::vector<uint8_t> bytes;
  if (o.size) {
    std::string error;
    if (!PadTo(image, *o.size, &bytes, &error)) {
      Error(error);
      return kExitUsage;
    }
  } else {
    bytes = imagebuilder::Build(image).bytes;
  }
  if (!WriteOutputOrSay(o.out, bytes)) return kExitUsage;
  const std::string placeholder =
      o.catSig ? ", cat_sig placeholder of " + std::to_string(*o.catSig) + " bytes" : std::string();
  const std::string summary = std::to_string(bytes.size()) + " bytes, " + std::to_string(image.modules.size()) +
                              " modules, " + std::to_string(image.files.size() + (o.size ? 1 : 0)) + " files";
  DiagPrintf(DiagStream::Out, "wrote %s: %s%s\n", o.out.c_str(), summary.c_str(), placeholder.c_str());
  return kExitOk;
}

}  // namespace imagetool
