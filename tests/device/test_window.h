// What a user of the main window would see, for device-layer tests on both
// platforms: a window that records every message it gets (and whether it came
// through the queue), and a log of message boxes that answers them at once.
// On Windows these are a real message-only window and a window-procedure hook
// that reads and closes each box; elsewhere they sit on the platform stand-ins.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/window.h"

struct WindowMessage {
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  bool posted;  // delivered from the queue by Pump, not sent

  bool operator==(const WindowMessage&) const = default;
};

class TestWindow {
 public:
  TestWindow();
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  // Delivers the messages posted to this window so far.
  void Pump();
  const std::vector<WindowMessage>& messages() const { return messages_; }
  void Clear() { messages_.clear(); }

  void Record(UINT msg, WPARAM wParam, LPARAM lParam) {
    messages_.push_back({msg, wParam, lParam, pumping_});
    if (onMessage) onMessage(messages_.back());
  }
  // Called for each message as it arrives, to look at the world at that moment.
  std::function<void(const WindowMessage&)> onMessage;

 private:
  HWND hwnd_ = nullptr;
  bool pumping_ = false;
  std::vector<WindowMessage> messages_;
};

struct ShownBox {
  std::string text;     // UTF-8
  std::string caption;  // UTF-8
  bool ownerless;
  bool topmost;  // only where kBoxTopmostObservable
  bool hasIcon;
};

// Records the message boxes shown while it exists; each box is closed with OK.
class MessageBoxLog {
 public:
  MessageBoxLog();
  ~MessageBoxLog();
  MessageBoxLog(const MessageBoxLog&) = delete;
  MessageBoxLog& operator=(const MessageBoxLog&) = delete;

  std::vector<ShownBox> boxes() const;
};

// The system cursors set so far (32512 arrow, 32514 wait), oldest first, and
// a fresh start. Not observable on Windows: there the history stays empty and
// `kCursorsObservable` is false.
std::vector<int> CursorHistory();
void ClearCursorHistory();
extern const bool kCursorsObservable;
// Whether ShownBox::topmost reflects MB_TOPMOST (not under Wine).
extern const bool kBoxTopmostObservable;
