#include "platform/text.h"

#include <stdarg.h>
#include <stdio.h>

int TextLength(const char *text)
{
    int n = 0;
    while (text[n])
        n++;
    return n;
}

const char *NthText(const char *list, int n)
{
    for (; n > 0; n--)
        list += TextLength(list) + 1;
    return list;
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
    return AppendFormat(out, size, "%0*" D64, min_digits, value);
}

const char *SizeWords(char *out, int size, int64_t bytes)
{
    if (bytes < 1024) {
        FormatText(out, size, bytes == 1 ? "%" D64 " byte" : "%" D64 " bytes", bytes);
        return out;
    }
    int unit = 0;  // KB, MB, ...: by shifts, where a division of 64 bits costs a call
    while (unit < 5 && (uint64_t)bytes >> (10 * unit + 20) != 0)
        unit++;
    // Tenths, rounded; a whole number where there are ten or more.
    int tenths = (int)((((uint64_t)bytes >> (10 * unit)) * 10 + 512) >> 10);
    char digit[3] = {'.', (char)('0' + tenths % 10), 0};
    FormatText(out, size, "%d%s %cB", tenths / 10, tenths < 100 && tenths % 10 != 0 ? digit : "",
               "KMGTPE"[unit]);
    return out;
}

bool AppendSize(char *out, int size, int64_t bytes)
{
    char words[32];
    return AppendText(out, size, SizeWords(words, sizeof words, bytes));
}

const char *GroupedText(char *out, int size, int64_t value)
{
    char digits[24];
    FormatText(digits, sizeof digits, "%" D64, value);
    out[0] = 0;
    for (int i = 0, length = TextLength(digits); i < length; i++) {
        char piece[3] = {digits[i], (length - i - 1) % 3 == 0 && i + 1 < length ? ',' : (char)0, 0};
        AppendText(out, size, piece);
    }
    return out;
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

// Appends text, where mask each control character as '?'.
static bool AppendChars(char *out, int size, const char *text, bool mask)
{
    int n = TextLength(out);
    for (; *text; text++) {
        if (n + 1 >= size) {
            out[n] = 0;
            return false;
        }
        out[n++] = mask && IsControl(*text) ? '?' : *text;
    }
    out[n] = 0;
    return true;
}

bool AppendText(char *out, int size, const char *text)
{
    return AppendChars(out, size, text, false);
}

bool AppendName(char *out, int size, const char *name)
{
    return AppendChars(out, size, name, true);
}

const char *ShownName(char *out, int size, const char *name)
{
    out[0] = 0;
    AppendName(out, size, name);
    return out;
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
        fits = AppendName(out, size, *name == '\'' ? "'\\''" : piece);
    }
    return fits && AppendText(out, size, "'");
}

const char *QuotedName(char *out, int size, const char *name)
{
    out[0] = 0;
    AppendShellQuoted(out, size, name);
    return out;
}

static bool AppendFormatV(char *out, int size, const char *format, va_list args)
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
