#include "join/join_report.h"

#include "format/part_names.h"
#include "format/paths.h"
#include "platform/embedded_image.h"
#include "platform/reasons.h"
#include "platform/text.h"

// Every sentence of the join's reports, by what it tells.  A "%s" takes a
// name as shown (control characters as '?'), a name quoted for a shell, or
// words made below; "%" D64 a count.

static const char *const kSayNoMatch = "does not match the checksum recorded when it was made";
static const char *const kSayRebuilding = "Unable to rebuild %s: ";
static const char *const kSayDisagreeing =
    "%s holds other data than the recovery parts describe, and the "
    "head part, which would tell whose they are, is lost or damaged: "
    "they may be of another split";
static const char *const kSayLacking = "%" D64 " more recovery part%s needed";

// Words only the command line says (it alone checks parts, or writes to
// standard output) are left out of the Windows program.
#ifdef _WIN32
#define QC_COMMAND_LINE_ONLY(words) "\0"
#else
#define QC_COMMAND_LINE_ONLY(words) words "\0"
#endif

// A part's fault, told three ways, by PartFault: on a line of the check,
// after "report_03.QCB: "; in a sentence, after "report_03.QCB"; and in a
// list of parts at fault, after "report_03.QCB was ".  Each ends in a NUL
// (NthText reads them); "%s": FaultDetailWords'.
enum { kFaultLine, kFaultSentence, kFaultListedWord, kFaultForms };
static const char kFaultWords[] =
    QC_COMMAND_LINE_ONLY("sound") "\0" "sound\0"
    QC_COMMAND_LINE_ONLY("missing") " is missing\0" "missing\0"
    QC_COMMAND_LINE_ONLY("%s") " is %s; get it again\0" "cut short or too long\0"
    QC_COMMAND_LINE_ONLY("damaged: it %s") " is damaged; it %s. Get that part again.\0" "damaged\0"
    QC_COMMAND_LINE_ONLY("holds what %s should hold")
    " holds what %s should hold: the parts were renamed or swapped\0" "holding another part's data\0"
    QC_COMMAND_LINE_ONLY("cannot be read%s") " cannot be read%s\0" "unreadable\0"
    QC_COMMAND_LINE_ONLY("extra: no part of this set") "\0" "extra\0"
    QC_COMMAND_LINE_ONLY("of another split, not used") "\0" "of another split\0";
// ... and where more is known of the fault.
static const char *const kFaultMissingRun = "missing (%s parts)";
static const char *const kFaultCutShort = " is %s: it was cut short; get it again";
static const char *const kFaultProgram = "damaged: its program %s";
static const char *const kFaultHead = ", the head part itself, is damaged; get it again";
static const char *const kFaultMadeThen = "of another split, not used: that set was made %s";
static const char kFaultStretches[] =
    "%" D64 " stretch of %s damaged, at %s\0"
    "%" D64 " stretches of %s damaged, the first at %s\0";
// The list: the first part, with "is" or "was", then the others, then the rest counted.
static const char kFaultListed[] = "%s is %s\0" "%s was %s\0" ", %s %s\0" " and %s %s\0";
static const char *const kFaultsMore = " and %" D64 " more part%s at fault";

// Why a set could not be opened, by SetState.  "%s": the names and words
// DescribeSetProblem gives.
static const char kSetProblems[] =
    "\0"  // kSetReady
    "Unable to loacte original file information: %s%s\0"  // kSetHeadUnreadable
    "Unable to loacte original file information: %s is only %s bytes long, too short for the head "
    "part of a set\0"  // kSetNotAHeadPart
    "Unable to open output file, make sure there is no file with the same name in the output "
    "directory\0"  // kSetEmpty
    "%s\0"  // kSetHeadDamaged
    "%s is not the head part but a slice of the set whose head part is %s%s\0"  // kSetIsASlice
    "its parts cannot be looked for. %s\0"  // kSetFolderUnreadable
    "the head part is lost or damaged, and %s and %s are of different splits, so neither can say what "
    "the set holds; nothing was written. Remove the parts of the other split, or get the head part "
    "again\0";  // kSetSplitsDisagree
