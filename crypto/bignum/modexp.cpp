// Left-to-right sliding-window exponentiation over the odd powers of the
// base. The window width is chosen by walking the exponent once per width
// and counting the work.
#include <cstring>

#include "crypto/bignum/modmul_internal.h"
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

// Multiplication through the prepared table or the interleaved loop.
struct Multiplier {
  const ModulusRecord* rec;
  Digit* product;
  Digit* preparedAcc;
  BYTE* signsAcc;
  bool fused;
  DWORD stride;  // digits per table entry
  DWORD prepDigits;

  BOOL Square(Digit* acc) const {
    if (fused) {
      MontMulFused(acc, acc, acc, rec);
      return 1;
    }
    MulPrepare(acc, rec->n, preparedAcc, signsAcc, &rec->planFull);
    return ModMulCore(preparedAcc, signsAcc, preparedAcc, signsAcc, acc, rec, product);
  }
  // acc *= entry k of the table.
  BOOL Multiply(Digit* acc, const Digit* table, DWORD k) const {
    const Digit* entry = table + k * stride;
    if (fused) {
      MontMulFused(acc, entry, acc, rec);
      return 1;
    }
    MulPrepare(acc, rec->n, preparedAcc, signsAcc, &rec->planFull);
    return ModMulCore(preparedAcc, signsAcc, entry, reinterpret_cast<const BYTE*>(entry + prepDigits), acc, rec,
                      product);
  }
  // Stores a residue as table entry k (prepared unless fused).
  void Store(const Digit* value, Digit* table, DWORD k) const {
    Digit* entry = table + k * stride;
    if (fused) {
      std::memcpy(entry, value, rec->n * sizeof(Digit));
    } else {
      MulPrepare(value, rec->n, entry, reinterpret_cast<BYTE*>(entry + prepDigits), &rec->planFull);
    }
  }
};

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
  // One-digit exponents use two-bit windows over base and base^3, the cube
  // made only when a window needs it.
  const DWORD w = BigSignificantLength(e, le) == 1 ? 2 : ModExpWindowWidth(e, le);
  const DWORD entries = 1u << (w - 1);

  Multiplier mul{};
  mul.rec = rec;
  mul.fused = rec->fMontgomery && n <= kMontFusedMaxDigits;
  const MulPlan& plan = rec->planFull;
  mul.prepDigits = plan.cScratch[plan.cLevels];
  DWORD signDigits = ((kMulSignsMax + 3) / 4);
  // Each entry keeps its value (n digits) after its prepared form.
  mul.stride = mul.fused ? n : mul.prepDigits + signDigits + n;
  const DWORD total =
      entries * mul.stride + 2 * n + (mul.fused ? 0 : mul.prepDigits + signDigits + 3 * kBigMaxDigits + 1);
  Digit* block = static_cast<Digit*>(BigAlloc(total * sizeof(Digit)));
  if (block == nullptr) {
    std::memset(out, 0, n * sizeof(Digit));
    return 0;
  }
  Digit* table = block;
  Digit* acc = table + entries * mul.stride;
  Digit* square = acc + n;
  if (!mul.fused) {
    mul.preparedAcc = square + n;
    mul.signsAcc = reinterpret_cast<BYTE*>(mul.preparedAcc + mul.prepDigits);
    mul.product = mul.preparedAcc + mul.prepDigits + signDigits;
  }
  auto valueOf = [&](DWORD k) -> Digit* {
    Digit* entry = table + k * mul.stride;
    return mul.fused ? entry : entry + mul.prepDigits + signDigits;
  };

  DWORD ops = 0;
  BOOL ok = 1;
  DWORD built = 1;  // table entries ready
  std::memcpy(valueOf(0), base, n * sizeof(Digit));
  mul.Store(base, table, 0);
  // Makes entries up to index k (values base^(2k+1)) from base^2.
  auto build = [&](DWORD k) {
    if (k < built || !ok) return;
    if (built == 1) {
      std::memcpy(square, base, n * sizeof(Digit));
      ok = mul.Square(square);
      ++ops;
    }
    for (; ok && built <= k; ++built) {
      std::memcpy(valueOf(built), square, n * sizeof(Digit));
      ok = mul.Multiply(valueOf(built), table, built - 1);
      ++ops;
      if (ok) mul.Store(valueOf(built), table, built);
    }
  };
  if (w > 2) build(entries - 1);

  DWORD j;
  DWORD value = Window(e, bits - 1, w, &j);
  build(value / 2);
  if (ok) std::memcpy(acc, valueOf(value / 2), n * sizeof(Digit));
  for (DWORD i = j; ok && i-- > 0;) {
    ok = mul.Square(acc);
    ++ops;
    if (ok && Bit(e, i) != 0) {
      DWORD low;
      value = Window(e, i, w, &low);
      for (DWORD s = i; ok && s > low; --s) {
        ok = mul.Square(acc);
        ++ops;
      }
      build(value / 2);
      if (ok) ok = mul.Multiply(acc, table, value / 2);
      ++ops;
      i = low;
    }
  }
  if (ok) {
    std::memcpy(out, acc, n * sizeof(Digit));
  } else {
    std::memset(out, 0, n * sizeof(Digit));
    ops = 0;
  }
  BigFree(block);
  return ops;
}
