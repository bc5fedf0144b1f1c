// Player description files and fault switch lists come from files and
// environment variables that tests and users write by hand; insert records
// cross from the COM server DLL into test programs.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/diag.h"
#include "sim/control.h"
#include "sim/faults.h"
#include "sim/playerdesc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  SimPlayerDescription d;
  std::string error;
  if (SimParsePlayerDescription(text, &d, &error)) {
    // What parses must be valid, and must read back the same through its
    // formatted form.
    TF_ASSERT(SimCheckPlayerDescription(d, &error));
    SimPlayerDescription back;
    TF_ASSERT(SimParsePlayerDescription(SimFormatPlayerDescription(d), &back, &error));
    TF_ASSERT(SimFormatPlayerDescription(back) == SimFormatPlayerDescription(d));
  } else {
    TF_ASSERT(!error.empty());
  }
  SimFaults f;
  if (SimParseFaults(text, &f, &error)) {
    // A storage named for insert failures is a terminated, valid folder name,
    // and naming one switches the failure on.
    const size_t n = strnlen(f.insertFailStorage, sizeof f.insertFailStorage);
    TF_ASSERT(n < sizeof f.insertFailStorage);
    if (n != 0) TF_ASSERT(f.insertFails && SimCheckFolderName(std::string_view(f.insertFailStorage, n), nullptr));
  } else {
    TF_ASSERT(!error.empty());
  }
  // The byte form has exactly one encoding of each record.
  SimInsertRecord record;
  if (SimDecodeInsertRecord(text, &record)) TF_ASSERT(SimEncodeInsertRecord(record) == text);
  return 0;
}
