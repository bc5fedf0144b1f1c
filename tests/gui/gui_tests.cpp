// The two Tessfold programs driven as a user drives them, under Wine, against
// the simulated device service: start-up state, the device selector, device
// arrival and removal, transfers with progress and their boxes, the About box
// and the ways out. Each run also saves the screenshots used in the docs.
#include "tests/gui/gui_app.h"
// gui_app.h brings windows.h, which the common-control header needs first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

// Ids and texts as the user meets them.
constexpr UINT IDM_ABOUT = 104;
constexpr UINT IDM_EXIT = 105;
constexpr UINT IDM_UPDATE_BOOTLOADER = 130;
constexpr UINT IDM_OS_IMAGE = 132;
constexpr UINT IDM_RECOVERY_IMAGE = 133;
constexpr UINT IDM_FONTS = 134;
constexpr UINT IDM_CONNECT = 139;
constexpr UINT IDM_CLOSE = 140;
constexpr int IDC_DEVICE_LIST = 1000;
constexpr UINT WM_DEVICENOTIFY = WM_USER;

constexpr wchar_t kSelector[] = L"KDL Device Selector";
constexpr wchar_t kConnected[] = L"Connected";
constexpr wchar_t kNotConnected[] = L"Not Connected";
constexpr wchar_t kSuccessText[] = L"Download Success!! Please press 'OK' ";
constexpr wchar_t kFailureText[] = L"The file-transfer to your device failed.";

struct ExpectedItem {
  UINT id;  // 0: separator
  const wchar_t* text;
  bool grey;
};

struct BuildCase {
  Build build;
  const wchar_t* title;
  std::vector<ExpectedItem> fileMenu;
  const wchar_t* aboutProduct;
  UINT failureStyle;
  UINT osImageCommand;  // the build's firmware command used in the failure case
};

const std::vector<BuildCase>& Builds() {
  static const std::vector<BuildCase> builds = {
      {Build::Recovery,
       L"Corvane KDL ZR-410 Recovery Tool ",
       {{IDM_CONNECT, L"Connect to Device", false},
        {IDM_CLOSE, L"Close Connection", true},
        {IDM_OS_IMAGE, L"Recover OS Image", true},
        {IDM_FONTS, L"Recover Fonts", true},
        {IDM_EXIT, L"E&xit", false}},
       L"Corvane KDL ZR-410 Recovery Tool",
       MB_ICONWARNING,
       IDM_OS_IMAGE},
      {Build::Update,
       L"Corvane ZR-410 Firmware Update Tool",
       {{IDM_CONNECT, L"Connect to Device", false},
        {IDM_CLOSE, L"Close Connection", true},
        {IDM_RECOVERY_IMAGE, L"Update Recovery Image", true},
        {IDM_UPDATE_BOOTLOADER, L"Update Bootloader", true},
        {IDM_OS_IMAGE, L"Update OS Image", true},
        {0, L"", false},
        {IDM_EXIT, L"E&xit", false}},
       L"Corvane KDL ZR-410 Firmware Update Tool",
       MB_ICONWARNING | MB_TOPMOST,
       IDM_OS_IMAGE},
  };
  return builds;
}

std::wstring Name(Build build) { return BuildName(build); }

PlayerSpec ZR410(const std::string& id = "1-zr410") {
  PlayerSpec player;
  player.id = id;
  return player;
}

PlayerSpec OtherPlayer(const std::string& id, const std::string& name) {
  PlayerSpec player;
  player.id = id;
  player.name = name;
  return player;
}

// The transfer commands of both builds; Connect is the odd one out.
const UINT kTransferCommands[] = {IDM_CLOSE, IDM_FONTS, IDM_UPDATE_BOOTLOADER, IDM_RECOVERY_IMAGE, IDM_OS_IMAGE};

// Checks the menu and the status text against the connected or disconnected
// state. Ids missing from the build's menu are skipped.
void ExpectConnectionState(const App& app, bool connected) {
  EXPECT_EQ(app.StatusText(1), connected ? kConnected : kNotConnected);
  const std::vector<MenuPopup> menu = app.Menu();
  ASSERT_FALSE(menu.empty());
  const MenuItem* connect = FindItem(menu, IDM_CONNECT);
  ASSERT_NE(connect, nullptr);
  EXPECT_EQ(connect->grey(), connected) << "Connect to Device";
  for (UINT id : kTransferCommands) {
    if (const MenuItem* item = FindItem(menu, id)) {
      EXPECT_EQ(item->grey(), !connected) << "command " << id;
    }
  }
}

