#include "tests/crypto/ec_test_support.h"

#include <cstring>

namespace ectest {

const char* const kChannelP = "89abcdef012345672718281831415926141424f7";
const char* const kChannelN = "89abcdef012345672716b26eec14904428c2a675";
const char* const kChannelA = "37a5abccd277bce87632ff3d4780c009ebe41497";
const char* const kChannelB = "0dd8dabf725e2f3228e85f1ad78fdedf9328239e";
const char* const kChannelGx = "8723947fd6a3a1e53510c07dba38daf0109fa120";
const char* const kChannelGy = "445744911075522d8c3c5856d4ed7acda379936f";

std::vector<Digit> DigitsFromHex(const std::string& hex, DWORD n) {
  std::vector<Digit> d(n, 0);
  DWORD bit = 0;
  for (size_t i = hex.size(); i-- > 0; bit += 4) {
    const char c = hex[i];
    const Digit v = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    if (v != 0) d.at(bit / 32) |= v << (bit % 32);
  }
  return d;
}

std::string HexFromDigits(const Digit* d, DWORD n) {
  static const char kHex[] = "0123456789abcdef";
  std::string s;
  for (DWORD i = n; i-- > 0;) {
    for (int shift = 28; shift >= 0; shift -= 4) s += kHex[(d[i] >> shift) & 15];
  }
  const size_t first = s.find_first_not_of('0');
  return first == std::string::npos ? "0" : s.substr(first);
}

std::vector<Digit> TestCurve::Element(const std::string& hex) const {
  std::vector<Digit> plain = DigitsFromHex(hex, n), e(n);
  if (!ModToForm(plain.data(), n, e.data(), &modulus)) return {};
  return e;
}

std::string TestCurve::Hex(const Digit* e) const {
  std::vector<Digit> plain(n);
  ModFromForm(e, plain.data(), &modulus);
  return HexFromDigits(plain.data(), n);
}

std::vector<Digit> TestCurve::Point(const HexPoint& P) const {
  std::vector<Digit> out(2 * n);
  if (P.x == "inf") {
    EcSetInfinity(out.data(), &curve);
    return out;
  }
  std::vector<Digit> x = Element(P.x), y = Element(P.y);
  std::copy(x.begin(), x.end(), out.begin());
  std::copy(y.begin(), y.end(), out.begin() + n);
  return out;
}

HexPoint TestCurve::Hex2(const Digit* P) const {
  if (EcIsInfinity(P, &curve)) return {"inf", "inf"};
  return {Hex(P), Hex(P + n)};
}

std::vector<Digit> TestCurve::Table(const HexPoint& P, DWORD w, DWORD t) const {
  std::vector<Digit> base = Point(P), table(EcFixedBaseTableDigits(t, n));
  if (!EcFixedBaseTable(base.data(), w, t, table.data(), &curve)) return {};
  return table;
}

bool TestCurve::MulTable(const std::vector<Digit>& table, const std::string& khex, DWORD w, DWORD t,
                         HexPoint* out) const {
  std::vector<Digit> result(2 * n);
  const DWORD kDigits = static_cast<DWORD>(khex.size() / 8 + 1);
  std::vector<Digit> k = DigitsFromHex(khex, kDigits);
  if (table.empty() || !EcFixedBaseMul(table.data(), w, t, k.data(), kDigits, result.data(), &curve)) return false;
  *out = Hex2(result.data());
  return true;
}

bool TestCurve::Mul(const HexPoint& P, const std::string& khex, DWORD w, DWORD t, HexPoint* out) const {
  return MulTable(Table(P, w, t), khex, w, t, out);
}

std::unique_ptr<TestCurve> MakeCurve(const std::string& p, const std::string& a, const std::string& b,
                                     BOOL fMontgomery) {
  auto c = std::make_unique<TestCurve>();
  const DWORD n = static_cast<DWORD>((p.size() + 7) / 8);
  std::vector<Digit> m = DigitsFromHex(p, n);
  if (!ModulusCreate(m.data(), n, fMontgomery, &c->modulus)) return nullptr;
  c->n = n;
  if (!FieldInitPrime(&c->modulus, c->scratch, &c->field)) return nullptr;
  std::vector<Digit> ea = c->Element(a), eb = c->Element(b);
  if (ea.empty() || eb.empty() || !EcCurveInit(ea.data(), eb.data(), &c->field, &c->curve)) return nullptr;
  return c;
}

}  // namespace ectest
