// The split and join engines, with small made-up program images: the parts
// they write, and what they report when they cannot.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "format/trailer.h"
#include "join/join_engine.h"
#include "join/part_set.h"
#include "split/split_engine.h"
#include "test_files.h"
#include "test_trailer.h"

// The folder a path names, open while the object lives.
struct OpenFolder {
    explicit OpenFolder(const std::string &dir) { EXPECT_TRUE(FolderOfFile((dir + "/x").c_str(), &f)); }
    ~OpenFolder() { FolderClose(&f); }
    Folder f;
};

// Work that does something of its own once, when the engine has copied its
// first buffer, or its first buffer of a given part.
struct Meddle {
    explicit Meddle(std::function<void()> act, const char *at = "") : act(std::move(act)), at(at) {}
    static bool Step(Progress *p)
    {
        Meddle *m = (Meddle *)p->host;
        if (m->act && p->item && strstr(p->item, m->at)) {
            m->act();
            m->act = nullptr;
        }
        return true;
    }
    Progress progress = {0, 0, 0, Step, this};
    std::function<void()> act;
    const char *at;
};

// A scratch folder, entered for the test, holding a made-up program image.
// The engines are given the folder; entering it only shortens the names
// the test itself uses.
class InScratch : public ::testing::Test {
protected:
    explicit InScratch(int64_t image_size = 100) : in(dir.path()), folder(dir.path())
    {
        WritePattern(dir / "image", image_size, 1);
    }
    SplitResult Split(const std::string &input, int slice_kb, Progress *progress = 0)
    {
        return SplitFile(&folder.f, input.c_str(), slice_kb, "image", progress);
    }
    JoinResult Rejoin(const char *head, bool copy, bool remove, Progress *progress = 0)
    {
        return JoinParts(&folder.f, head, copy, remove, progress);
    }
    // The names in the folder, but "image", in order.
    std::string Names()
    {
        return RunWithInput("(cd '" + dir.path() + "' && LC_ALL=C ls | grep -v '^image$' | tr '\\n' ' ')", "");
    }
    ScratchDir dir;
    InDir in;
    OpenFolder folder;
};

// Part lengths as the original stepping gives them: part 0 starts counting
// at the image's length, and before every 4096-byte read the part stops
// once it holds a slice.
static std::vector<int64_t> SteppedLengths(int64_t image, int64_t slice, int64_t input)
{
    std::vector<int64_t> lengths;
    int64_t left = input;
    for (int i = 0; left > 0 || lengths.size() < 2; i++) {  // at least one slice file
        int64_t total = i == 0 ? image : 0, data = 0;
        while (left > 0 && total < slice) {
            int64_t n = left < 4096 ? left : 4096;
            total += n, data += n, left -= n;
        }
        lengths.push_back(data);
    }
    return lengths;
}

static PartSetTrailer TrailerOf(const std::string &head)
{
    PartSetTrailer t;
    int64_t length;
    EXPECT_TRUE(ReadTrailerOf(head, &t, &length));
    return t;
}

struct SplitCase {
    int64_t image, slice_kb, input;
};
static void PrintTo(const SplitCase &c, std::ostream *os)
{
    *os << "image " << c.image << ", " << c.slice_kb << " KB, input " << c.input;
}

class RoundTrip : public ::testing::TestWithParam<SplitCase> {};