HWND OpenSelector(const App& app) {
  app.Command(IDM_CONNECT);
  return app.WaitForDialog(kSelector);
}

// Chooses `name` in the open selector and presses OK.
void ChooseInSelector(HWND selector, const std::wstring& name) {
  HWND list = GetDlgItem(selector, IDC_DEVICE_LIST);
  const std::vector<std::wstring> items = ComboItems(list);
  const auto at = std::find(items.begin(), items.end(), name);
  ASSERT_NE(at, items.end()) << "player not listed";
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(at - items.begin()), 0);
  ClickButton(selector, IDOK);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(selector); }));
}

void Connect(const App& app, const std::wstring& name = L"ZR-410") {
  HWND selector = OpenSelector(app);
  ASSERT_NE(selector, nullptr);
  ChooseInSelector(selector, name);
  ASSERT_TRUE(WaitUntil([&] { return app.StatusText(1) == kConnected; }));
}

void ChooseFile(HWND dialog, const std::filesystem::path& path) {
  // The transfer starts once the dialog is gone; boxes come after it.
  ASSERT_TRUE(ChooseFileInDialog(dialog, path)) << "the open-file dialog stayed";
}

// The filter shown in the dialog's "Files of type" box (cmb1, 1136).
std::wstring ShownFilter(HWND dialog) {
  HWND types = GetDlgItem(dialog, 1136);
  const std::vector<std::wstring> items = ComboItems(types);
  return items.empty() ? L"" : items.front();
}

std::filesystem::path WriteFile(const std::filesystem::path& path, size_t size, unsigned seed) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  for (size_t i = 0; i < size; ++i) out.put(static_cast<char>((i * 31 + seed * 7 + (i >> 8)) & 0xFF));
  return path;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

LRESULT SendNotify(const App& app, WPARAM event, LPARAM value) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(app.main(), WM_DEVICENOTIFY, event, value, SMTO_ABORTIFHUNG, 5000, &result);
  return static_cast<LRESULT>(result);
}

// A player is plugged in (its folder appears, then the service announces it)
// or pulled out (the service drops it and announces that).
void PlugIn(const App& app, const PlayerFolder& players, const PlayerSpec& player) {
  players.Add(player);
  ASSERT_TRUE(app.PlugPlayer(player.id)) << "the service did not take the arrival";
}

void PullOut(const App& app, const std::string& id) {
  ASSERT_TRUE(app.UnplugPlayer(id)) << "the service did not take the removal";
}

std::vector<std::wstring> StaticTexts(HWND dialog) {
  std::vector<std::wstring> texts;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) == L"Static") texts.push_back(ControlText(child));
  }
  return texts;
}

