#include "authoring/image_stamp.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "image/accept.h"
#include "image/binutils.h"
#include "image/rom_extensions.h"
#include "image/romimage.h"

namespace imagestamp {

namespace {

using romimage::Load32;

void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t ByteSum(const uint8_t* p, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += p[i];
  return sum;
}

// Where a virtual range lies in the file: the first record (table order)
// that holds it, as the reader picks it.
struct Location {
  DWORD record;
  uint64_t fileOffset;
};

std::optional<Location> Locate(const ImageReader& image, uint32_t virtualAddress, uint32_t size, size_t cbFile) {
  const uint32_t address = virtualAddress + image.dwRomOffset;
  const uint64_t end = static_cast<uint64_t>(address) + size;
  for (DWORD i = 0; i < image.cRecords; ++i) {
    const ImageRecord& r = image.records[i];
    if (r.dwAddress <= address && static_cast<uint64_t>(r.dwAddress) + r.dwLength >= end) {
      const uint64_t offset = static_cast<uint64_t>(r.dwDataOffset) + (address - r.dwAddress);
      if (offset + size > cbFile) return std::nullopt;
      return Location{i, offset};
    }
  }
  return std::nullopt;
}

// Applies edits to a copy of the file and keeps record checksums honest.
class Editor {
 public:
  Editor(const ImageReader& image, const std::vector<uint8_t>& file) : image_(image), bytes_(file) {}

  void Write(const Location& at, const uint8_t* data, size_t size) {
    MarkRecord(at.record);
    std::memcpy(bytes_.data() + at.fileOffset, data, size);
  }

  void Fill(const Location& at, uint8_t value, size_t size) {
    MarkRecord(at.record);
    std::memset(bytes_.data() + at.fileOffset, value, size);
  }

  // Recomputes the checksum of every changed record that held its byte sum.
  std::vector<uint8_t> Finish() {
    for (DWORD i : touched_) {
      const ImageRecord& r = image_.records[i];
      if (r.dwDataOffset < romimage::kRecordHeaderSize ||
          static_cast<uint64_t>(r.dwDataOffset) + r.dwLength > bytes_.size())
        continue;
      uint8_t* header = bytes_.data() + r.dwDataOffset - romimage::kRecordHeaderSize;
      Store32(header + romimage::kRecordChecksum, ByteSum(bytes_.data() + r.dwDataOffset, r.dwLength));
    }
    return std::move(bytes_);
  }

 private:
  void MarkRecord(DWORD i) {
    for (DWORD t : touched_)
      if (t == i) return;
    const ImageRecord& r = image_.records[i];
    if (static_cast<uint64_t>(r.dwDataOffset) + r.dwLength <= bytes_.size() &&
        ByteSum(bytes_.data() + r.dwDataOffset, r.dwLength) == r.dwChecksum) {
      touched_.push_back(i);
    }
  }

