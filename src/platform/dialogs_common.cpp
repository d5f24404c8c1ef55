// The dialog services that both hosts build the same way on the others.
#include "platform/dialogs.h"
#include "platform/text.h"

void SetItemNumber(HWND dialog, int id, int64_t value)
{
    char text[24] = "";
    AppendDecimal(text, sizeof text, value);
    SetItemText(dialog, id, text);
}
