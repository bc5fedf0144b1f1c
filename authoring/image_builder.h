// Deterministic builder of ".bin" ROM image files for tests, fuzz seeds, the
// image tool and the demo. Plain C++ (no test framework), portable.
//
// Two levels:
//  - BinFile: the record file as it stands (signature, image start and length,
//    records in any order with any addresses, an optional end record, a cut).
//  - RomImage: a ROM laid out from a description (modules with sections,
//    files, an extension chain) and split into records; the result reports
//    where everything lies and which parts a traversal hands out.
//
// Layout of a RomImage, in ROM order (offsets from the image start, items
// aligned to 16 bytes): 0x40 filler bytes, the ROM header pointer (a marker
// word and the header's virtual address), then per module its name, module
// header, section table and section data, per file its name and data, the
// extension payloads and records (head first), and last the ROM header
// followed by the module table and the file table. Every record address is
// the virtual address plus `romOffset`. The ROM header is always a record of
// its own (84 bytes); everything else is one record unless split.
//
// Bytes that the description leaves open (names aside) come from a pattern
// seeded by `seed` and the item, so no two items are alike and the same
// description always gives the same file.
//
// Typical use (library tf_image_builder, no test framework needed):
//
//   imagebuilder::RomImage spec;                    // or ParseDescription(text, &spec, &error)
//   spec.modules.push_back({.name = "nk.exe", .sections = {{.virtualSize = 0x2000, .physicalSize = 0x1800}}});
//   spec.files.push_back({.name = "boot.txt", .storedSize = 0x300});
//   spec.extensions.push_back({.name = "cat_sig", .length = 2048});   // zero-filled placeholder
//   imagebuilder::BuiltImage img = imagebuilder::Build(spec);
//   // img.parts: what a traversal hands out (hash these to sign);
//   // img.catSig: where the placeholder lies in img.bytes.
//   imagebuilder::FillSpan(img.bytes, *img.catSig, signedCatalog);   // exactly catSig->length bytes
//   imagebuilder::SaveFile("nk.bin", img.bytes);
//
// Signing a file that was saved earlier: LoadFile, LocateExtensionPayload(bytes,
// "cat_sig"), FillSpan, SaveFile. Filling the payload changes no traversed part.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace imagebuilder {

// ---------------------------------------------------------------------------
// Record files

struct RawRecord {
  uint32_t address = 0;
  std::vector<uint8_t> data;
  std::optional<uint32_t> checksum;  // default: the byte sum of `data`
  std::optional<uint32_t> length;    // default: data.size(); another value misstates it
};

struct BinFile {
  uint32_t imageStart = 0;
  uint32_t imageLength = 0;
  std::vector<RawRecord> records;
  bool endRecord = true;  // address 0, length = entryAddress, checksum 0
  uint32_t entryAddress = 0;
  std::optional<uint64_t> cutAt;  // keep only the first cutAt bytes of the file
};

// Encodes `file`. `dataOffsets`, when given, receives the file offset of each
// record's first data byte (before any cut).
std::vector<uint8_t> EncodeBinFile(const BinFile& file, std::vector<uint64_t>* dataOffsets = nullptr);

// ---------------------------------------------------------------------------
// ROM images

struct Section {
  uint32_t virtualSize = 0;
  uint32_t physicalSize = 0;
  uint32_t flags = 0;
  // The real address points at the section's own data inside the ROM (with
  // equal sizes the section is then in place); otherwise it lies above the ROM.
  bool realInRom = false;
  std::optional<uint32_t> realAddress;       // overrides the choice above
  std::optional<uint32_t> dataAddress;       // points the header elsewhere (e.g. at shared data)
  std::optional<std::vector<uint8_t>> data;  // stored bytes; default physicalSize pattern bytes
};

struct Module {
  std::string name;  // default "module<i>.dll"
  std::vector<Section> sections;
  std::optional<uint16_t> sectionCount;  // the header's count; default sections.size()
  // Point the module table entry at another module's header and section
  // table (by index), e.g. for many modules sharing one.
  std::optional<size_t> sharesWith;
};

struct File {
  std::string name;  // default "file<i>.dat"
  uint32_t storedSize = 0;
  std::optional<uint32_t> realSize;          // default storedSize
  std::optional<std::vector<uint8_t>> data;  // stored bytes; default storedSize pattern bytes
};

struct Extension {
  std::string name;     // at most 24 bytes, NUL-padded in the record
  uint32_t length = 0;  // payload bytes (zeros unless `data` is given)
  uint32_t type = 0;
  std::optional<std::vector<uint8_t>> data;
  // Index in RomImage::extensions of the record that follows; default the
  // next one (the last ends the chain). Makes cycles possible.
  std::optional<size_t> next;
};

struct RomImage {
  uint32_t imageStart = 0x80200000;  // record address of the ROM's first byte
  uint32_t romOffset = 0x40000000;   // record address minus virtual address
  uint32_t seed = 1;
  std::vector<Module> modules;
  std::vector<File> files;
  // The extension chain: a head record (never matched by name lookups) then
  // `extensions` in order. Present when headName is set or any extension is.
  std::optional<std::string> headName;  // default "chain" when extensions exist
  std::vector<Extension> extensions;

  // ROM header words written over the laid-out values, as (offset, value):
  // counts, physical addresses, DLL words, extension pointer...
  std::vector<std::pair<uint32_t, uint32_t>> romHeaderWords;
  std::optional<uint32_t> tocPointer;   // the word at image start + 0x44
  std::optional<uint32_t> imageLength;  // the file header's length; default the ROM size