bool Contains(const std::vector<std::wstring>& texts, const std::wstring& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// --- Start-up ----------------------------------------------------------------------------

TEST(StartUp, EachBuildShowsItsTitleMenuAndTheDisconnectedState) {
  PlayerFolder players("startup");
  players.Add(ZR410());
  for (const BuildCase& c : Builds()) {
    SCOPED_TRACE(Name(c.build));
    App app(c.build, players.path());
    ASSERT_TRUE(app.started());

    wchar_t title[128] = {};
    GetWindowTextW(app.main(), title, 128);
    EXPECT_STREQ(title, c.title);
    const LONG style = GetWindowLongW(app.main(), GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME),
              WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    // The 350 x 240 window, judged by what its frame leaves inside: the frame
    // itself is the theme's (and Wine's) business.
    RECT frame = {0, 0, 0, 0};
    AdjustWindowRectEx(&frame, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, TRUE, 0);
    RECT client = {};
    GetClientRect(app.main(), &client);
    EXPECT_EQ(client.right, 350 - (frame.right - frame.left));
    EXPECT_EQ(client.bottom, 240 - (frame.bottom - frame.top));

    EXPECT_EQ(app.StatusText(0), L"");
    EXPECT_EQ(app.StatusText(1), kNotConnected);
    EXPECT_EQ(app.ProgressBar(), nullptr);

    const std::vector<MenuPopup> menu = app.Menu();
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(menu[0].title, L"&File");
    ASSERT_EQ(menu[0].items.size(), c.fileMenu.size());
    for (size_t i = 0; i < c.fileMenu.size(); ++i) {
      const ExpectedItem& want = c.fileMenu[i];
      const MenuItem& got = menu[0].items[i];
      SCOPED_TRACE(i);
      if (want.id == 0) {
        EXPECT_TRUE(got.separator());
        continue;
      }
      EXPECT_FALSE(got.separator());
      EXPECT_EQ(got.id, want.id);
      EXPECT_EQ(got.text, want.text);
      EXPECT_EQ(got.grey(), want.grey);
    }
    EXPECT_EQ(menu[1].title, L"Help");
    ASSERT_EQ(menu[1].items.size(), 1u);
    EXPECT_EQ(menu[1].items[0].id, IDM_ABOUT);
    EXPECT_EQ(menu[1].items[0].text, L"About");
    EXPECT_FALSE(menu[1].items[0].grey());

    SaveScreenshot(app.main(), L"main-" + Name(c.build));
    // The File menu opened from the keyboard, for the guide.
    TypeAltChar(app.main(), L'f');
    if (HWND popup = app.WaitForWindow(L"#32768", nullptr, 3000)) {
      Sleep(300);  // the popup is shown before it is painted
      SaveScreenshotOfArea(UnionOf(app.main(), popup), L"menu-" + Name(c.build));
    }
    PressKey(VK_ESCAPE);
    PressKey(VK_ESCAPE);
  }
}

// Both programs say they run as the user who starts them: without that,
// Windows takes a 32-bit "tessfold-update.exe" for an installer and asks for
// elevation before it starts.
TEST(StartUp, ManifestAsksForNoElevation) {
  for (const wchar_t* exe : {L"tessfold-recovery.exe", L"tessfold-update.exe"}) {
    SCOPED_TRACE(exe);
    const std::filesystem::path path = Paths().appDir / exe;
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr) << "no manifest";
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string manifest(data, SizeofResource(module, found));
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
    FreeLibrary(module);
  }
}

TEST(StartUp, RejectedAuthenticationEndsTheProgramWithoutALoop) {
  PlayerFolder players("reject-auth");
  players.Add(ZR410());
  App app(Build::Update, players.path(), L"reject-auth", /*waitForWindow=*/false);
  DWORD code = 0;
  ASSERT_TRUE(app.WaitForExit(20000, &code)) << "the program kept running";
  EXPECT_EQ(code, 1u);
}

// --- Device selector -----------------------------------------------------------------------

// Cancel ends the selector; the window goes away.
void CancelSelector(HWND selector) {
  ClickButton(selector, IDCANCEL);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(selector); }));
}

TEST(Selector, ListsPlayersSortedConnectsToTheChosenOneAndCloses) {
  PlayerFolder players("selector");
  // Folder order (the enumeration order) differs from name order.
  players.Add(ZR410("1-zr410"));
  players.Add(OtherPlayer("2-kx200", "KX-200"));
  App app(Build::Update, players.path());
  ASSERT_TRUE(app.started());

  HWND selector = OpenSelector(app);
  ASSERT_NE(selector, nullptr);
  HWND list = GetDlgItem(selector, IDC_DEVICE_LIST);
  EXPECT_EQ(ComboItems(list), (std::vector<std::wstring>{L"KX-200", L"ZR-410"}));
  EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), 0);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(selector, IDOK)));
  EXPECT_TRUE(IsWindowEnabled(list));
  SaveScreenshot(selector, L"selector");

  ChooseInSelector(selector, L"ZR-410");
  ExpectConnectionState(app, true);
  SaveScreenshot(app.main(), L"main-connected");

  app.Command(IDM_CLOSE);
  ASSERT_TRUE(WaitUntil([&] { return app.StatusText(1) == kNotConnected; }));
  ExpectConnectionState(app, false);

  // Closing again while not connected changes nothing.
  app.Command(IDM_CLOSE);
  ExpectConnectionState(app, false);

  // Cancel keeps the state as it was.
  selector = OpenSelector(app);
  ASSERT_NE(selector, nullptr);
  CancelSelector(selector);
  ExpectConnectionState(app, false);
}

