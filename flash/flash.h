// tessfold-flash: the window programs' job from a console. Lists the players
// the device service reports, checks an image against one, and sends it,
// through the same device layer (and so the same acceptance, size windows and
// destination names) as the window programs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "device/devicemanager.h"

namespace flash {

// Exit codes, stable for scripts.
inline constexpr int kExitOk = 0;       // listed, accepted or sent
inline constexpr int kExitFailed = 1;   // refused or failed; the reason in one line
inline constexpr int kExitService = 2;  // usage, or no device service to work with
inline constexpr int kExitUsage = 2;

enum class Command { kNone, kList, kCheck, kSend, kHelp, kVersion };

struct Options {
  Command command = Command::kNone;
  bool json = false;
  bool kindGiven = false;
  TransferKind kind = 0;
  std::wstring kindName;
  std::wstring file;
  bool playerGiven = false;
  std::wstring player;
  DWORD waitSeconds = 0;
};

// Parses argv[1..]; on a usage error returns false with the reason in *error.
bool ParseOptions(const std::vector<std::wstring>& args, Options* options, std::string* error);

extern const char kUsage[];

// UTF-8 text of a UTF-16 string.
std::string Utf8(const std::wstring& text);
std::string Utf8(const WCHAR* text);

// Standard output and error, UTF-16 on a console and UTF-8 otherwise (the
// diagnostics module's own sink).
void Out(const std::string& text);
void Err(const std::string& text);

// The commands; each returns the exit code.
int RunList(const Options& options);
int RunCheckOrSend(const Options& options);

}  // namespace flash
