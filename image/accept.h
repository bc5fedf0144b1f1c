// Image signature acceptance: decides whether the open image (image/binutils.h)
// is signed through a built-in trust anchor and issued for the connected
// player. Progress and refusal reasons are printed as diagnostic lines.
#pragma once

#include "platform/win.h"

// Hands over the connected player's manufacturer and model for the next
// AcceptImage call. A null text skips that check. The texts are not copied:
// they must stay valid until AcceptImage returns.
void SetExpectedDevice(const WCHAR* szDeviceManufacturer, const WCHAR* szDeviceName);

// Precondition: an image is open. Returns true only when the image's cat_sig
// catalog verifies, lists the image digest and names the expected make and
// model. Keeps nothing between calls but the verification's trust level.
bool AcceptImage();
