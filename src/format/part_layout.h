// How many input bytes each part of a set holds.  Every part, the head part
// whole (program, stretch, part table and trailer), holds at most the size
// chosen, and every slice but the last exactly that; every build must lay
// out a set the same way.
#ifndef QCLEAVER_FORMAT_PART_LAYOUT_H
#define QCLEAVER_FORMAT_PART_LAYOUT_H

#include <stdint.h>

enum { kBlockSize = 4096 };

// The sizes a part may have: 10 KB, up to the largest file FAT32 holds.
const int64_t kMinSliceBytes = 10 * 1024;
const int64_t kMaxSliceBytes = 4294967295LL;
// Older builds wrote slices of at most 64 MB, in whole blocks.
const int64_t kOldMaxSliceBytes = 64LL << 20;
// The largest program file Windows starts: a head part for Windows stays
// within it whatever the slices' size (Wine refuses 4,294,967,294 bytes;
// a page less than 4 GiB starts).
const int64_t kMaxWindowsHeadBytes = 4294963200LL;

// The trailer counts the image's bytes and the slice files in signed 32-bit.
const int64_t kMaxImageSize = 2147483647;
const int64_t kMaxLastPart = 2147483647;

struct PartLayout {
    int64_t head_data;     // input bytes the head part carries; -1 when the
                           // program and the trailer alone fill a part
    int64_t slice_length;  // bytes in every slice file but the last
    int64_t last_part;     // number of slice files, at least 1
};

// For an image of image_size bytes, a head part of at most head_bytes,
// slices of slice_bytes, an input of input_size bytes, and after the head
// part's stretch entry_bytes for every part and fixed_bytes besides (its
// table and trailer).
PartLayout PlanParts(int64_t image_size, int64_t head_bytes, int64_t slice_bytes,
                     int64_t input_size, int64_t entry_bytes, int64_t fixed_bytes);

// The number of slice files that hold rest input bytes beyond the head
// part's, in slices of slice_length bytes: at least one.
int64_t SliceCount(int64_t rest, int64_t slice_length);

// Input bytes in slice file index (1 ... last_part) of that layout.
int64_t SliceDataLength(const PartLayout *layout, int64_t input_size, int64_t index);

#endif
