// A split as every front-end runs it: the dialogs and the command line
// gather a request, run it here, and show what it says.
#ifndef QCLEAVER_SPLIT_SPLIT_RUN_H
#define QCLEAVER_SPLIT_SPLIT_RUN_H

#include "platform/files.h"
#include "platform/progress.h"
#include "split/split_engine.h"

struct SplitRequest {
    const char *input;       // the file to split; null for standard input
    const char *name;        // standard input's name, which the file is rebuilt under
    const char *output_dir;  // where the parts go; null: beside the input
    int64_t part_bytes;      // the largest a part may be
    bool for_windows;        // a head part for Windows, made by a Linux build
    bool force;              // replace parts of another set, or of none
    const char *image_path;  // this program, copied into a head part for this system
    int recovery;            // recovery parts to make
};

struct SplitOutcome {
    SplitResult result;
    bool failed;             // failed or refused: the exit status is 1
    bool stopped;            // the user stopped it: nothing to say
    char text[4 * kPathSize];  // the result line when done, else what went wrong
};

void RunSplit(const SplitRequest *request, Progress *progress, SplitOutcome *outcome);

#endif
