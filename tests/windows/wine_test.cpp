// The Windows dialogs under Wine, driven by dialog_driver.exe as a user
// would drive them, and the files they leave on disk.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "test_files.h"

static const int64_t kInputSize = 3 * 1024 * 1024 + 12345;
static const char kSizeMessage[] = "message:Cleaver:Size must be between 10 KB and 64 MB (65536 KB)";
static const char kNoInputMessage[] =
    "message:Cleaver:Unable to open input file, Please select a file to split.";
static const char kNoOutputMessage[] =
    "message:UnCleaver:Unable to open output file, make sure there is no file with the same "
    "name in the output directory";

static std::string g_wine;

// One prefix and one persistent Wine server for the whole run.
class WineEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_wine = WINE_LOADER;
        prefix_.reset(new ScratchDir);
        setenv("WINEPREFIX", prefix_->path().c_str(), 1);
        setenv("WINEDEBUG", "-all", 1);
        setenv("LC_ALL", "C.UTF-8", 1);  // file names in any script, as UTF-8 on this side
        ASSERT_EQ(system("wineserver -p"), 0);
        // No Mono or Gecko installer prompts: nobody is there to answer them.
        int status = -1;
        std::string out =
            RunWithInput("WINEDLLOVERRIDES='mscoree,mshtml=' " + g_wine + " wineboot -i", "", &status);
        ASSERT_EQ(status, 0) << out;
        // Without a window manager, a managed window that closes waits 2 s
        // for one to acknowledge it.
        out = RunWithInput(g_wine + " reg add 'HKCU\\Software\\Wine\\X11 Driver' /v Managed /d N /f",
                           "", &status);
        ASSERT_EQ(status, 0) << out;
    }
    void TearDown() override
    {
        if (system("wineserver -k") != 0)
            fprintf(stderr, "wineserver -k failed\n");
        prefix_.reset();
    }

private:
    std::unique_ptr<ScratchDir> prefix_;
};

static ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(new WineEnvironment);

static std::string Quote(const std::string &text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

static std::string WinPath(const std::string &path)
{
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

static std::set<std::string> Names(const std::string &dir)
{
    std::set<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *entry = readdir(d))
            if (entry->d_name[0] != '.')
                names.insert(entry->d_name);
        closedir(d);
    }
    return names;
}

// Starts program (a file in its working folder) through the driver with
// these steps; any trouble is a failure.
static void Drive(const std::string &program, const std::vector<std::string> &steps)
{
    std::string dir = program.substr(0, program.rfind('/'));
    std::string command = g_wine + " " + Quote(WINE_DRIVER) + " " + Quote(WinPath(program)) +
                          " " + Quote(WinPath(dir));
    for (const std::string &step : steps)
        command += " " + Quote(step);
    int status = -1;
    std::string out = RunWithInput(command, "", &status);
    if (status != 0)
        ADD_FAILURE() << "driver exit code " << status << " for " << program << "\n" << out;
}

class WineDialogs : public ::testing::Test {
protected:
    WineDialogs() : image(ReadBytes(WINE_PROGRAM)), input(PatternBytes(kInputSize, 3))
    {
        CopyFile(WINE_PROGRAM, tool / "cleaver.exe");
        WriteBytes(from / "Data.BIN", input);
    }
    std::string InputPath() const { return WinPath(from / "Data.BIN"); }
    // The chosen path as the dialog shows it: its ASCII letters lower-cased.
    static std::string Shown(std::string path)
    {
        for (char &c : path)
            c = c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
        return "text:1005:" + path;
    }
    std::string ShownPath() const { return Shown(InputPath()); }
    // Splits Data.BIN through the file dialog, with cleaver.exe started in
    // its own folder; size_steps choose the slice size.  The number of
    // slice files written beside the input.
    int Split(const std::vector<std::string> &size_steps)
    {
        std::vector<std::string> steps = {"split", "checked:1003", "click:1000",
                                          "open:" + InputPath(), ShownPath()};
        steps.insert(steps.end(), size_steps.begin(), size_steps.end());
        steps.insert(steps.end(), {"click:1", "ends"});
        Drive(tool / "cleaver.exe", steps);
        int last = 0;
        while (Exists(from / PartName("data", last + 1)))
            last++;
        return last;
    }
    // Copies the set into another folder, where not null; the names of its
    // parts.
    std::set<std::string> CopySet(const ScratchDir *to, int last)
    {
        std::set<std::string> names;
        for (int i = 0; i <= last; i++) {
            if (to)
                CopyFile(from / PartName("data", i), *to / PartName("data", i));
            names.insert(PartName("data", i));
        }
        return names;
    }
    std::string image, input;
    ScratchDir tool, from;
};

