#include "math/erasure.h"

#include <assert.h>

#include "math/gf16.h"

// A Cauchy matrix 1 / (x_r + y_j) has every square piece invertible when
// the x and the y are all distinct.  Recovery indices (x_r = r) take the
// field's lower half and data indices (y_j = 32768 + j) its upper half, so
// no sum is zero and neither range caps the other.
uint16_t RecoveryCoefficient(int64_t recovery_index, int64_t data_index)
{
    assert(recovery_index >= 0 && recovery_index < kMaxRecoveryParts);
    assert(data_index >= 0 && data_index < kMaxDataParts);
    return Gf16Inverse((uint16_t)(recovery_index ^ (0x8000 | data_index)));
}

// row += factor * other, n words.
static void RowMulAdd(uint16_t *row, const uint16_t *other, int n, uint16_t factor)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Words in memory are then the region kernel's: its speed matters at
    // hundreds of parts, where inverting takes count^3 steps.
    Gf16MulAdd((unsigned char *)row, (const unsigned char *)other, (size_t)n * 2, factor);
#else
    for (int c = 0; c < n; c++)
        row[c] ^= Gf16Mul(factor, other[c]);
#endif
}

// Gauss-Jordan in place, without pivoting: every leading square of a Cauchy
// matrix is one too, so no pivot is zero unless the matrix is singular.
static bool Invert(uint16_t *a, int n)
{
    for (int k = 0; k < n; k++) {
        uint16_t *pivot_row = a + (size_t)k * (size_t)n;
        if (pivot_row[k] == 0)
            return false;
        // Column k of the inverse takes the place of column k of the
        // matrix, which the elimination turns into that of the identity.
        uint16_t scale = Gf16Inverse(pivot_row[k]);
        pivot_row[k] = 1;
        for (int c = 0; c < n; c++)
            pivot_row[c] = Gf16Mul(pivot_row[c], scale);
        for (int i = 0; i < n; i++) {
            uint16_t *row = a + (size_t)i * (size_t)n;
            uint16_t factor = row[k];
            if (i == k || factor == 0)
                continue;
            row[k] = 0;
            RowMulAdd(row, pivot_row, n, factor);
        }
    }
    return true;
}

bool RepairMatrix(const int64_t *missing, const int64_t *recovery, int count, uint16_t *inverse)
{
    assert(count >= 0 && count <= kMaxRecoveryParts);
    for (int k = 0; k < count; k++)
        for (int i = 0; i < count; i++)
            inverse[k * count + i] = RecoveryCoefficient(recovery[k], missing[i]);
    return Invert(inverse, count);
}
