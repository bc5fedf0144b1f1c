// The one list of resource and command ids of both programs. Included by the
// resource scripts and by the C++ source, so it holds plain #defines only.
#pragma once

// Strings
#define IDS_APP_TITLE 103
#define IDC_APP 109  // also the class name string, the menu and the accelerators

// Icons
#define IDI_APP 107
#define IDI_SMALL 108

// Dialogs and their controls
#define IDD_ABOUTBOX 103
#define IDC_ABOUT_ICON 2
#define IDD_DEVICE_SELECTOR 142
#define IDC_DEVICE_LIST 1000

// Menu commands (the low word of WM_COMMAND's wParam)
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_UPDATE_BOOTLOADER 130
#define IDM_OS_IMAGE 132
#define IDM_RECOVERY_IMAGE 133
#define IDM_FONTS 134
#define IDM_CONNECT 139
#define IDM_CLOSE 140

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
