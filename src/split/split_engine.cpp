#include "split_engine.h"

#include "file_copy.h"
#include "part_layout.h"
#include "part_names.h"
#include "report.h"
#include "text.h"
#include "trailer.h"

const char kSplitTitle[] = "Cleaver";
const char kSliceSizeMessage[] = "Size must be between 10 KB and 64 MB (65536 KB)";

// Reports a failed copy into part `name` and gives the result for it.
static SplitResult CopyFailure(HWND dialog, CopyResult copy, const char *name, bool from_image)
{
    if (copy == kWriteFailed) {
        ShowError(dialog, kSplitTitle, "Unable to write ", name, ", the disk may be full");
        return kSplitCopyFailed;
    }
    if (from_image) {
        ShowError(dialog, kSplitTitle, "Unable to write header!!");
        return kSplitNoImage;
    }
    ShowError(dialog, kSplitTitle, "Unable to read the input file while writing ", name);
    return kSplitCopyFailed;
}

static SplitResult WriteParts(FileHandle input, FileHandle image, const char *base,
                              const PartSetTrailer *trailer, const PartLayout *layout,
                              HWND dialog)
{
    for (int i = 0; i <= layout->last_part; i++) {
        char name[kPathSize];
        if (!FormatPartName(name, base, i)) {
            ShowError(dialog, kSplitTitle, "Unable to create part ", name, "..., the name is too long");
            return kSplitCannotCreate;
        }
        FileHandle part = FileCreate(name, i == 0 ? kProgramFile : kDataFile);
        if (part == kNoFile) {
            ShowError(dialog, kSplitTitle, "Unable to create part ", name);
            return kSplitCannotCreate;
        }
        CopyResult copy;
        if (i == 0) {
            copy = CopyBytes(image, part, trailer->image_size);
            if (copy != kCopied) {
                FileClose(part);
                return CopyFailure(dialog, copy, name, true);
            }
            copy = CopyBytes(input, part, layout->head_data);
            if (copy == kCopied && !WriteTrailer(part, trailer))
                copy = kWriteFailed;
        } else {
            copy = CopyBytes(input, part, SliceDataLength(layout, trailer->original_size, i));
        }
        bool closed = FileClose(part);
        if (copy == kCopied && !closed)
            copy = kWriteFailed;
        if (copy != kCopied)
            return CopyFailure(dialog, copy, name, false);
    }
    return kSplitDone;
}

SplitResult SplitFile(const char *input_path, int slice_kb, HWND dialog, const char *image_path)
{
    FileHandle input = FileOpenRead(input_path);
    if (input == kNoFile) {
        ShowError(dialog, kSplitTitle, "Unable to open input file, Please select a file to split.");
        return kSplitNoInput;
    }
    int64_t input_size = FileLength(input);
    int64_t slice = (int64_t)slice_kb * 1024;
    if (input_size < 0) {
        FileClose(input);
        ShowError(dialog, kSplitTitle, "Unable to open input file, Please select a file to split.");
        return kSplitNoInput;
    }
    if (input_size > kMaxInputSize) {
        FileClose(input);
        ShowError(dialog, kSplitTitle, "File is too large to split!! (2 GB at most)");
        return kSplitBadInputSize;
    }
    if (input_size <= slice) {
        FileClose(input);
        ShowError(dialog, kSplitTitle, "File is too small to split!!");
        return kSplitBadInputSize;
    }

    // The layout depends on the image's length, so read it before any part
    // is written.
    FileHandle image = FileOpenRead(image_path);
    int64_t image_size = image == kNoFile ? -1 : FileLength(image);
    if (image_size < 0 || image_size > kMaxInputSize) {
        if (image != kNoFile)
            FileClose(image);
        FileClose(input);
        ShowError(dialog, kSplitTitle, "Unable to write header!!");
        return kSplitNoImage;
    }

    PartLayout layout = PlanParts(image_size, slice, input_size);
    static PartSetTrailer trailer;
    for (int i = 0; i < kPathSize; i++)
        trailer.original_path[i] = 0;
    CopyText(trailer.original_path, kPathSize, input_path);
    trailer.image_size = (int32_t)image_size;
    trailer.original_size = (int32_t)input_size;
    trailer.last_part = layout.last_part;

    char base[kPathSize];
    BaseNameOf(input_path, base);
    SplitResult result = WriteParts(input, image, base, &trailer, &layout, dialog);
    FileClose(image);
    FileClose(input);
    return result;
}
