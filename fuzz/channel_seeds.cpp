// Writes the complete exchanges that fuzz_channel's mutations start from:
//   initiator-exchange  the service's two replies to the initiator, recorded
//                       from a responder in a handshake that succeeded
//   responder-exchange  an initiator's challenge and pass-1 request, its
//                       signature made over the responder's challenge
// Both are made with the generator on its fixed sources, started afresh as
// the harness starts it for every input, so that they verify when replayed;
// each is replayed here before it is written.
//
//   channel_fuzz_seeds <directory>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "channel/certificate.h"
#include "channel/credentials.h"
#include "channel/curve_lock.h"
#include "channel/ecdsa_elgamal.h"
#include "channel/initiator.h"
#include "channel/key_container.h"
#include "channel/responder.h"
#include "channel/wire.h"
#include "crypto/bignum/bigrandom_testing.h"
#include "crypto/random/random.h"
#include "crypto/random/random_testing.h"

namespace {

using Bytes = std::vector<BYTE>;

// The service's end with the built-in pair, keeping a copy of each reply.
class RecordingPeer final : public IComponentAuthenticate {
 public:
  RecordingPeer() {
    responder.setCredentials(0, kBuiltinChannelCertificate, 100, kBuiltinKeyContainer, kKeyContainerLength);
  }
  ChannelResponder responder;
  Bytes replies[2];
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SACAuth(DWORD protocol, DWORD pass, BYTE* in, DWORD inLength, BYTE** out,
                                    DWORD* outLength) override {
    const HRESULT hr = responder.exchange(protocol, pass, in, inLength, out, outLength);
    if (SUCCEEDED(hr)) replies[pass & 1].assign(*out, *out + *outLength);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SACGetProtocols(DWORD**, DWORD*) override { return E_NOTIMPL; }
};

HRESULT RunInitiator(IComponentAuthenticate* peer) {
  RandomTestReset();
  ChannelInitiator channel;
  channel.setCredentials(2, kBuiltinChannelCertificate, 100, kBuiltinKeyContainer, kKeyContainerLength);
  channel.attachPeer(peer);
  return channel.authenticate(2);
}

// Replays the service's replies as the harness does.
class ReplayPeer final : public IComponentAuthenticate {
 public:
  Bytes replies[2];
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SACAuth(DWORD, DWORD pass, BYTE*, DWORD, BYTE** out, DWORD* outLength) override {
    const Bytes& reply = replies[pass & 1];
    *out = static_cast<BYTE*>(CoTaskMemAlloc(reply.size()));
    std::memcpy(*out, reply.data(), reply.size());
    *outLength = static_cast<DWORD>(reply.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SACGetProtocols(DWORD**, DWORD*) override { return E_NOTIMPL; }
};

bool InitiatorExchange(Bytes* input) {
  RecordingPeer recorder;
  if (RunInitiator(&recorder) != S_OK) return false;
  ReplayPeer replay;
  replay.replies[0] = recorder.replies[0];
  replay.replies[1] = recorder.replies[1];
  if (RunInitiator(&replay) != S_OK) return false;
  *input = {0x00, static_cast<BYTE>(recorder.replies[0].size() / 2)};
  for (const Bytes& reply : recorder.replies) input->insert(input->end(), reply.begin(), reply.end());
  return true;
}

HRESULT RunResponder(const BYTE challenge[4], const Bytes& request, BYTE responderChallenge[4]) {
  RandomTestReset();
  ChannelResponder responder;
  responder.setCredentials(0, kBuiltinChannelCertificate, 100, kBuiltinKeyContainer, kKeyContainerLength);
  BYTE* reply = nullptr;
  DWORD length = 0;
  HRESULT hr = responder.exchange(2, 0, challenge, 4, &reply, &length);
  if (FAILED(hr)) return hr;
  std::memcpy(responderChallenge, reply, 4);
  CoTaskMemFree(reply);
  if (request.empty()) return S_OK;
  hr = responder.exchange(2, 1, request.data(), static_cast<DWORD>(request.size()), &reply, &length);
  if (SUCCEEDED(hr)) CoTaskMemFree(reply);
  return hr;
}

bool ResponderExchange(Bytes* input) {
  const BYTE challenge[4] = {0x31, 0x41, 0x59, 0x26};
  BYTE responderChallenge[4];
  if (RunResponder(challenge, {}, responderChallenge) != S_OK) return false;
  BYTE both[8], key[20];
  std::memcpy(both, responderChallenge, 4);
  std::memcpy(both + 4, challenge, 4);
  if (KeyContainerExtract(kBuiltinKeyContainer, kKeyContainerLength, key) != S_OK) return false;
  Bytes request(kPass1RequestCertificateOffset + kChannelCertificateLength);
  ChannelLockJoin();
  ChannelLockEnter();
  ChannelCurve* curve = ChannelCurveCreate();
  const bool signedOk = curve != nullptr && ChannelSign(curve, key, both, 8, request.data());
  ChannelCurveDestroy(curve);
  ChannelLockExit();
  ChannelLockLeave();
  if (!signedOk) return false;
  std::memcpy(request.data() + kPass1RequestCertificateOffset, kBuiltinChannelCertificate, kChannelCertificateLength);
  if (RunResponder(challenge, request, responderChallenge) != S_OK) return false;
  *input = {0x01};
  input->insert(input->end(), challenge, challenge + 4);
  input->insert(input->end(), request.begin(), request.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: channel_fuzz_seeds <directory>\n");
    return 2;
  }
  RandomTestUseSources(RandomTestFixedSources());
  // The arithmetic draws into buffers it has not cleared, and the generator
  // stirs what they held into its pool: cleared here, each draw depends only
  // on the draws before it.
  BigRandomUseSourceForTests([](BYTE* pb, DWORD cb) -> BOOL {
    std::memset(pb, 0, cb);
    return randomBytes(pb, cb);
  });
  struct Seed {
    const char* name;
    bool (*make)(Bytes*);
  };
  for (const Seed& seed :
       {Seed{"initiator-exchange", InitiatorExchange}, Seed{"responder-exchange", ResponderExchange}}) {
    Bytes input;
    if (!seed.make(&input)) {
      std::fprintf(stderr, "%s: the exchange did not complete\n", seed.name);
      return 1;
    }
    std::ofstream out(std::string(argv[1]) + "/" + seed.name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
    if (!out) {
      std::fprintf(stderr, "%s: cannot write\n", seed.name);
      return 1;
    }
  }
  return 0;
}
