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
    int64_t table_at;      // where the part table starts in the head part
    bool dos_paths;        // a Windows program's set: its path is read by DOS rules
    char base[kPathSize];  // the parts' base name
};

// Reads and judges the trailer at the end of an open head part, and checks
// its part table where it has one: a table that fails its check makes the
// head part damaged.  False when it cannot be read at all.
bool ReadPartSet(FileHandle head, PartSet *set);

// The input bytes slice `index` holds in a set with a record; -1 without.
int64_t ExpectedSliceLength(const PartSet *set, int64_t index);

// Reads the part table of an open head part a window at a time.
struct PartTable {
    FileHandle head;
    const PartSet *set;
    int64_t first;  // the index of window[0]
    int count;      // entries in the window
    uint32_t window[1024];
};
void OpenPartTable(PartTable *table, FileHandle head, const PartSet *set);
// The recorded CRC-32 of part index; false when it cannot be read.
bool RecordedPartCrc(PartTable *table, int64_t index, uint32_t *crc);
// The first part other than `except` recorded with this CRC-32, or -1.
int64_t PartWithCrc(PartTable *table, uint32_t crc, int64_t except);

enum SliceFault {
    kSlicesSound,
    kSliceMissing,  // not there, or not a file
    kSliceDamaged,  // of a length no split writes
};

// A slice file found, by its index in the set.
struct SliceEntry {
    int64_t index;
    int64_t length;
    bool is_file;
    FileId read;  // the file the join read under this name, once it has
};

struct Census {
    bool listed;          // false when the folder could not be read
    int64_t found;        // slice files of the set that are there
    SliceFault fault;
    int64_t fault_index;  // the first slice at fault, or 0
    int64_t fault_length, fault_expected;  // a damaged slice's length, and what it
                                           // should be where the set says; else -1
    // Every slice name found, in index order; what the join then opens.
    SliceEntry *slices;
    int64_t count;
};

// Reads the folder once and checks the slice files of the set found there:
// their lengths are those the record says, or for a set without one those
// a split writes, one length, a multiple of 4096 bytes, for every slice but
// the last that holds data, then no more than that, then empty ones, adding
// up to what the head part does not carry.
// It costs what the folder holds, not what the trailer claims.
Census TakeCensus(const PartSet *set, const Folder *folder);
void FreeCensus(Census *census);

#endif
