#include "image/traverse.h"

#include <cstdlib>

#include "image/binutils.h"
#include "image/romimage.h"
#include "platform/diag.h"

using romimage::Load16;
using romimage::Load32;

namespace {

// A heap block that only grows. Reusing one block for the tables and another
// for section and file data keeps a walk over a large image from asking the
// allocator for fresh pages on every item.
class GrowingBuffer {
 public:
  GrowingBuffer() = default;
  GrowingBuffer(const GrowingBuffer&) = delete;
  GrowingBuffer& operator=(const GrowingBuffer&) = delete;
  ~GrowingBuffer() { std::free(data_); }

  BYTE* Reserve(DWORD size) {
    if (size <= capacity_ && data_ != nullptr) return data_;
    std::free(data_);
    capacity_ = 0;
    data_ = static_cast<BYTE*>(std::malloc(size != 0 ? size : 1));
    if (data_ != nullptr) capacity_ = size;
    return data_;
  }

 private:
  BYTE* data_ = nullptr;
  DWORD capacity_ = 0;
};

class Walk {
 public:
  Walk(TraverseCallback callback, void* context) : callback_(callback), context_(context) {}

  // Counts `count` more sections; false past the bound.
  bool AddSections(DWORD count) {
    sections_ += count;
    if (sections_ <= kMaxImageSections) return true;
    DiagPrintf(DiagStream::Out, "section count exceeds the limit of %u\n", static_cast<unsigned>(kMaxImageSections));
    return false;
  }

  // Counts a part of `size` bytes against the bound; false past it.
  bool Admit(DWORD size) {
    handedOut_ += size;
    if (handedOut_ <= kMaxTraversalBytes) return true;
    DiagPrintf(DiagStream::Out, "image traversal exceeds %u bytes\n", static_cast<unsigned>(kMaxTraversalBytes));
    return false;
  }

  // A table entry or a header: one call.
  bool Hand(const BYTE* data, DWORD size) { return Admit(size) && callback_(data, size, context_); }

  // Section or file data already in memory, in pieces.
  bool HandData(const BYTE* data, DWORD size) { return Admit(size) && Give(data, size); }

  // Hands bytes of a part that has been admitted, a piece at a time.
  bool Give(const BYTE* data, DWORD size) {
    for (DWORD done = 0; done < size;) {
      const DWORD piece = size - done < kTraversalPieceBytes ? size - done : kTraversalPieceBytes;
      if (!callback_(data + done, piece, context_)) return false;
      done += piece;
    }
    return true;
  }

  // Reads into `buffer`, sized only once the range is known to be readable,
  // with room for the reader to look ahead at the headers that follow.
  static const BYTE* ReadInto(GrowingBuffer& buffer, DWORD address, DWORD size) {
    ImageReadPlan plan;
    if (!LocateImageRead(address, size, true, &plan)) return nullptr;
    const DWORD room = size <= 0xFFFFFFFFu - kImageReadAhead ? size + kImageReadAhead : size;
    BYTE* data = buffer.Reserve(room);
    if (data == nullptr || !ReadLocated(plan, data, room)) return nullptr;
    return data;
  }

