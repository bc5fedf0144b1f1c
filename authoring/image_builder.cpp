#include "authoring/image_builder.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <set>

#include "platform/fileio.h"
#include "platform/text.h"

// The builder spells the format out on its own (offsets below) instead of
// sharing the reader's header, so that a wrong offset in either shows up as a
// test failure rather than agreeing with itself.

namespace imagebuilder {

namespace {

constexpr uint8_t kSignature[7] = {'B', '0', '0', '0', 'F', 'F', '\n'};
constexpr uint32_t kMarkerWord = 0x43454345;  // "ECEC" before the ROM header pointer
constexpr size_t kTocPointerAt = 0x40;
constexpr size_t kRomHeaderSize = 84;
constexpr size_t kModuleEntrySize = 32;
constexpr size_t kModuleHeaderSize = 112;
constexpr size_t kSectionHeaderSize = 24;
constexpr size_t kFileEntrySize = 28;
constexpr size_t kExtensionSize = 44;
constexpr size_t kExtensionNameSize = 24;
constexpr uint32_t kFirstDll = 0x02000200;
constexpr uint32_t kLastDll = 0x02100000;

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

void Put16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
  v[at] = static_cast<uint8_t>(x);
  v[at + 1] = static_cast<uint8_t>(x >> 8);
}

uint32_t ByteSum(const std::vector<uint8_t>& v) {
  uint32_t sum = 0;
  for (uint8_t b : v) sum += b;
  return sum;
}

std::vector<uint8_t> NameBytes(const std::string& name) {
  std::vector<uint8_t> bytes(name.begin(), name.end());
  bytes.push_back(0);
  return bytes;
}

// The ROM being laid out: items are appended at 16-byte boundaries unless
// they must follow the previous one directly.
class RomLayout {
 public:
  explicit RomLayout(uint32_t base) : base_(base) {}

  size_t Place(std::string what, const std::vector<uint8_t>& bytes, bool aligned = true) {
    if (aligned) rom_.resize((rom_.size() + 15) & ~size_t{15}, 0);
    const size_t at = rom_.size();
    rom_.insert(rom_.end(), bytes.begin(), bytes.end());
    items_.push_back({std::move(what), Address(at), static_cast<uint32_t>(bytes.size())});
    return at;
  }
  size_t Here() const { return (rom_.size() + 15) & ~size_t{15}; }
  uint32_t Address(size_t at) const { return base_ + static_cast<uint32_t>(at); }
  std::vector<uint8_t>& rom() { return rom_; }
  std::vector<Placed>& items() { return items_; }

 private:
  uint32_t base_;
  std::vector<uint8_t> rom_;
  std::vector<Placed> items_;
};

struct SectionAt {
  size_t data = 0;
  uint32_t storedSize = 0;
};

struct ModuleAt {
  size_t name = 0, header = 0, table = 0;
  std::vector<SectionAt> sections;
};

struct FileAt {
  size_t name = 0, data = 0;
};

std::string Indexed(const char* kind, size_t i, const char* what) {
  return std::string(kind) + " " + std::to_string(i) + " " + what;
}

}  // namespace

std::vector<uint8_t> PatternBytes(uint32_t seed, uint32_t stream, size_t length) {
  // splitmix64 over (seed, stream): cheap, and every item gets its own bytes.
  uint64_t state = (static_cast<uint64_t>(seed) << 32 | stream) * 0x9E3779B97F4A7C15ull + 1;
  std::vector<uint8_t> out(length);
  for (size_t i = 0; i < length; i += 8) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    for (size_t k = 0; k < 8 && i + k < length; ++k) out[i + k] = static_cast<uint8_t>(z >> (8 * k));
  }
  return out;
}

