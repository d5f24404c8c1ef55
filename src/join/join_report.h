// What an opened set, a join or a check found, in words for the user: the
// join dialog shows them, the command line prints them.  Every fault of a
// part is told here, in one vocabulary.
#ifndef QCLEAVER_JOIN_JOIN_REPORT_H
#define QCLEAVER_JOIN_JOIN_REPORT_H

#include "join/join_engine.h"
#include "join/part_check.h"

// Why a set could not be opened (any state but kSetReady and kSetEmpty):
// for a join, "Unable to rebuild ...: " first; for a check or its
// information, the reason alone.
void DescribeSetProblem(const PartSet *set, char *text, int size, bool joining = true);

// "report.zip: 5242880 bytes rebuilt, CRC-32 1a2b3c4d verified", and what
// a stop left undone.
void FormatJoinDone(const PartSet *set, const JoinResult *result, char *line, int size);
// The message for a join that failed or was refused, naming the part or
// file and the system's reason; false when there is nothing to say.
bool DescribeJoinFailure(const PartSet *set, const JoinResult *result, char *text, int size);
// What the user must know once the file is rebuilt: a program copy not
// written, parts not deleted.  Sets *failed where what was asked was not
// done.  False when there is nothing to say.
bool DescribeAfterJoin(const PartSet *set, const JoinResult *result, char *text, int size,
                       bool *failed);

// What a set holds, for --info: its file's name, size, CRC-32, time and
// permissions, its parts and their size, the system its head part runs on,
// its format version, and the standard-tools recipe filled in for it.
void FormatSetInfo(const PartSet *set, char *text, int size);

// One line of the check: "report_03.QCB: 40163 bytes short".
void FormatPartLine(const PartSet *set, const PartState *part, char *line, int size);
// The check's last line: "2 of 5 parts sound".
void FormatCheckSummary(const PartSet *set, const CheckResult *result, char *line, int size);

// For the join dialog: the recovery parts found ("3 of 4 found", "none"),
// and the parts the join will rebuild from them, as far as is known before
// any part is read: one by name, more by their number, short enough for the
// dialog's row.  False where too few are there to rebuild them.
bool DescribeRecovery(const PartSet *set, char *found, int found_size, char *repair, int repair_size);

// The line a repair of the set ends with: the parts written again.
void FormatRepairDone(const PartSet *set, const JoinResult *result, char *line, int size);

#endif
