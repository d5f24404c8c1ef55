// Cuts one input file into a part set in the current directory: the head
// part (this program, the first stretch of the input, the trailer) and the
// slice files with the rest.
#ifndef QCLEAVER_SPLIT_ENGINE_H
#define QCLEAVER_SPLIT_ENGINE_H

#include "platform.h"

enum SplitResult {
    kSplitDone = 0,
    kSplitNoImage = -1,        // the program image cannot be read
    kSplitCannotCreate = -2,   // a part file cannot be created
    kSplitNoInput = -3,        // the input cannot be opened
    kSplitBadInputSize = -4,   // not larger than one slice, or 2 GB and more
    kSplitBadSliceSize = -5,   // the typed size is out of range (the dialog's)
    kSplitCopyFailed = -6,     // a read or write failed while parts were written
};

extern const char kSplitTitle[];
extern const char kSliceSizeMessage[];

// Splits input_path into slices of slice_kb kilobytes (10 to 65536), with
// a copy of the program at image_path at the front.  Shows its own failure
// messages, owned by dialog.
SplitResult SplitFile(const char *input_path, int slice_kb, HWND dialog, const char *image_path);

#endif
