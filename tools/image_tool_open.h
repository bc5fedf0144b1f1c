// Opening the image a subcommand works on, with the reader's lines kept out
// of the tool's own output.
#pragma once

#include <string>

namespace imagetool {

enum class OpenResult { kOpen, kMissing, kNotImage };

// Opens `path` as the process's image. The reader's lines are swallowed; on
// failure *reason is a one-line explanation (the reader's last line included
// for a file that is not an image).
OpenResult OpenImageQuietly(const std::string& path, std::string* reason);

}  // namespace imagetool
