// Where the suites and benchmarks find the development keys (keys/dev).
//
// TF_DEV_KEY_DIR, when set, stands for the whole keys/dev folder. Otherwise
// the folder is keys/dev under TF_SOURCE_DIR (set for every ctest), under
// TF_DEFAULT_SOURCE_DIR when a program was compiled with that definition (the
// benchmarks, which also run by hand), or under the current folder.
#pragma once

#include <cstdlib>
#include <string>

namespace devkeys {

inline std::string DevKeyDir() {
  if (const char* dir = std::getenv("TF_DEV_KEY_DIR")) return dir;
  if (const char* source = std::getenv("TF_SOURCE_DIR")) return std::string(source) + "/keys/dev";
#ifdef TF_DEFAULT_SOURCE_DIR
  return std::string(TF_DEFAULT_SOURCE_DIR) + "/keys/dev";
#else
  return "keys/dev";
#endif
}

// keys/dev/<file>, e.g. DevKeyPath("test-signer.key").
inline std::string DevKeyPath(const std::string& file) { return DevKeyDir() + "/" + file; }

// The channel's development credentials: keys/dev/channel/<file>.
inline std::string ChannelKeyPath(const std::string& file) { return DevKeyDir() + "/channel/" + file; }

}  // namespace devkeys
