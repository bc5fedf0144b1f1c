// The buckets of one fixed-base multiplication and the queue of affine
// operations that feed them. Adding a point into a non-empty bucket takes the
// bucket's point out and queues their sum; the queue is completed in batches
// that share one field inversion (Montgomery's simultaneous inversion), and
// each result is added back into its bucket the same way. Lives on the stack
// of one EcFixedBaseMul.
#pragma once

#include "crypto/ec/curve.h"

constexpr DWORD EC_BATCH_MAX_OPS = 20;
constexpr DWORD EC_BATCH_MAX_BUCKETS = 64;  // 2^(w-1) for the widest window

enum EcBatchKind : BYTE {
  kBatchConvert,   // a Jacobian point made affine (denominator Z)
  kBatchAdd,       // P1 + P2 (denominator x2 - x1)
  kBatchDouble,    // P1 + P1 (denominator 2 y1)
  kBatchInfinity,  // P1 + (-P1): no denominator, no result
};

struct EcBatchOp {
  EcBatchKind kind;
  BYTE bTarget;  // bucket that receives the result
  LONG lSign;    // a converted point enters its bucket with this sign
};

struct EcBatchQueue {
  const CurveDesc* pCurve;
  DWORD n;
  DWORD cBuckets;  // buckets 1..cBuckets are used; 0 is never targeted
  // Bucket b is the affine point at b * 2n; elements are packed n digits apart.
  Digit rgBucket[(EC_BATCH_MAX_BUCKETS + 1) * 2 * FIELD_MAX_DIGITS];
  DWORD rgPending[EC_BATCH_MAX_BUCKETS + 1];  // queued operations targeting each bucket
  DWORD cOps;
  EcBatchOp rgOp[EC_BATCH_MAX_OPS];
  // Operand i at i * 4n: x1, y1, x2, y2 for an addition; X, Y, Z for a conversion.
  Digit rgOperand[EC_BATCH_MAX_OPS * 4 * FIELD_MAX_DIGITS];
  Digit rgDen[EC_BATCH_MAX_OPS * FIELD_MAX_DIGITS];      // denominators
  Digit rgProduct[EC_BATCH_MAX_OPS * FIELD_MAX_DIGITS];  // running products, then each inverse
  Digit rgResult[EC_BATCH_MAX_OPS * 2 * FIELD_MAX_DIGITS];
  DWORD dwNesting;  // 1 while a flush adds its results into the buckets
  BOOL fOk;         // every step ANDs into it
};

// Empties buckets 1..cBuckets (at most EC_BATCH_MAX_BUCKETS).
BOOL EcBatchInit(EcBatchQueue* q, const CurveDesc* pCurve, DWORD cBuckets);
Digit* EcBatchBucket(EcBatchQueue* q, DWORD b);

// Adds sign * P (affine) into bucket b: an empty bucket takes it, otherwise
// the sum is queued. P must not lie inside the queue's buckets. Flushes first
// when a sum finds the queue full.
BOOL EcBatchAddPoint(EcBatchQueue* q, DWORD b, const Digit* P, LONG sign);
// Queues the conversion of the Jacobian point J, whose affine form then
// enters bucket b with the sign. Flushes first when the queue is full.
BOOL EcBatchAddJacobian(EcBatchQueue* q, DWORD b, const Digit* J, LONG sign);
// Queues P1 + sign * P2 for bucket b (both affine, neither at infinity); the
// caller has made room (EcBatchMakeRoom); a full queue fails.
BOOL EcBatchQueueSum(EcBatchQueue* q, DWORD b, const Digit* P1, const Digit* P2, LONG sign);
// Flushes until at least `count` slots are free (a flush may queue again);
// 0 with the queue failed when that cannot be had.
BOOL EcBatchMakeRoom(EcBatchQueue* q, DWORD count);
// Completes every queued operation with one inversion and adds the results
// into their buckets (which may queue new operations).
BOOL EcBatchFlush(EcBatchQueue* q);
// The closing checks of a multiplication: the queue empty and still sound,
// nothing pending on any bucket, and the buckets from 5 up (folded away or
// used up by then) all at infinity.
BOOL EcBatchSettled(const EcBatchQueue* q);
