// The console program's connection to the device service: COM on this thread, a message-only
// window that receives the device layer's notifications, and the
// DeviceManager made for it, as the window programs make theirs.
#pragma once

#include "flash/flash.h"

namespace flash {

class DeviceConnection {
 public:
  DeviceConnection() = default;
  ~DeviceConnection();
  DeviceConnection(const DeviceConnection&) = delete;
  DeviceConnection& operator=(const DeviceConnection&) = delete;

  // False when the DeviceManager could not be made; *result says why.
  bool Open(DeviceManagerCreateResult* result);
  DeviceManager* devices() const { return devices_; }

  // Runs the message loop for up to `ms` milliseconds, or until a device
  // arrives or leaves. True when one did.
  bool WaitForDeviceEvent(DWORD ms);

 private:
  bool com_ = false;
  HWND window_ = nullptr;
  DeviceManager* devices_ = INVALID_DEVICE_MANAGER;
};

// The progress line on the error stream while a copy or its read-back runs:
// the phase, percentage, bytes and rate, redrawn in place. Only on a console;
// nothing when redirected. A phase that failed ends its line as failed, not
// at the last percentage it showed.
void BeginProgress(const char* phase, ULONGLONG cbFile);
void EndProgress(bool succeeded);

// Whether the error stream is a console (where the progress line goes).
bool ErrorIsConsole();

}  // namespace flash
