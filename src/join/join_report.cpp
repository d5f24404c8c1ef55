#include "join/join_report.h"

#include "platform/dialogs.h"
#include "platform/text.h"

// "report.zip: 5242880 bytes rebuilt, CRC-32 1a2b3c4d verified"
void FormatJoinDone(const JoinResult *result, char *line, int size)
{
    line[0] = 0;
    AppendText(line, size, result->output);
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
    if (result->parts_kept > 0) {
        AppendText(line, size, "; ");
        AppendDecimal(line, size, result->parts_kept);
        AppendText(line, size, " of ");
        AppendDecimal(line, size, result->parts);
        AppendText(line, size, " parts not deleted");
    }
    if (result->program_copy == kProgramCopyStopped || result->parts_kept > 0)
        AppendText(line, size, ": interrupted");
}

// "Unable to rebuild report.zip: " and what follows: the file concerned is
// always named, and the part where one is.
static void Rebuilding(char *text, int size, const JoinResult *result, const char *part = 0)
{
    AppendText(text, size, "Unable to rebuild ");
    AppendText(text, size, result->output[0] ? result->output : "the file");
    AppendText(text, size, ": ");
    AppendText(text, size, part ? part : "");
}

bool DescribeJoinFailure(const JoinResult *result, const char *folder, char *text, int size)
{
    text[0] = 0;
    const char *output = result->output;
    int64_t more_room = result->free_bytes >= 0 ? result->needed - result->free_bytes : -1;
    switch (result->status) {
    case kJoinDone:
    case kJoinCancelled:
        break;
    case kJoinNoTrailer:
        AppendText(text, size, "Unable to loacte original file information");
        AppendReason(text, size, result->error);
        break;
    case kJoinHeadDamaged:
        Rebuilding(text, size, result, result->part);
        AppendText(text, size, ", the head part itself, is damaged; get it again");
        break;
    case kJoinNoOutput:
        if (result->error.code == 0) {
            // A read-only file or a folder of that name, or no name at all.
            AppendText(text, size, "Unable to open output file, make sure there is no file with "
                                   "the same name in the output directory");
        } else {
            AppendText(text, size, "Unable to write ");
            AppendText(text, size, output);
            AppendReason(text, size, result->error);
        }
        break;
    case kJoinWouldReplacePart:
        Rebuilding(text, size, result);
        AppendText(text, size, "it would replace ");
        AppendText(text, size, result->part);
        AppendText(text, size, ", a part of this set; give that part back its own name and try "
                               "again");
        break;
    case kJoinPartMissing:
    case kJoinPartUnreadable:
        Rebuilding(text, size, result, result->part);
        AppendText(text, size, result->status == kJoinPartMissing ? " is missing" : " cannot be read");
        AppendReason(text, size, result->error);
        break;
    case kJoinPartDamaged:
        Rebuilding(text, size, result, result->part);
        if (result->expected >= 0 && result->length >= 0 && result->length != result->expected) {
            bool shorter = result->length < result->expected;
            AppendText(text, size, " is ");
            AppendDecimal(text, size, shorter ? result->expected - result->length
                                              : result->length - result->expected);
            AppendText(text, size, shorter ? " bytes short: it was cut short; get it again"
                                           : " bytes too long; get it again");
        } else {
            AppendText(text, size, " is damaged or incomplete");
        }
        break;
    case kJoinPartCorrupt:
        Rebuilding(text, size, result, result->part);
        AppendText(text, size, " is damaged; it does not match the checksum recorded when it was "
                               "made. Get that part again.");
        break;
    case kJoinPartSwapped:
        Rebuilding(text, size, result, result->part);
        AppendText(text, size, " holds what ");
        AppendText(text, size, result->other);
        AppendText(text, size, " should hold: the parts were renamed or swapped");
        break;
    case kJoinWriteFailed:
        AppendText(text, size, "Unable to write ");
        AppendText(text, size, output);
        if (result->error.code == kErrorNoSpace)
            AppendText(text, size, ", the disk may be full");
        AppendReason(text, size, result->error, more_room);
        break;
    case kJoinNoRoom:
        Rebuilding(text, size, result);
        AppendText(text, size, "it needs ");
        AppendSize(text, size, result->needed);
        AppendText(text, size, "; ");
        AppendRoom(text, size, folder, result->free_bytes);
        break;
    case kJoinTooLargeForDrive:
        Rebuilding(text, size, result);
        AppendText(text, size, "at ");
        AppendSize(text, size, result->needed);
        AppendText(text, size, " it is larger than the file system of ");
        AppendText(text, size, folder[0] ? folder : "this drive");
        AppendText(text, size, " holds; move the parts to a drive formatted NTFS or exFAT");
        break;
    case kJoinSizeMismatch:
        Rebuilding(text, size, result);
        AppendText(text, size, "the parts do not add up to its size");
        break;
    case kJoinChecksumMismatch:
        Rebuilding(text, size, result);
        AppendText(text, size, "its parts do not match the checksum recorded when they were "
                               "made; a part is damaged");
        break;
    }
    return text[0] != 0;
}

bool DescribeProgramCopyFailure(const JoinResult *result, char *text, int size)
{
    text[0] = 0;

    if (result->program_copy == kProgramCopyWriteFailed ||
        result->program_copy == kProgramCopyReadFailed) {
        AppendText(text, size, "Unable to write ");
        AppendText(text, size, kProgramCopyName);
        if (result->error.code == kErrorNoSpace)
            AppendText(text, size, ", the disk may be full");
        else if (result->program_copy == kProgramCopyReadFailed)
            AppendText(text, size, ", the program cannot be read");
        AppendReason(text, size, result->error);
    } else if (result->program_copy == kProgramCopyDamaged) {
        AppendText(text, size, kProgramCopyName);
        AppendText(text, size, " was not written: the program in the head part does not match "
                               "the checksum recorded when the set was made, and the parts are "
                               "kept");
    }
    return text[0] != 0;
}

