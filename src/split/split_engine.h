// Cuts one input file into a part set in a folder: the head part (this
// program, the first stretch of the input, the part table and the trailer)
// and the slice files with the rest.
#ifndef QCLEAVER_SPLIT_SPLIT_ENGINE_H
#define QCLEAVER_SPLIT_SPLIT_ENGINE_H

#include "platform/files.h"
#include "platform/progress.h"

enum SplitStatus {
    kSplitDone,
    kSplitNoInput,        // the input cannot be opened, or is not a plain file (error)
    kSplitTooSmall,       // the input is not larger than one slice
    kSplitTooLarge,       // the set would have more slice files than a trailer can count
    kSplitNameTooLongForSize,  // 2 GiB or more, and the name leaves no room for its size
    kSplitNameTooLongToStore,  // the name does not fit the trailer at all
    kSplitNamesTooLong,   // a part's name, or the rebuilt file's, is too long for the
                          // folder, or would not name the same file again (error)
    kSplitNotAWindowsName,  // a head part for Windows, and a name Windows cannot rebuild
                            // (why_not_windows)
    kSplitPartInTheWay,   // a read-only file, a link, a folder or the input has a part's name
    kSplitNoImage,        // the program image cannot be read (error)
    kSplitCannotCreate,   // a part cannot be created or named (error)
    kSplitWriteFailed,    // writing a part failed: most often a full disk (error)
    kSplitReadFailed,     // reading the input failed while a part was written (error)
    kSplitInputChanged,   // the input changed while it was split
    kSplitCancelled,      // the user stopped it
    kSplitNoRoom,         // the set needs more room (needed) than the drive has (free_bytes)
    kSplitPartsTooSmall,  // a part cannot hold the program, or its part table (least,
                          // table_too_large)
    kSplitPartTooLargeForDrive,  // a part is larger (needed) than the drive's file
                                 // system holds (free_bytes)
};

struct SplitResult {
    SplitStatus status;
    char part[kPathSize];  // the part it failed on or found in the way; the head part when done
    FileError error;       // the system's reason, where a file operation failed
    int64_t size;          // the input's length
    int32_t last_part;     // the set's slice files
    uint32_t crc;          // CRC-32 of the input, once done
    bool with_checksums;   // the set records its checksums (a name of up to 227 bytes)
    int64_t needed;        // bytes the set or a part needs, where room ran short; else -1
    int64_t free_bytes;    // bytes free on the drive then, or the largest file it holds
    int64_t least;         // the least part size that would do, for kSplitPartsTooSmall
    bool table_too_large;  // ... where the program fits but the part table does not
    const char *why_not_windows;  // for kSplitNotAWindowsName
};

// The program a head part starts with: a file, or bytes this program
// carries (the Windows program, in the Linux one).
struct ProgramImage {
    const char *path;            // where not null
    const unsigned char *bytes;  // else these
    int64_t size;
    bool for_windows;  // a Windows program: the head part stays within what Windows starts
};

// Splits input_path into parts of at most slice_bytes (kMinSliceBytes to
// kMaxSliceBytes) in folder, the head part starting with the program,
// counting the input's bytes in progress (which may be null).  Every part
// is written under a temporary name, and the parts take their names only
// once all are complete, the head part last.  A split that fails or is
// stopped removes what it wrote, and only that; one refused writes nothing.
SplitResult SplitFile(const Folder *folder, const char *input_path, int64_t slice_bytes,
                      const ProgramImage *program, Progress *progress);

#endif
