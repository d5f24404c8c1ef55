// The path rule, the mode by name, part names, the trailer's bytes and the
// judgement of damaged trailers, and the size field's number.
#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>

#include <string>

#include "app/mode.h"
#include "format/part_layout.h"
#include "format/part_names.h"
#include "format/paths.h"
#include "format/trailer.h"
#include "split/split_dialog.h"
#include "test_files.h"

static bool NoLeadBytes(unsigned char) { return false; }
// Shift-JIS-like: 0x81-0x9F and 0xE0-0xFC lead a two-byte character.
static bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || c >= 0xE0; }

static std::string Pieces(const std::string &path, LeadBytePredicate lead = NoLeadBytes)
{
    PathPieces p;
    SplitPath(path.c_str(), &p, lead);
    return std::string(p.drive) + "|" + p.dir + "|" + p.base + "|" + p.ext;
}

TEST(Paths, SplitIntoDriveDirectoryBaseAndExtension)
{
    EXPECT_EQ(Pieces("C:\\Tools\\CLEAVER.EXE"), "C:|\\Tools\\|CLEAVER|.EXE");
    EXPECT_EQ(Pieces("/home/ann/report.tar.gz"), "|/home/ann/|report.tar|.gz");
    EXPECT_EQ(Pieces("cleaver"), "||cleaver|");
    EXPECT_EQ(Pieces("c:/data.d/readme"), "c:|/data.d/|readme|");  // no dot before a separator
    // 0x95 0x5C is one character whose second byte is a backslash, and
    // 0x81 0x2E one whose second byte is a dot.
    std::string path = "d:\\\x95\x5C\\file\x81.txt";
    EXPECT_EQ(Pieces(path, ShiftJisLead), "d:|\\\x95\x5C\\|file\x81.txt|");
    EXPECT_EQ(Pieces(path), "d:|\\\x95\x5C\\|file\x81|.txt");
    // Each piece is cut to 255 bytes.
    PathPieces p;
    SplitPath(("/x/" + std::string(300, 'a') + "." + std::string(300, 'e')).c_str(), &p);
    EXPECT_EQ(strlen(p.base), 255u);
    EXPECT_EQ(strlen(p.ext), 255u);

    char text[] = "C:\\DATA\\\x83\x41Report.ZIP";
    LowerCaseAscii(text, ShiftJisLead);
    EXPECT_STREQ(text, "c:\\data\\\x83\x41report.zip");
}

TEST(Paths, OnlyTheBaseNameCleaverSplits)
{
    for (const char *name : {"C:\\Tools\\CLEAVER.EXE", "/usr/bin/cleaver", "CleaVer.exe"})
        EXPECT_EQ(SelectMode(name), kSplitMode) << name;
    for (const char *name : {"cleaver (2).exe", "cleaver.bak.exe", "cleaver_00.exe",
                             "report_00.exe", "/cleaver/other"})
        EXPECT_EQ(SelectMode(name), kJoinMode) << name;
}

TEST(PartNames, NumberTheHeadAndTheSlices)
{
    char name[kPathSize];
    for (int i : {0, 1, 99, 100}) {
        ASSERT_TRUE(FormatPartName(name, "report.tar", i));
        EXPECT_EQ(name, PartName("report.tar", i));
    }
    EXPECT_STREQ(name, "report.tar_100.QCB");
    EXPECT_TRUE(FormatPartName(name, std::string(252, 'x').c_str(), 0));  // 259 bytes
    EXPECT_FALSE(FormatPartName(name, std::string(253, 'x').c_str(), 1));

    ASSERT_TRUE(FormatOutputName(name, "c:\\data\\report.tar.gz"));
    EXPECT_STREQ(name, "report.tar.gz");
    ASSERT_TRUE(FormatOutputName(name, "/home/ann/README"));
    EXPECT_STREQ(name, "README");
}

static PartSetTrailer Sample()
{
    PartSetTrailer t;
    memset(&t, 0, sizeof t);
    strcpy(t.original_path, "c:\\data\\report.zip");
    t.image_size = 24576;
    t.original_size = 5000000;
    t.last_part = 3;
    return t;
}