  // Records: a boundary at each of these virtual addresses, or around every
  // placed item; `extraRecords` are inserted at the given record index.
  std::vector<uint32_t> splitAt;
  bool recordPerItem = false;
  std::vector<std::pair<size_t, RawRecord>> extraRecords;
  // Write the records from the ROM header on first, so that a cut can take
  // away section and file data while the tables stay readable.
  bool tocFirst = false;

  bool endRecord = true;
  std::optional<uint32_t> entryAddress;  // default the ROM's first virtual address
  std::optional<uint64_t> cutAt;         // keep only the first cutAt bytes of the file
};

// One item placed in the ROM: "rom header", "module table", "file table",
// "toc pointer", "module <i> name|header|sections", "module <i> section <j>
// data", "file <i> name|data", "extension head", "extension <k>",
// "extension <k> data".
struct Placed {
  std::string what;
  uint32_t virtualAddress = 0;
  uint32_t length = 0;
};

// One part that a traversal hands out, in order (see image/traverse.h):
// "rom header", "module <i> entry|header", "module <i> section <j>
// header|data", "file <i> entry|data".
struct Part {
  std::string what;
  uint32_t virtualAddress = 0;
  uint32_t length = 0;
};

// A byte range of the file.
struct FileSpan {
  uint64_t fileOffset = 0;
  uint32_t length = 0;
  uint32_t virtualAddress = 0;
};

struct BuiltImage {
  std::vector<uint8_t> bytes;  // the ".bin" file
  uint32_t imageStart = 0;
  uint32_t imageLength = 0;  // of the ROM (the file header may state another)
  uint32_t romOffset = 0;
  uint32_t pTOC = 0;
  std::vector<uint8_t> rom;  // ROM content from image start, as laid out
  std::vector<Placed> items;
  std::vector<Part> parts;
  std::vector<RawRecord> records;         // in file order, extra records included
  std::vector<uint64_t> dataOffsets;      // file offset of each record's data
  std::vector<int64_t> recordRomOffsets;  // where each record starts in `rom`; -1 for extra records
  // False when ROM header words, the header pointer, a section count or a
  // module's header (sharesWith) were overridden: `parts` then lists what was
  // described, not what a reader finds.
  bool partsExact = true;
  // Where the payload of the extension named "cat_sig" lies in the file, when
  // it is there and inside one record: a signer fills it in place.
  std::optional<FileSpan> catSig;

  // Bytes of the ROM at a virtual address (empty when outside the ROM).
  std::vector<uint8_t> RomBytes(uint32_t virtualAddress, uint32_t length) const;
  std::vector<uint8_t> PartBytes(const Part& part) const { return RomBytes(part.virtualAddress, part.length); }
  // The laid-out records' file offset of a ROM byte (first record that holds it).
  std::optional<uint64_t> FileOffsetOf(uint32_t virtualAddress) const;
  const Placed* Find(std::string_view what) const;
};

BuiltImage Build(const RomImage& image);

// Copies `payload` into the file bytes at `span` (length must match).
bool FillSpan(std::vector<uint8_t>& bytes, const FileSpan& span, const std::vector<uint8_t>& payload);

// ---------------------------------------------------------------------------
// Compact description: one directive per line, '#' starts a comment, numbers
// in decimal or 0x hex.
//
//   start <addr>                 image start (record address of the ROM's first byte)
//   offset <n>                   ROM offset
//   seed <n>
//   module [<name>] [count=<n>]  starts a module; its sections follow
//   section <vsize> <psize> [flags=<n>] [inplace] [real=<addr>]
//   file <stored> [name=<s>] [real=<n>]
//   head [<name>]                the extension chain's head
//   ext <name> <length> [type=<n>] [next=<index>]
//   word <offset> <value>        a ROM header word
//   toc <addr>                   the ROM header pointer at image start + 0x44
//   length <n>                   the image length in the file header
//   split <addr>                 a record boundary at a virtual address
//   records-per-item
//   toc-first
//   record <index> <address> <length>   an extra record of pattern bytes
//   end <entry> | noend
//   cut <bytes>
//
// Returns false with a message naming the line on a malformed description.
bool ParseDescription(std::string_view text, RomImage* image, std::string* error);

// ---------------------------------------------------------------------------
// Existing files (e.g. to sign an image after it was built and saved)

// Finds the payload of the ROM extension `name` in a ".bin" file's bytes, the
// way a reader finds it: the record table (at most 1024 records, up to the end
// record), the ROM header pointer (second word at image start + 0x40), the first 84-byte
// record whose ROM header fits the file header (its offset to the pointer is
// the ROM offset), then the extension chain after its head (at most 1024
// records), comparing the name and its terminating NUL. The payload's range
// is resolved to file offsets through the first record that holds all of it.
// Independent of the reader, so that the two can check each other.
//
// Returns the span (file offset, length, virtual address) or nullopt with a
// reason in `*error` (optional): not a ".bin" file, no ROM header, no such
// extension, or a payload that no single record holds whole inside the file.
// Filling the span with FillSpan changes no part that a traversal hands out.
std::optional<FileSpan> LocateExtensionPayload(const std::vector<uint8_t>& bytes, std::string_view name,
                                               std::string* error = nullptr);

// Writes bytes to a file (UTF-8 path), replacing it.
bool SaveFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Reads a whole file (UTF-8 path) into `*bytes`; false when it cannot be read.
bool LoadFile(const std::string& path, std::vector<uint8_t>* bytes);

// The pattern bytes used for open content: deterministic in (seed, stream).
std::vector<uint8_t> PatternBytes(uint32_t seed, uint32_t stream, size_t length);

}  // namespace imagebuilder
