// A join as every front-end runs it: the dialog and the command line open
// the set, run the join here, and show what it says.
#ifndef QCLEAVER_JOIN_JOIN_RUN_H
#define QCLEAVER_JOIN_JOIN_RUN_H

#include "join/join_engine.h"
#include "join/part_set.h"
#include "platform/progress.h"

struct JoinOutcome {
    JoinResult result;
    bool failed;    // the file was not rebuilt, or what else was asked was not done
    bool stopped;   // the user stopped it before the file was rebuilt
    char line[2 * kPathSize];     // the result line, once the file is rebuilt
    char message[4 * kPathSize];  // what went wrong, or what else the user must know
};

// Whether the set can be joined as it was opened: a set that cannot says
// why in text.
bool SetCanJoin(const PartSet *set, char *text, int size);

// The program a repair gives a fresh head part where the set's own is lost
// or damaged: own_program, this program's file where it is the program
// alone (the split tool, not a head part), for a set of this program's
// system; on Linux, for a Windows set, the Windows program the build
// carries.
void ChooseRepairProgram(const PartSet *set, const char *own_program, ProgramSource *program);

void RunJoin(PartSet *set, const JoinRequest *request, Progress *progress, JoinOutcome *outcome);

#endif
