// Both dialogs end to end: the Linux program driven through the console
// dialog host, the files checked on disk.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <zlib.h>

#include "test_files.h"

// Parts of 360 KB where the program fits them, and ten of them and a bit.
static const int64_t kPart = PartSizeFor(POSIX_PROGRAM);
static const std::string kPartKeys =
    kPart == 320 * 1024 ? "3\n" : "u\n" + std::to_string(kPart / 1024) + "\n";
static const int64_t kInputSize = 10 * kPart + 12345;
static const std::string kSize = std::to_string(kInputSize);

// Fails for each of texts that out does not hold.
static void ExpectIn(const std::string &out, std::initializer_list<std::string> texts)
{
    for (const std::string &text : texts)
        EXPECT_NE(out.find(text), std::string::npos) << "no \"" << text << "\" in:\n" << out;
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        CopyFile(POSIX_PROGRAM, work / "cleaver");
        WritePattern(input / "Data.BIN", kInputSize, 5);
    }
    // Runs a program in `in`, commands on its input; the status says if the last work failed.
    std::string Run(const std::string &in, const std::string &program, const std::string &commands,
                    int status = 0)
    {
        int exited = -1;
        std::string out = RunWithInput("cd '" + in + "' && " + program, commands, &exited);
        EXPECT_EQ(exited, status) << out;
        return out;
    }
    std::string Split(std::string keys, int rc = 0) { return Run(work.path(), "./cleaver", keys, rc); }
    // Runs a program in `in` as Run does, and stops it (SIGTERM, as kill and a closed terminal
    // do) once its work is under way: once a temporary file of its own appears in `watch`.
    void StopOnceWorking(const std::string &in, const std::string &program, const std::string &keys,
                         const std::string &watch)
    {
        WriteBytes(work / "keys", keys);
        Run(in, "(" + program + " < '" + (work / "keys") + "' & p=$!; until ls '" + watch +
                    "'/qcleaver-* >/dev/null 2>&1 || ! kill -0 $p 2>/dev/null; do sleep 0.02; done; "
                    "kill -TERM $p; wait $p)",
            "", 128 + 15);
    }
    std::string Choose() { return "f\n" + (input / "Data.BIN") + "\n"; }  // in the file dialog
    ScratchDir work, input;
};

// Under another name a program that holds no set is still the split tool, whose OK needs a
// file; a head part chosen in it opens its set's join.  A missing name is asked again;
// cancelling empties the field.  A pipe as input is no file, among the slices a missing one:
// neither holds the program up.
TEST_F(Dialogs, RefusalsAndPipesHoldNothingUp)
{
    CopyFile(POSIX_PROGRAM, work / "cleaver (1).exe");  // a copy: the kernel resolves links
    std::string out = Run(work.path(), "'./cleaver (1).exe'", "o\nc\n", 1);
    ExpectIn(out, {"QCleaver", "Cleaver: Unable to open input file, Please select a file to split."});
    EXPECT_EQ(out.find("UnCleaver"), std::string::npos) << out;
    out = Split("f\nnone.bin\n" + (input / "Data.BIN") + "\nf\n\no\n", 1);
    ExpectIn(out, {"(*) 1.44 MB", "none.bin: No such file", "file: [" + input / "Data.BIN"});
    ExpectIn(out.substr(out.rfind("QCleaver")), {"Input file: []"});
    EXPECT_FALSE(Exists(input / "Data_00.exe"));
    ASSERT_EQ(mkfifo((input / "pipe").c_str(), 0644), 0);
    ExpectIn(Split("f\n" + (input / "pipe") + "\n"), {"pipe: not a file on a disk but a pipe"});
    Split(Choose() + kPartKeys + "o\n");
    ExpectIn(Split("f\n" + (input / "Data_00.exe") + "\no\nc\n"), {"-- Original File Info --", "File Name: Data.BIN"});
    ASSERT_EQ(unlink((input / "Data_02.QCB").c_str()), 0);
    ASSERT_EQ(mkfifo((input / "Data_02.QCB").c_str(), 0644), 0);
    // A join that cannot run is a failure to a script.
    ExpectIn(Run(input.path(), "timeout 10 ./Data_00.exe", "o\n", 1), {"o  <OK>  (disabled)"});
}

