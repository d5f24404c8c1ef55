#include "app/command_line.h"

#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "math/erasure.h"
#include "format/extension.h"
#include "format/part_layout.h"
#include "format/part_names.h"
#include "format/paths.h"
#include "format/set_journal.h"
#include "format/trailer.h"
#include "platform/embedded_image.h"
#include "join/join_report.h"
#include "join/join_run.h"
#include "join/part_check.h"
#include "platform/console_work.h"
#include "platform/reasons.h"
#include "platform/text.h"
#include "split/slice_size.h"
#include "split/split_run.h"
#include "version.h"

// The options, once: getopt takes them from here, --help prints them, and
// the man page is made from --help.
enum {
    kFor = 256,
    kName,
    kNoCopy,
    kDelete,
    kRepair,
};
struct OptionText {
    option getopt;
    char letter;         // the short form, or 0
    const char *value;   // what it takes, for the help
    bool head;           // a head part takes it too
    const char *help;
};
static const OptionText kOptionTexts[] = {
    {{"size", required_argument, 0, 's'}, 's', "SIZE", false,
     "the largest a part may be: bytes, or a number and a unit, one decimal\n"
     "allowed, as split -b reads them: K, M, G (or KiB, MiB, GiB) are powers of\n"
     "1024, KB, MB, GB powers of 1000; 4G means 4294967295 bytes.  A part holds\n"
     "the head part's program: the least is %L for Linux, %W for Windows.\n"
     "Without it, 1400K, where that makes no more than 99 parts"},
    {{"for", required_argument, 0, kFor}, 0, "SYSTEM", false,
     "the system the head part runs on: linux (the default) or windows"},
    {{"recovery", required_argument, 0, 'r'}, 'r', "N", false,
     "also make N recovery parts, FILE_R01.QCB and on (0 to 1000): with them,\n"
     "any N parts that are lost or damaged are rebuilt as the file is joined"},
    {{"output-dir", required_argument, 0, 'o'}, 'o', "DIR", true,
     "write the parts there (a split), or the file and cleaver.exe (a join;\n"
     "- writes the file to standard output, and nothing else)"},
    {{"name", required_argument, 0, kName}, 0, "NAME", false,
     "the name of the file read from standard input (FILE -)"},
    {{"force", no_argument, 0, 'f'}, 'f', 0, true,
     "replace what is in the way: the parts of another set (a split); another\n"
     "file of the rebuilt file's name, and another cleaver.exe (a join)"},
    {{"join", optional_argument, 0, 'j'}, 'j', "HEAD", false,
     "rebuild the file of the set whose head part is HEAD, from the parts beside\n"
     "it, in HEAD's folder"},
    {{"no-copy", no_argument, 0, kNoCopy}, 0, 0, true, "with a join: write no cleaver.exe beside the file"},
    {{"delete", no_argument, 0, kDelete}, 0, 0, true,
     "with a join: delete the parts once the file is rebuilt"},
    {{"check", optional_argument, 0, 'c'}, 'c', "HEAD", true,
     "read every part of that set and tell which are missing, cut short,\n"
     "damaged or swapped, writing nothing"},
    {{"info", optional_argument, 0, 'i'}, 'i', "HEAD", true,
     "tell what that set holds, and how to rebuild it with standard tools"},
    {{"repair", optional_argument, 0, kRepair}, 0, "HEAD", true,
     "rebuild the parts of that set that are missing or damaged from its\n"
     "recovery parts, and write them beside the others; a damaged part is kept,\n"
     "renamed NAME.damaged"},
    {{"quiet", no_argument, 0, 'q'}, 'q', 0, true,
     "with --join, --check and --repair: nothing on standard output; the exit\nstatus tells"},
    {{"help", no_argument, 0, 'h'}, 'h', 0, true, "show this help and exit"},
    {{"version", no_argument, 0, 'V'}, 'V', 0, true, "show the version and exit"},
};
enum { kOptionCount = sizeof kOptionTexts / sizeof kOptionTexts[0] };

