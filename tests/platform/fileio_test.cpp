#include "platform/fileio.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/text.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

WString TempPath(const char* name) { return WidenUtf8(std::string(::testing::TempDir()) + name); }

}  // namespace

TEST(FileIo, WriteSeekReadAndAttributes) {
  const WString path = TempPath("tf_fileio_test.bin");
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const char data[] = "0123456789";
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, data, 10, &n, nullptr));
  EXPECT_EQ(n, 10u);
  ASSERT_TRUE(CloseHandle(h));

  h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
  char buf[8] = {};
  ASSERT_TRUE(ReadFile(h, buf, 8, &n, nullptr));
  EXPECT_EQ(n, 4u);  // short read at end of file is success with the count
  EXPECT_EQ(std::string(buf, 4), "6789");
  ASSERT_TRUE(ReadFile(h, buf, 8, &n, nullptr));
  EXPECT_EQ(n, 0u);
  DWORD high = 0;
  EXPECT_EQ(GetFileSize(h, &high), 10u);
  EXPECT_EQ(high, 0u);
  EXPECT_TRUE(CloseHandle(h));

  WIN32_FILE_ATTRIBUTE_DATA info{};
  ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info));
  EXPECT_EQ(info.nFileSizeLow, 10u);
  EXPECT_EQ(info.nFileSizeHigh, 0u);
  EXPECT_TRUE(DeleteFileW(path.c_str()));
}

TEST(FileIo, FailuresReportLastError) {
  const WString missing = TempPath("tf_no_such_file.bin");
  SetLastError(0);
  EXPECT_EQ(CreateFileW(missing.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  WIN32_FILE_ATTRIBUTE_DATA info{};
  EXPECT_FALSE(GetFileAttributesExW(missing.c_str(), GetFileExInfoStandard, &info));
  DWORD n = 7;
  char b;
  EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, &b, 1, &n, nullptr));
}

#ifndef _WIN32
// A FIFO with no writer opens at once and reads as empty, rather than
// blocking the opener until some writer comes along.
TEST(FileIo, FifoWithoutWriterReadsAsEmpty) {
  const std::string path = std::string(::testing::TempDir()) + "tf_fifo";
  std::remove(path.c_str());
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  HANDLE h = CreateFileW(WidenUtf8(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char b[4];
  DWORD n = 7;
  EXPECT_TRUE(ReadFile(h, b, sizeof b, &n, nullptr));
  EXPECT_EQ(n, 0u);
  CloseHandle(h);
  std::remove(path.c_str());
}
#endif
