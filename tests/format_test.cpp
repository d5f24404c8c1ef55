// The path rule, part names, the trailer's bytes and the judgement of
// damaged trailers.
#include <gtest/gtest.h>

#include <string.h>
#include <zlib.h>

#include <string>

#include "format/legacy.h"
#include "format/part_names.h"
#include "format/paths.h"
#include "format/trailer.h"
#include "platform/reasons.h"
#include "platform/text.h"
#include "split/slice_size.h"

static bool NoLeadBytes(unsigned char) { return false; }
// Shift-JIS-like: 0x81-0x9F and 0xE0-0xFC lead a two-byte character.
static bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || c >= 0xE0; }

static std::string Pieces(const std::string &path, LeadBytePredicate lead = NoLeadBytes,
                          bool dos = true)
{
    PathPieces p;
    SplitPath(path.c_str(), &p, lead, dos);
    return std::string(p.drive) + "|" + p.dir + "|" + p.base + "|" + p.ext;
}

TEST(Paths, SplitIntoPiecesAndMakeOnlyNamesThatFit)
{
    EXPECT_EQ(Pieces("C:\\Tools\\report.tar.gz"), "C:|\\Tools\\|report.tar|.gz");
    EXPECT_EQ(Pieces("c:/data.d/readme"), "c:|/data.d/|readme|");  // no dot before a separator
    // 0x95 0x5C is one character ending in a backslash, 0x81 0x2E one ending in a dot.
    std::string path = "d:\\\x95\x5C\\file\x81.txt";
    EXPECT_EQ(Pieces(path, ShiftJisLead), "d:|\\\x95\x5C\\|file\x81.txt|");
    EXPECT_EQ(Pieces(path), "d:|\\\x95\x5C\\|file\x81|.txt");
    // Elsewhere only '/' separates: a backslash or a colon is part of a name.
    EXPECT_EQ(Pieces("c:a.b\\", NoLeadBytes, false), "||c:a|.b\\");
    // A leading dot marks a hidden name, no extension; earlier builds read it as one.
    EXPECT_EQ(Pieces("/h/.hidden", NoLeadBytes, false), "|/h/|.hidden|");
    EXPECT_EQ(Pieces("/h/.tar.gz", NoLeadBytes, false), "|/h/|.tar|.gz");
    char stem[kPathSize];
    LegacyStemOf("/h/.hidden", stem, false);
    EXPECT_STREQ(stem, "");

    // The end-to-end tests name the parts; here, what does not fit.
    char name[kPathSize];
    EXPECT_TRUE(FormatPartName(name, std::string(kPathSize - 8, 'x').c_str(), 0));
    EXPECT_FALSE(FormatPartName(name, std::string(kPathSize - 7, 'x').c_str(), 1));

    ASSERT_TRUE(FormatOutputName(name, "/home/ann/README"));
    EXPECT_STREQ(name, "README");

    // A part's name read back: its stem and kind, only where a split writes exactly that name.
    const struct {
        const char *name, *stem;
        int kind;
    } parts[] = {{"report_00.exe", "report", 0}, {"my_set_01.QCB", "my_set", 1}, {"a_b_R12.QCB", "a_b", -1},
                 {"report_01.exe", 0, 0}, {"report_00.QCB", 0, 0}, {"report_1.QCB", 0, 0},
                 {"report_001.QCB", 0, 0}, {"report_R01.exe", 0, 0}, {"report.exe", 0, 0}, {"report_01.QCB_", 0, 0}};
    for (const auto &p : parts) {
        int kind = 9;
        bool parsed = ParsePartName(p.name, stem, &kind);
        EXPECT_EQ(parsed, p.stem != 0) << p.name;
        if (parsed && p.stem)
            EXPECT_TRUE(TextEqual(stem, p.stem) && kind == p.kind) << p.name << ": " << stem << ", " << kind;
    }
}

static const PartSetTrailer kSample = {"c:\\data\\report.zip", 24576, 5000000, 3};

TEST(Trailer, IsLittleEndianWithItsRecordInThePathFieldsTail)
{
    PartSetTrailer t = kSample, back;
    t.original_size32 = 0x01020304;
    t.last_part = -2;
    unsigned char bytes[kTrailerSize];
    EncodeTrailer(&t, bytes);
    const std::string fields("\0\x60\0\0\4\3\2\1\xFE\xFF\xFF\xFF", 12);  // 24576, 0x01020304, -2
    EXPECT_EQ(std::string((char *)bytes, kTrailerSize), "c:\\data\\report.zip" + std::string(242, '\0') + fields);
    DecodeTrailer(bytes, &back);
    EXPECT_STREQ(back.original_path, t.original_path);
    EXPECT_TRUE(back.image_size == 24576 && back.last_part == -2 && !back.has_record);
    EXPECT_EQ(OriginalSize(&back), 0x01020304);

    // The record, in the path field's last 32 bytes.
    t = kSample;
    t.original_size32 = kSizeOverflow;
    t.has_record = true;
    t.record_version = 1;
    t.size = 0x123456789LL;
    t.crc = 0xCAFEF00D;
    t.slice_length = 65536 * 1024;
    EncodeTrailer(&t, bytes);
    ASSERT_EQ(std::string((char *)bytes + 228, 28),  // tag, size, checksum, slice length, zeros
              std::string("QCS1\x89\x67\x45\x23\1\0\0\0\x0D\xF0\xFE\xCA\0\0\0\4\0\0\0\0\0\0\0\0", 28));
    uint32_t check = (uint32_t)crc32(0, bytes + 228, 28);
    EXPECT_EQ(memcmp(bytes + 256, &check, 4), 0);  // little-endian, as this machine
    DecodeTrailer(bytes, &back);
    EXPECT_TRUE(back.has_record && back.record_intact);
    EXPECT_TRUE(back.size == t.size && back.crc == t.crc && back.slice_length == t.slice_length);

    bytes[240] ^= 1;  // the checksum of the data, and so of the record
    DecodeTrailer(bytes, &back);
    EXPECT_TRUE(back.has_record && !back.record_intact);
    memset(bytes, 'x', 228);  // a path that runs into the record: no record at all
    DecodeTrailer(bytes, &back);
    EXPECT_FALSE(back.has_record);
}

