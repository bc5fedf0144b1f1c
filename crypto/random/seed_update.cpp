#include "crypto/random/seed_update.h"

#include "crypto/random/wipe.h"
#include "crypto/rc4.h"
#include "crypto/sha1.h"

namespace {

struct Piece {
  const BYTE* pb;
  DWORD cb;
};

void HashPieces(ShaContext* pCtx, const Piece (&pieces)[4], BYTE rgbOut[SHA1_DIGEST_LEN]) {
  ShaInit(pCtx);
  for (const Piece& p : pieces) ShaUpdateHostOrder(pCtx, p.pb, p.cb);
  ShaFinalHostOrder(pCtx, rgbOut);
}

void HashPair(ShaContext* pCtx, const BYTE* pbA, const BYTE* pbB, BYTE rgbOut[SHA1_DIGEST_LEN]) {
  ShaInit(pCtx);
  ShaUpdateHostOrder(pCtx, pbA, SHA1_DIGEST_LEN);
  ShaUpdateHostOrder(pCtx, pbB, SHA1_DIGEST_LEN);
  ShaFinalHostOrder(pCtx, rgbOut);
}

}  // namespace

void SeedUpdate(BYTE rgbSeed[SEED_LEN], const BYTE* pbData, DWORD cbData) {
  const DWORD cbQuarter = cbData / 4;
  const BYTE* s[4];
  const BYTE* b[4];
  for (int i = 0; i < 4; ++i) {
    s[i] = rgbSeed + i * SEED_PART_LEN;
    b[i] = pbData + i * cbQuarter;
  }
  ShaContext ctx;
  BYTE t[4][SHA1_DIGEST_LEN];
  // Each half of the seed is mixed with its own half of the data, in both
  // orders, before the halves are crossed below.
  HashPieces(&ctx, {{s[0], SEED_PART_LEN}, {b[0], cbQuarter}, {s[1], SEED_PART_LEN}, {b[1], cbQuarter}}, t[0]);
  HashPieces(&ctx, {{s[1], SEED_PART_LEN}, {b[1], cbQuarter}, {s[0], SEED_PART_LEN}, {b[0], cbQuarter}}, t[1]);
  HashPieces(&ctx, {{s[2], SEED_PART_LEN}, {b[2], cbQuarter}, {s[3], SEED_PART_LEN}, {b[3], cbQuarter}}, t[2]);
  HashPieces(&ctx, {{s[3], SEED_PART_LEN}, {b[3], cbQuarter}, {s[2], SEED_PART_LEN}, {b[2], cbQuarter}}, t[3]);
  HashPair(&ctx, t[0], t[2], rgbSeed);
  HashPair(&ctx, t[1], t[3], rgbSeed + SEED_PART_LEN);
  HashPair(&ctx, t[2], t[0], rgbSeed + 2 * SEED_PART_LEN);
  HashPair(&ctx, t[3], t[1], rgbSeed + 3 * SEED_PART_LEN);
  SecureWipe(&ctx, sizeof(ctx));
  SecureWipe(t, sizeof(t));
}

void SeedRenew(BYTE rgbSeed[SEED_LEN], const BYTE* pbData, DWORD cbData, BYTE rgbValue[SEED_LEN]) {
  Rc4State rc4;
  Rc4KeySetup(&rc4, rgbSeed, SEED_LEN);
  SeedUpdate(rgbSeed, pbData, cbData);
  for (DWORD i = 0; i < SEED_LEN; ++i) rgbValue[i] = rgbSeed[i];
  Rc4Apply(&rc4, rgbValue, SEED_LEN);
  SecureWipe(&rc4, sizeof(rc4));
}
