// The channel's curve work with known answers computed independently from
// the protocol's text, and the whole handshake of an initiator against a
// responder in one process.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

    // A second handshake on the same objects works and replaces the key.
    ASSERT_EQ(channel.authenticate(2), S_OK);
    BYTE again[8];
    ASSERT_EQ(channel.sessionKey(again), S_OK);
    EXPECT_NE(std::memcmp(again, ours, 8), 0);

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
