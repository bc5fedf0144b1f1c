#include "platform/diag.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
struct Captured {
  std::string out, err;
};
void Capture(DiagStream s, const char* text, void* ctx) {
  auto* c = static_cast<Captured*>(ctx);
  (s == DiagStream::Err ? c->err : c->out) += text;
}
}  // namespace

TEST(Diag, SinkReceivesFormattedTextPerStreamAndDefaultComesBack) {
  Captured c;
  DiagSetSink(Capture, &c);
  DiagPrintf(DiagStream::Out, "value %08x\r\n", 0xABCu);
  DiagPrintf(DiagStream::Err, "failed to read data of size %d at %08x\n", 4, 0x80000040u);
  const std::string longText(2000, 'x');
  DiagPrintf(DiagStream::Out, "%s\n", longText.c_str());
  EXPECT_EQ(c.out, "value 00000abc\r\n" + longText + "\n");
  EXPECT_EQ(c.err, "failed to read data of size 4 at 80000040\n");
  EXPECT_EQ(DiagSetSink(nullptr, nullptr), &Capture);
}

TEST(DiagDeathTest, AssertionNamesExpressionAndFile) {
  EXPECT_DEATH(TF_ASSERT(1 + 1 == 3), "Assertion failed: 1 \\+ 1 == 3, file .*diag_test\\.cpp");
}

// The default sink hands redirected output over byte for byte: "\r\n" stays
// "\r\n" (a text-mode stream would double the carriage return on Windows).
TEST(Diag, DefaultSinkWritesRedirectedLinesExactly) {
  const std::string path = ::testing::TempDir() + "diag_default_sink.txt";
#ifdef _WIN32
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, file);
  DiagPrintf(DiagStream::Out, "accepted\r\n");
  DiagPrintf(DiagStream::Out, "reader line\n");
  SetStdHandle(STD_OUTPUT_HANDLE, saved);
  CloseHandle(file);
#else
  std::fflush(stdout);
  const int saved = dup(1);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  dup2(fd, 1);
  close(fd);
  DiagPrintf(DiagStream::Out, "accepted\r\n");
  DiagPrintf(DiagStream::Out, "reader line\n");
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
#endif
  std::FILE* in = std::fopen(path.c_str(), "rb");
  ASSERT_NE(in, nullptr);
  char buffer[64] = {};
  const size_t got = std::fread(buffer, 1, sizeof buffer, in);
  std::fclose(in);
  std::remove(path.c_str());
  EXPECT_EQ(std::string(buffer, got), "accepted\r\nreader line\n");
}
