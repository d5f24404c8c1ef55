// The split, join and check engines, with small made-up program images: the
// parts they write, what they report when they cannot, and how they stop.
#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string.h>

#include "format/part_layout.h"
#include "join/join_engine.h"
#include "join/part_check.h"
#include "join/part_set.h"
#include "split/split_engine.h"
#include "split/split_report.h"
#include "test_files.h"

namespace {

// The folder a path names, open while the object lives.
struct OpenFolder {
    explicit OpenFolder(const std::string &dir) { EXPECT_TRUE(FolderOfFile((dir + "/x").c_str(), &f, 0)); }
    ~OpenFolder() { FolderClose(&f); }
    Folder f;
};

// Work that does something of its own once, when the engine first reports a
// step at an item whose name holds `at`; it records every item it sees, and
// says stop from step `stop_at` on, where that is not 0.
struct Meddle {
    std::function<void()> act;
    const char *at = "";
    int64_t stop_at = 0, steps = 0;
    std::vector<std::string> items;
    Progress progress;
    Meddle(std::function<void()> a = nullptr, const char *where = "", int64_t stop = 0)
        : act(a), at(where), stop_at(stop)
    {
        ProgressInit(&progress);
        progress.host = this;
        progress.step = [](Progress *p) {
            Meddle *m = (Meddle *)p->host;
            if (m->items.empty() || m->items.back() != p->item)
                m->items.push_back(p->item);
            if (m->act && strstr(p->item, m->at))
                std::exchange(m->act, nullptr)();
            return m->stop_at == 0 || ++m->steps < m->stop_at;
        };
    }
};

PartSetTrailer TrailerOf(const std::string &head)
{
    std::string bytes = std::string(kTrailerSize, '\0') + ReadBytes(head);  // zeros for none
    PartSetTrailer t;
    DecodeTrailer((const unsigned char *)&bytes[bytes.size() - kTrailerSize], &t);
    return t;
}

const SplitOptions kAsked = {false, 0};  // no word to replace anything

// Opens the set of a head part, joins it as asked, and closes it.
JoinResult Rejoin(const std::string &head, bool copy, bool remove, Progress *progress = 0)
{
    PartSet set;
    OpenPartSet(head.c_str(), &set);
    EXPECT_EQ(set.state, kSetReady) << head;
    JoinRequest request;
    request.make_copy = copy;
    request.delete_parts = remove;
    JoinResult result = set.state == kSetReady ? JoinParts(&set, &request, progress) : JoinResult();
    ClosePartSet(&set);
    return result;
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
        ProgramImage image = {"image", 0, 0, false};
        return SplitFile(&folder.f, input.c_str(), slice_kb * 1024, &image, &kAsked, progress);
    }
    ScratchDir dir;
    OpenFolder folder;
    char previous[4096];
};

struct SplitCase { int64_t image, slice, input; };
void PrintTo(const SplitCase &c, std::ostream *os)
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
    OpenFolder split_in(from.path());
    WritePattern(from / "image", c.image, 7);
    WritePattern(from / "data.bin", c.input, 8);
    std::string image_path = from / "image";
    ProgramImage image = {image_path.c_str(), 0, 0, false};
    SplitResult split = SplitFile(&split_in.f, (from / "data.bin").c_str(), c.slice, &image, &kAsked, 0);
    ASSERT_EQ(split.fault, kSplitDone);
    PartSetTrailer t = TrailerOf(from / "data_00.exe");
    EXPECT_TRUE(from / "data.bin" == t.original_path && t.image_size == c.image &&
                t.original_size32 == c.input && t.last_part == split.last_part);
    EXPECT_LE(SizeOf(from / "data_00.exe"), c.slice);
    CopyFile(from / "data_00.exe", to / "renamed.exe");
    for (int i = 1; i <= split.last_part; i++) {
        int64_t length = SizeOf(from / PartName("data", i));
        EXPECT_TRUE(i < split.last_part ? length == c.slice : length > 0 && length <= c.slice) << i;
        CopyFile(from / PartName("data", i), to / PartName("data", i));
    }
    EXPECT_FALSE(Exists(from / PartName("data", split.last_part + 1)));
    ASSERT_EQ(Rejoin(to / "renamed.exe", false, false).status, kJoinDone);
    EXPECT_TRUE(ReadBytes(to / "data.bin") == ReadBytes(from / "data.bin"));
}

