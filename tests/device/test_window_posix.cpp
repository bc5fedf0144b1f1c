#include "platform/text.h"
#include "tests/device/test_window.h"

namespace {

LRESULT Receive(void* context, HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
  static_cast<TestWindow*>(context)->Record(msg, wParam, lParam);
  return 0;
}

}  // namespace

TestWindow::TestWindow() { hwnd_ = TfWindowCreate(Receive, this); }
TestWindow::~TestWindow() { TfWindowDestroy(hwnd_); }

void TestWindow::Pump() {
  pumping_ = true;
  TfWindowPumpMessages();
  pumping_ = false;
}

MessageBoxLog::MessageBoxLog() { TfMessageBoxReset(IDOK); }
MessageBoxLog::~MessageBoxLog() { TfMessageBoxReset(IDOK); }

std::vector<ShownBox> MessageBoxLog::boxes() const {
  std::vector<ShownBox> out;
  for (const TfMessageBoxRecord& r : TfMessageBoxes()) {
    out.push_back({NarrowToUtf8(WStringView(r.text.data(), r.text.size())),
                   NarrowToUtf8(WStringView(r.caption.data(), r.caption.size())), r.owner == nullptr,
                   (r.type & MB_TOPMOST) != 0, (r.type & 0xF0u) != 0});
  }
  return out;
}

std::vector<int> CursorHistory() { return TfCursorHistory(); }
void ClearCursorHistory() { TfCursorReset(); }
const bool kCursorsObservable = true;
const bool kBoxTopmostObservable = true;
