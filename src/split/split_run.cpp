#include "split/split_run.h"

#include "platform/embedded_image.h"
#include "platform/reasons.h"
#include "platform/text.h"
#include "split/split_report.h"

void RunSplit(const SplitRequest *request, Progress *progress, SplitOutcome *outcome)
{
    SplitResult *result = &outcome->result;
    outcome->failed = true;
    outcome->stopped = false;
    outcome->text[0] = 0;
    // A Windows build's own program is a Windows program; a Linux build
    // carries one where MinGW built it.
    ProgramImage program = {request->image_path, 0, 0, kDosPaths};
    if (request->for_windows && !kDosPaths) {
        if (!EmbeddedWindowsImage(&program.bytes, &program.size)) {
            CopyText(outcome->text, sizeof outcome->text,
                     "This build carries no Windows program (it was built without MinGW): it "
                     "makes sets for Linux only");
            return;
        }
        program.path = 0;
        program.for_windows = true;
    }
    // The parts go where asked, else beside the input.
    Folder folder;
    *result = SplitResult();
    bool opened = request->output_dir ? OpenFolder(request->output_dir, &folder, &result->error)
                  : request->input    ? FolderOfFile(request->input, &folder, &result->error)
                                      : OpenFolder("", &folder, &result->error);
    if (!opened) {
        // An output folder that cannot be opened is said as such; the
        // input's own, as the input that cannot be opened.
        if (request->output_dir) {
            AppendFailure(outcome->text, sizeof outcome->text, &result->error);
            return;
        }
        result->fault = kSplitFileFailed;
        folder.path[0] = 0;
    } else {
        SplitOptions options = {request->force, request->name, request->recovery};
        *result = SplitFile(&folder, request->input, request->part_bytes, &program, &options, progress);
        FolderClose(&folder);
    }
    outcome->stopped = result->fault == kSplitCancelled;
    outcome->failed = result->fault != kSplitDone && !outcome->stopped;
    const char *input = request->input ? request->input : "-";
    if (result->fault == kSplitDone)
        FormatSplitDone(result, program.for_windows && !kDosPaths, outcome->text, sizeof outcome->text);
    else
        DescribeSplitFailure(result, input, folder.path, outcome->text, sizeof outcome->text);
}
