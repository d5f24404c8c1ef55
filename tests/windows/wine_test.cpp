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

// Starts program through the driver with these steps, in its own folder
// or in another; any trouble is a failure.
static void Drive(const std::string &program, const std::vector<std::string> &steps,
                  std::string dir = "")
{
    if (dir.empty())
        dir = program.substr(0, program.rfind('/'));
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
        // Names ignore case on Windows: CLEAVER.EXE too is the split tool.
        CopyFile(WINE_PROGRAM, tool / "CLEAVER.EXE");
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
    // Splits Data.BIN through the file dialog, with CLEAVER.EXE started in
    // its own folder; size_steps choose the slice size.  The number of
    // slice files written beside the input.
    int Split(const std::vector<std::string> &size_steps)
    {
        std::vector<std::string> steps = {"split", "checked:1003", "click:1000",
                                          "open:" + InputPath(), ShownPath()};
        steps.insert(steps.end(), size_steps.begin(), size_steps.end());
        steps.insert(steps.end(), {"click:1", "ends"});
        Drive(tool / "CLEAVER.EXE", steps);
        int last = 0;
        while (Exists(from / PartName("data", last + 1)))
            last++;
        return last;
    }
    void CopySet(const ScratchDir &to, int last)
    {
        for (int i = 0; i <= last; i++)
            CopyFile(from / PartName("data", i), to / PartName("data", i));
    }
    std::string image, input;
    ScratchDir tool, from;
};

// request, but for the running head part, which Windows keeps.  Started
// from another folder, the head part finds its set beside itself and
// rebuilds the file there, over files of the names it writes.
TEST_F(WineDialogs, JoinDeletesThePartsOnRequestButTheRunningOne)
{
    int last = Split({"click:1017", "type:1018:1000"});
    ASSERT_GE(last, 3);
    EXPECT_EQ(SizeOf(from / PartName("data", 1)), 1000 * 1024);
    EXPECT_EQ(Names(tool.path()), std::set<std::string>{"CLEAVER.EXE"});
    ScratchDir full;
    CopySet(full, last);
    WriteBytes(full / "data.bin", "an older one");
    WriteBytes(full / "cleaver.exe", "an older one");
    Drive(full / PartName("data", 0), {"join", "text:1007:data.bin", "enabled:1", "checked:1020",
                                       "unchecked:1019", "click:1019", "click:1", "ends"},
          tool.path());
    EXPECT_EQ(Names(tool.path()), std::set<std::string>{"CLEAVER.EXE"});
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
    Drive(tool / "CLEAVER.EXE",
          {"split", "click:1", kNoInputMessage, "click:1000", "open:" + InputPath(), ShownPath(),
           "click:1017", "type:1018:9", "click:1", kSizeMessage, ShownPath(), "click:1001",
           "click:1",
           "message:Cleaver:Unable to create part data_02.QCB: a file of that name is read-only, "
           "a link, a folder or the input itself, and is left alone",
           "click:1000", "cancelfile", "text:1005:", "close"});
    EXPECT_EQ(Names(tool.path()), std::set<std::string>{"CLEAVER.EXE"});
    EXPECT_EQ(Names(from.path()), (std::set<std::string>{"Data.BIN", "data_02.QCB"}));
    ASSERT_EQ(unlink((from / "data_02.QCB").c_str()), 0);

    // setup.exe, split, and its head part renamed back to setup.exe.
    ASSERT_EQ(rename((from / "Data.BIN").c_str(), (from / "setup.exe").c_str()), 0);
    Drive(tool / "CLEAVER.EXE", {"split", "click:1000", "open:" + WinPath(from / "setup.exe"),
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

    // A set whose recorded name Windows reads as cleaver.exe: the program
    // copy must not replace the rebuilt file, nor the parts then go.
    ASSERT_EQ(unlink((from / "cleaver.exe").c_str()), 0);
    ASSERT_EQ(unlink((from / "setup.exe").c_str()), 0);
    std::string head = ReadBytes(from / "setup_00.exe");
    std::string path = "CLEAVER.EXE.";
    path.resize(228, '\0');  // the record behind it stays as it was
    head.replace(head.size() - 272, path.size(), path);
    WriteBytes(from / "CLEAVER.EXE_00.exe", head);
    ASSERT_EQ(unlink((from / "setup_00.exe").c_str()), 0);
    for (int i = 1; Exists(from / PartName("setup", i)); i++)
        ASSERT_EQ(rename((from / PartName("setup", i)).c_str(),
                         (from / PartName("CLEAVER.EXE", i)).c_str()), 0);
    names = Names(from.path());
    Drive(from / "CLEAVER.EXE_00.exe", {"join", "click:1019", "click:1", "ends"});
    names.insert("CLEAVER.EXE");
    EXPECT_EQ(Names(from.path()), names);
    EXPECT_TRUE(ReadBytes(from / "CLEAVER.EXE") == input);
}

// Work on gigabytes keeps the dialog alive: it answers at once, shows its
// progress in the caption, takes no second command, and Cancel stops it,
// leaving the disk as it was and the dialog ready to try again.  Done, a set
// beyond 2 GiB comes back whole: sizes and offsets in 64 bits.  In memory
// (/dev/shm, which Wine reaches through a link), where no disk's writeback
// holds a write up for its own sake.
TEST_F(WineDialogs, WorkShowsItsProgressCancelStopsItAndGigabytesComeBack)
{
    ScratchDir memory(Exists("/dev/shm") ? "/dev/shm" : "/tmp");
    ASSERT_EQ(symlink(memory.path().c_str(), (tool / "big").c_str()), 0);
    auto in = [&](const char *name) { return tool / (std::string("big/") + name); };
    const int64_t size = (3LL << 30) + 12345;
    const std::vector<int64_t> marks = {0, (2LL << 30) - 1, size - 1};
    WriteSparse(in("big.bin"), size, marks);
    std::vector<std::string> split = {"split", "click:1000", "open:" + WinPath(in("big.bin")),
                                      "click:1017", "type:1018:65536", "click:1"};
    std::vector<std::string> steps = split;
    steps.insert(steps.end(), {"disabled:1", "disabled:1000", "disabled:1001", "disabled:1018",
                               "enabled:2", "working:500", "click:2", "caption:QCleaver",
                               "enabled:1", "enabled:1018", "close"});
    Drive(tool / "CLEAVER.EXE", steps);
    EXPECT_EQ(Names(memory.path()), (std::set<std::string>{"big.bin"}));

    split.push_back("ends");
    Drive(tool / "CLEAVER.EXE", split);
    ASSERT_EQ(rename((in("big.bin")).c_str(), (in("input.bin")).c_str()), 0);
    std::set<std::string> names = Names(memory.path());
    Drive(in("big_00.exe"), {"join", "text:1008:" + std::to_string(size), "click:1",
                               "disabled:1", "disabled:1020", "working:500", "click:2",
                               "caption:QCleaver", "enabled:1", "close"});
    EXPECT_EQ(Names(memory.path()), names);  // neither the file nor a temporary one
    ASSERT_EQ(unlink((in("input.bin")).c_str()), 0);
    Drive(in("big_00.exe"), {"join", "click:1020", "click:1019", "click:1", "ends"});
    EXPECT_EQ(Names(memory.path()), (std::set<std::string>{"big_00.exe", "big.bin"}));
    EXPECT_TRUE(HasMarks(in("big.bin"), size, marks));
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
        Drive(tool / "CLEAVER.EXE", {"split", "click:1000", "open:" + WinPath(dir / name),
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