// The options that name a set: a head part's own, without HEAD.
static bool NamesTheSet(const OptionText &o)
{
    return o.letter == 'c' || o.letter == 'i' || o.getopt.val == kRepair;
}

// The least part that holds the head part's program of image_bytes, with
// the set's description of a file whose name fits the trailer, in K.
static int64_t LeastPartK(int64_t image_bytes)
{
    SetExtension extension;
    ClearExtension(&extension);
    extension.has_time = extension.has_identity = true;
    extension.permissions = 0644;
    unsigned char bytes[kMaxExtensionSize];
    int64_t fixed = kTrailerSize + EncodeExtension(&extension, bytes) + 2 * kTableEntrySize;
    return (image_bytes + fixed + 1023) / 1024;
}

// %L and %W in an option's help: the least part size for each system.
static void PrintLeast(char system, const char *image_path)
{
    const unsigned char *bytes;
    int64_t size = 0;
    File file;
    FileInfo info;
    if (system == 'W' && !kDosPaths && !EmbeddedWindowsImage(&bytes, &size)) {
        printf("(none: this build makes sets for Linux only)");
        return;
    }
    if (system == 'L' && FileOpenRead(0, image_path, &file, 0, &info)) {
        FileClose(&file, 0);
        size = info.length;
    }
    printf("%lldK", (long long)LeastPartK(size));
}

static void PrintOptions(bool head, const char *image_path)
{
    for (const OptionText &o : kOptionTexts) {
        if (head && !o.head)
            continue;
        // A head part's --check and --info concern its own set: no HEAD.
        bool takes = o.value && !(head && NamesTheSet(o));
        char letter[4] = "   ", form[64];
        if (o.letter)
            FormatText(letter, sizeof letter, "-%c,", o.letter);
        FormatText(form, sizeof form, "  %s --%s%s%s", letter, o.getopt.name, takes ? "=" : "",
                   takes ? o.value : "");
        printf("%-24s", form);
        for (const char *p = o.help; *p; p++) {
            if (*p == '%') {
                PrintLeast(*++p, image_path);
                continue;
            }
            putchar(*p);
            if (*p == '\n')
                printf("%24s", "");
        }
        putchar('\n');
    }
}

static void PrintHelp(bool head, const char *image_path)
{
    const char *name = ConsoleName();
    if (head) {
        printf("Usage: %s [--no-copy] [--delete] [-o DIR|-] [-f] [-q]\n"
               "  or:  %s --check [-q]\n"
               "  or:  %s --repair [-q]\n"
               "  or:  %s --info\n"
               "Rebuild the file of this set from the parts beside this head part, in its\n"
               "folder.\n\n",
               name, name, name, name);
    } else {
        printf("Usage: %s [-s SIZE] [-r N] [--for=SYSTEM] [-o DIR] [-f] FILE\n"
               "  or:  %s [-s SIZE] [--for=SYSTEM] [-o DIR] [-f] - NAME\n"
               "  or:  %s --join=HEAD [-o DIR|-] [--no-copy] [--delete] [-f] [-q]\n"
               "  or:  %s --check=HEAD [-q]\n"
               "  or:  %s --repair=HEAD [-q]\n"
               "  or:  %s --info=HEAD\n"
               "Cut FILE into parts of at most SIZE beside it.  The first part, FILE_00.exe,\n"
               "is a program that rebuilds FILE from the parts beside it.  With FILE -,\n"
               "cut standard input, to be rebuilt under NAME.\n\n",
               name, name, name, name, name, name);
    }
    PrintOptions(head, image_path);
    printf("\nExit status: 0 on success, 1 on failure, 2 on wrong usage; --check gives 3\n"
           "where parts are missing or damaged but the recovery parts can rebuild them.\n");
}

