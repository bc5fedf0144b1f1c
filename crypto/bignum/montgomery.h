// The reductions behind ModMul, ModReduce and ModExp, and the layout of a
// MulScratch (internal to the library).
//
// Montgomery reduction runs in two passes of c digits (c = cRadix / 2): the
// low c digits times the prepared m^-1 mod 2^(32c) give u, whose product with
// m (from the modulus' two prepared halves) matches those digits exactly, so
// subtracting it clears them and the value moves down by c digits. After two
// passes the value x / 2^(64c) - (multiple of m) / 2^(64c) lies in (-m, m):
// one addition of m on a borrow repairs it. The carries that must come out
// even are summed; anything left stores code 32.
#pragma once

#include <cstring>

#include "crypto/bignum/modular.h"

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#define TF_BIGNUM_CARRY_INTRINSICS 1
#endif

// Layout of a MulScratch: two prepared operands, the product (with room for
// the zero extension to 4c digits), then the reductions' own work.
constexpr DWORD kScratchSignDigits = (kMulSignsMax + 3) / 4;
constexpr DWORD kScratchOperand = kMulPreparedMax + kScratchSignDigits;
constexpr DWORD kScratchProduct = 4 * kModHalfMaxDigits + 1;
constexpr DWORD kReduceWorkDigits = kMulScratchDigits - 2 * kScratchOperand - kScratchProduct;

struct ScratchView {
  Digit* preparedA;
  BYTE* signsA;
  Digit* preparedB;
  BYTE* signsB;
  Digit* product;  // kScratchProduct digits
  Digit* work;     // kReduceWorkDigits digits
};

inline ScratchView MulScratchView(Digit* scratch) {
  return {scratch,
          reinterpret_cast<BYTE*>(scratch + kMulPreparedMax),
          scratch + kScratchOperand,
          reinterpret_cast<BYTE*>(scratch + kScratchOperand + kMulPreparedMax),
          scratch + 2 * kScratchOperand,
          scratch + 2 * kScratchOperand + kScratchProduct};
}

// out (n digits) = x * 2^(-64c) mod m for x below m * 2^(64c), held in 4c + 1
// digits (zero above its length; overwritten). work: kReduceWorkDigits.
// Returns 1, or 0 with code 32.
BOOL ReduceMontgomery(Digit* x, Digit* out, const ModulusRecord* rec, Digit* work);
// out (n digits) = x mod m (Barrett) for x (lx <= n + cRadix digits) below
// m * 2^(32 cRadix). work: kReduceWorkDigits. Returns 1, or 0 with code 32.
BOOL ReducePlain(const Digit* x, DWORD lx, Digit* out, const ModulusRecord* rec, Digit* work);

// out = pa * pb reduced in the record's form, from operands prepared with
// the record's full plan (pa = pb squares). product and work as in the
// view. Returns 1, or 0 with code 32.
BOOL ModMulCore(const Digit* pa, const BYTE* sa, const Digit* pb, const BYTE* sb, Digit* out, const ModulusRecord* rec,
                Digit* product, Digit* work);

// Montgomery records whose two plan rows have no Karatsuba level (n is then
// at most 12) multiply and reduce through fixed-size routines per n: n for
// them, 0 for the others.
inline DWORD ModFlatSize(const ModulusRecord* rec) {
  return rec->fMontgomery && rec->planFull.cLevels == 0 && rec->planHalf.cLevels == 0 ? rec->n : 0;
}

