#include "sim/faults.h"

#include <cstring>
#include <type_traits>

#include "sim/playerdesc.h"

namespace {

bool IsSeparator(char c) { return c == ',' || c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The part of a switch's word after '=', if there is one.
struct SwitchValue {
  bool given;
  std::string_view text;
};

// What a switch does to the faults; false with the reason in *why.
using SwitchAction = bool (*)(const SwitchValue& value, SimFaults* f, std::string* why);

struct FaultSwitch {
  std::string_view name;
  SwitchAction apply;
};

bool Refuse(std::string* why, const char* reason) {
  *why = reason;
  return false;
}

bool ReadCount(const SwitchValue& value, uint64_t limit, uint64_t* n, std::string* why) {
  return SimParseNumber(value.text, limit, n) || Refuse(why, "expects a number");
}

// A switch without a value that sets one flag.
template <bool SimFaults::*kFlag>
bool Flag(const SwitchValue& value, SimFaults* f, std::string* why) {
  if (value.given) return Refuse(why, "takes no value");
  f->*kFlag = true;
  return true;
}

// A number up to kLimit (and at least kLeast) into one field.
template <auto kField, uint64_t kLimit, uint64_t kLeast = 0>
bool Count(const SwitchValue& value, SimFaults* f, std::string* why) {
  uint64_t n = 0;
  if (!ReadCount(value, kLimit, &n, why)) return false;
  if (n < kLeast) return Refuse(why, "must be at least 1");
  f->*kField = static_cast<std::remove_reference_t<decltype(f->*kField)>>(n);
  return true;
}

// A fault at a byte count or offset in the file, half the file unless one is
// given (then at least kLeast).
template <bool SimFaults::*kFlag, uint64_t SimFaults::*kBytes, uint64_t kLeast = 0>
bool ByteFault(const SwitchValue& value, SimFaults* f, std::string* why) {
  uint64_t n = kSimHalfway;
  if (value.given) {
    if (!ReadCount(value, UINT64_MAX - 1, &n, why)) return false;
    if (n < kLeast) return Refuse(why, "must be at least 1");
  }
  f->*kFlag = true;
  f->*kBytes = n;
  return true;
}

bool ProtocolFirst(const SwitchValue& value, SimFaults* f, std::string* why) {
  uint64_t n = 0;
  if (!ReadCount(value, 0xFFFFFFFFu, &n, why)) return false;
  if (n == 0) return Refuse(why, "must be a protocol id");
  f->protocolFirst = static_cast<uint32_t>(n);
  return true;
}

bool CertificateFormat(const SwitchValue& value, SimFaults* f, std::string* why) {
  uint64_t n = 0;
  if (!ReadCount(value, 88, &n, why)) return false;
  if (n != 0 && n != 88) return Refuse(why, "must be 0 or 88");
  f->channelCertFormatAt = static_cast<int32_t>(n);
  return true;
}

bool InsertFailStorage(const SwitchValue& value, SimFaults* f, std::string* why) {
  if (!value.given) return Refuse(why, "expects a storage folder");
  if (!SimCheckFolderName(value.text, why)) return false;
  static_assert(kSimMaxFolderBytes < sizeof f->insertFailStorage);
  std::memset(f->insertFailStorage, 0, sizeof f->insertFailStorage);
  std::memcpy(f->insertFailStorage, value.text.data(), value.text.size());
  f->insertFails = true;
  return true;
}

constexpr FaultSwitch kSwitches[] = {
    {"reject-auth", Flag<&SimFaults::rejectAuth>},
    {"no-protocols", Flag<&SimFaults::noProtocols>},
    {"protocol-first", ProtocolFirst},
    {"manager-refused", Flag<&SimFaults::managerRefused>},
    {"advise-fails", Flag<&SimFaults::adviseFails>},
    {"players-not-ready", Flag<&SimFaults::playersNotReady>},
    {"storages-not-ready", Flag<&SimFaults::storagesNotReady>},
    {"insert-fail", ByteFault<&SimFaults::insertFails, &SimFaults::insertFailAfter>},
    {"remove-during-transfer", ByteFault<&SimFaults::removeDuringTransfer, &SimFaults::removeAfter>},
    {"insert-fail-storage", InsertFailStorage},
    {"damaged-write", ByteFault<&SimFaults::damagedWrite, &SimFaults::damageAt>},
    {"short-write", ByteFault<&SimFaults::shortWrite, &SimFaults::shortBy, 1>},
    {"read-refused", Flag<&SimFaults::readRefused>},
    {"delete-refused", Flag<&SimFaults::deleteRefused>},
    {"metadata-create-fails", Flag<&SimFaults::metadataCreateFails>},
    {"metadata-add-fails", Flag<&SimFaults::metadataAddFails>},
    {"chunk", Count<&SimFaults::chunkBytes, 0xFFFFFFFFu, 1>},
    {"chunk-delay-ms", Count<&SimFaults::chunkDelayMs, 60000>},
    {"watch-ms", Count<&SimFaults::watchMs, 60000>},
    {"channel-cert-format", CertificateFormat},
    {"channel-signed-length", Count<&SimFaults::channelSignedLength, 0xFFFFFFFFu, 1>},
    {"channel-foreign-cert", Flag<&SimFaults::channelForeignCertificate>},
    {"channel-challenge-signature", Flag<&SimFaults::channelBadChallengeSignature>},
    {"channel-key-signature", Flag<&SimFaults::channelBadKeySignature>},
    {"channel-short-pass0", Flag<&SimFaults::channelShortPass0>},
    {"channel-short-pass1", Flag<&SimFaults::channelShortPass1>},
    {"channel-c1-off-curve", Flag<&SimFaults::channelC1OffCurve>},
    {"channel-no-square-root", Flag<&SimFaults::channelNoSquareRoot>},
    {"channel-distrust-caller", Flag<&SimFaults::channelDistrustCaller>},
};

const FaultSwitch* FindSwitch(std::string_view name) {
  for (const FaultSwitch& s : kSwitches)
    if (s.name == name) return &s;
  return nullptr;
}

// The next word from text[*i]: a quoted stretch belongs to the word,
// separators and all. *unclosed when a quote runs to the end.
std::string_view NextWord(std::string_view text, size_t* i, bool* unclosed) {
  while (*i < text.size() && IsSeparator(text[*i])) ++*i;
  size_t j = *i;
  *unclosed = false;
  while (j < text.size() && !IsSeparator(text[j])) {
    if (text[j] == '"') {
      const size_t close = text.find('"', j + 1);
      *unclosed = close == std::string_view::npos;
      j = *unclosed ? text.size() : close + 1;
    } else {
      ++j;
    }
  }
  const std::string_view word = text.substr(*i, j - *i);
  *i = j;
  return word;
}

// Applies one word; false with the reason in *why.
bool ApplyWord(std::string_view word, bool unclosed, SimFaults* f, std::string* why) {
  if (unclosed) return Refuse(why, "quote not closed");
  const size_t eq = word.find('=');
  SwitchValue value = {eq != std::string_view::npos, eq != std::string_view::npos ? word.substr(eq + 1) : ""};
  if (value.text.size() >= 2 && value.text.front() == '"' && value.text.back() == '"')
    value.text = value.text.substr(1, value.text.size() - 2);
  const FaultSwitch* s = FindSwitch(word.substr(0, eq));
  if (s == nullptr) return Refuse(why, "unknown switch");
  return s->apply(value, f, why);
}

}  // namespace

bool SimParseFaults(std::string_view text, SimFaults* out, std::string* error) {
  SimFaults f;
  size_t i = 0;
  for (;;) {
    bool unclosed = false;
    const std::string_view word = NextWord(text, &i, &unclosed);
    if (word.empty()) break;
    std::string why;
    if (!ApplyWord(word, unclosed, &f, &why)) {
      if (error) *error = "fault switch '" + std::string(word) + "': " + why;
      return false;
    }
  }
  *out = f;
  return true;
}
