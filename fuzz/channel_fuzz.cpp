// The secure channel's message parsing from both ends. The first byte picks
// the end:
//   even: the initiator's handshake against a service whose pass-0 reply is
//         the next N bytes (N the second byte times 2) and whose pass-1 reply
//         is the rest, each in a block of exactly its length;
//   odd:  the responder's two passes, pass 0 with 4 bytes, pass 1 with the
//         rest as the caller's request.
// Inputs of exactly 4096 bytes also go through key-container extraction.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "channel/initiator.h"
#include "channel/key_container.h"
#include "channel/responder.h"
#include "crypto/bignum/bigerror.h"
#include "sim/service_credentials.h"

namespace {

class FuzzPeer final : public IComponentAuthenticate {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BigErrorResetForTests();
  if (size == kKeyContainerLength) {
    BYTE key[20];
    KeyContainerExtract(data, static_cast<DWORD>(size), key);
  }
  if (size < 2) return 0;
  const BYTE zero[1] = {0};
  if ((data[0] & 1) == 0) {
    const size_t first = std::min<size_t>(static_cast<size_t>(data[1]) * 2, size - 2);
    FuzzPeer peer;
    peer.replies[0].assign(data + 2, data + 2 + first);
    peer.replies[1].assign(data + 2 + first, data + size);
    ChannelInitiator channel;
    channel.setCredentials(2, zero, 1, zero, 1);
    channel.attachPeer(&peer);
    channel.authenticate(2);
  } else if (size >= 5) {
    std::vector<BYTE> container(kKeyContainerLength, 0x5A);
    KeyContainerWrap(kSimServicePrivateKey, 0x1357, container.data());
    ChannelResponder responder;
    responder.setCredentials(0, kSimServiceCertificate, 100, container.data(), kKeyContainerLength);
    BYTE* reply = nullptr;
    DWORD replyLength = 0;
    if (SUCCEEDED(responder.exchange(2, 0, data + 1, 4, &reply, &replyLength))) {
      CoTaskMemFree(reply);
      std::vector<BYTE> request(data + 5, data + size);  // exactly its length
      if (SUCCEEDED(responder.exchange(2, 1, request.data(), static_cast<DWORD>(request.size()), &reply, &replyLength)))
        CoTaskMemFree(reply);
    }
  }
  return 0;
}
