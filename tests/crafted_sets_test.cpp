// Head parts made by hand, as an attacker would: a record that seals what
// no split writes must be judged damaged before any arithmetic trusts it,
// and whatever a set records is told without fault.
#include <gtest/gtest.h>

#include <stdint.h>

#include "math/crc32.h"
#include "format/extension.h"
#include "format/head_part.h"
#include "join/join_report.h"
#include "join/part_set.h"
#include "platform/text.h"
#include "test_files.h"

namespace {

struct Crafted {
    const char *name;
    int64_t head_data, slice_length, last_part;
    int recovery;
    bool sound;
    int64_t seconds = 1600000000;
};
void PrintTo(const Crafted &c, std::ostream *os) { *os << c.name; }

// A head part of "x.bin": a small program, its stretch, the extension, a
// table of zeros and a sealed record, all consistent but for what c asks.
void WriteHead(const std::string &path, const Crafted &c)
{
    const int image = 100;
    SetExtension extension;
    ClearExtension(&extension);
    extension.has_time = true;
    extension.modified = FileTime{c.seconds, 0};
    extension.recovery_count = c.recovery;
    unsigned char encoded[kMaxExtensionSize];
    int extension_length = EncodeExtension(&extension, encoded);
    std::string table((size_t)(c.last_part + 1) * kTableEntrySize, '\0');
    PartSetTrailer t = {"x.bin", image, 0, (int32_t)c.last_part};
    t.has_record = true;
    t.record_version = 3;
    t.size = c.head_data + (c.last_part - 1) * c.slice_length + 1;
    t.original_size32 = t.size < kSizeOverflow ? (int32_t)t.size : kSizeOverflow;
    t.slice_length = (uint32_t)c.slice_length;
    t.table_crc = Crc32Update(0, (const unsigned char *)table.data(), table.size());
    unsigned char trailer[kTrailerSize];
    EncodeTrailer(&t, trailer);
    WriteBytes(path, std::string(image, 'p') + std::string((size_t)c.head_data, 'd') +
                         std::string((char *)encoded, (size_t)extension_length) + table +
                         std::string((char *)trailer, kTrailerSize));
}

class CraftedHead : public ::testing::TestWithParam<Crafted> {};

// The recovery code works on blocks of 16-bit words as long as a slice, the
// head part's stretch among them, for at most 32768 parts: a head part that
// claims recovery parts for anything else is damaged, never repaired from.
TEST_P(CraftedHead, WithRecoveryPartsHoldsWhatTheCodeWorksOn)
{
    const Crafted &c = GetParam();
    ScratchDir dir;
    WriteHead(dir / "x_00.exe", c);
    HeadPart head;
    ASSERT_TRUE(FileOpenRead(0, (dir / "x_00.exe").c_str(), &head.file, 0, &head.info));
    EXPECT_EQ(ReadHeadPart(&head, 0), c.sound ? kHeadSound : kHeadDamaged);
    FileClose(&head.file, 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, CraftedHead, ::testing::Values(
    Crafted{"Even", 1000, 8192, 3, 2, true},
    Crafted{"OddSlices", 1000, 8191, 3, 2, false},
    Crafted{"OddSlicesWithoutRecoveryParts", 1000, 8191, 3, 0, true},
    Crafted{"StretchLongerThanASlice", 8194, 8192, 3, 1, false},
    Crafted{"StretchAsLongAsASlice", 8192, 8192, 3, 1, true},
    Crafted{"AsManyPartsAsTheCodeNumbers", 1000, 8192, 32767, 1, true},
    Crafted{"OnePartTooMany", 1000, 8192, 32768, 1, false}),
    [](const ::testing::TestParamInfo<Crafted> &info) { return std::string(info.param.name); });

// Every time a set may record is told as the calendar has it, the furthest
// ones included, whose arithmetic must not overflow.
TEST(CraftedTime, IsToldForEverySecondsValue)
{
    const std::pair<int64_t, const char *> times[] = {
        {0, "1970-01-01 00:00:00 UTC"},
        {-1, "1969-12-31 23:59:59 UTC"},
        {-86400, "1969-12-31 00:00:00 UTC"},
        {-62135596801LL, "0000-12-31 23:59:59 UTC"},
        {253402300799LL, "9999-12-31 23:59:59 UTC"},
        {INT64_MIN, "-292277022657-01-27 08:29:52 UTC"},
        {INT64_MIN + 1, "-292277022657-01-27 08:29:53 UTC"},
        {INT64_MAX, "292277026596-12-04 15:30:07 UTC"},
    };
    for (auto &time : times) {
        ScratchDir dir;
        Crafted c = {"time", 1000, 8192, 3, 0, true, time.first};
        WriteHead(dir / "x_00.exe", c);
        PartSet set;
        OpenPartSet((dir / "x_00.exe").c_str(), &set);
        ASSERT_EQ(set.state, kSetReady);
        char text[8 * kPathSize];
        FormatSetInfo(&set, text, sizeof text);
        ClosePartSet(&set);
        EXPECT_NE(std::string(text).find(std::string("\nmodified: ") + time.second + "\n"), std::string::npos)
            << time.first << " told as:\n" << text;
    }
}

// What the join tells after the file is rebuilt, and whether it counts as
// a failure: what was asked and not done.
TEST(AfterTheJoin, SaysWhatWasNotDone)
{
    static PartSet set;
    CopyText(set.head_name, kPathSize, "x_00.exe");
    struct {
        ProgramCopyStatus copy;
        DeletionStatus deletion;
        bool failed;
        const char *says;
    } cases[] = {{kProgramCopyMade, kDeletionDone, false, ""},
                 {kProgramCopyFailed, kDeletionNotAsked, true, "Unable to write cleaver.exe, the disk may be full: "},
                 {kProgramCopyDamaged, kDeletionNotAsked, true, "cleaver.exe was not written: the program in the "
                                                                "head part does not match the checksum recorded when "
                                                                "it was made."},
                 {kProgramCopyIsOutput, kDeletionNotAsked, false, "cleaver.exe was not written: the rebuilt file has "
                                                                  "that name."},
                 {kProgramCopyNotAsked, kDeletionKeptForCopy, true, "x_00.exe was not deleted: without cleaver.exe it "
                                                                   "is the only copy of the program."},
                 {kProgramCopyMade, kDeletionIncomplete, true, "2 of 5 parts were not deleted. Unable to delete "},
                 {kProgramCopyIsPart, kDeletionStopped, false, "cleaver.exe was not written: a part of the set has that name."}};
    for (const auto &c : cases) {
        static JoinResult result;
        result.program_copy = c.copy;
        result.deletion = c.deletion;
        result.parts = 5;
        result.parts_kept = 2;
        ClearError(&result.time_error);
        SetError(&result.copy_error, kErrorNoSpace, "write", "cleaver.exe");
        SetError(&result.delete_error, kErrorInUse, "delete", "x_01.QCB");
        char text[1024];
        bool failed = !c.failed;
        EXPECT_EQ(DescribeAfterJoin(&set, &result, text, sizeof text, &failed), c.says[0] != 0);
        EXPECT_EQ(failed, c.failed) << text;
        EXPECT_EQ(std::string(text).find(c.says), 0u) << text;
    }
}

}  // namespace

namespace {

// Reading exactly so many bytes at a place: a file that ends before them
// is told as such, never as a failure of the disk, and what is read is
// the file's own bytes, wherever the file's position was.
struct ReadAtCase {
    const char *name;
    int64_t offset, length;
    bool read;
};
void PrintTo(const ReadAtCase &c, std::ostream *os) { *os << c.name; }

class ReadAt : public ::testing::TestWithParam<ReadAtCase> {};

TEST_P(ReadAt, ReadsExactlyOrSaysTheFileEndedEarly)
{
    const ReadAtCase &c = GetParam();
    ScratchDir dir;
    WriteBytes(dir / "ten", "0123456789");
    File file;
    FileError error;
    ClearError(&error);
    ASSERT_TRUE(FileOpenRead(0, (dir / "ten").c_str(), &file, &error));
    char bytes[16] = "";
    EXPECT_EQ(FileReadAt(&file, c.offset, bytes, c.length, &error), c.read);
    EXPECT_EQ(error.code, c.read ? 0 : kErrorEndedEarly);
    if (c.read)
        EXPECT_EQ(std::string(bytes, (size_t)c.length), std::string("0123456789").substr((size_t)c.offset, (size_t)c.length));
    FileClose(&file, 0);
}

INSTANTIATE_TEST_SUITE_P(Files, ReadAt, ::testing::Values(
    ReadAtCase{"Whole", 0, 10, true}, ReadAtCase{"ToTheEnd", 4, 6, true},
    ReadAtCase{"PastTheEnd", 5, 6, false}, ReadAtCase{"AtTheEnd", 10, 1, false}),
    [](const ::testing::TestParamInfo<ReadAtCase> &info) { return std::string(info.param.name); });

}  // namespace
