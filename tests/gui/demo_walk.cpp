// The demo's scripted walk through the update program on a display nobody
// watches: start it against the simulated player, connect through the device
// selector, send a signed OS image, confirm the success box and exit. Each
// step is printed as it happens and photographed.
//   demo_walk.exe <player folder> <OS image>
// The player folder holds the ZR-410 as "zr410" with a storage "Internal".
// Folders and the probe come from the same variables as the GUI suite's
// (TF_GUI_APP_DIR, TF_GUI_WORK_DIR, TF_GUI_SHOT_DIR, TF_GUI_PROBE).
#include "tests/gui/gui_app.h"
// gui_app.h brings windows.h, which the common-control header needs first.
#include <commctrl.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr UINT IDM_EXIT = 105;
constexpr UINT IDM_OS_IMAGE = 132;
constexpr UINT IDM_CONNECT = 139;
constexpr int IDC_DEVICE_LIST = 1000;

// Copies slowly enough that the progress bar can be watched and photographed.
constexpr wchar_t kVisibleCopy[] = L"chunk=65536,chunk-delay-ms=120";

int g_step = 0;

void Step(const wchar_t* what) {
  std::wprintf(L"  %d. %ls\n", ++g_step, what);
  std::fflush(stdout);
}

void Note(const std::wstring& what) {
  std::wprintf(L"     %ls\n", what.c_str());
  std::fflush(stdout);
}

int Fail(const std::wstring& why) {
  std::fwprintf(stderr, L"demo: %ls\n", why.c_str());
  return 1;
}

void Shot(HWND window, const wchar_t* name) {
  if (SaveScreenshot(window, name)) Note(std::wstring(L"screenshot ") + name + L".png");
}

std::wstring Join(const std::vector<std::wstring>& items) {
  std::wstring out;
  for (const std::wstring& item : items) out += (out.empty() ? L"" : L", ") + item;
  return out;
}

// Bytes written so far into a storage folder, temporary files included.
uint64_t StoredBytes(const std::filesystem::path& folder) {
  uint64_t bytes = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    std::error_code ignored;
    const uint64_t size = entry.file_size(ignored);
    if (!ignored) bytes += size;
  }
  return bytes;
}

// What the service's exchange trace tells of the handshake: both passes
// answered, and the security level in the service's certificate (the
// big-endian word at 92 of the certificate, which starts at 44 of the pass-0
// reply). Empty when the trace shows no complete handshake.
std::wstring HandshakeOutcome(const std::filesystem::path& trace) {
  std::ifstream in(trace);
  std::string pass0Reply;
  bool pass1Reply = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("pass 0 reply ", 0) == 0) pass0Reply = line.substr(13);
    if (line.rfind("pass 1 reply ", 0) == 0) pass1Reply = true;
  }
  if (!pass1Reply || pass0Reply.size() < 2 * 144) return L"";
  const unsigned long level = std::stoul(pass0Reply.substr(2 * (44 + 92), 8), nullptr, 16);
  return L"secure channel: authenticated; the service's certificate verified under the root, security level " +
         std::to_wstring(level);
}

