// Decodes an operation and its operands from the input and compares the
// arithmetic's answer with GMP's. Any disagreement aborts.
#include <gmp.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crypto/bignum/bigrandom_testing.h"
#include "crypto/bignum/modular.h"

namespace {

using Num = std::vector<Digit>;

struct Reader {
  const uint8_t* p;
  size_t left;
  uint8_t Byte() {
    if (left == 0) return 0;
    --left;
    return *p++;
  }
  // n digits; an exhausted input gives zeros.
  Num Digits(DWORD n) {
    Num v(n);
    for (auto& d : v) d = Byte() | Byte() << 8 | Byte() << 16 | static_cast<Digit>(Byte()) << 24;
    return v;
  }
  DWORD Length(DWORD max) { return 1 + Byte() % max; }
};

struct Z {
  mpz_t z;
  Z() { mpz_init(z); }
  Z(const Digit* p, DWORD n) {
    mpz_init(z);
    if (n) mpz_import(z, n, -1, 4, 0, 0, p);
  }
  explicit Z(const Num& v) : Z(v.data(), static_cast<DWORD>(v.size())) {}
  ~Z() { mpz_clear(z); }
  Z(const Z&) = delete;
  Z& operator=(const Z&) = delete;
};

void Check(bool ok) {
  if (!ok) abort();
}
bool Same(const Digit* p, DWORD n, const mpz_t want) {
  Z got(p, n);
  return mpz_cmp(got.z, want) == 0;
}

uint64_t g_stream = 1;
BOOL Stream(BYTE* pb, DWORD cb) {
  for (DWORD i = 0; i < cb; ++i) {
    g_stream = g_stream * 6364136223846793005ull + 1442695040888963407ull;
    pb[i] = static_cast<BYTE>(g_stream >> 56);
  }
  return 1;
}

// Multi-digit values of m's working form.
void Form(const ModulusRecord& rec, const mpz_t v, mpz_t out) {
  Z m(rec.modulus, rec.n);
  if (!rec.fMontgomery) {
    mpz_mod(out, v, m.z);
    return;
  }
  mpz_mul_2exp(out, v, 32 * rec.cRadix);
  mpz_mod(out, out, m.z);
}
Num ToNum(const mpz_t v, DWORD n) {
  Num out(n + 2 + mpz_sizeinbase(v, 2) / 32, 0);
  size_t count;
  mpz_export(out.data(), &count, -1, 4, 0, 0, v);
  out.resize(n);
  return out;
}

void Plain(Reader& r, uint8_t op) {
  DWORD la = r.Length(128), lb = r.Length(64);
  Num a = r.Digits(la), b = r.Digits(lb);
  Z za(a), zb(b), want, rem;
  switch (op % 4) {
    case 0: {  // product
      Num prod(la + lb);
      BigMulSchool(a.data(), la, b.data(), lb, prod.data());
      mpz_mul(want.z, za.z, zb.z);
      Check(Same(prod.data(), la + lb, want.z));
      break;
    }
    case 1: {  // division
      DWORD lbs = BigSignificantLength(b.data(), lb);
      if (lbs == 0) return;
      Num q(la + 1), rm(lbs);
      DWORD len = BigDivRem(a.data(), la, b.data(), lbs, nullptr, q.data(), rm.data());
      Check(BigError() == 0);
      mpz_tdiv_qr(want.z, rem.z, za.z, zb.z);
      Check(Same(rm.data(), lbs, rem.z));
      Check(len == BigSignificantLength(rm.data(), lbs));
      if (la >= lbs) Check(Same(q.data(), la - lbs + 1, want.z));
      break;
    }
    case 2: {  // gcd and inverse (one division per step: kept short)
      if (la > 32) la = 32;
      if (lb > 32) lb = 32;
      Z zx(a.data(), la), zbl(b.data(), lb);
      if (mpz_sgn(zx.z) == 0 || mpz_sgn(zbl.z) == 0 || mpz_cmp_ui(zbl.z, 1) == 0) return;
      Num inv(lb), g(la > lb ? la : lb), cof(la), chk(la + lb);
      DWORD len = BigGcdInverse(a.data(), la, b.data(), lb, inv.data(), cof.data(), g.data(), chk.data());
      Check(BigError() == 0);
      mpz_gcd(want.z, zx.z, zbl.z);
      Check(Same(g.data(), static_cast<DWORD>(g.size()), want.z));
      Check(len == (mpz_sizeinbase(want.z, 2) + 31) / 32);
      if (mpz_cmp_ui(want.z, 1) == 0) {
        Check(mpz_invert(rem.z, zx.z, zbl.z) != 0);
        Check(Same(inv.data(), lb, rem.z));
      }
      break;
    }
    default: {  // Karatsuba under a threshold from the input
      DWORD t = 3 + r.Byte() % 10;
      MulPlanSetThreshold(t);
      if (la > 64) la = 64;
      if (lb > la) lb = la;
      const MulPlan* plan = MulPlanForSize(la);
      static Digit pa[kMulPreparedMax], pb[kMulPreparedMax];
      static BYTE sa[kMulSignsMax], sb[kMulSignsMax];
      Check(MulPrepare(a.data(), la, pa, sa, plan) && MulPrepare(b.data(), lb, pb, sb, plan));
      Num prod(2 * plan->cDigits);
      MulPrepared(pa, sa, pb, sb, prod.data(), plan);
      Z zal(a.data(), la), zbl(b.data(), lb);
      mpz_mul(want.z, zal.z, zbl.z);
      Check(Same(prod.data(), static_cast<DWORD>(prod.size()), want.z));
      MulPrepared(pa, sa, pa, sa, prod.data(), plan);
      mpz_mul(want.z, zal.z, zal.z);
      Check(Same(prod.data(), static_cast<DWORD>(prod.size()), want.z));
      MulPlanSetThreshold(4);
      break;
    }
  }
}

// ModReduce of an input of any allowed length (up to n + cRadix digits, the
// part above the low cRadix digits below m) in both forms; a longer or
// larger input must be refused with code 31 and a zero output.
void Reduce(Reader& r, const ModulusRecord& rec, const Z& zm) {
  const DWORD n = rec.n, maxLen = n + rec.cRadix;
  const DWORD lx = r.Byte() % (maxLen + 2);
  Num x = r.Digits(lx), out(n);
  Z zx(x), want, limit;
  mpz_mul_2exp(limit.z, zm.z, 32 * rec.cRadix);
  const bool allowed = lx <= maxLen && mpz_cmp(zx.z, limit.z) < 0 &&
                       (lx < maxLen || BigCompare(x.data() + rec.cRadix, n, rec.modulus, n) < 0);
  for (BOOL flag : {0, 1}) {
    if (flag && (rec.modulus[0] & 1) == 0) continue;
    BigErrorResetForTests();
    const BOOL ok = ModReduce(x.data(), lx, flag, out.data(), &rec, nullptr);
    if (!allowed) {
      Check(!ok && BigError() == kBigErrReduceInput && BigSignificantLength(out.data(), n) == 0);
      continue;
    }
    Check(ok && BigError() == 0);
    Check(BigCompare(out.data(), n, rec.modulus, n) < 0);
    if (flag) {
      // out = x R^-1 mod m, so out R and x agree modulo m.
      Z got(out);
      mpz_mul_2exp(got.z, got.z, 32 * rec.cRadix);
      mpz_mod(got.z, got.z, zm.z);
      mpz_mod(want.z, zx.z, zm.z);
      Check(mpz_cmp(got.z, want.z) == 0);
    } else {
      mpz_mod(want.z, zx.z, zm.z);
      Check(Same(out.data(), n, want.z));
    }
  }
}

void Modular(Reader& r, uint8_t op) {
  // Powers, inverses and roots cost a number of products that grows with the
  // modulus: their sizes stay small enough for millions of runs.
  static const DWORD kMaxDigits[4] = {64, 12, 16, 6};
  DWORD n = r.Length(kMaxDigits[op % 4]);
  Num m = r.Digits(n);
  BOOL mont = (op & 8) != 0;
  if (m[n - 1] == 0) m[n - 1] = 1;
  if (mont) m[0] |= 1;
  // The channel's threshold 12 too: rows up to 12 digits without a
  // Karatsuba level take the fixed-size routines.
  MulPlanSetThreshold((op & 16) != 0 ? 12 : 4);
  ModulusRecord rec;
  Check(ModulusCreate(m.data(), n, mont, &rec) == 1);
  MulPlanSetThreshold(4);
  Z zm(m), va, vb, want, fa, fb;
  {
    Num a = r.Digits(n), b = r.Digits(n);
    Z za(a), zb(b);
    mpz_mod(va.z, za.z, zm.z);
    mpz_mod(vb.z, zb.z, zm.z);
  }
  Form(rec, va.z, fa.z);
  Form(rec, vb.z, fb.z);
  Num a = ToNum(fa.z, n), b = ToNum(fb.z, n), out(n);
  switch (op % 4) {
    case 0: {  // product and sum
      Check(ModMul(a.data(), b.data(), out.data(), &rec, nullptr));
      mpz_mul(want.z, va.z, vb.z);
      Form(rec, want.z, want.z);
      Check(Same(out.data(), n, want.z));
      Check(ModSub(a.data(), b.data(), out.data(), &rec));
      mpz_sub(want.z, va.z, vb.z);
      mpz_mod(want.z, want.z, zm.z);
      Form(rec, want.z, want.z);
      Check(Same(out.data(), n, want.z));
      Reduce(r, rec, zm);
      break;
    }
    case 1: {  // power
      DWORD le = r.Byte() % (n > 4 ? 3 : 6);
      Num e = r.Digits(le);
      Z ze(e);
      ModExp(a.data(), e.data(), le, out.data(), &rec);
      Check(BigError() == 0);
      mpz_powm(want.z, va.z, ze.z, zm.z);
      Form(rec, want.z, want.z);
      Check(Same(out.data(), n, want.z));
      break;
    }
    case 2: {  // inverse and Jacobi symbol
      if ((m[0] & 1) == 0) return;
      Num inv(n), g(n);
      int s = ModInverseJacobi(a.data(), &rec, inv.data(), g.data());
      Check(BigError() == 0);
      mpz_gcd(want.z, va.z, zm.z);
      Check(Same(g.data(), n, want.z));
      if (mpz_cmp_ui(want.z, 1) == 0 && mpz_cmp_ui(zm.z, 1) != 0) {
        Check(s == mpz_jacobi(va.z, zm.z));
        Check(mpz_invert(want.z, va.z, zm.z) != 0);
        Form(rec, want.z, want.z);
        Check(Same(inv.data(), n, want.z));
      } else if (mpz_cmp_ui(want.z, 1) != 0) {
        Check(s == 0);
      }
      break;
    }
    default: {  // square roots of squares modulo odd primes
      // (a composite modulus may send the Lucas method through all its
      // draws, too slow for a fuzzer)
      if ((m[0] & 1) == 0 || !mpz_probab_prime_p(zm.z, 20)) return;
      Check(ModMul(a.data(), a.data(), b.data(), &rec, nullptr));
      Check(ModSqrt(b.data(), out.data(), &rec) == 1);
      Num sq(n);
      Check(ModMul(out.data(), out.data(), sq.data(), &rec, nullptr));
      Check(sq == b);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  BigErrorResetForTests();
  BigRandomUseSourceForTests(Stream);
  Reader r{data, size};
  uint8_t op = r.Byte();
  if (op & 4) {
    Modular(r, op);
  } else {
    Plain(r, op);
  }
  Check(BigLiveBlocks() == 0);
  return 0;
}