static int Usage(const char *problem, const char *what = "", const char *after = "")
{
    char text[kPathSize + 256] = "";
    AppendText(text, sizeof text, problem);
    AppendName(text, sizeof text, what);
    AppendText(text, sizeof text, after);
    PrintError(text);
    fprintf(stderr, "Try '%s --help' for more information.\n", ConsoleName());
    return 2;
}

// Where the command line says what was done: standard output, or standard
// error where the file itself goes to standard output.
static void Say(const char *line, bool quiet, bool to_error)
{
    if (!quiet)
        fprintf(to_error ? stderr : stdout, "%s\n", line);
}

// One line on a split of the set stopped dead before, finished or undone
// now; head_part names the set.
static void SayResumed(ResumeState resumed, const char *head_part)
{
    char part[kPathSize], stem[kPathSize], text[2 * kPathSize];
    int kind;
    CopyText(part, kPathSize, FileNameOf(head_part));
    int length = TextLength(part);
    if (length > 4 && TextEqual(part + length - 4, ".qcj"))
        part[length - 4] = 0;  // a split stopped at the journal names it
    if (resumed == kNothingInterrupted || !ParsePartName(part, stem, &kind))
        return;
    DescribeResume(resumed, stem, text, sizeof text);
    PrintError(text);
}

// A join finishes or undoes first a split of its set stopped dead there.
static void ResumeBeforeJoin(const char *head)
{
    char stem[kPathSize];
    int kind;
    Folder folder;
    if (!ParsePartName(FileNameOf(head), stem, &kind) || !FolderOfFile(head, &folder, 0))
        return;
    ResumeState resumed = ResumeInterruptedSplit(&folder, stem, 0);
    FolderClose(&folder);
    char part[kPathSize];
    FormatPartName(part, stem, 0);
    SayResumed(resumed, part);
}

// Says what failed and why; false.
static bool PrintFailure(const FileError *error)
{
    char text[2 * kPathSize] = "";
    AppendFailure(text, sizeof text, error);
    PrintError(text);
    return false;
}

// -o DIR: a folder that is missing is made, its parents too, as 7z -o and
// unzip -d do; false after saying why it cannot be.
static bool MakeOutputFolder(const char *dir)
{
    FileError error;
    ClearError(&error);
    return !dir || TextEqual(dir, "-") || MakeFolders(dir, &error) || PrintFailure(&error);
}

static int Split(const SplitRequest *request)
{
    if (!MakeOutputFolder(request->output_dir))
        return 1;
    Progress progress;
    ProgressInit(&progress);
    ConsoleWork work;
    SplitOutcome outcome;
    BeginConsoleWork(&work, &progress);
    RunSplit(request, &progress, &outcome);
    EndConsoleWork(&work);
    SayResumed(outcome.result.resumed, outcome.result.part);
    if (!outcome.failed && outcome.result.fault == kSplitDone)
        printf("%s\n", outcome.text);
    else if (outcome.failed) {
        bool refused = outcome.result.fault == kSplitOtherSetInTheWay ||
                       outcome.result.fault == kSplitStrayPartInTheWay;
        if (refused)
            AppendText(outcome.text, sizeof outcome.text, " (--force replaces it)");
        // The advice is in KB of 1024 bytes, which -s writes K.
        if (outcome.result.fault == kSplitPartsTooSmall) {
            AppendText(outcome.text, sizeof outcome.text, " (-s ");
            AppendDecimal(outcome.text, sizeof outcome.text, (outcome.result.least + 1023) / 1024);
            AppendText(outcome.text, sizeof outcome.text, "K)");
        }
        PrintError(outcome.text);
    }
    EndIfInterrupted();
    return outcome.failed ? 1 : 0;
}

// A join or a repair, its progress on the terminal and Ctrl-C its Cancel.
static void RunJoinInTerminal(PartSet *set, const JoinRequest *request, JoinOutcome *outcome)
{
    Progress progress;
    ProgressInit(&progress);
    ConsoleWork work;
    BeginConsoleWork(&work, &progress);
    RunJoin(set, request, &progress, outcome);
    EndConsoleWork(&work);
}

