// The block the GUI test driver shares with gui_probe.dll, which it loads into
// the program under test through a message hook.
//
// Why a probe: Wine keeps menus in the owning process, so GetMenuState from
// the driver finds nothing, and Wine drops MB_TOPMOST from message boxes, so
// a box's style cannot be read from its window. Inside the program the probe
// reads the main window's menu on request and records every MessageBoxW call
// (text, caption, style) before the box appears. It also plugs simulated
// players in and out on request, through the control table of the service
// instance that COM loaded into the program, so that arrival and removal
// reach the program as the service announces them. It changes nothing else.
#pragma once

#include <windows.h>

// Per program instance: the name ends with the process id in decimal.
constexpr wchar_t kProbeMappingPrefix[] = L"TessfoldGuiProbe-";
// Posted to the main window: the probe then snapshots its menu.
constexpr wchar_t kProbeMenuMessage[] = L"TessfoldGuiProbeMenu";
// Posted to the main window with wParam kProbePlug or kProbeUnplug: the probe
// then plugs the player named in deviceId in or out.
constexpr wchar_t kProbeDeviceMessage[] = L"TessfoldGuiProbeDevice";
constexpr WPARAM kProbeUnplug = 0;
constexpr WPARAM kProbePlug = 1;

constexpr int kProbeMaxPopups = 4;
constexpr int kProbeMaxItems = 16;
constexpr int kProbeMaxBoxes = 16;

struct ProbeMenuItem {
  UINT id;     // 0 for a separator
  UINT state;  // GetMenuState by position (MF_GRAYED, MF_SEPARATOR, ...)
  wchar_t text[64];
};

struct ProbePopup {
  wchar_t title[32];
  UINT itemCount;
  ProbeMenuItem items[kProbeMaxItems];
};

struct ProbeBox {
  HWND owner;
  UINT type;
  BOOL nullCaption;
  wchar_t text[128];
  wchar_t caption[64];
};

struct ProbeBlock {
  volatile LONG menuSerial;  // incremented after each menu snapshot
  UINT popupCount;
  ProbePopup popups[kProbeMaxPopups];
  volatile LONG spyInstalled;
  volatile LONG boxCount;  // MessageBoxW calls seen so far
  ProbeBox boxes[kProbeMaxBoxes];
  char deviceId[64];           // the player's sub-folder
  volatile LONG deviceSerial;  // incremented after each plug or unplug request
  volatile LONG deviceDone;    // 1 when the last request reached the service
};