std::vector<uint8_t> EncodeBinFile(const BinFile& file, std::vector<uint64_t>* dataOffsets) {
  // Sized up front and filled in place: one allocation for a 64 MiB image.
  size_t total = sizeof kSignature + 8 + (file.endRecord ? 12 : 0);
  for (const RawRecord& r : file.records) total += 12 + r.data.size();
  std::vector<uint8_t> out(total);
  size_t at = 0;
  auto put = [&](uint32_t x) {
    Put32(out, at, x);
    at += 4;
  };
  std::memcpy(out.data(), kSignature, sizeof kSignature);
  at = sizeof kSignature;
  put(file.imageStart);
  put(file.imageLength);
  if (dataOffsets != nullptr) dataOffsets->clear();
  for (const RawRecord& r : file.records) {
    put(r.address);
    put(r.length.value_or(static_cast<uint32_t>(r.data.size())));
    put(r.checksum.value_or(ByteSum(r.data)));
    if (dataOffsets != nullptr) dataOffsets->push_back(at);
    if (!r.data.empty()) std::memcpy(out.data() + at, r.data.data(), r.data.size());
    at += r.data.size();
  }
  if (file.endRecord) {
    put(0);
    put(file.entryAddress);
    put(0);
  }
  if (file.cutAt && *file.cutAt < out.size()) out.resize(static_cast<size_t>(*file.cutAt));
  return out;
}

