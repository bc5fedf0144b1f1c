// RsaPublicOp and RsaModExp against independent code: signatures made by
// OpenSSL must come back as the padded blocks OpenSSL's raw public operation
// recovers, and modular powers of random operands must match GMP's mpz_powm.
#include <gmp.h>
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "crypto/rsa.h"
#include "crypto/rsa_digits.h"
#include "crypto/rsa_modulus.h"
#include "platform/localheap.h"
#include "tests/crypto/rsa_test_support.h"

namespace {

using rsatest::MakeKeyRecord;
using rsatest::PublicOpBigEndian;
using rsatest::ToHex;

struct PkeyFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct CtxFree {
  void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, CtxFree>;

Pkey GenerateRsaKey(int bits, unsigned long exponent) {
  PkeyCtx ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr));
  EXPECT_EQ(EVP_PKEY_keygen_init(ctx.get()), 1);
  EXPECT_EQ(EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), bits), 1);
  BIGNUM* e = BN_new();
  BN_set_word(e, exponent);
  EXPECT_EQ(EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx.get(), e), 1);
  BN_free(e);
  EVP_PKEY* key = nullptr;
  EXPECT_EQ(EVP_PKEY_keygen(ctx.get(), &key), 1);
  return Pkey(key);
}

std::vector<uint8_t> ModulusOf(EVP_PKEY* key) {
  BIGNUM* n = nullptr;
  EXPECT_EQ(EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &n), 1);
  std::vector<uint8_t> be(BN_num_bytes(n));
  BN_bn2bin(n, be.data());
  BN_free(n);
  return be;
}

std::vector<uint8_t> SignSha1(EVP_PKEY* key, const std::string& message) {
  PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
  EXPECT_EQ(EVP_PKEY_sign_init(ctx.get()), 1);
  EXPECT_EQ(EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING), 1);
  EXPECT_EQ(EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha1()), 1);
  uint8_t digest[20];
  unsigned int digestLen = 0;
  EVP_Digest(message.data(), message.size(), digest, &digestLen, EVP_sha1(), nullptr);
  size_t sigLen = 0;
  EXPECT_EQ(EVP_PKEY_sign(ctx.get(), nullptr, &sigLen, digest, digestLen), 1);
  std::vector<uint8_t> sig(sigLen);
  EXPECT_EQ(EVP_PKEY_sign(ctx.get(), sig.data(), &sigLen, digest, digestLen), 1);
  sig.resize(sigLen);
  return sig;
}

// OpenSSL's raw public operation (no padding removed).
std::vector<uint8_t> RawPublic(EVP_PKEY* key, const std::vector<uint8_t>& input) {
  PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
  EXPECT_EQ(EVP_PKEY_verify_recover_init(ctx.get()), 1);
  EXPECT_EQ(EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_NO_PADDING), 1);
  std::vector<uint8_t> out(input.size());
  size_t outLen = out.size();
  EXPECT_EQ(EVP_PKEY_verify_recover(ctx.get(), out.data(), &outLen, input.data(), input.size()), 1);
  out.resize(outLen);
  return out;
}

struct KeyCase {
  int bits;
  unsigned long exponent;
};
void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.bits << " bits, e = " << c.exponent; }

class OpenSslSignature : public ::testing::TestWithParam<KeyCase> {};

TEST_P(OpenSslSignature, RaisedSignatureIsTheBlockOpenSslRecovers) {
  const KeyCase c = GetParam();
  Pkey key = GenerateRsaKey(c.bits, c.exponent);
  ASSERT_TRUE(key);
  const std::vector<uint8_t> modulus = ModulusOf(key.get());
  const RsaPublicKeyRecord record = MakeKeyRecord(modulus, static_cast<DWORD>(c.exponent));
  for (const char* message : {"abc", "", "firmware image"}) {
    const std::vector<uint8_t> sig = SignSha1(key.get(), message);
    ASSERT_EQ(sig.size(), modulus.size());
    const std::vector<uint8_t> expected = RawPublic(key.get(), sig);
    ASSERT_EQ(expected.size(), modulus.size());
    EXPECT_EQ(expected[0], 0x00);
    EXPECT_EQ(expected[1], 0x01);
    EXPECT_EQ(ToHex(PublicOpBigEndian(record, sig)), ToHex(expected)) << c.bits << " bits, \"" << message << "\"";
  }
  EXPECT_EQ(TfLocalHeapOutstanding(), 0);
}

// Whole-digit and odd modulus lengths (520 and 1000 bits leave a partly
// filled top digit) and the exponents the table rule tells apart.
INSTANTIATE_TEST_SUITE_P(Keys, OpenSslSignature,
                         ::testing::Values(KeyCase{512, 65537}, KeyCase{512, 3}, KeyCase{520, 65537},
                                           KeyCase{1000, 65537}, KeyCase{1024, 65537}, KeyCase{1024, 3},
                                           KeyCase{1024, 0x40001}, KeyCase{1024, 0xC0000001u}, KeyCase{2048, 65537},
                                           KeyCase{2048, 3}, KeyCase{4096, 65537}),
                         [](const auto& info) {
                           return std::to_string(info.param.bits) + "_e" + std::to_string(info.param.exponent);
                         });

