#include "tools/image_stamp.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "image/accept.h"
#include "image/binutils.h"
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

struct ChainRecord {
  uint32_t address = 0;  // virtual address of the 44-byte record
  uint8_t bytes[romimage::kExtensionRecordSize] = {};
};

constexpr size_t kCatalogNameSize = sizeof kCatalogExtensionName;  // with its NUL

}  // namespace

bool StampCatalog(const std::vector<uint8_t>& file, const std::vector<uint8_t>& catalog, StampResult* result,
                  std::string* error) {
  const ImageReader& image = CurrentImage();
  uint8_t header[romimage::kRomHeaderSize];
  if (!ReadImage(header, image.pTOC, sizeof header, true)) {
    *error = "cannot read the ROM header";
    return false;
  }
  if (Load32(header + romimage::kRomExtensions) == 0) {
    *error = "the image has no ROM extension chain to link a cat_sig into (build it with a cat_sig placeholder)";
    return false;
  }

  // Walk the chain the way the lookup does: the head is never a candidate.
  ChainRecord last;
  last.address = Load32(header + romimage::kRomExtensions);
  if (!ReadImage(last.bytes, last.address, sizeof last.bytes, true)) {
    *error = "cannot read the extension chain";
    return false;
  }
  std::optional<ChainRecord> catSig;
  for (DWORD walked = 0; Load32(last.bytes + romimage::kExtensionNext) != 0; ++walked) {
    if (walked == kMaxRomExtensions) {
      *error = "the extension chain does not end";
      return false;
    }
    ChainRecord next;
    next.address = Load32(last.bytes + romimage::kExtensionNext);
    if (!ReadImage(next.bytes, next.address, sizeof next.bytes, true)) {
      *error = "cannot read the extension chain";
      return false;
    }
    last = next;
    if (std::memcmp(last.bytes, kCatalogExtensionName, kCatalogNameSize) == 0) {
      catSig = last;
      break;
    }
  }

  Editor editor(image, file);
  const uint32_t cbCatalog = static_cast<uint32_t>(catalog.size());
  if (catSig) {
    const uint32_t dataAddress = Load32(catSig->bytes + romimage::kExtensionDataAddress);
    const uint32_t cbPlaceholder = Load32(catSig->bytes + romimage::kExtensionLength);
    if (cbCatalog > cbPlaceholder) {
      *error = "the catalog (" + std::to_string(cbCatalog) + " bytes) does not fit the cat_sig placeholder (" +
               std::to_string(cbPlaceholder) + " bytes)";
      return false;
    }
    const auto data = Locate(image, dataAddress, cbPlaceholder, file.size());
    const auto record = Locate(image, catSig->address, romimage::kExtensionRecordSize, file.size());
    if (!data || !record) {
      *error = "the cat_sig placeholder is not inside one record of the file";
      return false;
    }
    editor.Fill(*data, 0, cbPlaceholder);
    editor.Write(*data, catalog.data(), catalog.size());
    uint8_t updated[romimage::kExtensionRecordSize];
    std::memcpy(updated, catSig->bytes, sizeof updated);
    Store32(updated + romimage::kExtensionLength, cbCatalog);
    editor.Write(*record, updated, sizeof updated);
    result->bytes = editor.Finish();
    result->fPlaceholder = true;
    result->dwCatalogAddress = dataAddress;
    return true;
  }

  // A new record above every record address, inserted before the end record.
  if (image.cRecords >= kMaxImageRecords) {
    *error = "the record table is full; no record can be added for the catalog";
    return false;
  }
  uint64_t top = 0;
  for (DWORD i = 0; i < image.cRecords; ++i) {
    top = std::max<uint64_t>(top, static_cast<uint64_t>(image.records[i].dwAddress) + image.records[i].dwLength);
  }
  const uint64_t newAddress = (top + 15) & ~uint64_t{15};
  const uint64_t cbNew = romimage::kExtensionRecordSize + static_cast<uint64_t>(cbCatalog);
  if (newAddress + cbNew > 0xFFFFFFFFull) {
    *error = "no free record address above the image for the catalog";
    return false;
  }
  const uint32_t recordVirtual = static_cast<uint32_t>(newAddress) - image.dwRomOffset;
  const uint32_t dataVirtual = recordVirtual + romimage::kExtensionRecordSize;

  const auto linkAt = Locate(image, last.address, romimage::kExtensionRecordSize, file.size());
  if (!linkAt) {
    *error = "the last extension record is not inside one record of the file";
    return false;
  }
  uint8_t linked[romimage::kExtensionRecordSize];
  std::memcpy(linked, last.bytes, sizeof linked);
  Store32(linked + romimage::kExtensionNext, recordVirtual);
  editor.Write(*linkAt, linked, sizeof linked);
  std::vector<uint8_t> bytes = editor.Finish();

  std::vector<uint8_t> added(romimage::kRecordHeaderSize + cbNew, 0);
  uint8_t* extension = added.data() + romimage::kRecordHeaderSize;
  std::memcpy(extension + romimage::kExtensionName, kCatalogExtensionName, kCatalogNameSize);
  Store32(extension + romimage::kExtensionDataAddress, dataVirtual);
  Store32(extension + romimage::kExtensionLength, cbCatalog);
  std::memcpy(extension + romimage::kExtensionRecordSize, catalog.data(), catalog.size());
  Store32(added.data() + romimage::kRecordAddress, static_cast<uint32_t>(newAddress));
  Store32(added.data() + romimage::kRecordLength, static_cast<uint32_t>(cbNew));
  Store32(added.data() + romimage::kRecordChecksum, ByteSum(extension, cbNew));

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
  bytes.insert(bytes.begin() + static_cast<long>(insertAt), added.begin(), added.end());
  result->bytes = std::move(bytes);
  result->fPlaceholder = false;
  result->dwCatalogAddress = dataVirtual;
  return true;
}

}  // namespace imagestamp