BuiltImage Build(const RomImage& spec) {
  BuiltImage out;
  const uint32_t base = spec.imageStart - spec.romOffset;  // the ROM's first virtual address
  RomLayout layout(base);
  uint32_t stream = 0;
  auto pattern = [&](size_t length) { return PatternBytes(spec.seed, stream++, length); };

  // Placement: every item gets its place first; fields that point at other
  // items are written once all addresses are known.
  layout.Place("filler", pattern(kTocPointerAt));
  const size_t tocPointer = layout.Place("toc pointer", std::vector<uint8_t>(8, 0));

  std::vector<ModuleAt> modules(spec.modules.size());
  for (size_t i = 0; i < spec.modules.size(); ++i) {
    const Module& m = spec.modules[i];
    ModuleAt& at = modules[i];
    at.name = layout.Place(Indexed("module", i, "name"),
                           NameBytes(m.name.empty() ? "module" + std::to_string(i) + ".dll" : m.name));
    at.header = layout.Place(Indexed("module", i, "header"), pattern(kModuleHeaderSize));
    at.table =
        layout.Place(Indexed("module", i, "sections"), std::vector<uint8_t>(kSectionHeaderSize * m.sections.size(), 0));
    for (size_t j = 0; j < m.sections.size(); ++j) {
      const Section& s = m.sections[j];
      const std::vector<uint8_t> data = s.data ? *s.data : pattern(s.physicalSize);
      SectionAt sat;
      sat.storedSize = static_cast<uint32_t>(data.size());
      sat.data = data.empty()
                     ? layout.Here()
                     : layout.Place("module " + std::to_string(i) + " section " + std::to_string(j) + " data", data);
      at.sections.push_back(sat);
    }
  }

  std::vector<FileAt> files(spec.files.size());
  for (size_t i = 0; i < spec.files.size(); ++i) {
    const File& f = spec.files[i];
    files[i].name = layout.Place(Indexed("file", i, "name"),
                                 NameBytes(f.name.empty() ? "file" + std::to_string(i) + ".dat" : f.name));
    const std::vector<uint8_t> data = f.data ? *f.data : pattern(f.storedSize);
    files[i].data = data.empty() ? layout.Here() : layout.Place(Indexed("file", i, "data"), data);
  }

  const bool chain = spec.headName.has_value() || !spec.extensions.empty();
  std::vector<size_t> payloads, records;
  size_t head = 0;
  if (chain) {
    for (size_t k = 0; k < spec.extensions.size(); ++k) {
      const Extension& e = spec.extensions[k];
      std::vector<uint8_t> data = e.data ? *e.data : std::vector<uint8_t>(e.length, 0);
      payloads.push_back(data.empty() ? layout.Here() : layout.Place("extension " + std::to_string(k) + " data", data));
    }
    head = layout.Place("extension head", std::vector<uint8_t>(kExtensionSize, 0));
    for (size_t k = 0; k < spec.extensions.size(); ++k)
      records.push_back(layout.Place("extension " + std::to_string(k), std::vector<uint8_t>(kExtensionSize, 0)));
  }

  const size_t toc = layout.Place("rom header", pattern(kRomHeaderSize));
  const size_t moduleTable =
      layout.Place("module table", std::vector<uint8_t>(kModuleEntrySize * spec.modules.size(), 0), false);
  const size_t fileTable =
      layout.Place("file table", std::vector<uint8_t>(kFileEntrySize * spec.files.size(), 0), false);

  std::vector<uint8_t>& rom = layout.rom();
  const uint32_t romLength = static_cast<uint32_t>(rom.size());
  const uint32_t physFirst = base;
  const uint32_t physLast = base + romLength;
  auto va = [&](size_t at) { return layout.Address(at); };

  // Fields.
  Put32(rom, tocPointer, kMarkerWord);
  Put32(rom, tocPointer + 4, spec.tocPointer.value_or(va(toc)));

  for (size_t i = 0; i < spec.modules.size(); ++i) {
    const Module& m = spec.modules[i];
    const ModuleAt& at = modules[i];
    Put16(rom, at.header, m.sectionCount.value_or(static_cast<uint16_t>(m.sections.size())));
    uint32_t moduleSize = 0;
    for (size_t j = 0; j < m.sections.size(); ++j) {
      const Section& s = m.sections[j];
      const size_t h = at.table + kSectionHeaderSize * j;
      const uint32_t data = s.dataAddress.value_or(va(at.sections[j].data));
      const uint32_t aboveRom = physLast + 0x1000 * static_cast<uint32_t>(j + 1);
      Put32(rom, h + 0, s.virtualSize);
      Put32(rom, h + 4, 0x1000 * static_cast<uint32_t>(j + 1));  // relative address
      Put32(rom, h + 8, s.physicalSize);
      Put32(rom, h + 12, data);
      Put32(rom, h + 16, s.realAddress.value_or(s.realInRom ? data : aboveRom));
      Put32(rom, h + 20, s.flags);
      moduleSize += s.virtualSize;
    }
    const std::vector<uint8_t> time = pattern(8);
    const size_t e = moduleTable + kModuleEntrySize * i;
    Put32(rom, e + 0, 0x1000u + static_cast<uint32_t>(i));  // attributes
    std::copy(time.begin(), time.end(), rom.begin() + static_cast<std::ptrdiff_t>(e + 4));
    Put32(rom, e + 12, moduleSize);
    Put32(rom, e + 16, va(at.name));
    const ModuleAt& shared = m.sharesWith && *m.sharesWith < modules.size() ? modules[*m.sharesWith] : at;
    Put32(rom, e + 20, va(shared.header));
    Put32(rom, e + 24, va(shared.table));
    Put32(rom, e + 28, 0x10000u * static_cast<uint32_t>(i + 1));  // load offset
  }

  for (size_t i = 0; i < spec.files.size(); ++i) {
    const File& f = spec.files[i];
    const std::vector<uint8_t> time = pattern(8);
    const size_t e = fileTable + kFileEntrySize * i;
    Put32(rom, e + 0, 0x20u + static_cast<uint32_t>(i));  // attributes
    std::copy(time.begin(), time.end(), rom.begin() + static_cast<std::ptrdiff_t>(e + 4));
    Put32(rom, e + 12, f.realSize.value_or(f.storedSize));
    Put32(rom, e + 16, f.storedSize);
    Put32(rom, e + 20, va(files[i].name));
    Put32(rom, e + 24, va(files[i].data));
  }

  if (chain) {
    const std::string headName = spec.headName.value_or("chain");
    auto writeRecord = [&](size_t at, const std::string& name, uint32_t type, uint32_t data, uint32_t length,
                           uint32_t next) {
      std::fill(rom.begin() + static_cast<std::ptrdiff_t>(at),
                rom.begin() + static_cast<std::ptrdiff_t>(at + kExtensionSize), 0);
      std::copy_n(name.begin(), std::min(name.size(), kExtensionNameSize),
                  rom.begin() + static_cast<std::ptrdiff_t>(at));
      Put32(rom, at + 24, type);
      Put32(rom, at + 28, data);
      Put32(rom, at + 32, length);
      Put32(rom, at + 40, next);
    };
    writeRecord(head, headName, 0, 0, 0, records.empty() ? 0 : va(records[0]));
    for (size_t k = 0; k < spec.extensions.size(); ++k) {
      const Extension& e = spec.extensions[k];
      const size_t nextIndex = e.next.value_or(k + 1);
      const uint32_t next = nextIndex < records.size() ? va(records[nextIndex]) : 0;
      const uint32_t length = e.data ? static_cast<uint32_t>(e.data->size()) : e.length;
      writeRecord(records[k], e.name, e.type, va(payloads[k]), length, next);
    }
  }

  Put32(rom, toc + 0, kFirstDll);
  Put32(rom, toc + 4, kLastDll);
  Put32(rom, toc + 8, physFirst);
  Put32(rom, toc + 12, physLast);
  Put32(rom, toc + 16, static_cast<uint32_t>(spec.modules.size()));
  Put32(rom, toc + 48, static_cast<uint32_t>(spec.files.size()));
  Put32(rom, toc + 72, chain ? va(head) : 0);
  for (const auto& [offset, value] : spec.romHeaderWords) Put32(rom, toc + offset, value);

  // What a traversal hands out, by the builder's own account of each item.
  out.parts.push_back({"rom header", va(toc), kRomHeaderSize});
  for (size_t i = 0; i < spec.modules.size(); ++i) {
    const Module& m = spec.modules[i];
    out.parts.push_back({Indexed("module", i, "entry"), va(moduleTable + kModuleEntrySize * i), kModuleEntrySize});
    out.parts.push_back({Indexed("module", i, "header"), va(modules[i].header), kModuleHeaderSize});
    const size_t count = std::min<size_t>(m.sectionCount.value_or(0xFFFF), m.sections.size());
    for (size_t j = 0; j < count; ++j) {
      const Section& s = m.sections[j];
      const std::string prefix = "module " + std::to_string(i) + " section " + std::to_string(j);
      out.parts.push_back({prefix + " header", va(modules[i].table + kSectionHeaderSize * j), kSectionHeaderSize});
      const uint32_t data = s.dataAddress.value_or(va(modules[i].sections[j].data));
      const uint32_t real =
          s.realAddress.value_or(s.realInRom ? data : physLast + 0x1000 * static_cast<uint32_t>(j + 1));
      const bool inPlace = s.virtualSize == s.physicalSize && real >= physFirst && real <= physLast;
      const bool stored = (s.flags & 0x80002000u) == 0x80002000u;
      const uint32_t n = stored ? s.physicalSize : std::min(s.physicalSize, s.virtualSize);
      if (n != 0 && !inPlace) out.parts.push_back({prefix + " data", data, n});
    }
  }
  for (size_t i = 0; i < spec.files.size(); ++i) {
    out.parts.push_back({Indexed("file", i, "entry"), va(fileTable + kFileEntrySize * i), kFileEntrySize});
    if (spec.files[i].storedSize != 0)
      out.parts.push_back({Indexed("file", i, "data"), va(files[i].data), spec.files[i].storedSize});
  }

  // Records: the ROM header alone, the rest split where asked.
  std::set<size_t> bounds{0, rom.size(), toc, toc + kRomHeaderSize};
  for (uint32_t address : spec.splitAt) {
    const size_t at = static_cast<uint32_t>(address - base);
    if (at < rom.size()) bounds.insert(at);
  }
  if (spec.recordPerItem) {
    for (const Placed& p : layout.items()) {
      bounds.insert(p.virtualAddress - base);
      bounds.insert(p.virtualAddress - base + p.length);
    }
  }
  std::vector<int64_t> romOffsets;
  std::vector<RawRecord> before, after;  // before / from the ROM header
  std::vector<int64_t> beforeOffsets, afterOffsets;
  for (auto it = bounds.begin(); std::next(it) != bounds.end(); ++it) {
    const size_t from = *it, to = *std::next(it);
    RawRecord r;
    r.address = spec.imageStart + static_cast<uint32_t>(from);
    r.data.assign(rom.begin() + static_cast<std::ptrdiff_t>(from), rom.begin() + static_cast<std::ptrdiff_t>(to));
    (from < toc ? before : after).push_back(std::move(r));
    (from < toc ? beforeOffsets : afterOffsets).push_back(static_cast<int64_t>(from));
  }
  if (spec.tocFirst) {
    std::swap(before, after);
    std::swap(beforeOffsets, afterOffsets);
  }
  out.records = std::move(before);
  out.records.insert(out.records.end(), after.begin(), after.end());
  romOffsets = std::move(beforeOffsets);
  romOffsets.insert(romOffsets.end(), afterOffsets.begin(), afterOffsets.end());
  for (const auto& [index, record] : spec.extraRecords) {
    const size_t at = std::min(index, out.records.size());
    out.records.insert(out.records.begin() + static_cast<std::ptrdiff_t>(at), record);
    romOffsets.insert(romOffsets.begin() + static_cast<std::ptrdiff_t>(at), -1);
  }

  BinFile file;
  file.imageStart = spec.imageStart;
  file.imageLength = spec.imageLength.value_or(romLength);
  file.records = out.records;
  file.endRecord = spec.endRecord;
  file.entryAddress = spec.entryAddress.value_or(base);
  file.cutAt = spec.cutAt;
  out.bytes = EncodeBinFile(file, &out.dataOffsets);
  out.imageStart = spec.imageStart;
  out.imageLength = romLength;
  out.romOffset = spec.romOffset;
  out.pTOC = va(toc);
  out.items = std::move(layout.items());
  out.rom = std::move(rom);
  out.recordRomOffsets = std::move(romOffsets);
  out.partsExact = spec.romHeaderWords.empty() && !spec.tocPointer &&
                   std::none_of(spec.modules.begin(), spec.modules.end(),
                                [](const Module& m) { return m.sectionCount || m.sharesWith; });

  for (size_t k = 0; k < spec.extensions.size(); ++k) {
    if (spec.extensions[k].name != "cat_sig") continue;
    const uint32_t length =
        spec.extensions[k].data ? static_cast<uint32_t>(spec.extensions[k].data->size()) : spec.extensions[k].length;
    const uint32_t address = va(payloads[k]);
    const std::optional<uint64_t> start = out.FileOffsetOf(address);
    // The payload has to be one piece of the file for a signer to fill it.
    if (start && (length == 0 || out.FileOffsetOf(address + length - 1) == *start + length - 1) &&
        *start + length <= out.bytes.size()) {
      out.catSig = FileSpan{*start, length, address};
    }
    break;
  }
  return out;
}

