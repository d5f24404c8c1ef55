// The dialog services that both hosts build the same way on the others.
#include "platform/dialogs.h"
#include "platform/text.h"

void ShowError(HWND owner, const char *title, const char *a, const char *b, const char *c,
               const char *d, const char *e)
{
    char text[5 * kPathSize] = "";
    AppendText(text, sizeof text, a);
    AppendText(text, sizeof text, b);
    AppendText(text, sizeof text, c);
    AppendText(text, sizeof text, d);
    AppendText(text, sizeof text, e);
    ShowMessage(owner, text, title, MB_ICONERROR);
}

void SetItemNumber(HWND dialog, int id, int64_t value)
{
    char text[24] = "";
    AppendDecimal(text, sizeof text, value);
    SetItemText(dialog, id, text);
}

void AppendReason(char *text, int size, FileError error, int64_t more_room)
{
    if (error.code == 0)
        return;
    char reason[512];
    DescribeFileError(error.code, reason, sizeof reason);
    AppendText(text, size, ": ");
    AppendText(text, size, reason);
    if (error.code == kErrorNoSpace && more_room > 0) {
        AppendText(text, size, "; it needs ");
        AppendSize(text, size, more_room);
        AppendText(text, size, " more room");
    } else if (error.code == kErrorTooLarge) {
        AppendText(text, size, "; the file is too large for the file system of this drive: choose "
                               "smaller parts, or a drive formatted NTFS or exFAT");
    } else if (error.code == kErrorInUse) {
        AppendText(text, size, "; another program has the file open: close it and try again");
    }
}
