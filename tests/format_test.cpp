// The path rule, the mode by name, part names, the trailer's bytes and the
// judgement of damaged trailers, and the size field's number.
#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>
#include <zlib.h>

#include <string>

#include "app/mode.h"
#include "format/part_layout.h"
#include "format/part_names.h"
#include "format/paths.h"
#include "format/trailer.h"
#include "test_trailer.h"
#include "split/split_dialog.h"
#include "test_files.h"

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
    // Elsewhere only '/' separates: a backslash or a colon is part of a name.
    EXPECT_EQ(Pieces("/x/dir\\y.bin", NoLeadBytes, false), "|/x/|dir\\y|.bin");
    EXPECT_EQ(Pieces("c:a.b\\", NoLeadBytes, false), "||c:a|.b\\");

    char text[] = "C:\\DATA\\\x83\x41Report.ZIP";
    LowerCaseAscii(text, ShiftJisLead);
    EXPECT_STREQ(text, "c:\\data\\\x83\x41report.zip");
}

TEST(Paths, OnlyTheBaseNameCleaverSplits)
{
    for (const char *name : {"/opt/Tools/CLEAVER.EXE", "/usr/bin/cleaver", "CleaVer.exe"})
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
    EXPECT_TRUE(FormatPartName(name, std::string(kPathSize - 8, 'x').c_str(), 0));
    EXPECT_FALSE(FormatPartName(name, std::string(kPathSize - 7, 'x').c_str(), 1));

    ASSERT_TRUE(FormatOutputName(name, "/data/report.tar.gz"));
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

TEST(Trailer, IsLittleEndianWithItsRecordAndReadFromTheEndOfAFile)
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
    EXPECT_EQ(std::string((char *)bytes + 19, 241), std::string(241, '\0'));  // no record

    ScratchDir dir;
    WriteBytes(dir / "head", PatternBytes(1000, 1) + std::string((char *)bytes, kTrailerSize));
    PartSetTrailer read;
    int64_t length = 0;
    ASSERT_TRUE(ReadTrailerOf(dir / "head", &read, &length));
    EXPECT_EQ(length, 1272);
    EXPECT_STREQ(read.original_path, t.original_path);
    EXPECT_EQ(read.original_size, t.original_size);
    EXPECT_EQ(read.last_part, -2);
    EXPECT_FALSE(read.has_record);
    EXPECT_EQ(OriginalSize(&read), 0x01020304);
    WriteBytes(dir / "short", "too short");
    EXPECT_FALSE(ReadTrailerOf(dir / "short", &read, &length));
    EXPECT_FALSE(ReadTrailerOf(dir / "missing", &read, &length));

    // The record, in the path field's last 32 bytes.
    t = Sample();
    t.has_record = true;
    t.size = 0x123456789LL;
    t.original_size = kSizeOverflow;
    t.crc = 0xCAFEF00D;
    t.slice_length = 65536 * 1024;
    EncodeTrailer(&t, bytes);
    const unsigned char record[] = {'Q', 'C', 'S', '1', 0x89, 0x67, 0x45, 0x23, 0x01, 0, 0, 0,
                                    0x0D, 0xF0, 0xFE, 0xCA, 0, 0, 0, 0x04, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(memcmp(bytes + 228, record, 28), 0);
    uint32_t check = (uint32_t)crc32(0, bytes + 228, 28);
    EXPECT_EQ(memcmp(bytes + 256, &check, 4), 0);  // little-endian, as this machine
    PartSetTrailer back;
    DecodeTrailer(bytes, &back);
    EXPECT_TRUE(back.has_record && back.record_intact);
    EXPECT_EQ(back.size, t.size);
    EXPECT_EQ(back.crc, t.crc);
    EXPECT_EQ(back.slice_length, t.slice_length);

    bytes[240] ^= 1;  // the checksum of the data, and so of the record
    DecodeTrailer(bytes, &back);
    EXPECT_TRUE(back.has_record);
    EXPECT_FALSE(back.record_intact);
    memset(bytes, 'x', 228);  // a path that runs into the record: no record at all
    DecodeTrailer(bytes, &back);
    EXPECT_FALSE(back.has_record);
}

// A sound record for Sample(): 1.44 MB slices, the head part carrying
// 1409024 bytes.
static void AddRecord(PartSetTrailer *t)
{
    t->has_record = t->record_intact = true;
    t->size = t->original_size;
    t->slice_length = 1433600;
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
    typedef PartSetTrailer T;
    const Damage damages[] = {
        {"no NUL", [](T *d) { memset(d->original_path, 'x', kTrailerPathSize); }, head, 0, 1, 0},
        {"empty name", [](T *d) { d->original_path[0] = 0; }, head, 1, 1, 1},
        {"negative image", [](T *d) { d->image_size = -1; }, head, 1, 1, 1},
        {"image too long", [](T *d) { d->image_size = 2000000; }, head, 1, 1, 1},
        {"negative size", [](T *d) { d->original_size = -5; }, head, 1, 0, 0},
        {"no slices", [](T *d) { d->last_part = 0; }, head, 1, 1, 0},
        {"negative count", [](T *d) { d->last_part = -7; }, head, 1, 1, 0},
        {"huge count", [](T *d) { d->last_part = 0x7FFFFFFF; }, head, 1, 1, 0},
        // Cut short in transfer: the trailer read is really input data.
        {"cut short", [](T *) {}, 20000, 1, 1, 1},
        {"more data than size", [](T *d) { d->original_size = 1000; }, head, 1, 1, 1},
        {"record fails its check", [](T *d) { AddRecord(d), d->record_intact = false; }, head, 1, 1, 1},
        {"32-bit size disagrees", [](T *d) { AddRecord(d), d->original_size++; }, head, 1, 1, 1},
        {"slice not whole blocks", [](T *d) { AddRecord(d), d->slice_length = 1433000; }, head, 1, 1, 1},
        {"one slice too many", [](T *d) { AddRecord(d), d->last_part = 4; }, head, 1, 1, 1},
    };
    PartSetTrailer t = Sample();
    EXPECT_EQ(JudgeTrailer(&t, head).state, kTrailerSound);
    AddRecord(&t);
    EXPECT_EQ(JudgeTrailer(&t, head).state, kTrailerSound);
    t.size = 5000000000LL;  // beyond 2 GiB, the 32-bit field holds its largest value
    t.original_size = kSizeOverflow;
    t.last_part = 3487;
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
    for (int64_t size : {(int64_t)10241, (int64_t)1000000, (int64_t)kSizeOverflow}) {
        PartLayout layout = PlanParts(1 << 20, 10240, size);
        EXPECT_GE(MaxLastPart(size), layout.last_part) << size;
        EXPECT_GE(MaxLastPart(size), (size + 36864) / 10240) << size;  // older builds' count
    }
    EXPECT_LT(MaxLastPart(kSizeOverflow), 300000);
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
