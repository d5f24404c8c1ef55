#include "split/split_run.h"

#include "platform/embedded_image.h"
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
    Folder folder;
    *result = SplitResult();
    ClearError(&result->error);
    if (!FolderOfFile(request->input, &folder, &result->error)) {
        result->status = kSplitNoInput;
        folder.path[0] = 0;
    } else {
        *result = SplitFile(&folder, request->input, request->part_bytes, &program, progress);
        FolderClose(&folder);
    }
    outcome->stopped = result->status == kSplitCancelled;
    outcome->failed = result->status != kSplitDone && !outcome->stopped;
    if (result->status == kSplitDone)
        FormatSplitDone(result, program.for_windows && !kDosPaths, outcome->text, sizeof outcome->text);
    else
        DescribeSplitFailure(result, request->input, folder.path, outcome->text, sizeof outcome->text);
}
