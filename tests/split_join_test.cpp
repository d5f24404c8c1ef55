// The split and join engines, with small made-up program images.
#include <gtest/gtest.h>

#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "join_engine.h"
#include "split_engine.h"
#include "test_files.h"
#include "trailer.h"

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

static std::string Part(const std::string &base, int i)
{
    char n[8];
    snprintf(n, sizeof n, "%02d", i);
    return base + "_" + n + (i == 0 ? ".exe" : ".QCB");
}

static PartSetTrailer TrailerOf(const std::string &head)
{
    PartSetTrailer t;
    int64_t length;
    EXPECT_TRUE(ReadTrailerOf(head.c_str(), &t, &length));
    return t;
}

struct SplitCase {
    int64_t image, slice_kb, input;
};

static void PrintTo(const SplitCase &c, std::ostream *out)
{
    *out << "image " << c.image << ", " << c.slice_kb << " KB, input " << c.input;
}

class RoundTrip : public ::testing::TestWithParam<SplitCase> {};

TEST_P(RoundTrip, RebuildsTheInputFromPartsOfTheSteppedLengths)
{
    const SplitCase c = GetParam();
    ScratchDir from, to;
    WritePattern(from / "image", c.image, 7);
    WritePattern(from / "data.bin", c.input, 8);
    {
        InDir in(from.path());
        ASSERT_EQ(SplitFile((from / "data.bin").c_str(), (int)c.slice_kb, nullptr,
                            (from / "image").c_str()),
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
        EXPECT_EQ(SizeOf(from / Part("data", (int)i)), lengths[i]) << i;
    EXPECT_FALSE(Exists(from / Part("data", (int)lengths.size())));

    // Joined elsewhere, by a head part of another name.
    CopyFile(from / "data_00.exe", to / "renamed.exe");
    for (size_t i = 1; i < lengths.size(); i++)
        CopyFile(from / Part("data", (int)i), to / Part("data", (int)i));
    InDir in(to.path());
    ASSERT_EQ(JoinParts(nullptr, false, false, (to / "renamed.exe").c_str()), kJoinDone);
    EXPECT_TRUE(ReadBytes(to / "data.bin") == ReadBytes(from / "data.bin"));
    EXPECT_FALSE(Exists(to / "cleaver.exe"));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, RoundTrip,
    ::testing::Values(SplitCase{100, 10, 10241},            // one byte over a slice
                      SplitCase{100, 10, 12288 + 4096},     // whole blocks
                      SplitCase{100, 10, 12288 + 4097},     // one past
                      SplitCase{5000, 10, 3 * 12288 + 1},   // image inside the first block
                      SplitCase{20000, 10, 10241},          // image over a slice: no data in part 0
                      SplitCase{20000, 10, 105 * 12288 + 7},  // more than 99 slices
                      SplitCase{40000, 320, 1000000},        // a preset
                      SplitCase{24576, 1400, 5000000}));    // 1.44 MB, the image a whole block

TEST(Split, RefusesWhatItCannotSplit)
{
    ScratchDir dir;
    InDir in(dir.path());
    WritePattern(dir / "image", 100, 1);
    const char *image = "image";
    testing::internal::CaptureStdout();
    EXPECT_EQ(SplitFile("", 10, nullptr, image), kSplitNoInput);
    EXPECT_EQ(SplitFile("missing", 10, nullptr, image), kSplitNoInput);
    WritePattern(dir / "one.bin", 10240, 2);
    EXPECT_EQ(SplitFile("one.bin", 10, nullptr, image), kSplitBadInputSize);
    WritePattern(dir / "two.bin", 20000, 2);
    EXPECT_EQ(SplitFile("two.bin", 10, nullptr, "no-image"), kSplitNoImage);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Cleaver: Unable to open input file, Please select a file to split.\n"
                       "Cleaver: Unable to open input file, Please select a file to split.\n"
                       "Cleaver: File is too small to split!!\n"
                       "Cleaver: Unable to write header!!\n"),
              std::string::npos)
        << out;
    EXPECT_FALSE(Exists(dir / "two_00.exe"));
    // 2 GiB, sparse: refused before anything is written.
    ASSERT_EQ(truncate((dir / "one.bin").c_str(), 2147483648LL), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(SplitFile("one.bin", 65536, nullptr, image), kSplitBadInputSize);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Cleaver: File is too large"),
              std::string::npos);
    EXPECT_FALSE(Exists(dir / "one_00.exe"));
}

