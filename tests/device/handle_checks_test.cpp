// A stale or missing handle must be refused before anything is touched: no
// cursor, no service call, no box.
#include <gtest/gtest.h>

#include <functional>

#include "device/device_details.h"
#include "device/devicemanager.h"
#include "device/transfer.h"
#include "device/transfer_testing.h"
#include "tests/device/test_window.h"

namespace {

TEST(HandleChecks, NullAndInvalidHandlesAreRefusedByEveryOperation) {
  DFTInfo record = {};
  TransferCheck check = {};
  const WCHAR path[] = WSTR("C:\\fonts\\a.fnt");
  const std::pair<const char*, std::function<HRESULT(DeviceManager*)>> operations[] = {
      {"DeviceManagerDestroy", [](DeviceManager* h) { return DeviceManagerDestroy(h); }},
      {"EnumNextDevice", [&](DeviceManager* h) { return EnumNextDevice(h, &record); }},
      {"ConnectDevice", [&](DeviceManager* h) { return ConnectDevice(h, &record); }},
      {"DisconnectDevice", [](DeviceManager* h) { return DisconnectDevice(h); }},
      {"TransferFile", [&](DeviceManager* h) { return TransferFile(h, path, KIND_FONT); }},
      {"CheckTransfer", [&](DeviceManager* h) { return CheckTransfer(h, path, KIND_FONT, &check); }},
      {"ListDeviceDetails",
       [](DeviceManager* h) {
         return ListDeviceDetails(
             h, [](const DeviceDetails&, void*) {}, nullptr);
       }},
      {"InsertFileForTest", [&](DeviceManager* h) { return InsertFileForTest(h, path, KIND_FONT); }},
  };
  MessageBoxLog boxes;
  ClearCursorHistory();
  for (const auto& [name, call] : operations) {
    EXPECT_EQ(call(nullptr), E_POINTER) << name;
    EXPECT_EQ(call(INVALID_DEVICE_MANAGER), E_HANDLE) << name;
  }
  EXPECT_TRUE(CursorHistory().empty());
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST(HandleChecks, InvalidHandleIsAllBitsSet) {
  EXPECT_EQ(reinterpret_cast<uintptr_t>(INVALID_DEVICE_MANAGER), ~uintptr_t{0});
  EXPECT_EQ(sizeof(DFTInfo), 1044u);
}

}  // namespace
