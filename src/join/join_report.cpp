#include "join/join_report.h"

#include "format/part_names.h"
#include "format/paths.h"
#include "platform/embedded_image.h"
#include "platform/reasons.h"
#include "platform/text.h"

static const char kNoMatch[] = "does not match the checksum recorded when it was made";

static void AppendUtcTime(char *text, int size, int64_t seconds);

// 1245184 as "1,245,184".
static void AppendGrouped(char *text, int size, int64_t value)
{
    char digits[32] = "";
    AppendDecimal(digits, sizeof digits, value);
    int length = TextLength(digits);
    for (int i = 0; i < length; i++) {
        char one[2] = {digits[i], 0};
        AppendText(text, size, one);
        if ((length - i - 1) % 3 == 0 && i + 1 < length)
            AppendText(text, size, ",");
    }
}

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
    case kPartExtra:
    case kPartOfAnotherSplit:
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
        if (part->bad_stretches > 0 && part->stretch < set->trailer.slice_length && !part->program) {
            // "1 stretch of 64 KB damaged, at 1,245,184"
            AppendDecimal(line, size, part->bad_stretches);
            AppendText(line, size, part->bad_stretches == 1 ? " stretch of " : " stretches of ");
            AppendSize(line, size, part->stretch);
            AppendText(line, size, part->bad_stretches == 1 ? " damaged, at " : " damaged, the first at ");
            AppendGrouped(line, size, part->first_bad);
            break;
        }
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
    case kPartExtra:
        AppendText(line, size, "extra: no part of this set");
        break;
    case kPartOfAnotherSplit:
        AppendText(line, size, "of another split, not used");
        if (part->made >= 0) {
            AppendText(line, size, ": that set was made ");
            AppendUtcTime(line, size, part->made);
        }
        break;
    }
}

void FormatCheckSummary(const PartSet *set, const CheckResult *result, char *line, int size)
{
    FormatText(line, size, "%" D64 " of %" D64 " parts sound", (int64_t)result->sound,
               (int64_t)result->parts);
    if (result->sound == result->parts && !result->whole_matches) {
        AppendText(line, size, ", but together they do not match the checksum recorded when they "
                               "were made");
        return;
    }
    if (result->sound == result->parts) {
        AppendText(line, size, ", CRC-32 ");
        AppendHex32(line, size, result->crc);
    }
    if (!set->trailer.has_record)
        AppendText(line, size, " (the set records no checksum: lengths only)");
    if (result->recovery == 0)
        return;
    AppendText(line, size, ", ");
    AppendDecimal(line, size, result->recovery_sound);
    AppendText(line, size, " of ");
    AppendDecimal(line, size, result->recovery);
    AppendText(line, size, " recovery parts sound");
    int64_t faults = result->parts - result->sound;
    if (faults == 0 && result->recovery_sound == result->recovery)
        return;
    AppendText(line, size, "; ");
    if (faults > 0) {
        if (faults > result->missing) {
            AppendDecimal(line, size, faults - result->missing);
            AppendText(line, size, " damaged");
        }
        if (result->missing > 0) {
            AppendText(line, size, faults > result->missing ? ", " : "");
            AppendDecimal(line, size, result->missing);
            AppendText(line, size, " missing");
        }
        AppendText(line, size, ": ");
    }
    if (result->disagreeing) {
        AppendPart(line, size, set, result->disagreeing);
        AppendText(line, size, " holds other data than the recovery parts describe, and the head "
                               "part, which would tell whose they are, is lost or damaged: they "
                               "may be of another split");
    } else if (faults == 0) {
        AppendText(line, size, "the recovery parts at fault can be made again from the parts");
    } else if (!Repairable(result)) {
        AppendDecimal(line, size, result->lacking);
        AppendText(line, size, result->lacking == 1 ? " more recovery part needed" : " more recovery parts needed");
    } else {
        AppendText(line, size, "repairable with the recovery parts");
    }
}