TEST_P(RoundTrip, RebuildsTheInputFromPartsOfTheSteppedLengths)
{
    const SplitCase c = GetParam();
    ScratchDir from, to;
    WritePattern(from / "image", c.image, 7);
    WritePattern(from / "data.bin", c.input, 8);
    {
        OpenFolder folder(from.path());
        ASSERT_EQ(SplitFile(&folder.f, (from / "data.bin").c_str(), (int)c.slice_kb,
                            (from / "image").c_str())
                      .status,
                  kSplitDone);
    }
    std::vector<int64_t> lengths = SteppedLengths(c.image, c.slice_kb * 1024, c.input);
    PartSetTrailer t = TrailerOf(from / "data_00.exe");
    EXPECT_STREQ(t.original_path, (from / "data.bin").c_str());
    EXPECT_EQ(t.image_size, c.image);
    EXPECT_EQ(t.original_size, c.input);
    ASSERT_EQ(t.last_part, (int)lengths.size() - 1);
    EXPECT_EQ(SizeOf(from / "data_00.exe"), c.image + lengths[0] + 272);
    for (size_t i = 1; i < lengths.size(); i++)
        EXPECT_EQ(SizeOf(from / PartName("data", (int)i)), lengths[i]) << i;
    EXPECT_FALSE(Exists(from / PartName("data", (int)lengths.size())));

    // Joined in another folder than the current one, by a head part of
    // another name.
    CopyFile(from / "data_00.exe", to / "renamed.exe");
    for (size_t i = 1; i < lengths.size(); i++)
        CopyFile(from / PartName("data", (int)i), to / PartName("data", (int)i));
    OpenFolder folder(to.path());
    ASSERT_EQ(JoinParts(&folder.f, (to / "renamed.exe").c_str(), false, false).status, kJoinDone);
    EXPECT_TRUE(ReadBytes(to / "data.bin") == ReadBytes(from / "data.bin"));
    EXPECT_FALSE(Exists(to / "cleaver.exe"));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, RoundTrip,
    ::testing::Values(SplitCase{100, 10, 10241},              // one byte over a slice
                      SplitCase{100, 10, 12288 + 4096},       // whole blocks
                      SplitCase{100, 10, 12288 + 4097},       // one past
                      SplitCase{5000, 10, 3 * 12288 + 1},     // image inside the first block
                      SplitCase{20000, 10, 10241},            // image over a slice: no data in part 0
                      SplitCase{20000, 10, 105 * 12288 + 7},  // more than 99 slices
                      SplitCase{24576, 1400, 5000000}));      // 1.44 MB, the image a whole block

using Splitting = InScratch;

TEST_F(Splitting, RefusesWhatItCannotSplitBeforeWritingAnything)
{
    WritePattern(dir / "one.bin", 10240, 2);
    WritePattern(dir / "two.bin", 20000, 2);
    EXPECT_EQ(Split("missing", 10).status, kSplitNoInput);
    EXPECT_EQ(Split("one.bin", 10).status, kSplitTooSmall);  // exactly one slice
    EXPECT_EQ(SplitFile(&folder.f, "two.bin", 10, "no-image").status, kSplitNoImage);
    EXPECT_FALSE(Exists(dir / "one_00.exe"));
    EXPECT_FALSE(Exists(dir / "two_00.exe"));
}

// A part's name taken by something the split must not write into stops it
// before it writes anything.
TEST_F(Splitting, LeavesAloneWhatIsInThePartsWay)
{
    WritePattern(dir / "a.bin", 3 * 12288, 2);
    WriteBytes(dir / "elsewhere", "not yours");
    WriteBytes(dir / "ro", "mine");
    chmod("ro", 0444);
    const struct {
        const char *part;
        int (*make)(const char *name);
    } obstacles[] = {
        {"a_02.QCB", [](const char *n) { return mkdir(n, 0755); }},
        {"a_01.QCB", [](const char *n) { return symlink("elsewhere", n); }},
        {"a_02.QCB", [](const char *n) { return link("ro", n); }},
        {"a_00.exe", [](const char *n) { return link("a.bin", n); }},  // the input itself
        {"a_01.QCB", [](const char *n) { return mkfifo(n, 0644); }},
    };
    for (const auto &o : obstacles) {
        ASSERT_EQ(o.make(o.part), 0) << o.part;
        SplitResult result = Split("a.bin", 10);
        EXPECT_EQ(result.status, kSplitPartInTheWay) << o.part;
        EXPECT_STREQ(result.part, o.part);
        EXPECT_EQ(system(("rm -r " + std::string(o.part)).c_str()), 0);
        EXPECT_EQ(system("ls | grep -q '^a_0'"), 256) << "written after " << o.part;
    }
    EXPECT_EQ(ReadBytes(dir / "elsewhere"), "not yours");
    EXPECT_EQ(SizeOf(dir / "a.bin"), 3 * 12288);
}

// Lets no file grow beyond `bytes` while it lives, like a nearly full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        struct rlimit limit = old_;
        limit.rlim_cur = bytes;
        signal(SIGXFSZ, SIG_IGN);  // a write past it fails instead
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }

private:
    struct rlimit old_;
};

