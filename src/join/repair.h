// Rebuilds the parts of a set that are missing or damaged from the others
// and the set's recovery parts (format/erasure.h), a window of every block
// at a time, so that memory stays within kRepairMemory however long the
// parts are.
#ifndef QCLEAVER_JOIN_REPAIR_H
#define QCLEAVER_JOIN_REPAIR_H

#include "format/recovery_encoder.h"
#include "join/part_set.h"
#include "platform/files.h"
#include "platform/progress.h"

const int64_t kRepairMemory = 64LL << 20;

enum RepairStatus {
    kRepairDone,
    kRepairTooFew,      // fewer sound recovery parts than parts to rebuild (more_needed)
    kRepairReadFailed,  // the file being rebuilt cannot be read back (error)
    kRepairWriteFailed, // ... or written (error)
    kRepairMismatch,    // a rebuilt part does not match its checksum (part)
    kRepairNoMemory,
    kRepairStopped,     // the user stopped it
    kRepairAgain,       // the sums made while joining do not serve: repair without them
};

struct RepairResult {
    RepairStatus status;
    FileError error;
    int64_t part;         // kRepairMismatch: the part
    int64_t more_needed;  // kRepairTooFew: recovery parts lacking
    int64_t used;         // recovery parts used
};

// In output, which holds every part's stretch of the input at its place
// but those of the count parts listed (ascending, 0 for the head part's),
// writes those from the recovery parts the census found, and checks each
// against the part table.  A recovery part that is not of this set, or
// whose block does not match its checksum, is passed over for the next,
// and its census entry marked.  sums, where not null, holds in memory what
// the other parts put in the first count sound recovery parts' blocks,
// made as they were joined, so that they need not be read again; where
// those recovery parts do not serve, kRepairAgain says to repair without.
RepairResult RepairParts(PartSet *set, File *output, const int64_t *missing, int count,
                         Progress *progress, const RecoveryEncoder *sums = 0);

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
    RepairStatus status;
    FileError error;
    FaultNote faults[kFaultsNamed];  // the parts written again: the first few
    int64_t count;                   // ... and how many
    int64_t set_aside;               // files of their names renamed "<name>.damaged"
    char aside[kPathSize];           // ... the first one's new name
    bool no_program;                 // the head part was not made: no program for its system
};

// Writes the data parts listed (the count parts rebuilt in file, which
// holds the whole input) back beside the others, the head part with its
// own program where that one is sound, else program's; then makes again
// the recovery parts that are missing or damaged.  A file that has a part's
// name is first renamed aside, "<name>.damaged", never replaced; each new
// part takes its name once complete.
WriteBackResult WriteBackParts(PartSet *set, File *file, const int64_t *rebuilt, const PartFault *faults,
                               int count, const ProgramSource *program, Progress *progress);
typedef WriteBackResult (*WriteBackFunction)(PartSet *set, File *file, const int64_t *rebuilt,
                                             const PartFault *faults, int count,
                                             const ProgramSource *program, Progress *progress);

#endif
