// The Windows dialogs under Wine, driven by dialog_driver.exe as a user
// would drive them, and the files they leave on disk.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>

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

static std::string Lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return text;
}

static std::string Part(int i)
{
    return PartName("data", i);
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
    std::string ShownPath() const { return "text:1005:" + Lower(InputPath()); }

    // Splits Data.BIN through the file dialog, with cleaver.exe started in
    // its own folder; size_steps choose the slice size.  The number of
    // slice files written beside the input.
    int Split(const std::vector<std::string> &size_steps)
    {
        std::vector<std::string> steps = {"split", "checked:1003", "click:1000",
                                          "open:" + InputPath(), ShownPath()};
        steps.insert(steps.end(), size_steps.begin(), size_steps.end());
        steps.push_back("click:1");
        steps.push_back("ends");
        Drive(tool / "cleaver.exe", steps);
        int last = 0;
        while (Exists(from / Part(last + 1)))
            last++;
        return last;
    }
    // Copies the set, less slice `missing`, into a fresh folder.
    std::unique_ptr<ScratchDir> CopySet(int last, int missing = -1)
    {
        std::unique_ptr<ScratchDir> to(new ScratchDir);
        for (int i = 0; i <= last; i++)
            if (i != missing)
                CopyFile(from / Part(i), *to / Part(i));
        return to;
    }
    // Beside the input, not in the program's folder: the program image, the
    // input's head and the trailer, then slices of one length.
    void ExpectSetBesideTheInput(int last, int kb)
    {
        ASSERT_GE(last, 1);
        std::set<std::string> names = SetNames(last);
        names.insert("Data.BIN");
        EXPECT_EQ(Names(from.path()), names);
        EXPECT_EQ(Names(tool.path()), std::set<std::string>{"cleaver.exe"});
        std::string head = ReadBytes(from / Part(0));
        ASSERT_GT(head.size(), image.size() + 272);
        EXPECT_TRUE(head.compare(0, image.size(), image) == 0);
        std::string data = head.substr(image.size(), head.size() - image.size() - 272);
        EXPECT_LT(image.size() + data.size(), (size_t)kb * 1024 + 4096);
        for (int i = 1; i <= last; i++) {
            std::string slice = ReadBytes(from / Part(i));
            if (i < last)
                EXPECT_EQ(slice.size(), (size_t)kb * 1024) << Part(i);
            else
                EXPECT_LE(slice.size(), (size_t)kb * 1024) << Part(i);
            data += slice;
        }
        EXPECT_TRUE(data == input) << "the parts do not hold the input in order";
    }
    std::set<std::string> SetNames(int last)
    {
        std::set<std::string> names;
        for (int i = 0; i <= last; i++)
            names.insert(Part(i));
        return names;
    }

    std::string image, input;
    ScratchDir tool, from;
};

// Names ignore case on Windows: CLEAVER.EXE is the split tool, and the
// chosen path is shown lower-cased.  The program itself under another name
// holds an empty set, and OK has no name to write.
TEST_F(WineDialogs, TheNameChoosesTheDialogWhateverItsCase)
{
    CopyFile(WINE_PROGRAM, tool / "CLEAVER.EXE");
    Drive(tool / "CLEAVER.EXE", {"split", "checked:1003", "click:1000", "open:" + InputPath(),
                                 ShownPath(), "close"});
    CopyFile(WINE_PROGRAM, tool / "report_00.exe");
    Drive(tool / "report_00.exe",
          {"join", "text:1007:", "text:1008:0", "text:1009:0", "text:1010:0", "enabled:1",
           "checked:1020", "unchecked:1019", "click:1",
           "message:UnCleaver:Unable to open output file, make sure there is no file with the "
           "same name in the output directory",
           "ends"});
    EXPECT_EQ(Names(from.path()), std::set<std::string>{"Data.BIN"});
}

