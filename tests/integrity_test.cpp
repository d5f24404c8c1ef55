// What the part table and the record's versions let a join tell: which part
// is damaged, cut short or in another's place, before or while it is read;
// and that the sets the real builds of every version made still join, by
// the program and by the standard-tools recipe of docs/FORMAT.md.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sched.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "format/trailer.h"
#include "join/join_engine.h"
#include "join/join_report.h"
#include "join/part_check.h"
#include "join/repair.h"
#include "split/split_engine.h"
#include "test_files.h"

namespace {

// The folder a path names, open while the object lives.
struct OpenFolder {
    explicit OpenFolder(const std::string &dir) { EXPECT_TRUE(FolderOfFile((dir + "/x").c_str(), &f, 0)); }
    ~OpenFolder() { FolderClose(&f); }
    Folder f;
};

const SplitOptions kAsked = {false, 0};

// Opens a set, joins it with the program copy and the deletion, and closes it.
JoinResult JoinSet(const std::string &head)
{
    PartSet set;
    OpenPartSet(head.c_str(), &set);
    JoinRequest request;
    request.delete_parts = true;
    JoinResult result = {};
    result.status = kJoinPartFault;
    result.part = PartState(0);
    result.part.fault = kPartDamaged;  // a head part judged damaged as it opens
    if (set.state == kSetReady)
        result = JoinParts(&set, &request, 0);
    ClosePartSet(&set);
    return result;
}

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
        ProgramImage image = {image_path.c_str(), 0, 0, false};
        SplitResult split = SplitFile(&folder.f, (dir / "r.zip").c_str(), 12288, &image, &kAsked, 0);
        ASSERT_EQ(split.fault, kSplitDone);
        ASSERT_EQ(split.last_part, 6);
        ASSERT_EQ(unlink((dir / "r.zip").c_str()), 0);
        head = ReadBytes(dir / "r_00.exe");
        table_at = (int64_t)head.size() - 272 - 7 * 4;
    }
    void Flip(const std::string &name, int64_t at)
    {
        std::string bytes = ReadBytes(dir / name);
        bytes[(size_t)(at < 0 ? (int64_t)bytes.size() + at : at)] ^= 0x10;
        WriteBytes(dir / name, bytes);
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
    PartFault fault;
    int64_t index, holds;
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
    JoinResult result = JoinSet(dir / "r_00.exe");
    EXPECT_EQ(std::make_tuple(result.status, result.part.fault, result.part.index, result.part.holds),
              std::make_tuple(d.status, d.fault, d.index, d.holds));
    EXPECT_EQ(RunWithInput("ls -l " + dir.path(), ""), before);
    if (d.fault == kPartWrongLength)
        EXPECT_TRUE(result.part.length == 12000 && result.part.expected == 12288);
}

INSTANTIATE_TEST_SUITE_P(Parts, Damaged, ::testing::Values(
    Damage{"HeadStretch", "r_00.exe", 3010, kJoinPartFault, kPartDamaged, 0, -1},
    Damage{"MiddleSlice", "r_03.QCB", 100, kJoinPartFault, kPartDamaged, 3, -1},
    Damage{"LastSlice", "r_06.QCB", -1, kJoinPartFault, kPartDamaged, 6, -1},
    Damage{"Table", "r_00.exe", 1000000 + 9, kJoinPartFault, kPartDamaged, 0, -1},  // as it opens
    Damage{"RecordTag", "r_00.exe", -272 + 231, kJoinPartFault, kPartDamaged, 0, -1},
    Damage{"Swapped", "swap", 0, kJoinPartFault, kPartHoldsAnother, 1, 3},
    Damage{"CutShort", "cut", 0, kJoinPartFault, kPartWrongLength, 4, -1}),
    [](const ::testing::TestParamInfo<Damage> &info) { return std::string(info.param.name); });

// A program image that is not the one recorded: the file is rebuilt, no
// copy of the program is passed on, and so the head part stays.
TEST_F(Integrity, ADamagedProgramIsNotCopied)
{
    Flip("r_00.exe", 10);
    JoinResult result = JoinSet(dir / "r_00.exe");
    ASSERT_EQ(result.status, kJoinDone);
    EXPECT_EQ(result.program_copy, kProgramCopyDamaged);
    EXPECT_EQ(result.deletion, kDeletionKeptForCopy);
    EXPECT_TRUE(ReadBytes(dir / "r.zip") == ReadBytes(dir / "keep"));
    EXPECT_FALSE(Exists(dir / "cleaver.exe"));
    EXPECT_TRUE(Exists(dir / "r_00.exe") && !Exists(dir / "r_06.QCB"));
}

