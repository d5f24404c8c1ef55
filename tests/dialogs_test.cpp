// Both dialogs end to end: the Linux program driven through the console
// dialog host, the files checked on disk.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <zlib.h>

#include <string>

#include "test_files.h"

static const int64_t kInputSize = 3 * 1024 * 1024 + 12345;

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        CopyFile(POSIX_PROGRAM, work / "cleaver");
        WritePattern(input / "Data.BIN", kInputSize, 5);
    }
    // Runs a program in folder `in`, commands on its input; its exit status
    // says whether the last split or join it was asked for failed.
    std::string Run(const std::string &in, const std::string &program, const std::string &commands,
                    int status = 0)
    {
        int exited = -1;
        std::string out = RunWithInput("cd '" + in + "' && " + program, commands, &exited);
        EXPECT_EQ(exited, status) << out;
        return out;
    }
    std::string Split(const std::string &commands, int status = 0)
    {
        return Run(work.path(), work / "cleaver", commands, status);
    }
    // Picks the input through the file dialog, by its full name.
    std::string Choose() { return "f\n" + (input / "Data.BIN") + "\n"; }
    int LastPart()
    {
        int last = 0;
        while (Exists(input / PartName("Data", last + 1)))
            last++;
        return last;
    }
    static bool Has(const std::string &out, const std::string &text)
    {
        return out.find(text) != std::string::npos;
    }
    ScratchDir work, input;
};

// Started under another name, the program itself is a head part of an
// empty set; it opens the join dialog and OK has no name to write.
TEST_F(Dialogs, TheNameChoosesTheDialogAndTheProgramHoldsAnEmptySet)
{
    // The Windows image ends in zeros too, as the Linux one shows below.
    std::string windows = Exists(WINDOWS_PROGRAM) ? ReadBytes(WINDOWS_PROGRAM) : std::string(272, 0);
    EXPECT_EQ(windows.substr(windows.size() - 272), std::string(272, '\0'));
    CopyFile(POSIX_PROGRAM, work / "CLEAVER");  // a copy: the kernel resolves links
    EXPECT_TRUE(Has(Run(work.path(), "./CLEAVER", ""), "File ..."));
    CopyFile(POSIX_PROGRAM, work / "cleaver.bak.exe");
    std::string out = Run(work.path(), "./cleaver.bak.exe", "o\n", 1);
    EXPECT_TRUE(Has(out, "File Name: \n     File Size: 0\n     Parts: 0\n     Found: 0\n")) << out;
    EXPECT_FALSE(Has(out, "(disabled)")) << out;
    EXPECT_TRUE(Has(out, "UnCleaver: Unable to open output file, make sure there is no file with "
                         "the same name in the output directory"))
        << out;
}

TEST_F(Dialogs, SplitWithEachSizeThenJoinElsewhere)
{
    struct {
        const char *commands;
        int64_t slice;
    } sizes[] = {{"3\n", 327680}, {"7\n", 696320}, {"", 1433600}, {"u\n  64kb\n", 65536}};
    for (auto &size : sizes) {
        // Chosen from another folder: the parts go beside the input, and the
        // name keeps its case where names do not ignore case.
        std::string out = Split(Choose() + size.commands + "o\n");
        ASSERT_TRUE(Has(out, "Input file: [" + (input / "Data.BIN") + "]")) << out;
        EXPECT_EQ(SizeOf(input / "Data_01.QCB"), size.slice) << size.commands;
        int last = LastPart();
        // The checksum a user can compare with other tools' CRC-32.
        std::string data = ReadBytes(input / "Data.BIN");
        char crc[16];
        snprintf(crc, sizeof crc, "%08lx", crc32(0, (const Bytef *)data.data(), (uInt)data.size()));
        EXPECT_TRUE(Has(out, "\nData_00.exe: " + std::to_string(kInputSize) + " bytes in " +
                                 std::to_string(last + 1) + " parts, CRC-32 " + crc + "\n"))
            << out;

        ScratchDir set;
        for (int i = 0; i <= last; i++)
            CopyFile(input / PartName("Data", i), set / PartName("Data", i));
        out = Run(set.path(), "./Data_00.exe", "o\n");
        EXPECT_TRUE(Has(out, "File Name: Data.BIN\n     File Size: " + std::to_string(kInputSize) +
                                 "\n     Parts: " + std::to_string(last) +
                                 "\n     Found: " + std::to_string(last) + "\n"))
            << out;
        EXPECT_TRUE(Has(out, "\nData.BIN: " + std::to_string(kInputSize) + " bytes rebuilt, CRC-32 " +
                                 crc + " verified\n"))
            << out;
        EXPECT_TRUE(ReadBytes(set / "Data.BIN") == data);
        EXPECT_EQ(ReadBytes(set / "cleaver.exe"), ReadBytes(POSIX_PROGRAM));
        EXPECT_TRUE(Has(Run(set.path(), "./cleaver.exe", ""), "File ..."));
        EXPECT_EQ(system(("rm -f '" + input.path() + "'/Data_*").c_str()), 0);
    }
}

