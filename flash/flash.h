// tessfold-flash: the window programs' job from a console. Lists the players
// the device service reports, checks an image against one, and sends it,
// through the same device layer (and so the same acceptance, size windows and
// destination names) as the window programs.
//
// The options, the verdicts and their texts (this header, verdict.h,
// render.h) are portable and tested natively; the device connection and the
// commands that use it are built for Windows only.
#pragma once

#include <string>
#include <vector>

#include "device/devicemanager.h"
#include "device/transfer_kinds.h"
#include "platform/text.h"

namespace flash {

// Exit codes, stable for scripts.
inline constexpr int kExitOk = 0;       // listed, accepted or sent
inline constexpr int kExitFailed = 1;   // refused or failed; the reason in one line
inline constexpr int kExitService = 2;  // usage, or no device service to work with
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 3;  // stopped by Ctrl-C; the state of the player in one line

enum class Command { kNone, kList, kCheck, kSend, kHelp, kVersion };

struct Options {
  Command command = Command::kNone;
  bool json = false;
  const TransferKindInfo* kind = nullptr;  // null until --kind names one
  WString file;
  bool playerGiven = false;
  WString player;      // a name, an id or a position, as list shows them
  bool all = false;    // every connected player in turn
  bool verify = true;  // send reads the file back and compares it
  WString logFile;     // send appends one JSON line per attempt here; empty: no log
  DWORD waitSeconds = 0;
};

// Parses argv[1..]; on a usage error returns false with the reason in *error.
bool ParseOptions(const std::vector<WString>& args, Options* options, std::string* error);

// The text of --help.
std::string UsageText();

// UTF-8 text of a UTF-16 string.
std::string Utf8(const WString& text);
std::string Utf8(const WCHAR* text);
// "0x" and eight upper-case hex digits, as results and versions are shown.
std::string Hex32(DWORD v);

// Standard output and error, UTF-16 on a console and UTF-8 otherwise (the
// diagnostics module's own sink).
void Out(const std::string& text);
void Err(const std::string& text);

// The commands; each returns the exit code.
int RunList(const Options& options);
int RunCheckOrSend(const Options& options);

// Installs the Ctrl-C handler: a stop request for the running copy instead
// of the end of the process, so that the program can say what state the
// player is in.
void InstallInterruptHandler();

}  // namespace flash
