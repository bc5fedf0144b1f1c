// A fuller look at the players than the selector needs: each storage device
// with its ready state and its storages, for programs that list players or
// explain why one cannot take a file.
#pragma once

#include "device/devicemanager.h"

// Storages listed per player; a player with more reports the count it has.
inline constexpr UINT kMaxListedStorages = 16;

struct StorageDetails {
  WCHAR szName[260];  // the storage's name, NUL-terminated (empty when unreadable)
  bool fReady;        // the storage globals report ready
};

struct DeviceDetails {
  DFTInfo info;                // as EnumNextDevice fills it; hand it to ConnectDevice
  WCHAR szCanonicalName[260];  // the service's name for this one player (empty when unreadable)
  DWORD dwStatus;              // GetStatus flags (0 when unreadable)
  bool fReady;                 // ConnectDevice can hold it
  bool fStoragesListed;        // EnumStorage worked
  StorageDetails rgStorages[kMaxListedStorages];
  UINT cStorages;  // storages seen (may exceed kMaxListedStorages); after the list, which must not reach it

  UINT ListedStorages() const { return cStorages < kMaxListedStorages ? cStorages : kMaxListedStorages; }
  bool HasReadyStorage() const;
};

using DeviceDetailsCallback = void (*)(const DeviceDetails& details, void* context);

// Calls `each` for every storage device of a fresh, private enumeration, in
// the service's order. Devices whose type, manufacturer or name cannot be
// read are left out, as EnumNextDevice skips them. Neither the selector's open
// enumeration nor the held device is touched. S_OK, or the service's error
// when no enumeration could be opened.
HRESULT ListDeviceDetails(DeviceManager* hDeviceManager, DeviceDetailsCallback each, void* context);
