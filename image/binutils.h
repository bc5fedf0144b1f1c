// Reading a ".bin" ROM image: the record table, the ROM header and the ROM
// offset, reads at record or virtual addresses, and named ROM extensions.
//
// There is one open image per process (single-threaded use). Every failure is
// a false result with diagnostic lines through platform/diag.h; nothing is
// shown to the user. Reading with no image open is a programming error and
// asserts.
#pragma once

#include "platform/win.h"

inline constexpr DWORD kMaxImageRecords = 1024;
// Longest extension chain followed after its head; a longer one (or a cycle)
// ends the search as "not found".
inline constexpr DWORD kMaxRomExtensions = 1024;

struct ImageRecord {
  DWORD dwAddress;
  DWORD dwLength;
  DWORD dwChecksum;
  DWORD dwDataOffset;  // file position of the record's first data byte
};

// The process's open image. Fields are meaningful only while an image is open,
// except dwRomOffset, which keeps the last offset found across images.
struct ImageReader {
  HANDLE hFile;  // INVALID_HANDLE_VALUE when no image is open
  DWORD dwImageStart;
  DWORD dwImageLength;
  ImageRecord records[kMaxImageRecords];
  DWORD cRecords;     // records counted; the end record is not one of them
  DWORD pTOC;         // virtual address of the ROM header
  DWORD dwRomOffset;  // record address minus virtual address (modular)
  ULONGLONG cbFile;   // file size when opened; reads past it fail up front
  ULONGLONG filePos;  // where the next read starts (saves redundant seeks)
};

// Opens `path`, reads the record table, finds the ROM header and the ROM offset.
// An image still open is closed first. On false no image is open.
bool OpenImage(LPCWSTR path);

// Closes the open image, if any.
void CloseImage();

// Reads `size` bytes at `address` into `buffer` (at least `size` bytes). With
// `fVirtual` the address is virtual and the ROM offset is added (modulo 2^32).
// The range must lie inside one record and inside the file; a read that comes
// up short fails. Asserts that an image is open.
bool ReadImage(void* buffer, DWORD address, DWORD size, bool fVirtual);

// Searches the counted 84-byte records, in table order, for the ROM header
// whose physical range matches [image start, image start + length] under the
// record's own offset to `pTOC`, and sets the ROM offset to the first match.
// Asserts that an image is open (it reads through ReadImage).
bool FindTOC(DWORD dwImageStart, DWORD dwImageLength, DWORD pTOC);

// Looks up a ROM extension by the first `cbName` bytes of its 24-byte name
// field (so a NUL counted in `cbName` must match too; longer names never
// match). The chain's head record is never matched. On true, `*pdwAddress`
// and `*pcbLength` hold the extension's data address (virtual) and length.
bool FindRomExtension(const char* name, DWORD cbName, DWORD* pdwAddress, DWORD* pcbLength);

// ReadImage at a virtual address: the data of an extension found above.
bool ReadRomExtension(DWORD address, void* buffer, DWORD size);

// The open image's state, read-only (for the traversal and for tools).
const ImageReader& CurrentImage();

// A located read: ReadImage split in two so that a caller can size its buffer
// only after the range is known to be in the file. LocateImageRead prints the
// same lines that ReadImage prints when the range is not readable.
struct ImageReadPlan {
  ULONGLONG filePos;
  DWORD size;
};
bool LocateImageRead(DWORD address, DWORD size, bool fVirtual, ImageReadPlan* plan);
// As LocateImageRead, but silent: for looking ahead at reads to come, whose
// failures are reported when they are made.
bool PeekImageRange(DWORD address, DWORD size, bool fVirtual, ImageReadPlan* plan);
// Reads plan.size bytes into `buffer`. A caller that gives `cbBuffer` (the
// buffer's size) of at least plan.size + kImageReadAhead lets the reader also
// take in the bytes that follow, for the next small reads; those bytes in
// `buffer` are scratch afterwards.
inline constexpr DWORD kImageReadAhead = 4096;
bool ReadLocated(const ImageReadPlan& plan, void* buffer, DWORD cbBuffer = 0);

// Tests only: closes any image and forgets everything, the ROM offset included.
void ResetImageReaderForTest();
