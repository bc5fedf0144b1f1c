// The Tessfold program: entry point, main window with its status and progress
// bars, the menu commands, and the device-selector and About dialogs.
//
// One source makes both programs. TESSFOLD_UPDATE_BUILD (set by the build for
// tessfold-update) changes the resources and the failure box's style; both
// programs handle every command.
//
// Everything runs on one thread. The device layer reports back only through
// WM_DEVICENOTIFY: progress is sent while a transfer blocks inside a command
// handler; device arrival and removal are posted.

#include <windows.h>
// The common-control and dialog headers need windows.h first.
#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>

#include <cstddef>
#include <memory>
#include <new>

#include "device/devicemanager.h"
#include "platform/diag.h"
#include "shell/resource.h"

namespace {

// --- Constants ---------------------------------------------------------------

// Sent by the main window to the open device selector: rebuild the list.
constexpr UINT WM_REFRESHDEVICES = WM_USER + 1;

constexpr int kTextMax = 100;
constexpr DWORD kMainWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // fixed size
constexpr int kMainWindowWidth = 350;
constexpr int kMainWindowHeight = 240;
constexpr int kConnectionPartWidth = 100;  // status part 1, right of the progress bar

// The open-file structure without the Windows 2000 extension, which the
// dialog accepts on every system.
constexpr DWORD kOpenFileNameSize = offsetof(OPENFILENAMEW, pvReserved);

constexpr WCHAR kNotConnected[] = L"Not Connected";
constexpr WCHAR kConnected[] = L"Connected";
constexpr WCHAR kTransferFailed[] = L"The file-transfer to your device failed.";

#ifdef TESSFOLD_UPDATE_BUILD
// The update build's box must not hide behind the window it belongs to.
constexpr UINT kTransferFailedStyle = MB_OK | MB_ICONWARNING | MB_TOPMOST;
#else
constexpr UINT kTransferFailedStyle = MB_OK | MB_ICONWARNING;
#endif

// Exit code when the device service cannot be reached (no loop ran, so there
// is no quit code); non-zero so that scripts can tell.
constexpr int kExitNoDeviceService = 1;

static_assert(WM_DEVICENOTIFY == WM_USER, "the device layer and the shell share message 1024");
static_assert(kMainWindowStyle == 0x00CA0000);
static_assert(kTransferFailedStyle == 0x30 || kTransferFailedStyle == 0x40030);
static_assert(sizeof(DFTInfo) == 1044);
#if !defined(_WIN64)
// Structure sizes of the 32-bit deliverable.
static_assert(sizeof(MENUITEMINFOW) == 48);
static_assert(kOpenFileNameSize == 76);
static_assert(sizeof(INITCOMMONCONTROLSEX) == 8);
#endif

// --- Process-wide shell state --------------------------------------------------

struct ShellState {
  HINSTANCE instance = nullptr;
  WCHAR title[kTextMax] = {};
  WCHAR windowClass[kTextMax] = {};
  HWND mainWindow = nullptr;
  HWND statusBar = nullptr;
  HWND progressBar = nullptr;  // exists only while a transfer runs
  DeviceManager* devices = INVALID_DEVICE_MANAGER;
  bool connected = false;
  bool selectorOpen = false;
  HWND selector = nullptr;
  // Command handlers running now. Each may be inside a modal window (About,
  // the open-file dialog, a message box, the selector) or a transfer.
  int commandDepth = 0;
  // A player arrived while a command was under way; offered when it is done.
  bool arrivalPending = false;
};

ShellState g_shell;

// --- RAII holders ---------------------------------------------------------------

// COM for this thread, apartment-threaded. Uninitialised whatever
// CoInitialize said, matching the one unconditional call.
class ComApartment {
 public:
  ComApartment() { static_cast<void>(CoInitialize(nullptr)); }
  ~ComApartment() { CoUninitialize(); }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
};

// The process's one DeviceManager, kept in the shell state so that commands
// reach it; destroyed before COM goes away.
class ProcessDeviceManager {
 public:
  ProcessDeviceManager(HWND window, UINT message) { g_shell.devices = DeviceManagerCreate(window, message); }
  ~ProcessDeviceManager() {
    if (g_shell.devices != INVALID_DEVICE_MANAGER) DeviceManagerDestroy(g_shell.devices);
    g_shell.devices = INVALID_DEVICE_MANAGER;
  }
  ProcessDeviceManager(const ProcessDeviceManager&) = delete;
  ProcessDeviceManager& operator=(const ProcessDeviceManager&) = delete;
  explicit operator bool() const { return g_shell.devices != INVALID_DEVICE_MANAGER; }
};

using DeviceRecord = std::unique_ptr<DFTInfo>;

DeviceRecord NewDeviceRecord() { return DeviceRecord(new (std::nothrow) DFTInfo{}); }

// --- Connection state shown in the menu and status bar ------------------------

void SetConnectionText(const WCHAR* text) {
  if (g_shell.statusBar != nullptr) SendMessageW(g_shell.statusBar, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(text));
}

// Items are set one by one in this order; ids missing from a build's menu are
// simply not found.
constexpr UINT kConnectionMenuItems[] = {IDM_CONNECT,           IDM_CLOSE,          IDM_FONTS,
                                         IDM_UPDATE_BOOTLOADER, IDM_RECOVERY_IMAGE, IDM_OS_IMAGE};

void SetMenuItemEnabled(HMENU menu, UINT id, bool enabled) {
  MENUITEMINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STATE;
  info.fState = enabled ? MFS_ENABLED : MFS_GRAYED;
  SetMenuItemInfoW(menu, id, FALSE, &info);
}

void ShowConnectionState(bool connected) {
  HMENU menu = GetMenu(g_shell.mainWindow);
  for (UINT id : kConnectionMenuItems) SetMenuItemEnabled(menu, id, id == IDM_CONNECT ? !connected : connected);
  SetConnectionText(connected ? kConnected : kNotConnected);
}

// --- About dialog -----------------------------------------------------------------

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// --- Device-selector dialog ---------------------------------------------------------
//
// The combo box owns one heap DFTInfo per listed device (its item data) until
// the list is emptied; every way out of the dialog empties it.

void EmptyDeviceList(HWND list) {
  for (;;) {
    const LRESULT data = SendMessageW(list, CB_GETITEMDATA, 0, 0);
    if (data == CB_ERR) break;
    delete reinterpret_cast<DFTInfo*>(data);
    SendMessageW(list, CB_DELETESTRING, 0, 0);
  }
}

void RefreshDeviceList(HWND dialog) {
  HWND list = GetDlgItem(dialog, IDC_DEVICE_LIST);
  EmptyDeviceList(list);

  DeviceRecord lpDFTInfo = NewDeviceRecord();
  TF_ASSERT(lpDFTInfo);
  // A failed later allocation hands EnumNextDevice a null record, which it
  // refuses, so the listing simply ends there.
  while (EnumNextDevice(g_shell.devices, lpDFTInfo.get()) == S_OK) {
    const LRESULT index = SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lpDFTInfo->szDeviceName));
    if (index >= 0) {
      SendMessageW(list, CB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(lpDFTInfo.release()));
      lpDFTInfo = NewDeviceRecord();
    }
  }
  lpDFTInfo.reset();

  const bool any = SendMessageW(list, CB_GETCOUNT, 0, 0) > 0;
  EnableWindow(GetDlgItem(dialog, IDOK), any);
  EnableWindow(list, any);
  if (any) {
    SendMessageW(list, CB_SETCURSEL, 0, 0);
  } else {
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
  }
}