INSTANTIATE_TEST_SUITE_P(Sizes, RoundTrip, ::testing::Values(
    SplitCase{100, 10240, 10241},           // one byte over a part
    SplitCase{5000, 10240, 3 * 10240 + 1},  // one byte into the last slice
    SplitCase{9870, 10240, 30000},          // a head part with no data: the program and the trailer
    SplitCase{100, 10240, 105 * 10240 + 7}, // more than 99 slices
    SplitCase{24576, 1400 * 1024, 5000000}));  // 1.44 MB

using Splitting = InScratch;

// A name of any length keeps its checksums: the trailer holds the path where the record fits
// behind it, else the name's start, cut between characters, and the extension the whole name.
TEST_F(Splitting, KeepsNamesOfAnyLengthWithTheirChecksums)
{
    std::string name;
    for (int i = 0; i < 60; i++)
        name += "\xC3\xA9";  // é, two bytes: 120
    name += std::string(122, 'n') + ".bin";  // 246 bytes: more than the trailer holds, less than a
                                             // file system's limit with "_00.exe" for ".bin"
    WritePattern(dir / name, 30000, 4);
    ASSERT_EQ(Split("./" + name, 10).fault, kSplitDone);
    std::string stem = name.substr(0, name.size() - 4);
    PartSetTrailer t = TrailerOf(dir / (stem + "_00.exe"));
    EXPECT_TRUE(t.has_record && t.record_version == 3);
    EXPECT_EQ(std::string(t.original_path), name.substr(0, 227));  // 'n's from byte 120: a clean cut
    ASSERT_EQ(rename(name.c_str(), "kept"), 0);
    ASSERT_EQ(Rejoin(stem + "_00.exe", false, false).status, kJoinDone);
    EXPECT_TRUE(ReadBytes(dir / name) == ReadBytes(dir / "kept"));
}

// Parts of 4 GB, the largest FAT32 holds, from a sparse input of 9 GiB, in
// 64 bits: three parts, none larger, whose marks come back where they were.
TEST_F(Splitting, CutsNineGigabytesIntoParts4GBLarge)
{
    const int64_t size = 9LL << 30;
    const std::vector<int64_t> marks = {0, (4LL << 30) - 1, 4LL << 30, (8LL << 30) + 5, size - 1};
    WriteSparse(dir / "big.bin", size, marks);
    ProgramImage image = {"image", 0, 0, false};
    SplitResult split = SplitFile(&folder.f, "big.bin", kMaxSliceBytes, &image, &kAsked, 0);
    ASSERT_EQ(split.fault, kSplitDone);
    ASSERT_EQ(split.last_part, 2);
    for (int i = 0; i < 3; i++)
        EXPECT_LE(SizeOf(dir / PartName("big", i)), kMaxSliceBytes) << i;
    ASSERT_EQ(rename("big.bin", "input.bin"), 0);
    JoinResult join = Rejoin("big_00.exe", false, true);  // the parts go as it ends
    ASSERT_EQ(join.status, kJoinDone);
    EXPECT_TRUE(join.verified && join.crc == split.crc);
    EXPECT_TRUE(HasMarks(dir / "big.bin", size, marks));
}

// A megabyte of zeros stays a hole, as cp leaves one, in the parts and in
// the rebuilt file; a part and a file that end in zeros end where they should.
TEST_F(Splitting, LeavesHolesWhereTheInputHasZeros)
{
    const int64_t mib = 1 << 20;
    std::string bytes(8 * mib + 12345, '\0');
    for (int64_t i = 0; i < mib; i++)
        bytes[(size_t)i] = bytes[(size_t)(3 * mib + i)] = (char)(i % 251 + 1);
    WriteBytes(dir / "z.bin", bytes);
    ASSERT_EQ(Split("z.bin", 3 * 1024).fault, kSplitDone);
    auto stored = [](const std::string &path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 ? (int64_t)st.st_blocks * 512 : -1;
    };
    int64_t parts_stored = 0;
    for (int i = 0; i < 3; i++) {
        if (i < 2)  // the first slice ends in a hole
            EXPECT_EQ(SizeOf(dir / PartName("z", i)), 3 * mib);
        parts_stored += stored(dir / PartName("z", i));
    }
    EXPECT_LT(parts_stored, 5 * mib);
    ASSERT_EQ(rename("z.bin", "input.bin"), 0);
    ASSERT_EQ(Rejoin("z_00.exe", false, false).status, kJoinDone);
    EXPECT_TRUE(ReadBytes(dir / "z.bin") == bytes);
    EXPECT_LT(stored(dir / "z.bin"), 5 * mib);
}

