// The split and join engines, with small made-up program images: the parts
// they write, and what they report when they cannot.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string.h>

#include "format/part_layout.h"
#include "join/join_engine.h"
#include "join/part_set.h"
#include "split/split_engine.h"
#include "test_files.h"

// The folder a path names, open while the object lives.
struct OpenFolder {
    explicit OpenFolder(const std::string &dir) { EXPECT_TRUE(FolderOfFile((dir + "/x").c_str(), &f)); }
    ~OpenFolder() { FolderClose(&f); }
    Folder f;
};

// Work that does something of its own once, when the engine has copied its
// first buffer, or its first buffer of a part whose name holds `at`.
struct Meddle {
    std::function<void()> act;
    const char *at = "";
    Progress progress = {0, 0, 0, [](Progress *p) {
        Meddle *m = (Meddle *)p->host;
        if (m->act && p->item && strstr(p->item, m->at))
            std::exchange(m->act, nullptr)();
        return true;
    }, this};
};

// Does work while no file may grow beyond `bytes`, as on a nearly full disk.
template <class Work>
static auto UnderFileSizeLimit(rlim_t bytes, Work work)
{
    struct rlimit old, limit;
    getrlimit(RLIMIT_FSIZE, &old);
    limit = {bytes, old.rlim_max};
    signal(SIGXFSZ, SIG_IGN);  // a write past it fails instead
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    auto result = work();
    setrlimit(RLIMIT_FSIZE, &old);
    return result;
}

static PartSetTrailer TrailerOf(const std::string &head)
{
    std::string bytes = std::string(kTrailerSize, '\0') + ReadBytes(head);  // zeros for none
    PartSetTrailer t;
    DecodeTrailer((const unsigned char *)&bytes[bytes.size() - kTrailerSize], &t);
    return t;
}

// A scratch folder with a made-up program image, entered only to shorten the
// names the test uses: the engines are given the folder.
class InScratch : public ::testing::Test {
protected:
    InScratch() : folder(dir.path())
    {
        WritePattern(dir / "image", 100, 1);
        EXPECT_TRUE(getcwd(previous, sizeof previous) && chdir(dir.path().c_str()) == 0);
    }
    ~InScratch() { EXPECT_EQ(chdir(previous), 0); }
    SplitResult Split(const std::string &input, int64_t slice_kb, Progress *progress = 0)
    {
        ProgramImage image = {"image", 0, 0};
        return SplitFile(&folder.f, input.c_str(), slice_kb * 1024, &image, progress);
    }
    JoinResult Rejoin(const char *head, bool copy, bool remove, Progress *progress = 0)
    {
        return JoinParts(&folder.f, head, copy, remove, progress);
    }
    ScratchDir dir;
    OpenFolder folder;
    char previous[4096];
};

struct SplitCase { int64_t image, slice, input; };
static void PrintTo(const SplitCase &c, std::ostream *os)
{
    *os << "image " << c.image << ", parts of " << c.slice << ", input " << c.input;
}

class RoundTrip : public ::testing::TestWithParam<SplitCase> {};

// No part is larger than asked, the head part whole; every slice but the
// last is exactly that; and the parts, joined in another folder than the
// current one by a head part of another name, rebuild the input.
TEST_P(RoundTrip, RebuildsTheInputFromPartsOfTheSizeAsked)
{
    const SplitCase c = GetParam();
    ScratchDir from, to;
    OpenFolder split_in(from.path()), join_in(to.path());
    WritePattern(from / "image", c.image, 7);
    WritePattern(from / "data.bin", c.input, 8);
    std::string image_path = from / "image";
        ProgramImage image = {image_path.c_str(), 0, 0};
    SplitResult split = SplitFile(&split_in.f, (from / "data.bin").c_str(), c.slice, &image);
    ASSERT_EQ(split.status, kSplitDone);
    PartSetTrailer t = TrailerOf(from / "data_00.exe");
    EXPECT_TRUE(from / "data.bin" == t.original_path && t.image_size == c.image &&
                t.original_size == c.input && t.last_part == split.last_part);
    EXPECT_LE(SizeOf(from / "data_00.exe"), c.slice);
    CopyFile(from / "data_00.exe", to / "renamed.exe");
    for (int i = 1; i <= split.last_part; i++) {
        int64_t length = SizeOf(from / PartName("data", i));
        EXPECT_TRUE(i < split.last_part ? length == c.slice : length > 0 && length <= c.slice) << i;
        CopyFile(from / PartName("data", i), to / PartName("data", i));
    }
    EXPECT_FALSE(Exists(from / PartName("data", split.last_part + 1)));
    ASSERT_EQ(JoinParts(&join_in.f, (to / "renamed.exe").c_str(), false, false).status, kJoinDone);
    EXPECT_TRUE(ReadBytes(to / "data.bin") == ReadBytes(from / "data.bin"));
}