// The result line (on standard error where the file itself goes to standard
// output), what went wrong, and the exit status.
static int TellJoined(const JoinOutcome *outcome, bool quiet, bool to_stdout)
{
    if (outcome->line[0])
        Say(outcome->line, quiet, to_stdout);
    if (outcome->message[0])
        PrintError(outcome->message);
    EndIfInterrupted();
    return outcome->failed ? 1 : 0;
}

struct JoinAsked {
    const char *head;
    const char *output_dir;  // "-": standard output
    bool quiet;
};

static int Join(const JoinAsked *asked, JoinRequest *request)
{
    if (!MakeOutputFolder(asked->output_dir))
        return 1;
    ResumeBeforeJoin(asked->head);
    PartSet set;
    OpenPartSet(asked->head, &set);
    Folder output;
    File out;
    bool to_stdout = asked->output_dir && TextEqual(asked->output_dir, "-");
    FileError error;
    ClearError(&error);
    if (to_stdout) {
        StandardOutput(&out);
        request->output_stream = &out;
        request->make_copy = false;
    } else if (asked->output_dir && !OpenFolder(asked->output_dir, &output, &error)) {
        PrintFailure(&error);
        ClosePartSet(&set);
        return 1;
    } else if (asked->output_dir) {
        request->output_folder = &output;
    }
    JoinOutcome outcome;
    RunJoinInTerminal(&set, request, &outcome);
    ClosePartSet(&set);
    if (asked->output_dir && !to_stdout)
        FolderClose(&output);
    if (outcome.result.status == kJoinOutputExists)
        AppendText(outcome.message, sizeof outcome.message, "; --force replaces it");
    else if (outcome.result.program_copy == kProgramCopyLeftAlone && !outcome.failed)
        AppendText(outcome.message, sizeof outcome.message, " (--force replaces another program)");
    return TellJoined(&outcome, asked->quiet, to_stdout);
}

static void PrintPart(void *quiet, const PartSet *set, const PartState *part)
{
    char line[3 * kPathSize];
    FormatPartLine(set, part, line, sizeof line);
    Say(line, *(bool *)quiet, false);
}

// Opens the set of a head part for --check or --info; false after saying
// why it cannot be.
static bool OpenForReading(const char *head, PartSet *set)
{
    OpenPartSet(head, set);
    if (set->state == kSetReady)
        return true;
    char text[4 * kPathSize] = "";
    if (set->state == kSetEmpty) {
        AppendName(text, sizeof text, head);
        AppendText(text, sizeof text, " is no head part of a set: it holds none");
    } else {
        DescribeSetProblem(set, text, sizeof text, false);
    }
    ClosePartSet(set);
    PrintError(text);
    return false;
}

static int Check(const char *head, bool quiet)
{
    PartSet set;
    if (!OpenForReading(head, &set))
        return 1;
    Progress progress;
    ProgressInit(&progress);
    ConsoleWork work;
    BeginConsoleWork(&work, &progress);
    CheckResult result = CheckParts(&set, PrintPart, &quiet, &progress);
    EndConsoleWork(&work);
    if (!result.stopped) {
        char line[3 * kPathSize];
        FormatCheckSummary(&set, &result, line, sizeof line);
        Say(line, quiet, false);
    }
    ClosePartSet(&set);
    EndIfInterrupted();
    // 3: not all sound, but the recovery parts can make it so.
    if (result.stopped)
        return 1;
    if (result.sound == result.parts && result.whole_matches)
        return result.recovery_sound == result.recovery ? 0 : 3;
    return result.sound < result.parts && CheckedRepairable(&result) ? 3 : 1;
}

