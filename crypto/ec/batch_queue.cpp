#include "crypto/ec/batch_queue.h"

namespace {

BOOL Fail(EcBatchQueue* q) {
  q->fOk = 0;
  return 0;
}

BOOL Step(EcBatchQueue* q, BOOL ok) {
  q->fOk &= ok;
  return q->fOk;
}

Digit* Operand(EcBatchQueue* q, DWORD i) { return q->rgOperand + i * 4 * q->n; }

// Takes the next slot for bucket b and returns its operands (the caller fills
// them), or null with the queue failed when no slot is free: every taker goes
// through this one bound check.
Digit* TakeSlot(EcBatchQueue* q, EcBatchKind kind, DWORD b, LONG sign) {
  if (q->cOps >= EC_BATCH_MAX_OPS || b == 0 || b > q->cBuckets) {
    Fail(q);
    return nullptr;
  }
  const DWORD i = q->cOps++;
  q->rgOp[i].kind = kind;
  q->rgOp[i].bTarget = static_cast<BYTE>(b);
  q->rgOp[i].lSign = sign;
  q->rgPending[b]++;
  return Operand(q, i);
}

// Denominator of operation i, or kBatchInfinity when it has none. Decides
// between addition and doubling for points that share their x.
BOOL FormDenominator(EcBatchQueue* q, DWORD i, Digit* den) {
  const FieldDesc* f = q->pCurve->pField;
  const DWORD n = q->n;
  EcBatchOp* op = &q->rgOp[i];
  Digit* o = Operand(q, i);
  if (op->kind == kBatchConvert) return FieldCopy(o + 2 * n, den, 1, f);
  if (!FieldEqual(o, o + 2 * n, f)) return FieldSub(o + 2 * n, o, den, f);
  // Equal x: the points cancel when y1 = -y2 (a y of zero included), else
  // they are the same point.
  if (!FieldAdd(o + n, o + 3 * n, den, f)) return 0;
  if (FieldIsZero(den, f)) {
    op->kind = kBatchInfinity;
    return 1;
  }
  op->kind = kBatchDouble;
  return FieldAdd(o + n, o + n, den, f);
}

// Result of operation i from the inverse of its denominator.
BOOL Complete(EcBatchQueue* q, DWORD i, const Digit* inv, Digit* res) {
  const CurveDesc* c = q->pCurve;
  const FieldDesc* f = c->pField;
  const DWORD n = q->n;
  const Digit* o = Operand(q, i);
  Digit lambda[FIELD_MAX_DIGITS], t[FIELD_MAX_DIGITS];
  switch (q->rgOp[i].kind) {
    case kBatchConvert:
      return FieldMul(inv, inv, t, f) && FieldMul(o, t, res, f) && FieldMul(t, inv, t, f) &&
             FieldMul(o + n, t, res + n, f);
    case kBatchAdd:
      if (!(FieldSub(o + 3 * n, o + n, t, f) && FieldMul(t, inv, lambda, f))) return 0;
      break;
    case kBatchDouble:
      if (!(FieldMul(o, o, t, f) && FieldAdd(t, t, lambda, f) && FieldAdd(t, lambda, t, f) &&
            FieldAdd(t, c->rgA, t, f) && FieldMul(t, inv, lambda, f))) {
        return 0;
      }
      break;
    case kBatchInfinity:
      return 1;
  }
  // x = lambda^2 - x1 - x2, y = lambda (x1 - x) - y1
  return FieldMul(lambda, lambda, res, f) && FieldSub(res, o, res, f) && FieldSub(res, o + 2 * n, res, f) &&
         FieldSub(o, res, t, f) && FieldMul(lambda, t, t, f) && FieldSub(t, o + n, res + n, f);
}

}  // namespace

BOOL EcBatchInit(EcBatchQueue* q, const CurveDesc* pCurve, DWORD cBuckets) {
  q->pCurve = pCurve;
  q->n = pCurve->pField->cDigits;
  q->cBuckets = cBuckets;
  q->cOps = 0;
  q->dwNesting = 0;
  q->fOk = cBuckets <= EC_BATCH_MAX_BUCKETS && q->n <= FIELD_MAX_DIGITS;
  for (DWORD b = 0; b <= EC_BATCH_MAX_BUCKETS; b++) q->rgPending[b] = 0;
  if (!q->fOk) return 0;
  for (DWORD b = 0; b <= cBuckets; b++) EcSetInfinity(EcBatchBucket(q, b), pCurve);
  return 1;
}

Digit* EcBatchBucket(EcBatchQueue* q, DWORD b) { return q->rgBucket + b * 2 * q->n; }

BOOL EcBatchMakeRoom(EcBatchQueue* q, DWORD count) {
  if (!q->fOk) return 0;
  if (count > EC_BATCH_MAX_OPS) return Fail(q);
  // A flush adds its results back into their buckets, which can fill the
  // queue again, so it is flushed until the room is there. Each flush of
  // sums leaves fewer points in play (two become one), and a flush of
  // conversions only queues sums, so this ends; the bound on the rounds
  // turns a queue that stops draining into a failure instead of a hang.
  const DWORD maxRounds = 2 * (q->cBuckets + 2 * EC_BATCH_MAX_OPS) + 2;
  for (DWORD round = 0; q->cOps + count > EC_BATCH_MAX_OPS; round++) {
    if (round == maxRounds || !EcBatchFlush(q)) return Fail(q);
  }
  return 1;
}

