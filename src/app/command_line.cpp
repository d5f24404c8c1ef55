#include "app/command_line.h"

#include <getopt.h>
#include <stdio.h>
#include <string.h>

#include "format/paths.h"
#include "join/join_engine.h"
#include "join/join_report.h"
#include "join/part_check.h"
#include "platform/console_work.h"
#include "platform/embedded_image.h"
#include "platform/text.h"
#include "split/slice_size.h"
#include "split/split_engine.h"
#include "split/split_report.h"

static const char kUsage[] =
    "Usage: %s [-s SIZE] [--for=windows|linux] FILE\n"
    "  or:  %s --join=HEAD [--no-copy] [--delete]\n"
    "  or:  %s --check=HEAD\n"
    "Cut FILE into parts of at most SIZE beside it.  The first part, FILE_00.exe,\n"
    "is a program that rebuilds FILE from the parts beside it.\n"
    "\n"
    "  -s, --size=SIZE    the largest a part may be: bytes, or a number with K, M\n"
    "                     or G (binary: 1K is 1024 bytes), one decimal allowed;\n"
    "                     10K to 4G, which means 4294967295 bytes; 1400K unless given\n"
    "      --for=SYSTEM   the system the head part runs on: linux (the default) or\n"
    "                     windows\n"
    "  -j, --join=HEAD    rebuild the file of the set whose head part is HEAD, from\n"
    "                     the parts beside it, in HEAD's folder\n"
    "      --no-copy      with --join: write no cleaver.exe beside the file\n"
    "      --delete       with --join: delete the parts once the file is rebuilt\n"
    "  -c, --check=HEAD   read every part of that set and tell which are missing,\n"
    "                     cut short, damaged or swapped, writing nothing\n"
    "      --help         show this help and exit\n"
    "      --version      show the version and exit\n"
    "\n"
    "Started under another name, as the head part of a set, the program takes\n"
    "--no-copy, --delete and --check (without HEAD) for its own set.\n"
    "Exit status: 0 on success, 1 on failure, 2 on wrong usage.\n";

static const char *g_name = "cleaver";  // as the program was started, for its messages

static int Usage(const char *problem, const char *what = "")
{
    if (problem)
        fprintf(stderr, "%s: %s%s\nTry '%s --help' for more information.\n", g_name, problem, what,
                g_name);
    return 2;
}

static int Fail(const char *text)
{
    fflush(stdout);
    fprintf(stderr, "%s: %s\n", g_name, text);
    return 1;
}

// The folder of a head part, or false after saying why there is none.
static bool FolderOfHead(const char *head, Folder *folder)
{
    if (FolderOfFile(head, folder))
        return true;
    char text[kPathSize + 512] = "";
    AppendText(text, sizeof text, head);
    AppendReason(text, sizeof text, LastFileError());
    Fail(text);
    return false;
}

static int Split(const char *image_path, const char *input, int64_t slice_bytes, bool for_windows)
{
    ProgramImage program = {image_path, 0, 0};
    if (for_windows && !EmbeddedWindowsImage(&program.bytes, &program.size))
        return Fail("this build carries no Windows program (it was built without MinGW)");
    if (for_windows)
        program.path = 0;
    Folder folder;
    char text[4 * kPathSize];
    SplitResult result = {};
    if (!FolderOfFile(input, &folder)) {
        folder.path[0] = 0;
        result.status = kSplitNoInput;
        result.error = LastFileError();
    } else {
        Progress progress = {0, 0, 0, 0, 0};
        ConsoleWork work;
        BeginConsoleWork(&work, &progress);
        result = SplitFile(&folder, input, slice_bytes, &program, &progress);
        EndConsoleWork(&work);
        FolderClose(&folder);
    }
    if (result.status != kSplitDone) {
        int status = DescribeSplitFailure(&result, input, folder.path, text, sizeof text) ? Fail(text) : 1;
        EndIfInterrupted();
        return status;
    }
    FormatSplitDone(&result, text, sizeof text);
    if (for_windows)
        AppendWindowsHeadNote(result.part, text, sizeof text);
    printf("%s\n", text);
    return 0;
}

static int Join(const char *head, bool make_copy, bool delete_parts)
{
    Folder folder;
    if (!FolderOfHead(head, &folder))
        return 1;
    Progress progress = {0, 0, 0, 0, 0};
    ConsoleWork work;
    BeginConsoleWork(&work, &progress);
    JoinResult result = JoinParts(&folder, head, make_copy, delete_parts, &progress);
    EndConsoleWork(&work);
    char text[4 * kPathSize];
    int status = 0;
    if (result.status == kJoinDone) {
        FormatJoinDone(&result, text, sizeof text);
        printf("%s\n", text);
    }
    if (DescribeJoinFailure(&result, folder.path, text, sizeof text))
        status = Fail(text);
    else if (result.status != kJoinDone)
        status = 1;  // stopped
    if (DescribeProgramCopyFailure(&result, text, sizeof text))
        Fail(text);
    FolderClose(&folder);
    EndIfInterrupted();
    return status;
}

