// The secure channel on its 160-bit curve against OpenSSL on the same curve:
//   - the whole handshake, initiator and responder in one process, against
//     OpenSSL performing the same elliptic-curve work: five verifications
//     (three by the initiator: the service's certificate, its challenge
//     signature and its session-key signature; two by the responder: the
//     program's certificate and its challenge signature), three signatures
//     and the key transport's three point multiplications (k·G, k·Q, d·C1);
//   - one verification, ours against OpenSSL's;
//   - one signature, ours against OpenSSL's.
// Each comparison ends with a ratio (ours / OpenSSL's) from short alternating
// rounds, each side's best round in processor time, as the machine is shared.
#define OPENSSL_SUPPRESS_DEPRECATED  // EC_KEY, ECDSA_do_sign/verify
#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

#include "bench/channel_peer.h"
#include "channel/ecdsa_elgamal.h"
#include "channel/curve_lock.h"
#include "tests/channel/openssl_channel_curve.h"

namespace {

using channeltest::OpenSslBn;

// OpenSSL's side: the curve, a key pair, a signature to verify.
struct OpenSsl {
  EC_GROUP* group;
  EC_KEY* key;
  BYTE digest[20];
  ECDSA_SIG* signature;
  EC_POINT* other;  // a point for the multiplications
  BIGNUM* scalar;

  OpenSsl() {
    group = channeltest::OpenSslChannelGroup();
    key = EC_KEY_new();
    EC_KEY_set_group(key, group);
    EC_KEY_generate_key(key);
    const BYTE message[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    SHA1(message, 8, digest);
    std::reverse(digest, digest + 20);
    signature = ECDSA_do_sign(digest, 20, key);
    other = EC_POINT_dup(EC_KEY_get0_public_key(key), group);
    scalar = OpenSslBn("1234567890abcdef1234567890abcdef12345678");
  }

  bool verify() const { return ECDSA_do_verify(digest, 20, signature, key) == 1; }
  bool sign() const {
    ECDSA_SIG* s = ECDSA_do_sign(digest, 20, key);
    ECDSA_SIG_free(s);
    return s != nullptr;
  }
  bool multiplyBase(EC_POINT* out) const { return EC_POINT_mul(group, out, scalar, nullptr, nullptr, nullptr) == 1; }
  bool multiplyPoint(EC_POINT* out) const { return EC_POINT_mul(group, out, nullptr, other, scalar, nullptr) == 1; }

  // The elliptic-curve work of one handshake.
  bool handshake() const {
    EC_POINT* out = EC_POINT_new(group);
    bool ok = true;
    for (int i = 0; i < 5; ++i) ok = verify() && ok;
    for (int i = 0; i < 3; ++i) ok = sign() && ok;
    ok = multiplyBase(out) && multiplyPoint(out) && multiplyPoint(out) && ok;
    EC_POINT_free(out);
    return ok;
  }
};

OpenSsl& Theirs() {
  static OpenSsl o;
  return o;
}

// Our side of the single operations, with the curve context set up once.
// Each verification builds the table of its key, as every check in a
// handshake does; they take turns among three keys.
struct Ours {
  ChannelCurve* curve;
  BYTE keys[3][20], points[3][40], signatures[3][40];
  const BYTE message[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  int next = 0;
  Ours() {
    ChannelLockJoin();
    ChannelLockEnter();
    curve = ChannelCurveCreate();
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 20; ++j) keys[i][j] = static_cast<BYTE>(0x11 * (i + 1) + j);
      ChannelPublicKey(curve, keys[i], points[i]);
      ChannelSign(curve, keys[i], message, 8, signatures[i]);
    }
  }
  bool verify() {
    next = (next + 1) % 3;
    return ChannelVerify(curve, points[next], message, 8, signatures[next]);
  }
  bool sign() {
    BYTE s[40];
    return ChannelSign(curve, keys[0], message, 8, s);
  }
};

Ours& Mine() {
  static Ours o;
  return o;
}

void BM_OurHandshake(benchmark::State& state) {
  for (auto _ : state)
    if (!channelbench::Handshake()) state.SkipWithError("handshake failed");
}
BENCHMARK(BM_OurHandshake)->Unit(benchmark::kMicrosecond);

void BM_OpenSslHandshakeWork(benchmark::State& state) {
  for (auto _ : state)
    if (!Theirs().handshake()) state.SkipWithError("OpenSSL failed");
}
BENCHMARK(BM_OpenSslHandshakeWork)->Unit(benchmark::kMicrosecond);

void BM_OurVerify(benchmark::State& state) {
  for (auto _ : state)
    if (!Mine().verify()) state.SkipWithError("verify failed");
}
BENCHMARK(BM_OurVerify)->Unit(benchmark::kMicrosecond);

void BM_OpenSslVerify(benchmark::State& state) {
  for (auto _ : state)
    if (!Theirs().verify()) state.SkipWithError("OpenSSL verify failed");
}
BENCHMARK(BM_OpenSslVerify)->Unit(benchmark::kMicrosecond);

void BM_OurSign(benchmark::State& state) {
  for (auto _ : state)
    if (!Mine().sign()) state.SkipWithError("sign failed");
}
BENCHMARK(BM_OurSign)->Unit(benchmark::kMicrosecond);

void BM_OpenSslSign(benchmark::State& state) {
  for (auto _ : state)
    if (!Theirs().sign()) state.SkipWithError("OpenSSL sign failed");
}
BENCHMARK(BM_OpenSslSign)->Unit(benchmark::kMicrosecond);

// This thread's processor time in microseconds: on a shared machine the wall
// clock also counts the time other programs had the processor.
double ThreadMicros() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

// Best of alternating rounds for each side, in processor time; prints both
// and the ratio.
void Compare(const char* what, double goal, const std::function<bool()>& ours, const std::function<bool()>& theirs,
             int perRound) {
  double bestOurs = 1e30, bestTheirs = 1e30;
  for (int r = 0; r < 15; ++r) {
    const double t0 = ThreadMicros();
    for (int i = 0; i < perRound; ++i) ours();
    const double t1 = ThreadMicros();
    for (int i = 0; i < perRound; ++i) theirs();
    const double t2 = ThreadMicros();
    bestOurs = std::min(bestOurs, (t1 - t0) / perRound);
    bestTheirs = std::min(bestTheirs, (t2 - t1) / perRound);
  }
  std::printf("%-28s ours %8.1f us, OpenSSL %8.1f us, ratio %.2f (goal <= %.1f)\n", what, bestOurs, bestTheirs,
              bestOurs / bestTheirs, goal);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!channelbench::Handshake() || !Mine().verify() || !Theirs().verify()) {
    std::fprintf(stderr, "setup failed\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  Compare(
      "handshake (both sides)", 1.0, channelbench::Handshake, [] { return Theirs().handshake(); }, 5);
  Compare(
      "verification", 1.0, [] { return Mine().verify(); }, [] { return Theirs().verify(); }, 20);
  Compare(
      "signature", 0.5, [] { return Mine().sign(); }, [] { return Theirs().sign(); }, 20);
  benchmark::Shutdown();
  return 0;
}
