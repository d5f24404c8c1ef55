#include "report.h"

#include "text.h"

void ShowError(HWND owner, const char *title, const char *first, const char *name,
               const char *rest)
{
    char text[3 * kPathSize] = "";
    AppendText(text, sizeof text, first);
    AppendText(text, sizeof text, name);
    AppendText(text, sizeof text, rest);
    ShowMessage(owner, text, title, MB_ICONERROR);
}
