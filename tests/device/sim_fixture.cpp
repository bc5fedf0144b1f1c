#include "tests/device/sim_fixture.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/com.h"

namespace fs = std::filesystem;

namespace {

long TaskMemory() {
#ifdef _WIN32
  return 0;  // the real allocator keeps no count
#else
  return TfComTaskMemOutstanding();
#endif
}

void CopyText(WCHAR (&field)[260], const std::string& utf8) {
  const WString wide = WidenUtf8(utf8);
  std::fill(std::begin(field), std::end(field), WCHAR(0));
  std::copy_n(wide.begin(), std::min<size_t>(wide.size(), 259), field);
}

}  // namespace

DFTInfo Record(const std::string& make, const std::string& name, DWORD version) {
  DFTInfo record = {};
  CopyText(record.szDeviceManufacturer, make);
  CopyText(record.szDeviceName, name);
  record.dwDeviceVersion = version;
  return record;
}

std::string Utf8(const WCHAR* text) { return NarrowToUtf8(WStringView(text, WideLength(text))); }

WString WindowsPath(const fs::path& path) {
  std::string text = path.string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return WidenUtf8(text);
}

std::vector<std::string> Snapshot(const fs::path& root) {
  std::vector<std::string> entries;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::string entry = fs::relative(e.path(), root).generic_string();
    if (e.is_regular_file()) {
      std::ifstream in(e.path(), std::ios::binary);
      const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      entry.push_back('=');
      entry.append(content);
    }
    entries.push_back(entry);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

void SimDeviceTest::SetUp() {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  ASSERT_EQ(SimRegisterService(), S_OK);
  SimReset();
  ClearCursorHistory();
  baselineObjects_ = SimLiveObjects();
  baselineTaskMemory_ = TaskMemory();
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  dir_ = fs::path(::testing::TempDir()) / (std::string("tf_device_") + info->test_suite_name() + "_" + info->name());
  std::error_code ec;
  fs::remove_all(dir_, ec);
  fs::create_directories(dir_ / "players");
  SimSetPlayerFolder(dir_ / "players");
}

void SimDeviceTest::TearDown() {
  if (dm_ != INVALID_DEVICE_MANAGER) {
    EXPECT_EQ(DeviceManagerDestroy(dm_), S_OK);
  }
  dm_ = INVALID_DEVICE_MANAGER;
  EXPECT_EQ(SimLiveObjects(), baselineObjects_) << "service objects left behind";
  EXPECT_EQ(SimHeldClientReferences(), 0) << "the service still holds the sink";
  EXPECT_EQ(SimAdvisedSinks(), 0u);
  EXPECT_EQ(TaskMemory(), baselineTaskMemory_);
  SimReset();
  SimUnregisterService();
  CoUninitialize();
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

SimPlayerDescription SimDeviceTest::Player(const std::string& make, const std::string& name, DWORD version,
                                           std::vector<std::string> storages) {
  SimPlayerDescription d;
  d.manufacturer = make;
  d.name = name;
  d.version = version;
  for (std::string& s : storages) d.storages.push_back({std::move(s), true});
  return d;
}

void SimDeviceTest::AddPlayer(const std::string& id, const SimPlayerDescription& description) {
  std::string error;
  ASSERT_TRUE(SimAddPlayer(id, description, &error)) << error;
}

void SimDeviceTest::Create() {
  dm_ = DeviceManagerCreate(window_.hwnd(), WM_DEVICENOTIFY);
  ASSERT_NE(dm_, INVALID_DEVICE_MANAGER);
  ASSERT_NE(dm_, nullptr);
}

void SimDeviceTest::Connect(const std::string& make, const std::string& name, DWORD version) {
  const DFTInfo record = Record(make, name, version);
  ASSERT_EQ(ConnectDevice(dm_, &record), S_OK) << make << " " << name;
}

fs::path SimDeviceTest::MakeFile(const std::string& relative, const std::string& header, size_t size) {
  const fs::path path = dir_ / relative;
  fs::create_directories(path.parent_path());
  std::string content = header;
  for (size_t i = content.size(); i < size; ++i) content.push_back(static_cast<char>('a' + i % 26));
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::vector<std::string> SimDeviceTest::FilesIn(const std::string& id, const std::string& storage) {
  std::vector<std::string> names;
  const fs::path folder = SimStorageFolder(id, storage);
  std::error_code ec;
  for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); ++it)
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}