// A set of four slice files, made from a 100-byte image; "keep" holds the
// input.
class Join : public InScratch {
protected:
    void SetUp() override
    {
        WritePattern(dir / "keep", 4 * 12288 + 500, 2);
        CopyFile(dir / "keep", dir / "r.zip");
        ASSERT_EQ(Split("r.zip", 10).status, kSplitDone);
        ASSERT_EQ(unlink("r.zip"), 0);
        ASSERT_EQ(TrailerOf(dir / "r_00.exe").last_part, 4);
    }
    // Joins, asking for the program copy and the deletion, expecting a
    // failure; nothing may be left but the parts.
    void ExpectFailure(JoinStatus expected, const char *part = "")
    {
        JoinResult result = Rejoin("r_00.exe", true, true);
        EXPECT_EQ(result.status, expected);
        EXPECT_STREQ(result.part, part);
        EXPECT_TRUE(Exists(dir / "r_00.exe"));
        EXPECT_TRUE(Exists(dir / "r_04.QCB"));
        EXPECT_FALSE(Exists(dir / "cleaver.exe"));
        EXPECT_NE(system(("ls " + dir.path() + " | grep -q qcleaver-").c_str()), 0);
    }
};

TEST_F(Join, AMissingOrShortSliceLeavesNoOutputAndDeletesNothing)
{
    ASSERT_EQ(rename("r_03.QCB", "x"), 0);
    ExpectFailure(kJoinPartMissing, "r_03.QCB");
    ASSERT_EQ(rename("x", "r_03.QCB"), 0);
    ASSERT_EQ(truncate("r_02.QCB", 8192), 0);
    ExpectFailure(kJoinPartDamaged, "r_02.QCB");
    EXPECT_FALSE(Exists(dir / "r.zip"));
}

class JoinCopy : public InScratch {
protected:
    JoinCopy() : InScratch(30000) {}
};

TEST_F(JoinCopy, AProgramCopyCutShortIsRemovedAndThePartsKept)
{
    WritePattern(dir / "a.bin", 20000, 2);
    ASSERT_EQ(Split("a.bin", 10).status, kSplitDone);
    ASSERT_EQ(unlink("a.bin"), 0);
    JoinResult result;
    {
        FileSizeLimit limit(25000);  // room for the 20000-byte file, not the program
        result = Rejoin("a_00.exe", true, true);
    }
    EXPECT_EQ(result.status, kJoinDone);
    EXPECT_EQ(result.program_copy, kProgramCopyWriteFailed);
    EXPECT_EQ(SizeOf(dir / "a.bin"), 20000);
    EXPECT_FALSE(Exists(dir / "cleaver.exe"));
    EXPECT_TRUE(Exists(dir / "a_00.exe"));
    EXPECT_TRUE(Exists(dir / "a_01.QCB"));
}

TEST_F(JoinCopy, TheUsersCleaverExeWinsOverTheProgramCopy)
{
    WritePattern(dir / "cleaver.exe", 50000, 2);
    std::string original = ReadBytes(dir / "cleaver.exe");
    ASSERT_EQ(Split("cleaver.exe", 10).status, kSplitDone);
    ASSERT_EQ(unlink("cleaver.exe"), 0);
    ASSERT_EQ(Rejoin("cleaver_00.exe", true, false).status, kJoinDone);
    EXPECT_TRUE(ReadBytes(dir / "cleaver.exe") == original);
}

// Sets made since checksums: every byte is checked.
class Checksum : public Join {
protected:
    void Corrupt(const char *name, int64_t at)
    {
        std::string bytes = ReadBytes(dir / name);
        bytes[(size_t)at] ^= 0x20;
        WriteBytes(dir / name, bytes);
    }
};

TEST_F(Checksum, AFlippedByteOrSwappedSlicesAreRefusedWithNothingWritten)
{
    int64_t head_data_at = SizeOf(dir / "image");
    for (auto flip : {std::make_pair("r_00.exe", head_data_at + 7), std::make_pair("r_03.QCB", 12287L)}) {
        Corrupt(flip.first, flip.second);
        ExpectFailure(kJoinChecksumMismatch);
        EXPECT_FALSE(Exists(dir / "r.zip"));
        Corrupt(flip.first, flip.second);
    }
    ASSERT_EQ(rename("r_01.QCB", "x"), 0);
    ASSERT_EQ(rename("r_02.QCB", "r_01.QCB"), 0);
    ASSERT_EQ(rename("x", "r_02.QCB"), 0);
    ExpectFailure(kJoinChecksumMismatch);
    // The trailer's own record, damaged: no join at all.
    Corrupt("r_00.exe", SizeOf(dir / "r_00.exe") - 272 + 240);
    ExpectFailure(kJoinNoTrailer);
}

