// Rebuilds what is bad in a set's parts from what is sound and the set's
// recovery parts, a stretch at a time (join/stretch_map.h), with the one
// engine of the code (transfer/erasure_engine.h): into the file a join
// rebuilds, or into the parts themselves, where a repair of the set writes
// only the parts it mends.
#ifndef QCLEAVER_JOIN_REPAIR_H
#define QCLEAVER_JOIN_REPAIR_H

#include "transfer/erasure_engine.h"
#include "join/part_set.h"
#include "join/stretch_map.h"
#include "platform/files.h"
#include "platform/progress.h"

enum RepairStatus {
    kRepairDone,
    kRepairTooFew,      // fewer sound recovery stretches than bad ones at a place (more_needed)
    kRepairReadFailed,  // a part cannot be read (error)
    kRepairWriteFailed, // ... or written (error)
    kRepairMismatch,    // a rebuilt part does not match its checksum (part)
    kRepairNoMemory,
    kRepairStopped,     // the user stopped it
    kRepairSplitsDisagree,  // only recovery parts describe the set, and a slice holds other
                            // data than they say (disagreeing): they may be another split's
};

struct RepairResult {
    RepairStatus status = kRepairDone;
    FileError error = FileError();
    int64_t part = -1;         // kRepairMismatch: the part
    int64_t more_needed = 0;   // kRepairTooFew: recovery parts lacking at the worst place
};

// Rebuilds the data parts noted at fault in the file a join writes, each at
// its place there, from the sound recovery parts of the set: judged to the
// stretch where the set keeps stretch checksums, whole where it is older;
// each rebuilt stretch checked against its checksum, and each part rebuilt
// against the part table.
RepairResult RebuildInFile(PartSet *set, File *output, const FaultNote *faults, int64_t fault_count,
                           Progress *progress);

// The program a fresh head part starts with where the set's own is lost
// or damaged: this program's file (path), or bytes it carries, for the
// system it runs on.
struct ProgramSource {
    const char *path;
    const unsigned char *bytes;
    int64_t size;
    bool for_windows;
};

struct WriteBackResult {
    RepairStatus status = kRepairDone;
    FileError error = FileError();
    FaultNote faults[kFaultsNamed];  // the parts written again: the first few
    int64_t count = 0;               // ... and how many
    int64_t rebuilt = 0;             // ... of them, data parts rebuilt from the recovery parts
    int64_t set_aside = 0;           // files of their names renamed "<name>.damaged"
    char aside[kPathSize] = "";      // ... the first one's new name
    bool no_program = false;         // the head part was not made: no program for its system
    int64_t more_needed = 0;         // kRepairTooFew
    int64_t disagreeing = 0;         // kRepairSplitsDisagree: the slice
};

// Repairs a set in place: judges every part to the stretch, rebuilds the
// data parts that are missing or damaged from their own sound stretches
// and the recovery parts, the head part with its own program where that
// one is sound, else program's; makes again the recovery parts that are
// missing or damaged; then gives each its name, a file of that name
// renamed aside first, "<name>.damaged", never replaced.  Needs room for
// the parts it writes, never for the whole file.
WriteBackResult WriteBackParts(PartSet *set, const ProgramSource *program, Progress *progress);
typedef WriteBackResult (*WriteBackFunction)(PartSet *set, const ProgramSource *program, Progress *progress);

#endif
