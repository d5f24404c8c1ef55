#include "join_engine.h"

#include <string.h>

#include "file_copy.h"
#include "part_layout.h"
#include "part_names.h"
#include "report.h"
#include "text.h"
#include "trailer.h"

const char kJoinTitle[] = "UnCleaver";

static const char kProgramCopyName[] = "cleaver.exe";

struct JoinPlan {
    PartSetTrailer trailer;
    int64_t head_length;
    int64_t head_data;  // input bytes the head part carries
    char base[kPathSize];
    char output[kPathSize];
};

static void ShowDamaged(HWND dialog, const JoinPlan *plan, int index, const char *what)
{
    char name[kPathSize];
    FormatPartName(name, plan->base, index);
    char first[2 * kPathSize] = "Unable to rebuild ";
    AppendText(first, sizeof first, plan->output);
    AppendText(first, sizeof first, ": part ");
    ShowError(dialog, kJoinTitle, first, name, what);
}

// Checks that the slice files are all there and that their lengths are
// those a split writes: one length, a multiple of 4096 bytes, for all slices
// but the last that holds data, then no more than that, then empty ones,
// adding up to what the head part does not carry.
static bool CheckSlices(HWND dialog, const JoinPlan *plan)
{
    int64_t left = plan->trailer.original_size - plan->head_data;
    int64_t slice_length = 0;
    for (int i = 1; i <= plan->trailer.last_part; i++) {
        char name[kPathSize];
        FileHandle slice = FormatPartName(name, plan->base, i) ? FileOpenRead(name) : kNoFile;
        if (slice == kNoFile) {
            ShowDamaged(dialog, plan, i, " is missing");
            return false;
        }
        int64_t length = FileLength(slice);
        FileClose(slice);
        bool sound = length >= 0 && length <= left;
        if (sound && length < left) {
            if (slice_length == 0)
                slice_length = length;
            sound = length == slice_length && length > 0 && length % kBlockSize == 0;
        } else if (sound && slice_length != 0) {
            sound = length <= slice_length;
        }
        if (!sound) {
            ShowDamaged(dialog, plan, i, " is damaged or incomplete");
            return false;
        }
        left -= length;
    }
    return true;
}

// Reports a failed copy into the rebuilt file from part `index`.
static void ShowCopyFailure(HWND dialog, const JoinPlan *plan, CopyResult copy, int index)
{
    if (copy == kWriteFailed)
        ShowError(dialog, kJoinTitle, "Unable to write ", plan->output, ", the disk may be full");
    else
        ShowDamaged(dialog, plan, index, " cannot be read");
}

// Writes the rebuilt file under a temporary name; true when it is complete.
static bool WriteOutput(HWND dialog, const JoinPlan *plan, const char *image_path,
                        FileHandle output)
{
    FileHandle head = FileOpenRead(image_path);
    CopyResult copy = kReadFailed;
    if (head != kNoFile) {
        copy = FileSeek(head, plan->trailer.image_size) ? CopyBytes(head, output, plan->head_data)
                                                         : kReadFailed;
        FileClose(head);
    }
    if (copy != kCopied) {
        ShowCopyFailure(dialog, plan, copy, 0);
        return false;
    }
    for (int i = 1; i <= plan->trailer.last_part; i++) {
        char name[kPathSize];
        FormatPartName(name, plan->base, i);
        FileHandle slice = FileOpenRead(name);
        if (slice == kNoFile) {
            ShowDamaged(dialog, plan, i, " is missing");
            return false;
        }
        copy = CopyBytes(slice, output, FileLength(slice));
        FileClose(slice);
        if (copy != kCopied) {
            ShowCopyFailure(dialog, plan, copy, i);
            return false;
        }
    }
    if (FileLength(output) != plan->trailer.original_size) {
        ShowError(dialog, kJoinTitle, "Unable to rebuild ", plan->output,
                  ": the parts do not add up to its size");
        return false;
    }
    return true;
}

