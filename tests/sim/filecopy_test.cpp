#include "sim/filecopy.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Recorder : SimCopyObserver {
  uint64_t failAt = UINT64_MAX;  // fail the chunk that reaches this many bytes
  std::vector<uint64_t> begins;
  std::vector<uint64_t> chunks;
  bool partialSeen = true;
  fs::path destination;

  void begin(uint64_t total) override { begins.push_back(total); }
  HRESULT afterChunk(uint64_t done, uint64_t total) override {
    EXPECT_EQ(total, begins.at(0));
    chunks.push_back(done);
    // While copying only the temporary file exists.
    partialSeen = partialSeen && fs::exists(SimPartialPath(destination));
    return done >= failAt ? static_cast<HRESULT>(0x80045003u) : S_OK;
  }
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class SimCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) / "tf_sim_copy";
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "storage");
    for (int i = 0; i < 2500; ++i) content_ += static_cast<char>(i * 7);
    std::ofstream(dir_ / "source.bin", std::ios::binary) << content_;
    recorder_.destination = dest();
  }
  fs::path source() const { return dir_ / "source.bin"; }
  fs::path dest() const { return dir_ / "storage" / "NK.bin"; }
  size_t filesInStorage() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_ / "storage"), fs::directory_iterator()));
  }

  fs::path dir_;
  std::string content_;
  Recorder recorder_;
};

}  // namespace

TEST_F(SimCopy, CopiesInChunksAndReportsEach) {
  ASSERT_EQ(SimCopyFile(source(), dest(), 1000, &recorder_), S_OK);
  EXPECT_EQ(Slurp(dest()), content_);
  EXPECT_EQ(recorder_.begins, std::vector<uint64_t>{2500});
  EXPECT_EQ(recorder_.chunks, (std::vector<uint64_t>{1000, 2000, 2500}));
  EXPECT_TRUE(recorder_.partialSeen);
  EXPECT_EQ(filesInStorage(), 1u);

  // A second copy replaces the file; chunk 0 is taken as 1 byte.
  std::ofstream(source(), std::ios::binary | std::ios::trunc) << "abc";
  recorder_ = Recorder{};
  recorder_.destination = dest();
  ASSERT_EQ(SimCopyFile(source(), dest(), 0, &recorder_), S_OK);
  EXPECT_EQ(Slurp(dest()), "abc");
  EXPECT_EQ(recorder_.chunks, (std::vector<uint64_t>{1, 2, 3}));
}

TEST_F(SimCopy, EmptySourceReportsOnceWithZero) {
  std::ofstream(source(), std::ios::binary | std::ios::trunc).close();
  ASSERT_EQ(SimCopyFile(source(), dest(), 1000, &recorder_), S_OK);
  EXPECT_EQ(recorder_.begins, std::vector<uint64_t>{0});
  EXPECT_EQ(recorder_.chunks, std::vector<uint64_t>{0});
  EXPECT_TRUE(fs::exists(dest()));
  EXPECT_EQ(fs::file_size(dest()), 0u);
}

TEST_F(SimCopy, FailurePartWayLeavesNoFileAndKeepsTheOldOne) {
  const struct {
    uint64_t failAt;
    size_t chunksSeen;
  } cases[] = {{1, 1}, {1500, 2}, {2500, 3}};
  for (const auto& c : cases) {
    fs::remove(dest());
    recorder_ = Recorder{};
    recorder_.destination = dest();
    recorder_.failAt = c.failAt;
    EXPECT_EQ(SimCopyFile(source(), dest(), 1000, &recorder_), static_cast<HRESULT>(0x80045003u));
    EXPECT_EQ(recorder_.chunks.size(), c.chunksSeen);
    EXPECT_EQ(filesInStorage(), 0u) << "fail at " << c.failAt;
  }
  std::ofstream(dest(), std::ios::binary) << "old firmware";
  recorder_.chunks.clear();
  EXPECT_EQ(SimCopyFile(source(), dest(), 1000, &recorder_), static_cast<HRESULT>(0x80045003u));
  EXPECT_EQ(Slurp(dest()), "old firmware");
  EXPECT_EQ(filesInStorage(), 1u);
}

TEST_F(SimCopy, UnreadableSourceOrMissingFolderFailsCleanly) {
  EXPECT_EQ(SimCopyFile(dir_ / "missing.bin", dest(), 1000, &recorder_), static_cast<HRESULT>(0x80070002u));
  EXPECT_EQ(SimCopyFile(dir_ / "storage", dest(), 1000, &recorder_), E_FAIL);  // a folder is no file
  EXPECT_EQ(SimCopyFile(source(), dir_ / "nowhere" / "NK.bin", 1000, &recorder_), E_FAIL);
  EXPECT_TRUE(recorder_.begins.empty());
  EXPECT_EQ(filesInStorage(), 0u);
}