// Those a join tells after kSayRebuilding.
static const unsigned kSetRebuilding =
    1u << kSetHeadDamaged | 1u << kSetIsASlice | 1u << kSetFolderUnreadable | 1u << kSetSplitsDisagree;
static const char *const kSetNoHeadPart = "%s is not the head part of a set";
static const char kSetSliceHead[] = ", which is not here\0" ": give that one\0" ": start that one\0";

// A failed join, by JoinStatus.  "%s": what DescribeJoinFailure gives.
static const char kJoinFailures[] =
    "\0"  // kJoinDone
    "%s\0"  // kJoinPartFault
    "%s\0"  // kJoinNoOutput
    "Unable to rebuild %s: another file of that name is there, and is left alone\0"  // kJoinOutputExists
    // kJoinWouldReplacePart:
    "it would replace %s, a part of this set; give that part back its own name and try again\0"
    "it needs %s; %s\0"  // kJoinNoRoom
    "at %s it%s\0"  // kJoinTooLargeForDrive
    "%s\0"  // kJoinWriteFailed
    "the parts do not add up to its size\0"  // kJoinSizeMismatch
    // kJoinChecksumMismatch:
    "its parts together do not match the checksum recorded when they were made; a part is damaged\0"
    "\0"  // kJoinCancelled
    "%s; %s: %s; get the parts at fault, or more recovery parts, again%s\0"  // kJoinBeyondRepair
    QC_COMMAND_LINE_ONLY("%s, to be rebuilt from the recovery parts, which takes the file written to a "
                         "folder, not to standard output")  // kJoinRepairToStream
    "%s; nothing was rebuilt from them. Get the head part again\0";  // kJoinSplitsDisagree
// Those told after kSayRebuilding.
static const unsigned kJoinRebuildingFailures =
    ~(1u << kJoinDone | 1u << kJoinNoOutput | 1u << kJoinOutputExists | 1u << kJoinWriteFailed |
      1u << kJoinCancelled);
static const char kBeyondRepairRecovery[] =
    "no sound recovery part is there\0" "the %" D64 " sound recovery part rebuilds no more than one\0"
    "the %" D64 " sound recovery parts rebuild no more than as many\0";
static const char kBeyondRepairMore[] = "%" D64 " more is needed\0" "%" D64 " more are needed\0";
static const char *const kBeyondRepairSwapped =
    ". Parts that hold another's data were renamed or swapped: "
    "give them back their own names";

// A finished join, and what a stop left undone.
static const char *const kJoinDoneLine = "%s: %" D64 " bytes rebuilt, CRC-32 %08x%s";
static const char kJoinVerified[] = " (the set records none to compare)\0" " verified\0";
static const char kJoinRebuiltFaults[] = "; %s: rebuilt from the recovery parts\0"
                                         "; %s: both rebuilt from the recovery parts\0"
                                         "; %s: all rebuilt from the recovery parts\0";
static const char *const kJoinCopyStopped = "; %s not written";
static const char *const kJoinDeletionStopped = "; %" D64 " of %" D64 " parts not deleted";

// What is said after the join, by ProgramCopyStatus, then of the time and
// the deletion; the sentences one space apart.
static const char kAfterCopy[] =
    "\0"  // kProgramCopyNotAsked
    "\0"  // kProgramCopyMade
    "\0"  // kProgramCopyThere
    "%s was not written: a file or a folder of that name is there, and is left alone.\0"  // ...LeftAlone
    "%s was not written: the rebuilt file has that name.\0"  // ...IsOutput
    "%s was not written: a part of the set has that name.\0"  // ...IsPart
    "%s.\0"  // ...Failed
    "%s was not written: the program in the head part %s.\0"  // ...Damaged
    "\0"  // ...Stopped
    "%s was not written: the head part, which holds the program, is lost or damaged; a repair of the "
    "set makes it again%s.\0";  // ...NoProgram