std::vector<uint8_t> BuiltImage::RomBytes(uint32_t virtualAddress, uint32_t length) const {
  const uint64_t at = static_cast<uint32_t>(virtualAddress - (imageStart - romOffset));
  if (at + length > rom.size()) return {};
  return std::vector<uint8_t>(rom.begin() + static_cast<std::ptrdiff_t>(at),
                              rom.begin() + static_cast<std::ptrdiff_t>(at + length));
}

std::optional<uint64_t> BuiltImage::FileOffsetOf(uint32_t virtualAddress) const {
  const uint64_t at = static_cast<uint32_t>(virtualAddress - (imageStart - romOffset));
  for (size_t i = 0; i < records.size(); ++i) {
    if (recordRomOffsets[i] < 0) continue;
    const uint64_t from = static_cast<uint64_t>(recordRomOffsets[i]);
    if (at >= from && at < from + records[i].data.size()) return dataOffsets[i] + (at - from);
  }
  return std::nullopt;
}

const Placed* BuiltImage::Find(std::string_view what) const {
  for (const Placed& p : items)
    if (p.what == what) return &p;
  return nullptr;
}

bool FillSpan(std::vector<uint8_t>& bytes, const FileSpan& span, const std::vector<uint8_t>& payload) {
  if (payload.size() != span.length || span.fileOffset + span.length > bytes.size()) return false;
  std::copy(payload.begin(), payload.end(), bytes.begin() + static_cast<std::ptrdiff_t>(span.fileOffset));
  return true;
}

