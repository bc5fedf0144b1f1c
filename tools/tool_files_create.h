// The system-specific step of writing an output: a new file created with the
// given access and filled, or the system's words for why not.
#pragma once

#include <cstddef>
#include <string>

#include "tools/tool_files.h"

namespace toolfiles {

// Creates `path` (which must not exist) and writes `size` bytes into it.
// False with *cause the system's reason; a file that was created is removed.
bool CreateAndWrite(const std::string& path, const void* bytes, size_t size, Access access, std::string* cause);

}  // namespace toolfiles