// The path is stored while the record fits behind it, else the name alone;
// a name too long for the record is still split below 2 GiB, by the old
// rules, and refused beyond.
TEST_F(Splitting, StoresWhatLeavesRoomForTheRecord)
{
    std::string name = std::string(223, 'n') + ".bin";  // 227 bytes
    WritePattern(dir / name, 20000, 4);
    std::string longer = std::string(224, 'n') + ".bin";
    ASSERT_EQ(symlink(name.c_str(), longer.c_str()), 0);
    struct {
        std::string path, stored;
        bool record;
    } cases[] = {{name, name, true}, {"./" + name, name, true}, {longer, longer, false}};
    for (auto &c : cases) {
        ASSERT_EQ(Split(c.path, 10).status, kSplitDone) << c.path;
        std::string head = c.stored.substr(0, c.stored.size() - 4) + "_00.exe";
        PartSetTrailer t = TrailerOf(dir / head);
        EXPECT_EQ(t.original_path, c.path.size() <= 227 ? c.path : c.stored);
        EXPECT_EQ(t.has_record, c.record) << c.path;
    }
    ASSERT_EQ(truncate(name.c_str(), 2147483648LL), 0);  // sparse
    EXPECT_EQ(Split(longer, 65536).status, kSplitNameTooLongForSize);
    // A name no trailer can hold (Windows allows 255 characters, and so
    // up to 765 bytes), refused before the file is even opened.
    EXPECT_EQ(Split(std::string(300, 'n') + ".bin", 10).status, kSplitNameTooLongToStore);
    EXPECT_FALSE(Exists(dir / (std::string(224, 'n') + "_30.QCB")));
}

// Beyond 4 GiB: sizes and offsets in 64 bits, and the record's size.  The
// input is sparse, with a few marks that must come back where they were.
TEST_F(Splitting, RoundTripsAnInputBeyond4GiB)
{
    const int64_t size = (4LL << 30) + 12345;
    const std::vector<int64_t> marks = {0, (2LL << 30) - 1, 4LL << 30, size - 1};
    WriteSparse(dir / "big.bin", size, marks);
    SplitResult split = Split("big.bin", 65536);
    ASSERT_EQ(split.status, kSplitDone);
    ASSERT_EQ(rename("big.bin", "input.bin"), 0);
    JoinResult join = Rejoin("big_00.exe", false, true);  // the parts go as it ends
    ASSERT_EQ(join.status, kJoinDone);
    EXPECT_TRUE(join.verified && join.crc == split.crc);
    EXPECT_TRUE(HasMarks(dir / "big.bin", size, marks));
}

// Every part is a new file that takes its name once complete: what was in
// the way before, or is planted there while the split runs, is replaced,
// never written into, and the modes are those of new files.
TEST_F(Splitting, WritesEveryPartAsANewFile)
{
    umask(022);
    WritePattern(dir / "a.bin", 5 * 12288, 2);
    std::string input = ReadBytes(dir / "a.bin");
    WriteBytes(dir / "a_00.exe", "an old head part");
    chmod("a_00.exe", 0644);
    WriteBytes(dir / "a_01.QCB", "an old slice");
    chmod("a_01.QCB", 0777);
    Meddle plant([] { ASSERT_EQ(link("a.bin", "a_03.QCB"), 0); });
    ASSERT_EQ(Split("a.bin", 10, &plant.progress).status, kSplitDone);
    EXPECT_TRUE(ReadBytes(dir / "a.bin") == input);
    struct stat head, slice;
    ASSERT_EQ(stat("a_00.exe", &head) | stat("a_01.QCB", &slice), 0);
    EXPECT_EQ(head.st_mode & 0777, 0755u);
    EXPECT_EQ(slice.st_mode & 0777, 0644u);
    ASSERT_EQ(rename("a.bin", "kept"), 0);
    ASSERT_EQ(Rejoin("a_00.exe", false, false).status, kJoinDone);
    EXPECT_TRUE(ReadBytes(dir / "a.bin") == input);
}