// Repairs a set in place; own_program is this program's file where it is
// the program alone (started as cleaver), for a fresh Linux head part.
static int Repair(const char *head, bool quiet, const char *own_program)
{
    PartSet set;
    if (!OpenForReading(head, &set))
        return 1;
    if (set.extension.recovery_count == 0) {
        char text[2 * kPathSize] = "";
        AppendName(text, sizeof text, set.head_name);
        AppendText(text, sizeof text, "'s set has no recovery parts: nothing can be rebuilt");
        ClosePartSet(&set);
        PrintError(text);
        return 1;
    }
    // A fresh head part's program where the set's own is lost: the one for
    // the set's system, where this build has it.
    ProgramSource program;
    ChooseRepairProgram(&set, own_program, &program);
    JoinRequest request;
    request.make_copy = false;
    request.repair_set = WriteBackParts;
    request.program = &program;
    JoinOutcome outcome;
    RunJoinInTerminal(&set, &request, &outcome);
    ClosePartSet(&set);
    return TellJoined(&outcome, quiet, false);
}

static int Info(const char *head)
{
    PartSet set;
    if (!OpenForReading(head, &set))
        return 1;
    char text[8 * kPathSize];
    FormatSetInfo(&set, text, sizeof text);
    printf("%s", text);
    ClosePartSet(&set);
    return 0;
}

// Without -s, a split that would make more than 99 parts does not happen by
// surprise: it says so, and what size would make 99.
static bool TooManyByDefault(const char *input, int64_t part_bytes)
{
    File file;
    FileInfo info;
    if (!FileOpenRead(0, input, &file, 0, &info))
        return false;  // the split itself says why
    FileClose(&file, 0);
    int64_t parts = info.length / part_bytes + 2;  // the head part holds the program too
    if (parts <= 99)
        return false;
    int64_t per_part = info.length / 98 + 1;
    int64_t mb = (per_part + (1 << 20) - 1) >> 20;
    char shown[kPathSize], size[32], text[kPathSize + 256];
    FormatText(text, sizeof text,
               "%s would make about %" D64 " parts of %s: say how large a part may be with -s (-s %" D64 "%s",
               ShownName(shown, sizeof shown, input), parts, SizeWords(size, sizeof size, part_bytes),
               mb < 4096 ? mb : 4096, mb < 4096 ? "M makes 99 or fewer)" : "M is the largest)");
    PrintError(text);
    return true;
}

// What the command line asks for, as getopt leaves it.
struct Asked {
    const char *size_text = 0, *output_dir = 0, *name = 0;
    const char *join = 0, *check = 0, *info = 0, *repair = 0;
    bool joining = false, checking = false, informing = false, repairing = false;
    bool split_option = false, for_windows = false, force = false, quiet = false;
    int recovery = 0;
    // --join, --check, --info and --repair name their set as --join=HEAD or
    // -jHEAD, or else by the operand HEAD, before or after other options.
    const char **unnamed = 0, *unnamed_option = 0;
};
enum { kGoOn = -1 };

// The long options and the short ones, from the table, each short one with
// its argument's colon; a head part's --check and --info concern its own set.
static void MakeOptions(bool head, option options[kOptionCount + 1], char *letters, int size)
{
    for (int i = 0; i < kOptionCount; i++) {
        options[i] = kOptionTexts[i].getopt;
        char letter = kOptionTexts[i].letter;
        if (head && NamesTheSet(kOptionTexts[i]))
            options[i].has_arg = no_argument;
        if (letter && (!head || kOptionTexts[i].head)) {
            char form[4] = {letter, (char)(options[i].has_arg != no_argument ? ':' : 0),
                            (char)(options[i].has_arg == optional_argument ? ':' : 0), 0};
            AppendText(letters, size, form);
        }
    }
    options[kOptionCount] = option{0, 0, 0, 0};
}

