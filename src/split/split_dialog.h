// The split tool's dialog: an input file, a slice size, OK.
#ifndef QCLEAVER_SPLIT_SPLIT_DIALOG_H
#define QCLEAVER_SPLIT_SPLIT_DIALOG_H

#include "platform/dialogs.h"

// Runs the dialog, copying the program at image_path into every head part;
// 1 when the last split asked for failed or was refused, else 0.
int RunSplitDialog(const char *image_path);

// The number at the start of text as the size field takes it: leading white
// space and one sign, digits up to the first non-digit, 0 for none.  Values
// beyond the int range come out as INT_MIN or INT_MAX, never wrapped.
int ParseSizeField(const char *text);

#endif
