#include "split/split_report.h"

#include "format/paths.h"
#include "format/trailer.h"
#include "platform/reasons.h"
#include "platform/text.h"

// Every sentence of a split that failed or was refused, keyed on its fault
// and, for a file operation that failed, its step.  Each %s takes, in
// order, the value of a letter of arguments (SplitArgument); where two
// sentences share a key, the first whose capital letters all have a value
// says it (a capital letter that only asks comes last).
struct SplitSentence {
    SplitFault fault;
    const char *arguments;
    const char *format;
    SplitStep step = kSplitOpeningInput;  // for kSplitFileFailed
};

static const SplitSentence kSplitSentences[] = {
    {kSplitFileFailed, "IR", "Unable to open input file %s%s. Please select a file to split.", kSplitOpeningInput},
    {kSplitFileFailed, "", "Unable to open input file, Please select a file to split.", kSplitOpeningInput},
    {kSplitFileFailed, "r", "Unable to write header!!%s", kSplitReadingProgram},
    {kSplitFileFailed, "r",
     "Unable to split this file here: its name, or the path of its folder, is too long for its parts to find "
     "each other again%s",
     kSplitNamingParts},
    {kSplitFileFailed, "pr", "Unable to create part %s%s", kSplitCreatingPart},
    {kSplitFileFailed, "fa", "%s%s", kSplitWritingPart},
    {kSplitFileFailed, "pr", "Unable to read the input file while writing %s%s", kSplitReadingInput},
    {kSplitTooSmall, "", "File is too small to split!!"},
    {kSplitTooLarge, "", "File is too large to split in parts of this size!!"},
    {kSplitNotAWindowsName, "nw",
     "Unable to make a set for Windows of %s: %s; rename the file and try again"},
    {kSplitPartInTheWay, "p",
     "Unable to create part %s: a file of that name is read-only, a link, a folder or the input itself, and is "
     "left alone"},
    {kSplitOtherSetInTheWay, "pO",
     "Unable to create part %s: it is the head part of a set of %s, whose parts have the names of this one's; "
     "move them, or choose to replace them"},
    {kSplitOtherSetInTheWay, "p",
     "Unable to create part %s: it is the head part of another set, whose parts have the names of this one's; "
     "move them, or choose to replace them"},
    {kSplitStrayPartInTheWay, "p",
     "Unable to create part %s: a file of that name is there, of no set beside it; move it, or choose to "
     "replace it"},
    {kSplitInputChanged, "i",
     "Unable to split %s: the file changed while it was split; try again once nothing writes to it"},
    {kSplitPartsTooSmall, "lT",
     "Parts this small cannot hold the table of all the parts the file needs at this size: choose parts of at "
     "least %s"},
    {kSplitPartsTooSmall, "l",
     "Parts this small cannot hold the program: choose parts of at least %s"},
    {kSplitNoRoom, "sm", "The parts need %s; %s"},
    {kSplitPartTooLargeForDrive, "sd", "A part of %s%s"},
    {kSplitTooManyForRecovery, "l",
     "Recovery parts can cover a set of at most 32768 parts: choose parts of at least %s"},
};

// The least size, rounded up to what the size field takes (one decimal),
// so that the size the advice names is itself enough.
static void FormatLeastSize(char *text, int size, int64_t bytes)
{
    int64_t unit = bytes >= (1LL << 30) ? 1LL << 30 : bytes >= (1LL << 20) ? 1LL << 20 : 1024;
    int64_t tenths = (bytes * 10 + unit - 1) / unit;
    char decimal[3] = {'.', (char)('0' + tenths % 10), 0};
    FormatText(text, size, "%" D64 "%s %s", tenths / 10, tenths % 10 ? decimal : "",
               unit == 1024 ? "KB" : unit == (1LL << 20) ? "MB" : "GB");
}

// The value of an argument letter, into out; false where it has none (a
// capital letter: the sentence needs one, a lower-case one never lacks).
static bool SplitArgument(char letter, const SplitResult *result, const char *input, const char *folder,
                          char *out, int size)
{
    int64_t more_room = result->free_bytes >= 0 ? result->needed - result->free_bytes : -1;
    out[0] = 0;
    switch (letter) {
    case 'I': return input[0] && AppendName(out, size, input);
    case 'i': return AppendName(out, size, input), true;
    case 'n': return AppendName(out, size, FileNameOf(input)), true;
    case 'p': return AppendName(out, size, result->part), true;
    case 'O': return result->other[0] && AppendName(out, size, result->other);
    case 'w': return CopyText(out, size, result->why_not_windows), true;
    case 'T': return result->table_too_large;
    case 'l': return FormatLeastSize(out, size, result->least), true;
    case 's': return AppendSize(out, size, result->needed), true;
    case 'm': return AppendRoom(out, size, folder, result->free_bytes), true;
    case 'd': return AppendTooLargeForDrive(out, size, folder, kChooseSmallerParts), true;
    case 'f': return AppendFailure(out, size, &result->error, more_room), true;
    case 'a':
        if (result->error.code == kErrorTooLarge && !result->error.process_limit)
            AppendLargeFileAdvice(out, size, kChooseSmallerParts);
        return true;
    case 'R': return HasFailed(&result->error) && (AppendReason(out, size, &result->error), true);
    default: return AppendReason(out, size, &result->error, more_room), true;  // 'r'
    }
}

bool DescribeSplitFailure(const SplitResult *result, const char *input, const char *folder,
                          char *text, int size)
{
    text[0] = 0;
    if (result->fault == kSplitDone || result->fault == kSplitCancelled)
        return false;
    enum { kMostArguments = 2, kArgumentSize = 2 * kPathSize };
    char values[kMostArguments][kArgumentSize];
    for (const SplitSentence &sentence : kSplitSentences) {
        if (sentence.fault != result->fault ||
            (result->fault == kSplitFileFailed && sentence.step != result->step))
            continue;
        int n = 0;
        while (sentence.arguments[n] &&
               SplitArgument(sentence.arguments[n], result, input, folder, values[n], kArgumentSize))
            n++;
        if (sentence.arguments[n])
            continue;
        FormatText(text, size, sentence.format, values[0], values[1]);
        return true;
    }
    return false;
}

void FormatSplitDone(const SplitResult *result, bool for_windows, char *line, int size)
{
    char quoted[2 * kPathSize] = "", shown[kPathSize] = "";
    AppendShellQuoted(quoted, sizeof quoted, result->part);
    AppendName(shown, sizeof shown, result->part);
    // What it counts: the head part's dialog shows the slices as "Parts".
    FormatText(line, size, "%s: %" D64 " bytes in the head part%s%d %s", quoted, result->size,
               result->recovery > 0 ? ", " : " and ", (int)result->last_part,
               result->last_part == 1 ? "slice" : "slices");
    if (result->recovery > 0)
        AppendFormat(line, size, " and %d %s", result->recovery,
                     result->recovery == 1 ? "recovery part" : "recovery parts");
    AppendFormat(line, size, ", CRC-32 %08x", (unsigned)result->crc);
    if (result->replaced > 0)
        AppendFormat(line, size, "; %" D64 " %s of %s replaced", result->replaced,
                     result->replaced == 1 ? "part" : "parts",
                     result->replaced_others ? "others" : "an earlier set of it");
    if (for_windows)
        AppendFormat(line, size, "; %s is a Windows program; on Linux, `cleaver --join %s` rebuilds the file", shown,
                     quoted);
}
