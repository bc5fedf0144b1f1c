// The RC4 stream cipher. The state belongs to the caller, who wipes it
// when done; nothing allocates. RC4 is long broken
// as a cipher; it is here for the channel's MAC key and the random
// generator's output stream.
#pragma once

#include "platform/win.h"

struct Rc4State {
  BYTE rgbS[256];  // the permutation
  BYTE i;
  BYTE j;
};

// Keys a fresh state with cbKey bytes at pbKey (the key bytes are used
// cyclically; keys longer than 256 bytes use only their first 256). A
// zero-length key is taken as the one-byte key {0} rather than dividing by
// zero; pbKey may then be null.
void Rc4KeySetup(Rc4State* pState, const BYTE* pbKey, DWORD cbKey);

// XORs the next cbData keystream bytes into pbData in place and advances the
// state. cbData 0 leaves the state unchanged; pbData may then be null.
void Rc4Apply(Rc4State* pState, BYTE* pbData, DWORD cbData);
