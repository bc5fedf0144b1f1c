#include <cctype>
#include <cstdlib>

#include "platform/diag.h"
#include "platform/text.h"
#include "tools/image_tool.h"
#include "tools/tool_files.h"

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

std::string MissingFileReason(const std::string& path) {
  const std::string reason = toolfiles::UnreadableReason(path);
  return reason.empty() ? reason : "cannot open '" + path + "': " + reason;
}

bool WriteOutputOrSay(const std::string& out, const std::vector<uint8_t>& bytes) {
  std::string error;
  if (toolfiles::WriteOutput(out, bytes.data(), bytes.size(), toolfiles::Access::kShared, &error)) return true;
  Error(error);
  return false;
}

std::string WithoutLineEnd(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
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
