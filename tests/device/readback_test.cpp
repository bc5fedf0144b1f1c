// Reading a sent file back from a player of the simulated service: what the
// comparison finds for a good copy and for each way a copy can land wrong, the
// removal of a damaged file, and that the temporary file never stays.
#include "device/readback.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "device/transfer.h"
#include "device/transfer_stop.h"
#include "platform/wmdm.h"
#include "tests/device/fake_image.h"
#include "tests/device/sim_fixture.h"

namespace fs = std::filesystem;

namespace {

// SHA-1 of "abc" and of "ab" (FIPS 180 and a reference tool).
constexpr char kSha1Abc[] = "a9993e364706816aba3e25717850c26c9cd0d89d";
constexpr char kSha1Ab[] = "da23614e02469a0d7c7bd1bdab5c9c474b1904dc";

std::string Hex(const BYTE* digest) { return LowerHex(digest, kReadBackDigestSize); }

void SetEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

class ReadBack : public SimDeviceTest {
 protected:
  void SetUp() override {
    SimDeviceTest::SetUp();
    FakeImageReset();
    // The temporary files go where the test can see that none stays.
    temp_ = dir_ / "temp";
    fs::create_directories(temp_);
    for (const char* name : {"TMPDIR", "TMP", "TEMP"}) SetEnvironment(name, temp_.string() + "/");
    SetTransferSuccessBox(false);
    ClearTransferStop();
    AddPlayer("p1", Player(kMake, kModel, 1));
    Create();
    Connect(kMake, kModel);
    source_ = dir_ / "in" / "a.fnt";
    fs::create_directories(source_.parent_path());
    std::ofstream(source_, std::ios::binary) << "abc";
  }
  void TearDown() override {
    EXPECT_TRUE(fs::is_empty(temp_)) << "a temporary file stayed";
    SetTransferSuccessBox(true);
    ClearTransferStop();
    SimDeviceTest::TearDown();
  }
  void Faults(const char* text) {
    SimFaults faults;
    std::string error;
    ASSERT_TRUE(SimParseFaults(text, &faults, &error)) << error;
    SimSetFaults(faults);
  }
  HRESULT Send() { return TransferFile(dm_, WindowsPath(source_).c_str(), KIND_FONT); }
  HRESULT Verify(ReadBackResult* result) { return VerifyLastTransfer(dm_, WindowsPath(source_).c_str(), result); }
  bool OnPlayer() const { return fs::exists(SimStorageFolder("p1", "Internal") / "a.fnt"); }

  fs::path temp_;
  fs::path source_;
};

TEST_F(ReadBack, EachWayACopyLandsIsTold) {
  const struct {
    const char* faults;
    ReadBackOutcome outcome;
    ULONGLONG cbRead;
    const char* readSha1;  // null: not the sent digest, or none
    HRESULT hr, hrDelete;
    bool removed, stays;
  } cases[] = {
      {"", ReadBackOutcome::kMatched, 3, kSha1Abc, S_OK, S_OK, false, true},
      {"damaged-write", ReadBackOutcome::kMismatch, 3, nullptr, S_OK, S_OK, true, false},
      {"short-write", ReadBackOutcome::kMismatch, 2, kSha1Ab, S_OK, S_OK, true, false},
      {"damaged-write,delete-refused", ReadBackOutcome::kMismatch, 3, nullptr, S_OK, E_ACCESSDENIED, false, true},
      {"read-refused", ReadBackOutcome::kReadFailed, 0, nullptr, WMDM_E_NOTSUPPORTED, S_OK, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.faults);
    Faults(c.faults);
    ASSERT_EQ(Send(), S_OK);
    WCHAR storage[8] = {};
    EXPECT_EQ(LastTransferStorage(dm_, storage, 8), S_OK);
    EXPECT_EQ(Utf8(storage), "Interna");  // cut to the buffer, terminated
    ReadBackResult r;
    std::memset(&r, 0xCC, sizeof r);
    ASSERT_EQ(Verify(&r), S_OK);
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(r.hr, c.hr);
    EXPECT_TRUE(r.fSentDigest);
    EXPECT_EQ((r.cbSent), 3u);
    EXPECT_EQ(Hex(r.rgbSent), kSha1Abc);
    EXPECT_EQ(r.fReadDigest, c.outcome != ReadBackOutcome::kReadFailed);
    if (r.fReadDigest) {
      EXPECT_EQ(r.cbRead, c.cbRead);
      if (c.readSha1 != nullptr) {
        EXPECT_EQ(Hex(r.rgbRead), c.readSha1);
      } else {
        EXPECT_NE(Hex(r.rgbRead), kSha1Abc);
      }
    }
    EXPECT_EQ(r.fRemoved, c.removed);
    if (c.outcome == ReadBackOutcome::kMismatch) {
      EXPECT_EQ(r.hrDelete, c.hrDelete);
    }
    EXPECT_EQ(OnPlayer(), c.stays);
    fs::remove(SimStorageFolder("p1", "Internal") / "a.fnt");
  }
}

TEST_F(ReadBack, NothingToReadBackWithoutACopy) {
  ReadBackResult r = {};
  EXPECT_EQ(Verify(&r), E_FAIL);  // nothing sent yet
  WCHAR storage[260];
  EXPECT_EQ(LastTransferStorage(dm_, storage, 260), E_FAIL);
  ASSERT_EQ(Send(), S_OK);
  EXPECT_EQ(VerifyLastTransfer(dm_, nullptr, &r), E_POINTER);
  EXPECT_EQ(VerifyLastTransfer(dm_, WSTR("x"), nullptr), E_POINTER);
  EXPECT_EQ(VerifyLastTransfer(INVALID_DEVICE_MANAGER, WSTR("x"), &r), E_HANDLE);
  // A failed copy leaves nothing to read back either.
  Faults("insert-fail");
  EXPECT_NE(Send(), S_OK);
  EXPECT_EQ(Verify(&r), E_FAIL);
  Faults("");
  ASSERT_EQ(Send(), S_OK);
  ASSERT_EQ(DisconnectDevice(dm_), S_OK);
  EXPECT_EQ(Verify(&r), E_FAIL);
}

TEST_F(ReadBack, AStopRequestStopsTheCopyAndTheReadBack) {
  ASSERT_EQ(Send(), S_OK);
  RequestTransferStop();
  ReadBackResult r = {};
  EXPECT_EQ(Verify(&r), WMDM_E_USER_CANCELLED);
  EXPECT_TRUE(OnPlayer());
  fs::remove(SimStorageFolder("p1", "Internal") / "a.fnt");
  EXPECT_EQ(Send(), WMDM_E_USER_CANCELLED);
  EXPECT_FALSE(OnPlayer());
  SimInsertRecord insert;
  ASSERT_TRUE(SimLastInsert(&insert));
  EXPECT_EQ(insert.result, S_OK) << "the stopped copy must not have reached the service";
}

}  // namespace
