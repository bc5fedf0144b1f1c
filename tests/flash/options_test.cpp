// tessfold-flash's command line, natively: what each form parses to and the
// exact line a usage error prints.
#include <gtest/gtest.h>

#include "flash/flash.h"

namespace {

using flash::Command;
using flash::Options;

std::vector<WString> Args(std::initializer_list<const char*> args) {
  std::vector<WString> wide;
  for (const char* a : args) wide.push_back(WidenUtf8(a));
  return wide;
}

TEST(FlashOptions, UsageErrorsNameTheirCause) {
  const struct {
    std::initializer_list<const char*> args;
    const char* error;
  } cases[] = {
      {{}, "missing command"},
      {{"flash"}, "unknown command 'flash'"},
      {{"--version", "list"}, "--version takes no arguments"},
      {{"list", "--kind", "os"}, "unknown option '--kind' for list"},
      {{"list", "a.bin"}, "list takes no FILE"},
      {{"check", "a.bin"}, "check needs --kind (os, recovery, bootloader or font)"},
      {{"check", "--kind", "OS", "a.bin"}, "unknown kind 'OS' (os, recovery, bootloader or font)"},
      {{"check", "a.bin", "--kind"}, "--kind needs a value"},
      {{"check", "--kind=", "a.bin"}, "--kind needs a value"},
      {{"check", "--kinds=os", "a.bin"}, "unknown option '--kinds=os' for check"},
      {{"send", "--kind", "os"}, "send needs a FILE"},
      {{"check", "--kind", "os", "a.bin", "b.bin"}, "check takes one FILE"},
      {{"check", "--no-verify", "--kind", "os", "a.bin"}, "unknown option '--no-verify' for check"},
      {{"check", "--log", "x.log", "--kind", "os", "a.bin"}, "unknown option '--log' for check"},
      {{"send", "--all", "--player", "2", "--kind", "os", "a.bin"}, "--player and --all cannot be used together"},
      {{"send", "--log", "--kind", "os", "a.bin"}, "send takes one FILE"},
      {{"send", "--wait", "1000000", "--kind", "os", "a.bin"},
       "--wait takes a number of seconds (0 to 999999), not '1000000'"},
      {{"send", "--wait=1s", "--kind", "os", "a.bin"}, "--wait takes a number of seconds (0 to 999999), not '1s'"},
  };
  for (const auto& c : cases) {
    Options o;
    std::string error;
    EXPECT_FALSE(flash::ParseOptions(Args(c.args), &o, &error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

TEST(FlashOptions, EveryFormOfTheOptionsParses) {
  Options o;
  std::string error;
  ASSERT_TRUE(flash::ParseOptions(
      Args({"send", "--kind=recovery", "C:\\fw\\r.bin", "--player", "ZR-410", "--wait=999999", "--json"}), &o, &error))
      << error;
  EXPECT_EQ(o.command, Command::kSend);
  ASSERT_NE(o.kind, nullptr);
  EXPECT_EQ(o.kind->kind, KIND_RECOVERY);
  EXPECT_EQ(flash::Utf8(o.file), "C:\\fw\\r.bin");
  EXPECT_TRUE(o.playerGiven);
  EXPECT_EQ(flash::Utf8(o.player), "ZR-410");
  EXPECT_EQ(o.waitSeconds, 999999u);
  EXPECT_TRUE(o.json);

  // Every kind by its name; the last --kind counts; "-" is a file name.
  const struct {
    const char* name;
    TransferKind kind;
  } kinds[] = {
      {"os", KIND_OS_IMAGE}, {"recovery", KIND_RECOVERY}, {"bootloader", KIND_BOOTLOADER}, {"font", KIND_FONT}};
  for (const auto& k : kinds) {
    Options ko;
    ASSERT_TRUE(flash::ParseOptions(Args({"check", "--kind", "font", "-", "--kind", k.name}), &ko, &error)) << error;
    EXPECT_EQ(ko.kind->kind, k.kind) << k.name;
    EXPECT_EQ(flash::Utf8(ko.file), "-");
    EXPECT_FALSE(ko.playerGiven || ko.json);
  }

  const struct {
    std::initializer_list<const char*> args;
    Command command;
  } commands[] = {
      {{"list", "--json"}, Command::kList},
      {{"help"}, Command::kHelp},
      {{"version"}, Command::kVersion},
      {{"--version"}, Command::kVersion},
      {{"frobnicate", "--bad", "-h"}, Command::kHelp},  // help wins wherever it stands
      {{"check", "--help"}, Command::kHelp},
  };
  for (const auto& c : commands) {
    Options co;
    ASSERT_TRUE(flash::ParseOptions(Args(c.args), &co, &error)) << error;
    EXPECT_EQ(co.command, c.command);
  }
  EXPECT_NE(flash::UsageText().find("\n  --kind KIND       os, recovery, bootloader or font\n"), std::string::npos);
}

}  // namespace