TEST(Selector, WithoutPlayersOnlyCancelEndsIt) {
  PlayerFolder players("no-players");
  App app(Build::Recovery, players.path());
  ASSERT_TRUE(app.started());
  HWND selector = OpenSelector(app);
  ASSERT_NE(selector, nullptr);
  HWND list = GetDlgItem(selector, IDC_DEVICE_LIST);
  EXPECT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 0);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(selector, IDOK)));
  EXPECT_FALSE(IsWindowEnabled(list));
  CancelSelector(selector);
  ExpectConnectionState(app, false);
}

// A player that is listed but cannot be connected (not ready), or OK with
// nothing chosen, must leave the window disconnected, also when the selector
// first let go of another player.
TEST(Selector, AFailedConnectionLeavesTheWindowDisconnected) {
  PlayerFolder players("connect-fails");
  PlayerSpec notReady = ZR410("1-zr410");
  notReady.ready = false;
  players.Add(notReady);
  players.Add(OtherPlayer("2-kx200", "KX-200"));
  App app(Build::Update, players.path());
  ASSERT_TRUE(app.started());

  // OK with nothing chosen ends the selector like a choice would; it must not
  // read as a connection.
  const auto okWithNothingChosen = [&] {
    HWND dialog = OpenSelector(app);
    ASSERT_NE(dialog, nullptr);
    SendMessageW(GetDlgItem(dialog, IDC_DEVICE_LIST), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    ClickButton(dialog, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  };
  okWithNothingChosen();
  ExpectConnectionState(app, false);

  HWND selector = OpenSelector(app);
  ASSERT_NE(selector, nullptr);
  ChooseInSelector(selector, L"ZR-410");
  ExpectConnectionState(app, false);

  Connect(app, L"KX-200");
  ExpectConnectionState(app, true);
  okWithNothingChosen();
  ExpectConnectionState(app, true);  // the player held before is still held
  selector = OpenSelector(app);
  ASSERT_NE(selector, nullptr);
  ChooseInSelector(selector, L"ZR-410");
  ExpectConnectionState(app, false);
}

// --- Device arrival and removal ------------------------------------------------------------

TEST(DeviceEvents, ArrivalOpensTheSelectorAndRemovalClosesTheConnection) {
  PlayerFolder players("device-events");
  App app(Build::Update, players.path());
  ASSERT_TRUE(app.started());

  PlugIn(app, players, ZR410());
  HWND selector = app.WaitForDialog(kSelector);
  ASSERT_NE(selector, nullptr) << "arrival did not open the selector";
  HWND list = GetDlgItem(selector, IDC_DEVICE_LIST);
  EXPECT_EQ(ComboItems(list), std::vector<std::wstring>{L"ZR-410"});

  // Another arrival while the selector is open refreshes its list.
  PlugIn(app, players, OtherPlayer("2-kx200", "KX-200"));
  EXPECT_TRUE(WaitUntil([&] { return ComboItems(list).size() == 2; }));
  EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), 0);
  ChooseInSelector(selector, L"ZR-410");
  ExpectConnectionState(app, true);

  // While connected an arrival changes nothing.
  PlugIn(app, players, OtherPlayer("3-kx300", "KX-300"));
  ASSERT_TRUE(app.Settled());
  EXPECT_EQ(FindTopLevel(app.pid(), L"#32770", kSelector), nullptr);
  ExpectConnectionState(app, true);

  PullOut(app, "1-zr410");
  ASSERT_TRUE(WaitUntil([&] { return app.StatusText(1) == kNotConnected; }));
  ExpectConnectionState(app, false);

  // A removal while disconnected and without the selector changes nothing.
  PullOut(app, "3-kx300");
  ASSERT_TRUE(app.Settled());
  EXPECT_EQ(FindTopLevel(app.pid(), L"#32770", kSelector), nullptr);
  ExpectConnectionState(app, false);

  // One while the selector is open takes the player off its list.
  selector = OpenSelector(app);
  ASSERT_NE(selector, nullptr);
  list = GetDlgItem(selector, IDC_DEVICE_LIST);
  EXPECT_EQ(ComboItems(list), std::vector<std::wstring>{L"KX-200"});
  PullOut(app, "2-kx200");
  EXPECT_TRUE(WaitUntil([&] { return ComboItems(list).empty(); }));
  CancelSelector(selector);
  ExpectConnectionState(app, false);
}

