// Leaf multipliers of the Karatsuba engine and the low-half product of the
// Montgomery passes: column-wise products with the loops over a fixed size
// fully unrolled. On 64-bit targets two digits share a machine word (a
// 6-digit leaf is three words, nine multiplications instead of thirty-six);
// the i686 program and the narrow test build use one digit per word. The
// digits that come out are the same either way (internal to the library).
#pragma once

#include "crypto/digit.h"
#include "platform/win.h"

#if defined(__SIZEOF_INT128__) && !defined(TF_BIGNUM_NARROW)
#define TF_BIGNUM_WIDE_KERNELS 1
#endif

namespace mulkernel {

#ifdef TF_BIGNUM_WIDE_KERNELS
typedef unsigned long long Word;
typedef unsigned __int128 Wide;
constexpr int kDigitsPerWord = 2;
#else
typedef Digit Word;
typedef DoubleDigit Wide;
constexpr int kDigitsPerWord = 1;
#endif
constexpr int kWordBits = 8 * sizeof(Word);

template <int N>
constexpr int Words() {
  return (N + kDigitsPerWord - 1) / kDigitsPerWord;
}

// Word i of an N-digit number (zero beyond its digits: nothing past digit
// N - 1 is read). The two digits are read apart: the digits were often just
// stored one by one, and a wide load that spans two narrow stores waits for
// both to reach the cache.
template <int N>
inline Word LoadWord(const Digit* v, int i) {
  if constexpr (kDigitsPerWord == 1) {
    return v[i];
  } else {
    Word lo = v[2 * i];
    Word hi = 2 * i + 1 < N ? v[2 * i + 1] : 0;
#if defined(__GNUC__)
    asm("" : "+r"(hi));  // keeps the compiler from merging the two loads
#endif
    return lo | hi << (kWordBits / 2);
  }
}

// The same from digits written long before (a record's constants): one wide
// load per word.
template <int N>
inline Word LoadWordSettled(const Digit* v, int i) {
  if constexpr (kDigitsPerWord == 1 || N % 2 != 0) {
    return LoadWord<N>(v, i);
  } else {
    Word w;
    __builtin_memcpy(&w, v + 2 * i, sizeof(w));
    return w;
  }
}

template <int N>
inline void LoadSettled(const Digit* v, Word* w) {
  constexpr int K = Words<N>();
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) w[i] = LoadWordSettled<N>(v, i);
}

template <int N>
inline void Load(const Digit* v, Word* w) {
  constexpr int K = Words<N>();
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) w[i] = LoadWord<N>(v, i);
}

// Stores the low M digits of a word array.
template <int M>
inline void Store(const Word* w, Digit* v) {
#pragma GCC unroll 32
  for (int i = 0; i < M; ++i) {
    if constexpr (kDigitsPerWord == 1) {
      v[i] = w[i];
    } else {
      v[i] = static_cast<Digit>(w[i / 2] >> (32 * (i % 2)));
    }
  }
}

// Column accumulator of three words.
struct Column {
  Word c0 = 0, c1 = 0, c2 = 0;

  [[gnu::always_inline]] inline void Add(Word a, Word b) {
#if defined(__GNUC__) && defined(__x86_64__) && defined(TF_BIGNUM_WIDE_KERNELS)
    // The multiply-accumulate as the processor does it: the compiler builds
    // the carry of the 128-bit sum with a compare.
    Word hi;
    asm("mulq %[b]\n\t"
        "addq %%rax, %[c0]\n\t"
        "adcq %%rdx, %[c1]\n\t"
        "adcq $0, %[c2]"
        : [c0] "+r"(c0), [c1] "+r"(c1), [c2] "+r"(c2), "+a"(a), "=d"(hi)
        : [b] "r"(b)
        : "cc");
#elif defined(__GNUC__) && defined(__i386__)
    Word hi;
    asm("mull %[b]\n\t"
        "addl %%eax, %[c0]\n\t"
        "adcl %%edx, %[c1]\n\t"
        "adcl $0, %[c2]"
        : [c0] "+rm"(c0), [c1] "+rm"(c1), [c2] "+rm"(c2), "+a"(a), "=d"(hi)
        : [b] "rm"(b)
        : "cc");
#else
    const Wide p = static_cast<Wide>(a) * b;
    const Wide s = ((static_cast<Wide>(c1) << kWordBits) | c0) + p;
    c2 += s < p;
    c0 = static_cast<Word>(s);
    c1 = static_cast<Word>(s >> kWordBits);
#endif
  }
  inline Word Shift() {
    const Word w = c0;
    c0 = c1;
    c1 = c2;
    c2 = 0;
    return w;
  }
};

// Word products: out (K + L words) = a (K words) * b (L words), and the
// square of a (2K words).
template <int K, int L>
[[gnu::always_inline]] inline void MulWords(const Word* a, const Word* b, Word* out) {
  Column acc;
#pragma GCC unroll 16
  for (int k = 0; k < K + L - 1; ++k) {
#pragma GCC unroll 16
    for (int i = (k < L ? 0 : k - L + 1); i <= (k < K ? k : K - 1); ++i) acc.Add(a[i], b[k - i]);
    out[k] = acc.Shift();
  }
  out[K + L - 1] = acc.c0;
}

template <int K>
[[gnu::always_inline]] inline void SqrWords(const Word* a, Word* out) {
  Column acc;
#pragma GCC unroll 16
  for (int k = 0; k < 2 * K - 1; ++k) {
#pragma GCC unroll 16
    for (int i = (k < K ? 0 : k - K + 1); 2 * i < k; ++i) {
      acc.Add(a[i], a[k - i]);
      acc.Add(a[i], a[k - i]);
    }
    if (k % 2 == 0) acc.Add(a[k / 2], a[k / 2]);
    out[k] = acc.Shift();
  }
  out[2 * K - 1] = acc.c0;
}

// out (K words) = a * b mod 2^(K words).
template <int K>
[[gnu::always_inline]] inline void MulLowWords(const Word* a, const Word* b, Word* out) {
  Column acc;
#pragma GCC unroll 16
  for (int k = 0; k < K; ++k) {
#pragma GCC unroll 16
    for (int i = 0; i <= k; ++i) acc.Add(a[i], b[k - i]);
    out[k] = acc.Shift();
  }
}

// out (2N digits) = a * b (N digits each).
template <int N>
inline void MulOne(const Digit* a, const Digit* b, Digit* out) {
  constexpr int K = Words<N>();
  Word wa[K], wb[K], wo[2 * K];
  Load<N>(a, wa);
  Load<N>(b, wb);
  MulWords<K, K>(wa, wb, wo);
  Store<2 * N>(wo, out);
}

// out (2N digits) = a^2.
template <int N>
inline void SqrOne(const Digit* a, Digit* out) {
  constexpr int K = Words<N>();
  Word wa[K], wo[2 * K];
  Load<N>(a, wa);
  SqrWords<K>(wa, wo);
  Store<2 * N>(wo, out);
}

// One leaf pair, squared when a and b are the same array.
template <int N>
inline void MulPair(const Digit* a, const Digit* b, Digit* out) {
  if (a == b) {
    SqrOne<N>(a, out);
  } else {
    MulOne<N>(a, b, out);
  }
}

template <int N>
void Kernel(const Digit* a, const Digit* b, Digit* out, DWORD count) {
  if (a == b) {
    for (DWORD c = 0; c < count; ++c) SqrOne<N>(a + c * N, out + c * 2 * N);
  } else {
    for (DWORD c = 0; c < count; ++c) MulOne<N>(a + c * N, b + c * N, out + c * 2 * N);
  }
}

}  // namespace mulkernel