// --- Random operands against GMP -------------------------------------------

class Gmp {
 public:
  Gmp() { mpz_init(v_); }
  ~Gmp() { mpz_clear(v_); }
  Gmp(const Gmp&) = delete;
  Gmp& operator=(const Gmp&) = delete;
  mpz_ptr get() { return v_; }

  void Set(const std::vector<Digit>& d) { mpz_import(v_, d.size(), -1, sizeof(Digit), 0, 0, d.data()); }
  std::vector<Digit> Get(size_t n) const {
    std::vector<Digit> d(n + mpz_size(v_) * 2 + 1, 0);
    size_t count = 0;
    mpz_export(d.data(), &count, -1, sizeof(Digit), 0, 0, v_);
    d.resize(n);
    return d;
  }

 private:
  mpz_t v_;
};

std::vector<Digit> RandomDigits(std::mt19937& rng, size_t n) {
  std::vector<Digit> d(n);
  for (auto& x : d) x = static_cast<Digit>(rng());
  return d;
}

// A modulus of `a` significant digits whose top digit has `topBits` bits.
std::vector<Digit> RandomModulus(std::mt19937& rng, size_t a, int topBits, bool odd) {
  std::vector<Digit> m = RandomDigits(rng, a);
  const Digit topMask = topBits >= 32 ? 0xFFFFFFFFu : ((Digit{1} << topBits) - 1);
  m[a - 1] = (m[a - 1] & topMask) | (Digit{1} << (topBits - 1));
  if (odd)
    m[0] |= 1;
  else
    m[0] &= ~Digit{1};
  return m;
}

std::vector<Digit> ExpectedPowm(const std::vector<Digit>& base, const std::vector<Digit>& exp,
                                const std::vector<Digit>& mod, size_t n) {
  Gmp b, e, m, r;
  b.Set(base);
  e.Set(exp);
  m.Set(mod);
  mpz_powm(r.get(), b.get(), e.get(), m.get());
  return r.Get(n);
}

TEST(RsaModExpVsGmp, RandomOperandsAcrossTableSizesAndModulusShapes) {
  std::mt19937 rng(20240611);
  // Exponent lengths at both sides of every table-size step.
  const DWORD exponentBits[] = {1, 2, 17, 18, 32, 33, 64, 65, 128, 129, 256, 257, 1024};
  const size_t lengths[] = {1, 2, 3, 16, 17, 33, 64, 65, 128};
  int cases = 0;
  for (size_t a : lengths) {
    for (int topBits : {1, 2, 31, 32}) {
      for (bool odd : {true, false}) {
        if (a == 1 && topBits == 1) continue;  // the moduli 0 and 1
        const std::vector<Digit> mod = RandomModulus(rng, a, topBits, odd);
        // Operands carry two high zero digits, as RsaPublicOp's do.
        const size_t n = a + 2;
        std::vector<Digit> modN = mod;
        modN.resize(n, 0);
        for (DWORD bits : exponentBits) {
          std::vector<Digit> exp = RandomDigits(rng, (bits + 31) / 32);
          exp.back() &= bits % 32 == 0 ? 0xFFFFFFFFu : (Digit{1} << (bits % 32)) - 1;
          exp.back() |= Digit{1} << ((bits - 1) % 32);
          exp.resize(std::max(n, exp.size()), 0);
          if (exp.size() > n) continue;         // the exponent shares the operand length
          if (a >= 64 && bits > 257) continue;  // long enough already; keeps the suite quick
          Gmp baseMod, m;
          baseMod.Set(RandomDigits(rng, a));
          m.Set(mod);
          mpz_mod(baseMod.get(), baseMod.get(), m.get());
          const std::vector<Digit> base = baseMod.Get(n);

          std::vector<Digit> out(n, 0xA5A5A5A5u);
          ASSERT_TRUE(RsaModExp(out.data(), base.data(), exp.data(), modN.data(), static_cast<DWORD>(n)));
          ASSERT_EQ(out, ExpectedPowm(base, exp, mod, n))
              << "a=" << a << " topBits=" << topBits << " odd=" << odd << " e bits=" << bits;
          ++cases;
        }
      }
    }
  }
  EXPECT_GT(cases, 300);
  EXPECT_EQ(TfLocalHeapOutstanding(), 0);
}

