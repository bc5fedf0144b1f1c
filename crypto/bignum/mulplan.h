// The Karatsuba multiplication engine: a plan per padded operand size says
// how often the operands are halved before fixed-size kernels take over;
// operands are prepared once (split into every leaf of the recursion) and
// then multiplied as often as needed.
#pragma once

#include "crypto/bignum/mulkernels.h"
#include "crypto/digit.h"
#include "platform/win.h"

constexpr DWORD kMulPlanRows = 12;      // padded sizes 1 2 3 4 6 8 12 16 24 32 48 64
constexpr DWORD kMulMaxLevels = 5;      // 64 digits halved down to 2 at threshold 3
constexpr DWORD kMulPreparedMax = 486;  // digits of the largest prepared operand (2 * 3^5)
constexpr DWORD kMulSignsMax = 121;     // splits of the deepest recursion ((3^5 - 1) / 2)
// The same for operands of at most 32 digits (half the largest modulus):
// 32 digits halved down to 2 at threshold 3.
constexpr DWORD kMulHalfPreparedMax = 162;  // 2 * 3^4
constexpr DWORD kMulHalfSignsMax = 40;      // (3^4 - 1) / 2

struct MulPlan {
  DWORD cDigits;                      // padded operand size
  DWORD cLevels;                      // Karatsuba levels above the kernels
  DWORD cBase;                        // leaf size (cDigits >> cLevels)
  DWORD cScratch[kMulMaxLevels + 1];  // cBase * 3^k digits for level k
};

// Threshold in digits at or below which operands go to the kernels (4 until
// set). Sets 3..12 (0 means 4) and rebuilds the table; another value stores
// code 44, returns 0 and the table is still built with it, clamped to 3..12.
DWORD KaratsubaThreshold();
BOOL MulPlanSetThreshold(DWORD t);
// The plan rows, built with threshold 4 on first use.
const MulPlan* MulPlanTable();
// Smallest row whose padded size is at least cDigits; null (no code) above 64.
const MulPlan* MulPlanForSize(DWORD cDigits);

// Prepares a (la digits, at most the plan's size, else code 55 and 0) into
// prepared (plan->cScratch[plan->cLevels] digits) and signs (one byte per
// split, (3^levels - 1) / 2 bytes). Returns 1.
BOOL MulPrepare(const Digit* a, DWORD la, Digit* prepared, BYTE* signs, const MulPlan* plan);
// Prepares a (la digits) as two operands of the plan's size: its low
// plan->cDigits digits and the rest. la above twice the plan's size stores
// code 56 and returns 0 with nothing written; else returns 1.
BOOL MulPrepareSplit(const Digit* a, DWORD la, Digit* preparedLow, BYTE* signsLow, Digit* preparedHigh, BYTE* signsHigh,
                     const MulPlan* plan);
// product (2 * plan->cDigits digits) = a * b from two operands prepared with
// the same plan. pa and pb may be the same array (squaring).
void MulPrepared(const Digit* pa, const BYTE* sa, const Digit* pb, const BYTE* sb, Digit* product, const MulPlan* plan);

// Fixed-size multipliers for the leaves: kernel(a, b, out, count) multiplies
// count consecutive pairs of base-size leaves into double-size products
// (squares when a and b are the same array). Empty slots are null. The table
// is visible to the callers so that a call through a constant slot compiles
// to the kernel itself.
typedef void (*BaseMulFn)(const Digit* a, const Digit* b, Digit* out, DWORD count);
inline constexpr BaseMulFn BaseMulKernel[13] = {
    nullptr,
    mulkernel::Kernel<1>,
    mulkernel::Kernel<2>,
    mulkernel::Kernel<3>,
    mulkernel::Kernel<4>,
    nullptr,
    mulkernel::Kernel<6>,
    nullptr,
    mulkernel::Kernel<8>,
    nullptr,
    nullptr,
    nullptr,
    mulkernel::Kernel<12>,
};
