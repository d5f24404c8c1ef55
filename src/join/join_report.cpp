#include "join/join_report.h"

#include "format/paths.h"
#include "platform/reasons.h"
#include "platform/text.h"

static const char kNoMatch[] = "does not match the checksum recorded when it was made";

static void AppendPart(char *text, int size, const PartSet *set, int64_t index)
{
    char name[kPathSize];
    PartNameOf(set, index, name);
    AppendName(text, size, name);
}

// "17 bytes short" or "17 bytes too long"; false where the set says no length.
static bool AppendLengthFault(char *text, int size, const PartState *part)
{
    if (part->expected < 0 || part->length < 0)
        return false;
    bool shorter = part->length < part->expected;
    AppendDecimal(text, size, shorter ? part->expected - part->length : part->length - part->expected);
    AppendText(text, size, shorter ? " bytes short" : " bytes too long");
    return true;
}

// The part and what is wrong with it, as a sentence: "report_03.QCB is
// damaged; it does not match ... Get that part again."
static void AppendPartSentence(char *text, int size, const PartSet *set, const PartState *part)
{
    AppendPart(text, size, set, part->index);
    switch (part->fault) {
    case kPartSound:
        break;
    case kPartMissing:
        AppendText(text, size, " is missing");
        break;
    case kPartWrongLength:
        AppendText(text, size, " is ");
        if (!AppendLengthFault(text, size, part))
            AppendText(text, size, "of a length no split writes");
        AppendText(text, size, part->length < part->expected ? ": it was cut short; get it again"
                                                             : "; get it again");
        break;
    case kPartDamaged:
        if (part->index == 0) {
            AppendText(text, size, ", the head part itself, is damaged; get it again");
            break;
        }
        AppendText(text, size, " is damaged; it ");
        AppendText(text, size, kNoMatch);
        AppendText(text, size, ". Get that part again.");
        break;
    case kPartHoldsAnother:
        AppendText(text, size, " holds what ");
        AppendPart(text, size, set, part->holds);
        AppendText(text, size, " should hold: the parts were renamed or swapped");
        break;
    case kPartUnreadable:
        AppendText(text, size, " cannot be read");
        AppendReason(text, size, &part->error);
        break;
    }
}

void FormatPartLine(const PartSet *set, const PartState *part, char *line, int size)
{
    line[0] = 0;
    AppendPart(line, size, set, part->index);
    if (part->through > part->index) {
        AppendText(line, size, " to ");
        AppendPart(line, size, set, part->through);
    }
    AppendText(line, size, ": ");
    switch (part->fault) {
    case kPartSound:
        AppendText(line, size, "sound");
        break;
    case kPartMissing:
        AppendText(line, size, "missing");
        if (part->through > part->index) {
            AppendText(line, size, " (");
            AppendDecimal(line, size, part->through - part->index + 1);
            AppendText(line, size, " parts)");
        }
        break;
    case kPartWrongLength:
        if (!AppendLengthFault(line, size, part))
            AppendText(line, size, "of a length no split writes");
        break;
    case kPartDamaged:
        AppendText(line, size, part->program ? "damaged: its program " : "damaged: it ");
        AppendText(line, size, kNoMatch);
        break;
    case kPartHoldsAnother:
        AppendText(line, size, "holds what ");
        AppendPart(line, size, set, part->holds);
        AppendText(line, size, " should hold");
        break;
    case kPartUnreadable:
        AppendText(line, size, "cannot be read");
        AppendReason(line, size, &part->error);
        break;
    }
}

void FormatCheckSummary(const PartSet *set, const CheckResult *result, char *line, int size)
{
    line[0] = 0;
    AppendDecimal(line, size, result->sound);
    AppendText(line, size, " of ");
    AppendDecimal(line, size, result->parts);
    AppendText(line, size, " parts sound");
    if (result->sound == result->parts && !result->whole_matches)
        AppendText(line, size, ", but together they do not match the checksum recorded when they "
                               "were made");
    else if (!set->trailer.has_record)
        AppendText(line, size, " (the set records no checksum: lengths only)");
}

// "Unable to rebuild report.zip: ", the file named where it is known.
static void Rebuilding(char *text, int size, const PartSet *set)
{
    AppendText(text, size, "Unable to rebuild ");
    if (set->output[0])
        AppendName(text, size, set->output);
    else
        AppendText(text, size, "the file");
    AppendText(text, size, ": ");
}

static const char kNoOutput[] = "Unable to open output file, make sure there is no file with "
                                "the same name in the output directory";

void DescribeSetProblem(const PartSet *set, char *text, int size)
{
    text[0] = 0;
    const char *given = FileNameOf(set->given);
    switch (set->state) {
    case kSetReady:
        break;
    case kSetEmpty:
        AppendText(text, size, kNoOutput);
        break;
    case kSetHeadUnreadable:
        AppendText(text, size, "Unable to loacte original file information: ");
        AppendName(text, size, set->error.path);
        AppendReason(text, size, &set->error);
        break;
    case kSetNotAHeadPart:
        AppendText(text, size, "Unable to loacte original file information: ");
        AppendName(text, size, given);
        AppendText(text, size, " is only ");
        AppendDecimal(text, size, set->head_info.length);
        AppendText(text, size, " bytes long, too short for the head part of a set");
        break;
    case kSetHeadDamaged: {
        PartState head;
        InitPartState(&head, 0);
        head.fault = kPartDamaged;
        Rebuilding(text, size, set);
        AppendPartSentence(text, size, set, &head);
        break;
    }
    case kSetIsASlice:
        Rebuilding(text, size, set);
        AppendName(text, size, given);
        AppendText(text, size, " is not the head part but a slice of the set whose head part is ");
        AppendName(text, size, set->slice_of);
        AppendText(text, size, set->slice_head_here ? ": start that one" : ", which is not here");
        break;
    case kSetFolderUnreadable:
        Rebuilding(text, size, set);
        AppendText(text, size, "its parts cannot be looked for. ");
        AppendFailure(text, size, &set->error);
        break;
    }
}

