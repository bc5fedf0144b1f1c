// The GUI test driver's view of a running Tessfold program: start it with a
// simulated player folder and fault switches, find its windows, read what the
// user sees (texts, menu states, status parts, boxes), act on it (commands,
// keys, dialog buttons) and take screenshots.
//
// The driver is a separate Windows process in the same Wine prefix and on the
// same (virtual) desktop as the program. Texts of standard controls are read
// with marshalled messages; status-bar texts through memory allocated in the
// program; menus and MessageBoxW calls through gui_probe.dll (gui_probe.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/gui/gui_probe.h"

enum class Build { Recovery, Update };

const wchar_t* BuildName(Build build);  // "recovery" or "update"

// Folders handed over by the runner script (TF_GUI_APP_DIR, TF_GUI_WORK_DIR,
// TF_GUI_SHOT_DIR, TF_GUI_PROBE): where the programs are, a scratch folder
// for players and files, and where screenshots go.
struct GuiPaths {
  std::filesystem::path appDir;
  std::filesystem::path workDir;
  std::filesystem::path shotDir;
  std::filesystem::path probe;
};
const GuiPaths& Paths();

// Polls `condition` every 25 ms until it holds or `timeoutMs` passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000);

// --- Reading windows of another process ------------------------------------------

std::wstring ControlText(HWND window);  // WM_GETTEXT, marshalled by the system
std::wstring ClassOf(HWND window);
std::vector<std::wstring> ComboItems(HWND combo);
// The first visible top-level window of `pid` with this class and caption
// (either may be null to accept any); null when there is none.
HWND FindTopLevel(DWORD pid, const wchar_t* className, const wchar_t* caption);
std::vector<HWND> TopLevelWindows(DWORD pid);

// --- Acting -------------------------------------------------------------------------

void ClickButton(HWND dialog, int id);  // BM_CLICK on the dialog's button
// Alt held with the key that types `ch` on the current layout (SendInput to
// the foreground window, which becomes `target` first).
void TypeAltChar(HWND target, wchar_t ch);
// Plain key presses, e.g. {VK_MENU} to open the menu bar, then 'F'.
void PressKey(WORD vk);

// --- Screenshots -------------------------------------------------------------------

// Saves the screen area of `window` (or of `area`) as <shot dir>/<name>.bmp.
bool SaveScreenshot(HWND window, const std::wstring& name);
bool SaveScreenshotOfArea(const RECT& area, const std::wstring& name);
RECT UnionOf(HWND a, HWND b);

// --- Menu and message-box records ---------------------------------------------------

struct MenuItem {
  UINT id = 0;
  UINT state = 0;
  std::wstring text;
  bool separator() const { return (state & MF_SEPARATOR) != 0; }
  bool grey() const { return (state & MF_GRAYED) != 0; }
};

struct MenuPopup {
  std::wstring title;
  std::vector<MenuItem> items;
};

struct BoxCall {
  HWND owner = nullptr;
  UINT type = 0;
  bool nullCaption = false;
  std::wstring text;
  std::wstring caption;
};

// A message box on the screen: its window and what it shows.
struct ShownBox {
  HWND window = nullptr;
  std::wstring caption;
  std::wstring text;
  bool icon = false;  // an icon is shown beside the text
};
ShownBox ReadBox(HWND box);

// --- Simulated players ----------------------------------------------------------------

struct StorageSpec {
  std::string folder = "Internal";
  bool ready = true;
};

struct PlayerSpec {
  std::string id;  // the player's sub-folder
  std::string manufacturer = "Corvane";
  std::string name = "ZR-410";
  uint32_t version = 1;
  bool ready = true;
  std::vector<StorageSpec> storages = {StorageSpec{}};
};

// A player folder of its own under the work folder, emptied on creation.
class PlayerFolder {
 public:
  explicit PlayerFolder(const std::string& name);
  void Add(const PlayerSpec& player) const;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path Storage(const std::string& id, const std::string& storage = "Internal") const;
  std::vector<std::string> StoredFiles(const std::string& id, const std::string& storage = "Internal") const;

 private:
  std::filesystem::path path_;
};

// --- The program under test -------------------------------------------------------------

class App {
 public:
  // Starts tessfold-<build>.exe with TESSFOLD_SIM_PLAYERS = `players` and
  // TESSFOLD_SIM_FAULTS = `faults`, then waits for its main window (unless
  // `waitForWindow` is false) and loads the probe into it.
  App(Build build, const std::filesystem::path& players, const std::wstring& faults = L"", bool waitForWindow = true);
  ~App();  // ends the program if it still runs
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  bool started() const { return main_ != nullptr; }
  HWND main() const { return main_; }
  DWORD pid() const { return process_.dwProcessId; }
  Build build() const { return build_; }

  void Command(UINT id) const;  // posted WM_COMMAND, as a menu choice does
  HWND StatusBar() const;
  HWND ProgressBar() const;  // null when none exists
  std::wstring StatusText(int part) const;
  std::vector<MenuPopup> Menu() const;
  // True once the program has handled everything posted to it before this
  // call, device notifications included (a probe request queued behind them
  // has been answered). What those messages would open is open by then.
  bool Settled() const;
  std::vector<BoxCall> BoxCalls() const;
  // Plugs player `id` of the player folder in (arrival) or pulls it out
  // (removal) in the service that runs inside the program; true once the
  // service has announced it.
  bool PlugPlayer(const std::string& id) const { return PlugRequest(id, kProbePlug); }
  bool UnplugPlayer(const std::string& id) const { return PlugRequest(id, kProbeUnplug); }

  HWND WaitForWindow(const wchar_t* className, const wchar_t* caption, DWORD timeoutMs = 10000) const;
  HWND WaitForDialog(const wchar_t* caption, DWORD timeoutMs = 10000) const {
    return WaitForWindow(L"#32770", caption, timeoutMs);
  }
  bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr) const;
  bool running() const;

 private:
  void LoadProbe();
  bool SnapshotMenu() const;
  bool PlugRequest(const std::string& id, WPARAM what) const;

  Build build_;
  PROCESS_INFORMATION process_ = {};
  HWND main_ = nullptr;
  HANDLE mapping_ = nullptr;
  ProbeBlock* block_ = nullptr;
  HHOOK hook_ = nullptr;
};

// Types `path` into the open-file dialog's name box and presses Open; true
// once the dialog has gone.
bool ChooseFileInDialog(HWND dialog, const std::filesystem::path& path);

// A message box of the program (caption null: any), once its text shows.
HWND WaitForBox(const App& app, const wchar_t* caption, DWORD timeoutMs);

// Convenience: the state of command `id` in a menu snapshot; null if absent.
const MenuItem* FindItem(const std::vector<MenuPopup>& menu, UINT id);
