// The channel's curve as OpenSSL sees it, for the suites and benchmarks that
// use OpenSSL as the oracle: the same numbers, G as the generator with the
// group order n and cofactor 1.
#pragma once

#include <openssl/bn.h>
#include <openssl/ec.h>

namespace channeltest {

inline BIGNUM* OpenSslBn(const char* hex) {
  BIGNUM* b = nullptr;
  BN_hex2bn(&b, hex);
  return b;
}

// A new group (the caller frees it with EC_GROUP_free), or null.
inline EC_GROUP* OpenSslChannelGroup() {
  BIGNUM *p = OpenSslBn("89abcdef012345672718281831415926141424f7"),
         *a = OpenSslBn("37a5abccd277bce87632ff3d4780c009ebe41497"),
         *b = OpenSslBn("0dd8dabf725e2f3228e85f1ad78fdedf9328239e"),
         *gx = OpenSslBn("8723947fd6a3a1e53510c07dba38daf0109fa120"),
         *gy = OpenSslBn("445744911075522d8c3c5856d4ed7acda379936f"),
         *n = OpenSslBn("89abcdef012345672716b26eec14904428c2a675"), *one = OpenSslBn("1");
  EC_GROUP* group = EC_GROUP_new_curve_GFp(p, a, b, nullptr);
  EC_POINT* g = group != nullptr ? EC_POINT_new(group) : nullptr;
  if (g == nullptr || !EC_POINT_set_affine_coordinates(group, g, gx, gy, nullptr) ||
      !EC_GROUP_set_generator(group, g, n, one)) {
    EC_GROUP_free(group);
    group = nullptr;
  }
  EC_POINT_free(g);
  for (BIGNUM* x : {p, a, b, gx, gy, n, one}) BN_free(x);
  return group;
}

}  // namespace channeltest
