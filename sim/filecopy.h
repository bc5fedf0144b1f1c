// The storage side of Insert3: copies a computer file into a storage folder in
// chunks, reporting after each chunk, so that the caller can drive progress
// and inject faults. A copy that does not complete leaves no file behind.
#pragma once

#include <cstdint>
#include <filesystem>

#include "platform/win.h"

class SimCopyObserver {
 public:
  // Called once, after the source has been opened, with its size in bytes.
  virtual void begin(uint64_t total) = 0;
  // Called after each chunk has been written (once with done == total == 0 for
  // an empty source). A failure result aborts the copy and becomes its result.
  virtual HRESULT afterChunk(uint64_t done, uint64_t total) = 0;

 protected:
  ~SimCopyObserver() = default;
};

// Largest chunk actually used; larger requests are cut down to it.
constexpr uint32_t kSimMaxChunkBytes = 16u << 20;

// Copies `source` to `destination` (a file in an existing folder) through a
// temporary file beside it, renamed over `destination` only once every byte
// is written; an existing file of that name is replaced. `observer` may be
// null. Results: S_OK; 0x80070002 when the source does not exist; E_FAIL for
// any other read, write or rename failure; or the observer's failure. On every
// failure neither the temporary file nor a partial destination remains, and an
// existing destination is left untouched.
HRESULT SimCopyFile(const std::filesystem::path& source, const std::filesystem::path& destination, uint32_t chunkBytes,
                    SimCopyObserver* observer);

// The temporary name used while copying to `destination` (for tests).
std::filesystem::path SimPartialPath(const std::filesystem::path& destination);