static bool SameName(const char *a, const char *b)
{
    return kNamesIgnoreCase ? TextEqualNoCase(a, b) : strcmp(a, b) == 0;
}

// Writes a fresh copy of the program; a copy that fails half way is removed
// rather than left as a broken program.
static bool WriteProgramCopy(HWND dialog, const char *image_path, int64_t image_size)
{
    FileHandle copy = FileCreate(kProgramCopyName, kProgramFile);
    if (copy == kNoFile)
        return true;  // nowhere to put it; the rebuilt file is what matters
    FileHandle image = FileOpenRead(image_path);
    CopyResult result = image == kNoFile ? kReadFailed : CopyBytes(image, copy, image_size);
    if (image != kNoFile)
        FileClose(image);
    if (!FileClose(copy) && result == kCopied)
        result = kWriteFailed;
    if (result == kCopied)
        return true;
    FileDelete(kProgramCopyName);
    ShowError(dialog, kJoinTitle, "Unable to write ", kProgramCopyName,
              result == kWriteFailed ? ", the disk may be full" : ", the program cannot be read");
    return false;
}

JoinResult JoinParts(HWND dialog, bool make_copy, bool delete_parts, const char *image_path)
{
    static JoinPlan plan;
    if (!ReadTrailerOf(image_path, &plan.trailer, &plan.head_length) ||
        CheckTrailer(&plan.trailer, plan.head_length) == kTrailerDamaged) {
        ShowError(dialog, kJoinTitle, "Unable to loacte original file information");
        return kJoinNoTrailer;
    }
    plan.head_data = plan.head_length - plan.trailer.image_size - kTrailerSize;
    BaseNameOf(plan.trailer.original_path, plan.base);

    // An empty name (the program itself, not a head part), one that does not
    // fit, or a read-only file of that name: nothing is written.
    static const char kNoOutput[] =
        "Unable to open output file, make sure there is no file with the same name in the output directory";
    if (!FormatOutputName(plan.output, plan.trailer.original_path) || !plan.output[0] ||
        FileIsProtected(plan.output)) {
        ShowError(dialog, kJoinTitle, kNoOutput);
        return kJoinNoOutput;
    }
    if (!CheckSlices(dialog, &plan))
        return kJoinIncomplete;

    // Built under a temporary name, so that a failed join leaves neither a
    // partial file nor a damaged earlier one of the same name.
    char temp_name[kPathSize] = "qcleaver-";
    AppendDecimal(temp_name, kPathSize, CurrentProcessId());
    AppendText(temp_name, kPathSize, ".tmp");
    FileHandle output = FileCreate(temp_name, kDataFile);
    if (output == kNoFile) {
        ShowError(dialog, kJoinTitle, kNoOutput);
        return kJoinNoOutput;
    }
    bool complete = WriteOutput(dialog, &plan, image_path, output);
    if (!FileClose(output) && complete) {
        ShowError(dialog, kJoinTitle, "Unable to write ", plan.output, ", the disk may be full");
        complete = false;
    }
    if (complete && !FileRename(temp_name, plan.output)) {
        ShowError(dialog, kJoinTitle, kNoOutput);
        complete = false;
    }
    if (!complete) {
        FileDelete(temp_name);
        return kJoinIncomplete;
    }

    // The user's own file wins over a copy of the program of the same name.
    bool copied = true;
    if (make_copy && !SameName(plan.output, kProgramCopyName))
        copied = WriteProgramCopy(dialog, image_path, plan.trailer.image_size);

    // Only a complete join makes the parts expendable; keep them when the
    // requested program copy failed, since the head part is then the only
    // copy of the program.
    if (delete_parts && copied) {
        for (int i = 1; i <= plan.trailer.last_part; i++) {
            char name[kPathSize];
            FormatPartName(name, plan.base, i);
            FileDelete(name);
        }
        FileDelete(image_path);  // Windows refuses while it runs; that is fine
    }
    return kJoinDone;
}
