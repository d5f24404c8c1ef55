// What a split did, or why it did not, in words for the user: the dialog
// shows them, the command line prints them.
#ifndef QCLEAVER_SPLIT_SPLIT_REPORT_H
#define QCLEAVER_SPLIT_SPLIT_REPORT_H

#include "split/split_engine.h"

// "report_00.exe: 5242880 bytes in 4 parts, CRC-32 1a2b3c4d"
void FormatSplitDone(const SplitResult *result, char *line, int size);
// The message for a split that failed or was refused, naming the file and
// the system's reason; false when there is nothing to say (done, stopped).
// input is the path asked for, folder the one the parts were to go in.
bool DescribeSplitFailure(const SplitResult *result, const char *input, const char *folder,
                          char *text, int size);

// "; report_00.exe is a Windows program; on Linux, `cleaver --join
// report_00.exe` rebuilds the file", after the result of a split that gave
// the set a head part for Windows.
void AppendWindowsHeadNote(const char *head, char *line, int size);

#endif
