#include "split/split_engine.h"

#include "format/copy.h"
#include "format/part_layout.h"
#include "format/part_names.h"
#include "format/trailer.h"
#include "platform/text.h"

static SplitResult Result(SplitStatus status, const char *part = "")
{
    SplitResult result;
    result.status = status;
    CopyText(result.part, kPathSize, part);
    return result;
}

static SplitStatus CopyStatus(CopyResult copy, bool from_image)
{
    if (copy == kWriteFailed)
        return kSplitWriteFailed;
    return from_image ? kSplitNoImage : kSplitReadFailed;
}

static SplitResult WriteParts(FileHandle input, FileHandle image, const char *base,
                              const PartSetTrailer *trailer, const PartLayout *layout)
{
    for (int i = 0; i <= layout->last_part; i++) {
        char name[kPathSize];
        if (!FormatPartName(name, base, i))
            return Result(kSplitNameTooLong, name);
        FileHandle part = FileCreate(name, i == 0 ? kProgramFile : kDataFile);
        if (part == kNoFile)
            return Result(kSplitCannotCreate, name);
        CopyResult copy;
        bool from_image = false;
        if (i == 0) {
            copy = CopyBytes(image, part, trailer->image_size);
            from_image = copy != kCopied;
            if (copy == kCopied)
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
            return Result(CopyStatus(copy, from_image), name);
    }
    return Result(kSplitDone);
}

SplitResult SplitFile(const char *input_path, int slice_kb, const char *image_path)
{
    FileHandle input = FileOpenRead(input_path);
    int64_t input_size = input == kNoFile ? -1 : FileLength(input);
    int64_t slice = (int64_t)slice_kb * 1024;
    SplitStatus refusal = input_size < 0             ? kSplitNoInput
                          : input_size > kMaxInputSize ? kSplitTooLarge
                          : input_size <= slice        ? kSplitTooSmall
                                                       : kSplitDone;
    // The layout depends on the image's length, so it is read before any
    // part is written.
    FileHandle image = kNoFile;
    int64_t image_size = -1;
    if (refusal == kSplitDone) {
        image = FileOpenRead(image_path);
        image_size = image == kNoFile ? -1 : FileLength(image);
        if (image_size < 0 || image_size > kMaxInputSize)
            refusal = kSplitNoImage;
    }
    if (refusal != kSplitDone) {
        if (image != kNoFile)
            FileClose(image);
        if (input != kNoFile)
            FileClose(input);
        return Result(refusal);
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
    SplitResult result = WriteParts(input, image, base, &trailer, &layout);
    FileClose(image);
    FileClose(input);
    return result;
}
