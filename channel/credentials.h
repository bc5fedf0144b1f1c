// The channel credentials built into the program: the root public key that
// every ChannelCertificate is checked against, the program's certificate and
// the KeyContainer that hides the matching private key. The arrays are
// generated at build time from keys/dev/channel (or TF_CHANNEL_KEY_DIR).
#pragma once

#include "platform/win.h"

extern const BYTE kChannelRootPublicKey[40];
extern const BYTE kBuiltinChannelCertificate[100];
extern const BYTE kBuiltinKeyContainer[4096];