// A failure says which call failed and the system's reason, and leaves
// nothing behind.
TEST_F(Splitting, EachFailureCarriesTheSystemsReason)
{
    std::string long_name = std::string(248, 'n') + ".b";  // "_100.QCB" makes 256 bytes
    WritePattern(dir / long_name, 101 * 12288, 3);
    const struct {
        const char *input;
        std::function<void()> meddle;
        rlim_t limit;
        SplitStatus status;
        int code;
        const char *call;
    } cases[] = {
        {"missing.bin", nullptr, RLIM_INFINITY, kSplitNoInput, ENOENT, "open"},
        {long_name.c_str(), nullptr, RLIM_INFINITY, kSplitNamesNotFound, ENAMETOOLONG, "name"},
        {"in.bin", [] { ASSERT_EQ(truncate("in.bin", 30000), 0); }, RLIM_INFINITY,
         kSplitReadFailed, kErrorEndedEarly, "read"},
        {"in.bin", nullptr, 10000, kSplitWriteFailed, EFBIG, "write"},
    };
    for (const auto &c : cases) {
        WritePattern(dir / "in.bin", 5 * 12288, 2);
        Meddle meddle(c.meddle);
        SplitResult result;
        {
            FileSizeLimit limit(c.limit);
            result = Split(c.input, 10, &meddle.progress);
        }
        EXPECT_EQ(result.status, c.status) << c.input;
        EXPECT_EQ(result.error.code, c.code) << c.input;
        EXPECT_STREQ(result.error.call, c.call) << c.input;
        EXPECT_EQ(Names(), "in.bin " + long_name + " ") << c.input;
    }
}

// The parts go only when the join has read them, and only while their
// names still stand for the files it read.
TEST_F(Join, DeletesOnlyTheFilesItRead)
{
    WriteBytes(dir / "other", "someone else's");
    WriteBytes(dir / "another", "someone else's too");
    Meddle swap(
        [] {
            ASSERT_EQ(rename("other", "r_00.exe"), 0);
            ASSERT_EQ(rename("another", "r_02.QCB"), 0);
        },
        "r_03");
    JoinResult result = Rejoin("r_00.exe", false, true, &swap.progress);
    ASSERT_EQ(result.status, kJoinDone);
    EXPECT_TRUE(ReadBytes(dir / "r.zip") == ReadBytes(dir / "keep"));
    EXPECT_EQ(Names(), "keep r.zip r_00.exe r_02.QCB ");
    EXPECT_EQ(ReadBytes(dir / "r_00.exe"), "someone else's");
}

// The census of a set without a record, and of one whose record claims
// more slices than any folder holds: it reads the folder once, and judges
// the slices by the rules every split keeps.
struct CensusCase {
    const char *name;
    bool record;
    int64_t last_part;
    std::vector<int64_t> slices;  // -1: missing
    SliceFault fault;
    int64_t fault_index, found;
};

static void PrintTo(const CensusCase &c, std::ostream *os)
{
    *os << c.name;
}

class Counting : public ::testing::TestWithParam<CensusCase> {};

TEST_P(Counting, JudgesTheSlicesFoundInOnePass)
{
    const CensusCase &c = GetParam();
    ScratchDir dir;
    PartSet set = {};
    strcpy(set.trailer.original_path, "o.bin");
    strcpy(set.base, "o");
    set.head_data = 4000;
    set.trailer.last_part = (int32_t)c.last_part;
    set.trailer.original_size = (int32_t)set.head_data;
    for (size_t i = 0; i < c.slices.size(); i++) {
        if (c.slices[i] >= 0)
            WritePattern(dir / PartName("o", (int)i + 1), c.slices[i], 1);
        set.trailer.original_size += (int32_t)std::max<int64_t>(c.slices[i], 0);
    }
    set.trailer.has_record = c.record;
    set.trailer.slice_length = 12288;
    set.trailer.size = c.record ? set.head_data + c.last_part * 12288 : set.trailer.original_size;
    WriteBytes(dir / "o_1.QCB", "");  // not a name the split writes
    OpenFolder folder(dir.path());
    Census census = TakeCensus(&set, &folder.f);
    EXPECT_TRUE(census.listed);
    EXPECT_EQ(census.fault, c.fault);
    EXPECT_EQ(census.fault_index, c.fault_index);
    EXPECT_EQ(census.found, c.found);
    FreeCensus(&census);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, Counting,
    ::testing::Values(
        CensusCase{"Sound", false, 3, {8192, 8192, 100}, kSlicesSound, 0, 3},
        CensusCase{"FullSlicesOffTheBlock", false, 3, {5000, 5000, 100}, kSliceDamaged, 1, 3},
        CensusCase{"AShortMiddleSlice", false, 3, {8192, 4096, 100}, kSliceDamaged, 2, 3},
        CensusCase{"AMissingSlice", false, 3, {8192, -1, 100}, kSliceMissing, 2, 2},
        CensusCase{"ALongLastSlice", true, 2, {12288, 12289}, kSliceDamaged, 2, 2},
        CensusCase{"TwoBillionClaimed", true, 2147483647, {12288}, kSliceMissing, 2, 1}),
    [](const ::testing::TestParamInfo<CensusCase> &info) { return std::string(info.param.name); });