TEST(Split, OverwritesAnEarlierSetAndLeavesItsExtraSlices)
{
    ScratchDir dir;
    InDir in(dir.path());
    WritePattern(dir / "image", 100, 1);
    WritePattern(dir / "a.bin", 6 * 12288, 2);
    ASSERT_EQ(SplitFile("a.bin", 10, nullptr, "image"), kSplitDone);
    std::string old_last = ReadBytes(dir / "a_06.QCB");
    WritePattern(dir / "a.bin", 3 * 12288, 3);
    ASSERT_EQ(SplitFile("a.bin", 10, nullptr, "image"), kSplitDone);
    EXPECT_EQ(TrailerOf(dir / "a_00.exe").last_part, 2);
    EXPECT_EQ(ReadBytes(dir / "a_06.QCB"), old_last);
    struct stat st;
    ASSERT_EQ(stat("a_00.exe", &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);  // the head part can be started
    ASSERT_EQ(stat("a_01.QCB", &st), 0);
    EXPECT_FALSE(st.st_mode & S_IXUSR);

    ASSERT_EQ(rename("a.bin", "original.bin"), 0);
    ASSERT_EQ(JoinParts(nullptr, false, false, "a_00.exe"), kJoinDone);
    EXPECT_EQ(ReadBytes(dir / "a.bin"), ReadBytes(dir / "original.bin"));
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

// A set of four slice files in its own folder, made from a 100-byte image.
class Join : public ::testing::Test {
protected:
    void SetUp() override
    {
        InDir in(dir.path());
        WritePattern(dir / "image", 100, 1);
        WritePattern(dir / "keep", 4 * 12288 + 500, 2);
        CopyFile(dir / "keep", dir / "r.zip");
        ASSERT_EQ(SplitFile("r.zip", 10, nullptr, "image"), kSplitDone);
        ASSERT_EQ(unlink("r.zip"), 0);
        ASSERT_EQ(TrailerOf(dir / "r_00.exe").last_part, 4);
    }
    // Joins, expecting failure; nothing may be left but the parts.
    void ExpectFailure(JoinResult expected, const std::string &message)
    {
        InDir in(dir.path());
        testing::internal::CaptureStdout();
        EXPECT_EQ(JoinParts(nullptr, true, true, "r_00.exe"), expected);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("UnCleaver: " + message), std::string::npos) << out;
        EXPECT_TRUE(Exists(dir / "r_00.exe"));
        EXPECT_FALSE(Exists(dir / "cleaver.exe"));
        EXPECT_EQ(system(("ls " + dir.path() + " | grep -q qcleaver-").c_str()) != 0, true);
    }
    ScratchDir dir;
};

TEST_F(Join, MissingOrShortSliceLeavesNoOutputAndDeletesNothing)
{
    ASSERT_EQ(rename((dir / "r_03.QCB").c_str(), (dir / "x").c_str()), 0);
    ExpectFailure(kJoinIncomplete, "Unable to rebuild r.zip: part r_03.QCB is missing");
    EXPECT_FALSE(Exists(dir / "r.zip"));
    ASSERT_EQ(rename((dir / "x").c_str(), (dir / "r_03.QCB").c_str()), 0);

    ASSERT_EQ(truncate((dir / "r_02.QCB").c_str(), 8192), 0);
    ExpectFailure(kJoinIncomplete, "Unable to rebuild r.zip: part r_02.QCB is damaged or incomplete");
    EXPECT_FALSE(Exists(dir / "r.zip"));
    EXPECT_TRUE(Exists(dir / "r_04.QCB"));
}

TEST_F(Join, KeepsAReadOnlyFileOrFolderOfTheOutputName)
{
    const std::string no_output = "Unable to open output file, make sure there is no file with the "
                                  "same name in the output directory";
    WriteBytes(dir / "r.zip", "mine");
    chmod((dir / "r.zip").c_str(), 0444);
    ExpectFailure(kJoinNoOutput, no_output);
    EXPECT_EQ(ReadBytes(dir / "r.zip"), "mine");
    ASSERT_EQ(unlink((dir / "r.zip").c_str()), 0);

    ASSERT_EQ(mkdir((dir / "r.zip").c_str(), 0755), 0);
    ExpectFailure(kJoinNoOutput, no_output);
    ASSERT_EQ(rmdir((dir / "r.zip").c_str()), 0);

    InDir in(dir.path());
    testing::internal::CaptureStdout();
    EXPECT_EQ(JoinParts(nullptr, false, false, "image.none"), kJoinNoTrailer);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "UnCleaver: Unable to loacte original file information\n");
}