// The holes of a sparse input are passed over unread, yet count in the
// checksums and in the recovery parts as the zeros they are: a slice lost
// from such a set is rebuilt.
TEST_F(Splitting, PassesHolesUnreadYetCountsTheirZeros)
{
    const int64_t mib = 1 << 20;
    std::string bytes(8 * mib + 12345, '\0');
    for (int64_t i = 0; i < mib; i++)
        bytes[(size_t)i] = bytes[(size_t)(3 * mib + i)] = (char)(i % 251 + 1);
    WriteSparse(dir / "z.bin", (int64_t)bytes.size(), {});
    {
        std::fstream out(dir / "z.bin", std::ios::binary | std::ios::in | std::ios::out);
        out.write(bytes.data(), mib).seekp(3 * mib).write(bytes.data() + 3 * mib, mib);
    }
    ProgramImage image = {"image", 0, 0, false};
    SplitOptions options = {false, 0, 1};
    ASSERT_EQ(SplitFile(&folder.f, "z.bin", 3 * mib, &image, &options, 0).fault, kSplitDone);
    ASSERT_EQ(rename("z.bin", "input.bin"), 0);
    ASSERT_EQ(unlink(PartName("z", 1).c_str()), 0);
    JoinResult join = Rejoin("z_00.exe", false, false);
    ASSERT_EQ(join.status, kJoinDone);
    EXPECT_EQ(join.fault_count, 1);
    EXPECT_TRUE(ReadBytes(dir / "z.bin") == bytes);
}

// A head part for Windows stays within what Windows starts, whatever the slices' size.
TEST(Planning, KeepsAWindowsHeadPartWithinWhatWindowsStarts)
{
    PartLayout plan = PlanParts(60000, kMaxWindowsHeadBytes, kMaxSliceBytes, 9LL << 30, 4, 272);
    EXPECT_EQ(60000 + plan.head_data + (plan.last_part + 1) * 4 + 272, kMaxWindowsHeadBytes);
    EXPECT_EQ(plan.slice_length, kMaxSliceBytes);
}

// Every part is a new file named once all are complete: a file in the way, on the user's word
// or planted while the split runs, is replaced, never written into, and the modes are those of
// new files.  A link, a folder, a pipe or the input under a part's name stops the split first,
// and a file of no set stops it without the user's word.
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
        SCOPED_TRACE(o.part);
        ASSERT_EQ(o.make(o.part), 0) << strerror(errno);
        SplitResult result = Split("a.bin", 10);
        EXPECT_EQ(result.fault, kSplitPartInTheWay);
        EXPECT_STREQ(result.part, o.part);
        EXPECT_EQ(remove(o.part), 0);
        EXPECT_EQ(Names(dir.path()), (NameSet{"a.bin", "image"}));
    }
    WriteBytes(dir / "a_00.exe", "an old head part");
    chmod("a_00.exe", 0644);
    WriteBytes(dir / "a_01.QCB", "an old slice");
    chmod("a_01.QCB", 0777);
    EXPECT_EQ(Split("a.bin", 10).fault, kSplitStrayPartInTheWay);
    Meddle plant{[] { ASSERT_EQ(link("a.bin", "a_03.QCB"), 0); }, "_01"};
    ProgramImage image = {"image", 0, 0, false};
    SplitOptions force = {true, 0};
    ASSERT_EQ(SplitFile(&folder.f, "a.bin", 10240, &image, &force, &plant.progress).fault, kSplitDone);
    EXPECT_TRUE(ReadBytes(dir / "a.bin") == input);
    struct stat head, slice;
    ASSERT_EQ(stat("a_00.exe", &head) | stat("a_01.QCB", &slice), 0);
    EXPECT_EQ(std::make_pair(head.st_mode & 0777, slice.st_mode & 0777), std::make_pair(0755u, 0644u));
    ASSERT_EQ(rename("a.bin", "kept"), 0);
    ASSERT_EQ(Rejoin("a_00.exe", false, false).status, kJoinDone);
    EXPECT_TRUE(ReadBytes(dir / "a.bin") == input);
}

