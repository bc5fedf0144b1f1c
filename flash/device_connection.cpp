#include "flash/device_connection.h"

#include <objbase.h>

#include <cstdio>

#include "platform/text.h"

namespace flash {

namespace {

constexpr wchar_t kWindowClass[] = L"TessfoldFlashNotify";

struct ProgressState {
  const char* phase = "";
  bool active = false;
  bool console = false;
  bool drawn = false;
  ULONGLONG total = 0;
  DWORD start = 0;
  LPARAM last = -1;
  bool reachedEnd = false;
};

ProgressState g_progress;
bool g_deviceEvent = false;

// Straight to the console: the transfer's diagnostic lines are being
// collected meanwhile, and the progress line is not one of them.
void WriteToConsole(const std::string& text) {
  const WString wide = WidenUtf8(text);
  DWORD written = 0;
  WriteConsoleW(GetStdHandle(STD_ERROR_HANDLE), wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

std::string Bytes(ULONGLONG n) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(n));
  return text;
}

void DrawLine(LPARAM percent) {
  const ULONGLONG done = g_progress.total * static_cast<ULONGLONG>(percent) / 100;
  const DWORD elapsed = GetTickCount() - g_progress.start;
  char rate[32] = "";
  if (elapsed > 0) {
    const double kib = static_cast<double>(done) / 1024.0 / (static_cast<double>(elapsed) / 1000.0);
    std::snprintf(rate, sizeof rate, "%.1f KiB/s", kib);
  }
  char line[200];
  std::snprintf(line, sizeof line, "\r%s %3d%%  %s of %s bytes  %s   ", g_progress.phase, static_cast<int>(percent),
                Bytes(done).c_str(), Bytes(g_progress.total).c_str(), rate);
  WriteToConsole(line);
  g_progress.drawn = true;
}

// The service ends a failed copy with the same end code (100) as a finished
// one, so 100% is drawn only once the copy is known to have succeeded.
void DrawProgress(LPARAM percent) {
  if (!g_progress.active || !g_progress.console) return;
  if (percent >= kDeviceNotifyEnd) {
    g_progress.reachedEnd = true;
    return;
  }
  if (percent == g_progress.last) return;
  g_progress.last = percent;
  DrawLine(percent);
}

LRESULT CALLBACK NotifyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DEVICENOTIFY) {
    if (wParam == kDeviceNotifyProgress) {
      DrawProgress(lParam);
    } else {
      // The name in lParam is not ours to read; a fresh listing tells more.
      g_deviceEvent = true;
    }
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace

bool ErrorIsConsole() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != FALSE;
}

void BeginProgress(const char* phase, ULONGLONG cbFile) {
  g_progress = ProgressState{};
  g_progress.phase = phase;
  g_progress.active = true;
  g_progress.console = ErrorIsConsole();
  g_progress.total = cbFile;
  g_progress.start = GetTickCount();
}

void EndProgress(bool succeeded) {
  if (succeeded && g_progress.reachedEnd) DrawLine(kDeviceNotifyEnd);
  if (g_progress.drawn) {
    if (succeeded) {
      WriteToConsole("\n");
    } else {
      char line[200];
      std::snprintf(line, sizeof line, "\r%s FAILED at %d%%%40s\n", g_progress.phase,
                    static_cast<int>(g_progress.last < 0 ? 0 : g_progress.last), "");
      WriteToConsole(line);
    }
  }
  g_progress = ProgressState{};
}

bool DeviceConnection::Open(DeviceManagerCreateResult* result) {
  com_ = SUCCEEDED(CoInitialize(nullptr));
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = NotifyWindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = kWindowClass;
  RegisterClassExW(&wc);
  window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (window_ == nullptr) {
    *result = DeviceManagerCreateResult{DeviceManagerCreateStage::kMemory, HRESULT_FROM_WIN32(GetLastError()), false,
                                        HandshakeFailure::kNone};
    return false;
  }
  devices_ = DeviceManagerCreateWithResult(window_, WM_DEVICENOTIFY, result);
  return devices_ != INVALID_DEVICE_MANAGER;
}

DeviceConnection::~DeviceConnection() {
  if (devices_ != INVALID_DEVICE_MANAGER) DeviceManagerDestroy(devices_);
  devices_ = INVALID_DEVICE_MANAGER;
  // Notifications posted before the device layer went away die with the window.
  if (window_ != nullptr) DestroyWindow(window_);
  if (com_) CoUninitialize();
}

bool DeviceConnection::WaitForDeviceEvent(DWORD ms) {
  g_deviceEvent = false;
  const DWORD start = GetTickCount();
  for (;;) {
    PumpMessages();
    if (g_deviceEvent) return true;
    const DWORD spent = GetTickCount() - start;
    if (spent >= ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
  }
}

}  // namespace flash
