// Entry point of tessfold-image: picks the subcommand and hands it the rest
// of the command line as UTF-8.
#include <string>
#include <vector>

#include "platform/diag.h"
#include "tessfold/version.h"
#include "tools/image_tool.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include "platform/text.h"
#endif

namespace imagetool {

const char kUsage[] =
    "Usage: tessfold-image <command> [options]\n"
    "\n"
    "Inspect, verify, sign and build Windows CE ROM images (.bin) for the player.\n"
    "\n"
    "Commands:\n"
    "  info FILE\n"
    "      Show the image's layout: start and length, records, pTOC and ROM\n"
    "      offset, modules and sections, files, the extension chain, cat_sig.\n"
    "  verify FILE [--make TEXT] [--model TEXT] [--kind KIND] [--json]\n"
    "      Run the acceptance a transfer runs, with its diagnostic lines, then\n"
    "      print one verdict line. --make/--model give the player's texts\n"
    "      (omitted: that check is skipped). --kind bootloader|recovery|os|font\n"
    "      also applies that kind's size window. --json prints the verdict as\n"
    "      one JSON object (the diagnostic lines then go to the error stream).\n"
    "      Verdicts: ACCEPTED (exit 0), REFUSED (exit 1), and for fonts, which\n"
    "      are sent whatever the checks find, SENT ANYWAY (exit 0). A file that\n"
    "      cannot be opened or is no ROM image exits 2 with no verdict line.\n"
    "  sign FILE --key KEY.pem --cert CERT.pem [--chain CA.pem]...\n"
    "       --make TEXT --model TEXT -o OUT\n"
    "      Write a signed catalog naming the image digest, make and model into\n"
    "      a copy of FILE: into its cat_sig placeholder, or as a new extension\n"
    "      record at the end of its chain. FILE is never changed; OUT is written\n"
    "      only when it verifies.\n"
    "  build [options] -o OUT\n"
    "      Write a synthetic image. Options:\n"
    "        --module NAME[,SIZE]...  a module whose sections hold SIZE bytes each\n"
    "        --file NAME,SIZE         a file of SIZE stored bytes\n"
    "        --size SIZE              pad the image file to exactly SIZE bytes\n"
    "        --cat-sig SIZE           a cat_sig placeholder of SIZE bytes\n"
    "        --no-chain               no ROM extension chain at all\n"
    "        --seed N                 pattern seed of the content bytes\n"
    "        --description FILE       lay the ROM out from a builder description\n"
    "      Without --module and --file: one module with two sections and one file.\n"
    "      Sizes are decimal or 0x-hex, with an optional K or M suffix.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text\n"
    "  --version   show the program's version\n"
    "\n"
    "Outputs are written whole or not at all, through a symbolic link to its\n"
    "file, never over a device or a folder.\n"
    "\n"
    "Exit status: 0 success or accepted, 1 refused, 2 usage error or unreadable input.\n"
    "(2 also when an output cannot be written.)\n";

}  // namespace imagetool

namespace {

int Run(const std::vector<std::string>& argv) {
  using namespace imagetool;
  if (argv.size() < 2) return UsageError("missing command");
  const std::string& command = argv[1];
  if (command == "-h" || command == "--help" || command == "help") {
    DiagPrintf(DiagStream::Out, "%s", kUsage);
    return kExitOk;
  }
  if (command == "--version" && argv.size() == 2) {
    DiagPrintf(DiagStream::Out, "tessfold-image %s\n", TESSFOLD_VERSION_STRING);
    return kExitOk;
  }
  const Args args(argv.begin() + 2, argv.end());
  for (const std::string& arg : args) {
    if (arg == "-h" || arg == "--help") {
      DiagPrintf(DiagStream::Out, "%s", kUsage);
      return kExitOk;
    }
  }
  if (command == "info") return RunInfo(args);
  if (command == "verify") return RunVerify(args);
  if (command == "sign") return RunSign(args);
  if (command == "build") return RunBuild(args);
  return UsageError("unknown command '" + command + "'");
}

}  // namespace

#ifdef _WIN32
int main() {
  int argc = 0;
  LPWSTR* wargv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::string> argv;
  for (int i = 0; wargv != nullptr && i < argc; ++i) argv.push_back(NarrowToUtf8(WStringView(wargv[i])));
  if (wargv != nullptr) LocalFree(wargv);
  return Run(argv);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv, argv + argc)); }
#endif
