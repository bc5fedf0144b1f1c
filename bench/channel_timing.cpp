// The secure channel's speed where Google Benchmark and OpenSSL are not at
// hand (the Windows builds under Wine): the whole handshake, one verification
// and one signature, each the best of alternating rounds, in microseconds.
// bench_channel (native) gives the same figures next to OpenSSL's.
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/best_of.h"
#include "bench/channel_peer.h"
#include "channel/ecdsa_elgamal.h"
#include "channel/curve_lock.h"

int main() {
  if (!channelbench::Handshake()) {
    std::fprintf(stderr, "handshake failed\n");
    return 1;
  }
  const double handshake = timing::BestOf(channelbench::Handshake, 3);
  ChannelLockJoin();
  ChannelLockEnter();
  ChannelCurve* curve = ChannelCurveCreate();
  // Three keys in turn; each verification builds the table of its key, as
  // every check in a handshake does.
  const BYTE message[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  BYTE keys[3][20], points[3][40], signatures[3][40], other[40];
  bool ready = curve != nullptr;
  for (int i = 0; i < 3 && ready; ++i) {
    for (int j = 0; j < 20; ++j) keys[i][j] = static_cast<BYTE>(0x11 * (i + 1) + j);
    ready = ChannelPublicKey(curve, keys[i], points[i]) && ChannelSign(curve, keys[i], message, 8, signatures[i]);
  }
  if (!ready) {
    std::fprintf(stderr, "curve set-up failed\n");
    return 1;
  }
  int next = 0;
  const double verify = timing::BestOf(
      [&] {
        next = (next + 1) % 3;
        return ChannelVerify(curve, points[next], message, 8, signatures[next]);
      },
      21);
  const double sign = timing::BestOf([&] { return ChannelSign(curve, keys[0], message, 8, other); }, 20);
  ChannelCurveDestroy(curve);
  ChannelLockExit();
  ChannelLockLeave();
  std::printf("handshake (both sides) %8.1f us\nverification           %8.1f us\nsignature              %8.1f us\n",
              handshake, verify, sign);
  return 0;
}