// A split that fails or is refused says why, against the file concerned, and leaves the folder
// as it found it: an earlier set of the same file keeps every part, since no part takes its
// name before all are written, and those moved aside come back.
struct Failing {
    const char *name;
    const char *input;
    int slice_kb;
    std::function<void()> meddle;  // once the first slice is being written
    rlim_t limit;                  // the largest a file may grow
    int64_t stop_at;               // the user stops the split at this step
    SplitFault fault;
    SplitStep step;  // for kSplitFileFailed
    int code;
    const char *call, *path;
    const char *planted = "";  // what the meddling left, which the split must leave too
};
void PrintTo(const Failing &f, std::ostream *os) { *os << f.name; }

class SplitFailure : public InScratch, public ::testing::WithParamInterface<Failing> {};

TEST_P(SplitFailure, SaysWhyAndLeavesTheFolderAsItWas)
{
    const Failing &f = GetParam();
    WritePattern(dir / "report.pdf", 5 * 12288, 2);
    ASSERT_EQ(Split("report.pdf", 12).fault, kSplitDone);
    // Each file by its name and a hash of its bytes, which a failure prints briefly.
    std::map<std::string, size_t> before;
    for (const std::string &name : Names(dir.path()))
        before[name] = std::hash<std::string>()(ReadBytes(dir / name));
    Meddle meddle{f.meddle, "_01", f.stop_at};
    SplitResult result =
        UnderFileSizeLimit(f.limit, [&] { return Split(f.input, f.slice_kb, &meddle.progress); });
    EXPECT_EQ(result.fault, f.fault);
    if (f.fault == kSplitFileFailed)
        EXPECT_EQ(result.step, f.step);
    EXPECT_EQ(std::make_tuple(result.error.code, std::string(result.error.call), std::string(result.error.path)),
              std::make_tuple(f.code, std::string(f.call), std::string(f.path)));
    if (f.planted[0])
        EXPECT_EQ(unlink(f.planted), 0);
    std::map<std::string, size_t> after;
    for (const std::string &name : Names(dir.path()))
        after[name] = name == "report.pdf" ? before[name] : std::hash<std::string>()(ReadBytes(dir / name));
    EXPECT_EQ(after, before);
}

std::string LongName() { return std::string(248, 'n') + ".b"; }  // "_100.QCB" makes 256 bytes

INSTANTIATE_TEST_SUITE_P(Cases, SplitFailure, ::testing::Values(
    Failing{"Missing", "missing.pdf", 10, nullptr, RLIM_INFINITY, 0, kSplitFileFailed, kSplitOpeningInput, ENOENT, "open",
            "missing.pdf"},
    // A read-only file planted under the last slice's name while the parts are written: the
    // earlier set's slices already renamed aside come back.
    Failing{"NameTakenMeanwhile", "report.pdf", 10, [] {
                WriteBytes("report_06.QCB", "mine"), chmod("report_06.QCB", 0444);
            }, RLIM_INFINITY, 0, kSplitFileFailed, kSplitCreatingPart, EEXIST, "rename", "report_06.QCB", "report_06.QCB"},
    Failing{"ExactlyOneSlice", "report.pdf", 60, nullptr, RLIM_INFINITY, 0, kSplitTooSmall, kSplitOpeningInput, 0, "", ""},
    Failing{"Shrinks", "report.pdf", 10, [] { ASSERT_EQ(truncate("report.pdf", 30000), 0); },
            RLIM_INFINITY, 0, kSplitFileFailed, kSplitReadingInput, kErrorEndedEarly, "read", "report.pdf"},
    Failing{"Grows", "report.pdf", 10, [] { WriteBytes("report.pdf", std::string(99999, 'g')); },
            RLIM_INFINITY, 0, kSplitInputChanged, kSplitOpeningInput, 0, "", ""},
    Failing{"FileSizeLimit", "report.pdf", 10, nullptr, 10000, 0, kSplitFileFailed, kSplitWritingPart, EFBIG, "write",
            "report_01.QCB"},
    Failing{"StoppedWriting", "report.pdf", 10, nullptr, RLIM_INFINITY, 10, kSplitCancelled, kSplitOpeningInput, 0, "", ""},
    Failing{"StoppedAtTheLastSlice", "report.pdf", 10, nullptr, RLIM_INFINITY, 14, kSplitCancelled, kSplitOpeningInput, 0,
            "", ""}),
    [](const ::testing::TestParamInfo<Failing> &info) { return std::string(info.param.name); });