  const ImageReader& image_;
  std::vector<uint8_t> bytes_;
  std::vector<DWORD> touched_;
};

constexpr size_t kCatalogNameSize = sizeof kCatalogExtensionName;  // with its NUL

bool GoOnUntilCatSig(const RomExtensionRecord& record, void*) {
  return !RomExtensionNamed(record, kCatalogExtensionName, kCatalogNameSize);
}

// The catalog written over the cat_sig placeholder `catSig`.
bool StampIntoPlaceholder(const ImageReader& image, const std::vector<uint8_t>& file, const RomExtensionRecord& catSig,
                          const std::vector<uint8_t>& catalog, StampResult* result, std::string* error) {
  const uint32_t cbCatalog = static_cast<uint32_t>(catalog.size());
  const uint32_t dataAddress = Load32(catSig.rgbRecord + romimage::kExtensionDataAddress);
  const uint32_t cbPlaceholder = Load32(catSig.rgbRecord + romimage::kExtensionLength);
  if (cbCatalog > cbPlaceholder) {
    *error = "the catalog (" + std::to_string(cbCatalog) + " bytes) does not fit the cat_sig placeholder (" +
             std::to_string(cbPlaceholder) + " bytes)";
    return false;
  }
  const auto data = Locate(image, dataAddress, cbPlaceholder, file.size());
  const auto record = Locate(image, catSig.dwAddress, romimage::kExtensionRecordSize, file.size());
  if (!data || !record) {
    *error = "the cat_sig placeholder is not inside one record of the file";
    return false;
  }
  Editor editor(image, file);
  editor.Fill(*data, 0, cbPlaceholder);
  editor.Write(*data, catalog.data(), catalog.size());
  uint8_t updated[romimage::kExtensionRecordSize];
  std::memcpy(updated, catSig.rgbRecord, sizeof updated);
  Store32(updated + romimage::kExtensionLength, cbCatalog);
  editor.Write(*record, updated, sizeof updated);
  result->bytes = editor.Finish();
  result->fPlaceholder = true;
  result->dwCatalogAddress = dataAddress;
  return true;
}

// A record header, a cat_sig extension record and the catalog: the record
// that AppendCatalogRecord inserts at record address `address`.
std::vector<uint8_t> CatalogRecord(uint32_t address, uint32_t dataVirtual, const std::vector<uint8_t>& catalog) {
  const uint32_t cbData = romimage::kExtensionRecordSize + static_cast<uint32_t>(catalog.size());
  std::vector<uint8_t> added(romimage::kRecordHeaderSize + cbData, 0);
  uint8_t* extension = added.data() + romimage::kRecordHeaderSize;
  std::memcpy(extension + romimage::kExtensionName, kCatalogExtensionName, kCatalogNameSize);
  Store32(extension + romimage::kExtensionDataAddress, dataVirtual);
  Store32(extension + romimage::kExtensionLength, static_cast<uint32_t>(catalog.size()));
  std::memcpy(extension + romimage::kExtensionRecordSize, catalog.data(), catalog.size());
  Store32(added.data() + romimage::kRecordAddress, address);
  Store32(added.data() + romimage::kRecordLength, cbData);
  Store32(added.data() + romimage::kRecordChecksum, ByteSum(extension, cbData));
  return added;
}

// A new record above every record address, inserted before the end record,
// and the chain's last record `last` linked to it.
bool AppendCatalogRecord(const ImageReader& image, const std::vector<uint8_t>& file, const RomExtensionRecord& last,
                         const std::vector<uint8_t>& catalog, StampResult* result, std::string* error) {
  if (image.cRecords >= kMaxImageRecords) {
    *error = "the record table is full; no record can be added for the catalog";
    return false;
  }
  uint64_t top = 0;
  for (DWORD i = 0; i < image.cRecords; ++i) {
    top = std::max<uint64_t>(top, static_cast<uint64_t>(image.records[i].dwAddress) + image.records[i].dwLength);
  }
  const uint64_t newAddress = (top + 15) & ~uint64_t{15};
  if (newAddress + romimage::kExtensionRecordSize + catalog.size() > 0xFFFFFFFFull) {
    *error = "no free record address above the image for the catalog";
    return false;
  }
  const uint32_t recordVirtual = static_cast<uint32_t>(newAddress) - image.dwRomOffset;
  const uint32_t dataVirtual = recordVirtual + romimage::kExtensionRecordSize;

  const auto linkAt = Locate(image, last.dwAddress, romimage::kExtensionRecordSize, file.size());
  if (!linkAt) {
    *error = "the last extension record is not inside one record of the file";
    return false;
  }
  Editor editor(image, file);
  uint8_t linked[romimage::kExtensionRecordSize];
  std::memcpy(linked, last.rgbRecord, sizeof linked);
  Store32(linked + romimage::kExtensionNext, recordVirtual);
  editor.Write(*linkAt, linked, sizeof linked);
  std::vector<uint8_t> bytes = editor.Finish();

  // The end record (or the end of the file) follows the last counted record.
  uint64_t insertAt = romimage::kBinHeaderSize;
  if (image.cRecords != 0) {
    const ImageRecord& r = image.records[image.cRecords - 1];
    insertAt = static_cast<uint64_t>(r.dwDataOffset) + r.dwLength;
  }
  if (insertAt > bytes.size()) {
    *error = "the image file ends inside its last record";
    return false;
  }
  const std::vector<uint8_t> added = CatalogRecord(static_cast<uint32_t>(newAddress), dataVirtual, catalog);
  bytes.insert(bytes.begin() + static_cast<long>(insertAt), added.begin(), added.end());
  result->bytes = std::move(bytes);
  result->fPlaceholder = false;
  result->dwCatalogAddress = dataVirtual;
  return true;
}

}  // namespace

bool StampCatalog(const std::vector<uint8_t>& file, const std::vector<uint8_t>& catalog, StampResult* result,
                  std::string* error) {
  // The chain as the lookup walks it: the head is never a candidate.
  RomExtensionRecord last;
  switch (WalkRomExtensions(GoOnUntilCatSig, nullptr, &last)) {
    case RomExtensionWalk::kHeaderUnreadable:
      *error = "cannot read the ROM header";
      return false;
    case RomExtensionWalk::kNoChain:
      *error = "the image has no ROM extension chain to link a cat_sig into (build it with a cat_sig placeholder)";
      return false;
    case RomExtensionWalk::kUnreadable:
      *error = "cannot read the extension chain";
      return false;
    case RomExtensionWalk::kTooLong:
      *error = "the extension chain does not end";
      return false;
    case RomExtensionWalk::kStopped:
      return StampIntoPlaceholder(CurrentImage(), file, last, catalog, result, error);
    case RomExtensionWalk::kEnded:
      break;
  }
  return AppendCatalogRecord(CurrentImage(), file, last, catalog, result, error);
}

}  // namespace imagestamp
