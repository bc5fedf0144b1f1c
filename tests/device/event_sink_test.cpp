// The sink is the service's way into the program: its reference count decides
// when it dies while the service still holds it, and its messages are all the
// main window learns about transfers and devices.
#include "device/event_sink.h"

#include <gtest/gtest.h>

#include "device/devicemanager.h"
#include "device/transfer_stop.h"
#include "tests/device/test_window.h"

namespace {

constexpr UINT kMsg = WM_DEVICENOTIFY;

class EventSinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sink_ = DeviceEventSink::Create(window_.hwnd(), kMsg);
    ASSERT_NE(sink_, nullptr);
  }
  void TearDown() override {
    if (sink_ != nullptr) {
      EXPECT_EQ(sink_->Release(), 0u);
    }
  }

  TestWindow window_;
  DeviceEventSink* sink_ = nullptr;
};

TEST_F(EventSinkTest, BothFacesShareOneIdentityAndCount) {
  IUnknown* unknown = nullptr;
  IWMDMProgress* progress = nullptr;
  IWMDMNotification* notification = nullptr;
  ASSERT_EQ(sink_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  ASSERT_EQ(sink_->QueryInterface(IID_IWMDMProgress, reinterpret_cast<void**>(&progress)), S_OK);
  ASSERT_EQ(sink_->QueryInterface(IID_IWMDMNotification, reinterpret_cast<void**>(&notification)), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(sink_->progressFace()));
  EXPECT_EQ(static_cast<void*>(progress), static_cast<void*>(sink_->progressFace()));
  EXPECT_EQ(static_cast<void*>(notification), static_cast<void*>(sink_->notificationFace()));
  EXPECT_NE(static_cast<void*>(notification), static_cast<void*>(progress));

  // A query through the notification face reaches the same object.
  IUnknown* again = nullptr;
  ASSERT_EQ(notification->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
  EXPECT_EQ(static_cast<void*>(again), static_cast<void*>(unknown));

  // 1 (creator) + 4 queries; either face counts on the same number.
  EXPECT_EQ(notification->AddRef(), 6u);
  EXPECT_EQ(progress->Release(), 5u);
  EXPECT_EQ(notification->Release(), 4u);
  again->Release();
  notification->Release();
  EXPECT_EQ(unknown->Release(), 1u);
}

TEST_F(EventSinkTest, RefusesOtherInterfacesAndNullOut) {
  void* out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(sink_->QueryInterface(IID_IWMDMDevice, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(sink_->QueryInterface(IID_IWMDMProgress, nullptr), E_POINTER);
  EXPECT_EQ(sink_->AddRef(), 2u);  // the failures added nothing
  sink_->Release();
}

TEST_F(EventSinkTest, ProgressIsSentInOrderWithBeginAndEndCodes) {
  ASSERT_EQ(sink_->Begin(200), S_OK);
  for (DWORD done : {0u, 50u, 101u, 200u}) ASSERT_EQ(sink_->Progress(done), S_OK);
  ASSERT_EQ(sink_->End(), S_OK);
  const std::vector<WindowMessage> expected = {
      {kMsg, 0, 0, false},  {kMsg, 0, 0, false},   {kMsg, 0, 25, false},
      {kMsg, 0, 51, false}, {kMsg, 0, 100, false}, {kMsg, 0, 100, false},
  };
  EXPECT_EQ(window_.messages(), expected);
}

// A stop request reaches the service as the answer to its next report.
TEST_F(EventSinkTest, ProgressAnswersAStopRequestWithCancelled) {
  ASSERT_EQ(sink_->Begin(100), S_OK);
  EXPECT_EQ(sink_->Progress(10), S_OK);
  RequestTransferStop();
  EXPECT_EQ(sink_->Progress(20), WMDM_E_USER_CANCELLED);
  ClearTransferStop();
  EXPECT_EQ(sink_->Progress(30), S_OK);
  EXPECT_EQ(window_.messages().size(), 4u) << "each report is still shown";
}

TEST_F(EventSinkTest, ArrivalAndRemovalArePostedOtherEventsDropped) {
  const WCHAR name[] = WSTR("\\\\?\\usb#player-1");
  for (DWORD type : {0u, 2u, 1u, 3u, 7u})  // arrival, media arrival, removal, media removal, unknown
    ASSERT_EQ(sink_->notificationFace()->WMDMMessage(type, name), S_OK);
  EXPECT_TRUE(window_.messages().empty()) << "posted, not sent";
  window_.Pump();
  const LPARAM namePointer = reinterpret_cast<LPARAM>(name);
  const std::vector<WindowMessage> expected = {
      {kMsg, kDeviceNotifyArrived, namePointer, true},
      {kMsg, kDeviceNotifyRemoved, namePointer, true},
  };
  EXPECT_EQ(window_.messages(), expected);
}

TEST(ProgressPercent, StaysWithinZeroToHundred) {
  struct Case {
    DWORD estimate, done;
    LPARAM percent;
  };
  const Case cases[] = {
      {100, 0, 0},
      {100, 1, 1},
      {100, 99, 99},
      {100, 100, 100},
      {3, 1, 34},
      {3, 2, 67},                       // 100 - trunc(66.6), 100 - trunc(33.3)
      {0xFFFFFFFFu, 1, 1},              // the product needs more than 32 bits
      {0xFFFFFFFFu, 0xFFFFFFFEu, 100},  // 100 - trunc(0.0000000233)
      {0, 0, 0},
      {0, 5, 0},  // nothing estimated: no position is known
      {100, 101, 100},
      {100, 0xFFFFFFFFu, 100},  // more than estimated
  };
  for (const Case& c : cases) EXPECT_EQ(ProgressPercent(c.estimate, c.done), c.percent) << c.estimate << " " << c.done;
}

}  // namespace