// "report_03.QCB was damaged, report_07.QCB missing and 2 more parts at
// fault", or in the present, "report_03.QCB is damaged ...".
static void AppendFaults(char *text, int size, const PartSet *set, const FaultNote *faults,
                         int64_t count, bool past)
{
    int64_t named = count < (int64_t)kFaultsNamed ? count : (int64_t)kFaultsNamed;
    for (int64_t i = 0; i < named; i++) {
        if (i > 0)
            AppendText(text, size, i + 1 == named && named == count ? " and " : ", ");
        AppendPart(text, size, set, faults[i].index);
        if (i == 0)
            AppendText(text, size, past ? " was " : " is ");
        else
            AppendText(text, size, " ");
        static const char *const kFaults[] = {"sound", "missing", "cut short or too long", "damaged",
                                              "holding another part's data", "unreadable", "extra",
                                              "of another split"};
        AppendText(text, size, kFaults[faults[i].fault]);
    }
    if (count > named) {
        AppendText(text, size, " and ");
        AppendDecimal(text, size, count - named);
        AppendText(text, size, count - named == 1 ? " more part at fault" : " more parts at fault");
    }
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

void DescribeSetProblem(const PartSet *set, char *text, int size, bool joining)
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
        AppendDecimal(text, size, set->info.length);
        AppendText(text, size, " bytes long, too short for the head part of a set");
        break;
    case kSetHeadDamaged: {
        // A file named as no head part, with no record, was never one.
        char stem[kPathSize];
        int kind;
        if (!set->trailer.has_record && !(ParsePartName(given, stem, &kind) && kind == 0)) {
            AppendName(text, size, given);
            AppendText(text, size, " is not the head part of a set");
            break;
        }
        PartState head;
        InitPartState(&head, 0);
        head.fault = kPartDamaged;
        if (joining)
            Rebuilding(text, size, set);
        AppendPartSentence(text, size, set, &head);
        break;
    }
    case kSetIsASlice:
        if (joining)
            Rebuilding(text, size, set);
        AppendName(text, size, given);
        AppendText(text, size, " is not the head part but a slice of the set whose head part is ");
        AppendName(text, size, set->slice_of);
        AppendText(text, size, !set->slice_head_here ? ", which is not here" : joining ? ": start that one"
                                                                                         : ": give that one");
        break;
    case kSetFolderUnreadable:
        if (joining)
            Rebuilding(text, size, set);
        AppendText(text, size, "its parts cannot be looked for. ");
        AppendFailure(text, size, &set->error);
        break;
    case kSetSplitsDisagree:
        if (joining)
            Rebuilding(text, size, set);
        AppendText(text, size, "the head part is lost or damaged, and ");
        AppendName(text, size, set->disagree[0]);
        AppendText(text, size, " and ");
        AppendName(text, size, set->disagree[1]);
        AppendText(text, size, " are of different splits, so neither can say what the set "
                               "holds; nothing was written. Remove the parts of the other split, "
                               "or get the head part again");
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
    case kJoinOutputExists:
        AppendText(text, size, "Unable to rebuild ");
        AppendName(text, size, result->output);
        AppendText(text, size, ": another file of that name is there, and is left alone");
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
        AppendRoom(text, size, result->folder, result->free_bytes);
        break;
    case kJoinTooLargeForDrive:
        Rebuilding(text, size, set);
        AppendText(text, size, "at ");
        AppendSize(text, size, result->needed);
        AppendText(text, size, " it");
        AppendTooLargeForDrive(text, size, result->folder, kMoveToAnotherDrive);
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
    case kJoinBeyondRepair:
        Rebuilding(text, size, set);
        AppendFaults(text, size, set, result->faults, result->fault_count, false);
        AppendText(text, size, "; ");
        if (set->census.recovery_usable == 0) {
            AppendText(text, size, "no sound recovery part is there");
        } else {
            AppendText(text, size, "the ");
            AppendDecimal(text, size, set->census.recovery_usable);
            AppendText(text, size, set->census.recovery_usable == 1 ? " sound recovery part rebuilds no more than one"
                                                                    : " sound recovery parts rebuild no more than as many");
        }
        AppendText(text, size, ": ");
        AppendDecimal(text, size, result->more_needed);
        AppendText(text, size, result->more_needed == 1 ? " more is needed" : " more are needed");
        AppendText(text, size, "; get the parts at fault, or more recovery parts, again");
        for (int i = 0; i < kFaultsNamed && i < result->fault_count; i++)
            if (result->faults[i].fault == kPartHoldsAnother) {
                AppendText(text, size, ". Parts that hold another's data were renamed or swapped: "
                                       "give them back their own names");
                break;
            }
        break;
    case kJoinRepairToStream:
        Rebuilding(text, size, set);
        AppendFaults(text, size, set, result->faults, result->fault_count, false);
        AppendText(text, size, ", to be rebuilt from the recovery parts, which takes the file "
                               "written to a folder, not to standard output");
        break;
    case kJoinSplitsDisagree:
        Rebuilding(text, size, set);
        AppendPart(text, size, set, result->part.index);
        AppendText(text, size, " holds other data than the recovery parts describe, and the head "
                               "part, which would tell whose they are, is lost or damaged: they "
                               "may be of another split; nothing was rebuilt from them. Get the "
                               "head part again");
        break;
    }
    return true;
}

