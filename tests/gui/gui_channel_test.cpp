// Both programs start only once the secure channel's handshake with the
// service has really verified, and end at once against a service they cannot
// trust.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/gui/gui_app.h"

namespace {

// Lines of the exchange trace the service wrote.
std::vector<std::string> TraceLines(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(0, line.find(' ', 7)));
  return lines;
}

class TraceVariable {
 public:
  explicit TraceVariable(const std::filesystem::path& path) {
    SetEnvironmentVariableW(L"TESSFOLD_SIM_TRACE", path.wstring().c_str());
  }
  ~TraceVariable() { SetEnvironmentVariableW(L"TESSFOLD_SIM_TRACE", nullptr); }
};

TEST(Channel, ProgramsStartAfterTheWholeHandshake) {
  for (Build build : {Build::Recovery, Build::Update}) {
    SCOPED_TRACE(BuildName(build));
    PlayerFolder players(std::string("channel-") + (build == Build::Update ? "update" : "recovery"));
    PlayerSpec player;
    player.id = "1-zr410";
    players.Add(player);
    const std::filesystem::path trace = players.path() / "trace.txt";
    TraceVariable variable(trace);
    App app(build, players.path());
    ASSERT_TRUE(app.started());
    // "pass N request|reply", one line per message, both passes.
    EXPECT_EQ(TraceLines(trace),
              (std::vector<std::string>{"pass 0 request", "pass 0 reply", "pass 1 request", "pass 1 reply"}));
  }
}

TEST(Channel, AServiceWithAForeignCertificateEndsBothProgramsWithoutALoop) {
  for (Build build : {Build::Recovery, Build::Update}) {
    SCOPED_TRACE(BuildName(build));
    PlayerFolder players("channel-foreign");
    PlayerSpec player;
    player.id = "1-zr410";
    players.Add(player);
    App app(build, players.path(), L"channel-foreign-cert", /*waitForWindow=*/false);
    DWORD code = 0;
    ASSERT_TRUE(app.WaitForExit(20000, &code)) << "the program kept running";
    EXPECT_EQ(code, 1u);
  }
}

}  // namespace
