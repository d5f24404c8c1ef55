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

// The trailer counts the image's bytes and the slice files in signed 32-bit.
const int64_t kMaxImageSize = 2147483647;
const int64_t kMaxLastPart = 2147483647;

struct PartLayout {
    int64_t head_data;     // input bytes the head part carries
    int64_t slice_length;  // bytes in every slice file but the last
    int64_t last_part;     // number of slice files, at least 1
};

// For an image of image_size bytes, slices of slice_bytes and an input of
// input_size bytes.
PartLayout PlanParts(int64_t image_size, int64_t slice_bytes, int64_t input_size);

// The number of slice files that hold rest input bytes beyond the head
// part's, in slices of slice_length bytes: at least one.
int64_t SliceCount(int64_t rest, int64_t slice_length);

// Input bytes in slice file index (1 ... last_part) of that layout.
int64_t SliceDataLength(const PartLayout *layout, int64_t input_size, int64_t index);

#endif
