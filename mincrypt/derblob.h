// A counted byte range inside a caller's buffer. Every encoded input, parse
// result and hash input of the verification library travels as a DerBlob; the
// buffer it points into must outlive it. {0, nullptr} means "absent".
#pragma once

#include "platform/win.h"

struct DerBlob {
  DWORD cbData;
  const BYTE* pbData;
};
