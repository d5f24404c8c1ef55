// Checks every part of a set without writing anything, for a recipient who
// wants to know, before deleting anything, which parts to fetch again.
#ifndef QCLEAVER_JOIN_PART_CHECK_H
#define QCLEAVER_JOIN_PART_CHECK_H

#include <stdint.h>

#include "platform/files.h"
#include "platform/progress.h"

enum PartState {
    kPartSound,       // as recorded; for a set without a table, of the right length
    kPartMissing,
    kPartWrongLength, // cut short, or longer (length, expected)
    kPartDamaged,     // does not match its recorded checksum
    kPartSwapped,     // holds what part `holds` should hold
    kPartUnreadable,  // (error)
};

struct PartReport {
    const char *name;        // the part's file name
    const char *holds_name;  // the part whose data a swapped one holds
    int64_t index;
    PartState state;
    int64_t length, expected;
    int64_t holds;
    FileError error;
};

struct CheckResult {
    bool readable;      // the head part's trailer could be read and is sound
    FileError error;    // why not, where the system said
    int64_t parts, sound;
    int record_version;
    bool whole_matches; // every byte matched the set's CRC-32, where it records one
};

// Calls report for each part of the set whose head part is at head_path,
// its slices in folder, in order.
CheckResult CheckParts(const Folder *folder, const char *head_path,
                       void (*report)(void *context, const PartReport *part), void *context,
                       Progress *progress = 0);

#endif