 private:
  TraverseCallback callback_;
  void* context_;
  ULONGLONG handedOut_ = 0;
  ULONGLONG sections_ = 0;
};

struct RomBounds {
  DWORD physFirst;
  DWORD physLast;
};

// Section or file data: read whole when it fits one piece, else read and
// handed out one piece at a time through `buffer`, so that no part, however
// large, needs a buffer of its own size.
bool WalkData(Walk& walk, GrowingBuffer& buffer, DWORD address, DWORD size) {
  if (size <= kTraversalPieceBytes) {
    const BYTE* bytes = Walk::ReadInto(buffer, address, size);
    return bytes != nullptr && walk.HandData(bytes, size);
  }
  // The whole range is checked first, so that a part the file does not hold
  // fails with the same line, before anything of it is handed out.
  ImageReadPlan whole;
  if (!LocateImageRead(address, size, true, &whole)) return false;
  BYTE* piece = buffer.Reserve(kTraversalPieceBytes + kImageReadAhead);
  if (piece == nullptr) return false;
  for (DWORD done = 0; done < size;) {
    const DWORD n = size - done < kTraversalPieceBytes ? size - done : kTraversalPieceBytes;
    // Only the last piece reads ahead: the next header may follow it.
    const bool last = n == size - done;
    if (!ReadLocated(ImageReadPlan{whole.filePos + done, n}, piece, last ? n + kImageReadAhead : n)) return false;
    // As for a part read whole: its bytes count once they are read.
    if (done == 0 && !walk.Admit(size)) return false;
    if (!walk.Give(piece, n)) return false;
    done += n;
  }
  return true;
}

bool WalkSections(Walk& walk, GrowingBuffer& data, const RomBounds& rom, DWORD sectionTable, DWORD count) {
  for (DWORD j = 0; j < count; ++j) {
    BYTE header[romimage::kSectionHeaderSize];
    if (!ReadImage(header, sectionTable + romimage::kSectionHeaderSize * j, sizeof header, true)) return false;
    if (!walk.Hand(header, sizeof header)) return false;
    const DWORD virtualSize = Load32(header + romimage::kSectionVirtualSize);
    const DWORD physicalSize = Load32(header + romimage::kSectionPhysicalSize);
    const DWORD flags = Load32(header + romimage::kSectionFlags);
    const DWORD realAddress = Load32(header + romimage::kSectionRealAddress);
    const DWORD n = (flags & romimage::kSectionPhysicalSizeFlags) == romimage::kSectionPhysicalSizeFlags
                        ? physicalSize
                        : (physicalSize < virtualSize ? physicalSize : virtualSize);
    const bool inPlace = virtualSize == physicalSize && realAddress >= rom.physFirst && realAddress <= rom.physLast;
    if (n == 0 || inPlace) continue;
    if (!WalkData(walk, data, Load32(header + romimage::kSectionDataAddress), n)) return false;
  }
  return true;
}

bool WalkModules(Walk& walk, GrowingBuffer& table, GrowingBuffer& data, const RomBounds& rom, DWORD tableAddress,
                 DWORD count) {
  if (count == 0) return true;
  const BYTE* entries = Walk::ReadInto(table, tableAddress, count * romimage::kModuleEntrySize);
  if (entries == nullptr) return false;
  for (DWORD i = 0; i < count; ++i) {
    const BYTE* entry = entries + static_cast<size_t>(i) * romimage::kModuleEntrySize;
    BYTE header[romimage::kModuleHeaderSize];
    if (!ReadImage(header, Load32(entry + romimage::kModuleHeaderAddress), sizeof header, true)) return false;
    if (!walk.Hand(entry, romimage::kModuleEntrySize) || !walk.Hand(header, sizeof header)) return false;
    const DWORD sections = Load16(header + romimage::kModuleSectionCount);
    if (!walk.AddSections(sections) ||
        !WalkSections(walk, data, rom, Load32(entry + romimage::kModuleSectionTable), sections)) {
      return false;
    }
  }
  return true;
}

// Files' data usually follow one another in the file, a record header apart.
// The data of such a run of files is read in one go, up to kRunBytes, and
// handed out from there: one system call for the run instead of one a file.
constexpr DWORD kRunBytes = 1024 * 1024;
constexpr ULONGLONG kRunGap = 64;  // bytes between two files' data read along

// The file range from `first` over the data of the files after entry `i`
// that follow it closely, as long as the whole stays within kRunBytes.
ULONGLONG RunEnd(const BYTE* entries, DWORD i, DWORD count, const ImageReadPlan& first) {
  ULONGLONG end = first.filePos + first.size;
  for (DWORD j = i + 1; j < count; ++j) {
    const BYTE* entry = entries + static_cast<size_t>(j) * romimage::kFileEntrySize;
    const DWORD stored = Load32(entry + romimage::kFileStoredSize);
    if (stored == 0) continue;
    ImageReadPlan next;
    if (!PeekImageRange(Load32(entry + romimage::kFileLoadOffset), stored, true, &next)) break;
    if (next.filePos < end || next.filePos - end > kRunGap || next.filePos + stored - first.filePos > kRunBytes) break;
    end = next.filePos + stored;
  }
  return end;
}

bool WalkFiles(Walk& walk, GrowingBuffer& table, GrowingBuffer& data, DWORD tableAddress, DWORD count) {
  if (count == 0) return true;
  const BYTE* entries = Walk::ReadInto(table, tableAddress, count * romimage::kFileEntrySize);
  if (entries == nullptr) return false;
  const BYTE* run = nullptr;  // holds the file range [runPos, runEnd)
  ULONGLONG runPos = 0, runEnd = 0;
  for (DWORD i = 0; i < count; ++i) {
    const BYTE* entry = entries + static_cast<size_t>(i) * romimage::kFileEntrySize;
    if (!walk.Hand(entry, romimage::kFileEntrySize)) return false;
    const DWORD stored = Load32(entry + romimage::kFileStoredSize);
    if (stored == 0) continue;
    const DWORD address = Load32(entry + romimage::kFileLoadOffset);
    ImageReadPlan plan;
    if (run != nullptr && PeekImageRange(address, stored, true, &plan) && plan.filePos >= runPos &&
        plan.filePos + stored <= runEnd) {
      if (!walk.HandData(run + (plan.filePos - runPos), stored)) return false;
      continue;
    }
    if (stored > kTraversalPieceBytes) {
      run = nullptr;  // the pieces reuse the run's buffer
      if (!WalkData(walk, data, address, stored)) return false;
      continue;
    }
    if (!LocateImageRead(address, stored, true, &plan)) return false;
    const ULONGLONG end = RunEnd(entries, i, count, plan);
    const ImageReadPlan span = {plan.filePos, static_cast<DWORD>(end - plan.filePos)};
    const DWORD room = span.size <= 0xFFFFFFFFu - kImageReadAhead ? span.size + kImageReadAhead : span.size;
    BYTE* bytes = data.Reserve(room);
    run = nullptr;
    if (bytes == nullptr || !ReadLocated(span, bytes, room)) return false;
    run = bytes;
    runPos = span.filePos;
    runEnd = end;
    if (!walk.HandData(bytes, stored)) return false;
  }
  return true;
}

}  // namespace

