// The block the GUI test driver shares with gui_probe.dll, which it loads into
// the program under test through a message hook.
//
// Why a probe: Wine keeps menus in the owning process, so GetMenuState from
// the driver finds nothing, and Wine drops MB_TOPMOST from message boxes, so
// a box's style cannot be read from its window. Inside the program the probe
// reads the main window's menu on request and records every MessageBoxW call
// (text, caption, style) before the box appears. It changes nothing else.
#pragma once

#include <windows.h>

// Per program instance: the name ends with the process id in decimal.
constexpr wchar_t kProbeMappingPrefix[] = L"TessfoldGuiProbe-";
// Posted to the main window: the probe then snapshots its menu.
constexpr wchar_t kProbeMenuMessage[] = L"TessfoldGuiProbeMenu";

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
};
