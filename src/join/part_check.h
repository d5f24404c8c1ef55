// Checks every part of a set without writing anything, for a recipient who
// wants to know, before deleting anything, which parts to fetch again.
#ifndef QCLEAVER_JOIN_PART_CHECK_H
#define QCLEAVER_JOIN_PART_CHECK_H

#include <stdint.h>

#include "join/part_set.h"
#include "platform/progress.h"

struct CheckResult {
    int64_t parts = 0;           // in the set, the head part included
    int64_t sound = 0;
    int64_t missing = 0;         // ... of the others, those missing
    int64_t recovery = 0;        // the set's recovery parts
    int64_t recovery_sound = 0;
    bool whole_matches = false;  // every part sound, and every byte matched the set's CRC-32
                                 // where it records one
    uint32_t crc = 0;            // the CRC-32 of every byte read, where every part was sound
    bool stopped = false;        // the user stopped it: parts after the last told are unchecked
    // A slice holding other data than the recovery parts describe, where no
    // head part confirms them: they may be of another split (0: none).
    int64_t disagreeing = 0;
    // Recovery parts lacking at the place in the parts where most are bad:
    // 0 where every bad stretch can be rebuilt.
    int64_t lacking = 0;
};

// Whether the parts at fault, if any, can be rebuilt from the recovery parts.
inline bool CheckedRepairable(const CheckResult *result)
{
    return result->lacking == 0 && result->disagreeing == 0;
}

// Calls report for each part of an opened set (kSetReady), in order, then
// for each recovery part; a run of missing parts is told once (index to through), so that a set that
// claims more parts than the folder holds costs what the folder holds.
CheckResult CheckParts(PartSet *set, void (*report)(void *context, const PartSet *set,
                                                    const PartState *part),
                       void *context, Progress *progress);

#endif