// ---------------------------------------------------------------------------
// Description

namespace {

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const size_t from = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > from) words.push_back(line.substr(from, i - from));
  }
  return words;
}

bool Number(std::string_view text, uint64_t* value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value, base);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool Number32(std::string_view text, uint32_t* value) {
  uint64_t v = 0;
  if (!Number(text, &v) || v > 0xFFFFFFFFull) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

// Splits "key=value"; returns false for a plain word.
bool Option(std::string_view word, std::string_view* key, std::string_view* value) {
  const size_t eq = word.find('=');
  if (eq == std::string_view::npos) return false;
  *key = word.substr(0, eq);
  *value = word.substr(eq + 1);
  return true;
}

}  // namespace

bool ParseDescription(std::string_view text, RomImage* image, std::string* error) {
  RomImage result;
  size_t lineNumber = 0;
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = "line " + std::to_string(lineNumber) + ": " + why;
    return false;
  };
  while (!text.empty()) {
    ++lineNumber;
    const size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    if (const size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    const std::vector<std::string_view> w = Words(line);
    if (w.empty()) continue;
    const std::string_view cmd = w[0];
    auto num = [&](size_t i, uint32_t* v) { return i < w.size() && Number32(w[i], v); };
    uint32_t a = 0, b = 0;

    if (cmd == "start" && w.size() == 2 && num(1, &a)) {
      result.imageStart = a;
    } else if (cmd == "offset" && w.size() == 2 && num(1, &a)) {
      result.romOffset = a;
    } else if (cmd == "seed" && w.size() == 2 && num(1, &a)) {
      result.seed = a;
    } else if (cmd == "module") {
      Module m;
      for (size_t i = 1; i < w.size(); ++i) {
        std::string_view key, value;
        if (Option(w[i], &key, &value)) {
          if (key != "count" || !Number32(value, &a) || a > 0xFFFF) return fail("bad module option");
          m.sectionCount = static_cast<uint16_t>(a);
        } else {
          m.name = std::string(w[i]);
        }
      }
      result.modules.push_back(std::move(m));
    } else if (cmd == "section") {
      if (result.modules.empty()) return fail("section before any module");
      Section s;
      if (!num(1, &s.virtualSize) || !num(2, &s.physicalSize)) return fail("section needs <vsize> <psize>");
      for (size_t i = 3; i < w.size(); ++i) {
        std::string_view key, value;
        if (w[i] == "inplace") {
          s.realInRom = true;
        } else if (Option(w[i], &key, &value) && key == "flags" && Number32(value, &a)) {
          s.flags = a;
        } else if (Option(w[i], &key, &value) && key == "real" && Number32(value, &a)) {
          s.realAddress = a;
        } else {
          return fail("bad section option");
        }
      }
      result.modules.back().sections.push_back(s);
    } else if (cmd == "file") {
      File f;
      if (!num(1, &f.storedSize)) return fail("file needs <stored size>");
      for (size_t i = 2; i < w.size(); ++i) {
        std::string_view key, value;
        if (!Option(w[i], &key, &value)) return fail("bad file option");
        if (key == "name") {
          f.name = std::string(value);
        } else if (key == "real" && Number32(value, &a)) {
          f.realSize = a;
        } else {
          return fail("bad file option");
        }
      }
      result.files.push_back(std::move(f));
    } else if (cmd == "head" && w.size() <= 2) {
      result.headName = w.size() == 2 ? std::string(w[1]) : std::string("chain");
    } else if (cmd == "ext" && w.size() >= 3 && num(2, &b)) {
      Extension e;
      e.name = std::string(w[1]);
      if (e.name.size() > 24) return fail("extension name longer than 24 bytes");
      e.length = b;
      for (size_t i = 3; i < w.size(); ++i) {
        std::string_view key, value;
        if (Option(w[i], &key, &value) && key == "type" && Number32(value, &a)) {
          e.type = a;
        } else if (Option(w[i], &key, &value) && key == "next" && Number32(value, &a)) {
          e.next = a;
        } else {
          return fail("bad extension option");
        }
      }
      result.extensions.push_back(std::move(e));
    } else if (cmd == "word" && w.size() == 3 && num(1, &a) && num(2, &b)) {
      if (a > 80) return fail("ROM header word offset past 80");
      result.romHeaderWords.emplace_back(a, b);
    } else if (cmd == "toc" && w.size() == 2 && num(1, &a)) {
      result.tocPointer = a;
    } else if (cmd == "length" && w.size() == 2 && num(1, &a)) {
      result.imageLength = a;
    } else if (cmd == "split" && w.size() == 2 && num(1, &a)) {
      result.splitAt.push_back(a);
    } else if (cmd == "records-per-item" && w.size() == 1) {
      result.recordPerItem = true;
    } else if (cmd == "toc-first" && w.size() == 1) {
      result.tocFirst = true;
    } else if (cmd == "record" && w.size() == 4) {
      uint32_t index = 0, length = 0;
      if (!num(1, &index) || !num(2, &a) || !num(3, &length) || length > (64u << 20))
        return fail("record needs <index> <address> <length> (length up to 64 MiB)");
      RawRecord r;
      r.address = a;
      r.data = PatternBytes(result.seed, 0x80000000u + index, length);
      result.extraRecords.emplace_back(index, std::move(r));
    } else if (cmd == "end" && w.size() == 2 && num(1, &a)) {
      result.endRecord = true;
      result.entryAddress = a;
    } else if (cmd == "noend" && w.size() == 1) {
      result.endRecord = false;
    } else if (cmd == "cut" && w.size() == 2 && num(1, &a)) {
      result.cutAt = a;
    } else {
      return fail("cannot read \"" + std::string(line) + "\"");
    }
  }
  *image = std::move(result);
  return true;
}

