// The description file of one simulated player ("player.ini" in the player's
// folder): what the device reports to the service's callers and which of its
// storages are ready. The format is documented in sim/README.md.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win.h"

// Device queries that a description can make fail (the "fail" key), so that
// callers can be tested against a device that answers only partly.
enum SimQuery : uint32_t {
  kSimQueryType = 1u << 0,          // IWMDMDevice::GetType
  kSimQueryManufacturer = 1u << 1,  // GetManufacturer
  kSimQueryName = 1u << 2,          // GetName
  kSimQueryVersion = 1u << 3,       // GetVersion
  kSimQueryStatus = 1u << 4,        // GetStatus
  kSimQueryStorages = 1u << 5,      // EnumStorage
  kSimQueryDevice2 = 1u << 6,       // QueryInterface for IWMDMDevice2
};

struct SimStorageDescription {
  std::string folder;  // one plain folder name inside the player's folder
  bool ready = true;
};

struct SimPlayerDescription {
  std::string manufacturer;  // UTF-8; at most kSimMaxTextUnits UTF-16 units
  std::string name;
  uint32_t version = 0;
  uint32_t type = 0x11;  // WMDM_DEVICE_TYPE_PLAYBACK | WMDM_DEVICE_TYPE_STORAGE
  bool ready = true;
  uint32_t failingQueries = 0;                  // SimQuery bits
  std::vector<SimStorageDescription> storages;  // in enumeration order
};

// The description file's name inside a player's folder.
constexpr char kSimDescriptionFile[] = "player.ini";

// Texts must fit the callers' 260-unit buffers with their terminating NUL.
constexpr size_t kSimMaxTextUnits = 259;
// Larger description files are refused before parsing.
constexpr size_t kSimMaxDescriptionBytes = 64 * 1024;

// Parses the text of a description file. On failure returns false and sets
// `error` to one line naming the offending line ("line 4: unknown key
// 'colour'"); `out` is then unspecified. Any byte sequence is safe input.
bool SimParsePlayerDescription(std::string_view text, SimPlayerDescription* out, std::string* error);

// Writes a description in the same format; SimParsePlayerDescription reads it
// back unchanged when the description itself is valid (see
// SimCheckPlayerDescription).
std::string SimFormatPlayerDescription(const SimPlayerDescription& description);

// The checks the parser applies to the values (text lengths, folder names,
// duplicates), for descriptions built in code. Same error texts, without a
// line number.
bool SimCheckPlayerDescription(const SimPlayerDescription& description, std::string* error);

// Whether `name` is a plain folder name that stays inside its parent on every
// host (no separators, no "." or "..", no characters Windows refuses).
bool SimCheckFolderName(std::string_view name, std::string* error);
