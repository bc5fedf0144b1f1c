#include "tests/gui/gui_app.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

namespace {

constexpr DWORD kAnswerTimeoutMs = 5000;  // for messages to the program's threads

std::filesystem::path EnvPath(const wchar_t* name) {
  wchar_t buffer[MAX_PATH * 2] = {};
  const DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH * 2);
  return n > 0 && n < MAX_PATH * 2 ? std::filesystem::path(buffer) : std::filesystem::path();
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* answered = nullptr) {
  DWORD_PTR result = 0;
  const LRESULT ok = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &result);
  if (answered != nullptr) *answered = ok != 0;
  return static_cast<LRESULT>(result);
}

// Owns a GDI object or DC for the screenshot code.
struct ScreenDc {
  HDC dc = GetDC(nullptr);
  ~ScreenDc() { ReleaseDC(nullptr, dc); }
};
struct MemoryDc {
  HDC dc;
  explicit MemoryDc(HDC compatible) : dc(CreateCompatibleDC(compatible)) {}
  ~MemoryDc() { DeleteDC(dc); }
};
struct Bitmap {
  HBITMAP bitmap;
  Bitmap(HDC dc, int w, int h) : bitmap(CreateCompatibleBitmap(dc, w, h)) {}
  ~Bitmap() { DeleteObject(bitmap); }
};

// Memory in another process, for messages whose pointers the system does not
// marshal (the common controls' own messages).
class RemoteBuffer {
 public:
  RemoteBuffer(DWORD pid, size_t size) : size_(size) {
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_ != nullptr) address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_ != nullptr) CloseHandle(process_);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
  void* address() const { return address_; }
  bool Read(void* out) const {
    SIZE_T done = 0;
    return address_ != nullptr && ReadProcessMemory(process_, address_, out, size_, &done) && done == size_;
  }

 private:
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
  size_t size_;
};

struct EnumState {
  DWORD pid;
  std::vector<HWND>* out;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM lParam) {
  auto* state = reinterpret_cast<EnumState*>(lParam);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == state->pid && IsWindowVisible(window)) state->out->push_back(window);
  return TRUE;
}

std::wstring WindowCaption(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);  // top-level captions are kept by the system
  return text;
}

void SendKeys(const std::vector<INPUT>& inputs) {
  std::vector<INPUT> copy = inputs;
  SendInput(static_cast<UINT>(copy.size()), copy.data(), sizeof(INPUT));
}

INPUT Key(WORD vk, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

}  // namespace

const wchar_t* BuildName(Build build) { return build == Build::Update ? L"update" : L"recovery"; }

const GuiPaths& Paths() {
  static const GuiPaths paths = [] {
    GuiPaths p;
    p.appDir = EnvPath(L"TF_GUI_APP_DIR");
    p.workDir = EnvPath(L"TF_GUI_WORK_DIR");
    p.shotDir = EnvPath(L"TF_GUI_SHOT_DIR");
    p.probe = EnvPath(L"TF_GUI_PROBE");
    return p;
  }();
  return paths;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(25);
  }
}

std::wstring ControlText(HWND window) {
  wchar_t text[1024] = {};
  Send(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[128] = {};
  GetClassNameW(window, name, 128);
  return name;
}

std::vector<std::wstring> ComboItems(HWND combo) {
  std::vector<std::wstring> items;
  const LRESULT count = Send(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[512] = {};
    const LRESULT length = Send(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length < 0 || length >= 512) continue;
    Send(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    items.emplace_back(text);
  }
  return items;
}

std::vector<HWND> TopLevelWindows(DWORD pid) {
  std::vector<HWND> windows;
  EnumState state{pid, &windows};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&state));
  return windows;
}

HWND FindTopLevel(DWORD pid, const wchar_t* className, const wchar_t* caption) {
  for (HWND window : TopLevelWindows(pid)) {
    if (className != nullptr && ClassOf(window) != className) continue;
    if (caption != nullptr && WindowCaption(window) != caption) continue;
    return window;
  }
  return nullptr;
}

