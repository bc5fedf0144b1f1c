// Device results in plain words: a user who sees 0x8007048F has not learned
// that the player was pulled out. Portable, so that the table is tested
// natively.
#pragma once

#include <string>

#include "platform/win.h"

namespace flash {

// "what happened (0xXXXXXXXX)": the words for the results a copy, a read-back
// or a removal meets, and "the device service reported an error" for others.
std::string DescribeDeviceResult(HRESULT hr);

}  // namespace flash
