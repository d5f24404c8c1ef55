#include "split/split_report.h"

#include "format/paths.h"
#include "format/trailer.h"
#include "platform/reasons.h"
#include "platform/text.h"

// "Unable to create part report_02.QCB"
static void AppendPart(char *text, int size, const char *what, const char *part)
{
    AppendText(text, size, what);
    AppendName(text, size, part);
}

// The least size, rounded up to what the size field takes (one decimal),
// so that the size the advice names is itself enough.
static void AppendLeast(char *text, int size, int64_t bytes)
{
    int64_t unit = bytes >= (1LL << 30) ? 1LL << 30 : bytes >= (1LL << 20) ? 1LL << 20 : 1024;
    int64_t tenths = (bytes * 10 + unit - 1) / unit;
    AppendDecimal(text, size, tenths / 10);
    if (tenths % 10 != 0) {
        char digit[3] = {'.', (char)('0' + tenths % 10), 0};
        AppendText(text, size, digit);
    }
    AppendText(text, size, unit == 1024 ? " KB" : unit == (1LL << 20) ? " MB" : " GB");
}

bool DescribeSplitFailure(const SplitResult *result, const char *input, const char *folder,
                          char *text, int size)
{
    text[0] = 0;
    int64_t more_room = result->free_bytes >= 0 ? result->needed - result->free_bytes : -1;
    switch (result->status) {
    case kSplitDone:
    case kSplitCancelled:
        return false;
    case kSplitNoInput:
        if (!input[0] || !HasFailed(&result->error)) {
            AppendText(text, size, "Unable to open input file, Please select a file to split.");
            return true;
        }
        AppendText(text, size, "Unable to open input file ");
        AppendName(text, size, input);
        AppendReason(text, size, &result->error);
        AppendText(text, size, ". Please select a file to split.");
        return true;
    case kSplitTooSmall:
        AppendText(text, size, "File is too small to split!!");
        return true;
    case kSplitTooLarge:
        AppendText(text, size, "File is too large to split in parts of this size!!");
        return true;
    case kSplitNoImage:
        AppendText(text, size, "Unable to write header!!");
        break;
    case kSplitNamesTooLong:
        AppendText(text, size, "Unable to split this file here: its name, or the path of its "
                               "folder, is too long for its parts to find each other again");
        break;
    case kSplitNotAWindowsName:
        AppendText(text, size, "Unable to make a set for Windows of ");
        AppendName(text, size, FileNameOf(input));
        AppendText(text, size, ": ");
        AppendText(text, size, result->why_not_windows);
        AppendText(text, size, "; rename the file and try again");
        return true;
    case kSplitPartInTheWay:
        AppendPart(text, size, "Unable to create part ", result->part);
        AppendText(text, size, ": a file of that name is read-only, a link, a folder or the input "
                               "itself, and is left alone");
        return true;
    case kSplitOtherSetInTheWay:
        AppendPart(text, size, "Unable to create part ", result->part);
        AppendText(text, size, ": it is the head part of ");
        if (result->other[0]) {
            AppendText(text, size, "a set of ");
            AppendName(text, size, result->other);
        } else {
            AppendText(text, size, "another set");
        }
        AppendText(text, size, ", whose parts have the names of this one's; move them, or "
                               "choose to replace them");
        return true;
    case kSplitStrayPartInTheWay:
        AppendPart(text, size, "Unable to create part ", result->part);
        AppendText(text, size, ": a file of that name is there, of no set beside it; move it, or "
                               "choose to replace it");
        return true;
    case kSplitCannotCreate:
        AppendPart(text, size, "Unable to create part ", result->part);
        break;
    case kSplitWriteFailed:
        AppendFailure(text, size, &result->error, more_room);
        if (result->error.code == kErrorTooLarge && !result->error.process_limit)
            AppendLargeFileAdvice(text, size, kChooseSmallerParts);
        return true;
    case kSplitReadFailed:
        AppendPart(text, size, "Unable to read the input file while writing ", result->part);
        break;
    case kSplitInputChanged:
        AppendText(text, size, "Unable to split ");
        AppendName(text, size, input);
        AppendText(text, size, ": the file changed while it was split; try again once nothing "
                               "writes to it");
        return true;
    case kSplitPartsTooSmall:
        AppendText(text, size, result->table_too_large
                                   ? "Parts this small cannot hold the table of all the parts the "
                                     "file needs at this size: choose parts of at least "
                                   : "Parts this small cannot hold the program: choose parts of "
                                     "at least ");
        AppendLeast(text, size, result->least);
        return true;
    case kSplitNoRoom:
        AppendText(text, size, "The parts need ");
        AppendSize(text, size, result->needed);
        AppendText(text, size, "; ");
        AppendRoom(text, size, folder, result->free_bytes);
        return true;
    case kSplitPartTooLargeForDrive:
        AppendText(text, size, "A part of ");
        AppendSize(text, size, result->needed);
        AppendTooLargeForDrive(text, size, folder, kChooseSmallerParts);
        return true;
    case kSplitTooManyForRecovery:
        AppendText(text, size, "Recovery parts can cover a set of at most 32768 parts: choose "
                               "parts of at least ");
        AppendLeast(text, size, result->least);
        return true;
    }
    AppendReason(text, size, &result->error, more_room);
    return true;
}

void FormatSplitDone(const SplitResult *result, bool for_windows, char *line, int size)
{
    line[0] = 0;
    AppendShellQuoted(line, size, result->part);
    AppendText(line, size, ": ");
    AppendDecimal(line, size, result->size);
    // What it counts: the head part's dialog shows the slices as "Parts".
    AppendText(line, size, result->recovery > 0 ? " bytes in the head part, " : " bytes in the head part and ");
    AppendDecimal(line, size, result->last_part);
    AppendText(line, size, result->last_part == 1 ? " slice" : " slices");
    if (result->recovery > 0) {
        AppendText(line, size, " and ");
        AppendDecimal(line, size, result->recovery);
        AppendText(line, size, result->recovery == 1 ? " recovery part" : " recovery parts");
    }
    AppendText(line, size, ", CRC-32 ");
    AppendHex32(line, size, result->crc);
    if (result->replaced > 0) {
        AppendText(line, size, "; ");
        AppendDecimal(line, size, result->replaced);
        AppendText(line, size, result->replaced == 1 ? " part" : " parts");
        AppendText(line, size, result->replaced_others ? " of others replaced"
                                                       : " of an earlier set of it replaced");
    }
    if (for_windows) {
        AppendText(line, size, "; ");
        AppendName(line, size, result->part);
        AppendText(line, size, " is a Windows program; on Linux, `cleaver --join ");
        AppendShellQuoted(line, size, result->part);
        AppendText(line, size, "` rebuilds the file");
    }
}