// A player plugged in under the About box or the open-file dialog must not
// open the selector over them (its end would enable the main window below
// the other dialog); the arrival is offered once that dialog has closed.
TEST(DeviceEvents, AnArrivalUnderAnotherDialogWaitsUntilItCloses) {
  PlayerFolder players("arrival-under-dialog");
  players.Add(ZR410("1-zr410"));
  App app(Build::Update, players.path());
  ASSERT_TRUE(app.started());
  const auto selectorShown = [&] { return FindTopLevel(app.pid(), L"#32770", kSelector) != nullptr; };

  app.Command(IDM_ABOUT);
  HWND about = app.WaitForDialog(L"About");
  ASSERT_NE(about, nullptr);
  PlugIn(app, players, OtherPlayer("2-kx200", "KX-200"));
  ASSERT_TRUE(app.Settled());
  EXPECT_FALSE(selectorShown()) << "the selector opened over the About box";
  EXPECT_FALSE(IsWindowEnabled(app.main()));
  ClickButton(about, IDOK);
  HWND selector = app.WaitForDialog(kSelector);
  ASSERT_NE(selector, nullptr) << "the arrival was lost";
  EXPECT_FALSE(IsWindow(about));
  ChooseInSelector(selector, L"ZR-410");
  ExpectConnectionState(app, true);
  EXPECT_TRUE(IsWindowEnabled(app.main()));

  // The held player is pulled out and another plugged in while the user is
  // choosing a file.
  app.Command(IDM_OS_IMAGE);
  HWND dialog = app.WaitForDialog(L"Firmware Update");
  ASSERT_NE(dialog, nullptr);
  PullOut(app, "1-zr410");
  PlugIn(app, players, OtherPlayer("3-kx300", "KX-300"));
  ASSERT_TRUE(app.Settled());
  EXPECT_FALSE(selectorShown()) << "the selector opened over the open-file dialog";
  EXPECT_TRUE(IsWindow(dialog));
  ClickButton(dialog, IDCANCEL);
  selector = app.WaitForDialog(kSelector);
  ASSERT_NE(selector, nullptr) << "the arrival was lost";
  EXPECT_EQ(ComboItems(GetDlgItem(selector, IDC_DEVICE_LIST)), (std::vector<std::wstring>{L"KX-200", L"KX-300"}));
  CancelSelector(selector);
  ExpectConnectionState(app, false);
  EXPECT_TRUE(IsWindowEnabled(app.main()));
  EXPECT_TRUE(app.BoxCalls().empty());
}

// --- Progress bar -----------------------------------------------------------------------------

TEST(Progress, TheBarFollowsBeginStepsAndEnd) {
  PlayerFolder players("progress");
  App app(Build::Recovery, players.path());
  ASSERT_TRUE(app.started());

  SendNotify(app, 0, 100);  // an end without a bar does nothing
  SendNotify(app, 0, 42);   // nor does a step
  EXPECT_EQ(app.ProgressBar(), nullptr);

  SendNotify(app, 0, 0);
  HWND bar = app.ProgressBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
  // It lies in status part 0, left of the connection text.
  RECT barRect = {}, statusRect = {};
  GetWindowRect(bar, &barRect);
  GetWindowRect(app.StatusBar(), &statusRect);
  EXPECT_LE(barRect.right, statusRect.right - 100);
  EXPECT_GE(barRect.left, statusRect.left);

  SendNotify(app, 0, 37);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 37);
  SendNotify(app, 0, 0);  // a second begin keeps the bar as it is
  EXPECT_EQ(app.ProgressBar(), bar);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 37);
  SendNotify(app, 0, 150);  // clamped by the bar
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 100);

  SendNotify(app, 0, 100);
  EXPECT_EQ(app.ProgressBar(), nullptr);
  EXPECT_FALSE(IsWindow(bar));
  EXPECT_EQ(app.StatusText(1), kNotConnected);
}

// --- Transfers ----------------------------------------------------------------------------------

// Slow enough copies to see the bar: 4 KiB per report, 40 ms apart, or for
// the 1.5 MiB image 64 KiB per report, 60 ms apart.
constexpr wchar_t kSlowCopy[] = L"chunk=4096,chunk-delay-ms=40";
constexpr wchar_t kSlowImageCopy[] = L"chunk=65536,chunk-delay-ms=60";

