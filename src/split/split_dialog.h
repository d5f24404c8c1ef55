// The split tool's dialog: an input file, a slice size, OK.
#ifndef QCLEAVER_SPLIT_SPLIT_DIALOG_H
#define QCLEAVER_SPLIT_SPLIT_DIALOG_H

#include "platform/dialogs.h"

INT_PTR CALLBACK SplitDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// The number at the start of text as the size field takes it: leading white
// space and one sign, digits up to the first non-digit, 0 for none.  Values
// beyond the int range come out as INT_MIN or INT_MAX, never wrapped.
int ParseSizeField(const char *text);

#endif
