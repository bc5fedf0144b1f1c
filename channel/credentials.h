// The channel credentials built into the program: its ChannelCertificate and
// the KeyContainer that hides the matching private key.
#pragma once

#include "platform/win.h"

extern const BYTE kBuiltinChannelCertificate[100];
extern const BYTE kBuiltinKeyContainer[4096];
