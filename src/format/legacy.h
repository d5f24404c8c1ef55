// Rules that exist only for sets made by earlier builds.  Every set ever
// made must still join, so these stay, and stay together: nothing a split
// writes today needs them.  docs/FORMAT.md tells each one's history.
#ifndef QCLEAVER_FORMAT_LEGACY_H
#define QCLEAVER_FORMAT_LEGACY_H

#include <stdint.h>

#include "platform/files.h"

// Builds before 2.2 took the dot of a name like ".profile" for its
// extension: its parts are "_00.exe", "_01.QCB".  The stem they used.
void LegacyStemOf(const char *path, char stem[kPathSize], bool dos);

// Text in the record's place of a trailer, not a record: a path running
// into it, or the leftover of a longer path in an earlier build's reused
// trailer.  Byte 227 then belongs to the text, where every record has a
// zero there.
bool IsLegacyPathText(const unsigned char *path_field);

// The most slice files a set of this size could have been given by any
// build: the first builds counted (size + 36864) / slice, setting aside
// 36,864 bytes of the head part for the program, with slices as small as
// 10 KB rounded to whole 4096-byte blocks.
int64_t LegacyMaxLastPart(int64_t original_size);

// Version 1 records ("QCS1") hold slices of whole 4096-byte blocks, of at
// most 64 MB.
bool LegacyRecordSliceFits(uint32_t slice_length);

// Sets without a record say nothing of their slices' lengths: every slice
// but the last that holds data has one length, a multiple of 4096 bytes;
// the next holds the rest, no more than that; any after it are empty (the
// first builds' count could exceed what the data needed).  Judges the
// slices in index order; left starts as the bytes the slices hold in all.
struct LegacySliceRule {
    int64_t left;          // bytes not yet accounted for
    int64_t slice_length;  // the full slices' length, once seen; 0 before
};
bool LegacySliceSound(LegacySliceRule *rule, int64_t length);
// Missing slices, taken as full ones where the full length is known.
void LegacySliceMissing(LegacySliceRule *rule, int64_t count);

#endif
