// The Linux program's command line, end to end: one scenario a test, each a
// few lines of shell around the real program and what it must say.
#include <gtest/gtest.h>

#include <unistd.h>

#include <regex>
#include <string>

#include "app/mode.h"
#include "format/trailer.h"
#include "test_files.h"

namespace {

struct Scenario {
    const char *name;
    const char *run;  // shell commands in a scratch folder holding ./cleaver
    int status;       // the last command's
    std::vector<std::string> says, never;
    // What the scenario needs of this machine: "root" (to act as another
    // user), "no /proc" (mounts of its own, and a program that runs without
    // /proc, as no sanitizer's does), "static" (the program, static, and
    // mounts of its own), "windows" (the Windows program).
    const char *needs = "";
};
void PrintTo(const Scenario &s, std::ostream *os) { *os << s.name; }

// What every scenario may call: PART, a part size the program fits in;
// mkset N FILE, FILE of N random bytes split into parts of PART (a set of
// four); quiet, a command whose output does not count; flip FILE AT, the
// byte at AT changed, whatever it held; spoil FILE, flip FILE 1000.
const char kPrelude[] =
    "mkset() { head -c $1 /dev/urandom > \"$2\" && ./cleaver -s $PART \"$2\" >/dev/null; }\n"
    "quiet() { \"$@\" >/dev/null 2>&1; }\n"
    "mkrset() { head -c $2 /dev/urandom > \"$3\" && ./cleaver -s $PART -r $1 \"$3\" >/dev/null; }\n"
    "flip() { b=$(od -An -tu1 -j$2 -N1 \"$1\"); printf \"\\\\$(printf %o $((b ^ 1)))\" | "
    "dd of=\"$1\" bs=1 seek=$2 conv=notrunc 2>/dev/null; }\n"
    "spoil() { flip \"$1\" 1000; }\n";

class CommandLine : public ::testing::TestWithParam<Scenario> {};

TEST_P(CommandLine, SaysWhatHappened)
{
    const Scenario &s = GetParam();
    std::string needs = s.needs;
    bool tool = needs == "busybox" || needs == "lintian";
    if (tool && system(("command -v " + needs + " >/dev/null").c_str()) != 0)
        GTEST_SKIP() << s.name << " needs " << needs;
    if (needs != "" && needs != "windows" && !tool && geteuid() != 0)
        GTEST_SKIP() << s.name << " needs root";
#ifdef __SANITIZE_ADDRESS__
    if (needs == "no /proc" || needs == "static")
        GTEST_SKIP() << s.name << " cannot run under AddressSanitizer, which needs /proc and a C library";
#endif
    if (needs == "static" && RunWithInput(std::string("ldd ") + POSIX_PROGRAM, "").find("not a dynamic") ==
                                 std::string::npos)
        GTEST_SKIP() << s.name << " needs the program static (musl-tools)";
    if ((needs == "no /proc" || needs == "static") && system("unshare -m true 2>/dev/null") != 0)
        GTEST_SKIP() << s.name << " needs mounts of its own (unshare -m)";
    if (needs == "windows" && !Exists(WINDOWS_PROGRAM))
        GTEST_SKIP() << s.name << " needs the Windows program (built with MinGW)";
    ScratchDir dir;
    CopyFile(POSIX_PROGRAM, dir / "cleaver");
    const std::string part = std::to_string(PartSizeFor(POSIX_PROGRAM));
    WriteBytes(dir / "prelude", kPrelude);
    int status = -1;
    std::string out = RunWithInput("cd '" + dir.path() + "' && export PART=" + part +
                                       " && . ./prelude && " + s.run,
                                   "", &status);
    EXPECT_EQ(status, s.status) << out;
    for (const std::string &text : s.says)
        EXPECT_NE(out.find(text), std::string::npos) << "no \"" << text << "\" in:\n" << out;
    for (const std::string &text : s.never)
        EXPECT_EQ(out.find(text), std::string::npos) << "\"" << text << "\" in:\n" << out;
}

INSTANTIATE_TEST_SUITE_P(Usage, CommandLine, ::testing::Values(
    Scenario{"NoOperand", "./cleaver --no-copy", 2, {"cleaver: give one FILE, --join=HEAD, "
             "--check=HEAD, --info=HEAD or --repair=HEAD\nTry 'cleaver --help'"}},
    Scenario{"TwoFiles", "./cleaver a b", 2, {"cleaver: one FILE at a time"}},
    // Started with no terminal (a file manager, setsid): a desktop's terminal for the dialog,
    // else the join as OK would, replacing nothing, with a status that tells.
    Scenario{"NoTerminalStillJoins",
             "mkset $((3*PART)) f && mv f orig && mkdir bin && printf '#!/bin/sh\\necho \"$@\" > args\\n' > "
             "bin/x-terminal-emulator && chmod +x bin/x-terminal-emulator && unset DISPLAY WAYLAND_DISPLAY && "
             "setsid -w ./f_00.exe </dev/null && cmp orig f && echo x >> f && "
             "{ setsid -w ./f_00.exe </dev/null; echo status $?; } && DISPLAY=:9 PATH=$PWD/bin:$PATH "
             "setsid -w ./f_00.exe </dev/null && for i in 1 2 3 4 5 6 7 8 9; do [ -s args ] || sleep 0.2; done; cat args", 0,
             {"f: ", " bytes rebuilt, CRC-32 ", "another file of that name is there, and is left alone\nstatus 1\n",
              "-e ", "/f_00.exe\n"}},
    Scenario{"NoTerminalAndASocketThatEndedStillJoins",  // as a service manager may start it
             "mkset $((3*PART)) f && mv f orig && unset DISPLAY WAYLAND_DISPLAY && python3 -c 'import os, socket; "
             "a, b = socket.socketpair(); b.close(); os.dup2(a.fileno(), 0); "
             "os.execvp(\"setsid\", [\"setsid\", \"-w\", \"./f_00.exe\"])' && cmp orig f", 0,
             {"f: ", " bytes rebuilt, CRC-32 "}},
    Scenario{"SaysWhatEachFileIs", "mkset $((3*PART)) f && { ./cleaver --check f_01.QCB; ./cleaver --join f; }", 1,
             {"cleaver: f_01.QCB is not the head part but a slice of the set whose head part is f_00.exe: give "
              "that one\n", "cleaver: f is not the head part of a set\n"}, {"Unable to rebuild"}},
    // A program that holds no set splits under any name; a head part given to it is joined.
    Scenario{"TheProgramSplitsUnderAnyName", "cp cleaver qcleaver && head -c $((2*PART)) /dev/urandom > 'my f' && "
             "./qcleaver -s $PART 'my f' && ./cleaver 'my f_00.exe'", 2,
             {"'my f_00.exe': ", "cleaver: my f_00.exe is the head part of a set: to rebuild its file, use cleaver "
              "--join 'my f_00.exe'\n"}},
    Scenario{"SizeTooSmall", "./cleaver -s 9K f", 2, {"cleaver: Size must be between 10 KB and 4 GB, not 9K"}},
    Scenario{"SizeTwoDecimals", "./cleaver -s 1.55M f", 2, {"Size takes one decimal at most, as in 1.5 GB, not 1.55M"}},
    Scenario{"SizeOverflows", "./cleaver -s 3435973837G f", 2, {"Size must be between 10 KB and 4 GB"}},
    Scenario{"SizeNoNumber", "./cleaver -s lots f", 2, {"Size must be a number of bytes, or one with its unit"}},
    Scenario{"ForMac", "./cleaver --for=mac f", 2, {"cleaver: --for takes windows or linux, not mac"}},
    Scenario{"SizeWithJoin", "./cleaver --join x --size 1M", 2, {"--size, --recovery, --for and --name are for a split"}},
    Scenario{"DeleteWithSplit", "./cleaver --delete f", 2, {"--no-copy and --delete are for a join"}},
    Scenario{"QuietWithSplit", "./cleaver -q f", 2, {"cleaver: -q is for --join and --check"}},
    Scenario{"ForceWithCheck", "./cleaver --check x -f", 2, {"--check, --info and --repair take only -q"}},
    Scenario{"DeleteToStandardOutput", "./cleaver --join x -o - --delete > out", 2,
             {"--delete is not for a join to standard output, which keeps the parts"}},
    Scenario{"SplitToStandardOutput", "./cleaver -o - f", 2, {"a split writes its parts to a folder"}},
    Scenario{"StandardInputUnnamed", "./cleaver - < /dev/null", 2, {"standard input has no name"}},
    Scenario{"NameWithAFile", "./cleaver --name n f", 2, {"--name is for standard input (FILE -)"}},
    Scenario{"Unknown", "./cleaver --frobnicate", 2, {"cleaver: unrecognized option '--frobnicate'"}},
    Scenario{"MissingArgument", "./cleaver --join", 2, {"cleaver: option '--join' requires an argument"}},
    Scenario{"ShortHelp", "./cleaver -h", 0, {"Usage: cleaver [-s SIZE]"}},
    Scenario{"ShortVersion", "./cleaver -V", 0, {"QCleaver 2.", "none, QCS1, QCS2 and QCS3, and QCR1 and QCR2 recovery\nparts; writes QCS3 and QCR2"}},
    Scenario{"TooManyPartsByDefault", "truncate -s 2G big.img && ./cleaver big.img; s=$?; ls; exit $s", 1,
             {"big.img would make about 1499 parts of 1.4 MB: say how large a part may be with -s "
              "(-s 21M makes 99 or fewer)"}, {"big_00.exe"}},
    Scenario{"HeadPartHelp", "mkset $((2*PART)) h.bin && ./h_00.exe --help", 0, {"Usage: h_00.exe [--no-copy]"},
             {"-s SIZE"}},
    Scenario{"HeadPartRefusesSize", "mkset $((2*PART)) h.bin && ./h_00.exe -s 1M", 2,
             {"h_00.exe: unrecognized option '-s'\nTry 'h_00.exe --help'"}},
    Scenario{"OptionsInAnyOrder", "mkset $((2*PART)) r.bin && ./cleaver --check --quiet r_00.exe && ./cleaver r_00.exe "
             "-q --check && ./cleaver --info -- r_00.exe | head -1 && mv r.bin k && ./cleaver -o o --join r_00.exe "
             "-q && cmp k o/r.bin && ./cleaver - -s $PART --name p.bin -o p < k", 0, {"name: r.bin\n", "p_00.exe: "}},
    Scenario{"NoFileToATerminal", "mkset $((2*PART)) r.bin && script -qec './r_00.exe -o -; echo \" status $?\"' "
             "/dev/null", 0, {"r_00.exe: the file is not written to a terminal: redirect standard output to a "
             "file or a pipe", " status 2"}, {"rebuilt"}},
    Scenario{"SizesAsGnuSplitReadsThem",  // K binary, KB decimal: a file of one part is refused, one more byte split
             "mkdir g && head -c $((4*PART)) /dev/zero > z && k=$((PART/1000+1)) m=$((PART/1000000+1)) && for s in ${k}K "
             "${k}KB ${k}KiB ${m}MB ${m}M; do n=$(cd g && split -b $s ../z && wc -c < xaa && rm x*) && truncate -s $n f && "
             "./cleaver -s $s f 2>&1 | grep -q 'too small' && truncate -s $((n+1)) f && ./cleaver -s $s -f f >/dev/null && "
             "echo \"$s: right\" || echo \"$s: wrong\"; done", 0,
             {"K: right", "KB: right", "KiB: right", "MB: right", "M: right"}, {"wrong"}},
    Scenario{"HelpSaysTheLeastSize", "l=$(./cleaver --help | sed -n 's/.*the least is \\([0-9]*\\)K for Linux.*/\\1/p')"
             " && head -c $((3*PART)) /dev/urandom > f && ./cleaver -s $((l-1))K f; ./cleaver -s ${l}K f", 0,
             {"cannot hold the program: choose parts of at least ", "f_00.exe: "}},
    Scenario{"FullStandardOutput", "mkset $((2*PART)) u.bin && rm u_* && (./cleaver -s $PART u.bin >/dev/full)",
             1, {"cleaver: standard output: No space left"}}),
    [](const ::testing::TestParamInfo<Scenario> &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Opening, CommandLine, ::testing::Values(
    Scenario{"NoHeadPart", "./cleaver --join none_00.exe", 1,
             {"cleaver: Unable to loacte original file information: none_00.exe: No such file"}},
    Scenario{"TooShort", "echo tiny > t_00.exe && ./cleaver --join t_00.exe", 1,
             {"t_00.exe is only 5 bytes long, too short for the head part of a set"}},
    Scenario{"ASliceGiven", "mkset $((2*PART)) r.bin && ./cleaver --join r_01.QCB", 1,
             {"r_01.QCB is not the head part but a slice of the set whose head part is r_00.exe"},
             {"damaged"}},
    Scenario{"HeadPartCutShort",  // started by itself, it shows no bytes of its lost end
             "mkset $((2*PART)) c.bin && head -c $((PART-100)) c_00.exe > x && cat x > c_00.exe && "
             "printf '\\033[2J\\0' | dd of=c_00.exe bs=1 seek=$((PART-372)) conv=notrunc 2>/dev/null && "
             "echo c | ./c_00.exe && ./cleaver --check c_00.exe",
             1, {"c_00.exe, the head part itself, is damaged; get it again"}, {"\033[2J"}},
    Scenario{"FolderUnreadable",  // as a user who may enter the folder but not read it
             "mkdir d && mkset $((2*PART)) d/s.bin && chmod 711 . && chmod 311 d && chmod 755 cleaver && "
             "setpriv --reuid=65534 --regid=65534 --clear-groups ./cleaver --join d/s_00.exe", 1,
             {"cleaver: Unable to rebuild s.bin: its parts cannot be looked for. Unable to open the "
              "folder d/: Permission denied"}, {}, "root"},
    Scenario{"FolderUnreadableInTheDialog",  // said as the dialog opens, and OK is disabled
             "mkdir d && mkset $((2*PART)) d/s.bin && chmod 711 . && chmod 311 d && "
             "printf 'c\\n' | setpriv --reuid=65534 --regid=65534 --clear-groups ./d/s_00.exe", 1,
             {"UnCleaver: Unable to rebuild s.bin: its parts cannot be looked for. Unable to open the "
              "folder", "Permission denied", "o  <OK>  (disabled)"}, {}, "root"},
    Scenario{"HeadUnreadable",
             "mkset $((2*PART)) s.bin && chmod 711 . && chmod 755 cleaver && chmod 600 s_00.exe && "
             "setpriv --reuid=65534 --regid=65534 --clear-groups ./cleaver --join s_00.exe", 1,
             {"Unable to loacte original file information: s_00.exe: Permission denied"}, {}, "root"},
    Scenario{"NoProcByItsPath",  // where /proc is missing, the path it was started by
             "head -c $((2*PART)) /dev/urandom > f && "
             "unshare -m sh -c 'mount -t tmpfs none /proc && ./cleaver -s $PART f'", 0,
             {"f_00.exe: "}, {}, "no /proc"},
    Scenario{"NoProcByThePath",  // ... or the PATH it was found by, where "" is "."
             "unshare -m sh -c 'mount -t tmpfs none /proc && PATH=/nowhere::/usr/bin bash -c \"exec cleaver -V\"'",
             0, {"QCleaver "}, {}, "no /proc"},
    Scenario{"NoProcNoPath",  // ... or says why it cannot run
             "unshare -m sh -c 'mount -t tmpfs none /proc && bash -c \"exec -a nowhere ./cleaver -V\"'",
             1, {"nowhere: Unable to find the program's own file /proc/self/exe: No such file or "
                 "directory; start the program by its path"}, {}, "no /proc"}),
    [](const ::testing::TestParamInfo<Scenario> &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Splitting, CommandLine, ::testing::Values(
    Scenario{"AFifo", "mkfifo p && ./cleaver p", 1,
             {"Unable to open input file p: not a file on a disk but a pipe"}, {"No such device"}},
    Scenario{"AFolder", "mkdir d && ./cleaver d", 1, {"Unable to open input file d: Is a directory"}},
    Scenario{"WindowsHintQuoted",
             "head -c $((2*PART)) /dev/urandom > 'Größe 日本.bin' && "
             "./cleaver -s $PART --for windows 'Größe 日本.bin' | sed -n 's/.*`\\(.*\\)`.*/\\1/p' > hint "
             "&& cat hint && mv 'Größe 日本.bin' kept && sh -c \"./$(cat hint) --no-copy\" && cmp kept 'Größe 日本.bin'",
             0, {"cleaver --join 'Größe 日本_00.exe'\n"}, {}, "windows"},
    Scenario{"NotAWindowsName",
             "head -c $((2*PART)) /dev/urandom > 'a:b.txt' && ./cleaver -s $PART --for windows 'a:b.txt'",
             1, {"Unable to make a set for Windows of a:b.txt: Windows names hold none of"}, {}, "windows"},
    Scenario{"DeviceName", "head -c $((2*PART)) /dev/zero > con.txt && ./cleaver --for windows -s $PART con.txt",
             1, {"it is the name of a device on Windows"}, {}, "windows"},
    Scenario{"LongNameKeepsItsChecksums",
             "n=$(printf 'n%.0s' $(seq 240)) && head -c $((2*PART)) /dev/urandom > $n.bin && "
             "./cleaver -s $PART $n.bin >/dev/null && ./cleaver --check ${n}_00.exe | tail -1", 0,
             {"3 of 3 parts sound, CRC-32 "}},
    Scenario{"AtLeastRoundsUp",  // 4 TB in parts that hold the program: the table does not fit
             "truncate -s 4T big && ./cleaver -s $PART big 2>&1 | tee said; echo retry:; "
             "./cleaver -s \"$(sed 's/.*at least \\([0-9.]*\\) \\([KMG]\\)B.*/\\1\\2/' said)\" big", 1,
             {"cannot hold the table of all the parts the file needs at this size: choose parts of "
              "at least ", "retry:\ncleaver: The parts need 4 TB"}},
    Scenario{"FileSizeLimit", "head -c $((3*PART)) /dev/urandom > f && "
             "(ulimit -f $((PART/1024)) && ./cleaver -s $((2*PART)) f)", 1,
             {"a limit set on this program (ulimit -f) takes no larger file"}, {"NTFS"}}),
    [](const ::testing::TestParamInfo<Scenario> &info) { return std::string(info.param.name); });

// Where the files go, what they may replace, and what a set says of itself.
INSTANTIATE_TEST_SUITE_P(Where, CommandLine, ::testing::Values(
    Scenario{"OutputFoldersBothWays",  // parts into one folder, the file into another
             "mkdir parts file && head -c $((2*PART)) /dev/urandom > f.bin && ./cleaver -s $PART -o parts "
             "f.bin >/dev/null && ./cleaver --join parts/f_00.exe -o file -q && cmp f.bin file/f.bin && ls "
             "file parts", 0, {"file:\ncleaver.exe\nf.bin\n\nparts:\nf_00.exe\nf_01.QCB\nf_02.QCB\n"}},
    Scenario{"OutputFoldersAreMade",  // their parents too; a failure is said on standard error
             "mkset $((2*PART)) f.bin && ./cleaver -s $PART -o a/b f.bin >/dev/null && ./cleaver --join a/b/f_00.exe "
             "-q -o c/d && cmp f.bin c/d/f.bin && touch x && ln -s l l && for o in x/y l; do ./cleaver -s $PART -o $o "
             "f.bin 2>&1 >/dev/null; echo \" status $?\"; done", 0, {"cleaver: Unable to make the folder x/y: Not a "
             "directory\n status 1\ncleaver: Unable to open the folder l: "}, {"status 0"}},
    Scenario{"NoRoomNamesTheOutputFolder", "mkset $((3*PART)) r.bin && mkdir t && unshare -m sh -c 'mount -t tmpfs "
             "-o size=64k none t && ./cleaver --join r_00.exe -f -o t/out'", 1, {"; t/out/ has "}, {}, "root"},
    Scenario{"UninstallTakesBackItsOwnPlace",  // a staged install's, not the real one at the same PREFIX
             "m=\"make -s -C " SOURCE_DIR " PREFIX=$PWD/real\"; $m install >/dev/null && $m DESTDIR=$PWD/stage install "
             ">/dev/null && $m DESTDIR=$PWD/stage uninstall && find real stage -type f | sort", 0,
             {"real/bin/cleaver\nreal/share/bash-completion/completions/cleaver\nreal/share/doc/qcleaver/FORMAT.md\n",
              "real/share/man/man1/cleaver.1.gz\n"},
             {"stage/"}},
    Scenario{"PackageIsLintianClean", "make -s -C " SOURCE_DIR " deb >/dev/null 2>&1 && lintian -I --fail-on error,warning "
             SOURCE_DIR "/build/posix/qcleaver_*.deb > said 2>&1; echo \"lintian $?\"; grep -v 'root privileges' said || true", 0,
             {"lintian 0\n"}, {"E:", "W:", "I:"}, "lintian"},
    Scenario{"BashCompletesNamesAndHeadParts",  // names with spaces whole; a head part's options, each of its --help
             "mkset $((2*PART)) 'my r.bin' && bash -c '. " SOURCE_DIR "/scripts/cleaver.bash-completion; COMP_WORDS=("
             "./cleaver my) COMP_CWORD=1; _cleaver; printf \"[%s]\" \"${COMPREPLY[@]}\"; COMP_WORDS=(\"./my r_00.exe\" "
             "--); f=$(complete -p -D); f=${f#*-F }; ${f%% *}; echo \"${COMPREPLY[*]}\" > offered' && ./'my r_00.exe' --help | sed -n "
             "'s/^ *\\(-., \\)*\\(--[a-z-]*\\).*/\\2/p' | while read o; do grep -qw -- \"$o\" offered || echo \"not offered: $o\"; done", 0,
             {"[my r_00.exe]", "[my r_01.QCB]"}, {"[my]", "not offered"}},
    Scenario{"PipeInStandardOutOut",  // what a pipe brings, rebuilt to standard output
             "head -c $((3*PART)) /dev/urandom > f && cat f | ./cleaver -s $PART - piped.bin && "
             "./cleaver --join piped_00.exe -o - > out && cmp f out && ./piped_00.exe -o - -q | cmp - f",
             0, {"piped_00.exe: ", "piped.bin: ", " verified\n"}},
    Scenario{"DamagedToStandardOutput",  // the bytes went, but the status says they are wrong
             "mkset $((2*PART)) r.bin && flip r_01.QCB 9 && ./cleaver --join r_00.exe -o - >/dev/null", 1,
             {"r_01.QCB is damaged"}},
    Scenario{"TimeAndPermissionsComeBack",
             "head -c $((2*PART)) /dev/urandom > t.bin && touch -d '2020-02-03 04:05:06' t.bin && chmod 750 "
             "t.bin && ./cleaver -s $PART t.bin >/dev/null && mv t.bin kept && ./cleaver --join t_00.exe -q "
             "&& stat -c '%a %y' t.bin && ./cleaver --info t_00.exe", 0,
             {"750 2020-02-03 04:05:06.000000000", "modified: 2020-02-03 04:05:06 UTC\npermissions: 750\n"}},
    Scenario{"InfoTellsTheRecipe",  // ... which rebuilds the file with the shell alone, busybox's too
             "mkset $((2*PART)) 'my r.bin' && mv 'my r.bin' kept && ./cleaver --info 'my r_00.exe' | "
             "sed -n '/^  /p' > recipe && mkdir bb && for t in sh cat head printf tail; do ln -s \"$(command -v busybox)\" "
             "bb/$t; done && (PATH=$PWD/bb; sh recipe) && "
             "cmp kept 'my r.bin' && cat recipe", 0, {"  { tail -c +", " 'my r_00.exe' | head -c ",
             "cat 'my r'_\"$(printf %02d $i)\".QCB; i=$((i + 1)); done; } > 'my r.bin'"}, {}, "busybox"},
    Scenario{"EmptyRoot",  // a head part in a root that holds only its set
             "mkdir root && mkset $((2*PART)) root/r.bin && mv root/r.bin kept && "
             "unshare -m chroot root /r_00.exe --no-copy && cmp kept root/r.bin && ls root", 0,
             {"r.bin: ", "r.bin\nr_00.exe\nr_01.QCB\nr_02.QCB\n"}, {}, "static"},
    Scenario{"ReadOnlyPartsFolderInTheDialog",  // the file may go elsewhere
             "mkdir ro out && mkset $((2*PART)) ro/r.bin && mv ro/r.bin kept && "
             "unshare -m sh -c 'mount --bind ro ro && mount -o remount,ro,bind ro && "
             "printf \"o\\ny\\nout\\n\" | ./ro/r_00.exe' && cmp kept out/r.bin", 0,
             {"Unable to create r.bin: Read-only file system. Choose another folder for r.bin? [y/N]"}, {},
             "no /proc"}),
    [](const ::testing::TestParamInfo<Scenario> &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Replacing, CommandLine, ::testing::Values(
    Scenario{"AnotherFileIsLeftAlone",
             "mkset $((2*PART)) r.bin && echo mine > r.bin && ./cleaver --join r_00.exe; s=$?; cat r.bin; "
             "exit $s", 1, {"another file of that name is there, and is left alone; --force replaces it",
                            "mine\n"}},
    Scenario{"ForceReplaces", "mkset $((2*PART)) r.bin && cp r.bin kept && echo mine > r.bin && "
             "./cleaver --join r_00.exe --force -q && cmp r.bin kept", 0, {}},
    Scenario{"AnotherProgramIsLeftAlone",  // a note; the head part stays with --delete
             "mkset $((2*PART)) r.bin && mv r.bin kept && echo other > cleaver.exe && "
             "./cleaver --join r_00.exe -q; echo $?; ./cleaver --join r_00.exe --force -q --delete; "
             "echo $?; cmp cleaver cleaver.exe && test ! -e r_00.exe", 0,
             {"cleaver.exe was not written: a file or a folder of that name is there, and is left alone. "
              "(--force replaces another program)\n0\n0\n"}},
    Scenario{"AnotherSetsParts",  // archive.tar.gz and archive.tar.bz2 share their parts' names
             "mkset $((2*PART)) a.tar.gz && cp a.tar.gz a.tar.bz2 && ./cleaver -s $PART a.tar.bz2; echo $?; "
             "./cleaver --check a.tar_00.exe | tail -1", 0,
             {"a.tar_00.exe: it is the head part of a set of a.tar.gz", "(--force replaces it)\n1\n"}},
    Scenario{"StrayParts", "echo mine > s_01.QCB && head -c $((2*PART)) /dev/urandom > s.bin && "
             "./cleaver -s $PART s.bin", 1, {"s_01.QCB: a file of that name is there, of no set beside it"}},
    Scenario{"ResplitRemovesTheEarlierSetsLeftovers",  // only those its table confirms
             "mkset $((4*PART)) r.bin && echo mine > r_09.QCB && ./cleaver -s $((2*PART)) r.bin && ls r_* && "
             "echo mine > r_03.QCB && ./cleaver --check r_00.exe", 0,
             {"; 5 parts of an earlier set of it replaced", "r_00.exe\nr_01.QCB\nr_02.QCB\nr_09.QCB\n",
              "r_03.QCB: extra: no part of this set\n", "r_09.QCB: extra"}, {"r_04.QCB"}},
    Scenario{"ResplitLeavesReadOnlyAndLinkedLeftovers",  // the user's, whatever they hold
             "mkset $((4*PART)) r.bin && chmod 444 r_03.QCB && mv r_04.QCB k && ln -s k r_04.QCB && "
             "./cleaver -s $((2*PART)) r.bin && ls r_*", 0,
             {"; 3 parts of an earlier set of it replaced", "r_00.exe\nr_01.QCB\nr_02.QCB\nr_03.QCB\nr_04.QCB\n"}}),
    [](const ::testing::TestParamInfo<Scenario> &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Joining, CommandLine, ::testing::Values(
    Scenario{"APartOfAWrongLength",  // cut short, then too long: the check's line and the join's sentence
             "mkset $((3*PART)) r.bin && rm r.bin && truncate -s -17 r_02.QCB && { ./cleaver --join r_00.exe; "
             "./cleaver --check r_00.exe; truncate -s +34 r_02.QCB; ./cleaver --join r_00.exe; ls; }", 0,
             {"r_02.QCB is 17 bytes short: it was cut short; get it again\n", "r_02.QCB: 17 bytes short\n",
              "r_02.QCB is 17 bytes too long; get it again\n"}, {"r.bin\n"}},
    Scenario{"ReadOnlyFileOfTheOutputsName",  // the user's, never replaced
             "mkset $((2*PART)) r.bin && echo mine > r.bin && chmod 444 r.bin && "
             "./cleaver --join r_00.exe; s=$?; cat r.bin; exit $s", 1,
             {"Unable to open output file, make sure there is no file with the same name", "mine\n"}},
    Scenario{"FolderOfTheOutputsName", "mkset $((2*PART)) r.bin && rm r.bin && mkdir r.bin && "
             "./cleaver --join r_00.exe --force; s=$?; test -d r.bin && exit $s", 1,
             {"Unable to open output file, make sure there is no file with the same name"}},
    Scenario{"SliceLinkedToTheHeadPart",  // told alike by the check and the join
             "mkset $((3*PART)) r.bin && rm r.bin r_01.QCB && ln r_00.exe r_01.QCB && "
             "./cleaver --check r_00.exe; ./cleaver --join r_00.exe", 1,
             {"r_01.QCB: holds what r_00.exe should hold\n", "r_01.QCB holds what r_00.exe should hold"}},
    Scenario{"HeadPartNamedCleaverExe",  // the program copy never replaces a part
             "mkset $((2*PART)) r.bin && mv r.bin kept && mv r_00.exe cleaver.exe && cp cleaver.exe head "
             "&& ./cleaver --join ./cleaver.exe && cmp kept r.bin && cmp cleaver.exe head", 0,
             {"cleaver.exe was not written: a part of the set has that name"}},
    Scenario{"DeleteKeepsTheOnlyProgram",  // a read-only cleaver.exe: no copy, the head part stays
             "mkset $((2*PART)) r.bin && mv r.bin kept && touch cleaver.exe && chmod 444 cleaver.exe && "
             "./cleaver --join r_00.exe --delete; s=$?; ls r_0*; exit $s", 1,
             {"r_00.exe was not deleted: without cleaver.exe it is the only copy of the program",
              "r_00.exe\n"}, {"r_01.QCB\n"}},
    Scenario{"DeleteRefusedInAStickyFolder",  // parts owned by another user, in a folder like /tmp
             "mkdir s && mkset $((2*PART)) s/r.bin && mv s/r.bin kept && chmod 711 . && "
             "chmod 1777 s && chmod 755 cleaver && "
             "setpriv --reuid=65534 --regid=65534 --clear-groups ./cleaver --join s/r_00.exe --delete "
             "--no-copy", 1, {"r.bin: ", " rebuilt", "parts were not deleted. Unable to delete "
             "r_01.QCB: Operation not permitted"}, {}, "root"},
    Scenario{"ProgramDamagedCheck",  // a damaged program rebuilds the file, but the check tells
             "mkset $((2*PART)) r.bin && flip r_00.exe 100 && ./cleaver --check r_00.exe", 1,
             {"r_00.exe: damaged: its program does not match the checksum recorded when it was made"}},
    Scenario{"WindowsNameWithControlCharacters",  // a crafted Windows set's name is refused, not shown
             "head -c $((2*PART)) /dev/urandom > w.bin && ./cleaver --for windows -s $PART w.bin >/dev/null && "
             "printf 'a\\033[2Jb.txt\\0' | dd of=w_00.exe bs=1 seek=$(($(stat -c %s w_00.exe)-272)) "
             "conv=notrunc 2>/dev/null && ./cleaver --join w_00.exe", 1,
             {"the head part itself, is damaged"}, {"\033"}, "windows"}),
    [](const ::testing::TestParamInfo<Scenario> &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Recovering, CommandLine, ::testing::Values(
    Scenario{"CheckTellsARecoveryPartOfAnotherSplit", "mkrset 1 $((4*PART)) r.bin && mv r_R01.QCB old && "
             "mkrset 1 $((4*PART)) r.bin && mv old r_R01.QCB && ./cleaver --check r_00.exe", 3,
             {"r_R01.QCB: of another split, not used: that set was made "}},
    Scenario{"RebuildsWhatIsMissingOrDamaged", "mkrset 2 $((4*PART)) r.bin && mv r.bin kept && "
             "rm r_02.QCB && spoil r_03.QCB && ./cleaver --join r_00.exe --no-copy && cmp kept r.bin", 0,
             {"verified; r_02.QCB was missing and r_03.QCB damaged: both rebuilt from the recovery parts\n"}},
    Scenario{"HeadPartLostJoinsByARecoveryPart", "mkrset 1 $((3*PART)) r.bin && mv r.bin kept && "
             "rm r_00.exe && ./cleaver --join r_R01.QCB; s=$?; cmp kept r.bin && exit $s", 0,
             {"r_00.exe was missing: rebuilt from the recovery parts",
              "cleaver.exe was not written: the head part, which holds the program, is lost"}},
    Scenario{"OneLossTooMany",  // named, with what is lacking, and nothing written
             "mkrset 1 $((3*PART)) r.bin && rm r.bin r_01.QCB && spoil r_02.QCB && "
             "./cleaver --join r_00.exe; s=$?; ls; exit $s", 1,
             {"r_01.QCB is missing and r_02.QCB damaged; the 1 sound recovery part rebuilds no more than "
              "one: 1 more is needed"}, {"r.bin\n", "qcleaver-"}},
    Scenario{"CheckSaysRepairable", "mkrset 2 $((3*PART)) r.bin && rm r_01.QCB && ./cleaver --check r_00.exe",
             3, {"r_01.QCB: missing\n", "r_R02.QCB: sound\n", "2 of 2 recovery parts sound; 1 missing: "
                 "repairable with the recovery parts\n"}},
    Scenario{"CheckTellsTheStretchesDamaged",  // where in the part, and what the recovery parts lack
             "mkrset 1 $((3*PART)) r.bin && for at in 1:300000 2:200000 2:300000; do printf XXXX | "
             "dd of=r_0${at%%:*}.QCB bs=1 seek=${at#*:} conv=notrunc 2>/dev/null; done && ./cleaver --check r_00.exe",
             1, {"r_01.QCB: 1 stretch of 4 KB damaged, at 299,008\n",
                 "r_02.QCB: 2 stretches of 4 KB damaged, the first at 196,608\n",
                 "1 of 1 recovery parts sound; 2 damaged: 1 more recovery part needed\n"}},
    Scenario{"RepairWritesThePartsBack",  // the head part too, from this program
             "mkrset 2 $((4*PART)) r.bin && mv r_00.exe head && truncate -s -9 r_02.QCB && cp r_02.QCB spoilt && "
             "./cleaver --repair r_R02.QCB && cmp head r_00.exe && cmp spoilt r_02.QCB.damaged && "
             "./cleaver --check r_00.exe -q", 0,
             {"r_00.exe was missing and r_02.QCB cut short or too long: all written again from the recovery "
              "parts; the damaged one is kept, as r_02.QCB.damaged"}},
    // Recovery parts of an earlier split of a file edited since, beside a
    // head part cut short: their description fits every slice but one.
    Scenario{"StaleRecoveryPartsRebuildNothing",
             "mkrset 2 $((3*PART)) r.bin && mkdir old && mv r_R0* old && flip r.bin $((2*PART)) && "
             "./cleaver -s $PART -r 2 r.bin >/dev/null && "
             "mv old/* . && truncate -s 9999 r_00.exe && mkdir out && "
             "{ ./cleaver --check r_00.exe; ./cleaver --join r_R01.QCB -o out; ./cleaver --repair r_R01.QCB; ls; }", 0,
             {"r_02.QCB holds other data than the recovery parts describe, and the head part, which would "
              "tell whose they are, is lost or damaged: they may be of another split\n",
              "may be of another split; nothing was rebuilt from them"}, {"rebuilt, CRC", "written again", ".damaged"}},
    Scenario{"ReadOnlyPartsAreParts", "mkrset 1 $((3*PART)) r.bin && chmod 444 r_01.QCB r_02.QCB && "
             "./cleaver --repair r_00.exe && ls", 0, {"r_00.exe: every part is sound; nothing to repair\n"},
             {".damaged"}},
    // A pipe's recovery parts, made in the one pass that reads it, each part within the size.
    Scenario{"StandardInputWithRecoveryParts", "head -c $((5*PART)) /dev/urandom > orig && ./cleaver -s $PART "
             "-r 1 - x.bin < orig && [ $(ls -l x_* | awk -v p=$PART '$5 > p' | wc -l) = 0 ] && rm x_02.QCB && "
             "mkdir o && ./cleaver --join x_00.exe -o o && cmp orig o/x.bin", 0,
             {"x_02.QCB was missing: rebuilt from the recovery parts"}},
    Scenario{"ResplitRemovesStaleRecoveryParts", "mkrset 2 $((3*PART)) r.bin && ./cleaver -s $PART -r 1 "
             "r.bin >/dev/null && ls r_R*", 0, {"r_R01.QCB\n"}, {"r_R02"}},
    Scenario{"StrayRecoveryPartsStandInTheWay",  // until --force, which takes them away
             "mkrset 2 $((3*PART)) r.bin && rm r_0* && { ./cleaver -s $PART r.bin; ./cleaver -s $PART -f r.bin; "
             "mkrset 2 $((3*PART)) a.tar.gz && "
             "mkset $((3*PART)) a.tar.bz2 || ./cleaver -s $PART -f a.tar.bz2; ls; }", 0,
             {"Unable to create part r_R0", "of no set beside it", "r_00.exe: ", "\nr_03.QCB\n",
              "a.tar_00.exe: ", "of others replaced"}, {"r_R01.QCB\n", "a.tar_R01.QCB\n"}},
    Scenario{"RepairMendsADamagedProgram", "mkrset 1 $((3*PART)) r.bin && cp r_00.exe h && spoil r_00.exe && "
             "./cleaver --repair r_00.exe && cmp h r_00.exe && ./cleaver --check r_00.exe -q", 0,
             {"r_00.exe was damaged: written again; the damaged one is kept, as r_00.exe.damaged\n"}},
    Scenario{"ARecoveryPartGivenJoinsThroughTheHeadPart",  // and deletes it, as any join does
             "mkrset 1 $((3*PART)) r.bin && mv r.bin orig && ./cleaver --join r_R01.QCB --delete && "
             "cmp orig r.bin && ls", 0, {"r.bin: ", " verified\n", "cleaver.exe\n"}, {"r_00.exe", "r_R01.QCB\n"}},
    // A drive with room for the part it mends, not for the file: the repair
    // writes into the parts, never a whole-file temporary.
    Scenario{"RepairNeedsRoomForThePartsOnly",
             "mkrset 1 $((8*PART)) r.bin && rm r.bin && mkdir t && unshare -m sh -c 'mount -t tmpfs -o "
             "size=$(( $(cat r_* cleaver | wc -c) / 1024 + 2 * PART / 1024 + 64 ))k none t && mv r_* t/ && cp cleaver t/ && "
             "cd t && cp r_03.QCB ../orig && rm r_03.QCB && ./cleaver --repair r_00.exe && cmp r_03.QCB ../orig'", 0,
             {"r_03.QCB was missing: written again from the recovery parts\n"}, {}, "root"},
    Scenario{"TooManyParts", "truncate -s 200G big.img && ./cleaver -s 4M -r 1 big.img", 1,
             {"Recovery parts can cover a set of at most 32768 parts: choose parts of at least "}},
    // The check counts what a join would lack.
    Scenario{"CheckCountsOneMoreNeeded", "mkrset 1 $((4*PART)) r.bin && rm r_01.QCB r_02.QCB && "
             "./cleaver --check r_00.exe", 1, {"; 2 missing: 1 more recovery part needed\n"}},
    Scenario{"CheckCountsTwoMoreNeeded", "mkrset 1 $((4*PART)) r.bin && rm r_01.QCB r_02.QCB r_03.QCB && "
             "./cleaver --check r_00.exe", 1, {"; 3 missing: 2 more recovery parts needed\n"}},
    Scenario{"RepairWhereNoPartCanBeWritten",  // as a user who may read the folder, not write it
             "mkrset 1 $((4*PART)) r.bin && rm r_02.QCB && chmod 755 . cleaver && "
             "setpriv --reuid=65534 --regid=65534 --clear-groups ./cleaver --repair r_00.exe; echo status $?; ls", 0,
             {"cleaver: Unable to create r_02.QCB: Permission denied\nstatus 1\n"}, {"r_02.QCB\n"}, "root"},
    Scenario{"InfoListsThem", "mkrset 2 $((3*PART)) r.bin && ./cleaver --info r_00.exe", 0,
             {"recovery parts: 2 of ", " bytes, r_R01.QCB to r_R02.QCB: any 2 parts lost or damaged are "
              "rebuilt\n"}}),
    [](const ::testing::TestParamInfo<Scenario> &info) { return std::string(info.param.name); });

// What the program asks of the user, refused before anything is read or
// written, and what it suggests, taken when given back.
INSTANTIATE_TEST_SUITE_P(Asking, CommandLine, ::testing::Values(
    Scenario{"StandardInputNamedWhatNoFileIs",  // refused before the pipe is read, which keeps its data
             "for n in . .. a/b x/ ''; do printf piped | { ./cleaver -s $PART - \"$n\"; echo \" status $?\"; cat; "
             "echo; }; done; printf piped | { ./cleaver --name .. -s $PART -; echo \" status $?\"; cat; echo; }; ls",
             0, {"cleaver: standard input cannot be rebuilt under the name .: it names a folder, not a file\n",
                 "cleaver: standard input cannot be rebuilt under the name ..: it names a folder, not a file\n",
                 "cleaver: standard input cannot be rebuilt under the name a/b: a file's name holds no /",
                 "cleaver: standard input cannot be rebuilt under an empty name\n", " status 2\npiped\n"},
             {"status 0", "status 1", "_00.exe"}},
    Scenario{"SuggestedSizesAreTaken",  // a part in the way stops each split once its size is taken
             "for r in '' '-r 1' '-r 1000'; do for n in 60M 10G 100G; do truncate -s $n f.img && mkdir -p f_00.exe && "
             "for s in 10K ''; do "
             "say=$(./cleaver ${s:+-s $s} $r f.img 2>&1 | sed -n -e 's/.*at least [0-9.]* [KMG]B (-s \\([0-9]*K\\))$/\\1/p' "
             "-e 's/.*(-s \\([0-9]*M\\) makes 99 or fewer)$/\\1/p'); "
             "[ -n \"$say\" ] || { [ -z \"$s\" ] && continue; echo \"no size for $n $r\"; exit 1; }; "
             "./cleaver -s $say $r f.img 2>&1 | grep -q 'f_00.exe' || { echo \"$say refused for $n $r\"; "
             "./cleaver -s $say $r f.img; exit 1; }; echo \"$n $r: $say taken\"; done; done; done", 0,
             {"10G -r 1: ", "100G -r 1000: "}, {"refused", "no size"}}),
    [](const ::testing::TestParamInfo<Scenario> &info) { return std::string(info.param.name); });

// A split stopped dead (kill -9) at a chosen step: the next join or split of
// the set finishes it where every part was written, or takes it back, says
// so, and leaves no temporary file; one it does not know is left alone.
INSTANTIATE_TEST_SUITE_P(Interrupted, CommandLine, ::testing::Values(
    Scenario{"KilledSplitIsFinishedOrUndone",  // the strace counts are of this program's own calls
             "head -c $((6*PART)) /dev/urandom > r.bin && ./cleaver -s $PART r.bin >/dev/null && mkdir old && "
             "mv r_* old && mv r.bin old.bin && head -c $((3*PART+5)) /dev/urandom > new.bin && "
             "for next in join split; do "
             "for at in write:5 renameat:1 renameat2:2 renameat2:5 renameat2:8 renameat2:9 unlinkat:1; do "
             "rm -rf t o && mkdir t o && cp old/* t && cp new.bin t/r.bin && touch t/qcleaver-aaaaaaaaaaaa-1.tmp && "
             "cd t && (strace -o /dev/null -e inject=${at%:*}:signal=SIGKILL:error=EIO:when=${at#*:} "
             "../cleaver -s $PART r.bin >/dev/null 2>&1; [ $? = 137 ] || echo \"$at: not killed\"); "
             "if [ $next = split ]; then ../cleaver -s $PART r.bin >/dev/null; fi; "
             "../cleaver --join r_00.exe --no-copy -q -o ../o; w=neither; "
             "cmp -s ../o/r.bin ../new.bin && w=new; cmp -s ../o/r.bin ../old.bin && w=old; "
             "echo \"$next after $at: $w, $(ls r_*.QCB | wc -l) slices, "
             "$(ls | grep -v -e '^r_[0-9]*\\.QCB$' -e '^r_00\\.exe$' -e '^r\\.bin$' | tr '\\n' ' ')\"; "
             "cd ..; done; done",
             0, {"an interrupted split of this set was undone; the parts it wrote are removed\n",
                  "an interrupted split of this set was finished\n",
              "join after write:5: old, 6 slices, qcleaver-aaaaaaaaaaaa-1.tmp \n",
              "join after renameat:1: old, 6 slices, qcleaver-aaaaaaaaaaaa-1.tmp \n",
              "join after renameat2:2: new, 3 slices, qcleaver-aaaaaaaaaaaa-1.tmp \n",
              "join after renameat2:5: new, 3 slices, qcleaver-aaaaaaaaaaaa-1.tmp \n",
              "join after renameat2:8: new, 3 slices, qcleaver-aaaaaaaaaaaa-1.tmp \n",
              "join after renameat2:9: new, 3 slices, qcleaver-aaaaaaaaaaaa-1.tmp \n",
              "join after unlinkat:1: new, 3 slices, qcleaver-aaaaaaaaaaaa-1.tmp \n",
              "split after write:5: new, 3 slices, qcleaver-aaaaaaaaaaaa-1.tmp \n",
              "split after renameat:1: new, 3 slices, qcleaver-aaaaaaaaaaaa-1.tmp \n",
              "split after renameat2:2: new, 3 slices, qcleaver-aaaaaaaaaaaa-1.tmp \n",
              "split after renameat2:5: new, 3 slices, qcleaver-aaaaaaaaaaaa-1.tmp \n",
              "split after renameat2:8: new, 3 slices, qcleaver-aaaaaaaaaaaa-1.tmp \n",
              "split after renameat2:9: new, 3 slices, qcleaver-aaaaaaaaaaaa-1.tmp \n",
              "split after unlinkat:1: new, 3 slices, qcleaver-aaaaaaaaaaaa-1.tmp \n"},
             {"not killed", "neither"}},
    Scenario{"JournalNotOursIsLeftAlone",
             "mkset $((2*PART)) r.bin && echo junk > r_00.exe.qcj && ./cleaver -s $PART r.bin; s=$?; cat r_00.exe.qcj; "
             "exit $s", 1, {"cleaver: r_00.exe.qcj is no journal of this set's by this program: it is left alone\n",
                            "r_00.exe.qcj: File exists\njunk\n"}},
    Scenario{"ReadOnlyFolderNamesTheHeadPart",  // not the journal, which the user never sees
             "mkdir ro && head -c $((2*PART)) /dev/urandom > ro/r.bin && unshare -m sh -c 'mount --bind ro ro && "
             "mount -o remount,ro,bind ro && ./cleaver -s $PART ro/r.bin'", 1,
             {"cleaver: Unable to create part r_00.exe: Read-only file system\n"}, {"qcj"}, "root"}),
    [](const ::testing::TestParamInfo<Scenario> &info) { return std::string(info.param.name); });

// A 1 KB head part whose record claims two thousand million slices: the
// check costs what the folder holds, and tells the missing ones as a run.
TEST(CommandLineCheck, CountsWhatTheFolderHoldsNotWhatARecordClaims)
{
    ScratchDir dir;
    PartSetTrailer t = {"x.bin", 100, kSizeOverflow, 2147483647};
    t.has_record = true;
    t.record_version = 1;
    t.size = 652 + 2147483647LL * 8192;
    t.slice_length = 8192;
    unsigned char trailer[kTrailerSize];
    EncodeTrailer(&t, trailer);
    WriteBytes(dir / "x_00.exe", std::string(752, 'p') + std::string((char *)trailer, kTrailerSize));
    int status = -1;
    // A fault that lists every part would fill memory: keep only what a right answer needs.
    std::string out = RunWithInput(std::string("(timeout 60 ") + POSIX_PROGRAM + " --check " +
                                       (dir / "x_00.exe") + "; echo $? > '" + (dir / "rc") +
                                       "') | head -c 4096; exit $(cat '" + (dir / "rc") + "')",
                                   "", &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out, "x_00.exe: sound\nx_01.QCB to x_2147483647.QCB: missing (2147483647 parts)\n"
                   "1 of 2147483648 parts sound\n");
}

}  // namespace

// make install: the program, a man page that renders and tells every option --help does, and
// a completion that offers each of them.
// The program as built ends in zeros as long as a trailer, and splits whatever
// its name; a shorter file is taken for a head part, whose join says why.
TEST(Mode, ZerosAsLongAsATrailerHoldNoSet)
{
    ScratchDir dir;
    const int trailer = kTrailerSize;
    for (int length : {trailer - 1, trailer, trailer + 1}) {
        WriteBytes(dir / "x", std::string((size_t)length, '\0'));
        EXPECT_EQ(SelectMode((dir / "x").c_str()), length < trailer ? kJoinMode : kSplitMode) << length;
    }
}

TEST(Installing, PutsTheProgramItsManPageAndItsCompletionInPlace)
{
    ScratchDir root;
    int status = -1;
    std::string out = RunWithInput("DESTDIR='" + root.path() + "' cmake --install " BUILD_DIR
                                   " --prefix /usr/local", "", &status);
    ASSERT_EQ(status, 0) << out;
    std::string prefix = root / "usr/local";
    std::string help = RunWithInput(prefix + "/bin/cleaver --help", "");
    std::string man = RunWithInput("MANWIDTH=200 man -l " + prefix + "/share/man/man1/cleaver.1.gz", "", &status);
    ASSERT_EQ(status, 0) << man;
    std::string completion = RunWithInput(
        "bash -c '. " + prefix + "/share/bash-completion/completions/cleaver && COMP_WORDS=(" +
            prefix + "/bin/cleaver --) COMP_CWORD=1 && _cleaver && echo \"${COMPREPLY[@]}\"'", "");
    std::regex option("--[a-z][a-z-]*");
    int options = 0;
    for (std::sregex_iterator m(help.begin(), help.end(), option), end; m != end; ++m, ++options) {
        EXPECT_NE(man.find(m->str()), std::string::npos) << m->str() << " is not in the man page";
        EXPECT_NE(completion.find(m->str()), std::string::npos) << m->str() << " is not completed";
    }
    EXPECT_GT(options, 10);
    EXPECT_NE(man.find("EXIT STATUS"), std::string::npos);
}
