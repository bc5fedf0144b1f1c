// Writes the seed images of the image harness into the directory given as the
// only argument: small builder images that reach every branch of the reader
// (extension chains, in-place and stored sections, split and odd records,
// data long enough to be handed out in pieces).
#include <cstdio>
#include <string>
#include <vector>

#include "image/traverse.h"
#include "tests/support/image_builder.h"

using namespace imagebuilder;

namespace {

RomImage Mixed() {
  RomImage r;
  r.modules = {Module{.name = "nk.exe",
                      .sections = {Section{.virtualSize = 0x30, .physicalSize = 0x20},
                                   Section{.virtualSize = 0x10, .physicalSize = 0x10, .realInRom = true},
                                   Section{.virtualSize = 0x08, .physicalSize = 0x18, .flags = 0x80002000}}},
               Module{.name = "a.dll", .sections = {Section{.virtualSize = 0x10, .physicalSize = 0x10}}}};
  r.files = {File{.storedSize = 0x21}, File{.storedSize = 0}};
  r.headName = "chain";
  r.extensions = {Extension{.name = "other", .length = 4}, Extension{.name = "cat_sig", .length = 0x30}};
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
    return 2;
  }
  std::vector<std::pair<std::string, RomImage>> seeds;
  seeds.emplace_back("empty", RomImage{});
  seeds.emplace_back("mixed", Mixed());
  {
    RomImage r = Mixed();
    r.recordPerItem = true;
    seeds.emplace_back("record-per-item", r);
  }
  {
    RomImage r = Mixed();
    r.tocFirst = true;
    r.endRecord = false;
    seeds.emplace_back("toc-first-no-end", r);
  }
  {
    RomImage r = Mixed();
    r.extraRecords.push_back({0, RawRecord{.address = 0x70000000, .data = std::vector<uint8_t>(84, 0x5A)}});
    seeds.emplace_back("decoy-header", r);
  }
  {
    RomImage r = Mixed();
    r.extensions[1].next = 0;  // cycle
    seeds.emplace_back("extension-cycle", r);
  }
  {
    RomImage r = Mixed();
    r.tocFirst = true;
    const BuiltImage whole = Build(r);
    r.cutAt = whole.bytes.size() - 0x30;
    seeds.emplace_back("cut", r);
  }
  {
    // Zeros keep the seed small in the repository.
    RomImage r = Mixed();
    r.files[0] =
        File{.storedSize = kTraversalPieceBytes + 0x11, .data = std::vector<uint8_t>(kTraversalPieceBytes + 0x11, 0)};
    seeds.emplace_back("large-file", r);
  }
  for (const auto& [name, spec] : seeds) {
    const std::string path = std::string(argv[1]) + "/" + name + ".bin";
    if (!SaveFile(path, Build(spec).bytes)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