void ClickButton(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void TypeAltChar(HWND target, wchar_t ch) {
  SetForegroundWindow(target);
  WaitUntil([&] { return GetForegroundWindow() == target; }, 2000);
  const SHORT scan = VkKeyScanW(ch);
  const WORD vk = LOBYTE(scan);
  const bool shift = (HIBYTE(scan) & 1) != 0;
  std::vector<INPUT> keys = {Key(VK_MENU, false)};
  if (shift) keys.push_back(Key(VK_SHIFT, false));
  keys.push_back(Key(vk, false));
  keys.push_back(Key(vk, true));
  if (shift) keys.push_back(Key(VK_SHIFT, true));
  keys.push_back(Key(VK_MENU, true));
  SendKeys(keys);
}

void PressKey(WORD vk) { SendKeys({Key(vk, false), Key(vk, true)}); }

RECT UnionOf(HWND a, HWND b) {
  RECT ra = {}, rb = {}, both = {};
  GetWindowRect(a, &ra);
  GetWindowRect(b, &rb);
  UnionRect(&both, &ra, &rb);
  return both;
}

bool SaveScreenshotOfArea(const RECT& area, const std::wstring& name) {
  if (Paths().shotDir.empty()) return false;
  const int w = area.right - area.left;
  const int h = area.bottom - area.top;
  if (w <= 0 || h <= 0) return false;
  ScreenDc screen;
  MemoryDc memory(screen.dc);
  Bitmap bitmap(screen.dc, w, h);
  HGDIOBJ previous = SelectObject(memory.dc, bitmap.bitmap);
  BitBlt(memory.dc, 0, 0, w, h, screen.dc, area.left, area.top, SRCCOPY);
  SelectObject(memory.dc, previous);

  BITMAPINFOHEADER info = {};
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = h;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  std::vector<BYTE> pixels(stride * static_cast<DWORD>(h));
  if (!GetDIBits(memory.dc, bitmap.bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS))
    return false;

  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::filesystem::create_directories(Paths().shotDir);
  std::ofstream out(Paths().shotDir / (name + L".bmp"), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(reinterpret_cast<const char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
  return static_cast<bool>(out);
}

bool SaveScreenshot(HWND window, const std::wstring& name) {
  RECT area = {};
  if (!GetWindowRect(window, &area)) return false;
  Sleep(200);  // let the last paint reach the screen
  return SaveScreenshotOfArea(area, name);
}

ShownBox ReadBox(HWND box) {
  ShownBox shown;
  shown.window = box;
  shown.caption = WindowCaption(box);
  shown.text = ControlText(GetDlgItem(box, 0xFFFF));
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) != L"Static" || !IsWindowVisible(child)) continue;
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
    if (Send(child, STM_GETICON, 0, 0) != 0) shown.icon = true;
  }
  return shown;
}

// --- PlayerFolder ---------------------------------------------------------------------

PlayerFolder::PlayerFolder(const std::string& name) : path_(Paths().workDir / "players" / name) {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
  std::filesystem::create_directories(path_);
}

void PlayerFolder::Add(const PlayerSpec& player) const {
  const std::filesystem::path folder = path_ / player.id;
  std::filesystem::create_directories(folder);
  char version[16];
  std::snprintf(version, sizeof version, "0x%x", player.version);
  std::string ini = "manufacturer = " + player.manufacturer + "\nname = " + player.name + "\nversion = " + version +
                    "\ntype = 0x11\nready = " + (player.ready ? "yes" : "no") + "\n";
  for (const StorageSpec& storage : player.storages) {
    ini += "\n[storage]\nfolder = " + storage.folder + "\nready = " + (storage.ready ? "yes" : "no") + "\n";
    std::filesystem::create_directories(folder / storage.folder);
  }
  std::ofstream(folder / "player.ini", std::ios::binary) << ini;
}

std::filesystem::path PlayerFolder::Storage(const std::string& id, const std::string& storage) const {
  return path_ / id / storage;
}

