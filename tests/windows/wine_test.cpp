// The Windows dialogs under Wine, driven by dialog_driver.exe as a user
// would drive them, and the files they leave on disk.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "math/crc32.h"
#include "test_files.h"

static const int64_t kInputSize = 3 * 1024 * 1024 + 12345;
static const std::string kWine = WINE_LOADER;
static bool g_own_mounts;  // whether the run has mounts of its own, for a read-only folder

// One prefix and one persistent Wine server for the whole run.
struct WineEnvironment : ::testing::Environment {
    void SetUp() override
    {
        setenv("WINEPREFIX", prefix.path().c_str(), 1);
        setenv("WINEDEBUG", "-all", 1);
        setenv("LC_ALL", "C.UTF-8", 1);  // file names in any script, as UTF-8 on this side
        // Before the server starts, so that it sees the folders the tests mount.
        g_own_mounts = unshare(CLONE_NEWNS) == 0 && mount("", "/", 0, MS_PRIVATE | MS_REC, 0) == 0;
        // No Mono or Gecko installer prompts, which nobody would answer; unmanaged
        // windows, which close without waiting 2 s for a window manager.
        int status = -1;
        std::string out = RunWithInput(
            "wineserver -p && WINEDLLOVERRIDES='mscoree,mshtml=' " + kWine + " wineboot -i && " +
                kWine + " reg add 'HKCU\\Software\\Wine\\X11 Driver' /v Managed /d N /f",
            "", &status);
        ASSERT_EQ(status, 0) << out;
    }
    void TearDown() override { EXPECT_EQ(system("wineserver -k"), 0); }
    ScratchDir prefix;  // removed as the environment goes, after the tear-down
};

static auto *const g_environment = ::testing::AddGlobalTestEnvironment(new WineEnvironment);

