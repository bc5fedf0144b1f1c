#include <gtest/gtest.h>

#include "sim/control.h"

TEST(SimInsertRecordBytes, RoundTripAndEveryTruncationIsRefused) {
  SimInsertRecord r;
  r.player = "zr410";
  r.storage = "Internal";
  r.mode = 5;
  r.type = 0;
  r.source = WidenUtf8("C:\\images\\NK.bin");
  r.destination = WidenUtf8("NK.bin");
  r.hadProgress = true;
  r.hadMetadata = true;
  r.metadata = {{WidenUtf8("WMDM/FormatCode"), WMDM_TYPE_DWORD, {0x02, 0xB8, 0, 0}}};
  r.progressCalls = {"Begin(3)", "Progress(3)", "End()"};
  r.result = static_cast<HRESULT>(0x8007048Fu);

  const std::string bytes = SimEncodeInsertRecord(r);
  SimInsertRecord back;
  ASSERT_TRUE(SimDecodeInsertRecord(bytes, &back));
  EXPECT_EQ(SimEncodeInsertRecord(back), bytes);
  EXPECT_EQ(back.source, r.source);
  EXPECT_EQ(back.metadata[0].value, r.metadata[0].value);
  EXPECT_EQ(back.result, r.result);
  for (size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(SimDecodeInsertRecord(bytes.substr(0, n), &back)) << n;
  EXPECT_FALSE(SimDecodeInsertRecord(bytes + "x", &back));
}
