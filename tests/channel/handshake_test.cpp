// The channel's curve work with known answers computed independently from
// the protocol's text, and the whole handshake of an initiator against a
// responder in one process.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "channel/credentials.h"
#include "channel/curve_lock.h"
#include "channel/ecdsa_elgamal.h"
#include "channel/initiator.h"
#include "crypto/bignum/bigalloc.h"
#include "crypto/bignum/bigerror.h"
#include "crypto/bignum/bigrandom_testing.h"
#include "crypto/bignum/mulplan.h"
#include "crypto/random/random.h"
#include "crypto/random/random_state.h"
#include "platform/processor.h"
#include "tests/channel/channel_test_support.h"

#ifndef _WIN32
#include "platform/localheap.h"
#endif

namespace {

using channeltest::Hex;
using channeltest::Ordinary;
using channeltest::Wire;

const char kN[] = "89abcdef012345672716b26eec14904428c2a675";

// The channel's curve context with the lock held, for direct calls.
class CurveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BigErrorResetForTests();
    curve_ = channeltest::OpenHeldCurve();
    ASSERT_NE(curve_, nullptr);
  }
  void TearDown() override {
    channeltest::CloseHeldCurve(curve_);
    EXPECT_EQ(BigLiveBlocks(), 0);
  }
  ChannelCurve* curve_ = nullptr;
};

const std::vector<BYTE> kD = Wire("1234567890abcdef1234567890abcdef12345678");
const std::vector<BYTE> kK = Wire("0fedcba9876543210fedcba9876543210fedcba9");
const BYTE kAbc[3] = {'a', 'b', 'c'};

TEST_F(CurveTest, PublicKeyAndSignatureKnownAnswers) {
  BYTE point[40];
  ASSERT_TRUE(ChannelPublicKey(curve_, kD.data(), point));
  EXPECT_EQ(Ordinary(point, 20), "7238a15eff9a70212c7d407a58275d3386f97a42");
  EXPECT_EQ(Ordinary(point + 20, 20), "163db0db842ff3b79f41ef7817e362c1d66566c2");

  BYTE signature[40];
  ASSERT_TRUE(ChannelSignWithNonce(curve_, kD.data(), kK.data(), kAbc, 3, signature));
  EXPECT_EQ(Ordinary(signature, 20), "1ae2d77a467fd885afe2a1152e709a9e7064c441");
  EXPECT_EQ(Ordinary(signature + 20, 20), "36801effbe5e312063551085dae433c0ef242987");
  EXPECT_EQ(Hex(signature, 40), "41c464709e9a702e15a1e2af85d87f467ad7e21a872924efc033e4da8510556320315ebeff1e8036");
  EXPECT_TRUE(ChannelVerify(curve_, point, kAbc, 3, signature));
}

TEST_F(CurveTest, VerificationRefusesEveryBrokenPart) {
  BYTE point[40], good[40];
  ASSERT_TRUE(ChannelPublicKey(curve_, kD.data(), point));
  ASSERT_TRUE(ChannelSign(curve_, kD.data(), kAbc, 3, good));
  ASSERT_TRUE(ChannelVerify(curve_, point, kAbc, 3, good));
  const std::vector<BYTE> n = Wire(kN), zero(20, 0);
  struct Case {
    const char* name;
    int half;  // 0: r, 1: s, -1: none
    std::vector<BYTE> value;
  };
  std::vector<BYTE> nPlusR = n;
  for (const Case& c : {Case{"r = 0", 0, zero}, Case{"s = 0", 1, zero}, Case{"r = n", 0, n}, Case{"s = n", 1, n}}) {
    BYTE bad[40];
    std::memcpy(bad, good, 40);
    std::memcpy(bad + 20 * c.half, c.value.data(), 20);
    EXPECT_FALSE(ChannelVerify(curve_, point, kAbc, 3, bad)) << c.name;
  }
  BYTE flipped[40];
  std::memcpy(flipped, good, 40);
  flipped[0] ^= 1;
  EXPECT_FALSE(ChannelVerify(curve_, point, kAbc, 3, flipped)) << "another r";
  const BYTE abd[3] = {'a', 'b', 'd'};
  EXPECT_FALSE(ChannelVerify(curve_, point, abd, 3, good)) << "another message";
  BYTE offCurve[40];
  std::memcpy(offCurve, point, 40);
  offCurve[20] ^= 1;
  EXPECT_FALSE(ChannelVerify(curve_, offCurve, kAbc, 3, good)) << "a key off the curve";
}

