// A small DER writer for test fixtures and the catalog builder: each function returns the complete
// encoding of one element (or plain bytes), so structures are written as
// nested calls, e.g. Seq({Oid("1.2.840.113549.1.1.5"), Null()}).
//
// Lengths are minimal unless a function says otherwise; the *Raw and
// TlvLongForm variants exist to write the non-canonical or broken encodings
// that parsers must cope with. Plain C++, no test framework.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace der {

using Bytes = std::vector<uint8_t>;

// Byte helpers.
Bytes Cat(std::initializer_list<Bytes> parts);
Bytes FromHex(std::string_view hex);  // whitespace is ignored
std::string ToHex(const Bytes& bytes);
Bytes FromString(std::string_view text);

// Length octets: minimal form, or long form with exactly cOctets octets
// (1 to 126; lengths that do not fit are truncated to their low octets).
Bytes Length(size_t cbContent);
Bytes LongFormLength(size_t cbContent, int cOctets);

// Identifier octets for a tag number of any size: classBits is 0x00
// (universal), 0x40 (application), 0x80 (context) or 0xC0 (private), plus 0x20
// for constructed.
Bytes Identifier(uint8_t classBits, uint32_t tagNumber);

// An element from identifier and content.
Bytes Tlv(uint8_t identifier, const Bytes& content);
Bytes Tlv(const Bytes& identifier, const Bytes& content);
Bytes TlvLongForm(uint8_t identifier, const Bytes& content, int cLengthOctets);

// Constructed types.
Bytes Seq(std::initializer_list<Bytes> items);
Bytes Set(std::initializer_list<Bytes> items);
Bytes SeqOf(const std::vector<Bytes>& items);
Bytes Explicit(uint8_t tagNumber, std::initializer_list<Bytes> items);  // [n] constructed, 0xA0 | n
Bytes Implicit(uint8_t tagNumber, const Bytes& content);                // [n] primitive, 0x80 | n

// Universal primitives.
Bytes Boolean(bool value);
Bytes Integer(int64_t value);                   // minimal two's complement
Bytes UnsignedInteger(const Bytes& bigEndian);  // adds 00 when the top bit is set
Bytes IntegerRaw(const Bytes& content);         // content as given
Bytes BitString(const Bytes& bits, uint8_t cUnusedBits = 0);
Bytes OctetString(const Bytes& content);
Bytes Null();
Bytes OidContent(std::string_view dotted);  // "1.2.840.113549" -> content octets
Bytes Oid(std::string_view dotted);
Bytes Utf8String(std::string_view text);
Bytes PrintableString(std::string_view text);
Bytes BmpString(std::u16string_view text);  // UTF-16 big-endian content
Bytes UtcTime(std::string_view text);       // e.g. "250101000000Z"
Bytes GeneralizedTime(std::string_view text);

// Common certificate pieces.
Bytes AlgorithmIdentifier(std::string_view oid, const Bytes& parameters = Null());
Bytes NameWithCommonName(std::string_view commonName);  // Name with one CN (UTF8String)

}  // namespace der
