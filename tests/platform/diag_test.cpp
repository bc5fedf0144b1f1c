#include "platform/diag.h"

#include <gtest/gtest.h>

#include <string>

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