INSTANTIATE_TEST_SUITE_P(Sizes, RoundTrip, ::testing::Values(
    SplitCase{100, 10240, 10241},           // one byte over a part
    SplitCase{5000, 10240, 3 * 10240 + 1},  // one byte into the last slice
    SplitCase{9900, 10240, 30000},          // a head part with no data: the program and the trailer
    SplitCase{100, 10240, 105 * 10240 + 7}, // more than 99 slices
    SplitCase{24576, 1400 * 1024, 5000000}));  // 1.44 MB

// A set of four slice files from a 100-byte image; "keep" holds the input.
class Join : public InScratch {
protected:
    void SetUp() override
    {
        WritePattern(dir / "r.zip", 4 * 12288 + 500, 2);
        ASSERT_EQ(Split("r.zip", 10).status, kSplitDone);
        ASSERT_EQ(rename("r.zip", "keep"), 0);
    }
    // Joins, with the program copy and the deletion, expecting a failure that changes nothing.
    void ExpectFailure(JoinStatus expected, const char *part = "")
    {
        NameSet before = Names(dir.path());
        JoinResult result = Rejoin("r_00.exe", true, true);
        EXPECT_EQ(result.status, expected);
        EXPECT_STREQ(result.part, part);
        EXPECT_EQ(Names(dir.path()), before);
    }
};

using Splitting = InScratch;

// The path is stored while the record fits behind it, else the name; a name too long for the
// record is refused from 2 GiB, one no trailer holds (765 bytes on Windows) before it is opened.
TEST_F(Splitting, StoresWhatLeavesRoomForTheRecord)
{
    std::string name = std::string(223, 'n') + ".bin";  // 227 bytes: the longest with a record
    WritePattern(dir / name, 20000, 4);
    ASSERT_EQ(Split("./" + name, 10).status, kSplitDone);
    PartSetTrailer t = TrailerOf(dir / (std::string(223, 'n') + "_00.exe"));
    EXPECT_TRUE(name == t.original_path && t.has_record);
    ASSERT_EQ(rename(name.c_str(), ("n" + name).c_str()), 0);
    ASSERT_EQ(truncate(("n" + name).c_str(), 2147483648LL), 0);  // sparse
    EXPECT_EQ(Split("n" + name, 65536).status, kSplitNameTooLongForSize);
    EXPECT_EQ(Split(std::string(300, 'n') + ".bin", 10).status, kSplitNameTooLongToStore);
}

// Parts of 4 GB, the largest FAT32 holds, from a sparse input of 9 GiB, in
// 64 bits: three parts, none larger, whose marks come back where they were.
TEST_F(Splitting, CutsNineGigabytesIntoParts4GBLarge)
{
    const int64_t size = 9LL << 30;
    const std::vector<int64_t> marks = {0, (4LL << 30) - 1, 4LL << 30, (8LL << 30) + 5, size - 1};
    WriteSparse(dir / "big.bin", size, marks);
    ProgramImage image = {"image", 0, 0};
    SplitResult split = SplitFile(&folder.f, "big.bin", kMaxSliceBytes, &image);
    ASSERT_EQ(split.status, kSplitDone);
    ASSERT_EQ(split.last_part, 2);
    for (int i = 0; i < 3; i++)
        EXPECT_LE(SizeOf(dir / PartName("big", i)), kMaxSliceBytes) << i;
    ASSERT_EQ(rename("big.bin", "input.bin"), 0);
    JoinResult join = Rejoin("big_00.exe", false, true);  // the parts go as it ends
    ASSERT_EQ(join.status, kJoinDone);
    EXPECT_TRUE(join.verified && join.crc == split.crc);
    EXPECT_TRUE(HasMarks(dir / "big.bin", size, marks));
}