// Extreme values that random operands almost never produce: all-ones bases
// and moduli, powers of two (where B^(a+2) mod m is 0), and bases of 0 and 1.
TEST(RsaModExpVsGmp, ExtremeOperands) {
  std::mt19937 rng(7);
  for (size_t a : {1, 2, 5, 64}) {
    const size_t n = a + 2;
    std::vector<std::vector<Digit>> moduli;
    moduli.push_back(std::vector<Digit>(a, 0xFFFFFFFFu));  // B^a - 1
    std::vector<Digit> pow2(a, 0);
    pow2[a - 1] = 0x80000000u;  // 2^(32a-1)
    moduli.push_back(pow2);
    std::vector<Digit> justAbove(a, 0);
    justAbove[0] = 1;
    justAbove[a - 1] |= 1;  // B^(a-1) + 1 (for a = 1: 1)
    moduli.push_back(justAbove);
    for (const auto& mod : moduli) {
      Gmp m;
      m.Set(mod);
      if (mpz_cmp_ui(m.get(), 1) <= 0) continue;
      std::vector<Digit> modN = mod;
      modN.resize(n, 0);
      Gmp mMinus1;
      mpz_sub_ui(mMinus1.get(), m.get(), 1);
      for (const std::vector<Digit>& base : {std::vector<Digit>(n, 0), mMinus1.Get(n), std::vector<Digit>{1}}) {
        std::vector<Digit> b = base;
        b.resize(n, 0);
        for (DWORD e : {2u, 3u, 65537u, 0xFFFFFFFFu}) {
          std::vector<Digit> exp(n, 0);
          exp[0] = e;
          std::vector<Digit> out(n, 0xA5A5A5A5u);
          ASSERT_TRUE(RsaModExp(out.data(), b.data(), exp.data(), modN.data(), static_cast<DWORD>(n)));
          EXPECT_EQ(out, ExpectedPowm(b, exp, mod, n)) << "a=" << a << " e=" << e;
        }
      }
    }
  }
}

// The reduction must leave an a-digit value congruent to its input even for
// the largest inputs a product can be.
TEST(RsaReduceVsGmp, LeavesCongruentValueForExtremeProducts) {
  std::mt19937 rng(99);
  for (size_t a : {1, 2, 3, 8, 64, 65}) {
    for (int shape = 0; shape < 4; ++shape) {
      std::vector<Digit> mod = RandomModulus(rng, a, shape == 0 ? 1 : shape == 1 ? 32 : 17, shape != 2);
      if (shape == 3) mod.assign(a, 0xFFFFFFFFu);
      RsaModulusRecord rec;
      ASSERT_TRUE(RsaPrepareModulus(&rec, mod.data(), static_cast<DWORD>(a)));
      for (int kind = 0; kind < 3; ++kind) {
        std::vector<Digit> x = kind == 0 ? std::vector<Digit>(2 * a, 0xFFFFFFFFu) : RandomDigits(rng, 2 * a);
        if (kind == 2) x[2 * a - 1] = 0;
        std::vector<Digit> work = x;
        RsaReduce(work.data(), &rec);
        Gmp gx, gr, gm;
        gx.Set(x);
        std::vector<Digit> low(work.begin(), work.begin() + a);
        gr.Set(low);
        gm.Set(mod);
        mpz_sub(gx.get(), gx.get(), gr.get());
        EXPECT_TRUE(mpz_divisible_p(gx.get(), gm.get())) << "a=" << a << " shape=" << shape << " kind=" << kind;
      }
      RsaReleaseModulus(&rec);
    }
  }
  EXPECT_EQ(TfLocalHeapOutstanding(), 0);
}

TEST(RsaRemainderVsGmp, RandomNumeratorsAndDivisors) {
  std::mt19937 rng(5);
  for (int iter = 0; iter < 400; ++iter) {
    const size_t cDiv = 1 + rng() % 70;
    const size_t cNum = 1 + rng() % 140;
    std::vector<Digit> div = RandomDigits(rng, cDiv);
    // Vary the top: full, tiny, or with high zero digits.
    switch (iter % 3) {
      case 0:
        break;
      case 1:
        div[cDiv - 1] &= 0xF;
        break;
      case 2:
        if (cDiv > 1) div[cDiv - 1] = 0;
        break;
    }
    Gmp d;
    d.Set(div);
    if (mpz_sgn(d.get()) == 0) continue;
    const std::vector<Digit> num = RandomDigits(rng, cNum);
    std::vector<Digit> rem(cDiv, 0x5A5A5A5Au);
    ASSERT_TRUE(RsaRemainder(rem.data(), num.data(), static_cast<DWORD>(cNum), div.data(), static_cast<DWORD>(cDiv)));
    Gmp nn, r;
    nn.Set(num);
    mpz_mod(r.get(), nn.get(), d.get());
    EXPECT_EQ(rem, r.Get(cDiv)) << "cNum=" << cNum << " cDiv=" << cDiv;
  }
  EXPECT_EQ(TfLocalHeapOutstanding(), 0);
}

}  // namespace