static const char *const kAfterRepairOnLinux = " (cleaver --repair on Linux)";
static const char *const kAfterRepairWithWindows =
    " (cleaver --repair of a build that carries the Windows program)";
static const char *const kAfterFailure = "%s%s.";
static const char *const kAfterKeptForCopy =
    "%s%s was not deleted: without %s it is the only copy of the program.";
static const char *const kAfterIncomplete = "%s%" D64 " of %" D64 " parts were not deleted. %s.";

// The check's last line.
static const char *const kCheckSound = "%" D64 " of %" D64 " parts sound";
static const char *const kCheckNoMatch =
    ", but together they do not match the checksum recorded when they "
    "were made";
static const char *const kCheckCrc = ", CRC-32 %08x";
static const char *const kCheckNoRecord = " (the set records no checksum: lengths only)";
static const char *const kCheckRecovery = ", %" D64 " of %" D64 " recovery parts sound";
static const char *const kCheckDamaged = "%" D64 " damaged";
static const char *const kCheckMissing = "%s%" D64 " missing";
static const char *const kCheckRemake = "the recovery parts at fault can be made again from the parts";
static const char *const kCheckRepairable = "repairable with the recovery parts";

// What a set holds, for --info, and docs/FORMAT.md's recipe with its numbers in.
static const char *const kInfoStart = "name: %s\nsize: %" D64 " bytes (%s)\nCRC-32: ";
static const char *const kInfoModified = "\nmodified: %s";
static const char *const kInfoPermissions = "\npermissions: %03o";
static const char *const kInfoParts =
    "\nparts: %" D64 ": the head part of %" D64 " bytes, and slices of %" D64
    " bytes, the last one of no more";
static const char kInfoRecovery[] =
    "\nrecovery parts: %" D64 " of %" D64 " bytes, %s: any %" D64 " part lost or damaged is rebuilt\0"
    "\nrecovery parts: %" D64 " of %" D64 " bytes, %s: any %" D64 " parts lost or damaged are rebuilt\0";
static const char kInfoHeadPart[] = "\nhead part: a Linux program\0" "\nhead part: a Windows program\0";
static const char *const kInfoVersion = "\nformat: version %d";
static const char *const kInfoNoRecord = "\nformat: without a record";
// POSIX tools alone: a loop, where seq is not everywhere; the stem quoted,
// the number left to the shell: 'my report'_"$n".QCB.
static const char *const kInfoRecipe =
    "\nto rebuild it with standard tools, in the parts' folder:\n"
    "  { tail -c +%" D64 " %s | head -c %" D64 "\n"
    "    i=1; while [ $i -le %" D64 " ]; do cat %s_\"$(printf %%02d $i)\".QCB; "
    "i=$((i + 1)); done; } > %s\n";

// The join dialog's rows.
static const char *const kRecoveryFound = "%" D64 " of %" D64 " found";
static const char kRecoveryFaults[] = "%" D64 " parts at fault\0" "%" D64 " parts missing\0";
static const char *const kRecoveryToRebuild = ": to be rebuilt from the recovery parts";

// A repair's last line.
static const char *const kRepairNothing = "%s: every part is sound; nothing to repair";
static const char kRepairWritten[] = "%s: all written again\0" "%s: written again\0";
static const char *const kRepairFromRecovery = " from the recovery parts";
static const char kRepairAside[] =
    "; the damaged ones are kept, as %s and the like\0"
    "; the damaged one is kept, as %s\0";
static const char *const kRepairNoLinux = "%s%s not: only the Linux program named cleaver makes it";
static const char *const kRepairNoImage = "%s%s not: this build carries no Windows program to make it with";
static const char *const kRepairOnlyExe =
    "%s%s not: only cleaver.exe makes it; drop a recovery part on cleaver.exe and repair the set there";

// Words for three names with room to spare.
enum { kWordsSize = 3 * kPathSize };