namespace {

uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
  return static_cast<uint32_t>(v[at]) | static_cast<uint32_t>(v[at + 1]) << 8 | static_cast<uint32_t>(v[at + 2]) << 16 |
         static_cast<uint32_t>(v[at + 3]) << 24;
}

struct FileRecord {
  uint32_t address, length;
  uint64_t dataOffset;
};

// Record address range -> file range, through the first record that holds all
// of [address, address + length) and whose bytes are all in the file.
std::optional<uint64_t> FileOffsetIn(const std::vector<FileRecord>& records, uint64_t fileSize, uint32_t address,
                                     uint32_t length) {
  for (const FileRecord& r : records) {
    if (r.address <= address && uint64_t{r.address} + r.length >= uint64_t{address} + length) {
      const uint64_t at = r.dataOffset + (address - r.address);
      if (at + length > fileSize) return std::nullopt;
      return at;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<FileSpan> LocateExtensionPayload(const std::vector<uint8_t>& bytes, std::string_view name,
                                               std::string* error) {
  auto fail = [&](const char* why) -> std::optional<FileSpan> {
    if (error != nullptr) *error = why;
    return std::nullopt;
  };
  if (bytes.size() < 15 || !std::equal(std::begin(kSignature), std::end(kSignature), bytes.begin()))
    return fail("not a .bin image");
  const uint32_t imageStart = Get32(bytes, 7), imageLength = Get32(bytes, 11);
  std::vector<FileRecord> records;
  for (uint64_t pos = 15; records.size() < 1024 && pos + 12 <= bytes.size();) {
    const uint32_t address = Get32(bytes, pos), length = Get32(bytes, pos + 4), checksum = Get32(bytes, pos + 8);
    if (address == 0 && checksum == 0) break;
    records.push_back({address, length, pos + 12});
    pos += 12 + uint64_t{length};
  }
  // Each structure is read whole from one record, as the reader does.
  auto at = [&](uint32_t address, uint32_t length) { return FileOffsetIn(records, bytes.size(), address, length); };
  const std::optional<uint64_t> pointer = at(imageStart + 0x40, 8);
  if (!pointer) return fail("no ROM header pointer at image start + 0x40");
  const uint32_t pTOC = Get32(bytes, static_cast<size_t>(*pointer + 4));
  std::optional<uint32_t> romOffset;
  for (const FileRecord& r : records) {
    if (r.length != kRomHeaderSize) continue;
    const uint32_t offset = r.address - pTOC;
    const std::optional<uint64_t> header = at(r.address, kRomHeaderSize);
    if (!header) continue;
    const size_t h = static_cast<size_t>(*header);
    const uint32_t firstDll = Get32(bytes, h), lastDll = Get32(bytes, h + 4);
    if (Get32(bytes, h + 8) == imageStart - offset && Get32(bytes, h + 12) == imageStart - offset + imageLength &&
        (firstDll & 0xFFFF0000u) <= lastDll && ((firstDll & 0xFFFFu) << 16) <= lastDll) {
      romOffset = offset;
      break;
    }
  }
  if (!romOffset) return fail("no ROM header fits the file header");
  const std::optional<uint64_t> header = at(pTOC + *romOffset, kRomHeaderSize);
  if (!header) return fail("ROM header unreadable");
  uint32_t next = Get32(bytes, static_cast<size_t>(*header + 72));
  if (next == 0) return fail("no extension chain");
  const std::optional<uint64_t> head = at(next + *romOffset, kExtensionSize);
  if (!head) return fail("extension chain head unreadable");
  next = Get32(bytes, static_cast<size_t>(*head + 40));  // the head itself is never matched
  std::vector<uint8_t> wanted(name.begin(), name.end());
  wanted.push_back(0);
  if (wanted.size() > kExtensionNameSize) return fail("extension name longer than 23 bytes");
  for (int walked = 0; next != 0; ++walked) {
    const std::optional<uint64_t> record = at(next + *romOffset, kExtensionSize);
    if (walked == 1024 || !record) return fail("extension chain unreadable or too long");
    const size_t e = static_cast<size_t>(*record);
    if (std::equal(wanted.begin(), wanted.end(), bytes.begin() + static_cast<std::ptrdiff_t>(e))) {
      const uint32_t address = Get32(bytes, e + 28), length = Get32(bytes, e + 32);
      const std::optional<uint64_t> data = at(address + *romOffset, length);
      if (!data) return fail("extension payload is not whole inside one record");
      return FileSpan{*data, length, address};
    }
    next = Get32(bytes, e + 40);
  }
  return fail("no such extension");
}

bool LoadFile(const std::string& path, std::vector<uint8_t>* bytes) {
  const WString wide = WidenUtf8(path);
  const HANDLE h =
      CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD high = 0;
  const DWORD low = GetFileSize(h, &high);
  const uint64_t size = uint64_t{high} << 32 | low;
  bool ok = (low != INVALID_FILE_SIZE || GetLastError() == ERROR_SUCCESS) && size <= SIZE_MAX;
  if (ok) bytes->resize(static_cast<size_t>(size));
  for (size_t done = 0; ok && done < bytes->size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes->size() - done, 1u << 24));
    DWORD got = 0;
    ok = ReadFile(h, bytes->data() + done, chunk, &got, nullptr) && got == chunk;
    done += chunk;
  }
  CloseHandle(h);
  return ok;
}

bool SaveFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const WString wide = WidenUtf8(path);
  const HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
    DWORD written = 0;
    ok = WriteFile(h, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
    done += chunk;
  }
  return CloseHandle(h) && ok;
}

}  // namespace imagebuilder
