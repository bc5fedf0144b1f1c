#include "crypto/bignum/mulplan.h"

#include "crypto/bignum/bigerror.h"

namespace {

constexpr DWORD kRowSizes[kMulPlanRows] = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64};
constexpr DWORD kDefaultThreshold = 4;

struct PlanState {
  bool built = false;
  DWORD threshold = kDefaultThreshold;
  MulPlan rows[kMulPlanRows];
};

PlanState g_plans;

void Build(DWORD t) {
  g_plans.threshold = t;
  for (DWORD r = 0; r < kMulPlanRows; ++r) {
    MulPlan& row = g_plans.rows[r];
    row.cDigits = kRowSizes[r];
    row.cLevels = 0;
    DWORD base = row.cDigits;
    while (base > t) {
      base /= 2;
      ++row.cLevels;
    }
    row.cBase = base;
    DWORD len = base;
    for (DWORD k = 0; k <= kMulMaxLevels; ++k) {
      row.cScratch[k] = k <= row.cLevels ? len : 0;
      len *= 3;
    }
  }
  g_plans.built = true;
}

}  // namespace

DWORD KaratsubaThreshold() { return g_plans.threshold; }

BOOL MulPlanSetThreshold(DWORD t) {
  if (t == 0) t = kDefaultThreshold;
  if (t < 3 || t > 12) {
    // Kernels exist only for leaves of 12 digits or fewer, and a leaf of one
    // or two digits cannot come out of the larger rows: keep the table usable.
    BigErrorSet(kBigErrThreshold);
    Build(t < 3 ? 3 : 12);
    return 0;
  }
  Build(t);
  return 1;
}

const MulPlan* MulPlanTable() {
  if (!g_plans.built) Build(kDefaultThreshold);
  return g_plans.rows;
}

const MulPlan* MulPlanForSize(DWORD cDigits) {
  const MulPlan* rows = MulPlanTable();
  for (DWORD r = 0; r < kMulPlanRows; ++r) {
    if (rows[r].cDigits >= cDigits) return &rows[r];
  }
  return nullptr;
}
