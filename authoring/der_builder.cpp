#include "authoring/der_builder.h"

#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace der {

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes FromHex(std::string_view hex) {
  Bytes out;
  int high = -1;
  for (char c : hex) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    int nibble;
    if (c >= '0' && c <= '9') {
      nibble = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      nibble = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      nibble = c - 'A' + 10;
    } else {
      throw std::invalid_argument("FromHex: not a hex digit");
    }
    if (high < 0) {
      high = nibble;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | nibble));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("FromHex: odd number of digits");
  return out;
}

std::string ToHex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

Bytes FromString(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Length(size_t cbContent) {
  if (cbContent < 0x80) return {static_cast<uint8_t>(cbContent)};
  int cOctets = 0;
  for (size_t n = cbContent; n != 0; n >>= 8) cOctets++;
  return LongFormLength(cbContent, cOctets);
}

Bytes LongFormLength(size_t cbContent, int cOctets) {
  if (cOctets < 1 || cOctets > 126) throw std::invalid_argument("LongFormLength: 1 to 126 octets");
  Bytes out{static_cast<uint8_t>(0x80 | cOctets)};
  for (int i = cOctets - 1; i >= 0; i--) {
    out.push_back(i >= static_cast<int>(sizeof(size_t)) ? 0 : static_cast<uint8_t>(cbContent >> (8 * i)));
  }
  return out;
}

Bytes Identifier(uint8_t classBits, uint32_t tagNumber) {
  if (tagNumber < 31) return {static_cast<uint8_t>(classBits | tagNumber)};
  Bytes base128;
  for (uint32_t n = tagNumber; n != 0; n >>= 7) base128.insert(base128.begin(), static_cast<uint8_t>(n & 0x7F));
  for (size_t i = 0; i + 1 < base128.size(); i++) base128[i] |= 0x80;
  Bytes out{static_cast<uint8_t>(classBits | 0x1F)};
  out.insert(out.end(), base128.begin(), base128.end());
  return out;
}

Bytes Tlv(uint8_t identifier, const Bytes& content) { return Tlv(Bytes{identifier}, content); }

Bytes Tlv(const Bytes& identifier, const Bytes& content) { return Cat({identifier, Length(content.size()), content}); }

Bytes TlvLongForm(uint8_t identifier, const Bytes& content, int cLengthOctets) {
  return Cat({Bytes{identifier}, LongFormLength(content.size(), cLengthOctets), content});
}

Bytes SeqOf(const std::vector<Bytes>& items) {
  Bytes content;
  for (const Bytes& item : items) content.insert(content.end(), item.begin(), item.end());
  return Tlv(0x30, content);
}

Bytes Seq(std::initializer_list<Bytes> items) { return Tlv(0x30, Cat(items)); }
Bytes Set(std::initializer_list<Bytes> items) { return Tlv(0x31, Cat(items)); }

Bytes Explicit(uint8_t tagNumber, std::initializer_list<Bytes> items) {
  return Tlv(static_cast<uint8_t>(0xA0 | tagNumber), Cat(items));
}

Bytes Implicit(uint8_t tagNumber, const Bytes& content) { return Tlv(static_cast<uint8_t>(0x80 | tagNumber), content); }

Bytes Boolean(bool value) { return Tlv(0x01, {static_cast<uint8_t>(value ? 0xFF : 0x00)}); }

Bytes Integer(int64_t value) {
  Bytes content;
  for (int i = 7; i >= 0; i--) content.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
  // Drop leading octets that only repeat the sign.
  size_t start = 0;
  while (start + 1 < content.size() && ((content[start] == 0x00 && !(content[start + 1] & 0x80)) ||
                                        (content[start] == 0xFF && (content[start + 1] & 0x80)))) {
    start++;
  }
  return Tlv(0x02, Bytes(content.begin() + static_cast<std::ptrdiff_t>(start), content.end()));
}

Bytes UnsignedInteger(const Bytes& bigEndian) {
  size_t start = 0;
  while (start < bigEndian.size() && bigEndian[start] == 0) start++;
  // A sign octet first; kept only for zero or when the top bit is set.
  Bytes content(1, 0);
  content.insert(content.end(), bigEndian.begin() + static_cast<std::ptrdiff_t>(start), bigEndian.end());
  if (content.size() > 1 && (content[1] & 0x80) == 0) content.erase(content.begin());
  return Tlv(0x02, content);
}

Bytes IntegerRaw(const Bytes& content) { return Tlv(0x02, content); }

Bytes BitString(const Bytes& bits, uint8_t cUnusedBits) { return Tlv(0x03, Cat({Bytes{cUnusedBits}, bits})); }

Bytes OctetString(const Bytes& content) { return Tlv(0x04, content); }

Bytes Null() { return {0x05, 0x00}; }

Bytes OidContent(std::string_view dotted) {
  std::vector<uint64_t> arcs;
  size_t pos = 0;
  while (pos <= dotted.size()) {
    size_t dot = dotted.find('.', pos);
    if (dot == std::string_view::npos) dot = dotted.size();
    std::string arc(dotted.substr(pos, dot - pos));
    if (arc.empty()) throw std::invalid_argument("OidContent: empty arc");
    arcs.push_back(std::strtoull(arc.c_str(), nullptr, 10));
    pos = dot + 1;
  }
  if (arcs.size() < 2) throw std::invalid_argument("OidContent: at least two arcs");
  std::vector<uint64_t> subIds{arcs[0] * 40 + arcs[1]};
  subIds.insert(subIds.end(), arcs.begin() + 2, arcs.end());
  Bytes out;
  for (uint64_t id : subIds) {
    Bytes base128;
    do {
      base128.insert(base128.begin(), static_cast<uint8_t>(id & 0x7F));
      id >>= 7;
    } while (id != 0);
    for (size_t i = 0; i + 1 < base128.size(); i++) base128[i] |= 0x80;
    out.insert(out.end(), base128.begin(), base128.end());
  }
  return out;
}

Bytes Oid(std::string_view dotted) { return Tlv(0x06, OidContent(dotted)); }
Bytes Utf8String(std::string_view text) { return Tlv(0x0C, FromString(text)); }
Bytes PrintableString(std::string_view text) { return Tlv(0x13, FromString(text)); }

Bytes BmpString(std::u16string_view text) {
  Bytes content;
  for (char16_t c : text) {
    content.push_back(static_cast<uint8_t>(c >> 8));
    content.push_back(static_cast<uint8_t>(c & 0xFF));
  }
  return Tlv(0x1E, content);
}

Bytes UtcTime(std::string_view text) { return Tlv(0x17, FromString(text)); }
Bytes GeneralizedTime(std::string_view text) { return Tlv(0x18, FromString(text)); }

Bytes AlgorithmIdentifier(std::string_view oid, const Bytes& parameters) { return Seq({Oid(oid), parameters}); }

Bytes NameWithCommonName(std::string_view commonName) {
  return Seq({Set({Seq({Oid("2.5.4.3"), Utf8String(commonName)})})});
}

}  // namespace der