// The split says the set's checksum, one a user can compare with other tools' CRC-32; the join
// needs every slice, deletes the parts when asked, and says the checksum verified.
TEST_F(Dialogs, JoinNeedsEverySliceAndDeletesOnlyOnRequest)
{
    std::string data = ReadBytes(input / "Data.BIN");
    char crc[16];
    snprintf(crc, sizeof crc, "%08lx", crc32(0, (const Bytef *)data.data(), (uInt)data.size()));
    std::string out = Split(Choose() + kPartKeys + "o\n");
    EXPECT_EQ(SizeOf(input / "Data_01.QCB"), kPart);
    int last = 0;
    while (Exists(input / PartName("Data", last + 1)))
        last++;
    ASSERT_GE(last, 8);
    ExpectIn(out, {"\nData_00.exe: " + kSize + " bytes in the head part and " + std::to_string(last) +
                   " slices, CRC-32 " + crc + "\n"});
    ASSERT_EQ(rename((input / "Data.BIN").c_str(), (work / "original").c_str()), 0);
    ASSERT_EQ(rename((input / "Data_04.QCB").c_str(), (work / "Data_04.QCB").c_str()), 0);
    ExpectIn(Run(input.path(), "./Data_00.exe", "o\nc\n", 1),
             {"Parts: " + std::to_string(last) + "\n     Found: " + std::to_string(last - 1) + "\n",
              "o  <OK>  (disabled)", "OK is disabled."});
    EXPECT_FALSE(Exists(input / "Data.BIN"));

    ASSERT_EQ(rename((work / "Data_04.QCB").c_str(), (input / "Data_04.QCB").c_str()), 0);
    ExpectIn(Run(input.path(), "./Data_00.exe", "d\nm\no\n"),
             {"File Name: Data.BIN\n     File Size: " + kSize + "\n",
              "[ ] Create a copy of Cleaver\n  d  [x] Delete parts when finished",
              "\nData.BIN: " + kSize + " bytes rebuilt, CRC-32 " + crc + " verified\n"});
    EXPECT_TRUE(ReadBytes(input / "Data.BIN") == ReadBytes(work / "original"));
    EXPECT_EQ(Names(input.path()), NameSet{"Data.BIN"});
}

// With a recovery part, the split dialog's set survives a slice lost: the
// join dialog says so before OK, and OK rebuilds it; two lost, it says what
// is lacking, and OK stays disabled.
TEST_F(Dialogs, ARecoveryPartRebuildsALostSlice)
{
    ExpectIn(Split(Choose() + kPartKeys + "r\n1\no\n"), {"Recovery parts: [1]", " and 1 recovery part, "});
    ASSERT_EQ(rename((input / "Data.BIN").c_str(), (work / "original").c_str()), 0);
    std::string slice = ReadBytes(input / "Data_03.QCB");
    ASSERT_EQ(unlink((input / "Data_03.QCB").c_str()), 0);
    NameSet names = Names(input.path());
    ExpectIn(Run(input.path(), "./Data_00.exe", "r\no\n"),  // the repair keeps no file
             {"[x] Repair the set", "\nData_03.QCB was missing: written again from the recovery parts\n"});
    EXPECT_TRUE(ReadBytes(input / "Data_03.QCB") == slice);
    names.insert("Data_03.QCB");
    EXPECT_EQ(Names(input.path()), names);
    ASSERT_EQ(unlink((input / "Data_03.QCB").c_str()), 0);
    ExpectIn(Run(input.path(), "./Data_00.exe", "o\n"),
             {"Recovery: 1 of 1 found\n     Repair: Data_03.QCB is missing: to be rebuilt from the recovery "
              "parts\n",
              " verified; Data_03.QCB was missing: rebuilt from the recovery parts\n"});
    EXPECT_TRUE(ReadBytes(input / "Data.BIN") == ReadBytes(work / "original"));
    ASSERT_EQ(unlink((input / "Data.BIN").c_str()), 0);
    ASSERT_EQ(unlink((input / "Data_05.QCB").c_str()), 0);
    ExpectIn(Run(input.path(), "./Data_00.exe", "o\n", 1),
             {"Repair: 2 parts missing: 1 more recovery part needed\n",
              "o  <OK>  (disabled)"});
    EXPECT_FALSE(Exists(input / "Data.BIN"));
}

// POSIX names: a backslash is a character like another, a path as long as the system allows.
TEST_F(Dialogs, AnyNameThatSplitsJoinsUnderTheSameName)
{
    WritePattern(input / "dir\\y.bin", 3 * kPart, 6);
    Split("f\n" + (input / "dir\\y.bin") + "\n" + kPartKeys + "o\n");
    ASSERT_TRUE(Exists(input / "dir\\y_00.exe"));
    ASSERT_EQ(rename((input / "dir\\y.bin").c_str(), (work / "kept").c_str()), 0);
    Run(input.path(), "'./dir\\y_00.exe'", "o\n");
    EXPECT_TRUE(ReadBytes(input / "dir\\y.bin") == ReadBytes(work / "kept"));

    // Deeper than 1 KB, a name longer than the trailer's record leaves room for, the head part
    // started elsewhere: the set is found and the file rebuilt beside the head part, verified.
    std::string deep = input.path();
    while (deep.size() < 2000)
        deep += "/nested-folder";
    ASSERT_EQ(system(("mkdir -p " + deep).c_str()), 0);
    std::string base = deep + "/" + std::string(224, 'n');
    WritePattern(base + ".bin", 3 * kPart, 7);
    Split("f\n" + base + ".bin\nu\n" + std::to_string(kPart / 1024 / 1024.0 + 0.1).substr(0, 3) + " MB\no\n");
    ASSERT_EQ(rename((base + ".bin").c_str(), (work / "kept").c_str()), 0);
    ExpectIn(Run(work.path(), "'" + base + "_00.exe'", "o\n"), {" verified\n"});
    EXPECT_TRUE(ReadBytes(base + ".bin") == ReadBytes(work / "kept"));
}