// A name that does not exist is asked again; cancelling empties the field.
TEST_F(Dialogs, SplitRefusesNoInput)
{
    std::string out = Split("o\nf\nnone.bin\n" + (input / "Data.BIN") + "\nf\n\no\n", 1);
    EXPECT_TRUE(Has(out, "Cleaver: Unable to open input file, Please select a file to split.\n"))
        << out;
    EXPECT_TRUE(Has(out, "none.bin: No such file or directory.")) << out;
    EXPECT_TRUE(Has(out, "Input file: [" + (input / "Data.BIN") + "]")) << out;
    EXPECT_TRUE(Has(out.substr(out.rfind("QCleaver")), "Input file: []")) << out;
    EXPECT_FALSE(Exists(input / "Data_00.exe"));
}

TEST_F(Dialogs, JoinNeedsEverySliceAndDeletesOnlyOnRequest)
{
    Split(Choose() + "3\no\n");
    int last = LastPart();
    ASSERT_GE(last, 8);
    ASSERT_EQ(rename((input / "Data.BIN").c_str(), (work / "original").c_str()), 0);
    ASSERT_EQ(rename((input / "Data_04.QCB").c_str(), (work / "Data_04.QCB").c_str()), 0);

    std::string out = Run(input.path(), "./Data_00.exe", "o\nc\n");
    EXPECT_TRUE(Has(out, "Parts: " + std::to_string(last) + "\n     Found: " +
                             std::to_string(last - 1) + "\n"))
        << out;
    EXPECT_TRUE(Has(out, "o  <OK>  (disabled)")) << out;
    EXPECT_TRUE(Has(out, "OK is disabled.")) << out;
    EXPECT_FALSE(Exists(input / "Data.BIN"));

    ASSERT_EQ(rename((work / "Data_04.QCB").c_str(), (input / "Data_04.QCB").c_str()), 0);
    out = Run(input.path(), "./Data_00.exe", "d\nm\no\n");
    EXPECT_TRUE(Has(out, "[ ] Create a copy of Cleaver\n  d  [x] Delete parts when finished")) << out;
    EXPECT_TRUE(ReadBytes(input / "Data.BIN") == ReadBytes(work / "original"));
    EXPECT_FALSE(Exists(input / "cleaver.exe"));
    for (int i = 0; i <= last; i++)
        EXPECT_FALSE(Exists(input / PartName("Data", i))) << i;
}

// Special files never hold the program up: a pipe among the slices is a
// missing slice, a pipe chosen as input is no file.
TEST_F(Dialogs, APipeIsNoFileAndHoldsNothingUp)
{
    Split(Choose() + "o\n");
    ASSERT_EQ(unlink((input / "Data_02.QCB").c_str()), 0);
    ASSERT_EQ(mkfifo((input / "Data_02.QCB").c_str(), 0644), 0);
    std::string out = Run(input.path(), "timeout 10 ./Data_00.exe", "o\n");
    EXPECT_TRUE(Has(out, "o  <OK>  (disabled)")) << out;
    ASSERT_EQ(mkfifo((input / "pipe").c_str(), 0644), 0);
    out = Split("f\n" + (input / "pipe") + "\n");
    EXPECT_TRUE(Has(out, "pipe: not a file.")) << out;
}

// POSIX names: a backslash is a character like any other, and a path is as
// long as the system allows.
TEST_F(Dialogs, AnyNameThatSplitsJoinsUnderTheSameName)
{
    WritePattern(input / "dir\\y.bin", 30000, 6);
    Split("f\n" + (input / "dir\\y.bin") + "\nu\n10\no\n");
    ASSERT_TRUE(Exists(input / "dir\\y_00.exe"));
    ASSERT_EQ(rename((input / "dir\\y.bin").c_str(), (work / "kept").c_str()), 0);
    Run(input.path(), "'./dir\\y_00.exe'", "o\n");
    EXPECT_TRUE(ReadBytes(input / "dir\\y.bin") == ReadBytes(work / "kept"));

    // In a folder deeper than 1 KB, a name too long for a checksum, and
    // the head part started from another folder: the set is found, and the
    // file rebuilt, beside the head part, and said to be unverified.
    std::string deep = input.path();
    while (deep.size() < 2000)
        deep += "/nested-folder";
    ASSERT_EQ(system(("mkdir -p " + deep).c_str()), 0);
    std::string base = deep + "/" + std::string(224, 'n');
    WritePattern(base + ".bin", 30000, 7);
    Split("f\n" + base + ".bin\nu\n10\no\n");
    ASSERT_EQ(rename((base + ".bin").c_str(), (work / "kept").c_str()), 0);
    std::string out = Run(work.path(), "'" + base + "_00.exe'", "o\n");
    EXPECT_TRUE(ReadBytes(base + ".bin") == ReadBytes(work / "kept"));
    EXPECT_TRUE(Has(out, " (the set records none to compare)\n")) << out;
}

