// What a head part knows of its set: its own trailer, judged, and the slice
// files beside it.  The join dialog shows this; the join engine acts on it.
#ifndef QCLEAVER_JOIN_PART_SET_H
#define QCLEAVER_JOIN_PART_SET_H

#include <stdint.h>

#include "format/trailer.h"
#include "platform/files.h"

struct PartSet {
    PartSetTrailer trailer;
    TrailerVerdict verdict;
    int64_t head_length;
    int64_t head_data;     // input bytes the head part carries
    char base[kPathSize];  // the parts' base name
};

// Reads and judges the trailer at the end of an open head part.  False
// when it cannot be read at all.
bool ReadPartSet(FileHandle head, PartSet *set);

enum SliceFault {
    kSlicesSound,
    kSliceMissing,  // cannot be opened, or not a file
    kSliceDamaged,  // of a length no split writes
    kSliceIsOutput, // the very file the rebuilt file would replace
};

struct Census {
    int32_t found;  // slice files that could be opened
    SliceFault fault;
    int32_t fault_index;  // the first slice at fault, or 0
};

// Opens each slice file of the set once, in dir (bare names in the current
// directory when dir is null), and checks that their lengths are those a
// split writes: one length, a multiple of 4096 bytes, for every slice but
// the last that holds data, then no more than that, then empty ones, adding
// up to what the head part does not carry.  A path that does not fit its
// buffer counts as missing.  output, where not null, is the file the
// rebuilt file would replace, which no slice may be.
Census TakeCensus(const PartSet *set, const char *dir, const FileId *output = 0);

#endif
