// The Linux program's command line, end to end: splits and joins of each
// kind, checks, sizes, usage, and what it says where a script reads it.
#include <gtest/gtest.h>

#include <string>

#include "format/trailer.h"
#include "split/slice_size.h"
#include "test_files.h"

namespace {

class CommandLine : public ::testing::Test {
protected:
    // Runs the program (a copy named cleaver, or a head part) in the
    // scratch folder; its output, and its exit status in *status.
    std::string Run(const std::string &command, int *status)
    {
        return RunWithInput("cd '" + dir.path() + "' && " + command, "", status);
    }
    std::string Run(const std::string &command, int expected = 0)
    {
        int status = -1;
        std::string out = Run(command, &status);
        EXPECT_EQ(status, expected) << command << "\n" << out;
        return out;
    }
    static bool Has(const std::string &out, const std::string &text)
    {
        return out.find(text) != std::string::npos;
    }
    void SetUp() override { CopyFile(POSIX_PROGRAM, dir / "cleaver"); }
    ScratchDir dir;
};

TEST(SliceSize, TakesWhatPeopleType)
{
    const struct {
        const char *text;
        int64_t bytes;  // -1: refused
    } cases[] = {{"25 MB", 26214400},   {"1.5 mb", 1572864},   {"640", 655360},
                 {" 10 KB ", 10240},    {"4 GB", 4294967295LL}, {"4096M", 4294967295LL},
                 {"2GiB", 2147483648LL}, {"", -1},              {"MB", -1},
                 {"1.55 MB", -1},       {"-5", -1},            {"5 TB", -1},
                 {"4.7 GB", -1},        {"9 KB", -1},          {"1e3", -1}};
    for (const auto &c : cases) {
        int64_t bytes = -1;
        bool taken = ParseSliceSize(c.text, 1024, &bytes) && SliceSizeAllowed(bytes);
        EXPECT_EQ(taken ? bytes : -1, c.bytes) << '"' << c.text << '"';
    }
}

// 25 MB, the mail limit: no part is larger, the head part included; the
// set checks sound, and each way of joining rebuilds the file.
TEST_F(CommandLine, SplitsToTheSizeAskedAndJoinsEachWay)
{
    WritePattern(dir / "mail.zip", 60LL << 20, 3);
    std::string out = Run("./cleaver -s '25 MB' mail.zip");
    EXPECT_TRUE(Has(out, "mail_00.exe: 62914560 bytes in 3 parts, CRC-32 ")) << out;
    for (int i = 0; i < 3; i++)
        EXPECT_LE(SizeOf(dir / PartName("mail", i)), 26214400) << i;
    EXPECT_EQ(SizeOf(dir / "mail_01.QCB"), 26214400);
    EXPECT_EQ(Run("./cleaver --check mail_00.exe"),
              "mail_00.exe: sound\nmail_01.QCB: sound\nmail_02.QCB: sound\n3 of 3 parts sound\n");
    std::string original = ReadBytes(dir / "mail.zip");
    ASSERT_EQ(rename((dir / "mail.zip").c_str(), (dir / "kept").c_str()), 0);
    EXPECT_TRUE(Has(Run("./mail_00.exe --no-copy"), "mail.zip: 62914560 bytes rebuilt"));
    EXPECT_TRUE(ReadBytes(dir / "mail.zip") == original);
    EXPECT_FALSE(Exists(dir / "cleaver.exe"));
    ASSERT_EQ(unlink((dir / "mail.zip").c_str()), 0);
    Run("./cleaver --join mail_00.exe --delete");
    EXPECT_TRUE(ReadBytes(dir / "mail.zip") == original);
    EXPECT_TRUE(Exists(dir / "cleaver.exe") && !Exists(dir / "mail_01.QCB"));
}

// A set for Windows, made here: its head part is the Windows program this
// one carries, byte for byte, and cleaver --join rebuilds it here.
TEST_F(CommandLine, MakesAndJoinsASetForWindows)
{
    if (!Exists(WINDOWS_PROGRAM))
        GTEST_SKIP() << "built without MinGW";
    WritePattern(dir / "r.bin", 3 << 20, 4);
    std::string out = Run("./cleaver --size=1M --for windows r.bin");
    EXPECT_TRUE(Has(out, "; r_00.exe is a Windows program; on Linux, `cleaver --join r_00.exe` "
                         "rebuilds the file\n")) << out;
    std::string windows = ReadBytes(WINDOWS_PROGRAM);
    EXPECT_TRUE(ReadBytes(dir / "r_00.exe").compare(0, windows.size(), windows) == 0);
    ASSERT_EQ(rename((dir / "r.bin").c_str(), (dir / "kept").c_str()), 0);
    Run("./cleaver --join r_00.exe");
    EXPECT_TRUE(ReadBytes(dir / "r.bin") == ReadBytes(dir / "kept"));
    EXPECT_TRUE(ReadBytes(dir / "cleaver.exe") == windows);
}

// --check names what is wrong with each part and writes nothing.
TEST_F(CommandLine, ChecksEveryPart)
{
    const int64_t part = PartSizeFor(POSIX_PROGRAM);
    WritePattern(dir / "c.bin", 5 * part, 5);
    Run("./cleaver -s " + std::to_string(part) + " c.bin");
    ASSERT_EQ(rename((dir / "c_01.QCB").c_str(), (dir / "x").c_str()), 0);
    ASSERT_EQ(rename((dir / "c_02.QCB").c_str(), (dir / "c_01.QCB").c_str()), 0);
    ASSERT_EQ(rename((dir / "x").c_str(), (dir / "c_02.QCB").c_str()), 0);
    ASSERT_EQ(truncate((dir / "c_03.QCB").c_str(), 1000), 0);
    ASSERT_EQ(unlink((dir / "c_04.QCB").c_str()), 0);
    std::string listing = Run("ls -l");
    EXPECT_EQ(Run("./cleaver --check c_00.exe", 1),
              "c_00.exe: sound\nc_01.QCB: holds what c_02.QCB should hold\n"
              "c_02.QCB: holds what c_01.QCB should hold\nc_03.QCB: " + std::to_string(part - 1000) +
              " bytes short\n"
              "c_04.QCB: missing\nc_05.QCB: sound\n2 of 6 parts sound\n");
    EXPECT_EQ(Run("ls -l"), listing);
}

TEST_F(CommandLine, SaysWhatIsWrongWithItsUsageAndItsOutput)
{
    const std::string part = std::to_string(PartSizeFor(POSIX_PROGRAM));
    WritePattern(dir / "u.bin", 3 * PartSizeFor(POSIX_PROGRAM), 6);
    const struct {
        const char *arguments, *says;
    } usages[] = {
        {"--no-copy", "give one FILE, --join=HEAD or --check=HEAD"},
        {"u.bin u.bin", "one FILE at a time"},
        {"-s 9K u.bin", "a part's size is 10K to 4G, not 9K"},
        {"--for=mac u.bin", "--for takes windows or linux, not mac"},
        {"--join x --size 1M", "--size and --for are for a split"},
        {"--delete u.bin", "--no-copy and --delete are for a join"},
        {"--frobnicate", "unknown or incomplete option --frobnicate"},
    };
    for (const auto &u : usages) {
        std::string out = Run(std::string("./cleaver ") + u.arguments + " </dev/null", 2);
        EXPECT_TRUE(Has(out, std::string("cleaver: ") + u.says + "\nTry 'cleaver --help'")) << out;
    }
    EXPECT_TRUE(Has(Run("./cleaver --help"), "Usage: cleaver [-s SIZE]"));
    EXPECT_TRUE(Has(Run("(./cleaver -s " + part + " u.bin >/dev/full)", 1), "standard output: No space left"));
    EXPECT_TRUE(Exists(dir / "u_00.exe"));  // done, all but saying so
    EXPECT_TRUE(Has(Run("./cleaver --join none_00.exe", 1), "cleaver: Unable to loacte original "
                                                            "file information: No such file"));
}

}  // namespace
