// Data protection on a channel object: buffer encryption and MAC slots over
// the session key, with known answers for the MAC computed independently.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "channel/initiator.h"
#include "channel/mac.h"
#include "channel/responder.h"

namespace {

const BYTE kSessionKey[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};

std::string Hex(const BYTE* p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) s += {digits[p[i] >> 4], digits[p[i] & 15]};
  return s;
}

std::vector<BYTE> Counting(size_t n) {
  std::vector<BYTE> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<BYTE>(i);
  return v;
}

// MAC of `data` appended in pieces of the given sizes (the rest in one piece).
std::string MacOf(ChannelInitiator& channel, const std::vector<BYTE>& data, std::vector<size_t> pieces = {}) {
  DWORD slot = 99;
  EXPECT_EQ(channel.macBegin(&slot), S_OK);
  size_t at = 0;
  for (size_t piece : pieces) {
    EXPECT_EQ(channel.macAppend(slot, data.data() + at, static_cast<DWORD>(piece)), S_OK);
    at += piece;
  }
  if (at < data.size()) {
    EXPECT_EQ(channel.macAppend(slot, data.data() + at, static_cast<DWORD>(data.size() - at)), S_OK);
  }
  BYTE mac[8];
  EXPECT_EQ(channel.macFinish(slot, mac), S_OK);
  return Hex(mac, 8);
}

TEST(ChannelMac, KeyWordsFromTheSessionKey) {
  DWORD words[12];
  MacKeyDerive(kSessionKey, words);
  const DWORD expected[12] = {0xe7c29475, 0x79084b11, 0x53d54b0d, 0xfc1e8f33, 0x48e81a9b, 0x773c808f,
                              0xb7483553, 0xd9cb8c77, 0x2a8c8bc7, 0x0967ada9, 0xd4520f5d, 0xd0c3279d};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(words[i], expected[i]) << "k" << i;
}

TEST(ChannelMac, KnownAnswers) {
  ChannelInitiator channel;
  ASSERT_EQ(channel.setSessionKey(kSessionKey), S_OK);
  EXPECT_EQ(MacOf(channel, {}), "0000000000000000");
  EXPECT_EQ(MacOf(channel, Counting(8)), "f0b3540eefe3b971");
  EXPECT_EQ(MacOf(channel, Counting(13)), "7fdc9be2d0261d33");
  const std::vector<BYTE> long_ = Counting(1000);
  for (const std::vector<size_t>& pieces :
       std::vector<std::vector<size_t>>{{}, {1}, {3, 5}, {7, 1, 8, 9}, {999}, {8, 8, 8, 8, 8, 8, 8, 8, 1}, {13, 500}})
    EXPECT_EQ(MacOf(channel, long_, pieces), "27c9d0855a4be088") << "pieces " << pieces.size();
}

TEST(ChannelMac, TwentySlotsAndTheirRefusals) {
  ChannelInitiator channel;
  DWORD slot = 0;
  EXPECT_EQ(channel.macBegin(&slot), E_INVALIDARG) << "no session key yet";
  ASSERT_EQ(channel.setSessionKey(kSessionKey), S_OK);
  EXPECT_EQ(channel.macBegin(nullptr), E_INVALIDARG);
  for (DWORD i = 0; i < 20; ++i) {
    ASSERT_EQ(channel.macBegin(&slot), S_OK);
    EXPECT_EQ(slot, i);
  }
  EXPECT_EQ(channel.macBegin(&slot), E_FAIL);
  BYTE mac[8];
  const BYTE data[3] = {1, 2, 3};
  ASSERT_EQ(channel.macFinish(7, mac), S_OK);
  EXPECT_EQ(channel.macAppend(7, data, 3), E_INVALIDARG) << "a finished slot is free";
  EXPECT_EQ(channel.macFinish(7, mac), E_INVALIDARG);
  ASSERT_EQ(channel.macBegin(&slot), S_OK);
  EXPECT_EQ(slot, 7u);
  EXPECT_EQ(channel.macAppend(20, data, 3), E_INVALIDARG);
  EXPECT_EQ(channel.macAppend(3, nullptr, 3), E_INVALIDARG);
  EXPECT_EQ(channel.macAppend(3, data, 0), E_INVALIDARG);
  EXPECT_EQ(channel.macFinish(20, mac), E_INVALIDARG);
  EXPECT_EQ(channel.macFinish(3, nullptr), E_POINTER);
  EXPECT_EQ(channel.macFinish(3, mac), S_OK) << "a refused output leaves the slot in use";
}

TEST(ChannelMac, ANewSessionKeyGivesNewCodes) {
  ChannelInitiator channel;
  ASSERT_EQ(channel.setSessionKey(kSessionKey), S_OK);
  const std::string first = MacOf(channel, Counting(8));
  BYTE other[8];
  std::memcpy(other, kSessionKey, 8);
  other[0] ^= 0x80;
  ASSERT_EQ(channel.setSessionKey(other), S_OK);
  EXPECT_NE(MacOf(channel, Counting(8)), first);
  ASSERT_EQ(channel.setSessionKey(kSessionKey), S_OK);
  EXPECT_EQ(MacOf(channel, Counting(8)), first);
}