static const char *PluralEnding(int64_t count)
{
    return count == 1 ? "" : "s";
}

// A part's name as shown: "report_03.QCB".
static const char *ShownPartName(const PartSet *set, int64_t index, char name[kPathSize])
{
    char plain[kPathSize];
    PartNameOf(set, index, plain);
    return ShownName(name, kPathSize, plain);
}

// "2020-05-01 12:00:00 UTC", from days since 1970 by the civil calendar,
// for any time a set may record: years before 1 and after 9999 as the
// proleptic calendar counts them ("-0001", "292277026596").
static const char *UtcTimeText(char *out, int size, int64_t seconds)
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
    FormatText(out, size, "%s%04" D64 "-%02" D64 "-%02" D64 " %02" D64 ":%02" D64 ":%02" D64 " UTC",
               year < 0 ? "-" : "", year < 0 ? -year : year, month, day, in_day / 3600, in_day / 60 % 60,
               in_day % 60);
    return out;
}

// What fills the "%s" of a fault's words: how far a length is off, the
// part whose data it holds, the system's reason.
static const char *FaultDetailWords(const PartSet *set, const PartState *part, char *out, int size)
{
    out[0] = 0;
    bool shorter = part->length < part->expected;
    if (part->fault == kPartWrongLength && (part->expected < 0 || part->length < 0))
        CopyText(out, size, "of a length no split writes");
    else if (part->fault == kPartWrongLength)
        FormatText(out, size, shorter ? "%" D64 " bytes short" : "%" D64 " bytes too long",
                   shorter ? part->expected - part->length : part->length - part->expected);
    else if (part->fault == kPartDamaged)
        CopyText(out, size, kSayNoMatch);
    else if (part->fault == kPartHoldsAnother)
        ShownPartName(set, part->holds, out);
    else if (part->fault == kPartUnreadable)
        ReasonWords(out, size, &part->error);
    return out;
}

// The part and what is wrong with it, as a sentence: "report_03.QCB is
// damaged; it does not match ... Get that part again."
static const char *PartFaultSentence(const PartSet *set, const PartState *part, char out[kWordsSize])
{
    char detail[kWordsSize];
    const char *format = NthText(kFaultWords, part->fault * kFaultForms + kFaultSentence);
    if (part->fault == kPartWrongLength && part->length < part->expected)
        format = kFaultCutShort;
    else if (part->fault == kPartDamaged && part->index == 0)
        format = kFaultHead;
    ShownPartName(set, part->index, out);
    AppendFormat(out, kWordsSize, format, FaultDetailWords(set, part, detail, sizeof detail));
    return out;
}

void FormatPartLine(const PartSet *set, const PartState *part, char *line, int size)
{
    char name[kPathSize], through[kPathSize], detail[kWordsSize], stretch[32], at[32];
    FormatText(line, size,
               part->through > part->index ? "%s to %s: " : "%s: ", ShownPartName(set, part->index, name),
               ShownPartName(set, part->through, through));
    const char *format = NthText(kFaultWords, part->fault * kFaultForms + kFaultLine);
    bool run = part->through > part->index;
    FaultDetailWords(set, part, detail, sizeof detail);
    if (part->fault == kPartMissing && run) {
        format = kFaultMissingRun;
        FormatText(detail, sizeof detail, "%" D64, part->through - part->index + 1);
    } else if (part->fault == kPartOfAnotherSplit && part->made >= 0) {
        format = kFaultMadeThen;
        UtcTimeText(detail, sizeof detail, part->made);
    } else if (part->fault == kPartDamaged && part->program)
        format = kFaultProgram;
    else if (part->fault == kPartDamaged && part->bad_stretches > 0 &&
             part->stretch < set->trailer.slice_length) {
        AppendFormat(line, size, NthText(kFaultStretches, part->bad_stretches != 1), part->bad_stretches,
                     SizeWords(stretch, sizeof stretch, part->stretch),
                     GroupedText(at, sizeof at, part->first_bad));
        return;
    }
    AppendFormat(line, size, format, detail);
}

