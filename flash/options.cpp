#include <cwchar>

#include "flash/flash.h"

namespace flash {

const char kUsage[] =
    "Usage: tessfold-flash <command> [options]\n"
    "\n"
    "Lists the players the device service reports, checks a firmware image\n"
    "against one, and sends it, as the window programs do.\n"
    "\n"
    "Commands:\n"
    "  list [--json]\n"
    "      The players with manufacturer, name, version, ready state and\n"
    "      their storages with their ready state.\n"
    "  check --kind KIND FILE [--player NAME] [--json]\n"
    "      The checks a transfer runs against the player (signature, make and\n"
    "      model, size window) and the name the file would get on it. Nothing\n"
    "      is sent.\n"
    "  send --kind KIND FILE [--player NAME] [--wait SECONDS] [--json]\n"
    "      Check, then copy the file onto the player. A file that does not\n"
    "      pass the checks is never sent.\n"
    "\n"
    "Options:\n"
    "  --kind KIND       os, recovery, bootloader or font\n"
    "  --player NAME     the player's name as list shows it; needed when more\n"
    "                    than one player is connected\n"
    "  --wait SECONDS    wait up to SECONDS for the player to be plugged in\n"
    "  --json            print the result as one JSON object\n"
    "  -h, --help        show this text\n"
    "  --version         show the program's version\n"
    "\n"
    "Exit status: 0 done, 1 refused or failed, 2 usage error, no device\n"
    "service, or the service refused to authenticate us.\n";

namespace {

struct KindName {
  const wchar_t* name;
  TransferKind kind;
};

constexpr KindName kKinds[] = {
    {L"os", KIND_OS_IMAGE},
    {L"recovery", KIND_RECOVERY},
    {L"bootloader", KIND_BOOTLOADER},
    {L"font", KIND_FONT},
};

// "--name VALUE" or "--name=VALUE".
bool TakeValue(const std::vector<std::wstring>& args, size_t* i, const std::wstring& name, std::wstring* value,
               std::string* error) {
  const std::wstring& arg = args[*i];
  if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + L"=") == 0) {
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

bool IsOption(const std::wstring& arg, const std::wstring& name) {
  return arg == name || arg.compare(0, name.size() + 1, name + L"=") == 0;
}

bool ParseSeconds(const std::wstring& text, DWORD* seconds) {
  if (text.empty() || text.size() > 6) return false;
  DWORD value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + static_cast<DWORD>(c - L'0');
  }
  *seconds = value;
  return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::wstring>& args, Options* o, std::string* error) {
  if (args.empty()) {
    *error = "missing command";
    return false;
  }
  for (const std::wstring& arg : args) {
    if (arg == L"-h" || arg == L"--help") {
      o->command = Command::kHelp;
      return true;
    }
  }
  const std::wstring& command = args[0];
  if (command == L"help") {
    o->command = Command::kHelp;
    return true;
  }
  if (command == L"--version" || command == L"version") {
    o->command = Command::kVersion;
    if (args.size() == 1) return true;
    *error = "--version takes no arguments";
    return false;
  }
  if (command == L"list") {
    o->command = Command::kList;
  } else if (command == L"check") {
    o->command = Command::kCheck;
  } else if (command == L"send") {
    o->command = Command::kSend;
  } else {
    *error = "unknown command '" + Utf8(command) + "'";
    return false;
  }
  const std::string name = Utf8(command);

  for (size_t i = 1; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    std::wstring value;
    if (arg == L"--json") {
      o->json = true;
    } else if (o->command != Command::kList && IsOption(arg, L"--kind")) {
      if (!TakeValue(args, &i, L"--kind", &value, error)) return false;
      o->kindGiven = false;
      for (const KindName& k : kKinds) {
        if (value == k.name) {
          o->kind = k.kind;
          o->kindName = k.name;
          o->kindGiven = true;
        }
      }
      if (!o->kindGiven) {
        *error = "unknown kind '" + Utf8(value) + "' (os, recovery, bootloader or font)";
        return false;
      }
    } else if (o->command != Command::kList && IsOption(arg, L"--player")) {
      if (!TakeValue(args, &i, L"--player", &o->player, error)) return false;
      o->playerGiven = true;
    } else if (o->command == Command::kSend && IsOption(arg, L"--wait")) {
      if (!TakeValue(args, &i, L"--wait", &value, error)) return false;
      if (!ParseSeconds(value, &o->waitSeconds)) {
        *error = "--wait takes a number of seconds (0 to 999999), not '" + Utf8(value) + "'";
        return false;
      }
    } else if (arg.size() > 1 && arg[0] == L'-') {
      *error = "unknown option '" + Utf8(arg) + "' for " + name;
      return false;
    } else if (o->command == Command::kList) {
      *error = "list takes no FILE";
      return false;
    } else if (!o->file.empty()) {
      *error = name + " takes one FILE";
      return false;
    } else {
      o->file = arg;
    }
  }
  if (o->command == Command::kList) return true;
  if (!o->kindGiven) {
    *error = name + " needs --kind (os, recovery, bootloader or font)";
    return false;
  }
  if (o->file.empty()) {
    *error = name + " needs a FILE";
    return false;
  }
  return true;
}

}  // namespace flash
