#include "split/slice_size.h"

#include "format/part_layout.h"
#include "platform/text.h"

const SizePreset kSizePresets[3] = {
    {"360 KB", 320 * 1024}, {"720 KB", 680 * 1024}, {"1.44 MB", 1400 * 1024}};

static bool IsSizeBlank(char c)
{
    return c == ' ' || c == '\t';
}

// "1.44 MB", "1.44M", in any case and spacing: the preset by its label.
static bool IsFloppyLabel(const char *text)
{
    if (text[0] != '1' || text[1] != '.' || text[2] != '4' || text[3] != '4')
        return false;
    text += 4;
    while (IsSizeBlank(*text))
        text++;
    if (LowerAscii(*text++) != 'm')
        return false;
    if (LowerAscii(*text) == 'b')
        text++;
    while (IsSizeBlank(*text))
        text++;
    return *text == 0;
}

SizeText ParseSliceSize(const char *text, int64_t bare_unit, SizeUnits units, int64_t *bytes)
{
    while (IsSizeBlank(*text))
        text++;
    if (IsFloppyLabel(text)) {
        *bytes = kSizePresets[kDefaultPreset].bytes;
        return kSizeTaken;
    }
    // Tenths of the unit, counted only while they could still be a size:
    // longer numbers are out of range, whatever their unit.
    int64_t tenths = 0;
    int digits = 0;
    bool huge = false;
    for (; *text >= '0' && *text <= '9'; text++, digits++) {
        huge = huge || tenths > kMaxSliceBytes;
        if (!huge)
            tenths = tenths * 10 + (*text - '0');
    }
    tenths *= 10;
    if (*text == '.' && text[1] >= '0' && text[1] <= '9') {
        tenths += text[1] - '0';
        text += 2;
        if (*text >= '0' && *text <= '9')
            return kSizeTwoDecimals;
    }
    if (digits == 0)
        return kSizeNoNumber;
    while (IsSizeBlank(*text))
        text++;
    static const struct {
        char letter;
        int64_t unit, decimal;
    } kUnits[] = {{'k', 1LL << 10, 1000}, {'m', 1LL << 20, 1000000}, {'g', 1LL << 30, 1000000000}};
    int64_t unit = bare_unit;
    for (const auto &u : kUnits) {
        if (LowerAscii(*text) == u.letter) {
            unit = u.unit;
            text++;
            if (LowerAscii(*text) == 'i' && LowerAscii(text[1]) == 'b') {
                text += 2;
            } else if (LowerAscii(*text) == 'b') {
                text++;
                unit = units == kGnuUnits ? u.decimal : u.unit;
            }
            break;
        }
    }
    while (IsSizeBlank(*text))
        text++;
    if (*text)
        return kSizeNoNumber;
    // Compared before multiplying, which could overflow for long numbers.
    if (huge || tenths > (kMaxSliceBytes + 1) * 10 / unit)
        return kSizeOutOfRange;
    *bytes = tenths * unit / 10;
    if (*bytes == kMaxSliceBytes + 1)
        *bytes = kMaxSliceBytes;
    return *bytes >= kMinSliceBytes && *bytes <= kMaxSliceBytes ? kSizeTaken : kSizeOutOfRange;
}

void DescribeSizeText(SizeText problem, const char *bare_unit_name, char *text, int size)
{
    char least[16] = "", most[16] = "";
    AppendSize(least, sizeof least, kMinSliceBytes);
    AppendSize(most, sizeof most, kMaxSliceBytes);
    text[0] = 0;
    if (problem == kSizeTwoDecimals)
        FormatText(text, size, "Size takes one decimal at most, as in 1.5 GB");
    else if (problem == kSizeOutOfRange)
        FormatText(text, size, "Size must be between %s and %s", least, most);
    else if (problem == kSizeNoNumber)
        FormatText(text, size, "Size must be a number of %s, or one with its unit, as in 25 MB or 1.5 GB",
                   bare_unit_name);
}
