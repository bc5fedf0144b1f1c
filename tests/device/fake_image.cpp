#include "tests/device/fake_image.h"

#include "platform/fileio.h"
#include "platform/text.h"

namespace {

struct FakeImageState {
  std::vector<std::string> calls;
  bool open = false;
  std::string signedFor;  // "make|model" of the open image
  std::string expected;   // "make|model" handed over by the device layer
};

FakeImageState& State() {
  static FakeImageState state;
  return state;
}

const char kTag[] = "IMAGE ";

// The first line of the file, without its newline; empty when unreadable.
std::string FirstLine(LPCWSTR path) {
  HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::string();
  char buffer[600] = {};
  DWORD got = 0;
  const BOOL ok = ReadFile(h, buffer, sizeof buffer, &got, nullptr);
  CloseHandle(h);
  if (!ok) return std::string();
  const std::string text(buffer, got);
  const size_t end = text.find('\n');
  return end == std::string::npos ? std::string() : text.substr(0, end);
}

std::string Utf8(const WCHAR* s) { return s == nullptr ? "(null)" : NarrowToUtf8(WStringView(s, WideLength(s))); }

}  // namespace

std::string FakeImageHeader(const std::string& make, const std::string& model) {
  return kTag + make + "|" + model + "\n";
}

const std::vector<std::string>& FakeImageCalls() { return State().calls; }

void FakeImageReset() { State() = FakeImageState{}; }

bool FakeImageIsOpen() { return State().open; }

bool OpenImage(LPCWSTR path) {
  FakeImageState& s = State();
  const std::string line = FirstLine(path);
  s.open = line.rfind(kTag, 0) == 0;
  s.signedFor = s.open ? line.substr(sizeof kTag - 1) : std::string();
  s.calls.push_back(s.open ? "open" : "open failed");
  return s.open;
}

void CloseImage() {
  State().calls.push_back("close");
  State().open = false;
}

void SetExpectedDevice(const WCHAR* szDeviceManufacturer, const WCHAR* szDeviceName) {
  State().expected = Utf8(szDeviceManufacturer) + "|" + Utf8(szDeviceName);
  State().calls.push_back("expect " + State().expected);
}

bool AcceptImage() {
  FakeImageState& s = State();
  // The real acceptance asserts an open image; a call without one is a fault
  // of the caller that the log makes visible.
  const bool accepted = s.open && s.signedFor == s.expected;
  s.calls.push_back(!s.open ? "accept without image" : accepted ? "accept yes" : "accept no");
  return accepted;
}