const char kP[] = "89abcdef012345672718281831415926141424f7";

// a + b over 20 wire bytes; the sums used here fit.
std::vector<BYTE> Plus(const BYTE* a, const std::vector<BYTE>& b) {
  std::vector<BYTE> sum(20);
  unsigned carry = 0;
  for (int i = 0; i < 20; ++i) {
    carry += a[i] + b[i];
    sum[i] = static_cast<BYTE>(carry);
    carry >>= 8;
  }
  EXPECT_EQ(carry, 0u);
  return sum;
}

// A number is taken as it stands, never reduced: a signature half plus n and
// a coordinate plus p are refused, although they reduce to the values of a
// valid signature and key. The known-answer signature and key are small
// enough for both sums to fit.
TEST_F(CurveTest, NumbersAtOrAboveTheirBoundAreRefusedNotReduced) {
  BYTE point[40], signature[40];
  ASSERT_TRUE(ChannelPublicKey(curve_, kD.data(), point));
  ASSERT_TRUE(ChannelSignWithNonce(curve_, kD.data(), kK.data(), kAbc, 3, signature));
  ASSERT_TRUE(ChannelVerify(curve_, point, kAbc, 3, signature));
  const std::vector<BYTE> n = Wire(kN), p = Wire(kP);
  const struct {
    const char* what;
    BYTE* number;  // the signature's or the key's 20 bytes that get the bound added
    const std::vector<BYTE>& bound;
  } cases[] = {
      {"r + n", signature, n},
      {"s + n", signature + 20, n},
      {"x + p", point, p},
      {"y + p", point + 20, p},
  };
  for (const auto& c : cases) {
    BYTE saved[20];
    std::memcpy(saved, c.number, 20);
    const std::vector<BYTE> sum = Plus(c.number, c.bound);
    std::memcpy(c.number, sum.data(), 20);
    EXPECT_FALSE(ChannelVerify(curve_, point, kAbc, 3, signature)) << c.what;
    std::memcpy(c.number, saved, 20);
  }
}

