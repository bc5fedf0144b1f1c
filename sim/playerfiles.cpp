// The test-facing player calls that only build on the player folder's
// setting; both implementations of sim/simservice.h share them.
#include "sim/paths.h"
#include "sim/playerfolder.h"
#include "sim/simservice.h"

namespace fs = std::filesystem;

bool SimAddPlayer(const std::string& id, const SimPlayerDescription& description, std::string* error) {
  const fs::path folder = SimGetPlayerFolder();
  if (folder.empty()) {
    if (error) *error = "no player folder set";
    return false;
  }
  return SimWritePlayer(folder, id, description, error);
}

fs::path SimStorageFolder(const std::string& id, const std::string& storage) {
  return SimGetPlayerFolder() / SimPathFromUtf8(id) / SimPathFromUtf8(storage);
}
