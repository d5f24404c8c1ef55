// Rebuilds the original file of an opened part set, beside its head part
// or where the user asks.
#ifndef QCLEAVER_JOIN_JOIN_ENGINE_H
#define QCLEAVER_JOIN_JOIN_ENGINE_H

#include "join/part_set.h"
#include "platform/files.h"
#include "platform/progress.h"

enum JoinStatus {
    kJoinDone,
    kJoinPartFault,         // a part is missing, damaged or the like (part)
    kJoinNoOutput,          // the rebuilt file cannot be written under its name: no
                            // name, a read-only file or a folder there (error where
                            // the system said)
    kJoinOutputExists,      // another file has the rebuilt file's name, and is not to
                            // be replaced
    kJoinWouldReplacePart,  // the rebuilt file's name is that of a part of the set (part)
    kJoinNoRoom,            // the drive has less room (free_bytes) than needed
    kJoinTooLargeForDrive,  // the file (needed) is larger than the drive's file system
                            // holds (free_bytes)
    kJoinWriteFailed,       // writing the rebuilt file failed: most often a full disk (error)
    kJoinSizeMismatch,      // the parts do not add up to the recorded size
    kJoinChecksumMismatch,  // the parts do not match the recorded checksum
    kJoinCancelled,         // the user stopped it
    kJoinBeyondRepair,      // more parts at fault (faults) than sound recovery parts
                            // (more_needed short)
    kJoinRepairToStream,    // parts to rebuild, and the file to go to standard output,
                            // which cannot take them out of order
    kJoinSplitsDisagree,    // the head part is lost or damaged, and a slice (part)
                            // holds other data than the recovery parts describe:
                            // they may be of another split
};


enum ProgramCopyStatus {
    kProgramCopyNotAsked,
    kProgramCopyMade,
    kProgramCopyThere,        // the same program is there already
    kProgramCopyLeftAlone,    // a read-only file, a folder, or another program of that
                              // name is the user's
    kProgramCopyIsOutput,     // the rebuilt file has that name
    kProgramCopyIsPart,       // a part of the set has that name (a head part named so)
    kProgramCopyFailed,       // nothing left behind: most often a full disk (copy_error)
    kProgramCopyDamaged,      // the program is not the one the set recorded
    kProgramCopyStopped,      // the user stopped it; nothing left behind
    kProgramCopyNoProgram,    // the head part, which holds the program, is lost or damaged
};

enum DeletionStatus {
    kDeletionNotAsked,
    kDeletionDone,          // every part, but a running head part the system keeps
    kDeletionKeptForCopy,   // all but the head part: no copy of the program is there,
                            // and the head part is the only one left
    kDeletionIncomplete,    // parts_kept could not be deleted (delete_error)
    kDeletionStopped,       // the user stopped it; parts_kept left
};

extern const char kProgramCopyName[];  // "cleaver.exe"

// The program a fresh head part starts with where the set's own is lost
// or damaged: this program's file (path), or bytes it carries, for the
// system it runs on.
struct ProgramSource {
    const char *path;
    const unsigned char *bytes;
    int64_t size;
    bool for_windows;
};

struct JoinResult;
typedef JoinStatus (*WriteBackFunction)(PartSet *set, const ProgramSource *program, Progress *progress,
                                        JoinResult *result);

