// tessfold-image: inspect, verify, sign and build ROM images before any
// player is attached. One function per subcommand; each takes the arguments
// after the subcommand's name (UTF-8) and returns the process exit code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imagetool {

// Exit codes, stable for scripts.
inline constexpr int kExitOk = 0;       // success, or the image is accepted
inline constexpr int kExitRefused = 1;  // the image is refused, or signing refused
inline constexpr int kExitUsage = 2;    // bad usage, or input that cannot be read

using Args = std::vector<std::string>;

int RunInfo(const Args& args);
int RunVerify(const Args& args);
int RunSign(const Args& args);
int RunBuild(const Args& args);

// The whole usage text, and the one-line hint after a usage error.
extern const char kUsage[];
int UsageError(const std::string& message);

// "tessfold-image: <message>" on the error stream.
void Error(const std::string& message);

// Options of the form "--name VALUE" or "--name=VALUE". Returns false (after
// a usage error message) when the value is missing.
bool TakeValue(const Args& args, size_t* i, const std::string& name, std::string* value);
// True when args[i] is "--name" or starts with "--name=".
bool IsOption(const std::string& arg, const std::string& name);

// "cannot open 'x': no such file" (or "it is a folder", ...) when `path` is
// no file to open; empty when it is one. Reading and writing otherwise go
// through tools/tool_files.h.
std::string MissingFileReason(const std::string& path);

// Writes `bytes` to `out` (tools/tool_files.h: through links, never over a
// device, under a temporary name first) and prints the cause on failure.
bool WriteOutputOrSay(const std::string& out, const std::vector<uint8_t>& bytes);

// A diagnostic line without its "\n" or "\r\n", for quoting it in a message.
std::string WithoutLineEnd(std::string line);

// Parses a decimal or 0x-hex number, optionally with a K or M suffix
// (binary multiples).
bool ParseSize(const std::string& text, uint64_t* value);

// While alive, diagnostic lines are collected instead of printed (or, with
// `toErrorStream`, all sent to the error stream).
class DiagCapture {
 public:
  explicit DiagCapture(bool toErrorStream = false);
  ~DiagCapture();
  DiagCapture(const DiagCapture&) = delete;
  DiagCapture& operator=(const DiagCapture&) = delete;
  const std::vector<std::string>& Lines() const { return lines_; }
  // The collected lines, printed to the error stream.
  void Replay() const;

 private:
  std::vector<std::string> lines_;
};

}  // namespace imagetool
