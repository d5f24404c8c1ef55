// How many input bytes each part of a set holds.  Parts are filled in whole
// 4096-byte blocks, so these lengths are fixed by the slice size and the
// program image's length; every build must lay out a set the same way.
#ifndef QCLEAVER_FORMAT_PART_LAYOUT_H
#define QCLEAVER_FORMAT_PART_LAYOUT_H

#include <stdint.h>

enum {
    kBlockSize = 4096,
    kMinSliceKb = 10,
    kMaxSliceKb = 65536,
};

// The largest input the format can describe: sizes are signed 32-bit.
const int64_t kMaxInputSize = 2147483647;

struct PartLayout {
    int64_t head_data;     // input bytes the head part carries
    int64_t slice_length;  // bytes in every slice file but the last
    int32_t last_part;     // number of slice files, at least 1
};

// For an image of image_size bytes, slices of slice_bytes and an input of
// input_size bytes (at most kMaxInputSize).
PartLayout PlanParts(int64_t image_size, int64_t slice_bytes, int64_t input_size);

// Input bytes in slice file index (1 ... last_part) of that layout.
int64_t SliceDataLength(const PartLayout *layout, int64_t input_size, int index);

#endif