TEST_F(Splitting, SaysWhyItRefusesBeforeWriting)
{
    WritePattern(dir / LongName(), 101 * 12288, 3);
    SplitResult named = Split(LongName(), 10);
    EXPECT_EQ(std::make_tuple(named.fault, named.step, named.error.code),
              std::make_tuple(kSplitFileFailed, kSplitNamingParts, ENAMETOOLONG));
    ProgramImage none = {"no-image", 0, 0, false};
    SplitResult no_image = SplitFile(&folder.f, LongName().c_str(), 10240, &none, &kAsked, 0);
    EXPECT_EQ(std::make_pair(no_image.fault, no_image.step), std::make_pair(kSplitFileFailed, kSplitReadingProgram));
    WritePattern(dir / "image", 20000, 1);  // a program larger than a part
    SplitResult small = Split(LongName(), 10);
    EXPECT_EQ(std::make_tuple(small.fault, small.least, small.table_too_large),
              std::make_tuple(kSplitPartsTooSmall, 21504L, false));
    EXPECT_EQ(Names(dir.path()), (NameSet{"image", LongName()}));
}

// A set of four slice files from a 100-byte image; "keep" holds the input.
class Join : public InScratch {
protected:
    void SetUp() override
    {
        WritePattern(dir / "r.zip", 4 * 12288 + 500, 2);
        ASSERT_EQ(Split("r.zip", 12).fault, kSplitDone);
        ASSERT_EQ(rename("r.zip", "keep"), 0);
    }
};

// The parts go once read, and only while their names still stand for the files read.
TEST_F(Join, DeletesOnlyTheFilesItRead)
{
    WriteBytes(dir / "other", "someone else's");
    WriteBytes(dir / "another", "someone else's too");
    Meddle swap{[] { ASSERT_FALSE(rename("other", "r_00.exe") || rename("another", "r_02.QCB")); },
                "r_03"};
    JoinResult result = Rejoin("r_00.exe", false, true, &swap.progress);
    ASSERT_EQ(result.status, kJoinDone);
    EXPECT_EQ(result.deletion, kDeletionDone);
    EXPECT_TRUE(ReadBytes(dir / "r.zip") == ReadBytes(dir / "keep"));
    EXPECT_EQ(Names(dir.path()), (NameSet{"image", "keep", "r.zip", "r_00.exe", "r_02.QCB"}));
    EXPECT_EQ(ReadBytes(dir / "r_00.exe"), "someone else's");
}

// The progress names each part as it is read, from the head part on, and the program copy.
TEST_F(Join, NamesEachPartItIsAt)
{
    Meddle watch;
    ASSERT_EQ(Rejoin("r_00.exe", true, false, &watch.progress).status, kJoinDone);
    EXPECT_EQ(watch.items, (std::vector<std::string>{"r_00.exe", "r_01.QCB", "r_02.QCB", "r_03.QCB",
                                                     "r_04.QCB", "cleaver.exe"}));
}

