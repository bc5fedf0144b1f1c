#include "crypto/bignum/bigerror.h"

namespace {
DWORD g_bigError = 0;
}

DWORD BigError() { return g_bigError; }

void BigErrorSet(DWORD code) { g_bigError = code; }

void BigErrorResetForTests() { g_bigError = 0; }
