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
