#include "channel/key_container.h"

#include <cstring>
#include <new>

#include "crypto/random/wipe.h"

namespace {

// The positions of the key bytes, one step of the sequence per byte.
class KeyPositions {
 public:
  explicit KeyPositions(WORD seed) : state_(seed & 0x7FFFu), position_(kKeyContainerSeedOffset) {
    if (state_ == 0) state_ = 0x7FFFu;
  }
  DWORD next() {
    state_ = (state_ >> 1) ^ ((state_ & 1u) != 0 ? 0x6000u : 0u);
    position_ -= 1 + (state_ & 0x7Fu);
    return position_;
  }

 private:
  DWORD state_;
  DWORD position_;
};

WORD ReadBe16(const BYTE* p) { return static_cast<WORD>(p[0] << 8 | p[1]); }

}  // namespace

HRESULT KeyContainerExtract(const BYTE* pbContainer, DWORD cbContainer, BYTE rgbKey[kKeyContainerMaxKeyLength]) {
  if (pbContainer == nullptr || cbContainer != kKeyContainerLength) return E_FAIL;
  BYTE* work = new (std::nothrow) BYTE[kKeyContainerLength];
  if (work == nullptr) return E_OUTOFMEMORY;
  std::memcpy(work, pbContainer, kKeyContainerLength);
  const DWORD keyLength = ReadBe16(work + kKeyContainerKeyLengthOffset);
  HRESULT hr = E_FAIL;
  if (keyLength <= kKeyContainerMaxKeyLength) {
    std::memset(rgbKey, 0, kKeyContainerMaxKeyLength);
    KeyPositions positions(ReadBe16(work + kKeyContainerSeedOffset));
    for (DWORD i = 0; i < keyLength; ++i) rgbKey[i] = static_cast<BYTE>(~work[positions.next()]);
    hr = S_OK;
  }
  SecureWipe(work, kKeyContainerLength);
  delete[] work;
  return hr;
}

void KeyContainerWrap(const BYTE rgbKey[kKeyContainerMaxKeyLength], WORD wSeed,
                      BYTE rgbContainer[kKeyContainerLength]) {
  rgbContainer[kKeyContainerSeedOffset] = static_cast<BYTE>(wSeed >> 8);
  rgbContainer[kKeyContainerSeedOffset + 1] = static_cast<BYTE>(wSeed);
  rgbContainer[kKeyContainerKeyLengthOffset] = 0;
  rgbContainer[kKeyContainerKeyLengthOffset + 1] = static_cast<BYTE>(kKeyContainerMaxKeyLength);
  KeyPositions positions(wSeed);
  for (DWORD i = 0; i < kKeyContainerMaxKeyLength; ++i) rgbContainer[positions.next()] = static_cast<BYTE>(~rgbKey[i]);
}
