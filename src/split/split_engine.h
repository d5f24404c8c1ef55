// Cuts one input file into a part set in a folder: the head part (this
// program, the first stretch of the input, the trailer) and the slice files
// with the rest.
#ifndef QCLEAVER_SPLIT_SPLIT_ENGINE_H
#define QCLEAVER_SPLIT_SPLIT_ENGINE_H

#include "platform/files.h"
#include "platform/progress.h"

enum SplitStatus {
    kSplitDone,
    kSplitNoInput,        // the input cannot be opened, or is not a plain file
    kSplitTooSmall,       // the input is not larger than one slice
    kSplitTooLarge,       // the set would have more slice files than a trailer can count
    kSplitNameTooLongForSize,  // 2 GiB or more, and the name leaves no room for its size
    kSplitNameTooLongToStore,  // the name does not fit the trailer at all
    kSplitNamesNotFound,  // the parts or the rebuilt file could not be found again by name,
                          // or a part's name is too long for the folder
    kSplitPartInTheWay,   // a read-only file, a link or a folder has a part's name
    kSplitNoImage,        // the program image cannot be read
    kSplitCannotCreate,   // a part cannot be created
    kSplitWriteFailed,    // writing a part failed: most often a full disk
    kSplitReadFailed,     // reading the input failed while a part was written
    kSplitCancelled,      // the user stopped it
    kSplitNoRoom,         // the set needs more room than the drive has (needed, free_bytes)
    kSplitPartsTooSmall,  // a part cannot hold the program and the trailer (needed: the least)
    kSplitPartTooLargeForDrive,  // a part is larger (needed) than the drive's file
                                 // system holds (free_bytes)
};

struct SplitResult {
    SplitStatus status;
    char part[kPathSize];  // the part it failed on; the head part when done
    FileError error;       // the system's reason, where a file operation failed
    int64_t size;          // the input's length
    int32_t last_part;     // the set's slice files
    uint32_t crc;          // CRC-32 of the input, once done
    int64_t needed;        // bytes the set needs, where room ran short; else -1
    int64_t free_bytes;    // bytes free on the drive then; else -1
};

// The program a head part starts with: a file, or bytes this program
// carries (the Windows program, in the Linux one).
struct ProgramImage {
    const char *path;            // where not null
    const unsigned char *bytes;  // else these
    int64_t size;
};

// Splits input_path into parts of at most slice_bytes (kMinSliceBytes to
// kMaxSliceBytes) in folder, the head part starting with the program,
// counting the input's bytes in progress (which may be null).  Every part is written
// under a temporary name and renamed into place once complete, so that no
// existing file is ever opened for writing.  A split that fails or is
// stopped removes the parts it wrote; one refused writes nothing.
SplitResult SplitFile(const Folder *folder, const char *input_path, int64_t slice_bytes,
                      const ProgramImage *program, Progress *progress = 0);

#endif
