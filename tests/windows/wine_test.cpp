// The Windows dialogs under Wine, driven by dialog_driver.exe as a user
// would drive them, and the files they leave on disk.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdlib.h>

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
    char name[16];
    snprintf(name, sizeof name, "data_%02d%s", i, i == 0 ? ".exe" : ".QCB");
    return name;
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
// these steps.  False when Wine could not start it and may_not_start allows
// that; any other trouble is a failure.
static bool Drive(const std::string &program, const std::vector<std::string> &steps,
                  bool may_not_start = false)
{
    std::string dir = program.substr(0, program.rfind('/'));
    std::string command = g_wine + " " + Quote(WINE_DRIVER) + " " + Quote(WinPath(program)) +
                          " " + Quote(WinPath(dir));
    for (const std::string &step : steps)
        command += " " + Quote(step);
    int status = -1;
    std::string out = RunWithInput(command, "", &status);
    if (status == 2 && may_not_start) {  // the driver's code for "cannot start"
        printf("not checked, Wine cannot start it: %s", out.c_str());
        return false;
    }
    if (status != 0)
        ADD_FAILURE() << "driver exit code " << status << " for " << program << "\n" << out;
    return true;
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

TEST_F(WineDialogs, TheProgramNameChoosesTheDialog)
{
    // A file without an extension starts only when named in full, as the
    // driver does; should Wine refuse it, that name goes unchecked.
    for (const char *name : {"cleaver.exe", "CLEAVER.EXE", "cleaver"}) {
        ScratchDir dir;
        CopyFile(WINE_PROGRAM, dir / name);
        Drive(dir / name, {"split", "checked:1003", "text:1005:", "close"},
              std::string(name) == "cleaver");
    }
    // The program itself under another name holds an empty set; OK then has
    // no name to write.
    for (const char *name : {"report_00.exe", "cleaver (2).exe", "cleaver.bak.exe"}) {
        ScratchDir dir;
        CopyFile(WINE_PROGRAM, dir / name);
        std::vector<std::string> steps = {"join",         "text:1007:",   "text:1008:0",
                                          "text:1009:0",  "text:1010:0",  "enabled:1",
                                          "checked:1020", "unchecked:1019"};
        if (std::string(name) == "report_00.exe") {
            steps.push_back("click:1");
            steps.push_back("message:UnCleaver:Unable to open output file, make sure there is no "
                            "file with the same name in the output directory");
            steps.push_back("ends");
        } else {
            steps.push_back("close");
        }
        Drive(dir / name, steps);
        EXPECT_EQ(Names(dir.path()), std::set<std::string>{name});
    }
}

TEST_F(WineDialogs, SplitWithEachSliceSizeThenJoinElsewhere)
{
    struct {
        int radio, kb;
        const char *typed;
    } sizes[] = {{1001, 320, ""}, {1002, 680, ""}, {1003, 1400, ""}, {1017, 1000, "1000"}};
    for (auto &size : sizes) {
        SCOPED_TRACE("slice size " + std::to_string(size.kb) + " KB");
        std::vector<std::string> choose = {"click:" + std::to_string(size.radio),
                                           "checked:" + std::to_string(size.radio)};
        if (size.radio != 1003)
            choose.push_back("unchecked:1003");
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

TEST_F(WineDialogs, UserSizeOutOfRangeIsRefusedAndTheDialogStays)
{
    std::vector<std::string> steps = {"click:1017", "checked:1017"};
    for (const char *typed : {"", "abc", "9", "65537", "12345678901"}) {
        steps.push_back(std::string("type:1018:") + typed);
        steps.push_back("click:1");
        steps.push_back(kSizeMessage);
        steps.push_back(ShownPath());
    }
    steps.push_back("type:1018:  64kb");  // leading blanks and a unit are read past
    ExpectSetBesideTheInput(Split(steps), 64);
}

TEST_F(WineDialogs, OkWithoutAFileIsRefusedAndCancellingEmptiesThePath)
{
    Drive(tool / "cleaver.exe", {"split", "click:1", kNoInputMessage, "click:1000",
                                 "open:" + InputPath(), ShownPath(), "click:1000", "cancelfile",
                                 "text:1005:", "click:1", kNoInputMessage, "close"});
    EXPECT_EQ(Names(from.path()), std::set<std::string>{"Data.BIN"});
    EXPECT_EQ(Names(tool.path()), std::set<std::string>{"cleaver.exe"});
}

TEST_F(WineDialogs, JoinNeedsEverySliceAndDeletesThePartsOnRequest)
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

    std::unique_ptr<ScratchDir> full = CopySet(last);
    Drive(*full / Part(0), {"join", "enabled:1", "unchecked:1019", "click:1019", "checked:1019",
                            "checked:1020", "click:1", "ends"});
    // The running head part itself may stay: Windows refuses to delete it.
    names = Names(full->path());
    names.erase(Part(0));
    EXPECT_EQ(names, (std::set<std::string>{"cleaver.exe", "data.bin"}));
    EXPECT_TRUE(ReadBytes(*full / "data.bin") == input);
    EXPECT_TRUE(ReadBytes(*full / "cleaver.exe") == image);
}
