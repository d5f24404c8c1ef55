// Error message boxes whose text names a file.
#ifndef QCLEAVER_REPORT_H
#define QCLEAVER_REPORT_H

#include "platform.h"

// Shows first + name + rest with the error icon.
void ShowError(HWND owner, const char *title, const char *first, const char *name = "",
               const char *rest = "");

#endif