BOOL EcBatchQueueSum(EcBatchQueue* q, DWORD b, const Digit* P1, const Digit* P2, LONG sign) {
  const FieldDesc* f = q->pCurve->pField;
  const DWORD n = q->n;
  if (!q->fOk) return 0;
  Digit* o = TakeSlot(q, kBatchAdd, b, 1);
  if (o == nullptr) return 0;
  return Step(q, FieldCopy(P1, o, 2, f) && FieldCopy(P2, o + 2 * n, 1, f) &&
                     (sign < 0 ? FieldNeg(P2 + n, o + 3 * n, f) : FieldCopy(P2 + n, o + 3 * n, 1, f)));
}

BOOL EcBatchAddPoint(EcBatchQueue* q, DWORD b, const Digit* P, LONG sign) {
  const CurveDesc* c = q->pCurve;
  if (!q->fOk) return 0;
  if (b == 0 || b > q->cBuckets) return Fail(q);
  if (EcIsInfinity(P, c)) return 1;
  Digit* bucket = EcBatchBucket(q, b);
  // Room is made only for a sum; a flush adds into the buckets, so the
  // bucket is looked at again afterwards.
  if (!EcIsInfinity(bucket, c) && !EcBatchMakeRoom(q, 1)) return 0;
  if (EcIsInfinity(bucket, c)) {
    return Step(q, sign < 0 ? EcNegate(P, bucket, c) : FieldCopy(P, bucket, 2, c->pField));
  }
  if (!EcBatchQueueSum(q, b, bucket, P, sign)) return 0;
  return Step(q, EcSetInfinity(bucket, c));
}

BOOL EcBatchAddJacobian(EcBatchQueue* q, DWORD b, const Digit* J, LONG sign) {
  const FieldDesc* f = q->pCurve->pField;
  if (!q->fOk) return 0;
  if (b == 0 || b > q->cBuckets) return Fail(q);
  if (EcJacobianIsInfinity(J, q->pCurve)) return 1;
  if (!EcBatchMakeRoom(q, 1)) return 0;
  Digit* o = TakeSlot(q, kBatchConvert, b, sign);
  return o != nullptr && Step(q, FieldCopy(J, o, 3, f));
}

BOOL EcBatchSettled(const EcBatchQueue* q) {
  if (!q->fOk || q->cOps != 0) return 0;
  for (DWORD b = 1; b <= q->cBuckets; b++) {
    if (q->rgPending[b] != 0) return 0;
    if (b >= 5 && !EcIsInfinity(q->rgBucket + b * 2 * q->n, q->pCurve)) return 0;
  }
  return 1;
}

BOOL EcBatchFlush(EcBatchQueue* q) {
  const FieldDesc* f = q->pCurve->pField;
  const DWORD n = q->n;
  if (!q->fOk) return 0;
  const DWORD m = q->cOps;
  if (m == 0) return 1;
  // Results re-enter the buckets below with the queue emptied first, so the
  // i-th of them finds at most i operations queued: a flush never needs
  // another flush.
  if (q->dwNesting != 0 || m > EC_BATCH_MAX_OPS) return Fail(q);

  // Running products of the denominators (operations without one skipped).
  DWORD last = m;  // index of the latest operation in the product
  DWORD prev[EC_BATCH_MAX_OPS];
  for (DWORD i = 0; i < m; i++) {
    Digit* den = q->rgDen + i * n;
    if (!FormDenominator(q, i, den)) return Fail(q);
    if (q->rgOp[i].kind == kBatchInfinity) continue;
    Digit* prod = q->rgProduct + i * n;
    if (!(last == m ? FieldCopy(den, prod, 1, f) : FieldMul(q->rgProduct + last * n, den, prod, f))) return Fail(q);
    prev[i] = last;
    last = i;
  }
  // One inversion, then back down the chain: the inverse of the product up to
  // i times the product up to prev[i] is den_i^-1, and times den_i it becomes
  // the inverse of the product up to prev[i].
  if (last != m) {
    Digit inv[FIELD_MAX_DIGITS];
    if (!FieldInverse(q->rgProduct + last * n, inv, f)) return Fail(q);
    for (DWORD i = last; i != m; i = prev[i]) {
      Digit* slot = q->rgProduct + i * n;
      if (prev[i] == m) {
        FieldCopy(inv, slot, 1, f);
      } else if (!(FieldMul(inv, q->rgProduct + prev[i] * n, slot, f) && FieldMul(inv, q->rgDen + i * n, inv, f))) {
        return Fail(q);
      }
    }
  }
  for (DWORD i = 0; i < m; i++) {
    if (!Complete(q, i, q->rgProduct + i * n, q->rgResult + i * 2 * n)) return Fail(q);
  }

  EcBatchOp ops[EC_BATCH_MAX_OPS];
  for (DWORD i = 0; i < m; i++) ops[i] = q->rgOp[i];
  q->cOps = 0;
  q->dwNesting++;
  for (DWORD i = 0; i < m && q->fOk; i++) {
    q->rgPending[ops[i].bTarget]--;
    if (ops[i].kind == kBatchInfinity) continue;
    EcBatchAddPoint(q, ops[i].bTarget, q->rgResult + i * 2 * n, ops[i].kind == kBatchConvert ? ops[i].lSign : 1);
  }
  q->dwNesting--;
  return q->fOk;
}