static std::string Quote(const std::string &text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

static std::string WinPath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

// Starts program through the driver, in its own folder or in another; any trouble fails.
// Steps name controls as res/resource.h does ("click:IDOK"); the driver takes numbers.
static void Drive(const std::string &program, const std::vector<std::string> &steps,
                  std::string dir = "")
{
    static const std::map<std::string, int> ids = ResourceIds();
    if (dir.empty())
        dir = program.substr(0, program.rfind('/'));
    std::string command = kWine + " " + Quote(WINE_DRIVER) + " " + Quote(WinPath(program)) + " " +
                          Quote(WinPath(dir));
    for (std::string step : steps) {
        size_t at = step.find(':') + 1;
        auto id = ids.find(step.substr(at, step.find(':', at) - at));
        if (at && id != ids.end())
            step.replace(at, id->first.size(), std::to_string(id->second));
        command += " " + Quote(step);
    }
    int status = -1;
    std::string out = RunWithInput(command, "", &status);
    if (status != 0)
        ADD_FAILURE() << "driver exit code " << status << " for " << program << "\n" << out;
}

// The chosen path as the dialog shows it: as it is, every letter's case kept.
static std::string Shown(const std::string &path)
{
    return "text:IDC_INPUT_PATH:" + path;
}

// Copies the set of that base name to another folder, its recovery parts
// too; the number of slice files.
static int CopySet(const std::string &from, const std::string &base, const std::string &to)
{
    int last = 0;
    for (; Exists(from + "/" + PartName(base, last + 1)); last++)
        CopyFile(from + "/" + PartName(base, last + 1), to + "/" + PartName(base, last + 1));
    for (int k = 1; Exists(from + "/" + PartName(base, -k)); k++)
        CopyFile(from + "/" + PartName(base, -k), to + "/" + PartName(base, -k));
    CopyFile(from + "/" + PartName(base, 0), to + "/" + PartName(base, 0));
    return last;
}

class WineDialogs : public ::testing::Test {
protected:
    WineDialogs() : image(ReadBytes(WINE_PROGRAM)), input(PatternBytes(kInputSize, 3))
    {
        // It holds no set: whatever it is named, it is the split tool.
        EXPECT_EQ(image.substr(image.size() - 272), std::string(272, '\0'));
        // Names ignore case on Windows: CLEAVER.EXE too is the split tool.
        CopyFile(WINE_PROGRAM, tool / "CLEAVER.EXE");
        WriteBytes(from / "Holiday.MP4", input);
    }
    std::string InputPath() const { return WinPath(from / "Holiday.MP4"); }
    // The boxes that end a split of the input into the set of base, and its join, in dir.
    std::string SplitDone(const std::string &dir, const std::string &base = "Holiday") const
    {
        return "info:Cleaver:" + base + "_00.exe: " + std::to_string(kInputSize) + " bytes in *, CRC-32 " +
               Crc() + "\n\nFolder: " + WinPath(dir) + "\\";
    }
    std::string JoinDone(const std::string &dir, const std::string &name = "Holiday.MP4") const
    {
        return "info:UnCleaver:" + name + ": " + std::to_string(kInputSize) + " bytes rebuilt, CRC-32 " + Crc() +
               " verified\n\nFolder: " + WinPath(dir) + "\\";
    }
    std::string Crc() const
    {
        char crc[9];
        snprintf(crc, sizeof crc, "%08x", Crc32Update(0, input.data(), input.size()));
        return crc;
    }
    std::string image, input;
    ScratchDir tool, from;
};

// The join deletes the parts on request, all but the running head part, which Windows keeps.
// Started elsewhere, it finds its set beside itself and rebuilds the file there, under its
// name as it was, over files of the names it writes.  A damaged part, or one in another's
// place, is named.  The set rejoins on Linux too, and one made on Linux for Windows here.
TEST_F(WineDialogs, JoinDeletesThePartsOnRequestButTheRunningOne)
{
    // Given on the command line, as a file dropped on the program's icon.
    Drive(tool / "CLEAVER.EXE|" + InputPath(), {"split", Shown(InputPath()), "click:IDC_SIZE_USER",
                                                "type:IDC_USER_KB:1000", "click:IDOK", SplitDone(from.path()),
                                                "ends"});
    EXPECT_EQ(SizeOf(from / PartName("Holiday", 1)), 1000 * 1024);
    EXPECT_LE(SizeOf(from / PartName("Holiday", 0)), 1000 * 1024);
    ScratchDir full, linux;
    ASSERT_GE(CopySet(from.path(), "Holiday", full.path()), 3);
    CopySet(from.path(), "Holiday", linux.path());
    std::string slice = ReadBytes(full / "Holiday_02.QCB");
    std::string spoilt = slice;
    spoilt[5] ^= 1;
    WriteBytes(full / "Holiday_02.QCB", spoilt);
    const std::string rebuilding = "error:UnCleaver:Unable to rebuild Holiday.MP4: ";
    Drive(full / PartName("Holiday", 0),
          {"join", "click:IDOK", rebuilding + "Holiday_02.QCB is damaged; it does not match the "
           "checksum recorded when it was made. Get that part again.", "ends"});
    WriteBytes(full / "Holiday_01.QCB", slice);
    WriteBytes(full / "Holiday_02.QCB", ReadBytes(from / "Holiday_01.QCB"));
    Drive(full / PartName("Holiday", 0),
          {"join", "click:IDOK", rebuilding + "Holiday_01.QCB holds what Holiday_02.QCB should "
           "hold: the parts were renamed or swapped", "ends"});
    CopySet(from.path(), "Holiday", full.path());
    // Another file of the name: asked, and answered No, nothing is written; Yes replaces it.
    WriteBytes(full / "Holiday.MP4", "an older one");
    WriteBytes(full / "cleaver.exe", "an older one");
    NameSet before = Names(full.path());
    Drive(full / PartName("Holiday", 0),
          {"join", "click:IDOK", "no:UnCleaver:Holiday.MP4 already exists. Replace it?", "close"});
    EXPECT_EQ(Names(full.path()), before);
    EXPECT_EQ(ReadBytes(full / "Holiday.MP4"), "an older one");
    Drive(full / PartName("Holiday", 0),
          {"join", "text:IDC_NAME:Holiday.MP4", "enabled:IDOK", "click:IDC_DELETE_PARTS", "click:IDOK",
           "yes:UnCleaver:Holiday.MP4 already exists. Replace it?",
           "yes:UnCleaver:cleaver.exe already exists, and is another program. Replace it?",
           JoinDone(full.path()), "ends"}, tool.path());
    EXPECT_EQ(Names(tool.path()), NameSet{"CLEAVER.EXE"});
    EXPECT_EQ(Names(full.path()), (NameSet{PartName("Holiday", 0), "cleaver.exe", "Holiday.MP4"}));
    EXPECT_TRUE(ReadBytes(full / "Holiday.MP4") == input && ReadBytes(full / "cleaver.exe") == image);

    int status = -1;
    std::string out = RunWithInput(std::string(POSIX_PROGRAM) + " --join " +
                                       Quote(linux / PartName("Holiday", 0)) + " --no-copy", "", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(ReadBytes(linux / "Holiday.MP4") == input);
    ScratchDir made;
    WriteBytes(made / "Holiday.MP4", input);
    out = RunWithInput(std::string(POSIX_PROGRAM) + " -s 1M --for windows " + Quote(made / "Holiday.MP4"),
                       "", &status);
    EXPECT_EQ(status, 0) << out;
    ASSERT_EQ(unlink((made / "Holiday.MP4").c_str()), 0);
    Drive(made / PartName("Holiday", 0), {"join", "disabled:IDC_REPAIR_SET", "click:IDOK", JoinDone(made.path()),
                                          "ends"});
    EXPECT_TRUE(ReadBytes(made / "Holiday.MP4") == input && ReadBytes(made / "cleaver.exe") == image);
}

// Refusals are told in message boxes over the dialog, which stays open.  What the program must
// not write into, it leaves alone: a read-only file in a part's way, a head part renamed to the
// name of the file it rebuilds, a read-only cleaver.exe.
TEST_F(WineDialogs, RefusesAndLeavesAloneWhatItMustNotReplace)
{
    WriteBytes(from / "Holiday_02.QCB", "mine");
    chmod((from / "Holiday_02.QCB").c_str(), 0444);
    Drive(tool / "CLEAVER.EXE",
          {"split", "click:IDOK",
           "error:Cleaver:Unable to open input file, Please select a file to split.",
           "click:IDC_BROWSE", "open:" + InputPath(), Shown(InputPath()), "click:IDC_SIZE_USER",
           "type:IDC_USER_KB:9", "click:IDOK",
           "warning:Cleaver:Size must be between 10 KB and 4 GB", Shown(InputPath()),
           "click:IDC_SIZE_360", "click:IDOK",
           "error:Cleaver:Unable to create part Holiday_02.QCB: a file of that name is read-only, "
           "a link, a folder or the input itself, and is left alone",
           "click:IDC_BROWSE", "cancelfile", "text:IDC_INPUT_PATH:", "close"});
    EXPECT_EQ(Names(tool.path()), NameSet{"CLEAVER.EXE"});
    EXPECT_EQ(Names(from.path()), (NameSet{"Holiday.MP4", "Holiday_02.QCB"}));
    ASSERT_EQ(unlink((from / "Holiday_02.QCB").c_str()), 0);

    // setup.exe, split into 1.44 MB slices, and its head part renamed back to setup.exe.
    ASSERT_EQ(rename((from / "Holiday.MP4").c_str(), (from / "setup.exe").c_str()), 0);
    Drive(tool / "CLEAVER.EXE", {"split", "click:IDC_BROWSE", "open:" + WinPath(from / "setup.exe"),
                                 "click:IDOK", SplitDone(from.path(), "setup"), "ends"});
    EXPECT_EQ(SizeOf(from / "setup_01.QCB"), 1433600);
    ASSERT_EQ(unlink((from / "setup.exe").c_str()), 0);
    ASSERT_EQ(rename((from / "setup_00.exe").c_str(), (from / "setup.exe").c_str()), 0);
    NameSet names = Names(from.path());
    Drive(from / "setup.exe",
          {"join", "click:IDC_DELETE_PARTS", "click:IDOK",
           "error:UnCleaver:Unable to rebuild setup.exe: it would replace setup.exe, a part of "
           "this set; give that part back its own name and try again",
           "ends"});
    EXPECT_EQ(Names(from.path()), names);
    EXPECT_TRUE(ReadBytes(from / "setup.exe").compare(0, image.size(), image) == 0);

    ASSERT_EQ(rename((from / "setup.exe").c_str(), (from / "setup_00.exe").c_str()), 0);
    ScratchDir spare;
    CopySet(from.path(), "setup", spare.path());
    WriteBytes(from / "cleaver.exe", "users own");
    chmod((from / "cleaver.exe").c_str(), 0444);
    Drive(from / "setup_00.exe",
          {"join", "click:IDC_DELETE_PARTS", "click:IDOK", JoinDone(from.path(), "setup.exe"),
           "error:UnCleaver:cleaver.exe was not written: a file or a folder of that name "
           "is there, and is left alone. setup_00.exe was not deleted: without cleaver.exe it is the "
           "only copy of the program.", "ends"});
    EXPECT_EQ(ReadBytes(from / "cleaver.exe"), "users own");
    EXPECT_TRUE(ReadBytes(from / "setup.exe") == input);
    EXPECT_TRUE(Exists(from / "setup_00.exe") && !Exists(from / "setup_01.QCB"));  // the only program stays
    CopySet(spare.path(), "setup", from.path());

    // A set whose recorded name Windows reads as cleaver.exe: no copy replaces it; the head part
    // stays.
    ASSERT_EQ(unlink((from / "cleaver.exe").c_str()) | unlink((from / "setup.exe").c_str()), 0);
    std::string head = ReadBytes(from / "setup_00.exe");
    head.replace(head.size() - 272, 228, std::string("CLEAVER.EXE.").append(216, '\0'));  // record kept
    WriteBytes(from / "CLEAVER.EXE_00.exe", head);
    ASSERT_EQ(unlink((from / "setup_00.exe").c_str()), 0);
    for (int i = 1; Exists(from / PartName("setup", i)); i++)
        ASSERT_EQ(rename((from / PartName("setup", i)).c_str(),
                         (from / PartName("CLEAVER.EXE", i)).c_str()), 0);
    Drive(from / "CLEAVER.EXE_00.exe",
          {"join", "click:IDC_DELETE_PARTS", "click:IDOK", JoinDone(from.path(), "CLEAVER.EXE."),
           "error:UnCleaver:cleaver.exe was not written: the rebuilt file has that name. "
           "CLEAVER.EXE_00.exe was not deleted: without cleaver.exe it is the only copy of the program.",
           "ends"});
    EXPECT_EQ(Names(from.path()), (NameSet{"CLEAVER.EXE", "CLEAVER.EXE_00.exe"}));
    EXPECT_TRUE(ReadBytes(from / "CLEAVER.EXE") == input);
}

// Work on gigabytes keeps the dialog alive: it answers at once, shows its progress in the
// caption, takes no second command, and Cancel stops it, leaving the disk as it was.  Done, a
// set beyond 2 GiB comes back whole.  In memory (/dev/shm, reached through a link), where no
// writeback holds a write up.
TEST_F(WineDialogs, WorkShowsItsProgressCancelStopsItAndGigabytesComeBack)
{
    ScratchDir memory(Exists("/dev/shm") ? "/dev/shm" : "/tmp");
    ASSERT_EQ(symlink(memory.path().c_str(), (tool / "big").c_str()), 0);
    auto in = [&](const char *name) { return tool / (std::string("big/") + name); };
    const int64_t size = (3LL << 30) + 12345;
    const std::vector<int64_t> marks = {0, (2LL << 30) - 1, size - 1};
    WriteSparse(in("big.bin"), size, marks);
    std::vector<std::string> split = {"split", "click:IDC_BROWSE", "open:" + WinPath(in("big.bin")),
                                      "click:IDC_SIZE_USER", "type:IDC_USER_KB:65536", "click:IDOK"},
                             steps = split;
    steps.insert(steps.end(), {"disabled:IDOK", "disabled:IDC_BROWSE", "disabled:IDC_SIZE_360",
                               "disabled:IDC_USER_KB", "enabled:IDCANCEL", "working:2",
                               "click:IDCANCEL", "caption:QCleaver", "enabled:IDOK",
                               "enabled:IDC_USER_KB", "close"});
    Drive(tool / "CLEAVER.EXE", steps);
    EXPECT_EQ(Names(memory.path()), NameSet{"big.bin"});

    split.insert(split.end(), {"info:Cleaver:big_00.exe: " + std::to_string(size) + " bytes in the head part and 48 slices*", "ends"});
    Drive(tool / "CLEAVER.EXE", split);
    ASSERT_EQ(rename((in("big.bin")).c_str(), (in("input.bin")).c_str()), 0);
    NameSet names = Names(memory.path());
    Drive(in("big_00.exe"), {"join", "text:IDC_SIZE:" + std::to_string(size), "click:IDOK",
                             "disabled:IDOK", "disabled:IDC_MAKE_COPY", "working:2",
                             "click:IDCANCEL", "caption:QCleaver", "enabled:IDOK", "close"});
    EXPECT_EQ(Names(memory.path()), names);  // neither the file nor a temporary one
    ASSERT_EQ(unlink((in("input.bin")).c_str()), 0);
    Drive(in("big_00.exe"),
          {"join", "click:IDC_MAKE_COPY", "click:IDC_DELETE_PARTS", "click:IDOK",
           "info:UnCleaver:big.bin: " + std::to_string(size) + " bytes rebuilt*", "ends"});
    EXPECT_EQ(Names(memory.path()), (NameSet{"big_00.exe", "big.bin"}));
    EXPECT_TRUE(HasMarks(in("big.bin"), size, marks));
}

// A set for Windows made here with the largest parts: its head part, a page short of 4 GiB
// whatever the slices' size, is one Windows starts (Wine refuses a few bytes more).
TEST_F(WineDialogs, AHeadPartOfTheLargestSizeStarts)
{
    ScratchDir memory(Exists("/dev/shm") ? "/dev/shm" : "/tmp");
    ASSERT_EQ(symlink(memory.path().c_str(), (tool / "edge").c_str()), 0);
    const int64_t size = 4294967295LL + 4096;
    WriteSparse(memory / "edge.bin", size, {0, size - 1});
    int status = -1;
    std::string out = RunWithInput(std::string(POSIX_PROGRAM) + " -s 4G --for windows " +
                                       Quote(memory / "edge.bin"), "", &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_EQ(SizeOf(memory / "edge_00.exe"), 4294963200LL);
    ASSERT_EQ(unlink((memory / "edge.bin").c_str()), 0);
    Drive(tool / "edge/edge_00.exe", {"join", "text:IDC_SIZE:" + std::to_string(size), "close"});
}

// Recovery parts made by the Windows dialog rebuild a lost slice, there and
// on Linux; and those of a set made on Linux for Windows, under Windows.
TEST_F(WineDialogs, RecoveryPartsRebuildALostSliceOnEitherSystem)
{
    Drive(tool / "CLEAVER.EXE", {"split", "click:IDC_BROWSE", "open:" + InputPath(), "click:IDC_SIZE_USER",
                                 "type:IDC_USER_KB:1000", "type:IDC_RECOVERY:2", "click:IDOK", SplitDone(from.path()),
                                 "ends"});
    EXPECT_LE(SizeOf(from / PartName("Holiday", -2)), 1000 * 1024);
    ScratchDir windows, linux, made;
    CopySet(from.path(), "Holiday", windows.path());
    CopySet(from.path(), "Holiday", linux.path());
    std::string done = JoinDone(windows.path());
    done.insert(done.find("\n"), "; Holiday_02.QCB was missing: rebuilt from the recovery parts");
    ASSERT_EQ(unlink((windows / "Holiday_02.QCB").c_str()), 0);
    Drive(windows / PartName("Holiday", 0),
          {"join", "text:IDC_RECOVERY_FOUND:2 of 2 found",
           "text:IDC_REPAIR:Holiday_02.QCB is missing: to be rebuilt from the recovery parts", "click:IDOK",
           done, "ends"});
    EXPECT_TRUE(ReadBytes(windows / "Holiday.MP4") == input);
    ASSERT_EQ(unlink((linux / "Holiday_02.QCB").c_str()) | unlink((linux / "Holiday_00.exe").c_str()), 0);
    int status = -1;
    std::string out = RunWithInput(std::string(POSIX_PROGRAM) + " --join " +
                                       Quote(linux / PartName("Holiday", -1)) + " --no-copy", "", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(ReadBytes(linux / "Holiday.MP4") == input);

    WriteBytes(made / "Holiday.MP4", input);
    out = RunWithInput(std::string(POSIX_PROGRAM) + " -s 1000K -r 1 --for windows " +
                           Quote(made / "Holiday.MP4"), "", &status);
    EXPECT_EQ(status, 0) << out;
    ASSERT_EQ(unlink((made / "Holiday.MP4").c_str()) | unlink((made / "Holiday_02.QCB").c_str()), 0);
    Drive(made / PartName("Holiday", 0), {"join", "click:IDOK", done.replace(done.find("Z:"), std::string::npos, "*"),
                                          "ends"});
    EXPECT_TRUE(ReadBytes(made / "Holiday.MP4") == input);

    // Its head part lost, a recovery part dropped on the split tool opens the join.
    ScratchDir dropped;
    CopySet(from.path(), "Holiday", dropped.path());
    ASSERT_EQ(unlink((dropped / "Holiday_00.exe").c_str()), 0);
    Drive(tool / "CLEAVER.EXE|" + WinPath(dropped / PartName("Holiday", -2)),
          {"join", "text:IDC_REPAIR:Holiday_00.exe is missing: to be rebuilt from the recovery parts",
           "click:IDOK", done.substr(0, done.find("; ")) + "; Holiday_00.exe was missing: rebuilt from the "
           "recovery parts*", "warning:UnCleaver:cleaver.exe was not written: the head part, which holds the "
           "program, is lost or damaged; a repair of the set makes it again.", "ends"}, dropped.path());
    EXPECT_TRUE(ReadBytes(dropped / "Holiday.MP4") == input);
}

// The same file split again in its folder: the earlier set, recovery parts and all, is
// replaced by the new one, which is complete and joins; no temporary file stays.
TEST_F(WineDialogs, SplittingAgainReplacesTheEarlierSet)
{
    for (const char *size : {"700", "1000"})
        Drive(tool / "CLEAVER.EXE", {"split", "click:IDC_BROWSE", "open:" + InputPath(), "click:IDC_SIZE_USER",
                                     std::string("type:IDC_USER_KB:") + size, "type:IDC_RECOVERY:" +
                                     std::string(size[0] == '7' ? "2" : "1"), "click:IDOK",
                                     SplitDone(from.path()).insert(SplitDone(from.path()).find("\n"), size[0] == '7' ? ""
                                         : "; 7 parts of an earlier set of it replaced"), "ends"});
    NameSet names = {"Holiday.MP4", PartName("Holiday", -1)};
    for (int i = 0; i == 0 || Exists(from / PartName("Holiday", i)); i++)
        names.insert(PartName("Holiday", i));
    EXPECT_EQ(names.size(), 6u);  // the head part, 3 slices of 1000 KB, 1 recovery part, the file
    EXPECT_EQ(Names(from.path()), names);
    ASSERT_EQ(rename((from / "Holiday.MP4").c_str(), (tool / "original").c_str()), 0);
    Drive(from / PartName("Holiday", 0), {"join", "click:IDC_MAKE_COPY", "click:IDOK", JoinDone(from.path()), "ends"});
    EXPECT_TRUE(ReadBytes(from / "Holiday.MP4") == input);
}

// A program that holds no set is the split tool under any name; a head part made on Linux,
// dropped on it, opens that set's join, which passes on the running program as cleaver.exe.
TEST_F(WineDialogs, TheProgramSplitsUnderAnyNameAndJoinsAHeadPartDroppedOnIt)
{
    CopyFile(WINE_PROGRAM, tool / "cleaver (1).exe");
    Drive(tool / "cleaver (1).exe", {"split", "click:IDCANCEL", "ends"});
    ScratchDir linux;
    WriteBytes(linux / "Holiday.MP4", input);
    int status = -1;
    std::string out =
        RunWithInput(std::string(POSIX_PROGRAM) + " -s 1000K " + Quote(linux / "Holiday.MP4"), "", &status);
    ASSERT_EQ(status, 0) << out;
    ASSERT_EQ(unlink((linux / "Holiday.MP4").c_str()), 0);
    Drive(tool / "CLEAVER.EXE|" + WinPath(linux / PartName("Holiday", 0)),
          {"join", "click:IDOK", JoinDone(linux.path()), "ends"}, linux.path());
    EXPECT_TRUE(ReadBytes(linux / "Holiday.MP4") == input);
    EXPECT_TRUE(ReadBytes(linux / "cleaver.exe") == image);
}

// "Repair the set" writes a lost part back beside the others, where the set has recovery parts,
// and keeps no file: a slice byte for byte; a head part with this program, which rejoins; for a
// set made for Linux, none, and it says so.
TEST_F(WineDialogs, RepairTheSetWritesLostPartsBack)
{
    ScratchDir made, linux;
    for (const ScratchDir *dir : {&made, &linux}) {
        WriteBytes(*dir / "Holiday.MP4", input);
        int status = -1;
        std::string out = RunWithInput(std::string(POSIX_PROGRAM) + " -s 1000K -r 1" +
                                           (dir == &made ? " --for windows " : " ") + Quote(*dir / "Holiday.MP4"),
                                       "", &status);
        ASSERT_EQ(status, 0) << out;
        ASSERT_EQ(unlink((*dir / "Holiday.MP4").c_str()), 0);
    }
    std::string slice = ReadBytes(made / "Holiday_02.QCB");
    NameSet names = Names(made.path());
    ASSERT_EQ(unlink((made / "Holiday_02.QCB").c_str()), 0);
    const std::string again = ": written again from the recovery parts";
    Drive(made / PartName("Holiday", 0),
          {"join", "enabled:IDC_MAKE_COPY", "click:IDC_REPAIR_SET", "disabled:IDC_MAKE_COPY",
           "disabled:IDC_DELETE_PARTS", "click:IDOK", "info:UnCleaver:Holiday_02.QCB was missing" + again + "*", "ends"});
    EXPECT_TRUE(ReadBytes(made / "Holiday_02.QCB") == slice);
    EXPECT_EQ(Names(made.path()), names);  // neither the file nor a temporary one

    ASSERT_EQ(unlink((made / "Holiday_00.exe").c_str()), 0);
    Drive(tool / "CLEAVER.EXE|" + WinPath(made / PartName("Holiday", -1)),
          {"join", "click:IDC_REPAIR_SET", "click:IDOK", "info:UnCleaver:Holiday_00.exe was missing" + again + "*",
           "ends"}, made.path());
    EXPECT_EQ(Names(made.path()), names);
    EXPECT_EQ(ReadBytes(made / "Holiday_00.exe").compare(0, image.size(), image), 0);
    Drive(made / PartName("Holiday", 0), {"join", "click:IDOK", JoinDone(made.path()), "ends"});
    EXPECT_TRUE(ReadBytes(made / "Holiday.MP4") == input);

    ASSERT_EQ(unlink((linux / "Holiday_00.exe").c_str()), 0);
    Drive(tool / "CLEAVER.EXE|" + WinPath(linux / PartName("Holiday", -1)),
          {"join", "click:IDC_REPAIR_SET", "click:IDOK", "warning:UnCleaver:Holiday_00.exe not: only the Linux "
           "program named cleaver makes it*", "ends"}, linux.path());
    EXPECT_FALSE(Exists(linux / "Holiday_00.exe"));
    // Its join advises the repair that can make the head part.
    std::string done = JoinDone(linux.path());
    Drive(tool / "CLEAVER.EXE|" + WinPath(linux / PartName("Holiday", -1)),
          {"join", "click:IDOK", done.insert(done.find("\n"), "; Holiday_00.exe was missing: rebuilt from the recovery parts"),
           "warning:UnCleaver:cleaver.exe was not written: the head part, which holds the program, is lost or "
           "damaged; a repair of the set makes it again (cleaver --repair on Linux).", "ends"}, linux.path());
    EXPECT_TRUE(ReadBytes(linux / "Holiday.MP4") == input);
}

// Names in any script: chosen in the file dialog, split, shown by the join, rebuilt the same.
TEST_F(WineDialogs, NamesInAnyScriptSplitAndRejoin)
{
    for (const std::string name : {"Отчёт за год.bin", "報告書.bin", "🎉 party.bin"}) {
        SCOPED_TRACE(name);
        ScratchDir dir, to;
        WriteBytes(dir / name, input);
        std::string base = name.substr(0, name.size() - 4);
        Drive(tool / "CLEAVER.EXE", {"split", "click:IDC_BROWSE", "open:" + WinPath(dir / name),
                                     Shown(WinPath(dir / name)), "click:IDC_SIZE_720",
                                     "click:IDOK", "info:Cleaver:*" + SplitDone(dir.path()).substr(SplitDone(dir.path()).find(", CRC")), "ends"});
        EXPECT_EQ(SizeOf(dir / PartName(base, 1)), 696320);
        ASSERT_GE(CopySet(dir.path(), base, to.path()), 3);
        Drive(to / PartName(base, 0), {"join", "text:IDC_NAME:" + name, "click:IDOK", JoinDone(to.path(), "*"), "ends"});
        EXPECT_TRUE(ReadBytes(to / name) == input);
    }
}

// In a read-only folder the split says which part it could not create, and
// why, in the system's words.
TEST_F(WineDialogs, AReadOnlyFolderIsToldWithItsReason)
{
    if (!g_own_mounts)
        GTEST_SKIP() << "no mounts of its own here";
    std::string folder = Quote(from.path());
    ASSERT_EQ(system(("mount --bind " + folder + " " + folder + " && mount -o remount,ro,bind " +
                      folder).c_str()), 0);
    Drive(tool / "CLEAVER.EXE", {"split", "click:IDC_BROWSE", "open:" + InputPath(), "click:IDOK",
                                 "error:Cleaver:Unable to create part Holiday_00.exe: Access denied",
                                 "close"});
    EXPECT_EQ(system(("umount " + folder).c_str()), 0);
    EXPECT_EQ(Names(from.path()), NameSet{"Holiday.MP4"});
}

// Every text of both dialogs fits its control, at 96 and 192 dpi, in the wide font that stands in
// for "MS Sans Serif" here: the join's Repair row tells one part lost by name, and three by their
// number, with what is lacking.
TEST_F(WineDialogs, EveryTextFitsItsControlAtEitherDpi)
{
    ScratchDir one, three;
    const std::string base = "Holiday in the mountains";
    WriteBytes(one / (base + ".MP4"), input);
    int status = -1;
    std::string out = RunWithInput(std::string(POSIX_PROGRAM) + " -s 360K -r 1 --for windows " +
                                       Quote(one / (base + ".MP4")), "", &status);
    ASSERT_EQ(status, 0) << out;
    CopySet(one.path(), base, three.path());
    for (int i : {2, 4, 6})
        ASSERT_EQ(unlink((three / PartName(base, i)).c_str()) | (i == 2 ? unlink((one / PartName(base, i)).c_str()) : 0), 0);
    for (int dpi : {192, 96}) {
        SCOPED_TRACE(dpi);
        ASSERT_EQ(system((kWine + " reg add 'HKCU\\Control Panel\\Desktop' /v LogPixels /t REG_DWORD /d " +
                          std::to_string(dpi) + " /f >/dev/null 2>&1; wineserver -k; wineserver -w; wineserver -p")
                             .c_str()), 0);
        Drive(tool / "CLEAVER.EXE", {"split", "fits", "close"});
        Drive(one / PartName(base, 0), {"join", "text:IDC_REPAIR:" + base + "_02.QCB is missing: to be rebuilt from "
                                        "the recovery parts", "fits", "close"});
        Drive(three / PartName(base, 0), {"join", "text:IDC_REPAIR:3 parts missing: 2 more recovery parts needed",
                                          "disabled:IDOK", "fits", "close"});
    }
}
