// Rebuilds the original file of a part set from the head part (the running
// program) and the slice files in a folder.
#ifndef QCLEAVER_JOIN_JOIN_ENGINE_H
#define QCLEAVER_JOIN_JOIN_ENGINE_H

#include "join/part_set.h"
#include "platform/files.h"
#include "platform/progress.h"

enum JoinStatus {
    kJoinDone,
    kJoinNoTrailer,         // the head part's own trailer cannot be read
    kJoinHeadDamaged,       // the head part's trailer, table or stretch is damaged (part)
    kJoinNoOutput,          // the rebuilt file cannot be written under its name
    kJoinWouldReplacePart,  // the rebuilt file's name is that of a part of the set
    kJoinPartMissing,       // a slice file is missing, or the folder cannot be read
    kJoinPartDamaged,       // a slice file has a length no split writes, or changed
                            // (length, expected where the set says)
    kJoinPartCorrupt,       // a slice's data does not match its recorded checksum
    kJoinPartSwapped,       // a slice holds another's data (other)
    kJoinNoRoom,            // the drive has less room (free_bytes) than needed
    kJoinTooLargeForDrive,  // the file (needed) is larger than the drive's file system
                            // holds (free_bytes)
    kJoinPartUnreadable,    // reading a part failed
    kJoinWriteFailed,       // writing the rebuilt file failed: most often a full disk
    kJoinSizeMismatch,      // the parts do not add up to the recorded size
    kJoinChecksumMismatch,  // the parts do not match the recorded checksum
    kJoinCancelled,         // the user stopped it
};

enum ProgramCopyStatus {
    kProgramCopyNone,         // not asked for, or a file of that name is the user's,
                              // or is the rebuilt file itself
    kProgramCopyMade,
    kProgramCopyWriteFailed,  // nothing left behind: most often a full disk
    kProgramCopyReadFailed,   // the program cannot be read
    kProgramCopyDamaged,      // the program is not the one the set recorded
    kProgramCopyStopped,      // the user stopped it; nothing left behind
};

extern const char kProgramCopyName[];  // "cleaver.exe"

struct JoinResult {
    JoinStatus status;
    ProgramCopyStatus program_copy;
    char output[kPathSize];  // the rebuilt file's name, once known
    char part[kPathSize];    // the part it failed on, where one is concerned
    char other[kPathSize];   // the part whose data it holds, for a swapped part
    FileError error;         // the system's reason, where a file operation failed
    int64_t length, expected;     // a damaged slice's length, and what it should be
    int64_t needed, free_bytes;   // where room ran short: what is needed, what is free
    int64_t parts, parts_kept;    // the set's parts, and those not deleted as asked
                                  // since the user stopped it
    int64_t size;            // the rebuilt file's length, once done
    uint32_t crc;            // CRC-32 of the rebuilt file
    bool verified;           // the set recorded a checksum, and it matched
};

// Rebuilds, in folder, the file described by the trailer at the end of
// image_path (the running head part) from the slice files there, counting
// its bytes in progress (which may be null), then optionally writes
// "cleaver.exe" and deletes the parts.  Nothing it writes replaces a part
// of the set or the rebuilt file, it deletes only files it read, and a join
// that fails or is stopped leaves the disk as it found it.  Once the file
// is rebuilt, a stop ends the program copy or the deletion where it is.
// census, where not null, is one the caller took of this set in this
// folder (the join dialog, to count the parts found), which spares a second
// pass over the folder: every slice is judged again, by identity and
// length, as it is opened.
JoinResult JoinParts(const Folder *folder, const char *image_path, bool make_copy,
                     bool delete_parts, Progress *progress = 0, Census *census = 0);

#endif