// "report_03.QCB was damaged, report_07.QCB missing and 2 more parts at
// fault", or in the present, "report_03.QCB is damaged ...".
static const char *FaultListWords(const PartSet *set, const FaultNote *faults, int64_t count, bool past,
                                  char out[kWordsSize])
{
    out[0] = 0;
    char name[kPathSize];
    int64_t named = count < (int64_t)kFaultsNamed ? count : (int64_t)kFaultsNamed;
    for (int64_t i = 0; i < named; i++) {
        const char *format = NthText(kFaultListed, i == 0 ? past : i + 1 == named && named == count ? 3 : 2);
        AppendFormat(out, kWordsSize, format, ShownPartName(set, faults[i].index, name),
                     NthText(kFaultWords, faults[i].fault * kFaultForms + kFaultListedWord));
    }
    if (count > named)
        AppendFormat(out, kWordsSize, kFaultsMore, count - named, PluralEnding(count - named));
    return out;
}

// "Unable to rebuild report.zip: ", the file named where it is known.
static void FormatRebuilding(const PartSet *set, char *text, int size)
{
    char name[kPathSize];
    FormatText(text, size, kSayRebuilding,
               set->output[0] ? ShownName(name, sizeof name, set->output) : "the file");
}

void DescribeSetProblem(const PartSet *set, char *text, int size, bool joining)
{
    const char *given = FileNameOf(set->given);
    char a[kWordsSize], b[kPathSize];
    const char *first = a, *second = b, *third = "";
    const char *format = NthText(kSetProblems, set->state);
    bool rebuilding = joining && (kSetRebuilding >> set->state & 1);
    ShownName(a, sizeof a, given);
    switch (set->state) {
    case kSetHeadUnreadable:
        ShownName(a, sizeof a, set->error.path);
        ReasonWords(b, sizeof b, &set->error);
        break;
    case kSetNotAHeadPart:
        FormatText(b, sizeof b, "%" D64, set->info.length);
        break;
    case kSetHeadDamaged: {
        // A file named as no head part, with no record, was never one.
        int kind;
        if (!set->trailer.has_record && !(ParsePartName(given, b, &kind) && kind == 0)) {
            format = kSetNoHeadPart;
            rebuilding = false;
            break;
        }
        PartState head(0);
        head.fault = kPartDamaged;
        PartFaultSentence(set, &head, a);
        break;
    }
    case kSetIsASlice:
        ShownName(b, sizeof b, set->slice_of);
        third = NthText(kSetSliceHead, set->slice_head_here ? 1 + joining : 0);
        break;
    case kSetFolderUnreadable:
        FailureWords(a, sizeof a, &set->error);
        break;
    case kSetSplitsDisagree:
        ShownName(a, sizeof a, set->disagree[0]);
        ShownName(b, sizeof b, set->disagree[1]);
        break;
    default:
        break;
    }
    text[0] = 0;
    if (rebuilding)
        FormatRebuilding(set, text, size);
    AppendFormat(text, size, format, first, second, third);
}

// "2 damaged; no sound recovery part is there: 1 more is needed; ...": why
// the recovery parts cannot rebuild the parts at fault, into two and three.
static void BeyondRepairWords(const PartSet *set, const JoinResult *result, char two[kPathSize],
                              char three[kPathSize], const char **four)
{
    int64_t usable = set->census.recovery_usable;
    FormatText(two, kPathSize, NthText(kBeyondRepairRecovery, usable == 0 ? 0 : usable == 1 ? 1 : 2), usable);
    FormatText(three, kPathSize, NthText(kBeyondRepairMore, result->more_needed != 1), result->more_needed);
    *four = "";
    for (int i = 0; i < kFaultsNamed && i < result->fault_count; i++)
        if (result->faults[i].fault == kPartHoldsAnother)
            *four = kBeyondRepairSwapped;
}