// A sound record for kSample: 1.44 MB slices, the head part carrying 1409024 bytes.
static void AddRecord(PartSetTrailer *t)
{
    t->has_record = t->record_intact = true;
    t->record_version = 1;
    t->size = t->original_size32;
    t->slice_length = 1433600;
}

// A trailer as a split wrote it, or damaged, and which of its fields the join
// dialog may still show.
struct Judged {
    const char *what;
    void (*make)(PartSetTrailer *);
    int64_t head_length;
    bool name, size, count;
    TrailerState state = kTrailerDamaged;
};

TEST(Trailer, JudgementSaysWhatIsDamagedAndWhatCanBeShown)
{
    const int64_t head = 24576 + 1409024 + 272;
    typedef PartSetTrailer T;
    const Judged trailers[] = {
        {"sound", [](T *) {}, head, 1, 1, 1, kTrailerSound},
        // As many slices as a set of this size can have (8 KB ones, without a record), and one more.
        {"the most any build counts", [](T *d) { d->last_part = 614; }, head, 1, 1, 1, kTrailerSound},
        {"more than any build counts", [](T *d) { d->last_part = 615; }, head, 1, 1, 0},
        {"with a record", AddRecord, head, 1, 1, 1, kTrailerSound},
        // Beyond 2 GiB, the 32-bit field holds its largest value.
        {"beyond 2 GiB", [](T *d) { AddRecord(d), d->size = 5000000000LL, d->last_part = 3487,
                                    d->original_size32 = kSizeOverflow; }, head, 1, 1, 1, kTrailerSound},
        {"all zero: the program", [](T *d) { *d = {}; }, 40000, 1, 1, 1, kTrailerEmpty},
        {"no NUL", [](T *d) { memset(d->original_path, 'x', kTrailerPathSize); }, head, 0, 1, 0},
        {"empty name", [](T *d) { d->original_path[0] = 0; }, head, 1, 1, 1},
        {"negative image", [](T *d) { d->image_size = -1; }, head, 1, 1, 1},
        {"image too long", [](T *d) { d->image_size = 2000000; }, head, 1, 1, 1},
        {"negative size", [](T *d) { d->original_size32 = -5; }, head, 1, 0, 0},
        {"no slices", [](T *d) { d->last_part = 0; }, head, 1, 1, 0},
        {"negative count", [](T *d) { d->last_part = -7; }, head, 1, 1, 0},
        {"huge count", [](T *d) { d->last_part = 0x7FFFFFFF; }, head, 1, 1, 0},
        // Cut short in transfer: the trailer read is really input data.
        {"cut short", [](T *) {}, 20000, 1, 1, 1},
        {"more data than size", [](T *d) { d->original_size32 = 1000; }, head, 1, 1, 1},
        {"record fails its check", [](T *d) { AddRecord(d), d->record_intact = false; }, head, 1, 1, 1},
        {"32-bit size disagrees", [](T *d) { AddRecord(d), d->original_size32++; }, head, 1, 1, 1},
        {"slice not whole blocks", [](T *d) { AddRecord(d), d->slice_length = 1433000; }, head, 1, 1, 1},
        {"one slice too many", [](T *d) { AddRecord(d), d->last_part = 4; }, head, 1, 1, 1},
    };
    for (const Judged &j : trailers) {
        PartSetTrailer t = kSample;
        j.make(&t);
        TrailerVerdict v = JudgeTrailer(&t, j.head_length);
        EXPECT_EQ(std::make_tuple(v.state, v.name_readable, v.size_readable, v.count_readable),
                  std::make_tuple(j.state, j.name, j.size, j.count)) << j.what;
    }
}

