#include "image/binutils.h"

#include <cstring>
#include <string>

#include "image/romimage.h"
#include "platform/diag.h"
#include "platform/fileio.h"
#include "platform/text.h"

using romimage::Load32;

namespace {

constexpr ULONGLONG kUnknownPosition = ~0ull;

ImageReader ClosedImage() {
  ImageReader r{};
  r.hFile = INVALID_HANDLE_VALUE;
  r.filePos = kUnknownPosition;
  return r;
}

ImageReader g_image = ClosedImage();

// Diagnostics format 32-bit values with %d/%X; DWORD is `unsigned long` in
// the Windows headers, so it is narrowed explicitly.
int ErrorCode(DWORD error) { return static_cast<int>(error); }
unsigned Hex(DWORD value) { return static_cast<unsigned>(value); }

bool SeekTo(ULONGLONG pos) {
  if (g_image.filePos == pos) return true;
  LONG high = static_cast<LONG>(static_cast<DWORD>(pos >> 32));
  const DWORD low = SetFilePointer(g_image.hFile, static_cast<LONG>(static_cast<DWORD>(pos)), &high, FILE_BEGIN);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) {
    g_image.filePos = kUnknownPosition;
    return false;
  }
  g_image.filePos = pos;
  return true;
}

// Reads at the current position; *got tells how much arrived. A failed call
// leaves the position unknown so that the next read seeks again.
bool ReadSome(void* buffer, DWORD size, DWORD* got) {
  *got = 0;
  if (!ReadFile(g_image.hFile, buffer, size, got, nullptr)) {
    g_image.filePos = kUnknownPosition;
    return false;
  }
  g_image.filePos += *got;
  return true;
}

// The image's small structures (record headers, module and section headers,
// extension records) sit close together, and a walk asks for them one at a
// time: small reads are served from a page of the file read in one go, which
// saves two system calls for most of them. Large reads go straight to the
// caller's buffer, and may take in the page that follows them too: a walk
// alternates section headers (near each other) with section data (elsewhere,
// usually back to back), so one page is kept for each.
constexpr DWORD kWindowSize = 4096;
constexpr DWORD kWindowedRead = 512;

struct ReadWindow {
  ULONGLONG start = 0;
  DWORD size = 0;  // 0: holds nothing; below kWindowSize: the file ends there
  BYTE bytes[kWindowSize];
};

enum { kNearWindow, kAheadWindow, kWindows };
ReadWindow g_windows[kWindows];

void ForgetWindows() {
  for (ReadWindow& w : g_windows) w.size = 0;
}

const ReadWindow* WindowHolding(ULONGLONG pos) {
  for (const ReadWindow& w : g_windows)
    if (w.size != 0 && pos >= w.start && pos - w.start < w.size) return &w;
  return nullptr;
}

// Reads up to `size` bytes at file position `pos`; *got tells how many the
// file holds there. False only when the system refused. A large read with
// `cbBuffer` room for kImageReadAhead more bytes reads them too.
bool ReadAt(ULONGLONG pos, void* buffer, DWORD size, DWORD* got, DWORD cbBuffer = 0) {
  auto* out = static_cast<BYTE*>(buffer);
  *got = 0;
  if (const ReadWindow* w = WindowHolding(pos)) {
    const DWORD offset = static_cast<DWORD>(pos - w->start);
    const DWORD n = size < w->size - offset ? size : w->size - offset;
    std::memcpy(out, w->bytes + offset, n);
    *got = n;
    if (n == size || w->size < kWindowSize) return true;
    pos += n;
    out += n;
    size -= n;
  }
  if (!SeekTo(pos)) return false;
  DWORD n = 0;
  if (size > kWindowedRead) {
    static_assert(kImageReadAhead == kWindowSize);
    const ULONGLONG used = static_cast<ULONGLONG>(out - static_cast<BYTE*>(buffer));
    const bool ahead = cbBuffer >= used + size + kWindowSize;
    if (!ReadSome(out, ahead ? size + kWindowSize : size, &n)) return false;
    if (n > size) {
      ReadWindow& w = g_windows[kAheadWindow];
      w.start = pos + size;
      w.size = n - size;
      std::memcpy(w.bytes, out + size, w.size);
      n = size;
    }
  } else {
    ReadWindow& w = g_windows[kNearWindow];
    w.size = 0;
    if (!ReadSome(w.bytes, kWindowSize, &n)) return false;
    w.start = pos;
    w.size = n;
    if (n > size) n = size;
    std::memcpy(out, w.bytes, n);
  }
  *got += n;
  return true;
}