TEST(Trailer, IsLittleEndianAndReadFromTheEndOfAFile)
{
    PartSetTrailer t = Sample();
    t.original_size = 0x01020304;
    t.last_part = -2;
    unsigned char bytes[kTrailerSize];
    EncodeTrailer(&t, bytes);
    const unsigned char fields[] = {0x00, 0x60, 0x00, 0x00, 0x04, 0x03,
                                    0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(memcmp(bytes, "c:\\data\\report.zip\0", 19), 0);
    EXPECT_EQ(memcmp(bytes + 260, fields, 12), 0);

    ScratchDir dir;
    WriteBytes(dir / "head", PatternBytes(1000, 1) + std::string((char *)bytes, kTrailerSize));
    PartSetTrailer read;
    int64_t length = 0;
    ASSERT_TRUE(ReadTrailerOf((dir / "head").c_str(), &read, &length));
    EXPECT_EQ(length, 1272);
    EXPECT_EQ(memcmp(&read, &t, sizeof t), 0);
    WriteBytes(dir / "short", "too short");
    EXPECT_FALSE(ReadTrailerOf((dir / "short").c_str(), &read, &length));
    EXPECT_FALSE(ReadTrailerOf((dir / "missing").c_str(), &read, &length));
}

// A damaged trailer, and which of its fields the join dialog may still show.
struct Damage {
    const char *what;
    void (*spoil)(PartSetTrailer *);
    int64_t head_length;
    bool name, size, count;
};

TEST(Trailer, JudgementSaysWhatIsDamagedAndWhatCanBeShown)
{
    const int64_t head = 24576 + 1409024 + 272;
    const Damage damages[] = {
        {"no NUL", [](PartSetTrailer *d) { memset(d->original_path, 'x', kPathSize); }, head,
         false, true, false},
        {"empty name", [](PartSetTrailer *d) { d->original_path[0] = 0; }, head, true, true, true},
        {"negative image", [](PartSetTrailer *d) { d->image_size = -1; }, head, true, true, true},
        {"image too long", [](PartSetTrailer *d) { d->image_size = 2000000; }, head, true, true, true},
        {"negative size", [](PartSetTrailer *d) { d->original_size = -5; }, head, true, false, false},
        {"no slices", [](PartSetTrailer *d) { d->last_part = 0; }, head, true, true, false},
        {"negative count", [](PartSetTrailer *d) { d->last_part = -7; }, head, true, true, false},
        {"huge count", [](PartSetTrailer *d) { d->last_part = 0x7FFFFFFF; }, head, true, true, false},
        // Cut short in transfer: the trailer read is really input data.
        {"cut short", [](PartSetTrailer *) {}, 20000, true, true, true},
        {"more data than size", [](PartSetTrailer *d) { d->original_size = 1000; }, head,
         true, true, true},
    };
    PartSetTrailer t = Sample();
    EXPECT_EQ(JudgeTrailer(&t, head).state, kTrailerSound);
    PartSetTrailer zero;
    memset(&zero, 0, sizeof zero);
    TrailerVerdict empty = JudgeTrailer(&zero, 40000);
    EXPECT_EQ(empty.state, kTrailerEmpty);
    EXPECT_TRUE(empty.name_readable && empty.size_readable && empty.count_readable);
    for (const Damage &d : damages) {
        PartSetTrailer spoilt = Sample();
        d.spoil(&spoilt);
        TrailerVerdict v = JudgeTrailer(&spoilt, d.head_length);
        EXPECT_EQ(v.state, kTrailerDamaged) << d.what;
        EXPECT_EQ(v.name_readable, d.name) << d.what;
        EXPECT_EQ(v.size_readable, d.size) << d.what;
        EXPECT_EQ(v.count_readable, d.count) << d.what;
    }
}

TEST(Trailer, TheSliceCountBoundAdmitsEveryRealSet)
{
    // The most slices: 10 KB slices, none carried by the head part.
    for (int64_t size : {(int64_t)10241, (int64_t)1000000, kMaxInputSize}) {
        PartLayout layout = PlanParts(1 << 20, 10240, size);
        EXPECT_GE(MaxLastPart(size), layout.last_part) << size;
        EXPECT_GE(MaxLastPart(size), (size + 36864) / 10240) << size;  // older builds' count
    }
    EXPECT_LT(MaxLastPart(kMaxInputSize), 300000);
}

TEST(SizeField, TakesTheNumberAtTheStart)
{
    const struct {
        const char *text;
        int value;
    } cases[] = {{"", 0},         {"abc", 0},        {"9", 9},
                 {"65536", 65536}, {"  64kb", 64},    {"\t+700 ", 700},
                 {"-20", -20},     {"12345678901", INT_MAX}, {"-99999999999", INT_MIN}};
    for (const auto &c : cases)
        EXPECT_EQ(ParseSizeField(c.text), c.value) << '"' << c.text << '"';
}