struct JoinRequest {
    bool make_copy = true;       // write "cleaver.exe" beside the file
    bool delete_parts = false;   // delete the parts once the file is rebuilt
    // The head part is the running program, which Windows will not delete:
    // that one is left without a word.
    bool head_is_running = false;
    // The user's word: another file of the rebuilt file's name, or another
    // cleaver.exe, may be replaced.  A read-only file or a folder never is.
    bool replace_output = false;
    bool replace_copy = false;
    // Where the file, and the program copy, go: the head part's folder where
    // null.  output_name, where not null, is the name the file takes there.
    const Folder *output_folder = 0;
    const char *output_name = 0;
    // Where not null, the file is written here in order (standard output),
    // and nothing else is written: no program copy, no parts deleted.
    File *output_stream = 0;
    // A repair of the set, where not null: the file is rebuilt only for
    // this (WriteBackParts, below) to write its missing and damaged
    // parts back beside the others, then goes; program gives a fresh head
    // part its program where the set's is lost.  A function, so that a
    // program without the command line carries none of it.
    WriteBackFunction repair_set = 0;
    const ProgramSource *program = 0;
    // Where not null, the program copy is this file, the running program,
    // not the head part's: a Windows user joining a set made for Linux
    // passes on the program that runs there.
    const char *copy_from = 0;
};
// What a join would replace that the user has a say in: another file of
// the rebuilt file's name (one identical to the file rebuilt is none), and
// another program named cleaver.exe.
struct JoinConflicts {
    bool output_exists = false;
    bool copy_differs = false;
};
JoinConflicts FindJoinConflicts(PartSet *set, const JoinRequest *request);

struct JoinResult {
    JoinStatus status = kJoinDone;
    PartState part = PartState();  // the part at fault, or in the way
    FileError error = FileError();  // the system's reason, where a file operation failed
    char output[kPathSize] = "";   // the rebuilt file's name
    int64_t needed = -1, free_bytes = -1;  // where room ran short: what is needed, what is free
    const char *folder = "";       // ... in this folder, the one written to (its path, while it is open)
    int64_t size = 0;              // the rebuilt file's length, once done
    uint32_t crc = 0;              // CRC-32 of the rebuilt file
    bool verified = false;         // the set recorded a checksum, and it matched
    bool time_restored = false;    // the file has its recorded time (and permissions) back
    FileError time_error = FileError();  // why not, where that failed
    ProgramCopyStatus program_copy = kProgramCopyNotAsked;
    FileError copy_error = FileError();
    DeletionStatus deletion = kDeletionNotAsked;
    int64_t parts = 0, parts_kept = 0;  // the set's parts, and those not deleted as asked
    FileError delete_error = FileError();  // why the first part kept could not be deleted
    // The parts at fault, rebuilt from the recovery parts (or, for
    // kJoinBeyondRepair, that would have to be): the first few, and how many.
    FaultNote faults[kFaultsNamed] = {};
    int64_t fault_count = 0;
    int64_t more_needed = 0;       // recovery parts lacking
    // A repair of the set: the parts written again are the faults above,
    // recovery parts among them; those of their names renamed aside.
    int64_t set_aside = 0;
    char aside[kPathSize] = "";    // the first one's new name
    int64_t rebuilt_count = 0;     // ... of the parts written again, those rebuilt from the recovery
                                   // parts; the others are recovery parts made again from the set,
                                   // or a head part whose stretch was sound
    bool no_program = false;       // the head part could not be made: no program for its system
};

// Rebuilds the file of an opened set (kSetReady) from the slice files the
// census found, counting its bytes in progress (which may be null), then,
// as asked, writes "cleaver.exe" and deletes the parts.  Nothing it writes
// replaces a part of the set, a file of the user's it has no word to
// replace, or one it must not; it deletes only files it read, and a join
// that fails or is stopped leaves the folders as it found them.  Once the
// file is rebuilt, a stop ends the program copy or the deletion where it
// is.  Every slice is judged again, by identity and length, as it is
// opened.  The file gets the time and permissions the set recorded.
JoinResult JoinParts(PartSet *set, const JoinRequest *request, Progress *progress);

// Repairs a set in place (join/repair.cpp): judges every part to the
// stretch, rebuilds the data parts that are missing or damaged from their
// own sound stretches and the recovery parts, the head part with its own
// program where that one is sound, else program's; makes again the
// recovery parts that are missing or damaged; then gives each its name, a
// file of that name renamed aside first, "<name>.damaged", never replaced.
// Needs room for the parts it writes, never for the whole file.  The
// parts written again are result's faults, kJoinSplitsDisagree's slice its
// part.
JoinStatus WriteBackParts(PartSet *set, const ProgramSource *program, Progress *progress, JoinResult *result);

#endif
