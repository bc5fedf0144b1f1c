// A private key of the handshake (wire form), wiped when it goes out of scope.
#pragma once

#include "channel/wire.h"
#include "crypto/random/wipe.h"

class ChannelPrivateKey {
 public:
  ~ChannelPrivateKey() { SecureWipe(bytes, sizeof bytes); }
  BYTE bytes[kChannelNumberLength] = {};
};