// The parts land beside the input, not in the program's folder; a preset
// and a typed size; the set rejoins elsewhere with the program copy, which
// is the split tool again.
TEST_F(WineDialogs, SplitBesideTheInputThenJoinElsewhere)
{
    struct {
        int radio, kb;
        const char *typed;
    } sizes[] = {{1001, 320, ""}, {1017, 1000, "1000"}};
    for (auto &size : sizes) {
        SCOPED_TRACE("slice size " + std::to_string(size.kb) + " KB");
        std::vector<std::string> choose = {"click:" + std::to_string(size.radio),
                                           "checked:" + std::to_string(size.radio),
                                           "unchecked:1003"};
        if (*size.typed)
            choose.push_back(std::string("type:1018:") + size.typed);
        int last = Split(choose);

        ExpectSetBesideTheInput(last, size.kb);
        if (HasFatalFailure())
            return;
        std::unique_ptr<ScratchDir> to = CopySet(last);
        std::string count = std::to_string(last);
        Drive(*to / Part(0), {"join", "text:1007:data.bin", "text:1008:" + std::to_string(kInputSize),
                              "text:1009:" + count, "text:1010:" + count, "enabled:1",
                              "checked:1020", "unchecked:1019", "click:1", "ends"});
        std::set<std::string> names = SetNames(last);
        names.insert({"data.bin", "cleaver.exe"});
        EXPECT_EQ(Names(to->path()), names);
        EXPECT_TRUE(ReadBytes(*to / "data.bin") == input) << "the rebuilt file differs";
        EXPECT_TRUE(ReadBytes(*to / "cleaver.exe") == image) << "the program copy differs";
        Drive(*to / "cleaver.exe", {"split", "close"});
        for (int i = 0; i <= last; i++)
            remove((from / Part(i)).c_str());
    }
}

// Message boxes are owned by the dialog, which stays open behind them.
TEST_F(WineDialogs, RefusalsAreToldAndTheDialogStays)
{
    Drive(tool / "cleaver.exe", {"split", "click:1", kNoInputMessage, "click:1000",
                                 "open:" + InputPath(), ShownPath(), "click:1017", "type:1018:9",
                                 "click:1", kSizeMessage, ShownPath(), "click:1000", "cancelfile",
                                 "text:1005:", "close"});
    EXPECT_EQ(Names(from.path()), std::set<std::string>{"Data.BIN"});
    EXPECT_EQ(Names(tool.path()), std::set<std::string>{"cleaver.exe"});
}

TEST_F(WineDialogs, JoinNeedsEverySliceKeepsReadOnlyFilesAndDeletesOnRequest)
{
    int last = Split({"click:1001"});
    ASSERT_GE(last, 3);
    std::string count = std::to_string(last);

    std::unique_ptr<ScratchDir> partial = CopySet(last, 2);
    Drive(*partial / Part(0), {"join", "text:1009:" + count,
                               "text:1010:" + std::to_string(last - 1), "disabled:1", "enabled:2",
                               "click:2", "ends"});
    std::set<std::string> names = SetNames(last);
    names.erase(Part(2));
    EXPECT_EQ(Names(partial->path()), names);

    // A read-only file of the output's name is the user's: it stays.
    std::unique_ptr<ScratchDir> full = CopySet(last);
    WriteBytes(*full / "data.bin", "mine");
    chmod((*full / "data.bin").c_str(), 0444);
    Drive(*full / Part(0), {"join", "click:1",
                            "message:UnCleaver:Unable to open output file, make sure there is no "
                            "file with the same name in the output directory",
                            "ends"});
    EXPECT_EQ(ReadBytes(*full / "data.bin"), "mine");
    ASSERT_EQ(unlink((*full / "data.bin").c_str()), 0);

    Drive(*full / Part(0), {"join", "enabled:1", "unchecked:1019", "click:1019", "checked:1019",
                            "checked:1020", "click:1", "ends"});
    // The running head part itself stays: Windows refuses to delete it.
    EXPECT_EQ(Names(full->path()), (std::set<std::string>{Part(0), "cleaver.exe", "data.bin"}));
    EXPECT_TRUE(ReadBytes(*full / "data.bin") == input);
    EXPECT_TRUE(ReadBytes(*full / "cleaver.exe") == image);
}