// One option into *asked; kGoOn, or the exit status where it ends the run.
static int TakeOption(int c, bool head, const char *image_path, char **argv, Asked *asked,
                      JoinRequest *request)
{
    switch (c) {
    case 's':
    case kName:
        *(c == 's' ? &asked->size_text : &asked->name) = optarg;
        asked->split_option = true;
        return kGoOn;
    case kFor:
        if (strcmp(optarg, "windows") != 0 && strcmp(optarg, "linux") != 0)
            return Usage("--for takes windows or linux, not ", optarg);
        asked->for_windows = strcmp(optarg, "windows") == 0;
        asked->split_option = true;
        return kGoOn;
    case 'r': {
        char *end;
        long count = strtol(optarg, &end, 10);
        if (!*optarg || *end || count < 0 || count > kMaxRecoveryParts)
            return Usage("--recovery takes a number from 0 to 1000, not ", optarg);
        asked->recovery = (int)count;
        asked->split_option = true;
        return kGoOn;
    }
    case 'o':
        asked->output_dir = optarg;
        return kGoOn;
    case 'f':
        asked->force = true;
        return kGoOn;
    case 'q':
        asked->quiet = true;
        return kGoOn;
    case 'j':
    case 'c':
    case 'i':
    case kRepair: {
        const char **set = c == 'j'   ? &asked->join
                           : c == 'c' ? &asked->check
                           : c == 'i' ? &asked->info
                                      : &asked->repair;
        asked->joining |= c == 'j';
        asked->checking |= c == 'c';
        asked->informing |= c == 'i';
        asked->repairing |= c == kRepair;
        *set = optarg;
        if (!optarg && !head) {
            asked->unnamed = set;
            asked->unnamed_option = argv[optind - 1];
        }
        return kGoOn;
    }
    case kNoCopy:
        request->make_copy = false;
        return kGoOn;
    case kDelete:
        request->delete_parts = true;
        return kGoOn;
    case 'h':
        PrintHelp(head, image_path);
        return 0;
    case 'V':
        printf("QCleaver " QCLEAVER_VERSION "\n"
               "reads sets of every version: none, QCS1, QCS2 and QCS3, and QCR1 and QCR2 recovery\n"
               "parts; writes QCS3 and QCR2\n");
        return 0;
    case ':':
        return Usage("option '", argv[optind - 1], "' requires an argument");
    default:
        return Usage("unrecognized option '", argv[optind - 1], "'");
    }
}

// The combinations that make no sense; kGoOn where there is none.
static int RefuseCombinations(const Asked *a, bool head, int operands, bool stdin_input,
                              const JoinRequest *request)
{
    bool joining = a->joining && !a->checking && !a->informing && !a->repairing;
    if (!head && (a->joining + a->checking + a->informing + a->repairing + (operands > 0) != 1 ||
                  operands > (stdin_input ? 2 : 1)))
        return Usage(operands > 1 ? "one FILE at a time"
                                  : "give one FILE, --join=HEAD, --check=HEAD, --info=HEAD or --repair=HEAD");
    if (!joining && (!request->make_copy || request->delete_parts))
        return Usage("--no-copy and --delete are for a join");
    if ((a->checking || a->informing || a->repairing) && (a->output_dir || a->force || a->split_option))
        return Usage("--check, --info and --repair take only -q");
    if (a->joining && !head && a->split_option)
        return Usage("--size, --recovery, --for and --name are for a split");
    bool to_stdout = a->output_dir && TextEqual(a->output_dir, "-");
    if (joining && to_stdout && request->delete_parts)
        return Usage("--delete is not for a join to standard output, which keeps the parts");
    // As gzip does: binary data on a terminal is a mistake.
    if (joining && to_stdout && isatty(STDOUT_FILENO))
        return Usage("the file is not written to a terminal: redirect standard output to a file or "
                     "a pipe");
    if (joining || a->checking || a->informing || a->repairing)
        return kGoOn;
    if (a->quiet)
        return Usage("-q is for --join and --check");
    if (to_stdout)
        return Usage("a split writes its parts to a folder, not to standard output");
    if (stdin_input && !a->name && operands < 2)
        return Usage("standard input has no name: give it after -, or with --name");
    if (!stdin_input && a->name)
        return Usage("--name is for standard input (FILE -)");
    return kGoOn;
}