TEST(Transfer, AFontKeepsItsNameWithProgressAndTheSuccessBox) {
  PlayerFolder players("font");
  players.Add(ZR410());
  const std::filesystem::path font = WriteFile(Paths().workDir / "files" / "Corvane Sans.ttf", 96 * 1024, 1);
  App app(Build::Recovery, players.path(), kSlowCopy);
  ASSERT_TRUE(app.started());
  Connect(app);

  app.Command(IDM_FONTS);
  HWND dialog = app.WaitForDialog(L"Font Update");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ShownFilter(dialog), L"Fonts");
  ChooseFile(dialog, font);

  ASSERT_TRUE(WaitUntil([&] { return app.ProgressBar() != nullptr; })) << "no progress bar during the copy";
  Sleep(300);
  SaveScreenshot(app.main(), L"transfer-progress");

  HWND box = WaitForBox(app, L"Status", 30000);
  ASSERT_NE(box, nullptr) << "no success box";
  EXPECT_EQ(app.ProgressBar(), nullptr) << "the bar outlived the copy";
  const ShownBox shown = ReadBox(box);
  EXPECT_EQ(shown.text, kSuccessText);
  EXPECT_FALSE(shown.icon);
  const std::vector<BoxCall> calls = app.BoxCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].type, static_cast<UINT>(MB_OK | MB_TOPMOST));
  EXPECT_EQ(calls[0].owner, nullptr);
  SaveScreenshot(box, L"success-box");
  ClickButton(box, IDOK);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));

  EXPECT_EQ(players.StoredFiles("1-zr410"), std::vector<std::string>{"Corvane Sans.ttf"});
  EXPECT_EQ(ReadAll(players.Storage("1-zr410") / "Corvane Sans.ttf"), ReadAll(font));
  ExpectConnectionState(app, true);
}

// A firmware file that is no image is refused: the failure box of the build,
// nothing on the player, the connection kept.
TEST(Transfer, ARefusedFileShowsTheBuildsFailureBoxAndWritesNothing) {
  const std::filesystem::path junk = WriteFile(Paths().workDir / "files" / "junk.bin", 0x200000, 2);
  for (const BuildCase& c : Builds()) {
    SCOPED_TRACE(Name(c.build));
    PlayerFolder players("refused-" + std::string(c.build == Build::Update ? "update" : "recovery"));
    players.Add(ZR410());
    App app(c.build, players.path());
    ASSERT_TRUE(app.started());
    Connect(app);

    app.Command(c.osImageCommand);
    HWND dialog = app.WaitForDialog(L"Firmware Update");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ShownFilter(dialog), L"Firmware Binaries");
    ChooseFile(dialog, junk);

    HWND box = WaitForBox(app, nullptr, 15000);
    ASSERT_NE(box, nullptr);
    const ShownBox shown = ReadBox(box);
    EXPECT_EQ(shown.text, kFailureText);
    EXPECT_EQ(shown.caption, L"Error");  // the system's default caption
    EXPECT_TRUE(shown.icon);
    const std::vector<BoxCall> calls = app.BoxCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].type, c.failureStyle);
    EXPECT_TRUE(calls[0].nullCaption);
    EXPECT_EQ(calls[0].owner, app.main());
    SaveScreenshot(box, L"failure-box-" + Name(c.build));
    ClickButton(box, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));

    EXPECT_TRUE(players.StoredFiles("1-zr410").empty());
    ExpectConnectionState(app, true);
  }
}

// A font goes without the image checks, so one named as a firmware file would
// replace the player's firmware with unchecked bytes: refused with the
// build's failure box, and the firmware on the player stays as it was.
TEST(Transfer, AFontNamedAsTheFirmwareIsRefused) {
  PlayerFolder players("font-as-firmware");
  players.Add(ZR410());
  const std::filesystem::path firmware = players.Storage("1-zr410") / "NK.bin";
  WriteFile(firmware, 4096, 7);
  const std::string before = ReadAll(firmware);
  const std::filesystem::path font = WriteFile(Paths().workDir / "files" / "fonts" / "nk.bin", 96 * 1024, 3);
  App app(Build::Recovery, players.path());
  ASSERT_TRUE(app.started());
  Connect(app);

  app.Command(IDM_FONTS);
  HWND dialog = app.WaitForDialog(L"Font Update");
  ASSERT_NE(dialog, nullptr);
  ChooseFile(dialog, font);

  HWND box = WaitForBox(app, nullptr, 15000);
  ASSERT_NE(box, nullptr) << "no failure box";
  EXPECT_EQ(ReadBox(box).text, kFailureText);
  ClickButton(box, IDOK);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
  EXPECT_EQ(players.StoredFiles("1-zr410"), std::vector<std::string>{"NK.bin"});
  EXPECT_EQ(ReadAll(firmware), before);
  ExpectConnectionState(app, true);
}

