// A DeviceManager talking to the simulated WMDM service, for the device-layer
// suites: a fresh player folder per test, the service reached through
// CoCreateInstance, a window that records the notifications, and the message
// boxes. After each test every object and reference of the service must be
// gone again.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "device/devicemanager.h"
#include "platform/text.h"
#include "sim/simservice.h"
#include "tests/device/test_window.h"

// The player that the tests mostly talk to.
inline constexpr char kMake[] = "Corvane";
inline constexpr char kModel[] = "ZR-410";

class SimDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A description with the given identity and ready storages named `storages`.
  static SimPlayerDescription Player(const std::string& make, const std::string& name, DWORD version,
                                     std::vector<std::string> storages = {"Internal"});
  // Adds player `id`; players enumerate in the order of their ids.
  void AddPlayer(const std::string& id, const SimPlayerDescription& description);

  // Creates the DeviceManager for the test window (expects success).
  void Create();
  // Connects to the player with this identity (expects S_OK).
  void Connect(const std::string& make, const std::string& name, DWORD version = 0);

  // A file under the test's folder: `header` followed by filler up to `size`
  // bytes (at least the header).
  std::filesystem::path MakeFile(const std::string& relative, const std::string& header, size_t size);
  // The files of one storage folder of a player, by name.
  std::vector<std::string> FilesIn(const std::string& id, const std::string& storage);

  std::filesystem::path dir_;
  TestWindow window_;
  MessageBoxLog boxes_;
  DeviceManager* dm_ = INVALID_DEVICE_MANAGER;

 private:
  long baselineObjects_ = 0;
  long baselineTaskMemory_ = 0;
};

// A record with the given identity.
DFTInfo Record(const std::string& make, const std::string& name, DWORD version);
std::string Utf8(const WCHAR* text);
// The path as the program hands it around: UTF-16 with backslashes.
WString WindowsPath(const std::filesystem::path& path);
// Names and contents of every file below `root`, for "nothing changed" checks.
std::vector<std::string> Snapshot(const std::filesystem::path& root);
