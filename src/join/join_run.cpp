#include "join/join_run.h"

#include "join/join_report.h"
#include "platform/embedded_image.h"

bool SetCanJoin(const PartSet *set, char *text, int size)
{
    text[0] = 0;
    // An empty set is the program itself: its join meets no name to write,
    // and says so as a join.
    if (set->state == kSetReady || set->state == kSetEmpty)
        return true;
    DescribeSetProblem(set, text, size);
    return false;
}

void ChooseRepairProgram(const PartSet *set, const char *own_program, ProgramSource *program)
{
    *program = ProgramSource{own_program, 0, 0, kWindowsProgram};
    if (set->windows_program && !kWindowsProgram) {
        program->path = 0;
        program->for_windows = EmbeddedWindowsImage(&program->bytes, &program->size);
    }
}

void RunJoin(PartSet *set, const JoinRequest *request, Progress *progress, JoinOutcome *outcome)
{
    outcome->line[0] = outcome->message[0] = 0;
    outcome->stopped = false;
    outcome->failed = true;
    if (!SetCanJoin(set, outcome->message, sizeof outcome->message))
        return;
    JoinResult *result = &outcome->result;
    *result = JoinParts(set, request, progress);
    if (result->status != kJoinDone) {
        outcome->stopped = result->status == kJoinCancelled;
        outcome->failed = !outcome->stopped;
        DescribeJoinFailure(set, result, outcome->message, sizeof outcome->message);
        return;
    }
    if (request->repair_set) {
        FormatRepairDone(set, result, outcome->line, sizeof outcome->line);
        outcome->failed = result->no_program;
        return;
    }
    FormatJoinDone(set, result, outcome->line, sizeof outcome->line);
    DescribeAfterJoin(set, result, outcome->message, sizeof outcome->message, &outcome->failed);
}
