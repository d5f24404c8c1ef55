// The program's command line on POSIX, in the manner of split and the other
// GNU tools: a split, a join or a check without a dialog, for scripts.
#ifndef QCLEAVER_APP_COMMAND_LINE_H
#define QCLEAVER_APP_COMMAND_LINE_H

#include "app/mode.h"

// Runs what the arguments ask; the exit status: 0 on success, 1 on failure,
// 2 on wrong usage.
int RunCommandLine(Mode mode, const char *image_path, int argc, char **argv);

#endif