// A stopped check tells the parts it read, and no part it did not: a stop is no fault.
TEST_F(Join, AStoppedCheckTellsNoMore)
{
    for (int64_t stop_at : {1, 3, 100}) {
        SCOPED_TRACE(stop_at);
        PartSet set;
        OpenPartSet("r_00.exe", &set);
        Meddle stop{nullptr, "", stop_at};
        std::vector<PartFault> told;
        CheckResult result = CheckParts(&set, [](void *c, const PartSet *, const PartState *p) {
            ((std::vector<PartFault> *)c)->push_back(p->fault);
        }, &told, &stop.progress);
        ClosePartSet(&set);
        EXPECT_EQ(result.stopped, stop_at < 100);
        EXPECT_EQ(told, std::vector<PartFault>(stop_at < 100 ? told.size() : 5, kPartSound));
        EXPECT_LT(told.size(), stop_at < 100 ? 5u : 6u);
    }
}

// A slice of zeros (a download allocated but never written) in a file with a stretch of zeros
// matches another part's checksum by chance: it is damaged, not in another's place.
TEST_F(InScratch, AnUnfilledSliceIsDamagedNotSwapped)
{
    std::string data = PatternBytes(5 * 12288, 4);
    data.replace(11000, 29000, std::string(29000, '\0'));  // slice 2 zeros, wherever the head part ends
    WriteBytes(dir / "z.bin", data);
    ASSERT_EQ(Split("z.bin", 12).fault, kSplitDone);
    ASSERT_TRUE(ReadBytes(dir / "z_02.QCB") == std::string(12288, '\0'));
    WriteBytes(dir / "z_04.QCB", std::string(SizeOf(dir / "z_04.QCB"), '\0'));
    PartSet set;
    OpenPartSet("z_00.exe", &set);
    std::vector<PartState> told;
    CheckParts(&set, [](void *c, const PartSet *, const PartState *p) {
        ((std::vector<PartState> *)c)->push_back(*p);
    }, &told, 0);
    ClosePartSet(&set);
    ASSERT_EQ(told.size(), 6u);
    EXPECT_EQ(told[2].fault, kPartSound);
    EXPECT_EQ(told[4].fault, kPartDamaged);
}

// The census of sets without a record, or claiming more slices than a folder holds, reads the
// folder once and judges every slice by the rules every split keeps.
struct CensusCase {  // slices: their lengths, -1 for a missing one; recorded: what they hold
    const char *name; bool record; int64_t last_part; std::vector<int64_t> slices;
    int64_t recorded; int64_t at_fault, first_fault, found;
};
void PrintTo(const CensusCase &c, std::ostream *os) { *os << c.name; }

class Counting : public ::testing::TestWithParam<CensusCase> {};

TEST_P(Counting, JudgesEverySliceFoundInOnePass)
{
    const CensusCase &c = GetParam();
    ScratchDir dir;
    int64_t size = 4000 + c.recorded;  // 4000 in the head part
    for (size_t i = 0; i < c.slices.size(); i++)
        if (c.slices[i] >= 0)
            WritePattern(dir / PartName("o", (int)i + 1), c.slices[i], 1);
    WriteBytes(dir / "o_1.QCB", "");  // not a name the split writes
    PartSetTrailer t = {"o.bin", 100, (int32_t)size, (int32_t)c.last_part};
    if (c.record) {
        t.has_record = true;
        t.record_version = 1;
        t.size = 4000 + c.last_part * 12288;
        t.original_size32 = (int32_t)std::min<int64_t>(t.size, kSizeOverflow);
        t.slice_length = 12288;
    }
    unsigned char trailer[kTrailerSize];
    EncodeTrailer(&t, trailer);
    WriteBytes(dir / "o_00.exe", std::string(4100, 'h') + std::string((char *)trailer, kTrailerSize));
    PartSet set;
    OpenPartSet((dir / "o_00.exe").c_str(), &set);
    EXPECT_EQ(set.state, kSetReady);
    EXPECT_EQ(std::make_tuple(set.census.at_fault, set.census.first_fault, set.census.found),
              std::make_tuple(c.at_fault, c.first_fault, c.found));
    ClosePartSet(&set);
}

