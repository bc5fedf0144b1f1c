// The secure channel's handshake from both ends, fed by the fuzzer. The first
// byte picks the end:
//   even: the initiator's handshake against a service whose pass-0 reply is
//         the next N bytes (N the second byte times 2) and whose pass-1 reply
//         is the rest, each in a block of exactly its length;
//   odd:  the responder's two passes: pass 0 with the next 4 bytes as the
//         initiator's challenge, pass 1 with the rest as the request.
// Inputs of exactly 4096 bytes also go through key-container extraction.
//
// Each handshake sets up its own curve context, but G's table is built once
// for the process (copied into each context). The random generator runs on its fixed test sources and starts afresh for
// every input, so an input replays the same challenges and nonces: a
// recorded exchange (fuzz/channel_seeds.cpp writes them) verifies and leads
// the mutations into the signing, the key transport and the session-key
// signature. Both ends use the program's built-in pair, which the built-in
// root signed.
//
// After every input: no handshake still counted by the curve lock, no block
// left on the arithmetic's heap, the local heap or the task allocator, and no
// arithmetic error code left by an exchange that the channel accepted.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "channel/credentials.h"
#include "channel/curve_lock.h"
#include "channel/ecdsa_elgamal_testing.h"
#include "channel/initiator.h"
#include "channel/key_container.h"
#include "channel/responder.h"
#include "crypto/bignum/bigalloc.h"
#include "crypto/bignum/bigerror.h"
#include "crypto/bignum/bigrandom_testing.h"
#include "crypto/random/random.h"
#include "crypto/random/random_testing.h"
#include "platform/com.h"
#include "platform/localheap.h"

namespace {

class ScriptedPeer final : public IComponentAuthenticate {
 public:
  std::vector<BYTE> replies[2];
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SACAuth(DWORD, DWORD pass, BYTE*, DWORD, BYTE** out, DWORD* outLength) override {
    const std::vector<BYTE>& reply = replies[pass & 1];
    *out = static_cast<BYTE*>(CoTaskMemAlloc(reply.size() == 0 ? 1 : reply.size()));
    if (!reply.empty()) std::memcpy(*out, reply.data(), reply.size());
    *outLength = static_cast<DWORD>(reply.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SACGetProtocols(DWORD**, DWORD*) override { return E_NOTIMPL; }
};

bool g_trace = false;  // CHANNEL_FUZZ_TRACE: one line per input saying how far it got

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "channel fuzz: %s\n", what);
  std::abort();
}

// True when the handshake completed.
bool RunInitiator(const uint8_t* data, size_t size) {
  const size_t first = std::min<size_t>(static_cast<size_t>(data[1]) * 2, size - 2);
  ScriptedPeer peer;
  peer.replies[0].assign(data + 2, data + 2 + first);
  peer.replies[1].assign(data + 2 + first, data + size);
  ChannelInitiator channel;
  channel.setCredentials(2, kBuiltinChannelCertificate, 100, kBuiltinKeyContainer, kKeyContainerLength);
  channel.attachPeer(&peer);
  const HRESULT hr = channel.authenticate(2);
  if (g_trace) {
    // How far it got: the peer's certificate is kept at step 5, the session
    // key stored at step 12.
    BYTE certificate[100], key[8];
    DWORD length = sizeof certificate;
    const char* reached = hr == S_OK                        ? "authenticated (steps 1-13)"
                          : channel.sessionKey(key) == S_OK ? "session key stored (12), refused at 13"
                          : channel.peerCertificate(certificate, &length) == S_OK
                              ? "certificate kept (5), ended in 5-11"
                              : "ended in steps 1-4";
    std::printf("initiator: 0x%08lx, %s\n", static_cast<unsigned long>(hr), reached);
  }
  return hr == S_OK;
}

// True when pass 1 was answered with the key transport.
bool RunResponder(const uint8_t* data, size_t size) {
  ChannelResponder responder;
  responder.setCredentials(0, kBuiltinChannelCertificate, 100, kBuiltinKeyContainer, kKeyContainerLength);
  BYTE* reply = nullptr;
  DWORD replyLength = 0;
  const HRESULT pass0 = responder.exchange(2, 0, data + 1, 4, &reply, &replyLength);
  HRESULT hr = pass0;
  if (SUCCEEDED(hr)) {
    CoTaskMemFree(reply);
    std::vector<BYTE> request(data + 5, data + size);  // exactly its length
    hr = responder.exchange(2, 1, request.data(), static_cast<DWORD>(request.size()), &reply, &replyLength);
    if (SUCCEEDED(hr)) CoTaskMemFree(reply);
  }
  if (g_trace) {
    const char* reached = hr == S_OK      ? "pass 1 answered with the key transport"
                          : pass0 == S_OK ? "pass 0 answered, pass 1 refused"
                                          : "pass 0 refused";
    std::printf("responder: 0x%08lx, %s\n", static_cast<unsigned long>(hr), reached);
  }
  return hr == S_OK;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_trace = std::getenv("CHANNEL_FUZZ_TRACE") != nullptr;
  // Every handshake makes its own curve context; only G's table, the same
  // every time, is built once.
  ChannelCurveShareBaseTableForTests(true);
  RandomTestUseSources(RandomTestFixedSources());
  // The arithmetic draws into buffers it has not cleared, and the generator
  // stirs what they held into its pool: cleared here, each draw depends only
  // on the draws before it.
  BigRandomUseSourceForTests([](BYTE* pb, DWORD cb) -> BOOL {
    std::memset(pb, 0, cb);
    return randomBytes(pb, cb);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RandomTestReset();
  BigErrorResetForTests();
  const long localBlocks = TfLocalHeapOutstanding(), taskBlocks = TfComTaskMemOutstanding();
  if (size == kKeyContainerLength) {
    BYTE key[20];
    KeyContainerExtract(data, static_cast<DWORD>(size), key);
  }
  bool accepted = false;
  if (size >= 2 && (data[0] & 1) == 0) {
    accepted = RunInitiator(data, size);
  } else if (size >= 5) {
    accepted = RunResponder(data, size);
  }
  Check(ChannelLockUseCount() == 0, "the curve lock is still counted");
  Check(BigLiveBlocks() == 0, "an arithmetic block is still live");
  Check(TfLocalHeapOutstanding() == localBlocks, "a local heap block is still live");
  Check(TfComTaskMemOutstanding() == taskBlocks, "a task-allocated block is still live");
  Check(!accepted || BigError() == 0, "an accepted exchange left an arithmetic error code");
  return 0;
}
