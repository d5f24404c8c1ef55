#include "split/split_report.h"

#include "format/part_layout.h"
#include "format/trailer.h"
#include "platform/dialogs.h"
#include "platform/text.h"

bool DescribeSplitFailure(const SplitResult *result, const char *input, const char *folder,
                          char *text, int size)
{
    text[0] = 0;
    const char *part = result->part;
    int64_t more_room = result->free_bytes >= 0 ? result->needed - result->free_bytes : -1;
    switch (result->status) {
    case kSplitDone:
    case kSplitCancelled:
        return false;
    case kSplitNoInput:
        if (!input[0] || result->error.code == 0) {
            AppendText(text, size, "Unable to open input file, Please select a file to split.");
            return true;
        }
        AppendText(text, size, "Unable to open input file ");
        AppendText(text, size, input);
        AppendReason(text, size, result->error);
        AppendText(text, size, ". Please select a file to split.");
        return true;
    case kSplitTooSmall:
        AppendText(text, size, "File is too small to split!!");
        break;
    case kSplitTooLarge:
        AppendText(text, size, "File is too large to split in parts of this size!!");
        break;
    case kSplitNameTooLongForSize:
        AppendText(text, size, "File is too large for a name this long: shorten its name to at most ");
        AppendDecimal(text, size, kMaxRecordPath);
        AppendText(text, size, " bytes and try again");
        break;
    case kSplitNoImage:
        AppendText(text, size, "Unable to write header!!");
        break;
    case kSplitNameTooLongToStore:
        AppendText(text, size, "Unable to split this file: its name is too long to be kept with "
                               "its parts; shorten it to at most ");
        AppendDecimal(text, size, kTrailerPathSize - 1);
        AppendText(text, size, " bytes and try again");
        break;
    case kSplitNamesNotFound:
        AppendText(text, size, "Unable to split this file here: its name, or the path of its "
                               "folder, is too long for its parts to find each other again");
        break;
    case kSplitPartInTheWay:
        AppendText(text, size, "Unable to create part ");
        AppendText(text, size, part);
        AppendText(text, size, ": a file of that name is read-only, a link, a folder or the input "
                               "itself, and is left alone");
        break;
    case kSplitCannotCreate:
        AppendText(text, size, "Unable to create part ");
        AppendText(text, size, part);
        break;
    case kSplitWriteFailed:
        AppendText(text, size, "Unable to write ");
        AppendText(text, size, part);
        if (result->error.code == kErrorNoSpace)
            AppendText(text, size, ", the disk may be full");
        break;
    case kSplitReadFailed:
        AppendText(text, size, "Unable to read the input file while writing ");
        AppendText(text, size, part);
        break;
    case kSplitPartsTooSmall:
        AppendText(text, size, "Parts this small cannot hold the program: choose parts of at least ");
        AppendSize(text, size, result->needed);
        break;
    case kSplitNoRoom:
        AppendText(text, size, "The parts need ");
        AppendSize(text, size, result->needed);
        AppendText(text, size, "; ");
        AppendRoom(text, size, folder, result->free_bytes);
        break;
    case kSplitPartTooLargeForDrive:
        AppendText(text, size, "A part of ");
        AppendSize(text, size, result->needed);
        AppendText(text, size, " is larger than the file system of ");
        AppendText(text, size, folder[0] ? folder : "this drive");
        AppendText(text, size, " holds; choose smaller parts, or a drive formatted NTFS or exFAT");
        break;
    }
    AppendReason(text, size, result->error, more_room);
    return true;
}

void FormatSplitDone(const SplitResult *result, char *line, int size)
{
    line[0] = 0;
    AppendText(line, size, result->part);
    AppendText(line, size, ": ");
    AppendDecimal(line, size, result->size);
    AppendText(line, size, " bytes in ");
    AppendDecimal(line, size, (int64_t)result->last_part + 1);
    AppendText(line, size, " parts, CRC-32 ");
    AppendHex32(line, size, result->crc);
}


void AppendWindowsHeadNote(const char *head, char *line, int size)
{
    AppendText(line, size, "; ");
    AppendText(line, size, head);
    AppendText(line, size, " is a Windows program; on Linux, `cleaver --join ");
    AppendText(line, size, head);
    AppendText(line, size, "` rebuilds the file");
}
