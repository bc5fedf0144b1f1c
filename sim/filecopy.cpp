#include "sim/filecopy.h"

#include <algorithm>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace {

constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002u);

// Removes the temporary file on every path that does not commit it.
class PartialFile {
 public:
  explicit PartialFile(fs::path path) : path_(std::move(path)) {}
  ~PartialFile() {
    if (!committed_) {
      std::error_code ec;
      fs::remove(path_, ec);
    }
  }
  void commit() { committed_ = true; }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  bool committed_ = false;
};

}  // namespace

fs::path SimPartialPath(const fs::path& destination) {
  fs::path name = destination.filename();
  name += ".tfsim-partial";
  return destination.parent_path() / (fs::path(".") += name);
}

HRESULT SimCopyFile(const fs::path& source, const fs::path& destination, uint32_t chunkBytes,
                    SimCopyObserver* observer) {
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) return fs::exists(source, ec) ? E_FAIL : kFileNotFound;
  std::ifstream in(source, std::ios::binary);
  if (!in) return E_FAIL;
  const uint64_t total = fs::file_size(source, ec);
  if (ec) return E_FAIL;

  PartialFile partial(SimPartialPath(destination));
  {
    std::ofstream out(partial.path(), std::ios::binary | std::ios::trunc);
    if (!out) return E_FAIL;
    if (observer) observer->begin(total);

    const size_t chunk = std::max<size_t>(1, std::min(chunkBytes, kSimMaxChunkBytes));
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[chunk]);
    if (!buffer) return E_OUTOFMEMORY;
    uint64_t done = 0;
    // The size measured up front bounds the copy, so that the reports agree
    // with the estimate even if the source grows meanwhile.
    do {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk, total - done));
      in.read(buffer.get(), static_cast<std::streamsize>(want));
      if (static_cast<size_t>(in.gcount()) != want) return E_FAIL;
      out.write(buffer.get(), static_cast<std::streamsize>(want));
      if (!out) return E_FAIL;
      done += want;
      if (observer) {
        const HRESULT hr = observer->afterChunk(done, total);
        if (FAILED(hr)) return hr;
      }
    } while (done < total);
    out.close();
    if (!out) return E_FAIL;
  }

  fs::rename(partial.path(), destination, ec);
  if (ec) {
    // Some hosts refuse to rename over an existing file.
    std::error_code ignored;
    fs::remove(destination, ignored);
    fs::rename(partial.path(), destination, ec);
    if (ec) return E_FAIL;
  }
  partial.commit();
  return S_OK;
}