// FILE, or standard input under the name given (FILE -).
static int StartSplit(const Asked *a, const char *image_path, const char *file, const char *after)
{
    bool stdin_input = TextEqual(file, "-");
    // A head part is joined, not cut up as a file.
    if (!stdin_input && IsAHeadPart(file)) {
        char advice[kPathSize + 96] = " is the head part of a set: to rebuild its file, use cleaver --join ";
        AppendShellQuoted(advice, sizeof advice, file);
        return Usage("", file, advice);
    }
    // Checked before anything is read: a pipe's data cannot be read twice.
    const char *stdin_name = stdin_input ? (a->name ? a->name : after) : 0;
    if (stdin_name && !stdin_name[0])
        return Usage("standard input cannot be rebuilt under an empty name");
    if (stdin_name && WhyNotAFileName(stdin_name)) {
        char why[256];
        FormatText(why, sizeof why, ": %s", WhyNotAFileName(stdin_name));
        return Usage("standard input cannot be rebuilt under the name ", stdin_name, why);
    }
    SplitRequest split = {stdin_input ? 0 : file,
                          stdin_name,
                          a->output_dir,
                          kSizePresets[kDefaultPreset].bytes,
                          a->for_windows,
                          a->force,
                          image_path,
                          a->recovery};
    SizeText problem =
        a->size_text ? ParseSliceSize(a->size_text, 1, kGnuUnits, &split.part_bytes) : kSizeTaken;
    if (problem != kSizeTaken) {
        char text[256];
        DescribeSizeText(problem, "bytes", text, sizeof text);
        AppendText(text, sizeof text, ", not ");
        return Usage(text, a->size_text);
    }
    if (!a->size_text && split.input && TooManyByDefault(split.input, split.part_bytes))
        return 1;
    return Split(&split);
}

int RunCommandLine(Mode mode, const char *image_path, int argc, char **argv)
{
    CatchConsoleSignals();
    bool head = mode == kJoinMode;
    option options[kOptionCount + 1];
    char letters[2 * kOptionCount + 2] = ":";
    MakeOptions(head, options, letters, sizeof letters);
    Asked a;
    JoinRequest request;
    request.head_is_running = head;
    opterr = 0;  // the messages are ours, in the program's own words
    int c;
    while ((c = getopt_long(argc, argv, letters, options, 0)) != -1) {
        int status = TakeOption(c, head, image_path, argv, &a, &request);
        if (status != kGoOn)
            return status;
    }
    if (a.unnamed) {
        if (optind == argc)
            return Usage("option '", a.unnamed_option, "' requires an argument");
        *a.unnamed = argv[optind++];
    }
    int operands = argc - optind;
    if (head) {
        // A head part: its own set, and nothing else.
        if (operands > 0 || a.split_option || a.joining)
            return Usage("a head part takes only --no-copy, --delete, --check, --info, --repair, -o, -f "
                         "and -q, for its own set");
        a.join = a.check = a.info = a.repair = image_path;
        a.joining = true;
    }
    bool stdin_input = !head && operands >= 1 && TextEqual(argv[optind], "-");
    int refused = RefuseCombinations(&a, head, operands, stdin_input, &request);
    if (refused != kGoOn)
        return refused;
    if (a.checking)
        return Check(a.check, a.quiet);
    if (a.informing)
        return Info(a.info);
    if (a.repairing)
        return Repair(a.repair, a.quiet, mode == kSplitMode ? image_path : 0);
    if (a.joining) {
        request.replace_output = request.replace_copy = a.force;
        JoinAsked asked = {a.join, a.output_dir, a.quiet};
        return Join(&asked, &request);
    }
    return StartSplit(&a, image_path, argv[optind], operands > 1 ? argv[optind + 1] : 0);
}