// Every part is a new file named once complete: a file in the way, before or planted while the
// split runs, is replaced, never written into, and the modes are those of new files.  A link, a
// folder, a pipe or the input under a part's name stops the split before it writes anything.
TEST_F(Splitting, WritesEveryPartAsANewFile)
{
    umask(022);
    WritePattern(dir / "a.bin", 5 * 12288, 2);
    std::string input = ReadBytes(dir / "a.bin");
    const struct { const char *part; int (*make)(const char *name); } obstacles[] = {
        {"a_02.QCB", [](const char *n) { return mkdir(n, 0755); }},
        {"a_01.QCB", [](const char *n) { return symlink("a.bin", n); }},
        {"a_00.exe", [](const char *n) { return link("a.bin", n); }},  // the input itself
        {"a_03.QCB", [](const char *n) { return mkfifo(n, 0644); }},
    };
    for (const auto &o : obstacles) {
        ASSERT_EQ(o.make(o.part), 0) << o.part;
        SplitResult result = Split("a.bin", 10);
        EXPECT_EQ(result.status, kSplitPartInTheWay) << o.part;
        EXPECT_STREQ(result.part, o.part);
        EXPECT_EQ(remove(o.part), 0);
        EXPECT_EQ(Names(dir.path()), (NameSet{"a.bin", "image"})) << o.part;
    }
    WriteBytes(dir / "a_00.exe", "an old head part");
    chmod("a_00.exe", 0644);
    WriteBytes(dir / "a_01.QCB", "an old slice");
    chmod("a_01.QCB", 0777);
    Meddle plant{[] { ASSERT_EQ(link("a.bin", "a_03.QCB"), 0); }};
    ASSERT_EQ(Split("a.bin", 10, &plant.progress).status, kSplitDone);
    EXPECT_TRUE(ReadBytes(dir / "a.bin") == input);
    struct stat head, slice;
    ASSERT_EQ(stat("a_00.exe", &head) | stat("a_01.QCB", &slice), 0);
    EXPECT_EQ(std::make_pair(head.st_mode & 0777, slice.st_mode & 0777), std::make_pair(0755u, 0644u));
    ASSERT_EQ(rename("a.bin", "kept"), 0);
    ASSERT_EQ(Rejoin("a_00.exe", false, false).status, kJoinDone);
    EXPECT_TRUE(ReadBytes(dir / "a.bin") == input);
}

// A refusal or failure says which call failed and why, and leaves nothing behind.
TEST_F(Splitting, EachFailureCarriesTheSystemsReason)
{
    std::string long_name = std::string(248, 'n') + ".b";  // "_100.QCB" makes 256 bytes
    WritePattern(dir / long_name, 101 * 12288, 3);
    const struct {
        const char *input; int slice_kb; std::function<void()> meddle; rlim_t limit;
        SplitStatus status; int code; const char *call;
    } cases[] = {
        {"missing.bin", 10, nullptr, RLIM_INFINITY, kSplitNoInput, ENOENT, "open"},
        {"in.bin", 60, nullptr, RLIM_INFINITY, kSplitTooSmall, 0, ""},  // exactly one slice
        {long_name.c_str(), 10, nullptr, RLIM_INFINITY, kSplitNamesNotFound, ENAMETOOLONG, "name"},
        {"in.bin", 10, [] { ASSERT_EQ(truncate("in.bin", 30000), 0); }, RLIM_INFINITY,
         kSplitReadFailed, kErrorEndedEarly, "read"},
        {"in.bin", 10, nullptr, 10000, kSplitWriteFailed, EFBIG, "write"},
    };
    for (const auto &c : cases) {
        WritePattern(dir / "in.bin", 5 * 12288, 2);
        Meddle meddle{c.meddle};
        SplitResult result =
            UnderFileSizeLimit(c.limit, [&] { return Split(c.input, c.slice_kb, &meddle.progress); });
        EXPECT_EQ(std::make_tuple(result.status, result.error.code, std::string(result.error.call)),
                  std::make_tuple(c.status, c.code, std::string(c.call))) << c.input;
        EXPECT_EQ(Names(dir.path()), (NameSet{"image", "in.bin", long_name})) << c.input;
    }
    ProgramImage none = {"no-image", 0, 0};
    EXPECT_EQ(SplitFile(&folder.f, "in.bin", 10240, &none).status, kSplitNoImage);
    WritePattern(dir / "image", 20000, 1);  // a program larger than a part
    SplitResult small = Split("in.bin", 10);
    EXPECT_EQ(std::make_pair(small.status, small.needed), std::make_pair(kSplitPartsTooSmall, 20480L));
    EXPECT_EQ(Names(dir.path()), (NameSet{"image", "in.bin", long_name}));
}