bool DescribeJoinFailure(const PartSet *set, const JoinResult *result, char *text, int size)
{
    text[0] = 0;
    int64_t more_room = result->free_bytes >= 0 ? result->needed - result->free_bytes : -1;
    switch (result->status) {
    case kJoinDone:
    case kJoinCancelled:
        return false;
    case kJoinPartFault:
        Rebuilding(text, size, set);
        AppendPartSentence(text, size, set, &result->part);
        break;
    case kJoinNoOutput:
        if (HasFailed(&result->error))
            AppendFailure(text, size, &result->error);
        else
            AppendText(text, size, kNoOutput);
        break;
    case kJoinWouldReplacePart:
        Rebuilding(text, size, set);
        AppendText(text, size, "it would replace ");
        AppendPart(text, size, set, result->part.index);
        AppendText(text, size, ", a part of this set; give that part back its own name and try "
                               "again");
        break;
    case kJoinWriteFailed:
        AppendFailure(text, size, &result->error, more_room);
        if (result->error.code == kErrorTooLarge && !result->error.process_limit)
            AppendLargeFileAdvice(text, size, kMoveToAnotherDrive);
        break;
    case kJoinNoRoom:
        Rebuilding(text, size, set);
        AppendText(text, size, "it needs ");
        AppendSize(text, size, result->needed);
        AppendText(text, size, "; ");
        AppendRoom(text, size, set->folder.path, result->free_bytes);
        break;
    case kJoinTooLargeForDrive:
        Rebuilding(text, size, set);
        AppendText(text, size, "at ");
        AppendSize(text, size, result->needed);
        AppendText(text, size, " it");
        AppendTooLargeForDrive(text, size, set->folder.path, kMoveToAnotherDrive);
        break;
    case kJoinSizeMismatch:
        Rebuilding(text, size, set);
        AppendText(text, size, "the parts do not add up to its size");
        break;
    case kJoinChecksumMismatch:
        Rebuilding(text, size, set);
        AppendText(text, size, "its parts together do not match the checksum recorded when they "
                               "were made; a part is damaged");
        break;
    }
    return true;
}

void FormatJoinDone(const PartSet *set, const JoinResult *result, char *line, int size)
{
    line[0] = 0;
    AppendName(line, size, set->output);
    AppendText(line, size, ": ");
    AppendDecimal(line, size, result->size);
    AppendText(line, size, " bytes rebuilt, CRC-32 ");
    AppendHex32(line, size, result->crc);
    AppendText(line, size, result->verified ? " verified" : " (the set records none to compare)");
    // What a stop left undone: "; 7 of 20 parts not deleted: interrupted".
    if (result->program_copy == kProgramCopyStopped) {
        AppendText(line, size, "; ");
        AppendText(line, size, kProgramCopyName);
        AppendText(line, size, " not written");
    }
    if (result->deletion == kDeletionStopped) {
        AppendText(line, size, "; ");
        AppendDecimal(line, size, result->parts_kept);
        AppendText(line, size, " of ");
        AppendDecimal(line, size, result->parts);
        AppendText(line, size, " parts not deleted");
    }
    if (result->program_copy == kProgramCopyStopped || result->deletion == kDeletionStopped)
        AppendText(line, size, ": interrupted");
}

// Appends a sentence to what is said after the join, a space between.
static void Sentence(char *text, int size)
{
    if (text[0])
        AppendText(text, size, " ");
}

bool DescribeAfterJoin(const PartSet *set, const JoinResult *result, char *text, int size,
                       bool *failed)
{
    text[0] = 0;
    *failed = false;
    switch (result->program_copy) {
    case kProgramCopyNotAsked:
    case kProgramCopyMade:
    case kProgramCopyStopped:
        break;
    case kProgramCopyFailed:
        *failed = true;
        AppendFailure(text, size, &result->copy_error);
        AppendText(text, size, ".");
        break;
    case kProgramCopyDamaged:
        *failed = true;
        AppendText(text, size, kProgramCopyName);
        AppendText(text, size, " was not written: the program in the head part ");
        AppendText(text, size, kNoMatch);
        AppendText(text, size, ".");
        break;
    case kProgramCopyLeftAlone:
    case kProgramCopyIsOutput:
    case kProgramCopyIsPart:
        AppendText(text, size, kProgramCopyName);
        AppendText(text, size, result->program_copy == kProgramCopyLeftAlone
                                   ? " was not written: a read-only file or a folder of that "
                                     "name is there, and is left alone."
                               : result->program_copy == kProgramCopyIsOutput
                                   ? " was not written: the rebuilt file has that name."
                                   : " was not written: a part of the set has that name.");
        break;
    }
    if (result->deletion == kDeletionKeptForCopy) {
        *failed = true;
        Sentence(text, size);
        AppendPart(text, size, set, 0);
        AppendText(text, size, " was not deleted: without ");
        AppendText(text, size, kProgramCopyName);
        AppendText(text, size, " it is the only copy of the program.");
    } else if (result->deletion == kDeletionIncomplete) {
        *failed = true;
        Sentence(text, size);
        AppendDecimal(text, size, result->parts_kept);
        AppendText(text, size, " of ");
        AppendDecimal(text, size, result->parts);
        AppendText(text, size, " parts were not deleted. ");
        AppendFailure(text, size, &result->delete_error);
        AppendText(text, size, ".");
    }
    return text[0] != 0;
}