// An interruption or a file-size limit stops the work, which cleans up and says so.
TEST_F(Dialogs, InterruptedOrLimitedWorkLeavesNoDebris)
{
    std::string big = input / "big.bin";
    // Sparse, with a byte of data in every megabyte, so that it is read
    // whole, and slowly enough to interrupt.
    std::vector<int64_t> marks;
    for (int64_t at = 0; at < 3LL << 29; at += 1 << 20)
        marks.push_back(at);
    WriteSparse(big, 3LL << 29, marks);
    std::string split = "f\n" + big + "\nu\n65536\no\n";
    StopOnceWorking(work.path(), "./cleaver", split, input.path());
    EXPECT_EQ(Names(input.path()), (NameSet{"Data.BIN", "big.bin"}));

    // On a terminal, standard error shows the work's progress in one line, its rate and the
    // time left once it has run a second (its reads slowed, under strace, where no leak checker
    // works); elsewhere nothing.
    ASSERT_EQ(truncate(big.c_str(), 1LL << 30), 0);
    WriteBytes(work / "commands", split);
    ExpectIn(Run(work.path(), "script -qec 'ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0 strace -o /dev/null "
                              "-e inject=read:delay_exit=2000 ./cleaver < commands' /dev/null", ""),
             {"\r\033[Kbig_",  // the part being written, and its percentage
              "% \xC2\xB7 ", " MB/s \xC2\xB7 ", " left\r\033[Kbig_", "\r\033[Kbig_00.exe: "});  // cleared before the result
    EXPECT_EQ(Split(split).find("\033[K"), std::string::npos);
    ASSERT_EQ(unlink(big.c_str()), 0);
    NameSet parts = Names(input.path());
    Run(input.path(), "ulimit -f 100000 && ./big_00.exe", "m\no\n", 1);
    StopOnceWorking(input.path(), "./big_00.exe", "m\no\n", input.path());
    EXPECT_EQ(Names(input.path()), parts);
    EXPECT_EQ(SizeOf(input / "big_15.QCB"), 64 << 20);
}

// A join replaces no part of its set, another file only when the user says so, writes through
// no link, and deletes no last program copy.
TEST_F(Dialogs, TheJoinReplacesNoPartAndWritesThroughNoLink)
{
    Split(Choose() + kPartKeys + "o\n");
    ASSERT_EQ(rename((input / "Data.BIN").c_str(), (work / "original").c_str()), 0);
    ASSERT_EQ(rename((input / "Data_00.exe").c_str(), (input / "Data.BIN").c_str()), 0);
    ExpectIn(Run(input.path(), "./Data.BIN", "d\no\n", 1),
             {"UnCleaver: Unable to rebuild Data.BIN: it would replace Data.BIN, a part of this "
              "set; give that part back its own name and try again\n"});
    EXPECT_FALSE(Exists(input / "cleaver.exe"));
    EXPECT_TRUE(ReadBytes(input / "Data.BIN").compare(0, 4, "\177ELF") == 0);
    ASSERT_EQ(rename((input / "Data.BIN").c_str(), (input / "Data_00.exe").c_str()), 0);

    WriteBytes(input / "Data.BIN", "mine");
    ExpectIn(Run(input.path(), "./Data_00.exe", "o\nn\n"),
             {"UnCleaver: Data.BIN already exists. Replace it? [y/N] n\n"});
    EXPECT_EQ(ReadBytes(input / "Data.BIN"), "mine");
    EXPECT_FALSE(Exists(input / "cleaver.exe"));

    WriteBytes(work / "victim", "untouched");
    ASSERT_EQ(symlink((work / "victim").c_str(), (input / "cleaver.exe").c_str()), 0);
    ExpectIn(Run(input.path(), "./Data_00.exe", "o\ny\ny\n"),
             {"cleaver.exe already exists, and is another program. Replace it? [y/N] y\n"});
    EXPECT_EQ(ReadBytes(work / "victim"), "untouched");
    EXPECT_TRUE(ReadBytes(input / "cleaver.exe") == ReadBytes(POSIX_PROGRAM));
    EXPECT_TRUE(ReadBytes(input / "Data.BIN") == ReadBytes(work / "original"));

    // A folder named cleaver.exe: no copy, so the head part stays, and the exit status says so.
    ASSERT_EQ(unlink((input / "cleaver.exe").c_str()), 0);
    ASSERT_EQ(mkdir((input / "cleaver.exe").c_str(), 0755), 0);
    Run(input.path(), "./Data_00.exe", "d\no\n", 1);
    EXPECT_TRUE(ReadBytes(input / "Data.BIN") == ReadBytes(work / "original"));
    EXPECT_TRUE(Exists(input / "Data_00.exe"));
}
