// Bounded string building without the printf family, which would add tens
// of kilobytes to the Windows image.
#ifndef QCLEAVER_TEXT_H
#define QCLEAVER_TEXT_H

#include <stdint.h>

// Each appends to the NUL-terminated text in out (size bytes in all) and
// returns false, leaving out terminated, when the result would not fit.
bool AppendText(char *out, int size, const char *text);
bool AppendDecimal(char *out, int size, int64_t value, int min_digits = 1);
bool AppendHex32(char *out, int size, uint32_t value);  // eight lower-case digits
// A size as people read it, in binary units: "4.2 GB", "680 KB", "12 bytes".
bool AppendSize(char *out, int size, int64_t bytes);
bool CopyText(char *out, int size, const char *text);
// A name as it may be shown: a control character (which can move a
// terminal's cursor, or break a line) as '?', as ls -q shows it.
bool AppendName(char *out, int size, const char *name);
// A name quoted for a POSIX shell where it needs quotes, so that a command
// shown to the user can be pasted: report_00.exe, 'my report_00.exe'.
bool AppendShellQuoted(char *out, int size, const char *name);
bool HasControlCharacters(const char *text);

// "qcleaver-" and twelve letters and digits taken from bits.
void MakeTempStem(char stem[24], uint64_t bits);

int TextLength(const char *text);
// The one case rule of this program: only ASCII letters have a case.
char LowerAscii(char c);
bool TextEqualNoCase(const char *a, const char *b);
bool TextEqual(const char *a, const char *b);

#endif
