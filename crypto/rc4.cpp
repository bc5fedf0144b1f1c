// RC4: key scheduling over the identity permutation, then one swap per
// output byte.
#include "crypto/rc4.h"

void Rc4KeySetup(Rc4State* pState, const BYTE* pbKey, DWORD cbKey) {
  static const BYTE kZeroKey[1] = {0};
  if (cbKey == 0) {
    pbKey = kZeroKey;
    cbKey = 1;
  }
  BYTE* S = pState->rgbS;
  for (int n = 0; n < 256; ++n) S[n] = static_cast<BYTE>(n);
  BYTE j = 0;
  DWORD k = 0;
  for (int n = 0; n < 256; ++n) {
    const BYTE s = S[n];
    j = static_cast<BYTE>(j + s + pbKey[k]);
    S[n] = S[j];
    S[j] = s;
    if (++k == cbKey) k = 0;
  }
  pState->i = 0;
  pState->j = 0;
}

void Rc4Apply(Rc4State* pState, BYTE* pbData, DWORD cbData) {
  BYTE* S = pState->rgbS;
  BYTE i = pState->i;
  BYTE j = pState->j;
  for (DWORD n = 0; n < cbData; ++n) {
    i = static_cast<BYTE>(i + 1);
    const BYTE si = S[i];
    j = static_cast<BYTE>(j + si);
    const BYTE sj = S[j];
    S[i] = sj;
    S[j] = si;
    pbData[n] ^= S[static_cast<BYTE>(si + sj)];
  }
  pState->i = i;
  pState->j = j;
}
