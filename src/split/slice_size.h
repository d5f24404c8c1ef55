// The size of the parts as a person types it: "25 MB", "4.7 GB", "640",
// and the presets the split dialog offers.
#ifndef QCLEAVER_SPLIT_SLICE_SIZE_H
#define QCLEAVER_SPLIT_SLICE_SIZE_H

#include <stdint.h>

// The presets write slices a little smaller than their names, leaving room
// on the floppy disk each is named after.
struct SizePreset {
    const char *label;
    int64_t bytes;
};
extern const SizePreset kSizePresets[3];  // 360 KB, 720 KB, 1.44 MB
const int kDefaultPreset = 2;             // 1.44 MB: the size when none is asked

enum SizeText {
    kSizeTaken,
    kSizeNoNumber,      // no number, or something after it that is no unit
    kSizeTwoDecimals,   // more than one decimal
    kSizeOutOfRange,    // below 10 KB or above 4 GB
};

// How the units read: in the dialogs K, KB and KiB are all 1024 bytes, as
// Windows counts; on the command line, as GNU split -b reads them, K and KiB
// are 1024 bytes and KB 1000 (M and G likewise).
enum SizeUnits { kWindowsUnits, kGnuUnits };

// A number with at most one decimal, then optionally a unit: K, KB or KiB,
// M..., G..., any case; a bare number counts bare_unit bytes.  4 GB (or 4G),
// exactly, means the largest file FAT32 holds, a byte less; "1.44 MB", the
// preset's own label, means that preset.
SizeText ParseSliceSize(const char *text, int64_t bare_unit, SizeUnits units, int64_t *bytes);

// What is wrong with the text, for the user: "Size must be between 10 KB
// and 4 GB", with what a bare number counts (bare_unit_name, "KB" or
// "bytes").
void DescribeSizeText(SizeText problem, const char *bare_unit_name, char *text, int size);

#endif
