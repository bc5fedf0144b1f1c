// The channel as the device manager drives it: argument checks, the protocol
// choice, and the exchange with the service (message lengths, replies given
// back to the task allocator, the service's failures passed through).
#include "channel/initiator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "channel/credentials.h"
#include "channel/key_container.h"
#include "crypto/bignum/bigerror.h"
#include "tests/channel/channel_test_support.h"

namespace {

// A service root that records each exchange call and answers through a
// real responder, or fails the pass it is told to.
class RecordingPeer final : public IComponentAuthenticate {
 public:
  struct Call {
    DWORD protocol, pass;
    std::vector<BYTE> request;
  };
  std::vector<Call> calls;
  int failPass = -1;  // the pass that fails with `failure`
  HRESULT failure = E_FAIL;
  ULONG references = 1;
  channeltest::ResponderPeer responder;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  HRESULT STDMETHODCALLTYPE SACAuth(DWORD protocol, DWORD pass, BYTE* in, DWORD inLength, BYTE** out,
                                    DWORD* outLength) override {
    calls.push_back({protocol, pass, std::vector<BYTE>(in, in + inLength)});
    *out = nullptr;
    *outLength = 0;
    if (static_cast<int>(pass) == failPass) return failure;
    return responder.SACAuth(protocol, pass, in, inLength, out, outLength);
  }
  HRESULT STDMETHODCALLTYPE SACGetProtocols(DWORD** protocols, DWORD* count) override {
    *protocols = nullptr;
    *count = 0;
    return E_NOTIMPL;
  }
};

// Counts references and frees nothing: a released last reference is seen as
// a count of zero, and the next AddRef on it as use after release.
class CountedPeer final : public IComponentAuthenticate {
 public:
  ULONG references = 1;
  bool usedAfterRelease = false;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    usedAfterRelease = usedAfterRelease || references == 0;
    return ++references;
  }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE SACAuth(DWORD, DWORD, BYTE*, DWORD, BYTE**, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SACGetProtocols(DWORD**, DWORD*) override { return E_NOTIMPL; }
};

const BYTE kZero[1] = {0};

long TaskBlocksOutstanding() {
#ifdef _WIN32
  return 0;  // the real allocator keeps no count
#else
  return TfComTaskMemOutstanding();
#endif
}

TEST(ChannelInitiator, SetCredentialsRefusesMissingBytes) {
  ChannelInitiator channel;
  const BYTE some[4] = {1, 2, 3, 4};
  EXPECT_EQ(channel.setCredentials(2, nullptr, 4, some, 4), E_INVALIDARG);
  EXPECT_EQ(channel.setCredentials(2, some, 0, some, 4), E_INVALIDARG);
  EXPECT_EQ(channel.setCredentials(2, some, 4, nullptr, 4), E_INVALIDARG);
  EXPECT_EQ(channel.setCredentials(2, some, 4, some, 0), E_INVALIDARG);
  EXPECT_EQ(channel.setCredentials(2, some, 4, some, 4), S_OK);
  EXPECT_EQ(channel.setCredentials(2, kZero, 1, kZero, 1), S_OK);  // replaces the first pair
}

TEST(ChannelInitiator, ProtocolIdsOtherThanTwoAreRefused) {
  RecordingPeer peer;
  ChannelInitiator channel;
  ASSERT_EQ(channel.setCredentials(2, kZero, 1, kZero, 1), S_OK);
  channel.attachPeer(&peer);
  EXPECT_EQ(channel.authenticate(1), E_NOTIMPL);
  for (DWORD id : {0u, 3u, 0x80000002u, 0xFFFFFFFFu}) EXPECT_EQ(channel.authenticate(id), E_INVALIDARG) << id;
  EXPECT_TRUE(peer.calls.empty());
  EXPECT_FALSE(channel.isAuthenticated());
}

TEST(ChannelInitiator, AttachingTheSamePeerAgainKeepsItAlive) {
  CountedPeer peer;
  {
    ChannelInitiator channel;
    EXPECT_EQ(channel.attachPeer(&peer), 2u);
    peer.Release();  // the channel now holds the last reference
    EXPECT_EQ(channel.attachPeer(&peer), 2u);
    EXPECT_FALSE(peer.usedAfterRelease) << "the new reference is taken before the old one goes";
    EXPECT_EQ(peer.references, 1u);
  }
  EXPECT_EQ(peer.references, 0u);
  EXPECT_FALSE(peer.usedAfterRelease);
}

TEST(ChannelInitiator, AttachPeerKeepsOneReferenceUntilDestroyed) {
  CountedPeer peer, other;
  {
    ChannelInitiator channel;
    EXPECT_EQ(channel.attachPeer(&peer), 2u);
    EXPECT_EQ(channel.attachPeer(&other), 2u);
    EXPECT_EQ(peer.references, 1u) << "a replaced peer is released";
  }
  EXPECT_EQ(other.references, 1u);
}

TEST(ChannelInitiator, WithoutAPeerNothingIsSent) {
  ChannelInitiator noPeer;
  ASSERT_EQ(noPeer.setCredentials(2, kZero, 1, kZero, 1), S_OK);
  EXPECT_EQ(noPeer.authenticate(2), E_POINTER);
}

// Without credentials the handshake goes as far as its own key: pass 0 is
// answered and checked and the peer's certificate kept, then it ends with
// E_FAIL before pass 1.
TEST(ChannelInitiator, WithoutCredentialsItEndsAtItsOwnKeyAfterPassZero) {
  BigErrorResetForTests();
  const long before = TaskBlocksOutstanding();
  RecordingPeer peer;
  {
    ChannelInitiator channel;
    channel.attachPeer(&peer);
    EXPECT_EQ(channel.authenticate(2), E_FAIL);
    ASSERT_EQ(peer.calls.size(), 1u);
    EXPECT_EQ(peer.calls[0].pass, 0u);
    BYTE certificate[100];
    DWORD length = sizeof certificate;
    ASSERT_EQ(channel.peerCertificate(certificate, &length), S_OK);
    EXPECT_EQ(std::vector<BYTE>(certificate, certificate + 100), channeltest::ServiceCertificate());
    EXPECT_FALSE(channel.isAuthenticated());
  }
  EXPECT_EQ(TaskBlocksOutstanding(), before);
}

TEST(ChannelInitiator, ZeroPlaceholdersSendTheBuiltInCertificate) {
  BigErrorResetForTests();
  const long before = TaskBlocksOutstanding();
  RecordingPeer peer;
  {
    ChannelInitiator channel;
    ASSERT_EQ(channel.setCredentials(2, kZero, 1, kZero, 1), S_OK);
    channel.attachPeer(&peer);
    ASSERT_EQ(channel.authenticate(2), S_OK);
    EXPECT_TRUE(channel.isAuthenticated());
  }
  ASSERT_EQ(peer.calls.size(), 2u);
  EXPECT_EQ(peer.calls[0].protocol, 2u);
  EXPECT_EQ(peer.calls[0].pass, 0u);
  EXPECT_EQ(peer.calls[0].request.size(), 4u);
  EXPECT_EQ(peer.calls[1].protocol, 2u);
  EXPECT_EQ(peer.calls[1].pass, 1u);
  ASSERT_EQ(peer.calls[1].request.size(), 140u);
  EXPECT_EQ(std::memcmp(peer.calls[1].request.data() + 40, kBuiltinChannelCertificate, 100), 0);
  EXPECT_EQ(TaskBlocksOutstanding(), before) << "replies go back to the task allocator";
  EXPECT_EQ(peer.references, 1u);
}

TEST(ChannelInitiator, OwnCredentialsAreSentAsGiven) {
  BigErrorResetForTests();
  RecordingPeer peer;
  ChannelInitiator channel;
  // The service's own pair is as good a pair as the program's.
  const std::vector<BYTE> certificate = channeltest::ServiceCertificate();
  const std::vector<BYTE> keys = channeltest::ServiceKeyContainer();
  ASSERT_EQ(channel.setCredentials(2, certificate.data(), 100, keys.data(), 4096), S_OK);
  channel.attachPeer(&peer);
  ASSERT_EQ(channel.authenticate(2), S_OK);
  ASSERT_EQ(peer.calls.size(), 2u);
  ASSERT_EQ(peer.calls[1].request.size(), 140u);
  EXPECT_EQ(std::vector<BYTE>(peer.calls[1].request.begin() + 40, peer.calls[1].request.end()), certificate);
  DWORD own = 0;
  channel.securityLevels(&own, nullptr);
  EXPECT_EQ(own, 10u);
}

// The key in the container is any 160-bit number but a multiple of n: the
// program's key plus n signs and opens the key transport as the key itself
// does; 0 and n have no public key and end the handshake before pass 1, as
// does a container that holds more than 20 key bytes.
TEST(ChannelInitiator, KeyContainerKeys) {
  BYTE programKey[20];
  ASSERT_EQ(KeyContainerExtract(kBuiltinKeyContainer, 4096, programKey), S_OK);
  const std::vector<BYTE> n = channeltest::Wire("89abcdef012345672716b26eec14904428c2a675");
  std::vector<BYTE> plusN(20);
  unsigned carry = 0;
  for (int i = 0; i < 20; ++i) {
    carry += programKey[i] + n[i];
    plusN[i] = static_cast<BYTE>(carry);
    carry >>= 8;
  }
  ASSERT_EQ(carry, 0u) << "the program's key plus n fits 160 bits";
  struct Case {
    const char* what;
    std::vector<BYTE> key;
    HRESULT result;
    size_t calls;
  };
  const Case cases[] = {
      {"the key plus n", plusN, S_OK, 2},
      {"n", n, E_FAIL, 1},
      {"0", std::vector<BYTE>(20, 0), E_FAIL, 1},
  };
  for (const Case& c : cases) {
    BigErrorResetForTests();
    std::vector<BYTE> container(4096, 0x11);
    KeyContainerWrap(c.key.data(), 0x2468, container.data());
    RecordingPeer peer;
    ChannelInitiator channel;
    ASSERT_EQ(channel.setCredentials(2, kBuiltinChannelCertificate, 100, container.data(), 4096), S_OK);
    channel.attachPeer(&peer);
    EXPECT_EQ(channel.authenticate(2), c.result) << c.what;
    EXPECT_EQ(peer.calls.size(), c.calls) << c.what;
    EXPECT_EQ(channel.isAuthenticated(), c.result == S_OK) << c.what;
  }
  std::vector<BYTE> tooLong(4096, 0x11);
  tooLong[4095] = 21;  // 21 key bytes
  RecordingPeer peer;
  ChannelInitiator channel;
  ASSERT_EQ(channel.setCredentials(2, kBuiltinChannelCertificate, 100, tooLong.data(), 4096), S_OK);
  channel.attachPeer(&peer);
  EXPECT_EQ(channel.authenticate(2), E_FAIL);
  EXPECT_EQ(peer.calls.size(), 1u);
}

TEST(ChannelInitiator, ServiceFailuresArePassedThrough) {
  const HRESULT kRefused = static_cast<HRESULT>(0x80045005u);
  for (int failing : {0, 1}) {
    BigErrorResetForTests();
    const long before = TaskBlocksOutstanding();
    RecordingPeer peer;
    peer.failPass = failing;
    peer.failure = kRefused;
    ChannelInitiator channel;
    ASSERT_EQ(channel.setCredentials(2, kZero, 1, kZero, 1), S_OK);
    channel.attachPeer(&peer);
    EXPECT_EQ(channel.authenticate(2), kRefused) << failing;
    EXPECT_EQ(peer.calls.size(), static_cast<size_t>(failing + 1)) << "nothing after a refusal";
    EXPECT_FALSE(channel.isAuthenticated());
    EXPECT_EQ(TaskBlocksOutstanding(), before);
  }
}

}  // namespace
