#include "crypto/ec/batch_queue.h"
#include "crypto/ec/fixed_base.h"
#include "crypto/ec/scalar_recoding.h"

// k*P = sum over windows j of d_j * T_j with T_j = 2^(w*j) P. Digit d_j adds
// sign(d_j) T_j into bucket A_|d_j|, so that k*P = sum of d * A_d. The
// buckets are then folded pairwise into fewer ones and combined by a short
// chain of doublings and additions.

namespace {

// Gathers the digits of k into the buckets. The windows 0..t-1 use the table
// points T_j; from bit w*t on the windows are one bit wide and use T_t,
// doubled once per further bit in Jacobian form (queued as a conversion).
BOOL Accumulate(EcBatchQueue* q, const Digit* pTable, DWORD w, DWORD t, const Digit* k, DWORD cDigits) {
  const CurveDesc* c = q->pCurve;
  const DWORD n = q->n;
  const DWORD tableEnd = w * t;
  EcScalarRecoder rec;
  EcRecoderInit(&rec, k, cDigits, w, tableEnd);
  Digit J[EC_JACOBIAN_ELEMENTS * FIELD_MAX_DIGITS];
  Digit scratch[EC_JACOBIAN_SCRATCH_ELEMENTS * FIELD_MAX_DIGITS];
  DWORD jPos = tableEnd;  // the bit whose multiple of P is in J
  for (;;) {
    LONG d = 0;
    DWORD pos = 0;
    const EcRecodeStep step = EcRecoderNext(&rec, &d, &pos);
    if (step == kRecodeDone) return q->fOk;
    if (step == kRecodeInconsistent) return q->fOk = 0;
    if (d == 0) continue;
    // Doublings are caught up only where a digit needs the point, so a run
    // of zero digits becomes one run of doublings.
    if (pos > tableEnd) {
      if (jPos == tableEnd && !EcToJacobian(pTable + t * 2 * n, J, c, scratch)) return q->fOk = 0;
      if (!EcJacobianDoubleRepeat(J, pos - jPos, J, c, scratch)) return q->fOk = 0;
      jPos = pos;
    }
    const DWORD b = static_cast<DWORD>(d < 0 ? -d : d);
    const LONG sign = d < 0 ? -1 : 1;
    const BOOL ok =
        pos <= tableEnd ? EcBatchAddPoint(q, b, pTable + (pos / w) * 2 * n, sign) : EcBatchAddJacobian(q, b, J, sign);
    if (!ok) return 0;
  }
}

// A_c gains A_(c+e) + A_(c-e) and A_e gains A_(c+e) - A_(c-e); both sources
// are emptied. The caller has checked that nothing is pending on them.
BOOL Fold(EcBatchQueue* q, DWORD c, DWORD e) {
  const CurveDesc* curve = q->pCurve;
  const FieldDesc* f = curve->pField;
  Digit X[2 * FIELD_MAX_DIGITS], Y[2 * FIELD_MAX_DIGITS];
  Digit* hi = EcBatchBucket(q, c + e);
  Digit* lo = EcBatchBucket(q, c - e);
  if (!(FieldCopy(hi, X, 2, f) && FieldCopy(lo, Y, 2, f) && EcSetInfinity(hi, curve) && EcSetInfinity(lo, curve))) {
    return q->fOk = 0;
  }
  const BOOL xInf = EcIsInfinity(X, curve);
  const BOOL yInf = EcIsInfinity(Y, curve);
  if (xInf && yInf) return 1;
  if (xInf) return EcBatchAddPoint(q, c, Y, 1) && EcBatchAddPoint(q, e, Y, -1);
  if (yInf) return EcBatchAddPoint(q, c, X, 1) && EcBatchAddPoint(q, e, X, 1);
  // Two sums: room for both first (the sources are empty and nothing is
  // pending on them, so the flush cannot touch them).
  return EcBatchMakeRoom(q, 2) && EcBatchQueueSum(q, c, X, Y, 1) && EcBatchQueueSum(q, e, X, Y, -1);
}

// Levels i = 0..w-4 fold the buckets around c = 3v, v = 2^(w-3-i), leaving
// only A_1..A_4 and the A_(3*2^D). A fold waits while a source has pending
// operations; a pass that can do nothing flushes the queue first. Each level
// is finished before the next, whose sources may be this level's targets.
BOOL FoldAll(EcBatchQueue* q, DWORD w) {
  for (DWORD i = 0; i + 4 <= w; i++) {
    const DWORD v = 1u << (w - 3 - i);
    const DWORD c = 3 * v;
    const DWORD last = v - (i % 2);
    BOOL done[EC_BATCH_MAX_BUCKETS + 1] = {};
    DWORD left = last;
    while (left > 0) {
      BOOL progress = 0;
      for (DWORD e = 1; e <= last; e++) {
        if (done[e] || q->rgPending[c + e] != 0 || q->rgPending[c - e] != 0) continue;
        if (!Fold(q, c, e)) return 0;
        done[e] = 1;
        left--;
        progress = 1;
      }
      if (!progress) {
        // Something is pending on a source, so the queue cannot be empty.
        if (q->cOps == 0 || !EcBatchFlush(q)) return q->fOk = 0;
      }
    }
  }
  while (q->cOps > 0) {
    if (!EcBatchFlush(q)) return 0;
  }
  return q->fOk;
}

// S = A_(3*2^D) doubled in from D = w-3 down to 0, T = 2 A_4 + A_2 + S,
// S = S + A_1, result 2T + S. Every bucket used is emptied.
BOOL Combine(EcBatchQueue* q, DWORD w, Digit* out) {
  const CurveDesc* c = q->pCurve;
  Digit S[EC_JACOBIAN_ELEMENTS * FIELD_MAX_DIGITS], T[EC_JACOBIAN_ELEMENTS * FIELD_MAX_DIGITS];
  Digit s[EC_JACOBIAN_SCRATCH_ELEMENTS * FIELD_MAX_DIGITS];
  auto take = [&](DWORD b, Digit* J) {
    Digit* A = EcBatchBucket(q, b);
    return EcJacobianAddAffine(J, A, J, c, s) && EcSetInfinity(A, c);
  };
  BOOL ok = EcJacobianSetInfinity(S, c);
  for (DWORD D = w - 3 + 1; ok && D-- > 0;) ok = EcJacobianDouble(S, S, c, s) && take(3u << D, S);
  ok = ok && EcToJacobian(EcBatchBucket(q, 4), T, c, s) && EcSetInfinity(EcBatchBucket(q, 4), c) &&
       EcJacobianDouble(T, T, c, s) && take(2, T) && EcJacobianAdd(T, S, T, c, s) && take(1, S) &&
       EcJacobianDouble(T, T, c, s) && EcJacobianAdd(T, S, T, c, s) && EcToAffine(T, out, c, s);
  return q->fOk &= ok;
}

}  // namespace

BOOL EcFixedBaseMul(const Digit* pTable, DWORD w, DWORD t, const Digit* k, DWORD cDigits, Digit* out,
                    const CurveDesc* pCurve) {
  if (w < EC_FIXED_BASE_MIN_WINDOW || w > EC_FIXED_BASE_MAX_WINDOW) return 0;
  EcBatchQueue q;
  if (!EcBatchInit(&q, pCurve, 1u << (w - 1))) return 0;
  return Accumulate(&q, pTable, w, t, k, cDigits) && FoldAll(&q, w) && Combine(&q, w, out) && EcBatchSettled(&q);
}
