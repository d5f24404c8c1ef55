// Cuts one input file into a part set in a folder: the head part (this
// program, the first stretch of the input, the extension, the part table
// and the trailer) and the slice files with the rest.
#ifndef QCLEAVER_SPLIT_SPLIT_ENGINE_H
#define QCLEAVER_SPLIT_SPLIT_ENGINE_H

#include "format/set_journal.h"
#include "platform/files.h"
#include "platform/progress.h"

// Why a split did not make its set: a fault of the request or of what is
// in the folder, or kSplitFileFailed, a file operation that failed (the
// result's error) at one of the steps below.
enum SplitFault {
    kSplitDone,
    kSplitFileFailed,
    kSplitCancelled,      // the user stopped it
    kSplitTooSmall,       // the input is not larger than one slice
    kSplitTooLarge,       // the set would have more parts than its head part can count
    kSplitNotAWindowsName,  // a head part for Windows, and a name Windows cannot rebuild
                            // (why_not_windows)
    kSplitPartInTheWay,   // a read-only file, a link, a folder or the input has a part's
                          // name (part)
    kSplitOtherSetInTheWay,   // the parts of a set of another file have the names
                              // (part: its head part; other: that file's name, or "")
    kSplitStrayPartInTheWay,  // a file with a part's name, of no set beside it (part)
    kSplitInputChanged,   // the input changed while it was split
    kSplitNoRoom,         // the set needs more room (needed) than the drive has (free_bytes)
    kSplitPartsTooSmall,  // a part cannot hold the program, or its part table (least,
                          // table_too_large)
    kSplitPartTooLargeForDrive,  // a part is larger (needed) than the drive's file
                                 // system holds (free_bytes)
    kSplitTooManyForRecovery,    // more parts than recovery parts can cover; parts of
                                 // least bytes would do
};

// What a split was doing when a file operation failed.
enum SplitStep {
    kSplitOpeningInput,    // the input cannot be opened, or is not a plain file
    kSplitReadingProgram,  // the program image cannot be read (or is too large: no error)
    kSplitNamingParts,     // a part's name, or the rebuilt file's, is too long for the
                           // folder, or would not name the same file again
    kSplitCreatingPart,    // a part cannot be created or named (part)
    kSplitWritingPart,     // writing a part failed: most often a full disk
    kSplitReadingInput,    // reading the input failed while a part was written (part)
};

// Every default is zero but one pointer: GCC builds such a result by
// clearing it, where a -1 among them made it copy a 3 KB template into
// the Windows image.
struct SplitResult {
    SplitFault fault = kSplitDone;
    SplitStep step = kSplitOpeningInput;  // for kSplitFileFailed
    char part[kPathSize] = {};   // the part it failed on or found in the way; the head part when done
    char other[kPathSize] = {};  // the file whose set is in the way
    FileError error = {0, "", {}, false};  // the system's reason, where a file operation failed
    int64_t size = 0;            // the input's length
    int32_t last_part = 0;       // the set's slice files
    int recovery = 0;            // ... and its recovery parts
    uint32_t crc = 0;            // CRC-32 of the input, once done
    int64_t replaced = 0;        // parts of an earlier set of the same file replaced or removed,
    bool replaced_others = false;  // ... or of another, on the user's word
    // Where room ran short (else 0): the bytes the set or a part needs, and
    // the bytes free on the drive then, or the largest file it holds (-1
    // where the drive would not say).
    int64_t needed = 0;
    int64_t free_bytes = 0;
    int64_t least = 0;           // the least part size that would do, for kSplitPartsTooSmall
    bool table_too_large = false;  // ... where the program fits but the part table does not
    const char *why_not_windows = 0;  // for kSplitNotAWindowsName
    ResumeState resumed = kNothingInterrupted;  // what became of a split of this set stopped dead before
};

// The program a head part starts with: a file, or bytes this program
// carries (the Windows program, in the Linux one).
struct ProgramImage {
    const char *path;            // where not null
    const unsigned char *bytes;  // else these
    int64_t size;
    bool for_windows;  // a Windows program: the head part stays within what Windows starts
};

struct SplitOptions {
    // Replace parts that belong to a set of another file, or to no set: the
    // user's word.  A read-only file, a link or a folder stays all the same.
    bool force;
    // For standard input: the name the file is to be rebuilt under.
    const char *name;
    // Recovery parts to make (0 ... kMaxRecoveryParts): with them, as many
    // parts that are lost or damaged can be rebuilt.  The slices are then
    // shorter by a recovery part's header, so that those too stay within
    // the size.
    int recovery;
};

// Splits the file at input_path, or standard input where it is null, into
// parts of at most slice_bytes (kMinSliceBytes to kMaxSliceBytes) in
// folder, the head part starting with the program, counting the input's
// bytes in progress (which may be null).  Every part is written under a
// temporary name, and the parts take their names only once all are
// complete, the head part last; parts of an earlier split of the same file
// are moved aside until then, and removed after, with the earlier set's
// slices beyond the new ones where its table confirms them.  A split that
// fails or is stopped puts back what it moved and removes what it wrote,
// and only that; one refused writes nothing.  Standard input's length is
// known only at its end: its head part carries no stretch of it, and the
// room on the drive is found as it is written.
SplitResult SplitFile(const Folder *folder, const char *input_path, int64_t slice_bytes,
                      const ProgramImage *program, const SplitOptions *options,
                      Progress *progress);

#endif