int Walk(const std::filesystem::path& players, const std::filesystem::path& image) {
  const std::filesystem::path storage = players / L"zr410" / L"Internal";
  Step(L"Start tessfold-update.exe against the simulated device service");
  // The exchange trace tells how the handshake went: the one asked for with
  // TESSFOLD_SIM_TRACE, or one of our own.
  wchar_t asked[MAX_PATH] = {};
  const DWORD askedLength = GetEnvironmentVariableW(L"TESSFOLD_SIM_TRACE", asked, MAX_PATH);
  const std::filesystem::path trace =
      askedLength > 0 && askedLength < MAX_PATH ? std::filesystem::path(asked) : players / L"channel-trace.txt";
  if (askedLength == 0) std::filesystem::remove(trace);
  SetEnvironmentVariableW(L"TESSFOLD_SIM_TRACE", trace.wstring().c_str());
  App app(Build::Update, players, kVisibleCopy);
  if (!app.started()) return Fail(L"the program did not show its window");
  const std::wstring outcome = HandshakeOutcome(trace);
  if (outcome.empty()) return Fail(L"no complete secure-channel handshake in " + trace.wstring());
  Note(outcome);
  wchar_t title[128] = {};
  GetWindowTextW(app.main(), title, 128);
  Note(std::wstring(L"window \"") + title + L"\", status \"" + app.StatusText(1) + L"\"");
  Shot(app.main(), L"01-main-window");

  Step(L"File > Connect to Device");
  app.Command(IDM_CONNECT);
  HWND selector = app.WaitForDialog(L"KDL Device Selector");
  if (selector == nullptr) return Fail(L"the device selector did not open");
  HWND list = GetDlgItem(selector, IDC_DEVICE_LIST);
  const std::vector<std::wstring> listed = ComboItems(list);
  Note(L"players listed: " + Join(listed));
  Shot(selector, L"02-device-selector");

  Step(L"Choose ZR-410 and press OK");
  int index = -1;
  for (size_t i = 0; i < listed.size(); ++i) {
    if (listed[i] == L"ZR-410") index = static_cast<int>(i);
  }
  if (index < 0) return Fail(L"no ZR-410 in the list");
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  ClickButton(selector, IDOK);
  if (!WaitUntil([&] { return app.StatusText(1) == L"Connected"; })) return Fail(L"the window did not connect");
  Note(L"status \"" + app.StatusText(1) + L"\"; the transfer commands are enabled");
  Shot(app.main(), L"03-connected");

  Step(L"File > Update OS Image");
  app.Command(IDM_OS_IMAGE);
  HWND dialog = app.WaitForDialog(L"Firmware Update");
  if (dialog == nullptr) return Fail(L"the open-file dialog did not open");
  Shot(dialog, L"04-open-file-dialog");

  Step(L"Open the signed OS image");
  Note(image.wstring());
  if (!ChooseFileInDialog(dialog, image)) return Fail(L"the open-file dialog did not take the file");

  Step(L"Watch the image being checked and copied");
  HWND bar = nullptr;
  if (!WaitUntil([&] { return (bar = app.ProgressBar()) != nullptr; }, 30000)) {
    return Fail(L"no progress bar: the image was not sent");
  }
  // The program is busy inside the copy and answers no messages meanwhile;
  // the growing file in the player's storage tells how far it got.
  const uint64_t total = std::filesystem::file_size(image);
  bool photographed = false;
  uint64_t reported = 0;
  HWND box = nullptr;
  WaitUntil(
      [&] {
        const uint64_t done = StoredBytes(storage);
        const uint64_t percent = total == 0 ? 100 : done * 100 / total;
        if (percent / 25 > reported / 25 || (reported == 0 && percent > 0)) {
          reported = percent;
          Note(L"copied " + std::to_wstring(done) + L" of " + std::to_wstring(total) + L" bytes (" +
               std::to_wstring(percent) + L" %)");
        }
        if (!photographed && percent >= 40 && IsWindow(bar)) {
          Shot(app.main(), L"05-transfer-in-progress");
          photographed = true;
        }
        box = FindTopLevel(app.pid(), L"#32770", L"Status");
        return box != nullptr && !ReadBox(box).text.empty();
      },
      120000);
  if (box == nullptr) return Fail(L"no success box");

  Step(L"The success box");
  Note(L"\"" + ReadBox(box).text + L"\"");
  Shot(box, L"06-success-box");
  ClickButton(box, IDOK);
  WaitUntil([&] { return !IsWindow(box); });

  Step(L"File > Exit");
  app.Command(IDM_EXIT);
  DWORD code = 1;
  if (!app.WaitForExit(10000, &code)) return Fail(L"the program did not end");
  Note(L"the program ended with code " + std::to_wstring(code));
  return code == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fwprintf(stderr, L"usage: demo_walk.exe <player folder> <OS image>\n");
    return 2;
  }
  return Walk(argv[1], argv[2]);
}
