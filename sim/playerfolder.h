// The player folder: one sub-folder per simulated player, holding the
// player's description file and one folder per storage.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "sim/playerdesc.h"

struct SimPlayer {
  std::string id;                // the sub-folder's name (UTF-8)
  std::filesystem::path folder;  // the sub-folder
  SimPlayerDescription description;
};

// Reads one player's folder. Errors name the file ("<path>: line 3: ...").
bool SimReadPlayer(const std::filesystem::path& folder, SimPlayer* out, std::string* error);

// Every sub-folder of `root` that holds a description file, sorted by folder
// name (the enumeration order). A player whose description cannot be read is
// left out and its error appended to `errors` (may be null). A missing or
// unreadable root gives no players and one error.
std::vector<SimPlayer> SimScanPlayers(const std::filesystem::path& root, std::vector<std::string>* errors);

// Creates (or rewrites) the player `id` under `root`: its folder, description
// file and storage folders. Existing files in storage folders are kept.
bool SimWritePlayer(const std::filesystem::path& root, const std::string& id, const SimPlayerDescription& description,
                    std::string* error);
