#include "format/part_names.h"

#include "format/paths.h"
#include "platform/text.h"

bool FormatPartName(char name[kPathSize], const char *stem, int64_t index)
{
    name[0] = 0;
    return AppendText(name, kPathSize, stem) && AppendText(name, kPathSize, index < 0 ? "_R" : "_") &&
           AppendDecimal(name, kPathSize, index < 0 ? -index : index, 2) &&
           AppendText(name, kPathSize, index == 0 ? ".exe" : ".QCB");
}

// Names compare by the system's case rule.
bool NamedAlike(const char *a, const char *b)
{
    return kNamesIgnoreCase ? TextEqualNoCase(a, b) : TextEqual(a, b);
}

// The number after "<stem>_" and skip letters, where the whole name is
// that part's name exactly; the part's index is sign times that.
static int64_t NumberOf(const char *name, const char *stem, int skip, int sign, int64_t limit)
{
    int stem_length = TextLength(stem);
    if (TextLength(name) <= stem_length + 1 + skip)
        return 0;
    int64_t number = 0;
    for (const char *p = name + stem_length + 1 + skip; *p >= '0' && *p <= '9' && number <= limit; p++)
        number = number * 10 + (*p - '0');
    char expected[kPathSize];
    if (number < 1 || number > limit || !FormatPartName(expected, stem, sign * number))
        return 0;
    return NamedAlike(name, expected) ? number : 0;
}

int64_t SliceIndexOf(const char *name, const char *stem, int64_t limit)
{
    return NumberOf(name, stem, 0, 1, limit);
}

int64_t RecoveryNumberOf(const char *name, const char *stem, int64_t limit)
{
    return NumberOf(name, stem, 1, -1, limit);
}

bool ParsePartName(const char *name, char stem[kPathSize], int *kind)
{
    // The stem is what comes before the last '_': no part's suffix holds one.
    const char *last = 0;
    for (const char *p = name; *p; p++)
        last = *p == '_' ? p : last;
    if (TextLength(name) < 8 || !last || last - name >= kPathSize)
        return false;
    CopyText(stem, (int)(last - name) + 1, name);
    // Numbers of up to 13 digits, and an upper-case R even where case is ignored.
    const int64_t limit = 9999999999999LL;
    char head[kPathSize];
    *kind = SliceIndexOf(name, stem, limit) ? 1 : last[1] == 'R' && RecoveryNumberOf(name, stem, limit) ? -1 : 0;
    return *kind != 0 || (FormatPartName(head, stem, 0) && NamedAlike(name, head));
}

void StemOf(const char *path, char stem[kPathSize], bool dos, bool leading_dot_is_extension)
{
    PathPieces pieces;
    SplitPath(path, &pieces, IsLeadByte, dos, leading_dot_is_extension);
    CopyText(stem, kPathSize, pieces.base);
}

bool FormatOutputName(char name[kPathSize], const char *original_path, bool dos)
{
    PathPieces pieces;
    SplitPath(original_path, &pieces, IsLeadByte, dos);
    return CopyText(name, kPathSize, pieces.base) && AppendText(name, kPathSize, pieces.ext);
}

const char *WhyNotAFileName(const char *name)
{
    if (!name[0])
        return "the name is empty";
    if (TextEqual(name, ".") || TextEqual(name, ".."))
        return "it names a folder, not a file";
    char base[kPathSize];
    if (!FormatOutputName(base, name) || !TextEqual(base, name))
        return kDosPaths ? "a file's name holds no \\, / or drive: the parts go where -o says"
                         : "a file's name holds no /: the parts go where -o says";
    return 0;
}

const char *WhyNotAWindowsName(const char *name)
{
    if (HasControlCharacters(name))
        return "Windows names hold no control characters";
    for (const char *p = name; *p; p++)
        for (const char *q = "\\/:*?\"<>|"; *q; q++)
            if (*p == *q)
                return "Windows names hold none of \\ / : * ? \" < > |";
    int n = TextLength(name);
    if (n > 0 && (name[n - 1] == '.' || name[n - 1] == ' '))
        return "Windows drops the dots and spaces that end a name";
    // A device's name is the device whatever extension follows it.
    static const char *const kDevices[] = {"con", "prn", "aux", "nul", "com1", "com2", "com3",
                                           "com4", "com5", "com6", "com7", "com8", "com9", "lpt1",
                                           "lpt2", "lpt3", "lpt4", "lpt5", "lpt6", "lpt7", "lpt8",
                                           "lpt9"};
    char first[8] = "";
    int i = 0;
    for (; name[i] && name[i] != '.' && i < 7; i++)
        first[i] = LowerAscii(name[i]);
    first[i] = 0;
    if (name[i] == 0 || name[i] == '.')
        for (const char *device : kDevices)
            if (TextEqual(first, device))
                return "it is the name of a device on Windows";
    return 0;
}
