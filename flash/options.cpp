#include "flash/flash.h"

namespace flash {

namespace {

// The kinds in the order this program offers them.
std::string KindNames() { return TransferKindNameList({KIND_OS_IMAGE, KIND_RECOVERY, KIND_BOOTLOADER, KIND_FONT}); }

}  // namespace

std::string UsageText() {
  return "Usage: tessfold-flash <command> [options]\n"
         "\n"
         "Lists the players the device service reports, checks a firmware image\n"
         "against one, and sends it, as the window programs do.\n"
         "\n"
         "Commands:\n"
         "  list [--json]\n"
         "      The players in the service's order: position, manufacturer, name,\n"
         "      version, ready state and id, and their storages with their ready\n"
         "      state.\n"
         "  check --kind KIND FILE [--player P | --all] [--wait SECONDS] [--json]\n"
         "      The checks a transfer runs against the player (signature, make and\n"
         "      model, size window) and the name the file would get on it. Nothing\n"
         "      is sent. Fonts are not checked.\n"
         "  send --kind KIND FILE [--player P | --all] [--wait SECONDS] [--no-verify]\n"
         "       [--log FILE] [--json]\n"
         "      Check, then copy the file onto the player and read it back to\n"
         "      verify it. A file that does not pass the checks is never sent; a\n"
         "      copy that does not read back as sent is removed from the player.\n"
         "\n"
         "Options:\n"
         "  --kind KIND       " +
         KindNames() +
         "\n"
         "  --player P        the player's name, id or position as list shows them;\n"
         "                    needed when more than one player is connected\n"
         "  --all             every connected player in turn, with a summary\n"
         "  --wait SECONDS    wait up to SECONDS for the player to be plugged in\n"
         "                    and ready\n"
         "  --no-verify       do not read the file back after sending it\n"
         "  --log FILE        append one JSON line per send attempt to FILE\n"
         "  --json            print the result as JSON\n"
         "  -h, --help        show this text\n"
         "  --version         show the program's version\n"
         "\n"
         "Exit status: 0 done (with --all: done for every player), 1 refused or\n"
         "failed, 2 usage error, unusable log file, or no device session, 3\n"
         "interrupted.\n";
}

namespace {

// "--name VALUE" or "--name=VALUE".
bool TakeValue(const std::vector<WString>& args, size_t* i, const WString& name, WString* value, std::string* error) {
  const WString& arg = args[*i];
  if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + WSTR("=")) == 0) {
    *value = arg.substr(name.size() + 1);
  } else if (*i + 1 < args.size()) {
    *value = args[++*i];
  } else {
    *error = Utf8(name) + " needs a value";
    return false;
  }
  if (value->empty()) {
    *error = Utf8(name) + " needs a value";
    return false;
  }
  return true;
}

bool IsOption(const WString& arg, const WString& name) {
  return arg == name || arg.compare(0, name.size() + 1, name + WSTR("=")) == 0;
}

bool ParseSeconds(const WString& text, DWORD* seconds) {
  if (text.empty() || text.size() > 6) return false;
  DWORD value = 0;
  for (WCHAR c : text) {
    if (c < WCHAR('0') || c > WCHAR('9')) return false;
    value = value * 10 + static_cast<DWORD>(c - WCHAR('0'));
  }
  *seconds = value;
  return true;
}

}  // namespace

namespace {

bool Refuse(std::string* error, const std::string& why) {
  *error = why;
  return false;
}

// The command word, or help and version wherever they stand. False on a
// usage error; *done when nothing more is to be parsed.
bool ParseCommand(const std::vector<WString>& args, Options* o, bool* done, std::string* error) {
  *done = true;
  if (args.empty()) return Refuse(error, "missing command");
  for (const WString& arg : args) {
    if (arg == WSTR("-h") || arg == WSTR("--help")) {
      o->command = Command::kHelp;
      return true;
    }
  }
  const WString& command = args[0];
  if (command == WSTR("help")) {
    o->command = Command::kHelp;
    return true;
  }
  if (command == WSTR("--version") || command == WSTR("version")) {
    o->command = Command::kVersion;
    return args.size() == 1 || Refuse(error, "--version takes no arguments");
  }
  *done = false;
  if (command == WSTR("list")) {
    o->command = Command::kList;
  } else if (command == WSTR("check")) {
    o->command = Command::kCheck;
  } else if (command == WSTR("send")) {
    o->command = Command::kSend;
  } else {
    return Refuse(error, "unknown command '" + Utf8(command) + "'");
  }
  return true;
}

// The argument at args[*i] (and its value, which moves *i on) for command
// `name`.
bool ParseArgument(const std::vector<WString>& args, size_t* i, const std::string& name, Options* o,
                   std::string* error) {
  const WString& arg = args[*i];
  WString value;
  if (arg == WSTR("--json")) {
    o->json = true;
  } else if (o->command != Command::kList && IsOption(arg, WSTR("--kind"))) {
    if (!TakeValue(args, i, WSTR("--kind"), &value, error)) return false;
    o->kind = FindTransferKindByName(Utf8(value));
    if (o->kind == nullptr) return Refuse(error, "unknown kind '" + Utf8(value) + "' (" + KindNames() + ")");
  } else if (o->command != Command::kList && IsOption(arg, WSTR("--player"))) {
    if (!TakeValue(args, i, WSTR("--player"), &o->player, error)) return false;
    o->playerGiven = true;
  } else if (o->command != Command::kList && arg == WSTR("--all")) {
    o->all = true;
  } else if (o->command == Command::kSend && arg == WSTR("--no-verify")) {
    o->verify = false;
  } else if (o->command == Command::kSend && IsOption(arg, WSTR("--log"))) {
    if (!TakeValue(args, i, WSTR("--log"), &o->logFile, error)) return false;
  } else if (o->command != Command::kList && IsOption(arg, WSTR("--wait"))) {
    if (!TakeValue(args, i, WSTR("--wait"), &value, error)) return false;
    if (!ParseSeconds(value, &o->waitSeconds))
      return Refuse(error, "--wait takes a number of seconds (0 to 999999), not '" + Utf8(value) + "'");
  } else if (arg.size() > 1 && arg[0] == WCHAR('-')) {
    return Refuse(error, "unknown option '" + Utf8(arg) + "' for " + name);
  } else if (o->command == Command::kList) {
    return Refuse(error, "list takes no FILE");
  } else if (!o->file.empty()) {
    return Refuse(error, name + " takes one FILE");
  } else {
    o->file = arg;
  }
  return true;
}

}  // namespace

bool ParseOptions(const std::vector<WString>& args, Options* o, std::string* error) {
  bool done = false;
  if (!ParseCommand(args, o, &done, error)) return false;
  if (done) return true;
  const std::string name = Utf8(args[0]);
  for (size_t i = 1; i < args.size(); ++i)
    if (!ParseArgument(args, &i, name, o, error)) return false;
  if (o->command == Command::kList) return true;
  if (o->all && o->playerGiven) return Refuse(error, "--player and --all cannot be used together");
  if (o->kind == nullptr) return Refuse(error, name + " needs --kind (" + KindNames() + ")");
  if (o->file.empty()) return Refuse(error, name + " needs a FILE");
  return true;
}

}  // namespace flash