TEST(Transfer, CancellingTheOpenDialogStartsNothing) {
  PlayerFolder players("cancel-open");
  players.Add(ZR410());
  App app(Build::Update, players.path());
  ASSERT_TRUE(app.started());
  Connect(app);
  app.Command(IDM_UPDATE_BOOTLOADER);
  HWND dialog = app.WaitForDialog(L"Firmware Update");
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(WaitUntil([&] { return ShownFilter(dialog) == L"Firmware Binaries"; }));
  Sleep(500);  // the folder view and its buttons paint last
  SaveScreenshot(dialog, L"open-dialog");
  ClickButton(dialog, IDCANCEL);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  ASSERT_TRUE(app.Settled());  // the command has returned
  EXPECT_TRUE(app.BoxCalls().empty());
  EXPECT_EQ(FindTopLevel(app.pid(), L"#32770", nullptr), nullptr);
  EXPECT_TRUE(players.StoredFiles("1-zr410").empty());
  ExpectConnectionState(app, true);
}

// Signed images come from the image tool; the runner makes them when it can
// and passes their paths in TF_GUI_SIGNED_IMAGE and TF_GUI_TAMPERED_IMAGE.
std::filesystem::path ImageFromRunner(const wchar_t* variable) {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableW(variable, path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::filesystem::path(path) : std::filesystem::path();
}

// Without the image tool the signed cases are skipped, except where every
// case must run (TF_GUI_REQUIRE_IMAGES=1, as make test sets it).
bool ImagesRequired() {
  wchar_t value[4] = {};
  return GetEnvironmentVariableW(L"TF_GUI_REQUIRE_IMAGES", value, 4) == 1 && value[0] == L'1';
}

#define TF_SKIP_WITHOUT_IMAGES(what)                                   \
  do {                                                                 \
    if (ImagesRequired()) FAIL() << what << " (build the image tool)"; \
    GTEST_SKIP() << what << " (the image tool is not built)";          \
  } while (0)

// Gives the firmware command `id` and names `image` in its open dialog.
void SendFirmware(const App& app, UINT id, const std::filesystem::path& image) {
  app.Command(id);
  HWND dialog = app.WaitForDialog(L"Firmware Update");
  ASSERT_NE(dialog, nullptr);
  ChooseFile(dialog, image);
}

TEST(Transfer, ASignedOsImageIsStoredAsNkBin) {
  const std::filesystem::path image = ImageFromRunner(L"TF_GUI_SIGNED_IMAGE");
  if (image.empty()) TF_SKIP_WITHOUT_IMAGES("no signed image");
  PlayerFolder players("signed");
  players.Add(ZR410());
  App app(Build::Update, players.path(), kSlowImageCopy);
  ASSERT_TRUE(app.started());
  Connect(app);
  ASSERT_NO_FATAL_FAILURE(SendFirmware(app, IDM_OS_IMAGE, image));
  EXPECT_TRUE(WaitUntil([&] { return app.ProgressBar() != nullptr; }, 30000));
  SaveScreenshot(app.main(), L"transfer-progress-os-image");
  HWND box = WaitForBox(app, L"Status", 60000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ReadBox(box).text, kSuccessText);
  ClickButton(box, IDOK);
  EXPECT_EQ(players.StoredFiles("1-zr410"), std::vector<std::string>{"NK.bin"});
  EXPECT_EQ(ReadAll(players.Storage("1-zr410") / "NK.bin"), ReadAll(image));
}

TEST(Transfer, ATamperedImageIsRefused) {
  const std::filesystem::path image = ImageFromRunner(L"TF_GUI_TAMPERED_IMAGE");
  if (image.empty()) TF_SKIP_WITHOUT_IMAGES("no tampered image");
  PlayerFolder players("tampered");
  players.Add(ZR410());
  App app(Build::Update, players.path());
  ASSERT_TRUE(app.started());
  Connect(app);
  ASSERT_NO_FATAL_FAILURE(SendFirmware(app, IDM_OS_IMAGE, image));
  HWND box = WaitForBox(app, nullptr, 30000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ReadBox(box).text, kFailureText);
  ClickButton(box, IDOK);
  EXPECT_TRUE(players.StoredFiles("1-zr410").empty());
}

// The update build's other firmware commands store their images under their
// own names: the recovery image (ODM chain) and the boot loader (test chain).
TEST(Transfer, RecoveryImageAndBootloaderTakeTheirNames) {
  struct Case {
    UINT command;
    const wchar_t* variable;
    const char* stored;
  };
  const Case cases[] = {{IDM_RECOVERY_IMAGE, L"TF_GUI_RECOVERY_IMAGE", "Recovery.bin"},
                        {IDM_UPDATE_BOOTLOADER, L"TF_GUI_BOOTLOADER_IMAGE", "EBoot.bin"}};
  for (const Case& c : cases) {
    if (ImageFromRunner(c.variable).empty()) TF_SKIP_WITHOUT_IMAGES("no signed images");
  }
  PlayerFolder players("other-kinds");
  players.Add(ZR410());
  App app(Build::Update, players.path());
  ASSERT_TRUE(app.started());
  Connect(app);
  std::vector<std::string> stored;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    const std::filesystem::path image = ImageFromRunner(c.variable);
    ASSERT_NO_FATAL_FAILURE(SendFirmware(app, c.command, image));
    HWND box = WaitForBox(app, L"Status", 60000);
    ASSERT_NE(box, nullptr) << "no success box";
    EXPECT_EQ(ReadBox(box).text, kSuccessText);
    ClickButton(box, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    stored.push_back(c.stored);
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(players.StoredFiles("1-zr410"), stored);
    EXPECT_EQ(ReadAll(players.Storage("1-zr410") / c.stored), ReadAll(image));
  }
}

// --- About and the ways out ----------------------------------------------------------------------

TEST(About, OpensFromTheMenuAndFromAltQuestionMarkAndAltSlash) {
  PlayerFolder players("about");
  for (const BuildCase& c : Builds()) {
    SCOPED_TRACE(Name(c.build));
    App app(c.build, players.path());
    ASSERT_TRUE(app.started());

    app.Command(IDM_ABOUT);
    HWND about = app.WaitForDialog(L"About");
    ASSERT_NE(about, nullptr);
    const std::vector<std::wstring> texts = StaticTexts(about);
    EXPECT_TRUE(Contains(texts, c.aboutProduct));
    EXPECT_TRUE(Contains(texts, L"Version 1.1"));
    SaveScreenshot(about, L"about-" + Name(c.build));
    ClickButton(about, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));

    for (wchar_t key : {L'?', L'/'}) {
      SCOPED_TRACE(key == L'?' ? "Alt+?" : "Alt+/");
      TypeAltChar(app.main(), key);
      about = app.WaitForDialog(L"About", 5000);
      ASSERT_NE(about, nullptr) << "the accelerator did not open About";
      ClickButton(about, IDOK);
      ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
    }
  }
}

TEST(Exit, TheMenuTheKeyboardAndTheCloseBoxEndTheProgram) {
  PlayerFolder players("exit");
  players.Add(ZR410());
  struct Way {
    const char* name;
    void (*act)(const App&);
  };
  const Way ways[] = {
      {"File > Exit", [](const App& app) { app.Command(IDM_EXIT); }},
      {"Alt+F, X",
       [](const App& app) {
         TypeAltChar(app.main(), L'f');
         app.WaitForWindow(L"#32768", nullptr, 3000);
         PressKey('X');
       }},
      {"close box", [](const App& app) { PostMessageW(app.main(), WM_CLOSE, 0, 0); }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    App app(Build::Update, players.path());
    ASSERT_TRUE(app.started());
    Connect(app);
    way.act(app);
    DWORD code = 99;
    ASSERT_TRUE(app.WaitForExit(10000, &code));
    EXPECT_EQ(code, 0u);
  }
}

}  // namespace
