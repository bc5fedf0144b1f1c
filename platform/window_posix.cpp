#include <deque>
#include <map>

#include "platform/window.h"

namespace {

struct Receiver {
  TfWindowReceiver function;
  void* context;
};

struct Posted {
  HWND hWnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

struct WindowState {
  std::map<HWND, Receiver> windows;
  std::deque<Posted> queue;
  uintptr_t nextHandle = 0x10000;
  std::vector<TfMessageBoxRecord> boxes;
  int answer = IDOK;
  std::vector<int> cursors;
  HCURSOR current = nullptr;
};

WindowState& State() {
  static WindowState state;
  return state;
}

HCURSOR CursorFromId(int id) { return reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(id)); }
int IdFromCursor(HCURSOR c) { return static_cast<int>(reinterpret_cast<uintptr_t>(c)); }

}  // namespace

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto it = State().windows.find(hWnd);
  if (it == State().windows.end()) return 0;
  const Receiver r = it->second;
  return r.function(r.context, hWnd, Msg, wParam, lParam);
}

BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (State().windows.count(hWnd) == 0) return FALSE;
  State().queue.push_back({hWnd, Msg, wParam, lParam});
  return TRUE;
}

int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  TfMessageBoxRecord box{hWnd, lpText != nullptr ? std::u16string(lpText) : std::u16string(),
                         lpCaption != nullptr ? std::u16string(lpCaption) : std::u16string(), lpCaption == nullptr,
                         uType};
  State().boxes.push_back(std::move(box));
  return State().answer;
}

HCURSOR LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName) {
  const uintptr_t id = reinterpret_cast<uintptr_t>(lpCursorName);
  if (hInstance != nullptr || id == 0 || id > 0xFFFF) return nullptr;
  return CursorFromId(static_cast<int>(id));
}

HCURSOR SetCursor(HCURSOR hCursor) {
  HCURSOR previous = State().current;
  State().current = hCursor;
  State().cursors.push_back(IdFromCursor(hCursor));
  return previous;
}

HWND TfWindowCreate(TfWindowReceiver receiver, void* context) {
  HWND h = reinterpret_cast<HWND>(State().nextHandle);
  State().nextHandle += 0x10;
  State().windows[h] = {receiver, context};
  return h;
}

void TfWindowDestroy(HWND hWnd) {
  State().windows.erase(hWnd);
  auto& q = State().queue;
  for (auto it = q.begin(); it != q.end();) it = it->hWnd == hWnd ? q.erase(it) : it + 1;
}

size_t TfWindowPumpMessages() {
  size_t delivered = 0;
  while (!State().queue.empty()) {
    const Posted m = State().queue.front();
    State().queue.pop_front();
    SendMessageW(m.hWnd, m.msg, m.wParam, m.lParam);
    ++delivered;
  }
  return delivered;
}

size_t TfWindowPendingMessages() { return State().queue.size(); }

const std::vector<TfMessageBoxRecord>& TfMessageBoxes() { return State().boxes; }

void TfMessageBoxReset(int answer) {
  State().boxes.clear();
  State().answer = answer;
}

const std::vector<int>& TfCursorHistory() { return State().cursors; }

void TfCursorReset() {
  State().cursors.clear();
  State().current = nullptr;
}
