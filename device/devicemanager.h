// The device layer as the shell sees it: one DeviceManager per process owns
// the connection to the WMDM service, lists the storage players, holds at most
// one of them and copies files onto it. It reports to the window given at
// creation with the message given there (the shell passes WM_DEVICENOTIFY).
//
// Every call comes from the thread that created the DeviceManager, after COM
// was initialised there. Every operation that takes a handle checks it first:
// null (or a null record or path) gives E_POINTER, INVALID_DEVICE_MANAGER
// gives E_HANDLE, and nothing else happens.
#pragma once

#include <cstdint>

#include "channel/initiator.h"
#include "platform/win.h"
#include "platform/window.h"

struct DeviceManager;  // opaque

#define INVALID_DEVICE_MANAGER (reinterpret_cast<DeviceManager*>(~static_cast<uintptr_t>(0)))

// Identity of one player, filled by EnumNextDevice and handed back to
// ConnectDevice. Texts are NUL-terminated UTF-16.
struct DFTInfo {
  WCHAR szDeviceManufacturer[260];
  WCHAR szDeviceName[260];  // what the device selector shows
  DWORD dwDeviceVersion;    // 0: ConnectDevice does not compare versions
};
typedef DFTInfo* LPDFTInfo;
static_assert(sizeof(DFTInfo) == 1044, "DFTInfo is a 1044-byte record");

// What a file is; only the bits of kTransferKindMask select the kind.
typedef DWORD TransferKind;
constexpr TransferKind KIND_BOOTLOADER = 4;  // stored as "EBoot.bin"
constexpr TransferKind KIND_RECOVERY = 8;    // stored as "Recovery.bin"
constexpr TransferKind KIND_FONT = 16;       // stored under the source file's own name
constexpr TransferKind KIND_OS_IMAGE = 32;   // stored as "NK.bin"
constexpr TransferKind kTransferKindMask = 0x7C;

// The notification message the shell passes to DeviceManagerCreate.
#define WM_DEVICENOTIFY (WM_USER)

// wParam of the notification:
constexpr WPARAM kDeviceNotifyProgress = 0;  // sent; lParam is a percentage or a code below
constexpr WPARAM kDeviceNotifyRemoved = 1;   // posted; lParam is the canonical name (do not read)
constexpr WPARAM kDeviceNotifyArrived = 2;   // posted; lParam is the canonical name (do not read)
// lParam codes of kDeviceNotifyProgress; every other value is a step in percent.
constexpr LPARAM kDeviceNotifyBegin = 0;
constexpr LPARAM kDeviceNotifyEnd = 100;

// Authenticates to the service and subscribes to device events. Returns the
// handle, or INVALID_DEVICE_MANAGER on any failure (nothing is then kept).
DeviceManager* DeviceManagerCreate(HWND hWnd, UINT uMsg);

// Where DeviceManagerCreate stopped, for programs that tell the user why
// there is no device service to work with.
enum class DeviceManagerCreateStage {
  kCreated,         // the handle is valid
  kMemory,          // an object of ours could not be allocated
  kService,         // the service's root object could not be created (not installed or registered)
  kAuthentication,  // the secure channel failed: no protocol offered, or the handshake was refused
  kManager,         // the service refused its device manager after the handshake
};

struct DeviceManagerCreateResult {
  DeviceManagerCreateStage stage;
  HRESULT hr;          // the failing call's result; S_OK when created
  bool fDeviceEvents;  // arrival and removal will be reported
  // kAuthentication: which side the handshake stopped on (kNone when the
  // service offered no protocol to run).
  HandshakeFailure handshake;
};

// DeviceManagerCreate that also says where it stopped (pResult may be null).
DeviceManager* DeviceManagerCreateWithResult(HWND hWnd, UINT uMsg, DeviceManagerCreateResult* pResult);

// Releases the held device and everything else; S_OK.
HRESULT DeviceManagerDestroy(DeviceManager* hDeviceManager);

// Yields the next storage device into *lpDFTInfo: S_OK (record filled);
// S_FALSE when there are no more (the next call starts a new enumeration);
// E_FAIL when this device was skipped (not a storage device or its queries
// failed; the enumeration goes on with the next call); or the service's error
// when no enumeration could be opened.
HRESULT EnumNextDevice(DeviceManager* hDeviceManager, DFTInfo* lpDFTInfo);

// Holds the first ready storage device whose manufacturer and name equal the
// record's (and version, unless the record's is 0), releasing any device held
// before. S_OK when one is now held; E_FAIL when none matched (none is held);
// the service's error when no enumeration could be opened.
HRESULT ConnectDevice(DeviceManager* hDeviceManager, const DFTInfo* lpDFTInfo);

// ConnectDevice for one particular player: the ready storage device whose
// canonical name (IWMDMDevice2::GetCanonicalName) is `pwszCanonicalName`, so
// that players of the same make and name can be told apart. Same results.
HRESULT ConnectDeviceByCanonicalName(DeviceManager* hDeviceManager, LPCWSTR pwszCanonicalName);

// S_OK when a device was released; E_FAIL when none was held.
HRESULT DisconnectDevice(DeviceManager* hDeviceManager);

// Copies the file at `pwszSourcePath` onto the held device as `kind` and
// shows the success box. Firmware kinds must pass the image checks for the
// held device and the kind's size window. S_OK when copied; NTE_BAD_SIGNATURE
// when a firmware image was refused; E_INVALIDARG for a kind that selects no
// single kind; E_FAIL or the device's error otherwise.
HRESULT TransferFile(DeviceManager* hDeviceManager, LPCWSTR pwszSourcePath, TransferKind kind);
