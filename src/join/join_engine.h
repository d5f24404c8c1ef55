// Rebuilds the original file of a part set from the head part (the running
// program) and the slice files in the current directory.
#ifndef QCLEAVER_JOIN_ENGINE_H
#define QCLEAVER_JOIN_ENGINE_H

#include "platform.h"

enum JoinResult {
    kJoinDone = 0,
    kJoinNoTrailer = -1,     // the head part's own trailer cannot be read
    kJoinNoOutput = -2,      // the rebuilt file cannot be written
    kJoinIncomplete = -3,    // a part missing, short or unreadable, or a full disk
};

extern const char kJoinTitle[];

// Rebuilds the file described by the trailer at the end of image_path (the
// running head part), then optionally writes "cleaver.exe" and deletes the
// parts.  Shows its own failure messages, owned by dialog.
JoinResult JoinParts(HWND dialog, bool make_copy, bool delete_parts, const char *image_path);

#endif