std::vector<std::string> PlayerFolder::StoredFiles(const std::string& id, const std::string& storage) const {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(Storage(id, storage), error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// --- App ------------------------------------------------------------------------------------

namespace {

// The driver's environment with the simulated service's two variables set.
std::vector<wchar_t> ProgramEnvironment(const std::filesystem::path& players, const std::wstring& faults) {
  std::vector<wchar_t> block;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* p = strings; *p != 0; p += wcslen(p) + 1) {
    const std::wstring entry = p;
    // The service's own settings are the ones given here; its exchange trace
    // passes through.
    if (entry.rfind(L"TESSFOLD_SIM_", 0) == 0 && entry.rfind(L"TESSFOLD_SIM_TRACE=", 0) != 0) continue;
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back(0);
  }
  FreeEnvironmentStringsW(strings);
  for (const std::wstring& entry : {L"TESSFOLD_SIM_PLAYERS=" + players.wstring(), L"TESSFOLD_SIM_FAULTS=" + faults}) {
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back(0);
  }
  block.push_back(0);
  return block;
}

}  // namespace

namespace {
constexpr DWORD kStartTimeoutMs = 60000;
}  // namespace

App::App(Build build, const std::filesystem::path& players, const std::wstring& faults, bool waitForWindow)
    : build_(build) {
  const std::filesystem::path exe = Paths().appDir / (std::wstring(L"tessfold-") + BuildName(build) + L".exe");
  std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
  std::vector<wchar_t> environment = ProgramEnvironment(players, faults);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                      environment.data(), Paths().workDir.c_str(), &startup, &process_)) {
    std::fwprintf(stderr, L"cannot start %ls: error %lu\n", exe.c_str(), GetLastError());
    return;
  }
  if (!waitForWindow) return;
  // A program's first start in a fresh prefix, on a busy machine, can take
  // well over the usual wait while Wine sets up its services.
  WaitUntil(
      [&] {
        main_ = FindTopLevel(pid(), L"TESSFOLD", nullptr);
        return main_ != nullptr || !running();
      },
      kStartTimeoutMs);
  if (main_ != nullptr) LoadProbe();
}

void App::LoadProbe() {
  wchar_t name[64];
  swprintf(name, 64, L"%ls%lu", kProbeMappingPrefix, pid());
  mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(ProbeBlock), name);
  if (mapping_ == nullptr) return;
  block_ = static_cast<ProbeBlock*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ProbeBlock)));
  HMODULE probe = LoadLibraryW(Paths().probe.c_str());
  auto hook = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(probe, "ProbeHook")));
  if (block_ == nullptr || hook == nullptr) {
    std::fwprintf(stderr, L"cannot load the probe %ls\n", Paths().probe.c_str());
    return;
  }
  hook_ = SetWindowsHookExW(WH_GETMESSAGE, hook, probe, process_.dwThreadId);
  // The first hook call loads the probe into the program and redirects its
  // message boxes; the menu request answers once that happened.
  const LONG serial = block_->menuSerial;
  PostMessageW(main_, RegisterWindowMessageW(kProbeMenuMessage), 0, 0);
  WaitUntil([&] { return block_->menuSerial != serial && block_->spyInstalled != 0; });
}

