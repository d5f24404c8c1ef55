// The split tool's dialog: an input file, a slice size, OK.
#ifndef QCLEAVER_SPLIT_SPLIT_DIALOG_H
#define QCLEAVER_SPLIT_SPLIT_DIALOG_H

#include "platform/dialogs.h"

// Runs the dialog, copying the program at image_path into every head part,
// with input (where not null) as the file to split; 1 when the last split
// asked for failed or was refused, else 0.  A head part chosen as the file
// to split is no file to cut up: the dialog ends, and its path is left in
// head_chosen (where not null) for its set's join.
int RunSplitDialog(const char *image_path, const char *input = 0, char *head_chosen = 0);

#endif