// The sets the real builds of every version wrote, in tests/data.
struct Golden {
    const char *folder, *head, *output;
};
void PrintTo(const Golden &g, std::ostream *os) { *os << g.folder; }

class GoldenSet : public ::testing::TestWithParam<Golden> {
protected:
    // The set, without its expected file, in a scratch folder.
    void SetUp() override
    {
        const Golden &g = GetParam();
        std::string from = std::string(SOURCE_DIR "/tests/data/") + g.folder;
        for (const std::string &name : Names(from))
            if (name.find(".expected") == std::string::npos)
                CopyFile(from + "/" + name, dir / name);
        expected = ReadBytes(from + "/" + g.output + ".expected");
    }
    ScratchDir dir;
    std::string expected;
};

TEST_P(GoldenSet, JoinsAndChecksSound)
{
    const Golden &g = GetParam();
    PartSet set;
    OpenPartSet((dir / g.head).c_str(), &set);
    ASSERT_EQ(set.state, kSetReady);
    CheckResult check = CheckParts(&set, [](void *, const PartSet *, const PartState *) {}, 0, 0);
    EXPECT_TRUE(check.sound == check.parts && check.whole_matches);
    JoinRequest request;
    JoinResult result = JoinParts(&set, &request, 0);
    ClosePartSet(&set);
    ASSERT_EQ(result.status, kJoinDone);
    EXPECT_EQ(result.verified, std::string(g.folder) != "v0-linux");
    EXPECT_TRUE(ReadBytes(dir / g.output) == expected);
    // Sets before version 2 record no checksum of their program: it is passed on as it is.
    EXPECT_EQ(result.program_copy, kProgramCopyMade);
}

const char kPosixTools[] = "mkdir bb && for t in sh cat head od printf tail tr wc; do ln -s \"$(command -v busybox)\" "
                           "bb/$t; done && PATH=$PWD/bb && ";

