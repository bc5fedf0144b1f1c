// Entry point of tessfold-flash: wide arguments, so that any path works.
#include <string>
#include <vector>

#include "flash/flash.h"
#include "tessfold/version.h"

int wmain(int argc, wchar_t** argv) {
  using namespace flash;
  std::vector<WString> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  Options options;
  std::string error;
  if (!ParseOptions(args, &options, &error)) {
    Err("tessfold-flash: " + error + "\n");
    Err("Try 'tessfold-flash --help' for more information.\n");
    return kExitUsage;
  }
  InstallInterruptHandler();
  switch (options.command) {
    case Command::kHelp:
      Out(UsageText());
      return kExitOk;
    case Command::kVersion:
      Out("tessfold-flash " TESSFOLD_VERSION_STRING "\n");
      return kExitOk;
    case Command::kList:
      return RunList(options);
    case Command::kCheck:
    case Command::kSend:
      return RunCheckOrSend(options);
    case Command::kNone:
      break;
  }
  return kExitUsage;
}