bool DescribeJoinFailure(const PartSet *set, const JoinResult *result, char *text, int size)
{
    text[0] = 0;
    if (result->status == kJoinDone || result->status == kJoinCancelled)
        return false;
    char one[kWordsSize], two[kPathSize], three[kPathSize];
    const char *four = "";
    int64_t more_room = result->free_bytes >= 0 ? result->needed - result->free_bytes : -1;
    switch (result->status) {
    case kJoinPartFault:
        PartFaultSentence(set, &result->part, one);
        break;
    case kJoinNoOutput:
        CopyText(one, sizeof one, NthText(kSetProblems, kSetEmpty));
        if (HasFailed(&result->error))
            FailureWords(one, sizeof one, &result->error);
        break;
    case kJoinOutputExists:
        ShownName(one, sizeof one, result->output);
        break;
    case kJoinWouldReplacePart:
    case kJoinSplitsDisagree:
        FormatText(one, sizeof one, result->status == kJoinSplitsDisagree ? kSayDisagreeing : "%s",
                   ShownPartName(set, result->part.index, two));
        break;
    case kJoinWriteFailed:
        FailureWords(one, sizeof one, &result->error, more_room);
        if (result->error.code == kErrorTooLarge && !result->error.process_limit)
            AppendLargeFileAdvice(one, sizeof one, kMoveToAnotherDrive);
        break;
    case kJoinNoRoom:
    case kJoinTooLargeForDrive:
        SizeWords(one, sizeof one, result->needed);
        two[0] = 0;
        if (result->status == kJoinNoRoom)
            AppendRoom(two, sizeof two, result->folder, result->free_bytes);
        else
            AppendTooLargeForDrive(two, sizeof two, result->folder, kMoveToAnotherDrive);
        break;
    case kJoinBeyondRepair:
        BeyondRepairWords(set, result, two, three, &four);
        [[fallthrough]];
    case kJoinRepairToStream:
        FaultListWords(set, result->faults, result->fault_count, false, one);
        break;
    default:
        break;
    }
    if (kJoinRebuildingFailures >> result->status & 1)
        FormatRebuilding(set, text, size);
    AppendFormat(text, size, NthText(kJoinFailures, result->status), one, two, three, four);
    return true;
}

void FormatJoinDone(const PartSet *set, const JoinResult *result, char *line, int size)
{
    char name[kPathSize], faults[kWordsSize];
    FormatText(line, size, kJoinDoneLine,
               QuotedName(name, sizeof name, result->output[0] ? result->output : set->output), result->size,
               (unsigned)result->crc, NthText(kJoinVerified, result->verified));
    if (result->fault_count > 0)
        AppendFormat(line, size,
                     NthText(kJoinRebuiltFaults, result->fault_count < 3 ? (int)result->fault_count - 1 : 2),
                     FaultListWords(set, result->faults, result->fault_count, true, faults));
    // What a stop left undone: "; 7 of 20 parts not deleted: interrupted".
    bool copy_stopped = result->program_copy == kProgramCopyStopped;
    bool deletion_stopped = result->deletion == kDeletionStopped;
    if (copy_stopped)
        AppendFormat(line, size, kJoinCopyStopped, kProgramCopyName);
    if (deletion_stopped)
        AppendFormat(line, size, kJoinDeletionStopped, result->parts_kept, result->parts);
    if (copy_stopped || deletion_stopped)
        AppendText(line, size, ": interrupted");
}

// Whether this build carries the Windows program, for Windows head parts.
static bool HasWindowsImage()
{
    const unsigned char *bytes;
    int64_t size;
    return EmbeddedWindowsImage(&bytes, &size);
}

