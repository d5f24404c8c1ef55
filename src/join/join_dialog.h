// The head part's dialog: what the set holds, whether it is complete, OK.
#ifndef QCLEAVER_JOIN_JOIN_DIALOG_H
#define QCLEAVER_JOIN_JOIN_DIALOG_H

#include "platform/dialogs.h"

INT_PTR CALLBACK JoinDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

#endif
