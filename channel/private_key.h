// A private key of the handshake (wire form), wiped when it goes out of scope.
#pragma once

#include "channel/wire.h"

class ChannelPrivateKey {
 public:
  ~ChannelPrivateKey() {
    volatile BYTE* wipe = bytes;
    for (DWORD i = 0; i < kChannelNumberLength; ++i) wipe[i] = 0;
  }
  BYTE bytes[kChannelNumberLength] = {};
};