bool DescribeAfterJoin(const PartSet *set, const JoinResult *result, char *text, int size, bool *failed)
{
    char first[kWordsSize], name[kPathSize];
    const char *second = kSayNoMatch;
    *failed = result->program_copy == kProgramCopyFailed || result->program_copy == kProgramCopyDamaged;
    if (result->program_copy == kProgramCopyFailed)
        FailureWords(first, sizeof first, &result->copy_error);
    else
        CopyText(first, sizeof first, kProgramCopyName);
    // Only a program that has one for the set's system makes it.
    if (result->program_copy == kProgramCopyNoProgram)
        second = set->windows_program == kWindowsProgram || (set->windows_program && HasWindowsImage()) ? ""
                 : set->windows_program ? kAfterRepairWithWindows
                                        : kAfterRepairOnLinux;
    FormatText(text, size, NthText(kAfterCopy, result->program_copy), first, second);
    if (HasFailed(&result->time_error))
        AppendFormat(text, size, kAfterFailure, text[0] ? " " : "",
                     FailureWords(first, sizeof first, &result->time_error));
    if (result->deletion == kDeletionKeptForCopy)
        AppendFormat(text, size, kAfterKeptForCopy, text[0] ? " " : "", ShownPartName(set, 0, name),
                     kProgramCopyName);
    else if (result->deletion == kDeletionIncomplete)
        AppendFormat(text, size, kAfterIncomplete, text[0] ? " " : "", result->parts_kept, result->parts,
                     FailureWords(first, sizeof first, &result->delete_error));
    *failed = *failed || result->deletion == kDeletionKeptForCopy || result->deletion == kDeletionIncomplete;
    return text[0] != 0;
}

void FormatCheckSummary(const PartSet *set, const CheckResult *result, char *line, int size)
{
    FormatText(line, size, kCheckSound, result->sound, result->parts);
    bool all_sound = result->sound == result->parts;
    if (all_sound && !result->whole_matches) {
        AppendText(line, size, kCheckNoMatch);
        return;
    }
    if (all_sound)
        AppendFormat(line, size, kCheckCrc, (unsigned)result->crc);
    if (!set->trailer.has_record)
        AppendText(line, size, kCheckNoRecord);
    if (result->recovery == 0)
        return;
    AppendFormat(line, size, kCheckRecovery, result->recovery_sound, result->recovery);
    int64_t faults = result->parts - result->sound, damaged = faults - result->missing;
    if (faults == 0 && result->recovery_sound == result->recovery)
        return;
    AppendText(line, size, "; ");
    if (damaged > 0)
        AppendFormat(line, size, kCheckDamaged, damaged);
    if (faults > 0 && result->missing > 0)
        AppendFormat(line, size, kCheckMissing, damaged > 0 ? ", " : "", result->missing);
    if (faults > 0)
        AppendText(line, size, ": ");
    char name[kPathSize];
    if (result->disagreeing)
        AppendFormat(line, size, kSayDisagreeing, ShownPartName(set, result->disagreeing, name));
    else if (faults == 0)
        AppendText(line, size, kCheckRemake);
    else if (!CheckedRepairable(result))
        AppendFormat(line, size, kSayLacking, result->lacking, PluralEnding(result->lacking));
    else
        AppendText(line, size, kCheckRepairable);
}

