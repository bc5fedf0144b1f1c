// Arbitrary bytes as a signed message: every outcome must be a status code,
// and whatever the message reports must lie inside the input.
#include <cstddef>
#include <cstdint>

#include "mincrypt/verdata.h"
#include "platform/diag.h"

namespace {

void CheckInside(const DerBlob& blob, const uint8_t* data, size_t size) {
  if (blob.cbData == 0) return;
  TF_ASSERT(blob.pbData >= data && blob.pbData + blob.cbData <= data + size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SignedMessageInfo info;
  const BOOL fAcceptOdm = size & 1;
  MinCryptVerifySignedMessage(data, static_cast<DWORD>(size), fAcceptOdm, &info);
  CheckInside(info.ContentTypeBlob, data, size);
  CheckInside(info.ContentBlob, data, size);
  CheckInside(info.SignerCertBlob, data, size);
  CheckInside(info.AuthAttrsBlob, data, size);
  CheckInside(info.UnauthAttrsBlob, data, size);
  return 0;
}
