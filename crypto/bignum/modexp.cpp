// Left-to-right sliding-window exponentiation over the odd powers of the
// base, kept prepared. The window width is chosen by walking the exponent
// once per width and counting the work; one-digit exponents take two-bit
// windows over the base and its cube.
#include <cstring>

#include "crypto/bignum/montgomery.h"

namespace {

inline DWORD Bit(const Digit* e, DWORD i) { return (e[i / 32] >> (i % 32)) & 1; }

// One step of the walk: from bit i (set), the window [i, j] is the longest
// of at most w bits ending in a set bit; returns its odd value and sets *j.
DWORD Window(const Digit* e, DWORD i, DWORD w, DWORD* j) {
  DWORD low = i + 1 >= w ? i + 1 - w : 0;
  while (Bit(e, low) == 0) ++low;
  DWORD value = 0;
  for (DWORD b = i + 1; b-- > low;) value = (value << 1) | Bit(e, b);
  *j = low;
  return value;
}

struct Counts {
  DWORD squarings;
  DWORD multiplications;
};

// Work of the exponentiation with width w: the table (one squaring and
// 2^(w-1) - 1 multiplications) and the walk (one squaring per bit below the
// first window, one multiplication per further window).
Counts CountWork(const Digit* e, DWORD bits, DWORD w) {
  Counts c{1, (1u << (w - 1)) - 1};
  DWORD j;
  Window(e, bits - 1, w, &j);
  for (DWORD i = j; i-- > 0;) {
    ++c.squarings;
    if (Bit(e, i) != 0) {
      DWORD low;
      Window(e, i, w, &low);
      c.squarings += i - low;
      ++c.multiplications;
      i = low;
    }
  }
  return c;
}

// Table entries: the prepared digits, then the sign bytes. The fixed blocks
// hold entries of the plans up to threshold 4's row for 64 digits (324
// digits and 40 sign bytes).
constexpr DWORD kEntryDigits = 324 + 40 / 4;
constexpr DWORD kExpTableEntries = 64;
static_assert((kExpTableEntries * kEntryDigits + kBigMaxDigits + kMulScratchDigits) * sizeof(Digit) ==
                  kModExpBlockBytes,
              "ModExp's block");
static_assert((2 * kEntryDigits + kBigMaxDigits + kMulScratchDigits + 2) * sizeof(Digit) == kModExpDigitBlockBytes,
              "the one-digit exponent's block");

DWORD Pow3(DWORD k) {
  DWORD p = 1;
  while (k-- > 0) p *= 3;
  return p;
}

DWORD EntryDigits(const ModulusRecord* rec) {
  const MulPlan& plan = rec->planFull;
  return plan.cScratch[plan.cLevels] + ((Pow3(plan.cLevels) - 1) / 2 + 3) / 4;
}

// Multiplication of prepared operands for any record.
struct AnyMultiplier {
  const ModulusRecord* rec;
  ScratchView v;

  BYTE* Signs(const Digit* entry) const {
    const MulPlan& plan = rec->planFull;
    return reinterpret_cast<BYTE*>(const_cast<Digit*>(entry) + plan.cScratch[plan.cLevels]);
  }
  void Prepare(const Digit* value, Digit* entry) const {
    MulPrepare(value, rec->n, entry, Signs(entry), &rec->planFull);
  }
  BOOL Mul(const Digit* pa, const Digit* pb, Digit* out) const {
    return ModMulCore(pa, Signs(pa), pb, Signs(pb), out, rec, v.product, v.work);
  }
};

// The same for a record without Karatsuba levels: a prepared operand is the
// value padded to P digits.
template <int N>
struct FlatMultiplier {
  const ModulusRecord* rec;
  ScratchView v;

