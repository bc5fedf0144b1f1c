#include "sim/faults.h"

#include <cstring>

#include "sim/playerdesc.h"

namespace {

bool IsSeparator(char c) { return c == ',' || c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

bool SimParseFaults(std::string_view text, SimFaults* out, std::string* error) {
  SimFaults f;
  size_t i = 0;
  while (i < text.size()) {
    if (IsSeparator(text[i])) {
      ++i;
      continue;
    }
    // A quoted stretch belongs to the word, separators and all.
    size_t j = i;
    bool unclosed = false;
    while (j < text.size() && !IsSeparator(text[j])) {
      if (text[j] == '"') {
        const size_t close = text.find('"', j + 1);
        unclosed = close == std::string_view::npos;
        j = unclosed ? text.size() : close + 1;
      } else {
        ++j;
      }
    }
    const std::string_view word = text.substr(i, j - i);
    i = j;
    const size_t eq = word.find('=');
    const std::string_view name = word.substr(0, eq);
    const bool hasValue = eq != std::string_view::npos;
    std::string_view value = hasValue ? word.substr(eq + 1) : std::string_view();
    auto fail = [&](const std::string& why) {
      if (error) *error = "fault switch '" + std::string(word) + "': " + why;
      return false;
    };
    if (unclosed) return fail("quote not closed");
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    auto flag = [&](bool* b) {
      if (hasValue) return fail("takes no value");
      *b = true;
      return true;
    };
    auto count = [&](uint64_t limit, uint64_t* v) {
      if (!SimParseNumber(value, limit, v)) return fail("expects a number");
      return true;
    };
    uint64_t n = 0;
    bool ok;
    if (name == "reject-auth") {
      ok = flag(&f.rejectAuth);
    } else if (name == "no-protocols") {
      ok = flag(&f.noProtocols);
    } else if (name == "protocol-first") {
      ok = count(0xFFFFFFFFu, &n);
      if (ok && n == 0) ok = fail("must be a protocol id");
      f.protocolFirst = static_cast<uint32_t>(n);
    } else if (name == "advise-fails") {
      ok = flag(&f.adviseFails);
    } else if (name == "players-not-ready") {
      ok = flag(&f.playersNotReady);
    } else if (name == "storages-not-ready") {
      ok = flag(&f.storagesNotReady);
    } else if (name == "insert-fail" || name == "remove-during-transfer") {
      const bool insert = name == "insert-fail";
      uint64_t at = kSimHalfway;
      ok = !hasValue || count(UINT64_MAX - 1, &at);
      (insert ? f.insertFails : f.removeDuringTransfer) = true;
      (insert ? f.insertFailAfter : f.removeAfter) = at;
    } else if (name == "insert-fail-storage") {
      std::string why;
      if (!hasValue) {
        ok = fail("expects a storage folder");
      } else if (!SimCheckFolderName(value, &why)) {
        ok = fail(why);
      } else {
        static_assert(kSimMaxFolderBytes < sizeof f.insertFailStorage);
        std::memset(f.insertFailStorage, 0, sizeof f.insertFailStorage);
        std::memcpy(f.insertFailStorage, value.data(), value.size());
        f.insertFails = true;
        ok = true;
      }
    } else if (name == "metadata-create-fails") {
      ok = flag(&f.metadataCreateFails);
    } else if (name == "metadata-add-fails") {
      ok = flag(&f.metadataAddFails);
    } else if (name == "chunk") {
      ok = count(0xFFFFFFFFu, &n);
      if (ok && n == 0) ok = fail("must be at least 1");
      f.chunkBytes = static_cast<uint32_t>(n);
    } else if (name == "chunk-delay-ms" || name == "watch-ms") {
      ok = count(60000, &n);
      (name == "watch-ms" ? f.watchMs : f.chunkDelayMs) = static_cast<uint32_t>(n);
    } else if (name == "channel-cert-format") {
      ok = count(88, &n);
      if (ok && n != 0 && n != 88) ok = fail("must be 0 or 88");
      f.channelCertFormatAt = static_cast<int32_t>(n);
    } else if (name == "channel-signed-length") {
      ok = count(0xFFFFFFFFu, &n);
      if (ok && n == 0) ok = fail("must be at least 1");
      f.channelSignedLength = static_cast<uint32_t>(n);
    } else if (name == "channel-foreign-cert") {
      ok = flag(&f.channelForeignCertificate);
    } else if (name == "channel-challenge-signature") {
      ok = flag(&f.channelBadChallengeSignature);
    } else if (name == "channel-key-signature") {
      ok = flag(&f.channelBadKeySignature);
    } else if (name == "channel-short-pass0") {
      ok = flag(&f.channelShortPass0);
    } else if (name == "channel-short-pass1") {
      ok = flag(&f.channelShortPass1);
    } else if (name == "channel-c1-off-curve") {
      ok = flag(&f.channelC1OffCurve);
    } else if (name == "channel-no-square-root") {
      ok = flag(&f.channelNoSquareRoot);
    } else if (name == "channel-distrust-caller") {
      ok = flag(&f.channelDistrustCaller);
    } else {
      return fail("unknown switch");
    }
    if (!ok) return false;
  }
  *out = f;
  return true;
}