INSTANTIATE_TEST_SUITE_P(Sets, Counting, ::testing::Values(
    CensusCase{"Sound", false, 3, {8192, 8192, 100}, 16484, 0, 0, 3},
    CensusCase{"FullSlicesOffTheBlock", false, 3, {5000, 5000, 100}, 10100, 2, 1, 3},
    CensusCase{"AShortMiddleSlice", false, 3, {8192, 4096, 100}, 16484, 1, 2, 3},
    CensusCase{"TwoShortSlices", false, 5, {8192, 4096, 8192, 1000, 100}, 32868, 2, 2, 5},
    CensusCase{"AMissingSlice", false, 3, {8192, -1, 100}, 16484, 1, 2, 2},
    CensusCase{"ALongLastSlice", true, 2, {12288, 12289}, 0, 1, 2, 2},
    CensusCase{"TwoBillionClaimed", true, 2147483647, {12288}, 0, 2147483646, 2, 1}),
    [](const ::testing::TestParamInfo<CensusCase> &info) { return std::string(info.param.name); });

// The words of every failure a split reports, one per shape of its result,
// names shown with '?' for a control character.
struct Told {
    const char *name;
    SplitFault fault;
    SplitStep step;
    std::function<void(SplitResult *)> detail;
    const char *text;
    const char *input = "/in/rep\tort.pdf";
};
void PrintTo(const Told &t, std::ostream *os) { *os << t.name; }

class SplitReport : public ::testing::TestWithParam<Told> {};

TEST_P(SplitReport, SaysWhatWentWrong)
{
    const Told &t = GetParam();
    SplitResult r;
    r.fault = t.fault, r.step = t.step;
    strcpy(r.part, "rep\nort_02.QCB");
    if (t.detail)
        t.detail(&r);
    char text[4 * kPathSize];
    EXPECT_EQ(DescribeSplitFailure(&r, t.input, "/out/", text, sizeof text), t.text[0] != 0);
    EXPECT_STREQ(text, t.text);
}

auto Failure(int code, const char *call, const char *path)
{
    return [=](SplitResult *r) { SetError(&r->error, code, call, path); };
}

