#include "platform/text.h"

#include <stdio.h>

int TextLength(const char *text)
{
    int n = 0;
    while (text[n])
        n++;
    return n;
}

bool AppendText(char *out, int size, const char *text)
{
    int n = TextLength(out);
    for (; *text; text++) {
        if (n + 1 >= size) {
            out[n] = 0;
            return false;
        }
        out[n++] = *text;
    }
    out[n] = 0;
    return true;
}

bool CopyText(char *out, int size, const char *text)
{
    if (size < 1)
        return false;
    out[0] = 0;
    return AppendText(out, size, text);
}

bool AppendDecimal(char *out, int size, int64_t value, int min_digits)
{
    char digits[24];
    int n = 0;
    uint64_t v = value < 0 ? 0 - (uint64_t)value : (uint64_t)value;
    do {
        digits[n++] = (char)('0' + v % 10);
        v /= 10;
    } while (v != 0 || n < min_digits);
    char text[26];
    int t = 0;
    if (value < 0)
        text[t++] = '-';
    while (n > 0)
        text[t++] = digits[--n];
    text[t] = 0;
    return AppendText(out, size, text);
}

bool AppendHex32(char *out, int size, uint32_t value)
{
    char text[9];
    for (int i = 7; i >= 0; i--, value >>= 4)
        text[i] = "0123456789abcdef"[value & 15];
    text[8] = 0;
    return AppendText(out, size, text);
}

bool AppendSize(char *out, int size, int64_t bytes)
{
    static const char *const kUnits[] = {" KB", " MB", " GB", " TB", " PB", " EB"};
    if (bytes < 1024) {
        return AppendDecimal(out, size, bytes) && AppendText(out, size, bytes == 1 ? " byte" : " bytes");
    }
    int unit = 0;
    uint64_t scale = 1024;
    while (unit < 5 && (uint64_t)bytes / scale >= 1024) {
        scale *= 1024;
        unit++;
    }
    // Tenths, rounded; a whole number where there are ten or more.
    uint64_t tenths = ((uint64_t)bytes / (scale / 1024) * 10 + 512) / 1024;
    bool ok = AppendDecimal(out, size, (int64_t)(tenths / 10));
    if (tenths < 100 && tenths % 10 != 0) {
        char digit[3] = {'.', (char)('0' + tenths % 10), 0};
        ok = ok && AppendText(out, size, digit);
    }
    return ok && AppendText(out, size, kUnits[unit]);
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

bool TextEqualNoCase(const char *a, const char *b)
{
    for (; *a && *b; a++, b++)
        if (LowerAscii(*a) != LowerAscii(*b))
            return false;
    return *a == *b;
}

bool TextEqual(const char *a, const char *b)
{
    for (; *a && *a == *b; a++, b++) {
    }
    return *a == *b;
}

void MakeTempStem(char stem[24], uint64_t bits)
{
    CopyText(stem, 24, "qcleaver-");
    for (int i = 9; i < 21; i++, bits >>= 5)
        stem[i] = "abcdefghijklmnopqrstuvwxyz234567"[bits & 31];
    stem[21] = 0;
}

static bool IsControl(char c)
{
    return (unsigned char)c < 0x20 || c == 0x7F;
}

bool HasControlCharacters(const char *text)
{
    for (; *text; text++)
        if (IsControl(*text))
            return true;
    return false;
}

// Appends text, each control character as '?'.
static bool AppendShown(char *out, int size, const char *text)
{
    int n = TextLength(out);
    for (; *text; text++) {
        if (n + 1 >= size) {
            out[n] = 0;
            return false;
        }
        out[n++] = IsControl(*text) ? '?' : *text;
    }
    out[n] = 0;
    return true;
}

bool AppendName(char *out, int size, const char *name)
{
    return AppendShown(out, size, name);
}

// Letters, digits and the punctuation no POSIX shell gives a meaning to.
static bool IsShellPlain(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    for (const char *p = "_@%+=:,./-"; *p; p++)
        if (*p == c)
            return true;
    return false;
}

bool AppendShellQuoted(char *out, int size, const char *name)
{
    bool plain = name[0] != 0;
    for (const char *p = name; *p && plain; p++)
        plain = IsShellPlain(*p);
    if (plain)
        return AppendText(out, size, name);
    // Inside single quotes only a quote itself needs care: end, escape, reopen.
    bool fits = AppendText(out, size, "'");
    char piece[2] = {0, 0};
    for (; *name && fits; name++) {
        piece[0] = *name;
        fits = AppendShown(out, size, *name == '\'' ? "'\\''" : piece);
    }
    return fits && AppendText(out, size, "'");
}

bool AppendFormatV(char *out, int size, const char *format, va_list args)
{
    int used = TextLength(out);
    if (used + 1 >= size)
        return false;
#ifdef _WIN32
    // msvcrt's neither terminates a cut text nor says how long it would be.
    int n = _vsnprintf(out + used, (size_t)(size - used), format, args);
    out[size - 1] = 0;
#else
    int n = vsnprintf(out + used, (size_t)(size - used), format, args);
#endif
    return n >= 0 && n < size - used;
}

bool AppendFormat(char *out, int size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    bool fits = AppendFormatV(out, size, format, args);
    va_end(args);
    return fits;
}

bool FormatText(char *out, int size, const char *format, ...)
{
    if (size < 1)
        return false;
    out[0] = 0;
    va_list args;
    va_start(args, format);
    bool fits = AppendFormatV(out, size, format, args);
    va_end(args);
    return fits;
}