void FormatSetInfo(const PartSet *set, char *text, int size)
{
    const PartSetTrailer &t = set->trailer;
    const SetExtension &extension = set->extension;
    char name[kPathSize], words[kWordsSize], head[kPathSize], stem[kPathSize], output[kPathSize];
    FormatText(text, size, kInfoStart, ShownName(name, sizeof name, set->output), OriginalSize(&t),
               SizeWords(words, sizeof words, OriginalSize(&t)));
    AppendFormat(text, size, t.has_record ? "%08x" : "none recorded", (unsigned)t.crc);
    if (extension.has_time)
        AppendFormat(text, size, kInfoModified, UtcTimeText(words, sizeof words, extension.modified.seconds));
    if (extension.permissions >= 0)
        AppendFormat(text, size, kInfoPermissions, (unsigned)extension.permissions & 0777);
    // Where a recovery part describes the set, the head part's length as it was made.
    int64_t slice = t.has_record ? (int64_t)t.slice_length : ExpectedPartLength(set, 1);
    AppendFormat(text, size, kInfoParts, (int64_t)t.last_part + 1,
                 set->described ? t.image_size + set->head_data + HeadEndLength(set) : set->info.length,
                 slice >= 0          ? slice
                 : set->census.count ? set->census.slices[0].length
                                     : 0);
    int64_t count = extension.recovery_count;
    if (count > 0) {
        FormatText(words, sizeof words, count > 1 ? "%s to %s" : "%s", ShownPartName(set, -1, name),
                   ShownPartName(set, -count, head));
        AppendFormat(text, size, NthText(kInfoRecovery, count > 1), count, ExpectedPartLength(set, -1), words,
                     count);
    }
    AppendText(text, size, NthText(kInfoHeadPart, set->windows_program));
    if (t.has_record)
        AppendFormat(text, size, kInfoVersion, (int)t.record_version);
    else
        AppendText(text, size, kInfoNoRecord);
    PartNameOf(set, 0, name);
    AppendFormat(text, size, kInfoRecipe, (int64_t)t.image_size + 1, QuotedName(head, sizeof head, name),
                 set->head_data, (int64_t)t.last_part,
                 set->stem[0] ? QuotedName(stem, sizeof stem, set->stem) : "",
                 QuotedName(output, sizeof output, set->output));
}

bool DescribeRecovery(const PartSet *set, char *found, int found_size, char *repair, int repair_size)
{
    int count = set->extension.recovery_count;
    FormatText(found, found_size, count == 0 ? "none" : kRecoveryFound, set->census.recovery_usable,
               (int64_t)count);
    FaultNote faults[kFaultsNamed];
    int64_t known = KnownFaults(set, faults);
    if (known == 0)
        return CopyText(repair, repair_size, "none needed"), true;
    int64_t lacking = FaultsNeedingRecovery(set) - set->census.recovery_usable;
    // One part named; more counted, so that what is needed still fits the
    // dialog's row: "3 parts missing: 1 more recovery part needed".
    bool missing = known <= kFaultsNamed;
    for (int i = 0; i < kFaultsNamed && i < known; i++)
        missing = missing && faults[i].fault == kPartMissing;
    char list[kWordsSize];
    if (known == 1)
        CopyText(repair, repair_size, FaultListWords(set, faults, known, false, list));
    else
        FormatText(repair, repair_size, NthText(kRecoveryFaults, missing), known);
    if (count == 0)  // a slice of a wrong length is named by the join; a missing one stops it
        return set->census.found == set->trailer.last_part;
    if (lacking <= 0)
        return AppendText(repair, repair_size, kRecoveryToRebuild), true;
    AppendText(repair, repair_size, ": ");
    AppendFormat(repair, repair_size, kSayLacking, lacking, PluralEnding(lacking));
    return false;
}

void FormatRepairDone(const PartSet *set, const JoinResult *result, char *line, int size)
{
    char name[kPathSize], faults[kWordsSize];
    int64_t count = result->fault_count;
    if (count == 0 && !result->no_program) {
        FormatText(line, size, kRepairNothing, QuotedName(name, sizeof name, set->head_name));
        return;
    }
    line[0] = 0;
    // Only parts rebuilt came from the recovery parts; recovery parts,
    // and a head part whose stretch was sound, are made from the set.
    if (count > 0) {
        AppendFormat(line, size, NthText(kRepairWritten, count == 1),
                     FaultListWords(set, result->faults, count, true, faults));
        if (result->rebuilt_count == count)
            AppendText(line, size, kRepairFromRecovery);
    }
    if (result->set_aside > 0)
        AppendFormat(line, size, NthText(kRepairAside, result->set_aside == 1),
                     QuotedName(name, sizeof name, result->aside));
    if (result->no_program)
        AppendFormat(line, size,
                     !set->windows_program ? kRepairNoLinux
                     : kWindowsProgram     ? kRepairOnlyExe
                                           : kRepairNoImage,
                     count > 0 ? "; " : "", ShownPartName(set, 0, name));
}
