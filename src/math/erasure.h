// Recovery parts: with N of them, any N parts of a set that are missing or
// damaged can be rebuilt.  A data part is taken as a block of little-endian
// 16-bit words, padded with zeros to the longest part's length (in the
// arithmetic only), and recovery block r is
//   R_r = sum over data blocks j of RecoveryCoefficient(r, j) * D_j
// in GF(2^16) (see gf16.h), each built by Gf16MulAdd part after part.
#ifndef QCLEAVER_ERASURE_H
#define QCLEAVER_ERASURE_H

#include <stdint.h>

// Indices run from 0 below these.  The coefficients leave room for 32768
// recovery parts; a repair inverts a matrix of up to kMaxRecoveryParts
// squared words, which bounds it for now.
const int kMaxDataParts = 32768;
const int kMaxRecoveryParts = 1000;

// The coefficient of data block j in recovery block r: 1 / (r + (32768 + j)),
// an element of a Cauchy matrix.  It depends on r and j alone, never on
// how many parts a set has, so every square piece of the matrix can be
// inverted, whichever parts are lost.
uint16_t RecoveryCoefficient(int64_t recovery_index, int64_t data_index);

// The matrix that rebuilds count missing data blocks from count recovery
// blocks that are present.  From each recovery block used, k-th in
// recovery[], first take away what the present data blocks put in:
//   S_k = R_recovery[k] + sum over present j of RecoveryCoefficient(recovery[k], j) * D_j
// (adding is subtracting here); then the i-th missing block is
//   D_missing[i] = sum over k of inverse[i * count + k] * S_k.
// count <= kMaxRecoveryParts; inverse holds count * count words.  False
// only if an index repeats in missing[] or recovery[].
bool RepairMatrix(const int64_t *missing, const int64_t *recovery, int count, uint16_t *inverse);

#endif
