// Curves for the elliptic-curve suites: built from ordinary hexadecimal
// (most significant digit first) the way the channel sets its curve up, with
// points passed in and out as hexadecimal pairs.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "crypto/ec/fixed_base.h"

namespace ectest {

// The channel's curve.
extern const char* const kChannelP;
extern const char* const kChannelN;
extern const char* const kChannelA;
extern const char* const kChannelB;
extern const char* const kChannelGx;
extern const char* const kChannelGy;

struct HexPoint {
  std::string x, y;  // lower-case hex without leading zeros ("0" for zero); both "inf" at infinity
  bool operator==(const HexPoint&) const = default;
};
inline void PrintTo(const HexPoint& P, std::ostream* os) { *os << "(" << P.x << ", " << P.y << ")"; }

// Big-endian hex into n little-endian digits (the value must fit).
std::vector<Digit> DigitsFromHex(const std::string& hex, DWORD n);
std::string HexFromDigits(const Digit* d, DWORD n);

struct TestCurve {
  ModulusRecord modulus;
  Digit scratch[kMulScratchDigits];
  FieldDesc field;
  CurveDesc curve;
  DWORD n = 0;

  // Field element in working form from hex, and back.
  std::vector<Digit> Element(const std::string& hex) const;
  std::string Hex(const Digit* e) const;
  // Affine point in working form from hex coordinates (or infinity), and back.
  std::vector<Digit> Point(const HexPoint& P) const;
  HexPoint Hex2(const Digit* P) const;
  // The fixed-base table of P (empty when it cannot be built), and k times
  // its base point.
  std::vector<Digit> Table(const HexPoint& P, DWORD w, DWORD t) const;
  bool MulTable(const std::vector<Digit>& table, const std::string& khex, DWORD w, DWORD t, HexPoint* out) const;
  // Both in one step.
  bool Mul(const HexPoint& P, const std::string& khex, DWORD w, DWORD t, HexPoint* out) const;
};

// Sets up a curve as the channel does (Montgomery form, or plain residues
// when fMontgomery is 0); null when any step fails (the modulus, the field,
// or a singular curve).
std::unique_ptr<TestCurve> MakeCurve(const std::string& p, const std::string& a, const std::string& b,
                                     BOOL fMontgomery = 1);

// Table size that keeps a scalar of `bits` bits within the table.
inline DWORD WindowsFor(DWORD bits, DWORD w) { return (bits + w) / w + 1; }

}  // namespace ectest