  void Prepare(const Digit* value, Digit* entry) const { montflat::PrepareFlat<N>(value, entry); }
  BOOL Mul(const Digit* pa, const Digit* pb, Digit* out) const {
    return montflat::MulPreparedFlat<N>(pa, pb, out, rec);
  }
};

// The walk with the arithmetic. table has room for 2^(w-1) entries of
// stride digits; acc is n digits; the scratch's first slot holds the
// prepared accumulator (and, while the table is built, the newest power),
// its second the prepared square of the base. Returns the operations done,
// with *ok cleared on failure.
template <typename M>
DWORD Walk(const M& mul, const Digit* base, const Digit* e, DWORD bits, DWORD w, Digit* table, DWORD stride, Digit* acc,
           BOOL* ok) {
  const DWORD n = mul.rec->n;
  Digit* slotA = mul.v.preparedA;
  Digit* slotB = mul.v.preparedB;
  DWORD ops = 0;
  DWORD built = 1;  // entries ready
  DWORD first;
  const DWORD firstValue = Window(e, bits - 1, w, &first);
  mul.Prepare(base, table);
  if (firstValue == 1) std::memcpy(acc, base, n * sizeof(Digit));
  // Entries up to index k (the powers base^(2k + 1)) from base^2.
  auto build = [&](DWORD k) {
    if (k < built || !*ok) return;
    if (built == 1) {
      *ok = mul.Mul(table, table, slotA);
      ++ops;
      if (*ok) mul.Prepare(slotA, slotB);
    }
    for (; *ok && built <= k; ++built) {
      *ok = mul.Mul(table + (built - 1) * stride, slotB, slotA);
      ++ops;
      if (!*ok) break;
      if (2 * built + 1 == firstValue) std::memcpy(acc, slotA, n * sizeof(Digit));
      mul.Prepare(slotA, table + built * stride);
    }
  };
  if (w > 2) build((1u << (w - 1)) - 1);
  build(firstValue / 2);
  for (DWORD i = first; *ok && i-- > 0;) {
    mul.Prepare(acc, slotA);
    *ok = mul.Mul(slotA, slotA, acc);
    ++ops;
    if (*ok && Bit(e, i) != 0) {
      DWORD low;
      const DWORD value = Window(e, i, w, &low);
      for (DWORD s = i; *ok && s > low; --s) {
        mul.Prepare(acc, slotA);
        *ok = mul.Mul(slotA, slotA, acc);
        ++ops;
      }
      build(value / 2);
      if (*ok) {
        mul.Prepare(acc, slotA);
        *ok = mul.Mul(slotA, table + (value / 2) * stride, acc);
      }
      ++ops;
      i = low;
    }
  }
  return ops;
}

// Takes the block, runs the walk with the record's multiplier and stores the
// result. fixedBytes is the routine's block; entries the table's size.
DWORD Run(const Digit* base, const Digit* e, DWORD bits, DWORD w, DWORD entries, SIZE_T fixedBytes, Digit* out,
          const ModulusRecord* rec) {
  const DWORD n = rec->n;
  DWORD stride = EntryDigits(rec);
  SIZE_T cb = fixedBytes;
  Digit* table;
  Digit* acc;
  Digit* scratch;
  if (stride <= kEntryDigits) {
    // The fixed layout: the table, the accumulator, a MulScratch.
    stride = kEntryDigits;
    const DWORD fixedEntries = fixedBytes == kModExpBlockBytes ? kExpTableEntries : 2;
    Digit* block = static_cast<Digit*>(BigAlloc(cb));
    if (block == nullptr) {
      std::memset(out, 0, n * sizeof(Digit));
      return 0;
    }
    table = block;
    acc = table + fixedEntries * stride;
  } else {
    cb = (entries * stride + kBigMaxDigits + kMulScratchDigits) * sizeof(Digit);
    Digit* block = static_cast<Digit*>(BigAlloc(cb));
    if (block == nullptr) {
      std::memset(out, 0, n * sizeof(Digit));
      return 0;
    }
    table = block;
    acc = table + entries * stride;
  }
  scratch = acc + kBigMaxDigits;
  const ScratchView v = MulScratchView(scratch);
  BOOL ok = 1;
  DWORD ops;
  if (const DWORD flat = ModFlatSize(rec)) {
    ops = 0;
    montflat::Dispatch(flat, [&]<int N>() {
      ops = Walk(FlatMultiplier<N>{rec, v}, base, e, bits, w, table, stride, acc, &ok);
      return 1;
    });
  } else {
    ops = Walk(AnyMultiplier{rec, v}, base, e, bits, w, table, stride, acc, &ok);
  }
  if (ok) {
    std::memcpy(out, acc, n * sizeof(Digit));
  } else {
    std::memset(out, 0, n * sizeof(Digit));
    ops = 0;
  }
  BigFree(table);
  return ops;
}

// Exponents of one digit: two-bit windows, base^3 made only when a window
// needs it.
DWORD ModExpDigit(const Digit* base, Digit e, Digit* out, const ModulusRecord* rec) {
  return Run(base, &e, BigBitLength(&e, 1), 2, 2, kModExpDigitBlockBytes, out, rec);
}

}  // namespace

DWORD ModExpWindowWidth(const Digit* e, DWORD le) {
  DWORD bits = BigBitLength(e, le);
  if (bits == 0) return 3;
  DWORD best = 3, bestCost = 0;
  for (DWORD w = 3; w <= 7; ++w) {
    Counts c = CountWork(e, bits, w);
    DWORD cost = 3 * c.squarings + 4 * c.multiplications;
    if (w == 3 || cost < bestCost) {
      best = w;
      bestCost = cost;
    }
  }
  return best;
}

DWORD ModExp(const Digit* base, const Digit* e, DWORD le, Digit* out, const ModulusRecord* rec) {
  const DWORD n = rec->n;
  const DWORD bits = BigBitLength(e, le);
  if (bits == 0) {
    std::memcpy(out, rec->one, n * sizeof(Digit));
    return 0;
  }
  if (bits == 1) {
    std::memmove(out, base, n * sizeof(Digit));
    return 0;
  }
  if (bits <= 32) return ModExpDigit(base, e[0], out, rec);
  const DWORD w = ModExpWindowWidth(e, le);
  return Run(base, e, bits, w, 1u << (w - 1), kModExpBlockBytes, out, rec);
}