// Names ignore case on Windows: CLEAVER.EXE is the split tool, and the
// chosen path is shown lower-cased.
TEST_F(WineDialogs, TheNameChoosesTheDialogWhateverItsCase)
{
    CopyFile(WINE_PROGRAM, tool / "CLEAVER.EXE");
    Drive(tool / "CLEAVER.EXE", {"split", "checked:1003", "click:1000", "open:" + InputPath(),
                                 ShownPath(), "close"});
    EXPECT_EQ(Names(from.path()), std::set<std::string>{"Data.BIN"});
}

// The parts land beside the input, not in the program's folder, which the
// file dialog moved; the set rejoins elsewhere with the program copy, which
// is the split tool again.
TEST_F(WineDialogs, SplitBesideTheInputThenJoinElsewhere)
{
    int last = Split({"click:1017", "checked:1017", "unchecked:1003", "type:1018:1000"});
    ASSERT_GE(last, 3);
    std::set<std::string> names = CopySet(nullptr, last);
    names.insert("Data.BIN");
    EXPECT_EQ(Names(from.path()), names);
    EXPECT_EQ(Names(tool.path()), std::set<std::string>{"cleaver.exe"});
    std::string head = ReadBytes(from / PartName("data", 0));
    EXPECT_TRUE(head.compare(0, image.size(), image) == 0);
    EXPECT_EQ(SizeOf(from / PartName("data", 1)), 1000 * 1024);

    ScratchDir to;
    names = CopySet(&to, last);
    std::string count = std::to_string(last);
    Drive(to / PartName("data", 0),
          {"join", "text:1007:data.bin", "text:1008:" + std::to_string(kInputSize),
           "text:1009:" + count, "text:1010:" + count, "enabled:1", "checked:1020",
           "unchecked:1019", "click:1", "ends"});
    names.insert({"data.bin", "cleaver.exe"});
    EXPECT_EQ(Names(to.path()), names);
    EXPECT_TRUE(ReadBytes(to / "data.bin") == input) << "the rebuilt file differs";
    EXPECT_TRUE(ReadBytes(to / "cleaver.exe") == image) << "the program copy differs";
    Drive(to / "cleaver.exe", {"split", "close"});
}

// A read-only file of the output's name is the user's: it stays.  The
// parts go on request, but for the running head part, which Windows keeps.
TEST_F(WineDialogs, JoinKeepsReadOnlyFilesAndDeletesThePartsOnRequest)
{
    int last = Split({"click:1001"});
    ASSERT_GE(last, 3);
    ScratchDir full;
    CopySet(&full, last);
    WriteBytes(full / "data.bin", "mine");
    chmod((full / "data.bin").c_str(), 0444);
    Drive(full / PartName("data", 0), {"join", "click:1", kNoOutputMessage, "ends"});
    EXPECT_EQ(ReadBytes(full / "data.bin"), "mine");
    ASSERT_EQ(unlink((full / "data.bin").c_str()), 0);

    Drive(full / PartName("data", 0), {"join", "enabled:1", "unchecked:1019", "click:1019",
                                       "checked:1019", "checked:1020", "click:1", "ends"});
    // The running head part itself stays: Windows refuses to delete it.
    EXPECT_EQ(Names(full.path()),
              (std::set<std::string>{PartName("data", 0), "cleaver.exe", "data.bin"}));
    EXPECT_TRUE(ReadBytes(full / "data.bin") == input);
    EXPECT_TRUE(ReadBytes(full / "cleaver.exe") == image);
}

