// Constructors of the service's objects, each handing out a new object with
// one reference through the given out pointer. Internal to sim/.
#pragma once

#include <string>
#include <vector>

#include "sim/service.h"

HRESULT SimNewDeviceEnum(std::vector<SimPlayerRef> players, IWMDMEnumDevice** out);
HRESULT SimNewDevice(SimPlayerRef player, IWMDMDevice** out);
HRESULT SimNewStorageEnum(SimPlayerRef player, IWMDMEnumStorage** out);
// A storage of `player` (its index in the description), or, with a non-empty
// `file`, a file stored in it.
HRESULT SimNewStorage(SimPlayerRef player, size_t storage, const std::filesystem::path& file, IWMDMStorage** out);
HRESULT SimNewStorageGlobals(SimPlayerRef player, size_t storage, IWMDMStorageGlobals** out);
HRESULT SimNewMetadata(IWMDMMetaData** out);

// The checks every device and storage call starts with.
inline bool SimStillPresent(const SimPlayerRef& player) { return SimPlayerPresent(player->id); }
bool SimPlayerReady(const SimPlayer& player);
bool SimStorageReady(const SimPlayer& player, size_t storage);