// A short read is a failure: the bytes that did not arrive would otherwise be
// taken for image content.
bool ReadExactAt(ULONGLONG pos, void* buffer, DWORD size, DWORD cbBuffer = 0) {
  DWORD got = 0;
  if (!ReadAt(pos, buffer, size, &got, cbBuffer)) return false;
  if (got != size) {
    SetLastError(ERROR_HANDLE_EOF);
    return false;
  }
  return true;
}

void ReadRecordTable() {
  std::memset(g_image.records, 0, sizeof g_image.records);
  g_image.cRecords = 0;
  ULONGLONG pos = romimage::kBinHeaderSize;
  for (;;) {
    ImageRecord& record = g_image.records[g_image.cRecords];
    uint8_t header[romimage::kRecordHeaderSize];
    DWORD got = 0;
    if (!ReadAt(pos, header, sizeof header, &got)) break;
    // Nothing at all at the end of the file leaves the entry zero, which reads
    // as the end record; a header cut in the middle is no record.
    if (got != 0 && got != sizeof header) break;
    if (got == sizeof header) {
      record.dwAddress = Load32(header + romimage::kRecordAddress);
      record.dwLength = Load32(header + romimage::kRecordLength);
      record.dwChecksum = Load32(header + romimage::kRecordChecksum);
    }
    pos += got;
    // A header that ends beyond 4 GiB would give a data offset that wraps.
    if (pos > 0xFFFFFFFFull) {
      record = ImageRecord{};
      break;
    }
    record.dwDataOffset = static_cast<DWORD>(pos);
    if (record.dwAddress == 0 && record.dwChecksum == 0) {
      DiagPrintf(DiagStream::Out, "start address = 0x%08X\n", Hex(record.dwLength));
      break;
    }
    pos += record.dwLength;
    ++g_image.cRecords;
    if (g_image.cRecords == kMaxImageRecords) break;
    // Data offsets are 32-bit: a record that reaches beyond 4 GiB is the last.
    if (pos > 0xFFFFFFFFull) break;
  }
}

// The ROM header candidate's own addresses have to describe the image under
// the offset that its record implies.
bool IsRomHeader(const uint8_t* h, DWORD dwImageStart, DWORD dwImageLength, DWORD offset) {
  const DWORD firstDll = Load32(h + romimage::kRomFirstDll);
  const DWORD lastDll = Load32(h + romimage::kRomLastDll);
  const DWORD physFirst = dwImageStart - offset;
  return Load32(h + romimage::kRomPhysFirst) == physFirst &&
         Load32(h + romimage::kRomPhysLast) == physFirst + dwImageLength && (firstDll & 0xFFFF0000u) <= lastDll &&
         ((firstDll & 0xFFFFu) << 16) <= lastDll;
}

}  // namespace

const ImageReader& CurrentImage() { return g_image; }

void CloseImage() {
  if (g_image.hFile != INVALID_HANDLE_VALUE) CloseHandle(g_image.hFile);
  g_image.hFile = INVALID_HANDLE_VALUE;
  g_image.filePos = kUnknownPosition;
  ForgetWindows();
}

void ResetImageReaderForTest() {
  CloseImage();
  g_image = ClosedImage();
}

bool OpenImage(LPCWSTR path) {
  CloseImage();
  const HANDLE h =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const std::string name = path != nullptr ? NarrowToUtf8(WStringView(path, WideLength(path))) : std::string();
    DiagPrintf(DiagStream::Out, "failed opening %s: %d\n", name.c_str(), ErrorCode(error));
    return false;
  }
  g_image.hFile = h;
  g_image.filePos = 0;
  DWORD sizeHigh = 0;
  const DWORD sizeLow = GetFileSize(h, &sizeHigh);
  g_image.cbFile = sizeLow == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS
                       ? ~0ull
                       : (static_cast<ULONGLONG>(sizeHigh) << 32 | sizeLow);

  const bool ok = [] {
    uint8_t signature[romimage::kBinSignatureSize];
    if (!ReadExactAt(0, signature, sizeof signature)) {
      DiagPrintf(DiagStream::Out, "failed reading bin header: %d\n", ErrorCode(GetLastError()));
      return false;
    }
    if (std::memcmp(signature, romimage::kBinSignature, sizeof signature) != 0) {
      DiagPrintf(DiagStream::Out, "invalid bin header\n");
      return false;
    }
    uint8_t word[4];
    if (!ReadExactAt(romimage::kBinSignatureSize, word, sizeof word)) {
      DiagPrintf(DiagStream::Out, "failed reading image start: %d\n", ErrorCode(GetLastError()));
      return false;
    }
    g_image.dwImageStart = Load32(word);
    if (!ReadExactAt(romimage::kBinSignatureSize + 4, word, sizeof word)) {
      DiagPrintf(DiagStream::Out, "failed reading image length: %d\n", ErrorCode(GetLastError()));
      return false;
    }
    g_image.dwImageLength = Load32(word);

    ReadRecordTable();

    uint8_t tocPointer[romimage::kTocPointerSize];
    if (!ReadImage(tocPointer, g_image.dwImageStart + romimage::kTocPointerOffset, sizeof tocPointer, false)) {
      DiagPrintf(DiagStream::Out, "Couldn't find pTOC @ image start (0x%08X) + 0x40\n", Hex(g_image.dwImageStart));
      return false;
    }
    g_image.pTOC = Load32(tocPointer + 4);
    DiagPrintf(DiagStream::Out, "found pTOC  = 0x%08X\n", Hex(g_image.pTOC));

    if (!FindTOC(g_image.dwImageStart, g_image.dwImageLength, g_image.pTOC)) {
      DiagPrintf(DiagStream::Out, "Failed to find the rom offset %x\n", Hex(g_image.dwImageStart));
      return false;
    }
    return true;
  }();
  if (!ok) CloseImage();
  return ok;
}

