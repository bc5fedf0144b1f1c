#include "tools/image_tool_open.h"

#include "image/binutils.h"
#include "platform/text.h"
#include "tools/image_tool.h"

namespace imagetool {

OpenResult OpenImageQuietly(const std::string& path, std::string* reason) {
  *reason = MissingFileReason(path);
  if (!reason->empty()) return OpenResult::kMissing;
  DiagCapture capture;
  if (OpenImage(WidenUtf8(path).c_str())) return OpenResult::kOpen;
  *reason = "'" + path + "' is not a ROM image";
  if (!capture.Lines().empty()) *reason += " (" + WithoutLineEnd(capture.Lines().back()) + ")";
  return OpenResult::kNotImage;
}

}  // namespace imagetool