// What people type into the size field and after -s; the reason a text is refused.
TEST(SliceSize, TakesWhatPeopleTypeAndSaysWhyNot)
{
    const struct {
        const char *text;
        SizeText taken;
        int64_t bytes;
    } cases[] = {{"25 MB", kSizeTaken, 26214400}, {"1.5 mb", kSizeTaken, 1572864},
                 {"640", kSizeTaken, 655360}, {" 10 KB ", kSizeTaken, 10240},
                 {"4 GB", kSizeTaken, 4294967295LL}, {"4096M", kSizeTaken, 4294967295LL},
                 {"2GiB", kSizeTaken, 2147483648LL}, {"1.44 MB", kSizeTaken, 1400 * 1024},
                 {"1.44M", kSizeTaken, 1400 * 1024}, {"", kSizeNoNumber, 0}, {"MB", kSizeNoNumber, 0},
                 {"1e3", kSizeNoNumber, 0}, {"-5", kSizeNoNumber, 0}, {"1.55 MB", kSizeTwoDecimals, 0},
                 {"5 TB", kSizeNoNumber, 0}, {"4.7 GB", kSizeOutOfRange, 0}, {"9 KB", kSizeOutOfRange, 0},
                 {"3435973837G", kSizeOutOfRange, 0}, {"99999999999999999999999", kSizeOutOfRange, 0}};
    for (const auto &c : cases) {
        int64_t bytes = 0;
        EXPECT_EQ(ParseSliceSize(c.text, 1024, kWindowsUnits, &bytes), c.taken) << '"' << c.text << '"';
        if (c.taken == kSizeTaken)
            EXPECT_EQ(bytes, c.bytes) << '"' << c.text << '"';
    }
}

// Sizes as people read them, and long numbers grouped.
TEST(Names, SizesAndNumbersAsShown)
{
    const std::pair<int64_t, const char *> sizes[] = {
        {0, "0 bytes"},   {1, "1 byte"},         {1023, "1023 bytes"}, {1024, "1 KB"},
        {1536, "1.5 KB"}, {10137, "9.9 KB"},     {10189, "10 KB"},     {12595, "12 KB"}, {4509715660LL, "4.2 GB"},
        {INT64_MAX, "8 EB"}};
    char text[32];
    for (const auto &s : sizes)
        EXPECT_STREQ(SizeWords(text, sizeof text, s.first), s.second);
    const std::pair<int64_t, const char *> grouped[] = {
        {0, "0"}, {999, "999"}, {1000, "1,000"}, {1245184, "1,245,184"}, {123456789012LL, "123,456,789,012"}};
    for (const auto &g : grouped)
        EXPECT_STREQ(GroupedText(text, sizeof text, g.first), g.second);
}

// A failure in words, with the advice users need most.
TEST(Names, FailuresWithTheirAdvice)
{
    struct {
        int code;
        const char *call;
        bool process_limit;
        const char *says, *advice;
    } cases[] = {
        {kErrorNoSpace, "write", false, "Unable to write o?t.bin, the disk may be full: ", "; it needs 3 MB more room"},
        {kErrorNoSpace, "create", false, "Unable to create o?t.bin: ", "; it needs 3 MB more room"},
        {kErrorTooLarge, "write", true, "Unable to write ", "; a limit set on this program (ulimit -f) takes no larger file"},
        {kErrorTooLarge, "write", false, "Unable to write ", "; the file system of this drive takes no file this large"},
        {kErrorInUse, "open", false, "Unable to open ", "; another program has the file open: close it and try again"},
        {kErrorNotFound, "open", false, "Unable to open o?t.bin: ", ""}};
    for (const auto &c : cases) {
        FileError error;
        ClearError(&error);
        SetError(&error, c.code, c.call, "o\tt.bin");
        error.process_limit = c.process_limit;
        char text[512];
        std::string says = FailureWords(text, sizeof text, &error, 3 << 20);
        EXPECT_EQ(says.find(c.says), 0u) << says;
        size_t advice = strlen(c.advice);
        EXPECT_TRUE(says.size() > advice && says.compare(says.size() - advice, advice, c.advice) == 0) << says;
        EXPECT_EQ(says.find(';') == std::string::npos, advice == 0) << says;
    }
}

// Names a Windows set cannot rebuild, and how names are shown and quoted.
TEST(Names, ThatWindowsCannotRebuildAndAsTheyAreShown)
{
    for (const char *bad : {"a\\b.txt", "a:b.txt", "what?.txt", "pipe|.txt", "con.txt", "AUX", "lpt1.dat",
                            "dots.", "tab\t.txt"})
        EXPECT_TRUE(WhyNotAWindowsName(bad)) << bad;
    for (const char *good : {"report.zip", "console.txt", "Größe 日本.bin", "com10.txt", ".hidden"})
        EXPECT_FALSE(WhyNotAWindowsName(good)) << good;
    char text[64] = "";
    AppendName(text, sizeof text, "a\033[2Jb\n");
    EXPECT_STREQ(text, "a?[2Jb?");
    const std::pair<const char *, const char *> quoted[] = {
        {"report_00.exe", "report_00.exe"}, {"my report_00.exe", "'my report_00.exe'"},
        {"it's_00.exe", "'it'\\''s_00.exe'"}, {"Größe_00.exe", "'Größe_00.exe'"}};
    for (const auto &q : quoted) {
        text[0] = 0;
        AppendShellQuoted(text, sizeof text, q.first);
        EXPECT_STREQ(text, q.second);
    }
}