bool FindTOC(DWORD dwImageStart, DWORD dwImageLength, DWORD pTOC) {
  bool found = false;
  for (DWORD i = 0; i < g_image.cRecords && !found; ++i) {
    const ImageRecord& record = g_image.records[i];
    if (record.dwLength != romimage::kRomHeaderSize) continue;
    const DWORD offset = record.dwAddress - pTOC;
    DiagPrintf(DiagStream::Out, "Checking record #%d for potential TOC (ROMOFFSET = 0x%08X)\n", static_cast<int>(i),
               Hex(offset));
    uint8_t header[romimage::kRomHeaderSize];
    if (ReadImage(header, record.dwAddress, sizeof header, false) &&
        IsRomHeader(header, dwImageStart, dwImageLength, offset)) {
      g_image.dwRomOffset = offset;
      found = true;
    }
  }
  DiagPrintf(DiagStream::Out, "ROM offset = 0x%08X\n", Hex(g_image.dwRomOffset));
  return found;
}

namespace {

enum class Located { kFound, kPastEnd, kNoRecord };

Located FindImageRange(DWORD address, DWORD size, ImageReadPlan* plan) {
  // Record ends are compared in 64 bits: a record near the top of the address
  // space must not appear to cover a range that wrapped around zero.
  const ULONGLONG end = static_cast<ULONGLONG>(address) + size;
  for (DWORD i = 0; i < g_image.cRecords; ++i) {
    const ImageRecord& record = g_image.records[i];
    if (record.dwAddress <= address && static_cast<ULONGLONG>(record.dwAddress) + record.dwLength >= end) {
      plan->filePos = static_cast<ULONGLONG>(record.dwDataOffset) + (address - record.dwAddress);
      plan->size = size;
      return plan->filePos + size > g_image.cbFile ? Located::kPastEnd : Located::kFound;
    }
  }
  return Located::kNoRecord;
}

}  // namespace

bool LocateImageRead(DWORD address, DWORD size, bool fVirtual, ImageReadPlan* plan) {
  const HANDLE hfile = g_image.hFile;
  TF_ASSERT(hfile != INVALID_HANDLE_VALUE);
  if (fVirtual) address += g_image.dwRomOffset;
  switch (FindImageRange(address, size, plan)) {
    case Located::kFound:
      return true;
    case Located::kPastEnd:
      // Data the file does not hold fails before anyone sizes a buffer for it.
      SetLastError(ERROR_HANDLE_EOF);
      DiagPrintf(DiagStream::Out, "ReadFile failed: %d", ErrorCode(ERROR_HANDLE_EOF));
      return false;
    case Located::kNoRecord:
      break;
  }
  DiagPrintf(DiagStream::Err, "failed to read data of size %d at %08x\n", static_cast<int>(size), Hex(address));
  return false;
}

bool PeekImageRange(DWORD address, DWORD size, bool fVirtual, ImageReadPlan* plan) {
  TF_ASSERT(g_image.hFile != INVALID_HANDLE_VALUE);
  if (fVirtual) address += g_image.dwRomOffset;
  return FindImageRange(address, size, plan) == Located::kFound;
}

bool ReadLocated(const ImageReadPlan& plan, void* buffer, DWORD cbBuffer) {
  const HANDLE hfile = g_image.hFile;
  TF_ASSERT(hfile != INVALID_HANDLE_VALUE);
  if (!ReadExactAt(plan.filePos, buffer, plan.size, cbBuffer)) {
    DiagPrintf(DiagStream::Out, "ReadFile failed: %d", ErrorCode(GetLastError()));
    return false;
  }
  return true;
}

bool ReadImage(void* buffer, DWORD address, DWORD size, bool fVirtual) {
  ImageReadPlan plan;
  return LocateImageRead(address, size, fVirtual, &plan) && ReadLocated(plan, buffer);
}

