// Window messages, message boxes and cursors as the device layer uses them.
// On Windows these are the real user32 calls. Elsewhere (window_posix.cpp) a
// window is only a receiver function: SendMessageW calls it at once,
// PostMessageW queues for it until TfWindowPumpMessages; message boxes and
// cursors are recorded so that tests see what a user would see.
#pragma once

#include "platform/win.h"

#ifndef _WIN32

#include <string>
#include <vector>

struct HWND__;
typedef HWND__* HWND;
struct HCURSOR__;
typedef HCURSOR__* HCURSOR;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

#ifndef TF_RECT_DECLARED
#define TF_RECT_DECLARED
struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
#endif

#define WM_USER 0x0400u

#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_YESNO 0x00000004u
#define MB_ICONERROR 0x00000010u
#define MB_ICONWARNING 0x00000030u
#define MB_ICONINFORMATION 0x00000040u
#define MB_TOPMOST 0x00040000u

#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDC_WAIT MAKEINTRESOURCEW(32514)

// Messages to a window nobody created return 0 (sent) or FALSE (posted).
LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// Records the box and returns the configured answer (IDOK unless set).
int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);

// Only the system cursors (null instance, IDC_* id) are known; others give null.
HCURSOR LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName);
// Records the cursor's id (0 for null) and returns the previous cursor.
HCURSOR SetCursor(HCURSOR hCursor);

// --- Stand-in controls for tests ---------------------------------------------

using TfWindowReceiver = LRESULT (*)(void* context, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// A window whose messages go to `receiver`; never null.
HWND TfWindowCreate(TfWindowReceiver receiver, void* context);
// Forgets the window and drops the messages still queued for it.
void TfWindowDestroy(HWND hWnd);
// Delivers the queued posted messages in order, those posted meanwhile
// included, and returns how many were delivered.
size_t TfWindowPumpMessages();
size_t TfWindowPendingMessages();

struct TfMessageBoxRecord {
  HWND owner;
  std::u16string text;
  std::u16string caption;  // empty for a null caption
  bool nullCaption;
  UINT type;
};
const std::vector<TfMessageBoxRecord>& TfMessageBoxes();
// Forgets the recorded boxes; later boxes answer `answer`.
void TfMessageBoxReset(int answer = IDOK);

// The ids (32512 arrow, 32514 wait, 0 none) passed to SetCursor, oldest first.
const std::vector<int>& TfCursorHistory();
void TfCursorReset();

#endif  // !_WIN32
