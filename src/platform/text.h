// Bounded string building.  Sentences come from format strings: on Windows
// through msvcrt's own _vsnprintf, a plain import (MinGW's printf would add
// tens of kilobytes to the image), on Linux through the C library's.
#ifndef QCLEAVER_TEXT_H
#define QCLEAVER_TEXT_H

#include <inttypes.h>
#include <stdint.h>

// The conversion of an int64_t: "%" D64.  msvcrt knows no "ll" everywhere.
#ifdef _WIN32
#define D64 "I64d"
#define QC_FORMAT(f, a)
#else
#define D64 PRId64
#define QC_FORMAT(f, a) __attribute__((format(printf, f, a)))
#endif

// The text of format and its arguments into out (size bytes in all), or
// appended to the text there; false, leaving out terminated, when cut short.
bool FormatText(char *out, int size, const char *format, ...) QC_FORMAT(3, 4);
bool AppendFormat(char *out, int size, const char *format, ...) QC_FORMAT(3, 4);

// Each appends to the NUL-terminated text in out (size bytes in all) and
// returns false, leaving out terminated, when the result would not fit.
bool AppendText(char *out, int size, const char *text);
bool AppendDecimal(char *out, int size, int64_t value, int min_digits = 1);
bool AppendSize(char *out, int size, int64_t bytes);     // as SizeWords says it
bool CopyText(char *out, int size, const char *text);
bool AppendName(char *out, int size, const char *name);  // as ShownName shows it
bool AppendShellQuoted(char *out, int size, const char *name);  // as QuotedName

// What a sentence shows through "%s": each fills out (size bytes) and
// returns it.
// A size as people read it, in binary units: "4.2 GB", "680 KB", "12 bytes".
const char *SizeWords(char *out, int size, int64_t bytes);
// 1245184 as "1,245,184".
const char *GroupedText(char *out, int size, int64_t value);
// A name as it may be shown: a control character (which can move a
// terminal's cursor, or break a line) as '?', as ls -q shows it.
const char *ShownName(char *out, int size, const char *name);
// A name quoted for a POSIX shell where it needs quotes, so that a command
// shown to the user can be pasted: report_00.exe, 'my report_00.exe'.
const char *QuotedName(char *out, int size, const char *name);
bool HasControlCharacters(const char *text);

// "qcleaver-" and twelve letters and digits taken from bits.
void MakeTempStem(char stem[24], uint64_t bits);

int TextLength(const char *text);
// The n-th (from 0) of the texts in list, each ended by a NUL: a table of
// words without a pointer to each.
const char *NthText(const char *list, int n);
// The one case rule of this program: only ASCII letters have a case.
char LowerAscii(char c);
bool TextEqualNoCase(const char *a, const char *b);
bool TextEqual(const char *a, const char *b);

#endif
