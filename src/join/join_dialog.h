// The head part's dialog: what the set holds, whether it is complete, OK.
#ifndef QCLEAVER_JOIN_JOIN_DIALOG_H
#define QCLEAVER_JOIN_JOIN_DIALOG_H

#include "platform/dialogs.h"

// Runs the dialog of the head part at image_path, which rebuilds the file
// in the head part's own folder, or repairs the set there; 1 when the join
// asked for failed or was refused, else 0.  own_program, where not null, is
// this program's file, the program alone (the split tool), from which a
// repair makes a fresh head part where the set's own is lost or damaged.
int RunJoinDialog(const char *image_path, const char *own_program);

#endif