// The recipe of docs/FORMAT.md, as it stands there, with the shell and coreutils alone, then
// with busybox's applets alone, of the tools POSIX has (and head), a stand-in for another system's.
TEST_P(GoldenSet, RebuildsByTheStandardToolsRecipe)
{
    const Golden &g = GetParam();
    std::string doc = ReadBytes(SOURCE_DIR "/docs/FORMAT.md");
    size_t begin = doc.find("```sh\n# rebuild");
    ASSERT_NE(begin, std::string::npos);
    begin += 6;
    WriteBytes(dir / "recipe.sh", doc.substr(begin, doc.find("```", begin) - begin));
    std::string stem = std::string(g.head).substr(0, strlen(g.head) - 7);
    for (std::string tools : {"", kPosixTools}) {
        if (tools != "" && system("command -v busybox >/dev/null") != 0)
            GTEST_SKIP() << g.folder << ": the recipe under busybox needs busybox";
        int status = -1;
        std::string out = RunWithInput("cd '" + dir.path() + "' && rm -f '" + g.output + "' && " + tools +
                                           "STEM='" + stem + "' OUT='" + g.output + "' sh recipe.sh", "", &status);
        EXPECT_EQ(status, 0) << tools << out;
        EXPECT_TRUE(ReadBytes(dir / g.output) == expected) << tools;
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, GoldenSet, ::testing::Values(
    Golden{"v0-linux", "golden_00.exe", "golden.txt"},
    Golden{"qcs1-linux", "golden_00.exe", "golden.txt"},
    Golden{"qcs2-linux", "golden_00.exe", "golden.txt"},
    Golden{"qcs2-windows", "golden_00.exe", "golden.txt"},
    Golden{"qcs2-wine", "golden_00.exe", "golden.txt"},
    Golden{"qcs2-dotname", "_00.exe", ".hidden"},
    Golden{"qcs3-linux", "golden_00.exe", "golden.txt"},
    Golden{"qcs3-recovery", "golden_00.exe", "golden.txt"},
    Golden{"qcs3-stretches", "golden_00.exe", "golden.txt"}),
    [](const ::testing::TestParamInfo<Golden> &info) {
        std::string name = info.param.folder;
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return name;
    });

using OlderSet = GoldenSet;
using RecoverySet = GoldenSet;

// A damaged slice of a version 1 set has no table to name it: the whole file's checksum is
// the guard, and nothing is written.
TEST_P(OlderSet, ADamagedSliceIsCaughtByTheChecksum)
{
    std::string slice = ReadBytes(dir / "golden_02.QCB");
    slice[100] ^= 1;
    WriteBytes(dir / "golden_02.QCB", slice);
    NameSet before = Names(dir.path());
    EXPECT_EQ(JoinSet(dir / "golden_00.exe").status, kJoinChecksumMismatch);
    EXPECT_EQ(Names(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Version1, OlderSet, ::testing::Values(Golden{"qcs1-linux", "golden_00.exe",
                                                                     "golden.txt"}));

// A set with recovery parts, as the builds that make them wrote it, loses
// its head part and a slice: its recovery parts rebuild both.  A repair in
// place makes a lost recovery part again byte for byte as its build made
// it, in its own version.
TEST_P(RecoverySet, RebuildsItsHeadPartAndASliceAndARecoveryPart)
{
    std::string from = std::string(SOURCE_DIR "/tests/data/") + GetParam().folder;
    ASSERT_EQ(unlink((dir / "golden_00.exe").c_str()) | unlink((dir / "golden_02.QCB").c_str()), 0);
    JoinResult result = JoinSet(dir / "golden_R02.QCB");
    ASSERT_EQ(result.status, kJoinDone);
    EXPECT_EQ(result.fault_count, 2);
    EXPECT_TRUE(ReadBytes(dir / "golden.txt") == expected);
    ScratchDir again;
    for (const std::string &name : Names(from))
        if (name.find(".expected") == std::string::npos && name != "golden_R01.QCB")
            CopyFile(from + "/" + name, again / name);
    PartSet set;
    OpenPartSet((again / "golden_00.exe").c_str(), &set);
    ASSERT_EQ(set.state, kSetReady);
    JoinResult back;
    WriteBackParts(&set, 0, 0, &back);
    ClosePartSet(&set);
    EXPECT_EQ(back.status, kJoinDone);
    EXPECT_TRUE(ReadBytes(again / "golden_R01.QCB") == ReadBytes(from + "/golden_R01.QCB"));
}

INSTANTIATE_TEST_SUITE_P(Versions, RecoverySet, ::testing::Values(
    Golden{"qcs3-recovery", "golden_00.exe", "golden.txt"},
    Golden{"qcs3-stretches", "golden_00.exe", "golden.txt"}));

// A set without a record: the check tells every slice of a length no split writes, and the
// join refuses the first in those words.
TEST(RecordlessSet, TheCheckTellsEverySliceCutShort)
{
    ScratchDir dir;
    std::string from = SOURCE_DIR "/tests/data/v0-linux/";
    for (const char *name : {"golden_00.exe", "golden_01.QCB", "golden_02.QCB", "golden_03.QCB", "golden_04.QCB"})
        CopyFile(from + name, dir / name);
    ASSERT_EQ(truncate((dir / "golden_02.QCB").c_str(), 8192) | truncate((dir / "golden_04.QCB").c_str(), 900), 0);
    PartSet set;
    OpenPartSet((dir / "golden_00.exe").c_str(), &set);
    std::vector<PartFault> told;
    CheckParts(&set, [](void *c, const PartSet *, const PartState *p) {
        ((std::vector<PartFault> *)c)->push_back(p->fault);
    }, &told, 0);
    ClosePartSet(&set);
    EXPECT_EQ(told, (std::vector<PartFault>{kPartSound, kPartSound, kPartWrongLength, kPartSound,
                                            kPartWrongLength}));
    OpenPartSet((dir / "golden_00.exe").c_str(), &set);
    JoinResult result = JoinSet(dir / "golden_00.exe");
    char text[1024] = "";
    EXPECT_TRUE(DescribeJoinFailure(&set, &result, text, sizeof text));
    ClosePartSet(&set);
    EXPECT_NE(std::string(text).find("golden_02.QCB is of a length no split writes"), std::string::npos) << text;
}

// A drive without room for the set, or the file, says so before anything
// is written: a small tmpfs of the test's own, where it may mount one.
TEST(Room, IsCheckedBeforeAnythingIsWritten)
{
    ScratchDir dir;
    if (unshare(CLONE_NEWNS) != 0 || mount("", "/", 0, MS_PRIVATE | MS_REC, 0) != 0 ||
        mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=512k") != 0)
        GTEST_SKIP() << "Room.IsCheckedBeforeAnythingIsWritten needs a tmpfs of its own (root)";
    WritePattern(dir / "image", 3000, 1);
    WritePattern(dir / "big.bin", 400 * 1024, 2);
    {
        OpenFolder folder(dir.path());
        std::string image_path = dir / "image";
        ProgramImage image = {image_path.c_str(), 0, 0, false};
        SplitResult split = SplitFile(&folder.f, (dir / "big.bin").c_str(), 65536, &image, &kAsked, 0);
        EXPECT_EQ(split.fault, kSplitNoRoom);
        EXPECT_GT(split.needed, split.free_bytes);
        EXPECT_EQ(RunWithInput("ls " + dir.path(), ""), "big.bin\nimage\n");
    }
    umount(dir.path().c_str());
}

}  // namespace