App::~App() {
  if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
  if (process_.hProcess != nullptr) {
    if (running() && main_ != nullptr) {
      PostMessageW(main_, WM_CLOSE, 0, 0);
      WaitForExit(3000);
    }
    if (running()) {
      TerminateProcess(process_.hProcess, 99);
      WaitForExit(5000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  if (block_ != nullptr) UnmapViewOfFile(block_);
  if (mapping_ != nullptr) CloseHandle(mapping_);
}

bool App::running() const {
  return process_.hProcess != nullptr && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

bool App::WaitForExit(DWORD timeoutMs, DWORD* exitCode) const {
  if (process_.hProcess == nullptr) return false;
  if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
  if (exitCode != nullptr) GetExitCodeProcess(process_.hProcess, exitCode);
  return true;
}

void App::Command(UINT id) const { PostMessageW(main_, WM_COMMAND, id, 0); }

HWND App::StatusBar() const { return FindWindowExW(main_, nullptr, STATUSCLASSNAMEW, nullptr); }

HWND App::ProgressBar() const { return FindWindowExW(StatusBar(), nullptr, PROGRESS_CLASSW, nullptr); }

std::wstring App::StatusText(int part) const {
  struct Text {
    wchar_t units[256];
  };
  RemoteBuffer remote(pid(), sizeof(Text));
  Text text = {};
  bool answered = false;
  Send(StatusBar(), SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(remote.address()), &answered);
  if (!answered || !remote.Read(&text)) return L"<no answer>";
  text.units[255] = 0;
  return text.units;
}

// Posted messages are taken in order, so the probe answers only after the
// program has handled every message posted before the request.
bool App::SnapshotMenu() const {
  if (block_ == nullptr) return false;
  const LONG serial = block_->menuSerial;
  PostMessageW(main_, RegisterWindowMessageW(kProbeMenuMessage), 0, 0);
  return WaitUntil([&] { return block_->menuSerial != serial; }, kAnswerTimeoutMs);
}

bool App::Settled() const { return SnapshotMenu(); }

std::vector<MenuPopup> App::Menu() const {
  std::vector<MenuPopup> menu;
  if (!SnapshotMenu()) return menu;
  for (UINT p = 0; p < block_->popupCount; ++p) {
    const ProbePopup& popup = block_->popups[p];
    MenuPopup out;
    out.title = popup.title;
    for (UINT i = 0; i < popup.itemCount; ++i) {
      out.items.push_back(MenuItem{popup.items[i].id, popup.items[i].state, popup.items[i].text});
    }
    menu.push_back(out);
  }
  return menu;
}

std::vector<BoxCall> App::BoxCalls() const {
  std::vector<BoxCall> calls;
  if (block_ == nullptr) return calls;
  const LONG count = std::min<LONG>(LONG{block_->boxCount}, LONG{kProbeMaxBoxes});
  for (LONG i = 0; i < count; ++i) {
    const ProbeBox& box = block_->boxes[i];
    calls.push_back(BoxCall{box.owner, box.type, box.nullCaption != 0, box.text, box.caption});
  }
  return calls;
}

bool App::PlugRequest(const std::string& id, WPARAM what) const {
  if (block_ == nullptr || id.size() >= sizeof block_->deviceId) return false;
  std::memcpy(block_->deviceId, id.c_str(), id.size() + 1);
  const LONG serial = block_->deviceSerial;
  PostMessageW(main_, RegisterWindowMessageW(kProbeDeviceMessage), what, 0);
  return WaitUntil([&] { return block_->deviceSerial != serial; }, kAnswerTimeoutMs) && block_->deviceDone != 0;
}

HWND App::WaitForWindow(const wchar_t* className, const wchar_t* caption, DWORD timeoutMs) const {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindTopLevel(pid(), className, caption)) != nullptr; }, timeoutMs);
  return found;
}

const MenuItem* FindItem(const std::vector<MenuPopup>& menu, UINT id) {
  for (const MenuPopup& popup : menu) {
    for (const MenuItem& item : popup.items) {
      if (!item.separator() && item.id == id) return &item;
    }
  }
  return nullptr;
}

bool ChooseFileInDialog(HWND dialog, const std::filesystem::path& path) {
  HWND nameBox = nullptr;
  // The Explorer-style dialog keeps the name in an edit inside control
  // cmb13 (1148); older layouts use edt1 (1152).
  if (HWND combo = GetDlgItem(dialog, 1148)) {
    HWND inner = FindWindowExW(combo, nullptr, L"ComboBox", nullptr);
    nameBox = FindWindowExW(inner != nullptr ? inner : combo, nullptr, L"Edit", nullptr);
  }
  if (nameBox == nullptr) nameBox = GetDlgItem(dialog, 1152);
  if (nameBox == nullptr) return false;
  const std::wstring text = path.wstring();
  Send(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  ClickButton(dialog, IDOK);
  return WaitUntil([&] { return !IsWindow(dialog); });
}

// The window exists a moment before its controls do.
HWND WaitForBox(const App& app, const wchar_t* caption, DWORD timeoutMs) {
  HWND box = nullptr;
  WaitUntil(
      [&] {
        box = FindTopLevel(app.pid(), L"#32770", caption);
        return box != nullptr && !ReadBox(box).text.empty();
      },
      timeoutMs);
  return box;
}