// Any 160-bit private key serves, a key plus n as the key itself: the same
// public key, signature and opened session key.
TEST_F(CurveTest, AKeyAboveTheOrderWorksAsItsResidue) {
  const std::vector<BYTE> above = Plus(kD.data(), Wire(kN));
  BYTE point[40], pointAbove[40], signature[40], signatureAbove[40];
  ASSERT_TRUE(ChannelPublicKey(curve_, kD.data(), point));
  ASSERT_TRUE(ChannelPublicKey(curve_, above.data(), pointAbove));
  EXPECT_EQ(Hex(pointAbove, 40), Hex(point, 40));
  ASSERT_TRUE(ChannelSignWithNonce(curve_, kD.data(), kK.data(), kAbc, 3, signature));
  ASSERT_TRUE(ChannelSignWithNonce(curve_, above.data(), kK.data(), kAbc, 3, signatureAbove));
  EXPECT_EQ(Hex(signatureAbove, 40), Hex(signature, 40));
  const BYTE sessionKey[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  BYTE sealed[80], key[8];
  ASSERT_TRUE(ChannelKeySeal(curve_, point, sessionKey, sealed));
  ASSERT_TRUE(ChannelKeyOpen(curve_, above.data(), sealed, sealed + 40, key));
  EXPECT_EQ(Hex(key, 8), Hex(sessionKey, 8));
}

// C1 and C2 are taken as they stand too: a coordinate plus p is refused.
TEST_F(CurveTest, KeyTransportPointsAtOrAbovePAreRefused) {
  BYTE point[40], sealed[80], key[8];
  const BYTE sessionKey[8] = {8, 7, 6, 5, 4, 3, 2, 1};
  ASSERT_TRUE(ChannelPublicKey(curve_, kD.data(), point));
  const std::vector<BYTE> p = Wire(kP);
  // A sealing whose four coordinates are all small enough to take p.
  auto fits = [&] {
    for (int i = 0; i < 4; ++i)
      if (sealed[20 * i + 19] >= 0x76) return false;  // 2^160 - p starts 0x7654
    return true;
  };
  int attempts = 0;
  do {
    ASSERT_TRUE(ChannelKeySeal(curve_, point, sessionKey, sealed));
  } while (!fits() && ++attempts < 200);
  ASSERT_TRUE(fits());
  ASSERT_TRUE(ChannelKeyOpen(curve_, kD.data(), sealed, sealed + 40, key));
  const char* what[4] = {"C1.x + p", "C1.y + p", "C2.x + p", "C2.y + p"};
  for (int i = 0; i < 4; ++i) {
    BYTE changed[80];
    std::memcpy(changed, sealed, 80);
    const std::vector<BYTE> sum = Plus(sealed + 20 * i, p);
    std::memcpy(changed + 20 * i, sum.data(), 20);
    EXPECT_FALSE(ChannelKeyOpen(curve_, kD.data(), changed, changed + 40, key)) << what[i];
  }
}

TEST_F(CurveTest, NonceAndKeyBounds) {
  BYTE signature[40];
  const std::vector<BYTE> n = Wire(kN), zero(20, 0);
  EXPECT_FALSE(ChannelSignWithNonce(curve_, kD.data(), n.data(), kAbc, 3, signature)) << "k = n puts k·G at infinity";
  EXPECT_FALSE(ChannelSignWithNonce(curve_, kD.data(), zero.data(), kAbc, 3, signature));
  EXPECT_FALSE(ChannelSignWithNonce(curve_, zero.data(), kK.data(), kAbc, 3, signature)) << "d = 0";
  EXPECT_FALSE(ChannelSignWithNonce(curve_, n.data(), kK.data(), kAbc, 3, signature)) << "d = n";
}

TEST_F(CurveTest, KeyTransportRoundTrip) {
  BYTE point[40], sealed[80], key[8];
  const BYTE sessionKey[8] = {0xde, 0xad, 0xbe, 0xef, 0x01, 0x02, 0x03, 0x04};
  ASSERT_TRUE(ChannelPublicKey(curve_, kD.data(), point));
  ASSERT_TRUE(ChannelKeySeal(curve_, point, sessionKey, sealed));
  ASSERT_TRUE(ChannelKeyOpen(curve_, kD.data(), sealed, sealed + 40, key));
  EXPECT_EQ(std::memcmp(key, sessionKey, 8), 0);
  EXPECT_FALSE(ChannelKeySeal(curve_, point, sessionKey, sealed, 0)) << "no counter tried, no key point";
  sealed[60] ^= 1;
  EXPECT_FALSE(ChannelKeyOpen(curve_, kD.data(), sealed, sealed + 40, key)) << "C2 off the curve";
  sealed[60] ^= 1;
  sealed[20] ^= 1;
  EXPECT_FALSE(ChannelKeyOpen(curve_, kD.data(), sealed, sealed + 40, key)) << "C1 off the curve";
}

TEST(ChannelThreshold, FollowsTheProcessor) {
  EXPECT_EQ(ChannelThresholdForProcessor(386, 6), 4u);
  EXPECT_EQ(ChannelThresholdForProcessor(486, 6), 4u);
  EXPECT_EQ(ChannelThresholdForProcessor(586, 5), 4u);
  EXPECT_EQ(ChannelThresholdForProcessor(586, 6), 12u);

  // Each context sets it from what the platform reports.
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const DWORD expected = ChannelThresholdForProcessor(info.dwProcessorType, info.wProcessorLevel);
  MulPlanSetThreshold(expected == 4 ? 12 : 4);
  ChannelLockJoin();
  ChannelLockEnter();
  ChannelCurveDestroy(ChannelCurveCreate());
  ChannelLockExit();
  ChannelLockLeave();
  EXPECT_EQ(KaratsubaThreshold(), expected);
}

long TaskBlocks() {
#ifdef _WIN32
  return 0;
#else
  return TfComTaskMemOutstanding();
#endif
}

long HeapBlocks() {
#ifdef _WIN32
  return 0;
#else
  return TfLocalHeapOutstanding();
#endif
}

// The initiator as the device manager sets it up: the built-in pair (one
// zero byte each) and the service attached.
::testing::AssertionResult UseBuiltInPair(ChannelInitiator* channel, channeltest::ResponderPeer* peer) {
  const BYTE zero[1] = {0};
  if (channel->setCredentials(2, zero, 1, zero, 1) != S_OK) {
    return ::testing::AssertionFailure() << "the built-in pair was refused";
  }
  channel->attachPeer(peer);
  return ::testing::AssertionSuccess();
}

TEST(Handshake, InitiatorAndResponderAgreeOnTheSessionKey) {
  BigErrorResetForTests();
  const long task = TaskBlocks(), heap = HeapBlocks();
  channeltest::ResponderPeer peer;
  {
    ChannelInitiator channel;
    ASSERT_TRUE(UseBuiltInPair(&channel, &peer));
    ASSERT_EQ(channel.authenticate(2), S_OK);
    EXPECT_TRUE(channel.isAuthenticated());
    EXPECT_TRUE(peer.responder.isAuthenticated());
    BYTE ours[8], theirs[8];
    ASSERT_EQ(channel.sessionKey(ours), S_OK);
    ASSERT_EQ(peer.responder.sessionKey(theirs), S_OK);
    EXPECT_EQ(std::memcmp(ours, theirs, 8), 0);

    DWORD own = 0, service = 0;
    channel.securityLevels(&own, &service);
    EXPECT_EQ(own, 1u);
    EXPECT_EQ(service, 10u);
    BYTE certificate[100];
    DWORD length = 99;
    EXPECT_EQ(channel.peerCertificate(certificate, &length), kChannelBufferTooSmall);
    length = 100;
    ASSERT_EQ(channel.peerCertificate(certificate, &length), S_OK);
    EXPECT_EQ(std::vector<BYTE>(certificate, certificate + 100), channeltest::ServiceCertificate());

    // Both ends protect data alike with the key they agreed on.
    std::vector<BYTE> data(24, 0x42);
    ASSERT_EQ(channel.encryptBuffer(data.data(), 24), S_OK);
    ASSERT_EQ(peer.responder.decryptBuffer(data.data(), 24), S_OK);
    EXPECT_EQ(data, std::vector<BYTE>(24, 0x42));

    // A second handshake on the same objects works and replaces the key,
    // which both ends then use (each built its cipher from the first key).
    ASSERT_EQ(channel.authenticate(2), S_OK);
    BYTE again[8];
    ASSERT_EQ(channel.sessionKey(again), S_OK);
    EXPECT_NE(std::memcmp(again, ours, 8), 0);
    ASSERT_EQ(channel.encryptBuffer(data.data(), 24), S_OK);
    ASSERT_EQ(peer.responder.decryptBuffer(data.data(), 24), S_OK);
    EXPECT_EQ(data, std::vector<BYTE>(24, 0x42)) << "initiator to responder";
    ASSERT_EQ(peer.responder.encryptBuffer(data.data(), 24), S_OK);
    ASSERT_EQ(channel.decryptBuffer(data.data(), 24), S_OK);
    EXPECT_EQ(data, std::vector<BYTE>(24, 0x42)) << "responder to initiator";

    // A failing one leaves the flag as it was.
    peer.responder.setTrustedRoot(certificate + 48);  // the service's own key
    EXPECT_EQ(channel.authenticate(2), E_FAIL);
    EXPECT_TRUE(channel.isAuthenticated());
  }
  EXPECT_EQ(peer.references, 1u);
  EXPECT_EQ(ChannelLockUseCount(), 0);
  EXPECT_EQ(BigLiveBlocks(), 0);
  EXPECT_EQ(TaskBlocks(), task);
  EXPECT_EQ(HeapBlocks(), heap);
  EXPECT_EQ(BigError(), 0u);
}

#ifndef _WIN32
TEST(Handshake, NoRoomForTheCurveContextIsOutOfMemory) {
  BigErrorResetForTests();
  channeltest::ResponderPeer peer;
  ChannelInitiator channel;
  ASSERT_TRUE(UseBuiltInPair(&channel, &peer));
  TfLocalHeapFailAfter(0);
  const HRESULT hr = channel.authenticate(2);
  TfLocalHeapFailAfter(-1);
  EXPECT_EQ(hr, E_OUTOFMEMORY);
  EXPECT_FALSE(peer.responder.isAuthenticated()) << "nothing was sent";
  EXPECT_EQ(ChannelLockUseCount(), 0);
  EXPECT_EQ(BigLiveBlocks(), 0);
}
#endif

// Random bytes that cannot be had end the handshake with E_FAIL wherever they
// are needed: the challenge (the generator itself refuses) and the
// signature's k (the arithmetic's draw fails after pass 0 was answered).
TEST(Handshake, RandomBytesUnavailableIsFail) {
  struct Case {
    const char* what;
    void (*breakRandom)();
  };
  const Case cases[] = {
      {"challenge",
       [] {
         BYTE started;
         ASSERT_TRUE(randomBytes(&started, 1));
         RandomStateForTests()->pool.dwMagic = 0;  // a damaged pool is refused
       }},
      {"signature", [] { BigRandomUseSourceForTests([](BYTE*, DWORD) -> BOOL { return FALSE; }); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BigErrorResetForTests();
    channeltest::ResponderPeer peer;
    {
      ChannelInitiator channel;
      ASSERT_TRUE(UseBuiltInPair(&channel, &peer));
      c.breakRandom();
      const HRESULT hr = channel.authenticate(2);
      BigRandomUseSourceForTests(nullptr);
      RandomTestReset();
      EXPECT_EQ(hr, E_FAIL);
      EXPECT_FALSE(channel.isAuthenticated());
    }
    EXPECT_FALSE(peer.responder.isAuthenticated()) << "pass 1 was not sent";
    EXPECT_EQ(ChannelLockUseCount(), 0);
    EXPECT_EQ(BigLiveBlocks(), 0);
  }
}

// A signed-length word below 52 has the root signature checked over that
// many bytes only, at both ends: certificates signed over 48 bytes (and
// changed after them) are accepted; the same certificates saying 52 are not.
TEST(Handshake, ASignedLengthBelow52CoversThatManyBytes) {
  const struct {
    const char* what;
    bool service;  // whose certificate: the service's or the program's
    DWORD lengthWord;
    HRESULT result;
  } cases[] = {
      {"the service's, 48", true, 48, S_OK},
      {"the service's, 52", true, 52, E_FAIL},
      {"the program's, 48", false, 48, S_OK},
      {"the program's, 52", false, 52, E_FAIL},
  };
  for (const auto& c : cases) {
    BigErrorResetForTests();
    const std::vector<BYTE> original =
        c.service ? channeltest::ServiceCertificate()
                  : std::vector<BYTE>(kBuiltinChannelCertificate, kBuiltinChannelCertificate + 100);
    std::vector<BYTE> certificate = channeltest::Resigned(original, 48, c.lengthWord);
    certificate[97] ^= 0x5A;  // past the 48 signed bytes
    channeltest::ResponderPeer peer;
    ChannelInitiator channel;
    if (c.service) {
      const std::vector<BYTE> container = channeltest::SimServiceKeyContainer();
      ASSERT_EQ(peer.responder.setCredentials(0, certificate.data(), 100, container.data(), 4096), S_OK);
      ASSERT_TRUE(UseBuiltInPair(&channel, &peer));
    } else {
      ASSERT_EQ(channel.setCredentials(2, certificate.data(), 100, kBuiltinKeyContainer, 4096), S_OK);
      channel.attachPeer(&peer);
    }
    EXPECT_EQ(channel.authenticate(2), c.result) << c.what;
    EXPECT_EQ(peer.responder.isAuthenticated(), c.result == S_OK) << c.what;
  }
}

TEST(Handshake, ResponderRefusesAForeignInitiator) {
  BigErrorResetForTests();
  channeltest::ResponderPeer peer;
  // The service trusts its own key as a root: the program's certificate,
  // signed by the real root, does not verify for it.
  const std::vector<BYTE> certificate = channeltest::ServiceCertificate();
  peer.responder.setTrustedRoot(certificate.data() + 48);
  ChannelInitiator channel;
  ASSERT_TRUE(UseBuiltInPair(&channel, &peer));
  EXPECT_EQ(channel.authenticate(2), E_FAIL);
  EXPECT_FALSE(channel.isAuthenticated());
  EXPECT_FALSE(peer.responder.isAuthenticated());
  EXPECT_EQ(ChannelLockUseCount(), 0);
  EXPECT_EQ(BigLiveBlocks(), 0);
}

}  // namespace