void FormatJoinDone(const PartSet *set, const JoinResult *result, char *line, int size)
{
    line[0] = 0;
    AppendShellQuoted(line, size, result->output[0] ? result->output : set->output);
    AppendText(line, size, ": ");
    AppendDecimal(line, size, result->size);
    AppendText(line, size, " bytes rebuilt, CRC-32 ");
    AppendHex32(line, size, result->crc);
    AppendText(line, size, result->verified ? " verified" : " (the set records none to compare)");
    if (result->fault_count > 0) {
        AppendText(line, size, "; ");
        AppendFaults(line, size, set, result->faults, result->fault_count, true);
        AppendText(line, size, result->fault_count == 1   ? ": rebuilt from the recovery parts"
                               : result->fault_count == 2 ? ": both rebuilt from the recovery parts"
                                                          : ": all rebuilt from the recovery parts");
    }
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

// Whether this build carries the Windows program, for Windows head parts.
static bool HasWindowsImage()
{
    const unsigned char *bytes;
    int64_t size;
    return EmbeddedWindowsImage(&bytes, &size);
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
    case kProgramCopyThere:
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
    case kProgramCopyNoProgram:
        AppendText(text, size, kProgramCopyName);
        AppendText(text, size, " was not written: the head part, which holds the program, is lost "
                               "or damaged; a repair of the set makes it again");
        // Only a program that has one for the set's system makes it.
        if (set->windows_program != kWindowsProgram && !(set->windows_program && HasWindowsImage()))
            AppendText(text, size, set->windows_program ? " (cleaver --repair of a build that carries the "
                                                          "Windows program)"
                                                        : " (cleaver --repair on Linux)");
        AppendText(text, size, ".");
        break;
    case kProgramCopyLeftAlone:
    case kProgramCopyIsOutput:
    case kProgramCopyIsPart:
        AppendText(text, size, kProgramCopyName);
        AppendText(text, size, result->program_copy == kProgramCopyLeftAlone
                                   ? " was not written: a file or a folder of that name is "
                                     "there, and is left alone."
                               : result->program_copy == kProgramCopyIsOutput
                                   ? " was not written: the rebuilt file has that name."
                                   : " was not written: a part of the set has that name.");
        break;
    }
    if (HasFailed(&result->time_error)) {
        Sentence(text, size);
        AppendFailure(text, size, &result->time_error);
        AppendText(text, size, ".");
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

// "2020-05-01 12:00:00 UTC", from days since 1970 by the civil calendar,
// for any time a set may record: years before 1 and after 9999 as the
// proleptic calendar counts them ("-0001", "292277026596").
static void AppendUtcTime(char *text, int size, int64_t seconds)
{
    // Rounded down without negating: -2^63 seconds has no positive twin.
    int64_t in_day = seconds % 86400;
    int64_t days = seconds / 86400 - (in_day < 0);
    in_day += in_day < 0 ? 86400 : 0;
    int64_t z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153, day = doy - (153 * mp + 2) / 5 + 1;
    int64_t month = mp < 10 ? mp + 3 : mp - 9, year = yoe + era * 400 + (month <= 2);
    const int64_t fields[] = {year, month, day, in_day / 3600, in_day / 60 % 60, in_day % 60};
    const char *const separators[] = {"-", "-", " ", ":", ":", " UTC"};
    for (int i = 0; i < 6; i++) {
        AppendDecimal(text, size, fields[i], i == 0 ? 4 : 2);
        AppendText(text, size, separators[i]);
    }
}

static void Field(char *text, int size, const char *label)
{
    AppendText(text, size, label);
    AppendText(text, size, ": ");
}

void FormatSetInfo(const PartSet *set, char *text, int size)
{
    text[0] = 0;
    const PartSetTrailer &t = set->trailer;
    Field(text, size, "name");
    AppendName(text, size, set->output);
    Field(text, size, "\nsize");
    AppendDecimal(text, size, OriginalSize(&t));
    AppendText(text, size, " bytes (");
    AppendSize(text, size, OriginalSize(&t));
    Field(text, size, ")\nCRC-32");
    if (t.has_record)
        AppendHex32(text, size, t.crc);
    else
        AppendText(text, size, "none recorded");
    if (set->extension.has_time) {
        Field(text, size, "\nmodified");
        AppendUtcTime(text, size, set->extension.modified.seconds);
    }
    if (set->extension.permissions >= 0) {
        Field(text, size, "\npermissions");
        AppendDecimal(text, size, set->extension.permissions >> 6 & 7);
        AppendDecimal(text, size, set->extension.permissions >> 3 & 7);
        AppendDecimal(text, size, set->extension.permissions & 7);
    }
    Field(text, size, "\nparts");
    AppendDecimal(text, size, (int64_t)t.last_part + 1);
    AppendText(text, size, ": the head part of ");
    // Where a recovery part describes the set, the head part's length as it was made.
    AppendDecimal(text, size, set->described ? set->trailer.image_size + set->head_data +
                                                   HeadEndLength(set)
                                             : set->info.length);
    AppendText(text, size, " bytes, and slices of ");
    int64_t slice = t.has_record ? (int64_t)t.slice_length : ExpectedPartLength(set, 1);
    AppendDecimal(text, size, slice >= 0 ? slice : set->census.count ? set->census.slices[0].length : 0);
    AppendText(text, size, " bytes, the last one of no more");
    if (set->extension.recovery_count > 0) {
        int64_t count = set->extension.recovery_count;
        Field(text, size, "\nrecovery parts");
        AppendDecimal(text, size, count);
        AppendText(text, size, " of ");
        AppendDecimal(text, size, ExpectedPartLength(set, -1));
        AppendText(text, size, " bytes, ");
        AppendPart(text, size, set, -1);
        if (count > 1) {
            AppendText(text, size, " to ");
            AppendPart(text, size, set, -count);
        }
        AppendText(text, size, ": any ");
        AppendDecimal(text, size, count);
        AppendText(text, size, count == 1 ? " part lost or damaged is rebuilt" : " parts lost or damaged are rebuilt");
    }
    Field(text, size, "\nhead part");
    AppendText(text, size, set->windows_program ? "a Windows program" : "a Linux program");
    Field(text, size, "\nformat");
    if (t.has_record) {
        AppendText(text, size, "version ");
        AppendDecimal(text, size, t.record_version);
    } else {
        AppendText(text, size, "without a record");
    }
    // docs/FORMAT.md's recipe, with this set's numbers in.
    char head[kPathSize];
    PartNameOf(set, 0, head);
    AppendText(text, size, "\nto rebuild it with standard tools, in the parts' folder:\n  { tail -c +");
    AppendDecimal(text, size, (int64_t)t.image_size + 1);
    AppendText(text, size, " ");
    AppendShellQuoted(text, size, head);
    AppendText(text, size, " | head -c ");
    AppendDecimal(text, size, set->head_data);
    // POSIX tools alone: a loop, where seq is not everywhere.
    AppendText(text, size, "\n    i=1; while [ $i -le ");
    AppendDecimal(text, size, t.last_part);
    AppendText(text, size, " ]; do cat ");
    // The stem quoted, the number left to the shell: 'my report'_"$n".QCB.
    if (set->stem[0])
        AppendShellQuoted(text, size, set->stem);
    AppendText(text, size, "_\"$(printf %02d $i)\".QCB; i=$((i + 1))");
    AppendText(text, size, "; done; } > ");
    AppendShellQuoted(text, size, set->output);
    AppendText(text, size, "\n");
}

bool DescribeRecovery(const PartSet *set, char *found, int found_size, char *repair, int repair_size)
{
    found[0] = repair[0] = 0;
    int count = set->extension.recovery_count;
    if (count == 0) {
        AppendText(found, found_size, "none");
    } else {
        AppendDecimal(found, found_size, set->census.recovery_usable);
        AppendText(found, found_size, " of ");
        AppendDecimal(found, found_size, count);
        AppendText(found, found_size, " found");
    }
    FaultNote faults[kFaultsNamed];
    int64_t known = KnownFaults(set, faults);
    if (known == 0) {
        AppendText(repair, repair_size, "none needed");
        return true;
    }
    int64_t lacking = FaultsNeedingRecovery(set) - set->census.recovery_usable;
    // One part named; more counted, so that what is needed still fits the
    // dialog's row: "3 parts missing: 1 more recovery part needed".
    bool missing = known <= kFaultsNamed;
    for (int i = 0; i < kFaultsNamed && i < known; i++)
        missing = missing && faults[i].fault == kPartMissing;
    if (known == 1) {
        AppendFaults(repair, repair_size, set, faults, known, false);
    } else {
        AppendDecimal(repair, repair_size, known);
        AppendText(repair, repair_size, missing ? " parts missing" : " parts at fault");
    }
    if (count == 0)  // a slice of a wrong length is named by the join; a missing one stops it
        return set->census.found == set->trailer.last_part;
    if (lacking <= 0) {
        AppendText(repair, repair_size, ": to be rebuilt from the recovery parts");
        return true;
    }
    AppendText(repair, repair_size, ": ");
    AppendDecimal(repair, repair_size, lacking);
    AppendText(repair, repair_size, lacking == 1 ? " more recovery part needed" : " more recovery parts needed");
    return false;
}

void FormatRepairDone(const PartSet *set, const JoinResult *result, char *line, int size)
{
    line[0] = 0;
    if (result->fault_count == 0 && !result->no_program) {
        AppendShellQuoted(line, size, set->head_name);
        AppendText(line, size, ": every part is sound; nothing to repair");
        return;
    }
    if (result->fault_count > 0) {
        // Only parts rebuilt came from the recovery parts; recovery parts,
        // and a head part whose stretch was sound, are made from the set.
        AppendFaults(line, size, set, result->faults, result->fault_count, true);
        AppendText(line, size, result->fault_count == 1 ? ": written again" : ": all written again");
        if (result->rebuilt_count == result->fault_count)
            AppendText(line, size, " from the recovery parts");
    }
    if (result->set_aside > 0) {
        AppendText(line, size, result->set_aside == 1 ? "; the damaged one is kept, as "
                                                      : "; the damaged ones are kept, as ");
        AppendShellQuoted(line, size, result->aside);
        AppendText(line, size, result->set_aside == 1 ? "" : " and the like");
    }
    if (result->no_program) {
        AppendText(line, size, result->fault_count > 0 ? "; " : "");
        AppendPart(line, size, set, 0);
        AppendText(line, size, !set->windows_program ? " not: only the Linux program named cleaver makes it"
                               : kWindowsProgram
                                   ? " not: only cleaver.exe makes it; drop a recovery part on cleaver.exe and "
                                     "repair the set there"
                                   : " not: this build carries no Windows program to make it with");
    }
}
