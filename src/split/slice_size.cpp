#include "split/slice_size.h"

#include "format/part_layout.h"
#include "platform/text.h"

static bool IsSpace(char c)
{
    return c == ' ' || c == '\t';
}

bool ParseSliceSize(const char *text, int64_t bare_unit, int64_t *bytes)
{
    while (IsSpace(*text))
        text++;
    int64_t tenths = 0;
    int digits = 0;
    for (; *text >= '0' && *text <= '9'; text++, digits++) {
        if (digits == 12)
            return false;  // past anything a part can be
        tenths = tenths * 10 + (*text - '0');
    }
    tenths *= 10;
    if (*text == '.' && text[1] >= '0' && text[1] <= '9') {
        tenths += text[1] - '0';
        text += 2;
    }
    if (digits == 0)
        return false;
    while (IsSpace(*text))
        text++;
    static const struct {
        char letter;
        int64_t unit;
    } kUnits[] = {{'k', 1LL << 10}, {'m', 1LL << 20}, {'g', 1LL << 30}};
    int64_t unit = bare_unit;
    for (const auto &u : kUnits) {
        if (LowerAscii(*text) == u.letter) {
            unit = u.unit;
            text++;
            if (LowerAscii(*text) == 'i' && LowerAscii(text[1]) == 'b')
                text += 2;
            else if (LowerAscii(*text) == 'b')
                text++;
            break;
        }
    }
    while (IsSpace(*text))
        text++;
    if (*text)
        return false;
    *bytes = tenths * unit / 10;  // at most 10^13 tenths of a GB: no overflow
    if (*bytes == kMaxSliceBytes + 1)
        *bytes = kMaxSliceBytes;
    return true;
}

bool SliceSizeAllowed(int64_t bytes)
{
    return bytes >= kMinSliceBytes && bytes <= kMaxSliceBytes;
}
