#include "app/command_line.h"

#include <getopt.h>
#include <stdio.h>
#include <string.h>

#include "join/join_report.h"
#include "join/join_run.h"
#include "join/part_check.h"
#include "platform/console_work.h"
#include "platform/text.h"
#include "split/slice_size.h"
#include "split/split_run.h"
#include "version.h"

static const char kSplitUsage[] =
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
    "  -h, --help         show this help and exit\n"
    "  -V, --version      show the version and exit\n"
    "\n"
    "Exit status: 0 on success, 1 on failure, 2 on wrong usage.\n";

static const char kHeadUsage[] =
    "Usage: %s [--no-copy] [--delete]\n"
    "  or:  %s --check\n"
    "Rebuild the file of this set from the parts beside this head part, in its\n"
    "folder.\n"
    "\n"
    "      --no-copy      write no cleaver.exe beside the file\n"
    "      --delete       delete the parts once the file is rebuilt\n"
    "  -c, --check        read every part of the set and tell which are missing,\n"
    "                     cut short, damaged or swapped, writing nothing\n"
    "  -h, --help         show this help and exit\n"
    "  -V, --version      show the version and exit\n"
    "\n"
    "Exit status: 0 on success, 1 on failure, 2 on wrong usage.\n";

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

static int Split(const SplitRequest *request)
{
    Progress progress;
    ProgressInit(&progress);
    ConsoleWork work;
    SplitOutcome outcome;
    BeginConsoleWork(&work, &progress);
    RunSplit(request, &progress, &outcome);
    EndConsoleWork(&work);
    if (outcome.result.status == kSplitDone)
        printf("%s\n", outcome.text);
    else if (outcome.failed)
        PrintError(outcome.text);
    EndIfInterrupted();
    return outcome.failed ? 1 : 0;
}

static int Join(const char *head, const JoinRequest *request)
{
    PartSet set;
    OpenPartSet(head, &set);
    Progress progress;
    ProgressInit(&progress);
    ConsoleWork work;
    JoinOutcome outcome;
    BeginConsoleWork(&work, &progress);
    RunJoin(&set, request, &progress, &outcome);
    EndConsoleWork(&work);
    ClosePartSet(&set);
    if (outcome.line[0])
        printf("%s\n", outcome.line);
    if (outcome.message[0])
        PrintError(outcome.message);
    EndIfInterrupted();
    return outcome.failed ? 1 : 0;
}

static void PrintPart(void *, const PartSet *set, const PartState *part)
{
    char line[3 * kPathSize];
    FormatPartLine(set, part, line, sizeof line);
    printf("%s\n", line);
}

static int Check(const char *head)
{
    PartSet set;
    OpenPartSet(head, &set);
    if (set.state != kSetReady) {
        char text[4 * kPathSize] = "";
        if (set.state == kSetEmpty) {
            AppendName(text, sizeof text, head);
            AppendText(text, sizeof text, " is no head part of a set: it holds none");
        } else {
            DescribeSetProblem(&set, text, sizeof text);
        }
        ClosePartSet(&set);
        PrintError(text);
        return 1;
    }
    Progress progress;
    ProgressInit(&progress);
    ConsoleWork work;
    BeginConsoleWork(&work, &progress);
    CheckResult result = CheckParts(&set, PrintPart, 0, &progress);
    EndConsoleWork(&work);
    if (!result.stopped) {
        char line[256];
        FormatCheckSummary(&set, &result, line, sizeof line);
        printf("%s\n", line);
    }
    ClosePartSet(&set);
    EndIfInterrupted();
    return result.sound == result.parts && result.whole_matches ? 0 : 1;
}

int RunCommandLine(Mode mode, const char *image_path, int argc, char **argv)
{
    CatchConsoleSignals();
    enum { kFor = 256, kNoCopy, kDelete };
    bool head = mode == kJoinMode;
    // A head part checks itself: its --check takes no HEAD.
    const option kOptions[] = {
        {"size", required_argument, 0, 's'},
        {"for", required_argument, 0, kFor},
        {"join", required_argument, 0, 'j'},
        {"check", head ? no_argument : required_argument, 0, 'c'},
        {"no-copy", no_argument, 0, kNoCopy},
        {"delete", no_argument, 0, kDelete},
        {"help", no_argument, 0, 'h'},
        {"version", no_argument, 0, 'V'},
        {0, 0, 0, 0},
    };
    const char *size_text = 0, *join = 0, *check = 0;
    bool for_windows = false, checking = false, split_option = false;
    JoinRequest request = {true, false, head};
    opterr = 0;  // the messages are ours, in the program's own words
    int c;
    while ((c = getopt_long(argc, argv, head ? ":chV" : ":s:j:c:hV", kOptions, 0)) != -1) {
        switch (c) {
        case 's':
            size_text = optarg;
            split_option = true;
            break;
        case kFor:
            if (strcmp(optarg, "windows") != 0 && strcmp(optarg, "linux") != 0)
                return Usage("--for takes windows or linux, not ", optarg);
            for_windows = strcmp(optarg, "windows") == 0;
            split_option = true;
            break;
        case 'j':
            join = optarg;
            break;
        case 'c':
            checking = true;
            check = optarg;
            break;
        case kNoCopy:
            request.make_copy = false;
            break;
        case kDelete:
            request.delete_parts = true;
            break;
        case 'h':
            printf(head ? kHeadUsage : kSplitUsage, ConsoleName(), ConsoleName(), ConsoleName());
            return 0;
        case 'V':
            printf("QCleaver " QCLEAVER_VERSION "\n");
            return 0;
        case ':':
            return Usage("option '", argv[optind - 1], "' requires an argument");
        default:
            return Usage("unrecognized option '", argv[optind - 1], "'");
        }
    }
    int operands = argc - optind;
    if (head) {
        // A head part: its own set, and nothing else.
        if (operands > 0 || split_option || join)
            return Usage("a head part takes only --no-copy, --delete and --check, for its own set");
        return checking ? Check(image_path) : Join(image_path, &request);
    }
    if ((join != 0) + checking + (operands > 0) != 1 || operands > 1)
        return Usage(operands > 1 ? "one FILE at a time" : "give one FILE, --join=HEAD or --check=HEAD");
    if ((join || checking) && split_option)
        return Usage("--size and --for are for a split");
    if (!join && (!request.make_copy || request.delete_parts))
        return Usage("--no-copy and --delete are for a join");
    if (join)
        return Join(join, &request);
    if (checking)
        return Check(check);
    SplitRequest split = {argv[optind], kSizePresets[kDefaultPreset].bytes, for_windows, image_path};
    SizeText problem = size_text ? ParseSliceSize(size_text, 1, &split.part_bytes) : kSizeTaken;
    if (problem != kSizeTaken) {
        char text[256];
        DescribeSizeText(problem, "bytes", text, sizeof text);
        AppendText(text, sizeof text, ", not ");
        return Usage(text, size_text);
    }
    return Split(&split);
}