void EndSelector(HWND dialog, INT_PTR result) {
  EmptyDeviceList(GetDlgItem(dialog, IDC_DEVICE_LIST));
  g_shell.selectorOpen = false;
  g_shell.selector = nullptr;
  EndDialog(dialog, result);
}

// Connects to the chosen player, first letting go of the one held. The
// connected flag ends up saying whether a player is held now.
void OnSelectorOk(HWND dialog) {
  HWND list = GetDlgItem(dialog, IDC_DEVICE_LIST);
  const LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
  if (index != CB_ERR) {
    const LRESULT data = SendMessageW(list, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    const auto* record = data == CB_ERR ? nullptr : reinterpret_cast<const DFTInfo*>(data);
    if (record != nullptr) {
      if (g_shell.connected) {
        DisconnectDevice(g_shell.devices);
        g_shell.connected = false;
      }
      g_shell.connected = SUCCEEDED(ConnectDevice(g_shell.devices, record));
    }
  }
  EndSelector(dialog, IDOK);
}

INT_PTR CALLBACK DeviceSelectorDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      g_shell.selector = dialog;
      g_shell.selectorOpen = true;
      RefreshDeviceList(dialog);
      return TRUE;
    case WM_REFRESHDEVICES:
      RefreshDeviceList(dialog);
      return TRUE;
    case WM_COMMAND:
      if (wParam == IDOK) {
        OnSelectorOk(dialog);
      } else if (wParam == IDCANCEL) {
        EndSelector(dialog, 0);
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// --- Menu commands ------------------------------------------------------------------

void OnAbout(HWND window, UINT) {
  DialogBoxParamW(g_shell.instance, MAKEINTRESOURCEW(IDD_ABOUTBOX), window, AboutDlgProc, 0);
}

void OnExit(HWND window, UINT) { DestroyWindow(window); }

// The selector ends with IDOK whether or not a player was chosen and
// connected. The window then shows what the connected flag says rather than
// assuming success: a failed connection must not read "Connected", and OK with
// nothing chosen leaves the window as it was.
void OnConnect(HWND window, UINT) {
  const INT_PTR result =
      DialogBoxParamW(g_shell.instance, MAKEINTRESOURCEW(IDD_DEVICE_SELECTOR), window, DeviceSelectorDlgProc, 0);
  if (result > 0) ShowConnectionState(g_shell.connected);
}

void OnCloseConnection(HWND, UINT) {
  if (!g_shell.connected) return;
  DisconnectDevice(g_shell.devices);
  g_shell.connected = false;
  ShowConnectionState(false);
}

struct FileCommand {
  UINT id;
  TransferKind kind;
  const WCHAR* title;
  const WCHAR* filter;  // one description/pattern pair; the literal's own NUL ends the list
  const WCHAR* defaultExtension;
};

constexpr WCHAR kFirmwareFilter[] = L"Firmware Binaries\0*.bin\0";
constexpr WCHAR kFontFilter[] = L"Fonts\0*.ttf;*.ttc;*.ac3\0";

constexpr FileCommand kFileCommands[] = {
    {IDM_UPDATE_BOOTLOADER, KIND_BOOTLOADER, L"Firmware Update", kFirmwareFilter, L"bin"},
    {IDM_OS_IMAGE, KIND_OS_IMAGE, L"Firmware Update", kFirmwareFilter, L"bin"},
    {IDM_RECOVERY_IMAGE, KIND_RECOVERY, L"Firmware Update", kFirmwareFilter, L"bin"},
    {IDM_FONTS, KIND_FONT, L"Font Update", kFontFilter, L"ttc"},
};

// Asks for the file and transfers it. The transfer blocks here; its progress
// arrives as sent WM_DEVICENOTIFY messages meanwhile.
void OnFileCommand(HWND window, UINT id) {
  const FileCommand* command = nullptr;
  for (const FileCommand& candidate : kFileCommands) {
    if (candidate.id == id) command = &candidate;
  }
  if (command == nullptr) return;

  WCHAR path[MAX_PATH] = {};
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = kOpenFileNameSize;
  dialog.hwndOwner = window;
  dialog.lpstrFilter = command->filter;
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrTitle = command->title;
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  dialog.lpstrDefExt = command->defaultExtension;
  if (!GetOpenFileNameW(&dialog)) return;

  if (FAILED(TransferFile(g_shell.devices, path, command->kind))) {
    MessageBoxW(window, kTransferFailed, nullptr, kTransferFailedStyle);
  }
}

using CommandHandler = void (*)(HWND window, UINT id);

struct CommandEntry {
  UINT id;
  CommandHandler handler;
};

constexpr CommandEntry kCommands[] = {
    {IDM_ABOUT, OnAbout},
    {IDM_EXIT, OnExit},
    {IDM_CONNECT, OnConnect},
    {IDM_CLOSE, OnCloseConnection},
    {IDM_UPDATE_BOOTLOADER, OnFileCommand},
    {IDM_OS_IMAGE, OnFileCommand},
    {IDM_RECOVERY_IMAGE, OnFileCommand},
    {IDM_FONTS, OnFileCommand},
};

// --- Main window messages -------------------------------------------------------------

void OfferPendingArrival(HWND window);

LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
  const UINT id = LOWORD(wParam);
  for (const CommandEntry& entry : kCommands) {
    if (entry.id == id) {
      ++g_shell.commandDepth;
      entry.handler(window, id);
      --g_shell.commandDepth;
      OfferPendingArrival(window);
      return 0;
    }
  }
  return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
}

// The bar lies in status part 0, left of the connection text.
void CreateProgressBar() {
  RECT r = {};
  GetClientRect(g_shell.statusBar, &r);
  const int c = GetSystemMetrics(SM_CYHSCROLL);
  const int b = GetSystemMetrics(SM_CXBORDER);
  g_shell.progressBar =
      CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, r.left + b, r.bottom - b - c,
                      r.right - kConnectionPartWidth - b, c, g_shell.statusBar, nullptr, nullptr, nullptr);
  if (g_shell.progressBar == nullptr) return;
  SendMessageW(g_shell.progressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SendMessageW(g_shell.progressBar, PBM_SETSTEP, 1, 0);
  SendMessageW(g_shell.progressBar, PBM_SETPOS, 0, 0);
  // The transfer keeps this thread busy; paint now rather than after it.
  UpdateWindow(g_shell.progressBar);
}

void OnTransferNotify(LPARAM percent) {
  if (percent == kDeviceNotifyBegin) {
    if (g_shell.progressBar == nullptr) CreateProgressBar();
  } else if (percent == kDeviceNotifyEnd) {
    if (g_shell.progressBar != nullptr) DestroyWindow(g_shell.progressBar);
    g_shell.progressBar = nullptr;
  } else if (g_shell.progressBar != nullptr) {
    SendMessageW(g_shell.progressBar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    UpdateWindow(g_shell.progressBar);
  }
}

// Any removal ends the connection (the name is not compared) and refreshes an
// open selector.
void OnDeviceRemoved(HWND window) {
  if (g_shell.connected) SendMessageW(window, WM_COMMAND, IDM_CLOSE, 0);
  if (g_shell.selectorOpen) SendMessageW(g_shell.selector, WM_REFRESHDEVICES, 0, 0);
}

// A player plugged in while none is held is offered at once, unless a
// command is under way: a selector opened over its modal window would
// re-enable the main window underneath that window when it ends, and the user
// could then start another command or Exit below it. The arrival is then kept
// until the command is done and the main window is enabled again.
void OnDeviceArrived(HWND window) {
  if (g_shell.connected) return;
  if (g_shell.selectorOpen) {
    SendMessageW(g_shell.selector, WM_REFRESHDEVICES, 0, 0);
  } else if (g_shell.commandDepth > 0 || !IsWindowEnabled(window)) {
    g_shell.arrivalPending = true;
  } else {
    g_shell.arrivalPending = false;
    SendMessageW(window, WM_COMMAND, IDM_CONNECT, 0);
  }
}

// Offers a kept arrival once nothing modal is left. Posted rather than
// handled here, so that the modal loop that just ended is gone first.
void OfferPendingArrival(HWND window) {
  if (!g_shell.arrivalPending || g_shell.commandDepth > 0 || !IsWindowEnabled(window)) return;
  g_shell.arrivalPending = false;
  PostMessageW(window, WM_DEVICENOTIFY, kDeviceNotifyArrived, 0);
}

void OnDeviceNotify(HWND window, WPARAM event, LPARAM value) {
  switch (event) {
    case kDeviceNotifyProgress:
      OnTransferNotify(value);
      break;
    case kDeviceNotifyRemoved:
      OnDeviceRemoved(window);
      break;
    case kDeviceNotifyArrived:
      OnDeviceArrived(window);
      break;
    default:
      break;
  }
}

void OnPaint(HWND window) {
  PAINTSTRUCT paint;
  BeginPaint(window, &paint);
  EndPaint(window, &paint);
}

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      return OnCommand(window, wParam, lParam);
    case WM_DEVICENOTIFY:
      OnDeviceNotify(window, wParam, lParam);
      return 0;
    case WM_PAINT:
      OnPaint(window);
      return 0;
    case WM_SIZE:  // fixed-size window: the status bar keeps its place
      return 0;
    case WM_ENABLE:
      if (wParam != FALSE) OfferPendingArrival(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// --- Start-up ---------------------------------------------------------------------------

ATOM RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_SMALL), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszMenuName = MAKEINTRESOURCEW(IDC_APP);
  wc.lpszClassName = g_shell.windowClass;
  return RegisterClassExW(&wc);
}

// Part 0 takes all but the last 100 pixels; part 1 holds the connection text.
void CreateStatusBar(HWND window) {
  RECT client = {};
  GetClientRect(window, &client);
  const int h = 2 * GetSystemMetrics(SM_CYVSCROLL);
  g_shell.statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, client.left,
                                      client.bottom - h, client.right, h, window, nullptr, nullptr, nullptr);
  if (g_shell.statusBar == nullptr) return;
  int parts[2] = {client.right - kConnectionPartWidth, -1};
  SendMessageW(g_shell.statusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
  SetConnectionText(kNotConnected);
}

bool CreateMainWindow(HINSTANCE instance, int showCommand) {
  g_shell.instance = instance;
  g_shell.mainWindow = CreateWindowExW(0, g_shell.windowClass, g_shell.title, kMainWindowStyle, CW_USEDEFAULT, 0,
                                       kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, instance, nullptr);
  if (g_shell.mainWindow == nullptr) return false;
  ShowWindow(g_shell.mainWindow, showCommand);
  UpdateWindow(g_shell.mainWindow);
  CreateStatusBar(g_shell.mainWindow);
  return true;
}

void InitCommonControlClasses() {
  INITCOMMONCONTROLSEX classes = {};
  classes.dwSize = sizeof classes;
  classes.dwICC = ICC_BAR_CLASSES | ICC_PROGRESS_CLASS;
  InitCommonControlsEx(&classes);
}

int RunMessageLoop(HACCEL accelerators) {
  MSG msg = {};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace

// The window comes first so the user sees the program while the device service
// starts; without the service there is nothing to do, and no loop runs.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
  // A transfer blocks this thread for the whole copy. Without this, Windows
  // swaps the window for a "Not Responding" ghost after a few seconds, which
  // hides the progress bar and invites the user to end a firmware write.
  DisableProcessWindowsGhosting();
  LoadStringW(instance, IDS_APP_TITLE, g_shell.title, kTextMax);
  LoadStringW(instance, IDC_APP, g_shell.windowClass, kTextMax);
  RegisterMainWindowClass(instance);
  if (!CreateMainWindow(instance, showCommand)) return 0;

  HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_APP));
  ComApartment com;
  InitCommonControlClasses();

  ProcessDeviceManager devices(g_shell.mainWindow, WM_DEVICENOTIFY);
  if (!devices) return kExitNoDeviceService;
  return RunMessageLoop(accelerators);
}