// Refusals are told in message boxes owned by the dialog, which stays open
// behind them.  What the program must not write into, it leaves alone: a
// read-only file in a part's way, a head part renamed to the name of the
// file it rebuilds, a read-only cleaver.exe.
TEST_F(WineDialogs, RefusesAndLeavesAloneWhatItMustNotReplace)
{
    WriteBytes(from / "data_02.QCB", "mine");
    chmod((from / "data_02.QCB").c_str(), 0444);
    Drive(tool / "cleaver.exe",
          {"split", "click:1", kNoInputMessage, "click:1000", "open:" + InputPath(), ShownPath(),
           "click:1017", "type:1018:9", "click:1", kSizeMessage, ShownPath(), "click:1001",
           "click:1",
           "message:Cleaver:Unable to create part data_02.QCB: a file of that name is read-only, "
           "a link, a folder or the input itself, and is left alone",
           "click:1000", "cancelfile", "text:1005:", "close"});
    EXPECT_EQ(Names(tool.path()), std::set<std::string>{"cleaver.exe"});
    EXPECT_EQ(Names(from.path()), (std::set<std::string>{"Data.BIN", "data_02.QCB"}));
    ASSERT_EQ(unlink((from / "data_02.QCB").c_str()), 0);

    // setup.exe, split, and its head part renamed back to setup.exe.
    ASSERT_EQ(rename((from / "Data.BIN").c_str(), (from / "setup.exe").c_str()), 0);
    Drive(tool / "cleaver.exe", {"split", "click:1000", "open:" + WinPath(from / "setup.exe"),
                                 "click:1001", "click:1", "ends"});
    ASSERT_EQ(unlink((from / "setup.exe").c_str()), 0);
    ASSERT_EQ(rename((from / "setup_00.exe").c_str(), (from / "setup.exe").c_str()), 0);
    std::set<std::string> names = Names(from.path());
    Drive(from / "setup.exe",
          {"join", "click:1019", "click:1",
           "message:UnCleaver:Unable to rebuild setup.exe: it would replace setup.exe, a part of "
           "this set; give that part back its own name and try again",
           "ends"});
    EXPECT_EQ(Names(from.path()), names);
    EXPECT_TRUE(ReadBytes(from / "setup.exe").compare(0, image.size(), image) == 0);

    ASSERT_EQ(rename((from / "setup.exe").c_str(), (from / "setup_00.exe").c_str()), 0);
    WriteBytes(from / "cleaver.exe", "users own");
    chmod((from / "cleaver.exe").c_str(), 0444);
    Drive(from / "setup_00.exe", {"join", "click:1019", "click:1", "ends"});
    EXPECT_EQ(ReadBytes(from / "cleaver.exe"), "users own");
    EXPECT_TRUE(ReadBytes(from / "setup.exe") == input);
    EXPECT_TRUE(Exists(from / "setup_01.QCB"));  // no program copy: the parts stay
}

// Work on gigabytes keeps the dialog alive: it answers at once, shows its
// progress in the caption, takes no second command, and Cancel stops it,
// leaving the disk as it was and the dialog ready to try again.  Done, a set
// beyond 2 GiB comes back whole: sizes and offsets in 64 bits.
TEST_F(WineDialogs, WorkShowsItsProgressCancelStopsItAndGigabytesComeBack)
{
    const int64_t size = (2LL << 30) + 12345;
    const std::vector<int64_t> marks = {0, (2LL << 30) - 1, size - 1};
    WriteSparse(from / "big.bin", 3LL << 30, {});
    std::vector<std::string> split = {"split", "click:1000", "open:" + WinPath(from / "big.bin"),
                                      "click:1017", "type:1018:65536", "click:1"};
    std::vector<std::string> steps = split;
    steps.insert(steps.end(), {"working:1500", "disabled:1", "disabled:1000", "disabled:1001",
                               "disabled:1018", "enabled:2", "click:2", "caption:QCleaver",
                               "enabled:1", "enabled:1018", "close"});
    Drive(tool / "cleaver.exe", steps);
    EXPECT_EQ(Names(from.path()), (std::set<std::string>{"Data.BIN", "big.bin"}));

    WriteSparse(from / "big.bin", size, marks);
    split.push_back("ends");
    Drive(tool / "cleaver.exe", split);
    ASSERT_EQ(rename((from / "big.bin").c_str(), (tool / "big.bin").c_str()), 0);
    std::set<std::string> names = Names(from.path());
    Drive(from / "big_00.exe", {"join", "text:1008:" + std::to_string(size), "click:1",
                                "working:1000", "disabled:1", "disabled:1020", "click:2",
                                "caption:QCleaver", "enabled:1", "close"});
    EXPECT_EQ(Names(from.path()), names);  // neither the file nor a temporary one
    Drive(from / "big_00.exe", {"join", "click:1020", "click:1019", "click:1", "ends"});
    EXPECT_EQ(Names(from.path()), (std::set<std::string>{"Data.BIN", "big_00.exe", "big.bin"}));
    EXPECT_TRUE(HasMarks(from / "big.bin", size, marks));
}

// Names in any script: chosen through the real file dialog, split, shown by
// the join dialog and rebuilt under the same name.
TEST_F(WineDialogs, NamesInAnyScriptSplitAndRejoin)
{
    for (const std::string name : {"Отчёт за год.bin", "報告書.bin", "🎉 party.bin"}) {
        SCOPED_TRACE(name);
        ScratchDir dir, to;
        WriteBytes(dir / name, input);
        std::string base = name.substr(0, name.size() - 4);
        Drive(tool / "cleaver.exe", {"split", "click:1000", "open:" + WinPath(dir / name),
                                     Shown(WinPath(dir / name)), "click:1001",
                                     "click:1", "ends"});
        int last = 0;
        for (; Exists(dir / PartName(base, last + 1)); last++)
            CopyFile(dir / PartName(base, last + 1), to / PartName(base, last + 1));
        ASSERT_GE(last, 3);
        CopyFile(dir / PartName(base, 0), to / PartName(base, 0));
        Drive(to / PartName(base, 0), {"join", "text:1007:" + name, "click:1", "ends"});
        EXPECT_TRUE(ReadBytes(to / name) == input);
    }
}
