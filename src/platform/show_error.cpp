#include "platform/dialogs.h"
#include "platform/text.h"

void ShowError(HWND owner, const char *title, const char *a, const char *b, const char *c,
               const char *d)
{
    char text[4 * kPathSize] = "";
    AppendText(text, sizeof text, a);
    AppendText(text, sizeof text, b);
    AppendText(text, sizeof text, c);
    AppendText(text, sizeof text, d);
    ShowMessage(owner, text, title, MB_ICONERROR);
}
