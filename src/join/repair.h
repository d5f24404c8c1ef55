// Rebuilds what is bad in a set's parts from what is sound and the set's
// recovery parts, a stretch at a time (join/stretch_map.h), with the one
// engine of the code (transfer/erasure_engine.h): into the file a join
// rebuilds, or into the parts themselves, where a repair of the set writes
// only the parts it mends.
#ifndef QCLEAVER_JOIN_REPAIR_H
#define QCLEAVER_JOIN_REPAIR_H

#include "transfer/erasure_engine.h"
#include "join/join_engine.h"
#include "join/part_set.h"
#include "join/stretch_map.h"
#include "platform/files.h"
#include "platform/progress.h"

// Rebuilds the data parts noted at fault in the file a join writes, each at
// its place there, from the sound recovery parts of the set: judged to the
// stretch where the set keeps stretch checksums, whole where it is older;
// each rebuilt stretch checked against its checksum, and each part rebuilt
// against the part table.  A failure's reason goes to result's error, the
// recovery parts lacking to its more_needed.
JoinStatus RebuildInFile(PartSet *set, File *output, const FaultNote *faults, int64_t fault_count,
                         Progress *progress, JoinResult *result);

#endif
