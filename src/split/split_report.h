// What a split did, or why it did not, in words for the user: the dialogs
// show them, the command line prints them.
#ifndef QCLEAVER_SPLIT_SPLIT_REPORT_H
#define QCLEAVER_SPLIT_SPLIT_REPORT_H

#include "split/split_engine.h"

// "report_00.exe: 5242880 bytes in 4 parts, CRC-32 1a2b3c4d", and what the
// user must know of the set: a head part for Windows, a set without
// checksums.
void FormatSplitDone(const SplitResult *result, bool for_windows, char *line, int size);
// The message for a split that failed or was refused, naming the file and
// the system's reason; false when there is nothing to say (done, stopped).
// input is the path asked for, folder the one the parts were to go in.
bool DescribeSplitFailure(const SplitResult *result, const char *input, const char *folder,
                          char *text, int size);

#endif