namespace montflat {

using mulkernel::Word;
constexpr int kD = mulkernel::kDigitsPerWord;
constexpr int kBits = mulkernel::kWordBits;

template <int K>
inline Word SubWords(Word* x, const Word* y, Word borrow) {
#ifdef TF_BIGNUM_CARRY_INTRINSICS
  unsigned char b = static_cast<unsigned char>(borrow);
#pragma GCC unroll 32
  for (int i = 0; i < K; ++i) {
#ifdef TF_BIGNUM_WIDE_KERNELS
    unsigned long long r;
    b = _subborrow_u64(b, x[i], y[i], &r);
#else
    unsigned int r;
    b = _subborrow_u32(b, x[i], y[i], &r);
#endif
    x[i] = r;
  }
  return b;
#else
#pragma GCC unroll 32
  for (int i = 0; i < K; ++i) {
    const Word d = x[i] - y[i];
    const Word nb = (x[i] < y[i]) | (d < borrow);
    x[i] = d - borrow;
    borrow = nb;
  }
  return borrow;
#endif
}

template <int K>
inline Word AddWords(Word* x, const Word* y, Word carry) {
#ifdef TF_BIGNUM_CARRY_INTRINSICS
  unsigned char c = static_cast<unsigned char>(carry);
#pragma GCC unroll 32
  for (int i = 0; i < K; ++i) {
#ifdef TF_BIGNUM_WIDE_KERNELS
    unsigned long long r;
    c = _addcarry_u64(c, x[i], y[i], &r);
#else
    unsigned int r;
    c = _addcarry_u32(c, x[i], y[i], &r);
#endif
    x[i] = r;
  }
  return c;
#else
#pragma GCC unroll 32
  for (int i = 0; i < K; ++i) {
    const Word s1 = x[i] + y[i];
    const Word c1 = s1 < y[i];
    x[i] = s1 + carry;
    carry = c1 | (x[i] < carry);
  }
  return carry;
#endif
}

// The two passes and the repair for a record whose row for ceil(n/2) is C
// digits without Karatsuba levels, on machine words: x holds the value in
// 4C digits' worth of words and is overwritten. On two-digit words a pass at
// an odd digit offset reads its C digits with the digit below them cleared:
// the low-half product is then u 2^32 itself, and its product with m lines
// up with whole words.
// N is the modulus length when known (0: the record's).
template <int C, int N = 0>
[[gnu::always_inline]] inline BOOL ReduceWords(Word* x, Digit* out, const ModulusRecord* rec) {
  constexpr int kX = 4 * C / kD;  // 4C is even
  constexpr int kC = mulkernel::Words<C>();
  constexpr int kM = mulkernel::Words<2 * C>();
  constexpr Word kLowDigit = 0xFFFFFFFFu;
  Word m[kM], inverse[kC];
  mulkernel::LoadSettled<2 * C>(rec->modulus, m);  // zero above n digits
  mulkernel::Load<C>(rec->montInverse, inverse);
  Word borrow = 0, left = 0;
#pragma GCC unroll 2
  for (int pass = 0; pass < 2; ++pass) {
    const int offset = pass * C;
    const int ow = offset / kD;
    const bool odd = offset % kD != 0;
    // u = (the C digits at offset) * m^-1 mod 2^(32C), as u 2^32 when odd.
    Word digits[kC], u[kC];
#pragma GCC unroll 16
    for (int i = 0; i < kC; ++i) digits[i] = x[ow + i];
    if (odd) {
      digits[0] &= ~kLowDigit;
    } else if constexpr (C % kD != 0) {
      digits[kC - 1] &= kLowDigit;
    }
    mulkernel::MulLowWords<kC>(digits, inverse, u);
    if constexpr (C % kD != 0) {
      if (!odd) u[kC - 1] &= kLowDigit;
    }
    // x -= u m 2^(32 offset); the C digits at offset cancel.
    Word t[kC + kM];
    mulkernel::MulWords<kC, kM>(u, m, t);
    if (pass == 0) {
      Word b = SubWords<kC + kM>(x, t, 0);
      if constexpr (kX > kC + kM) {
        Word zero[kX - (kC + kM)] = {};
        b = SubWords<kX - (kC + kM)>(x + kC + kM, zero, b);
      }
      borrow += b;
    } else {
      constexpr int kLen1 = kX - C / kD;
      static_assert(kLen1 <= kC + kM, "the second pass' product reaches the top");
      borrow += SubWords<kLen1>(x + C / kD, t, 0);
      // Words of the product beyond the top are zero for a value below m R.
#pragma GCC unroll 16
      for (int i = kLen1; i < kC + kM; ++i) left |= t[i];
    }
  }
  // Both passes' digits must have cancelled.
#pragma GCC unroll 16
  for (int i = 0; i < 2 * C / kD; ++i) left |= x[i];
  Word* top = x + 2 * C / kD;
  if (borrow != 0) left |= borrow ^ AddWords<kM>(top, m, 0);
  Digit digits[2 * C];
  mulkernel::Store<2 * C>(top, digits);
  const DWORD n = N != 0 ? N : rec->n;
#pragma GCC unroll 24
  for (int i = 0; i < 2 * C; ++i) {
    if (static_cast<DWORD>(i) < n) {
      out[i] = digits[i];
    } else {
      left |= digits[i];
    }
  }
  if (left != 0) {
    BigErrorSet(kBigErrReduceCarry);
    return 0;
  }
  return 1;
}

// The same from digits (x: 4C digits, zero above its length).
template <int C>
inline BOOL Reduce(const Digit* x, Digit* out, const ModulusRecord* rec) {
  Word words[4 * C / kD];
  mulkernel::Load<4 * C>(x, words);
  return ReduceWords<C>(words, out, rec);
}

// The padded size of the plan row for n digits (n <= 12).
constexpr int RowSize(int n) { return n <= 4 ? n : n <= 6 ? 6 : n <= 8 ? 8 : 12; }

// An operand prepared for a row without Karatsuba levels: its N digits
// padded to the row's size.
template <int N>
inline void PrepareFlat(const Digit* a, Digit* prepared) {
  constexpr int P = RowSize(N);
  if constexpr (kD == 1 || P % 2 != 0) {
#pragma GCC unroll 12
    for (int i = 0; i < P; ++i) prepared[i] = i < N ? a[i] : 0;
  } else {
    // Whole words, so that the kernel's wide loads find whole stores.
#pragma GCC unroll 6
    for (int i = 0; i < P / 2; ++i) {
      Word lo = 2 * i < N ? a[2 * i] : 0;
      Word hi = 2 * i + 1 < N ? a[2 * i + 1] : 0;
#if defined(__GNUC__)
      asm("" : "+r"(hi));  // two narrow loads: a's digits may be fresh stores
#endif
      const Word w = lo | hi << (kBits / 2);
      __builtin_memcpy(prepared + 2 * i, &w, sizeof(w));
    }
  }
}

// out = pa * pb (Montgomery form) for a flat record of N digits, from
// operands prepared for its row (pa = pb squares): the leaf kernel's product
// of the one pair, kept in words for the reduction.
template <int N>
[[gnu::always_inline]] inline BOOL MulPreparedFlat(const Digit* pa, const Digit* pb, Digit* out,
                                                   const ModulusRecord* rec) {
  constexpr int P = RowSize(N);
  constexpr int C = RowSize((N + 1) / 2);
  static_assert(BaseMulKernel[P] == &mulkernel::Kernel<P>, "the leaf kernel of the full row");
  constexpr int kP = mulkernel::Words<P>();
  constexpr int kX = 4 * C / kD;
  static_assert(2 * kP <= kX, "the product fits the reduction's input");
  Word wa[kP], x[kX];
  mulkernel::LoadSettled<P>(pa, wa);
  if (pa == pb) {
    mulkernel::SqrWords<kP>(wa, x);
  } else {
    Word wb[kP];
    mulkernel::LoadSettled<P>(pb, wb);
    mulkernel::MulWords<kP, kP>(wa, wb, x);
  }
#pragma GCC unroll 12
  for (int i = 2 * kP; i < kX; ++i) x[i] = 0;
  return ReduceWords<C, N>(x, out, rec);
}

// out = a * b: the operands prepared in the MulScratch's two slots, a = b
// prepared once and squared.
template <int N>
inline BOOL Mul(const Digit* a, const Digit* b, Digit* out, const ModulusRecord* rec, Digit* scratch) {
  Digit* pa = scratch;
  PrepareFlat<N>(a, pa);
  if (b == a) return MulPreparedFlat<N>(pa, pa, out, rec);
  Digit* pb = scratch + kScratchOperand;
  PrepareFlat<N>(b, pb);
  return MulPreparedFlat<N>(pa, pb, out, rec);
}

// Calls body.template operator()<N>() for a flat record (n from
// ModFlatSize, non-zero).
template <typename Body>
inline BOOL Dispatch(DWORD n, Body body) {
  switch (n) {
    case 1:
      return body.template operator()<1>();
    case 2:
      return body.template operator()<2>();
    case 3:
      return body.template operator()<3>();
    case 4:
      return body.template operator()<4>();
    case 5:
      return body.template operator()<5>();
    case 6:
      return body.template operator()<6>();
    case 7:
      return body.template operator()<7>();
    case 8:
      return body.template operator()<8>();
    case 9:
      return body.template operator()<9>();
    case 10:
      return body.template operator()<10>();
    case 11:
      return body.template operator()<11>();
    default:
      return body.template operator()<12>();
  }
}

}  // namespace montflat