TEST(ChannelBuffer, ResultsAndWhatStaysUnchanged) {
  ChannelInitiator channel;
  std::vector<BYTE> buffer = Counting(13);
  EXPECT_EQ(channel.encryptBuffer(buffer.data(), 13), E_INVALIDARG) << "no session key yet";
  ASSERT_EQ(channel.setSessionKey(kSessionKey), S_OK);
  EXPECT_EQ(channel.encryptBuffer(nullptr, 8), E_INVALIDARG);
  EXPECT_EQ(channel.decryptBuffer(buffer.data(), 0), E_INVALIDARG);

  std::vector<BYTE> seven = Counting(7);
  EXPECT_EQ(channel.encryptBuffer(seven.data(), 7), S_FALSE);
  EXPECT_EQ(channel.decryptBuffer(seven.data(), 7), S_FALSE);
  EXPECT_EQ(seven, Counting(7));

  ASSERT_EQ(channel.encryptBuffer(buffer.data(), 13), S_OK);
  EXPECT_NE(std::vector<BYTE>(buffer.begin(), buffer.begin() + 8), Counting(8));
  const std::vector<BYTE> plain = Counting(13);
  EXPECT_EQ(std::vector<BYTE>(buffer.begin() + 8, buffer.end()), std::vector<BYTE>(plain.begin() + 8, plain.end()));
  ASSERT_EQ(channel.decryptBuffer(buffer.data(), 13), S_OK);
  EXPECT_EQ(buffer, Counting(13));
}

TEST(ChannelBuffer, EachCallStartsFromAZeroRegister) {
  ChannelInitiator channel;
  ASSERT_EQ(channel.setSessionKey(kSessionKey), S_OK);
  std::vector<BYTE> a(16, 0x5a), b(16, 0x5a);
  ASSERT_EQ(channel.encryptBuffer(a.data(), 16), S_OK);
  ASSERT_EQ(channel.encryptBuffer(b.data(), 16), S_OK);
  EXPECT_EQ(a, b);
  EXPECT_NE(std::vector<BYTE>(a.begin(), a.begin() + 8), std::vector<BYTE>(a.begin() + 8, a.end()))
      << "equal plaintext blocks chain into different ciphertext blocks";
}

// A new session key takes over the buffer cipher from the next call, on
// either end, although the cipher was already built from the old key.
template <typename Channel>
void ExpectANewKeyEncryptsFromTheNextCall() {
  BYTE other[8];
  std::memcpy(other, kSessionKey, 8);
  other[7] ^= 0x10;
  Channel reference;
  ASSERT_EQ(reference.setSessionKey(other), S_OK);
  std::vector<BYTE> expected = Counting(16);
  ASSERT_EQ(reference.encryptBuffer(expected.data(), 16), S_OK);

  for (bool encrypting : {true, false}) {
    Channel channel;
    ASSERT_EQ(channel.setSessionKey(kSessionKey), S_OK);
    std::vector<BYTE> scratch = Counting(16);
    ASSERT_EQ(channel.encryptBuffer(scratch.data(), 16), S_OK);  // builds the cipher from the first key
    ASSERT_EQ(channel.setSessionKey(other), S_OK);
    std::vector<BYTE> buffer = encrypting ? Counting(16) : expected;
    if (encrypting) {
      ASSERT_EQ(channel.encryptBuffer(buffer.data(), 16), S_OK);
      EXPECT_EQ(buffer, expected);
    } else {
      ASSERT_EQ(channel.decryptBuffer(buffer.data(), 16), S_OK);
      EXPECT_EQ(buffer, Counting(16));
    }
  }
}

TEST(ChannelBuffer, ANewSessionKeyEncryptsFromTheNextCall) {
  {
    SCOPED_TRACE("initiator");
    ExpectANewKeyEncryptsFromTheNextCall<ChannelInitiator>();
  }
  {
    SCOPED_TRACE("responder");
    ExpectANewKeyEncryptsFromTheNextCall<ChannelResponder>();
  }
}

TEST(ChannelObject, SessionKeyAndCertificateQueries) {
  ChannelInitiator channel;
  BYTE key[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_EQ(channel.sessionKey(key), E_INVALIDARG) << "no key set yet";
  EXPECT_EQ(key[0], 9) << "output left alone";
  EXPECT_EQ(channel.setSessionKey(nullptr), E_INVALIDARG);
  ASSERT_EQ(channel.setSessionKey(kSessionKey), S_OK);
  EXPECT_EQ(channel.sessionKey(nullptr), E_INVALIDARG);
  ASSERT_EQ(channel.sessionKey(key), S_OK);
  EXPECT_EQ(std::memcmp(key, kSessionKey, 8), 0);

  DWORD own = 77, peer = 77;
  EXPECT_EQ(channel.securityLevels(&own, &peer), S_OK);
  EXPECT_EQ(own, 77u) << "no certificate yet";
  EXPECT_EQ(peer, 77u);
  const BYTE zero[1] = {0};
  ASSERT_EQ(channel.setCredentials(2, zero, 1, zero, 1), S_OK);
  EXPECT_EQ(channel.securityLevels(&own, nullptr), S_OK);
  EXPECT_EQ(own, 1u) << "the built-in certificate's level";

  DWORD length = 0;
  EXPECT_EQ(channel.peerCertificate(nullptr, &length), S_OK);
  EXPECT_EQ(length, 100u);
  BYTE certificate[100];
  length = 100;
  EXPECT_EQ(channel.peerCertificate(certificate, &length), E_FAIL) << "none received yet";
}

}  // namespace