static void PrintPart(void *, const PartReport *part)
{
    char line[3 * kPathSize];
    CopyText(line, sizeof line, part->name);
    AppendText(line, sizeof line, ": ");
    switch (part->state) {
    case kPartSound:
        AppendText(line, sizeof line, "sound");
        break;
    case kPartMissing:
        AppendText(line, sizeof line, "missing");
        break;
    case kPartWrongLength: {
        bool shorter = part->length < part->expected;
        if (part->expected < 0) {
            AppendText(line, sizeof line, "of a length no split writes");
            break;
        }
        AppendDecimal(line, sizeof line, shorter ? part->expected - part->length : part->length - part->expected);
        AppendText(line, sizeof line, shorter ? " bytes short" : " bytes too long");
        break;
    }
    case kPartDamaged:
        AppendText(line, sizeof line, "damaged: it does not match the checksum recorded when it was made");
        break;
    case kPartSwapped:
        AppendText(line, sizeof line, "holds what ");
        AppendText(line, sizeof line, part->holds_name);
        AppendText(line, sizeof line, " should hold");
        break;
    case kPartUnreadable:
        AppendText(line, sizeof line, "cannot be read");
        AppendReason(line, sizeof line, part->error);
        break;
    }
    printf("%s\n", line);
}

static int Check(const char *head)
{
    Folder folder;
    if (!FolderOfHead(head, &folder))
        return 1;
    Progress progress = {0, 0, 0, 0, 0};
    ConsoleWork work;
    BeginConsoleWork(&work, &progress);
    CheckResult result = CheckParts(&folder, head, PrintPart, 0, &progress);
    EndConsoleWork(&work);
    FolderClose(&folder);
    EndIfInterrupted();
    char text[kPathSize + 512] = "";
    if (!result.readable) {
        AppendText(text, sizeof text, head);
        AppendText(text, sizeof text, " is no sound head part of a set");
        AppendReason(text, sizeof text, result.error);
        return Fail(text);
    }
    AppendDecimal(text, sizeof text, result.sound);
    AppendText(text, sizeof text, " of ");
    AppendDecimal(text, sizeof text, result.parts);
    AppendText(text, sizeof text, " parts sound");
    if (result.sound == result.parts && !result.whole_matches)
        AppendText(text, sizeof text, ", but they do not match the checksum recorded when they were made");
    else if (result.record_version == 0)
        AppendText(text, sizeof text, " (the set records no checksum: lengths only)");
    printf("%s\n", text);
    return result.sound == result.parts && result.whole_matches ? 0 : 1;
}

int RunCommandLine(Mode mode, const char *image_path, int argc, char **argv)
{
    g_name = FileNameOf(argv[0]);
    CatchConsoleSignals();
    enum { kFor = 256, kNoCopy, kDelete, kHelp, kVersion };
    // A head part checks itself: its --check takes no HEAD.
    const option kOptions[] = {
        {"size", required_argument, 0, 's'},
        {"for", required_argument, 0, kFor},
        {"join", required_argument, 0, 'j'},
        {"check", mode == kSplitMode ? required_argument : no_argument, 0, 'c'},
        {"no-copy", no_argument, 0, kNoCopy},
        {"delete", no_argument, 0, kDelete},
        {"help", no_argument, 0, kHelp},
        {"version", no_argument, 0, kVersion},
        {0, 0, 0, 0},
    };
    const char *size_text = 0, *join = 0, *check = 0;
    bool for_windows = false, make_copy = true, delete_parts = false, checking = false;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, mode == kSplitMode ? "s:j:c:" : "c", kOptions, 0)) != -1) {
        switch (c) {
        case 's':
            size_text = optarg;
            break;
        case kFor:
            if (strcmp(optarg, "windows") != 0 && strcmp(optarg, "linux") != 0)
                return Usage("--for takes windows or linux, not ", optarg);
            for_windows = strcmp(optarg, "windows") == 0;
            break;
        case 'j':
            join = optarg;
            break;
        case 'c':
            checking = true;
            check = optarg;
            break;
        case kNoCopy:
            make_copy = false;
            break;
        case kDelete:
            delete_parts = true;
            break;
        case kHelp:
            printf(kUsage, g_name, g_name, g_name);
            return 0;
        case kVersion:
            printf("QCleaver " QCLEAVER_VERSION "\n");
            return 0;
        default:
            return Usage("unknown or incomplete option ", argv[optind - 1]);
        }
    }
    int operands = argc - optind;
    if (mode == kJoinMode) {
        // A head part: its own set, and nothing else.
        if (operands > 0 || size_text || join || (checking && check) || for_windows)
            return Usage("a head part takes only --no-copy, --delete and --check");
        return checking ? Check(image_path) : Join(image_path, make_copy, delete_parts);
    }
    if ((join != 0) + checking + (operands > 0) != 1 || operands > 1)
        return Usage(operands > 1 ? "one FILE at a time" : "give one FILE, --join=HEAD or --check=HEAD");
    if ((join || checking) && (size_text || for_windows))
        return Usage("--size and --for are for a split");
    if (!join && (!make_copy || delete_parts))
        return Usage("--no-copy and --delete are for a join");
    if (join)
        return Join(join, make_copy, delete_parts);
    if (checking)
        return Check(check);
    int64_t slice_bytes = 1400 * 1024;
    if (size_text && (!ParseSliceSize(size_text, 1, &slice_bytes) || !SliceSizeAllowed(slice_bytes)))
        return Usage("a part's size is 10K to 4G, not ", size_text);
    return Split(image_path, argv[optind], slice_bytes, for_windows);
}