// An interruption, or a file-size limit, stops the work; it cleans up and
// the program says so by its exit status.
TEST_F(Dialogs, InterruptedOrLimitedWorkLeavesNoDebris)
{
    std::string big = input / "big.bin";
    WriteBytes(big, "");
    ASSERT_EQ(truncate(big.c_str(), 3LL << 30), 0);  // sparse, and slow enough to interrupt
    std::string split = "f\n" + big + "\nu\n65536\no\n";
    Run(work.path(), "timeout -s INT 1 ./cleaver", split, 124);
    EXPECT_EQ(system(("ls '" + input.path() + "' | grep -q big_").c_str()), 256);

    // On a terminal, standard error shows the work's progress in one line;
    // elsewhere nothing of it appears.
    ASSERT_EQ(truncate(big.c_str(), 2LL << 30), 0);
    WriteBytes(work / "commands", split);
    std::string out = Run(work.path(), "script -qec './cleaver < commands' /dev/null", "");
    EXPECT_TRUE(Has(out, "\r\033[Kbig_")) << out;  // the part being written, and its percentage
    EXPECT_TRUE(Has(out, "%\r\033[Kbig_00.exe: ")) << out;  // cleared before the result
    EXPECT_FALSE(Has(Split(split), "\033[K"));
    ASSERT_EQ(unlink(big.c_str()), 0);
    Run(input.path(), "ulimit -f 100000 && ./big_00.exe", "m\no\n", 1);
    Run(input.path(), "timeout -s INT 0.3 ./big_00.exe", "m\no\n", 124);
    EXPECT_EQ(system(("ls '" + input.path() + "' | grep -q -v '^big_\\|^Data.BIN'").c_str()), 256);
    EXPECT_EQ(SizeOf(input / "big_31.QCB"), 64 << 20);
}

// What a join writes never replaces a part of its own set, never goes
// through a link, and a delete never takes the only copy of the program.
TEST_F(Dialogs, TheJoinReplacesNoPartAndWritesThroughNoLink)
{
    Split(Choose() + "o\n");
    ASSERT_EQ(rename((input / "Data.BIN").c_str(), (work / "original").c_str()), 0);
    ASSERT_EQ(rename((input / "Data_00.exe").c_str(), (input / "Data.BIN").c_str()), 0);
    std::string out = Run(input.path(), "./Data.BIN", "d\no\n", 1);
    EXPECT_TRUE(Has(out, "UnCleaver: Unable to rebuild Data.BIN: it would replace Data.BIN, a "
                         "part of this set; give that part back its own name and try again\n"))
        << out;
    EXPECT_FALSE(Exists(input / "cleaver.exe"));
    EXPECT_TRUE(ReadBytes(input / "Data.BIN").compare(0, 4, "\177ELF") == 0);
    ASSERT_EQ(rename((input / "Data.BIN").c_str(), (input / "Data_00.exe").c_str()), 0);

    WriteBytes(work / "victim", "untouched");
    ASSERT_EQ(symlink((work / "victim").c_str(), (input / "cleaver.exe").c_str()), 0);
    Run(input.path(), "./Data_00.exe", "o\n");
    EXPECT_EQ(ReadBytes(work / "victim"), "untouched");
    EXPECT_EQ(ReadBytes(input / "cleaver.exe"), ReadBytes(POSIX_PROGRAM));

    // A folder named cleaver.exe: no copy, so the head part stays.
    ASSERT_EQ(unlink((input / "cleaver.exe").c_str()), 0);
    ASSERT_EQ(mkdir((input / "cleaver.exe").c_str(), 0755), 0);
    Run(input.path(), "./Data_00.exe", "d\no\n");
    EXPECT_TRUE(ReadBytes(input / "Data.BIN") == ReadBytes(work / "original"));
    EXPECT_TRUE(Exists(input / "Data_00.exe"));
}
