// What a join did, or why it did not, in words for the user: the dialog
// shows them, the command line prints them.
#ifndef QCLEAVER_JOIN_JOIN_REPORT_H
#define QCLEAVER_JOIN_JOIN_REPORT_H

#include "join/join_engine.h"

// "report.zip: 5242880 bytes rebuilt, CRC-32 1a2b3c4d verified", and what
// a stop left undone.
void FormatJoinDone(const JoinResult *result, char *line, int size);
// The message for a join that failed or was refused, naming the file and
// the system's reason; false when there is nothing to say.  folder is the
// one the file was to be rebuilt in.
bool DescribeJoinFailure(const JoinResult *result, const char *folder, char *text, int size);
// Why no copy of the program was written, where that went wrong.
bool DescribeProgramCopyFailure(const JoinResult *result, char *text, int size);

#endif
