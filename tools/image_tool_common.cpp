#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "platform/diag.h"
#include "platform/fileio.h"
#include "platform/text.h"
#include "tests/support/image_builder.h"
#include "tools/image_tool.h"

namespace imagetool {

void Error(const std::string& message) { DiagPrintf(DiagStream::Err, "tessfold-image: %s\n", message.c_str()); }

int UsageError(const std::string& message) {
  Error(message);
  DiagPrintf(DiagStream::Err, "Try 'tessfold-image --help' for more information.\n");
  return kExitUsage;
}

bool IsOption(const std::string& arg, const std::string& name) {
  return arg == name || (name.size() > 2 && arg.compare(0, name.size() + 1, name + "=") == 0);
}

bool TakeValue(const Args& args, size_t* i, const std::string& name, std::string* value) {
  const std::string& arg = args[*i];
  if (arg.size() > name.size() && arg[name.size()] == '=') {
    *value = arg.substr(name.size() + 1);
    return true;
  }
  if (*i + 1 >= args.size()) {
    UsageError("option '" + name + "' needs a value");
    return false;
  }
  *value = args[++*i];
  return true;
}

bool FileExists(const std::string& path) { return MissingFileReason(path).empty(); }

std::string MissingFileReason(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WidenUtf8(path).c_str(), GetFileExInfoStandard, &data)) {
    return "cannot open '" + path + "': no such file";
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return "cannot open '" + path + "': it is a folder";
  return "";
}

bool FileSize(const std::string& path, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WidenUtf8(path).c_str(), GetFileExInfoStandard, &data)) return false;
  *size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  const HANDLE h = CreateFileW(WidenUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD high = 0;
  const DWORD low = GetFileSize(h, &high);
  bool ok = !(low == INVALID_FILE_SIZE && GetLastError() != 0) && high == 0;
  if (ok) {
    bytes->assign(low, 0);
    DWORD done = 0;
    while (ok && done < low) {
      DWORD got = 0;
      ok = ReadFile(h, bytes->data() + done, low - done, &got, nullptr) && got != 0;
      done += got;
    }
  }
  CloseHandle(h);
  return ok;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(WidenUtf8(path).c_str()) != 0; }

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return a == b || std::filesystem::equivalent(std::filesystem::u8path(a), std::filesystem::u8path(b), ec);
}

bool SavePartial(const std::string& out, const std::vector<uint8_t>& bytes, std::string* partial) {
  *partial = out + ".partial";
  if (imagebuilder::SaveFile(*partial, bytes)) return true;
  RemoveFile(*partial);
  Error("cannot write '" + *partial + "'");
  return false;
}

bool KeepPartial(const std::string& partial, const std::string& out) {
  std::error_code ec;
  std::filesystem::rename(std::filesystem::u8path(partial), std::filesystem::u8path(out), ec);
  if (!ec) return true;
  RemoveFile(partial);
  Error("cannot write '" + out + "': " + ec.message());
  return false;
}

bool ParseSize(const std::string& text, uint64_t* value) {
  if (text.empty()) return false;
  std::string digits = text;
  uint64_t scale = 1;
  const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(digits.back())));
  const bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
  if (!hex && (last == 'K' || last == 'M')) {
    scale = last == 'K' ? 1024 : 1024 * 1024;
    digits.pop_back();
  }
  if (digits.empty() || digits[0] == '-' || digits[0] == '+') return false;
  char* end = nullptr;
  const unsigned long long n = std::strtoull(digits.c_str(), &end, hex ? 16 : 10);
  if (end == nullptr || *end != '\0' || end == digits.c_str() + (hex ? 2 : 0)) return false;
  if (n > UINT64_MAX / scale) return false;
  *value = n * scale;
  return true;
}

namespace {

struct CaptureState {
  DiagSink previous = nullptr;
};
CaptureState g_capture;

void Collect(DiagStream, const char* text, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(text);
}

void ToErrorStream(DiagStream, const char* text, void*) { g_capture.previous(DiagStream::Err, text, nullptr); }

}  // namespace

DiagCapture::DiagCapture(bool toErrorStream) {
  g_capture.previous = DiagSetSink(toErrorStream ? ToErrorStream : Collect, &lines_);
}

DiagCapture::~DiagCapture() { DiagSetSink(g_capture.previous, nullptr); }

void DiagCapture::Replay() const {
  for (const std::string& line : lines_) g_capture.previous(DiagStream::Err, line.c_str(), nullptr);
}

}  // namespace imagetool