TEST_F(Join, AFullDiskFailsTheJoinAndTheSplit)
{
    FileSizeLimit limit(20000);  // the rebuilt file cannot grow so far
    ExpectFailure(kJoinIncomplete, "Unable to write r.zip, the disk may be full");
    InDir in(dir.path());
    testing::internal::CaptureStdout();
    EXPECT_EQ(SplitFile("keep", 30, nullptr, "image"), kSplitCopyFailed);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Cleaver: Unable to write keep_00.exe, the disk may be full"),
              std::string::npos)
        << out;
    EXPECT_FALSE(Exists(dir / "r.zip"));
}

TEST_F(Join, ReplacesAWritableFileAndWritesTheProgramCopy)
{
    InDir in(dir.path());
    WriteBytes(dir / "r.zip", "an older file");
    ASSERT_EQ(JoinParts(nullptr, true, false, "r_00.exe"), kJoinDone);
    EXPECT_TRUE(ReadBytes(dir / "r.zip") == ReadBytes(dir / "keep"));
    EXPECT_EQ(ReadBytes(dir / "cleaver.exe"), ReadBytes(dir / "image"));
    struct stat st;
    ASSERT_EQ(stat("cleaver.exe", &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    EXPECT_TRUE(Exists(dir / "r_04.QCB"));
}

TEST_F(Join, DeletesThePartsOnlyAfterACompleteJoin)
{
    InDir in(dir.path());
    ASSERT_EQ(JoinParts(nullptr, true, true, "r_00.exe"), kJoinDone);
    for (int i = 0; i <= 4; i++)
        EXPECT_FALSE(Exists(dir / Part("r", i))) << i;
    EXPECT_TRUE(ReadBytes(dir / "r.zip") == ReadBytes(dir / "keep"));
    EXPECT_EQ(ReadBytes(dir / "cleaver.exe"), ReadBytes(dir / "image"));
}

TEST(Split, SaysWhichPartCannotBeCreated)
{
    ScratchDir dir;
    InDir in(dir.path());
    WritePattern(dir / "image", 100, 1);
    WritePattern(dir / "a.bin", 3 * 12288, 2);
    ASSERT_EQ(mkdir("a_02.QCB", 0755), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(SplitFile("a.bin", 10, nullptr, "image"), kSplitCannotCreate);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cleaver: Unable to create part a_02.QCB\n");
}

TEST(JoinCopy, AProgramCopyCutShortIsRemovedAndThePartsKept)
{
    ScratchDir dir;
    InDir in(dir.path());
    WritePattern(dir / "image", 30000, 1);
    WritePattern(dir / "a.bin", 20000, 2);
    ASSERT_EQ(SplitFile("a.bin", 10, nullptr, "image"), kSplitDone);
    ASSERT_EQ(unlink("a.bin"), 0);
    testing::internal::CaptureStdout();
    JoinResult result;
    {
        FileSizeLimit limit(25000);  // room for the 20000-byte file, not the program
        result = JoinParts(nullptr, true, true, "a_00.exe");
    }
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, kJoinDone);
    EXPECT_EQ(out, "UnCleaver: Unable to write cleaver.exe, the disk may be full\n");
    EXPECT_EQ(SizeOf(dir / "a.bin"), 20000);
    EXPECT_FALSE(Exists(dir / "cleaver.exe"));
    EXPECT_TRUE(Exists(dir / "a_00.exe"));
    EXPECT_TRUE(Exists(dir / "a_01.QCB"));
}

TEST(JoinCopy, TheUsersCleaverExeWinsOverTheProgramCopy)
{
    ScratchDir dir;
    InDir in(dir.path());
    WritePattern(dir / "image", 100, 1);
    WritePattern(dir / "cleaver.exe", 50000, 2);
    std::string original = ReadBytes(dir / "cleaver.exe");
    ASSERT_EQ(SplitFile("cleaver.exe", 10, nullptr, "image"), kSplitDone);
    ASSERT_EQ(unlink("cleaver.exe"), 0);
    ASSERT_EQ(JoinParts(nullptr, true, false, "cleaver_00.exe"), kJoinDone);
    EXPECT_TRUE(ReadBytes(dir / "cleaver.exe") == original);
}
