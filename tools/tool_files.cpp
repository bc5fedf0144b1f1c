#include "tools/tool_files.h"

#include <filesystem>

#include "platform/fileio.h"
#include "platform/text.h"
#include "tools/tool_files_create.h"

namespace toolfiles {

namespace {

namespace fs = std::filesystem;

// Links are followed at most this far (the systems' own limit is about 40).
constexpr int kMaxLinkDepth = 40;

fs::path PathOf(const std::string& utf8) { return fs::u8path(utf8); }
std::string Utf8Of(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

std::string UnreadableReason(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(PathOf(path), ec);
  if (!fs::exists(status)) return "no such file";
  if (fs::is_directory(status)) return "it is a folder";
  if (!fs::is_regular_file(status)) return "not a regular file";
  return "";
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  if (std::string reason = UnreadableReason(path); !reason.empty()) {
    *error = std::move(reason);
    return false;
  }
  const HANDLE h = CreateFileW(WidenUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = "cannot be opened (system error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  DWORD high = 0;
  const DWORD low = GetFileSize(h, &high);
  const uint64_t size = uint64_t{high} << 32 | low;
  bool ok = !(low == INVALID_FILE_SIZE && GetLastError() != 0) && size <= SIZE_MAX;
  if (ok) bytes->assign(static_cast<size_t>(size), 0);
  for (size_t done = 0; ok && done < bytes->size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes->size() - done, 1u << 24));
    DWORD got = 0;
    ok = ReadFile(h, bytes->data() + done, chunk, &got, nullptr) && got != 0;
    done += got;
  }
  CloseHandle(h);
  if (!ok) *error = "read failed (system error " + std::to_string(GetLastError()) + ")";
  return ok;
}

bool FileSize(const std::string& path, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WidenUtf8(path).c_str(), GetFileExInfoStandard, &data)) return false;
  *size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code ec;
  if (fs::equivalent(PathOf(a), PathOf(b), ec)) return true;
  std::error_code ecA, ecB;
  const fs::path ca = fs::weakly_canonical(fs::absolute(PathOf(OutputTarget(a)), ecA), ecA);
  const fs::path cb = fs::weakly_canonical(fs::absolute(PathOf(OutputTarget(b)), ecB), ecB);
  return !ecA && !ecB && ca == cb;
}

bool RemoveFile(const std::string& path) {
  std::error_code ec;
  return fs::remove(PathOf(path), ec);
}

bool PathTaken(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(PathOf(path), ec));
}

std::string OutputTarget(const std::string& out) {
  fs::path path = PathOf(out);
  for (int depth = 0; depth < kMaxLinkDepth; ++depth) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec))) break;
    const fs::path link = fs::read_symlink(path, ec);
    if (ec) break;
    path = link.is_absolute() ? link : path.parent_path() / link;
  }
  return Utf8Of(path);
}

std::string PartialPath(const std::string& out) { return OutputTarget(out) + ".partial"; }

bool WritePartial(const std::string& out, const void* bytes, size_t size, Access access, std::string* error) {
  const std::string target = OutputTarget(out);
  std::error_code ec;
  const fs::file_status status = fs::status(PathOf(target), ec);
  if (fs::is_directory(status)) {
    *error = "cannot write '" + out + "': it is a folder";
    return false;
  }
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    *error = "cannot write '" + out + "': not a regular file";
    return false;
  }
  // A partial file left by an earlier run that was cut short.
  const std::string partial = target + ".partial";
  if (fs::is_directory(fs::symlink_status(PathOf(partial), ec))) {
    *error = "cannot write '" + out + "': '" + partial + "' is a folder";
    return false;
  }
  fs::remove(PathOf(partial), ec);
  std::string cause;
  if (CreateAndWrite(partial, bytes, size, access, &cause)) return true;
  *error = "cannot write '" + out + "': " + cause;
  return false;
}

bool CommitPartial(const std::string& out, std::string* error) {
  const std::string target = OutputTarget(out);
  const std::string partial = target + ".partial";
  std::error_code ec;
  fs::rename(PathOf(partial), PathOf(target), ec);
  if (!ec) return true;
  *error = "cannot write '" + out + "': " + ec.message();
  fs::remove(PathOf(partial), ec);
  return false;
}

bool WriteOutput(const std::string& out, const void* bytes, size_t size, Access access, std::string* error) {
  return WritePartial(out, bytes, size, access, error) && CommitPartial(out, error);
}

}  // namespace toolfiles
