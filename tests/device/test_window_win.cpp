#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/device/test_window.h"

namespace {

constexpr wchar_t kClassName[] = L"TessfoldTestWindow";

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* window = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window != nullptr && msg >= WM_USER) {
    window->Record(msg, wParam, lParam);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void RegisterOnce() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSW wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClassName;
  RegisterClassW(&wc);
  registered = true;
}

// The boxes seen by the hook of the one live MessageBoxLog.
std::vector<ShownBox>* g_boxes = nullptr;
HHOOK g_hook = nullptr;

std::string WindowText(HWND hwnd) {
  wchar_t buffer[1024] = {};
  GetWindowTextW(hwnd, buffer, 1024);
  return NarrowToUtf8(buffer);
}

// Reads each message box once its dialog is set up and ends it before it is
// ever shown, as if the user had pressed OK at once.
LRESULT CALLBACK AfterWindowProc(int code, WPARAM wParam, LPARAM lParam) {
  const auto* m = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  if (code == HC_ACTION && g_boxes != nullptr && m->message == WM_INITDIALOG) {
    wchar_t cls[32] = {};
    GetClassNameW(m->hwnd, cls, 32);
    if (std::wstring(cls) == L"#32770") {
      HWND text = GetDlgItem(m->hwnd, 0xFFFF);
      // A box's icon is a static control with id 0x14 (the text is 0xFFFF).
      HWND icon = GetDlgItem(m->hwnd, 0x14);
      // Wine does not raise a box for MB_TOPMOST, so the flag is not visible here.
      g_boxes->push_back({text != nullptr ? WindowText(text) : std::string(), WindowText(m->hwnd),
                          GetWindow(m->hwnd, GW_OWNER) == nullptr, false,
                          icon != nullptr && SendMessageW(icon, STM_GETICON, 0, 0) != 0});
      EndDialog(m->hwnd, IDOK);
    }
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

std::vector<ShownBox> g_store;

// Under Wine without an X display no top-level window can be made: every
// MessageBoxW then fails at once and the hook sees nothing, so "no box" would
// pass and "one box" fail for a reason that has nothing to do with the code.
bool BoxesCanAppear() {
  HWND probe =
      CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

bool g_boxesCanAppear = false;

}  // namespace

TestWindow::TestWindow() {
  RegisterOnce();
  hwnd_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TestWindow::~TestWindow() { DestroyWindow(hwnd_); }

void TestWindow::Pump() {
  pumping_ = true;
  MSG m;
  while (PeekMessageW(&m, hwnd_, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  pumping_ = false;
}

MessageBoxLog::MessageBoxLog() {
  g_boxesCanAppear = BoxesCanAppear();
  g_store.clear();
  g_boxes = &g_store;
  g_hook = SetWindowsHookExW(WH_CALLWNDPROCRET, AfterWindowProc, nullptr, GetCurrentThreadId());
}

MessageBoxLog::~MessageBoxLog() {
  UnhookWindowsHookEx(g_hook);
  g_hook = nullptr;
  g_boxes = nullptr;
}

std::vector<ShownBox> MessageBoxLog::boxes() const {
  if (!g_boxesCanAppear) {
    ADD_FAILURE() << "no window can be shown here (no display?), so which message boxes appeared cannot be told; "
                     "ctest runs this suite on a display of its own";
  }
  return g_store;
}

std::vector<int> CursorHistory() { return {}; }
void ClearCursorHistory() {}
const bool kCursorsObservable = false;
const bool kBoxTopmostObservable = false;
