// Both dialogs end to end: the Linux program driven through the console
// dialog host, the files checked on disk.
#include <gtest/gtest.h>

#include <sys/stat.h>

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
    // Runs a program of the work folder in folder `in`, commands on its input.
    std::string Run(const std::string &in, const std::string &program, const std::string &commands)
    {
        int status = -1;
        std::string out = RunWithInput("cd '" + in + "' && '" + program + "'", commands, &status);
        EXPECT_EQ(status, 0) << out;
        return out;
    }
    std::string Split(const std::string &commands)
    {
        return Run(work.path(), work / "cleaver", commands);
    }
    // Picks the input through the file dialog, by its full name.
    std::string Choose() { return "f\n" + (input / "Data.BIN") + "\n"; }
    static bool Has(const std::string &out, const std::string &text)
    {
        return out.find(text) != std::string::npos;
    }
    ScratchDir work, input, joined;
};

TEST_F(Dialogs, SplitWithEachSizeThenJoinElsewhere)
{
    struct {
        const char *commands;
        int64_t slice;
    } sizes[] = {{"3\n", 327680}, {"7\n", 696320}, {"", 1433600}, {"u\n700\n", 716800}};
    for (auto &size : sizes) {
        // Chosen from another folder: the parts go beside the input, and the
        // name keeps its case where names do not ignore case.
        std::string out = Split(Choose() + size.commands + "o\n");
        ASSERT_TRUE(Has(out, "Input file: [" + (input / "Data.BIN") + "]")) << out;
        ASSERT_TRUE(Exists(input / "Data_00.exe")) << out;
        EXPECT_EQ(SizeOf(input / "Data_01.QCB"), size.slice) << size.commands;

        ScratchDir set;
        int last = 0;
        for (; Exists(input / ("Data_0" + std::to_string(last + 1) + ".QCB")); last++)
            CopyFile(input / ("Data_0" + std::to_string(last + 1) + ".QCB"),
                     set / ("Data_0" + std::to_string(last + 1) + ".QCB"));
        CopyFile(input / "Data_00.exe", set / "Data_00.exe");
        out = Run(set.path(), "./Data_00.exe", "o\n");
        EXPECT_TRUE(Has(out, "File Name: Data.BIN\n     File Size: " + std::to_string(kInputSize) +
                                 "\n     Parts: " + std::to_string(last) +
                                 "\n     Found: " + std::to_string(last) + "\n"))
            << out;
        EXPECT_TRUE(ReadBytes(set / "Data.BIN") == ReadBytes(input / "Data.BIN"));
        EXPECT_EQ(ReadBytes(set / "cleaver.exe"), ReadBytes(POSIX_PROGRAM));
        EXPECT_TRUE(Has(Run(set.path(), "./cleaver.exe", ""), "File ..."));
        system(("rm -f '" + input.path() + "'/Data_*").c_str());
    }
}

TEST_F(Dialogs, SplitRefusesBadSizesAndNoInput)
{
    const std::string size_message =
        "Cleaver: Size must be between 10 KB and 64 MB (65536 KB)\nCommands, one a line";
    for (const char *typed : {"", "abc", "9", "65537", "12345678901", "-20"}) {
        std::string out = Split(std::string(Choose() + "u\n") + typed + "\no\nhelp\n");
        EXPECT_TRUE(Has(out, size_message)) << typed << ":\n" << out;
        EXPECT_FALSE(Exists(input / "Data_00.exe")) << typed;
    }
    // A typed size counts only while "User Defined" is checked.
    std::string out = Split("u\n9\n1\nhelp\n");
    EXPECT_FALSE(Has(out, "Size must be")) << out;

    out = Split("o\nhelp\n");
    EXPECT_TRUE(Has(out, "Cleaver: Unable to open input file, Please select a file to split.\n"
                         "Commands, one a line"))
        << out;
    // A name that does not exist is asked again; cancelling empties the field.
    out = Split("f\nnone.bin\n" + (input / "Data.BIN") + "\nf\n\no\n");
    EXPECT_TRUE(Has(out, "none.bin: no such file.")) << out;
    EXPECT_TRUE(Has(out, "Input file: [" + (input / "Data.BIN") + "]")) << out;
    EXPECT_TRUE(Has(out.substr(out.rfind("QCleaver")), "Input file: []")) << out;
    EXPECT_TRUE(Has(out, "Unable to open input file")) << out;

    out = Split(Choose() + "u\n  64kb\no\n");
    EXPECT_EQ(SizeOf(input / "Data_01.QCB"), 65536) << out;
}

TEST_F(Dialogs, JoinNeedsEverySliceAndDeletesOnlyOnRequest)
{
    Split(Choose() + "3\no\n");
    int last = 1;
    while (Exists(input / ("Data_0" + std::to_string(last + 1) + ".QCB")))
        last++;
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
        EXPECT_FALSE(Exists(input / ("Data_0" + std::to_string(i) + (i ? ".QCB" : ".exe")))) << i;
}

// A head part cut short in transfer, or a program with random bytes at its
// end: the dialog shows what it safely can and allows no join.
TEST_F(Dialogs, ADamagedTrailerAllowsNoJoin)
{
    Split(Choose() + "o\n");
    std::string head = ReadBytes(input / "Data_00.exe");
    WriteBytes(work / "cut_00.exe", head.substr(0, SizeOf(POSIX_PROGRAM) + 5000));
    WriteBytes(work / "noise_00.exe", ReadBytes(POSIX_PROGRAM) + PatternBytes(272, 9));
    for (const char *name : {"cut_00.exe", "noise_00.exe"}) {
        chmod((work / name).c_str(), 0755);
        std::string out = Run(input.path(), work / name, "o\n");
        EXPECT_TRUE(Has(out, "o  <OK>  (disabled)")) << name << ":\n" << out;
        EXPECT_TRUE(Has(out, "OK is disabled.")) << out;
    }
    EXPECT_EQ(SizeOf(input / "Data.BIN"), kInputSize);
}