bool TraverseImage(TraverseCallback callback, void* pvContext) {
  const ImageReader& image = CurrentImage();
  if (image.hFile == INVALID_HANDLE_VALUE) return false;
  Walk walk(callback, pvContext);

  BYTE header[romimage::kRomHeaderSize];
  if (!ReadImage(header, image.pTOC, sizeof header, true) || !walk.Hand(header, sizeof header)) return false;
  const RomBounds rom{Load32(header + romimage::kRomPhysFirst), Load32(header + romimage::kRomPhysLast)};
  const DWORD modules = Load32(header + romimage::kRomModuleCount);
  const DWORD files = Load32(header + romimage::kRomFileCount);

  GrowingBuffer table;
  GrowingBuffer data;
  // The counts are bounded before any size is computed from them, so the
  // table sizes fit in 32 bits.
  if (modules > kMaxImageModules) {
    DiagPrintf(DiagStream::Out, "module count %u exceeds the limit of %u\n", static_cast<unsigned>(modules),
               static_cast<unsigned>(kMaxImageModules));
    return false;
  }
  const DWORD moduleTable = image.pTOC + romimage::kRomHeaderSize;
  if (!WalkModules(walk, table, data, rom, moduleTable, modules)) return false;

  if (files > kMaxImageFiles) {
    DiagPrintf(DiagStream::Out, "file count %u exceeds the limit of %u\n", static_cast<unsigned>(files),
               static_cast<unsigned>(kMaxImageFiles));
    return false;
  }
  const DWORD fileTable = moduleTable + modules * romimage::kModuleEntrySize;
  return WalkFiles(walk, table, data, fileTable, files);
}