const SplitStep kAny = kSplitOpeningInput;
INSTANTIATE_TEST_SUITE_P(Sentences, SplitReport, ::testing::Values(
    Told{"Done", kSplitDone, kAny, nullptr, ""},
    Told{"Stopped", kSplitCancelled, kAny, nullptr, ""},
    Told{"NoInput", kSplitFileFailed, kSplitOpeningInput, Failure(ENOENT, "open", "x"),
         "Unable to open input file /in/rep?ort.pdf: No such file or directory. Please select a file to split."},
    Told{"NoInputGiven", kSplitFileFailed, kSplitOpeningInput, Failure(ENOENT, "open", "x"),
         "Unable to open input file, Please select a file to split.", ""},
    Told{"NoImage", kSplitFileFailed, kSplitReadingProgram, nullptr, "Unable to write header!!"},
    Told{"NamesTooLong", kSplitFileFailed, kSplitNamingParts, Failure(ENAMETOOLONG, "name", "x"),
         "Unable to split this file here: its name, or the path of its folder, is too long for its parts to "
         "find each other again: File name too long"},
    Told{"CannotCreate", kSplitFileFailed, kSplitCreatingPart, Failure(EEXIST, "rename", "x"),
         "Unable to create part rep?ort_02.QCB: File exists"},
    Told{"DiskFull", kSplitFileFailed, kSplitWritingPart, [](SplitResult *r) {
             SetError(&r->error, ENOSPC, "write", "a_03.QCB"), r->needed = 5000000, r->free_bytes = 1000000;
         }, "Unable to write a_03.QCB, the disk may be full: No space left on device; it needs 3.8 MB more room"},
    Told{"FileTooLarge", kSplitFileFailed, kSplitWritingPart, Failure(EFBIG, "write", "a_03.QCB"),
         "Unable to write a_03.QCB: File too large; the file system of this drive takes no file this large; "
         "choose smaller parts, or a drive formatted NTFS or exFAT"},
    Told{"ReadFailed", kSplitFileFailed, kSplitReadingInput, Failure(EIO, "read", "x"),
         "Unable to read the input file while writing rep?ort_02.QCB: Input/output error"},
    Told{"TooSmall", kSplitTooSmall, kAny, nullptr, "File is too small to split!!"},
    Told{"PartInTheWay", kSplitPartInTheWay, kAny, nullptr,
         "Unable to create part rep?ort_02.QCB: a file of that name is read-only, a link, a folder or the "
         "input itself, and is left alone"},
    Told{"NotAWindowsName", kSplitNotAWindowsName, kAny, [](SplitResult *r) { r->why_not_windows = "why"; },
         "Unable to make a set for Windows of rep?ort.pdf: why; rename the file and try again"},
    Told{"AnotherSet", kSplitOtherSetInTheWay, kAny, nullptr,
         "Unable to create part rep?ort_02.QCB: it is the head part of another set, whose parts have the names "
         "of this one's; move them, or choose to replace them"},
    Told{"ProgramTooLarge", kSplitPartsTooSmall, kAny, [](SplitResult *r) { r->least = 21504; },
         "Parts this small cannot hold the program: choose parts of at least 21 KB"},
    Told{"StrayPart", kSplitStrayPartInTheWay, kAny, nullptr,
         "Unable to create part rep?ort_02.QCB: a file of that name is there, of no set beside it; move it, "
         "or choose to replace it"},
    Told{"AnotherFilesSet", kSplitOtherSetInTheWay, kAny, [](SplitResult *r) { strcpy(r->other, "o\033.zip"); },
         "Unable to create part rep?ort_02.QCB: it is the head part of a set of o?.zip, whose parts have the "
         "names of this one's; move them, or choose to replace them"},
    Told{"TooLarge", kSplitTooLarge, kAny, nullptr, "File is too large to split in parts of this size!!"},
    Told{"InputChanged", kSplitInputChanged, kAny, nullptr,
         "Unable to split /in/rep?ort.pdf: the file changed while it was split; try again once nothing writes "
         "to it"},
    Told{"TableTooLarge", kSplitPartsTooSmall, kAny, [](SplitResult *r) {
             r->least = 1536 * 1024 + 1, r->table_too_large = true;
         }, "Parts this small cannot hold the table of all the parts the file needs at this size: choose parts "
            "of at least 1.6 MB"},
    Told{"NoRoom", kSplitNoRoom, kAny, [](SplitResult *r) { r->needed = 5000000, r->free_bytes = 1000000; },
         "The parts need 4.8 MB; /out/ has 976 KB free"},
    Told{"PartTooLargeForDrive", kSplitPartTooLargeForDrive, kAny, [](SplitResult *r) { r->needed = 5LL << 30; },
         "A part of 5 GB is larger than the file system of /out/ holds; choose smaller parts, or a drive "
         "formatted NTFS or exFAT"},
    Told{"TooManyForRecovery", kSplitTooManyForRecovery, kAny, [](SplitResult *r) { r->least = 3LL << 30; },
         "Recovery parts can cover a set of at most 32768 parts: choose parts of at least 3 GB"}),
    [](const ::testing::TestParamInfo<Told> &info) { return std::string(info.param.name); });

// The line of a split done: what it counts, what it replaced, and how a
// head part for Windows is joined on Linux.
TEST(SplitReport, SaysWhatItMade)
{
    SplitResult r;
    strcpy(r.part, "my rep\nort_00.exe");
    r.size = 6000000000LL, r.last_part = 1, r.crc = 0xabc;
    char line[4 * kPathSize];
    FormatSplitDone(&r, false, line, sizeof line);
    EXPECT_STREQ(line, "'my rep?ort_00.exe': 6000000000 bytes in the head part and 1 slice, CRC-32 00000abc");
    r.last_part = 4, r.recovery = 1, r.replaced = 1;
    FormatSplitDone(&r, true, line, sizeof line);
    EXPECT_STREQ(line, "'my rep?ort_00.exe': 6000000000 bytes in the head part, 4 slices and 1 recovery part, CRC-32 "
                       "00000abc; 1 part of an earlier set of it replaced; my rep?ort_00.exe is a Windows program; "
                       "on Linux, `cleaver --join 'my rep?ort_00.exe'` rebuilds the file");
    r.recovery = 3, r.replaced = 7, r.replaced_others = true;
    FormatSplitDone(&r, false, line, sizeof line);
    EXPECT_STREQ(line, "'my rep?ort_00.exe': 6000000000 bytes in the head part, 4 slices and 3 recovery parts, "
                       "CRC-32 00000abc; 7 parts of others replaced");
}

}  // namespace
