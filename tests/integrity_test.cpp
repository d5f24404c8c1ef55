// What the part table and the record's versions let a join tell: which part
// is damaged, cut short or in another's place, before or while it is read;
// and that sets of every earlier version still join.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sched.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "format/trailer.h"
#include "join/join_engine.h"
#include "split/split_engine.h"
#include "test_files.h"

namespace {

// The folder a path names, open while the object lives.
struct OpenFolder {
    explicit OpenFolder(const std::string &dir) { EXPECT_TRUE(FolderOfFile((dir + "/x").c_str(), &f)); }
    ~OpenFolder() { FolderClose(&f); }
    Folder f;
};

// A set of five slices of 12,288 bytes and a last one of 700, and a head
// part of as many, behind a 3,000-byte image; "keep" holds the input.
class Integrity : public ::testing::Test {
protected:
    void SetUp() override
    {
        WritePattern(dir / "image", 3000, 1);
        WritePattern(dir / "keep", (12288 - 3000 - 272 - 7 * 4) + 5 * 12288 + 700, 2);
        CopyFile(dir / "keep", dir / "r.zip");
        std::string image_path = dir / "image";
        ProgramImage image = {image_path.c_str(), 0, 0};
        SplitResult split = SplitFile(&folder.f, (dir / "r.zip").c_str(), 12288, &image);
        ASSERT_EQ(split.status, kSplitDone);
        ASSERT_EQ(split.last_part, 6);
        ASSERT_EQ(unlink((dir / "r.zip").c_str()), 0);
        head = ReadBytes(dir / "r_00.exe");
        table_at = (int64_t)head.size() - 272 - 7 * 4;
    }
    JoinResult Join() { return JoinParts(&folder.f, (dir / "r_00.exe").c_str(), true, true); }
    void Flip(const std::string &name, int64_t at)
    {
        std::string bytes = ReadBytes(dir / name);
        bytes[(size_t)(at < 0 ? (int64_t)bytes.size() + at : at)] ^= 0x10;
        WriteBytes(dir / name, bytes);
    }
    // Rewrites the head part's trailer as an earlier build wrote it:
    // version 1 (no table, no program check) or no record at all.
    void MakeOlder(int version)
    {
        PartSetTrailer t;
        DecodeTrailer((const unsigned char *)head.data() + head.size() - 272, &t);
        t.record_version = version;
        t.has_record = version > 0;
        memset(t.original_path + kRecordAt, 0, 32);  // as a split writes no record
        unsigned char bytes[272] = {};
        EncodeTrailer(&t, bytes);
        WriteBytes(dir / "r_00.exe", head.substr(0, (size_t)table_at) + std::string((char *)bytes, 272));
    }
    ScratchDir dir;
    OpenFolder folder{dir.path()};
    std::string head;
    int64_t table_at = 0;
};

struct Damage {
    const char *name;
    const char *file;
    int64_t at;  // from the end where negative; the table's bytes are at 1000000 + n
    JoinStatus status;
    const char *part, *other;
};

void PrintTo(const Damage &d, std::ostream *os) { *os << d.name; }

class Damaged : public Integrity, public ::testing::WithParamInterface<Damage> {};

TEST_P(Damaged, IsNamedAndNothingIsWritten)
{
    const Damage &d = GetParam();
    if (std::string(d.file) == "swap") {
        ASSERT_EQ(rename((dir / "r_01.QCB").c_str(), (dir / "x").c_str()), 0);
        ASSERT_EQ(rename((dir / "r_03.QCB").c_str(), (dir / "r_01.QCB").c_str()), 0);
        ASSERT_EQ(rename((dir / "x").c_str(), (dir / "r_03.QCB").c_str()), 0);
    } else if (std::string(d.file) == "cut") {
        ASSERT_EQ(truncate((dir / "r_04.QCB").c_str(), 12000), 0);
    } else {
        Flip(d.file, d.at >= 1000000 ? table_at + d.at - 1000000 : d.at);
    }
    std::string before = RunWithInput("ls -l " + dir.path(), "");
    JoinResult result = Join();
    EXPECT_EQ(result.status, d.status);
    EXPECT_STREQ(result.part, d.part);
    EXPECT_STREQ(result.other, d.other);
    EXPECT_EQ(RunWithInput("ls -l " + dir.path(), ""), before);
    if (d.status == kJoinPartDamaged)
        EXPECT_TRUE(result.length == 12000 && result.expected == 12288);
}

INSTANTIATE_TEST_SUITE_P(
    Parts, Damaged,
    ::testing::Values(Damage{"HeadStretch", "r_00.exe", 3010, kJoinHeadDamaged, "r_00.exe", ""},
                      Damage{"MiddleSlice", "r_03.QCB", 100, kJoinPartCorrupt, "r_03.QCB", ""},
                      Damage{"LastSlice", "r_06.QCB", -1, kJoinPartCorrupt, "r_06.QCB", ""},
                      Damage{"Table", "r_00.exe", 1000000 + 9, kJoinHeadDamaged, "r_00.exe", ""},
                      Damage{"RecordTag", "r_00.exe", -272 + 231, kJoinHeadDamaged, "r_00.exe", ""},
                      Damage{"Swapped", "swap", 0, kJoinPartSwapped, "r_01.QCB", "r_03.QCB"},
                      Damage{"CutShort", "cut", 0, kJoinPartDamaged, "r_04.QCB", ""}),
    [](const ::testing::TestParamInfo<Damage> &info) { return std::string(info.param.name); });

// A program image that is not the one recorded: the file is rebuilt, no
// copy of the program is passed on, and so the parts stay.
TEST_F(Integrity, ADamagedProgramIsNotCopied)
{
    Flip("r_00.exe", 10);
    JoinResult result = Join();
    ASSERT_EQ(result.status, kJoinDone);
    EXPECT_EQ(result.program_copy, kProgramCopyDamaged);
    EXPECT_TRUE(ReadBytes(dir / "r.zip") == ReadBytes(dir / "keep"));
    EXPECT_FALSE(Exists(dir / "cleaver.exe"));
    EXPECT_TRUE(Exists(dir / "r_00.exe") && Exists(dir / "r_06.QCB"));
}

// Version 1 and no record: they join as they always did, the first with
// its whole-file checksum compared, and damage in the record's tag or a
// leftover of an older build's longer path told apart.
TEST_F(Integrity, EarlierVersionsJoin)
{
    for (int version : {1, 0}) {
        MakeOlder(version);
        JoinResult result = JoinParts(&folder.f, (dir / "r_00.exe").c_str(), false, false);
        ASSERT_EQ(result.status, kJoinDone) << version;
        EXPECT_EQ(result.verified, version == 1);
        EXPECT_TRUE(ReadBytes(dir / "r.zip") == ReadBytes(dir / "keep"));
    }
    // Version 1 with its tag damaged is a damaged head part, not one
    // without a record; text running into the record's place is a path.
    MakeOlder(1);
    std::string older = ReadBytes(dir / "r_00.exe");
    for (auto edit : {std::make_pair(-272 + 231, kJoinHeadDamaged), std::make_pair(-272 + 227, kJoinDone)}) {
        std::string bytes = older;
        size_t at = bytes.size() + edit.first;
        if (edit.second == kJoinDone)  // an older build's reused field: a longer path's tail
            bytes.replace(at - 100, 120, std::string(100, 'p') + "tail-of-a-longer.zip");
        else
            bytes[at] ^= 1;
        WriteBytes(dir / "r_00.exe", bytes);
        EXPECT_EQ(JoinParts(&folder.f, (dir / "r_00.exe").c_str(), false, false).status, edit.second);
    }
}

// A drive without room for the set, or the file, says so before anything
// is written: a small tmpfs of the test's own, where it may mount one.
TEST(Room, IsCheckedBeforeAnythingIsWritten)
{
    ScratchDir dir;
    if (unshare(CLONE_NEWNS) != 0 || mount("", "/", 0, MS_PRIVATE | MS_REC, 0) != 0 ||
        mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=512k") != 0)
        GTEST_SKIP() << "no tmpfs of its own here";
    WritePattern(dir / "image", 3000, 1);
    WritePattern(dir / "big.bin", 400 * 1024, 2);
    {
        OpenFolder folder(dir.path());
        std::string image_path = dir / "image";
        ProgramImage image = {image_path.c_str(), 0, 0};
        SplitResult split = SplitFile(&folder.f, (dir / "big.bin").c_str(), 65536, &image);
        EXPECT_EQ(split.status, kSplitNoRoom);
        EXPECT_GT(split.needed, split.free_bytes);
        EXPECT_EQ(RunWithInput("ls " + dir.path(), ""), "big.bin\nimage\n");
    }
    umount(dir.path().c_str());
}

}  // namespace