// The parts go once read, and only while their names still stand for the files read.
TEST_F(Join, DeletesOnlyTheFilesItRead)
{
    WriteBytes(dir / "other", "someone else's");
    WriteBytes(dir / "another", "someone else's too");
    Meddle swap{[] { ASSERT_FALSE(rename("other", "r_00.exe") || rename("another", "r_02.QCB")); },
                "r_03"};
    JoinResult result = Rejoin("r_00.exe", false, true, &swap.progress);
    ASSERT_EQ(result.status, kJoinDone);
    EXPECT_TRUE(ReadBytes(dir / "r.zip") == ReadBytes(dir / "keep"));
    EXPECT_EQ(Names(dir.path()), (NameSet{"image", "keep", "r.zip", "r_00.exe", "r_02.QCB"}));
    EXPECT_EQ(ReadBytes(dir / "r_00.exe"), "someone else's");
}

// The census of sets without a record, or claiming more slices than a folder holds, reads the
// folder once and judges the slices by the rules every split keeps.
struct CensusCase {  // slices: their lengths, -1 for a missing one
    const char *name; bool record; int64_t last_part; std::vector<int64_t> slices;
    SliceFault fault; int64_t fault_index, found;
};
static void PrintTo(const CensusCase &c, std::ostream *os) { *os << c.name; }

class Counting : public ::testing::TestWithParam<CensusCase> {};

TEST_P(Counting, JudgesTheSlicesFoundInOnePass)
{
    const CensusCase &c = GetParam();
    ScratchDir dir;
    int64_t size = 4000;  // in the head part
    for (size_t i = 0; i < c.slices.size(); i++) {
        if (c.slices[i] >= 0)
            WritePattern(dir / PartName("o", (int)i + 1), c.slices[i], 1);
        size += std::max<int64_t>(c.slices[i], 0);
    }
    WriteBytes(dir / "o_1.QCB", "");  // not a name the split writes
    PartSet set = {};
    strcpy(set.trailer.original_path, "o.bin");
    strcpy(set.base, "o");
    set.head_data = 4000;
    set.trailer.original_size = (int32_t)size;
    set.trailer.last_part = (int32_t)c.last_part;
    set.trailer.has_record = c.record;
    set.trailer.record_version = c.record ? 2 : 0;
    set.trailer.size = c.record ? 4000 + c.last_part * 12288 : size;
    set.trailer.slice_length = 12288;
    OpenFolder folder(dir.path());
    Census census = TakeCensus(&set, &folder.f);
    EXPECT_EQ(std::make_tuple(census.listed, census.fault, census.fault_index, census.found),
              std::make_tuple(true, c.fault, c.fault_index, c.found));
    FreeCensus(&census);
}

INSTANTIATE_TEST_SUITE_P(Sets, Counting, ::testing::Values(
    CensusCase{"Sound", false, 3, {8192, 8192, 100}, kSlicesSound, 0, 3},
    CensusCase{"FullSlicesOffTheBlock", false, 3, {5000, 5000, 100}, kSliceDamaged, 1, 3},
    CensusCase{"AShortMiddleSlice", false, 3, {8192, 4096, 100}, kSliceDamaged, 2, 3},
    CensusCase{"AMissingSlice", false, 3, {8192, -1, 100}, kSliceMissing, 2, 2},
    CensusCase{"ALongLastSlice", true, 2, {12288, 12289}, kSliceDamaged, 2, 2},
    CensusCase{"TwoBillionClaimed", true, 2147483647, {12288}, kSliceMissing, 2, 1}));
