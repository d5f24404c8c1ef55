#include "split/split_engine.h"

#include "format/copy.h"
#include "format/crc32.h"
#include "format/part_layout.h"
#include "format/part_names.h"
#include "format/trailer.h"
#include "platform/text.h"

static SplitStatus CopyStatus(CopyResult copy, bool from_image)
{
    if (copy == kWriteFailed)
        return kSplitWriteFailed;
    return from_image ? kSplitNoImage : kSplitReadFailed;
}

// Removes the parts this run created, 0 to last: a set that failed half way
// is of no use, and a full disk wants its space back.
static void RemoveParts(const char *base, int64_t last)
{
    for (int64_t i = 0; i <= last; i++) {
        char name[kPathSize];
        if (FormatPartName(name, base, (int)i))
            FileDelete(name);
    }
}

// The parts being written: the head part is held open to the end.
struct Writing {
    FileHandle head;
    int64_t created;  // the highest index this run created, or -1
};

// Writes the head part's program and data, then the slice files, then the
// trailer: until the last slice is written, the head part claims nothing.
static SplitStatus WriteParts(FileHandle input, FileHandle image, const char *base,
                              PartSetTrailer *trailer, const PartLayout *layout,
                              Writing *writing, char name[kPathSize])
{
    for (int64_t i = 0; i <= layout->last_part; i++) {
        if (!FormatPartName(name, base, (int)i))
            return kSplitNameTooLong;
        FileHandle part = FileCreate(name, i == 0 ? kProgramFile : kDataFile);
        if (part == kNoFile)
            return kSplitCannotCreate;
        writing->created = i;
        CopyResult copy;
        if (i == 0) {
            writing->head = part;
            copy = CopyBytes(image, part, trailer->image_size);
            if (copy != kCopied)
                return CopyStatus(copy, true);
            copy = CopyBytes(input, part, layout->head_data, &trailer->crc);
        } else {
            int64_t length = SliceDataLength(layout, trailer->size, (int)i);
            copy = CopyBytes(input, part, length, &trailer->crc);
            if (!FileClose(part) && copy == kCopied)
                copy = kWriteFailed;
        }
        if (copy != kCopied)
            return CopyStatus(copy, false);
    }
    FormatPartName(name, base, 0);
    return WriteTrailer(writing->head, trailer) ? kSplitDone : kSplitWriteFailed;
}

// What the trailer stores of the input's path: the path itself where the
// record still fits behind it, else the name alone, which is all a join
// reads.  False when not even the name leaves room for the record.
static bool StorePath(PartSetTrailer *trailer, const char *input_path)
{
    for (int i = 0; i < kPathSize; i++)
        trailer->original_path[i] = 0;
    char name[kPathSize];
    FormatOutputName(name, input_path);
    const char *stored = TextLength(input_path) <= kMaxRecordPath ? input_path : name;
    CopyText(trailer->original_path, kPathSize, stored);
    return TextLength(stored) <= kMaxRecordPath;
}

SplitResult SplitFile(const char *input_path, int slice_kb, const char *image_path)
{
    SplitResult result;
    result.part[0] = 0;
    static PartSetTrailer trailer;
    trailer.has_record = StorePath(&trailer, input_path);
    trailer.crc = 0;

    FileHandle input = FileOpenRead(input_path);
    int64_t input_size = input == kNoFile ? -1 : FileLength(input);
    int64_t slice = (int64_t)slice_kb * 1024;
    result.status = input_size < 0 ? kSplitNoInput : input_size <= slice ? kSplitTooSmall : kSplitDone;
    // Without a record, only the 32-bit size field tells the size.
    if (result.status == kSplitDone && !trailer.has_record && input_size >= kSizeOverflow)
        result.status = kSplitNameTooLongForSize;
    // The layout depends on the image's length, so it is read before any
    // part is written.
    FileHandle image = kNoFile;
    PartLayout layout = {0, 0, 0};
    if (result.status == kSplitDone) {
        image = FileOpenRead(image_path);
        int64_t image_size = image == kNoFile ? -1 : FileLength(image);
        if (image_size < 0 || image_size > kMaxImageSize)
            result.status = kSplitNoImage;
        else
            layout = PlanParts(image_size, slice, input_size);
        if (layout.last_part > kMaxLastPart)
            result.status = kSplitTooLarge;
        trailer.image_size = (int32_t)image_size;
    }
    if (result.status == kSplitDone) {
        trailer.size = input_size;
        trailer.original_size = input_size < kSizeOverflow ? (int32_t)input_size : kSizeOverflow;
        trailer.last_part = (int32_t)layout.last_part;
        trailer.slice_length = (int32_t)layout.slice_length;
        char base[kPathSize];
        BaseNameOf(input_path, base);
        Writing writing = {kNoFile, -1};
        result.status = WriteParts(input, image, base, &trailer, &layout, &writing, result.part);
        if (writing.head != kNoFile && !FileClose(writing.head) && result.status == kSplitDone)
            result.status = kSplitWriteFailed;
        if (result.status != kSplitDone)
            RemoveParts(base, writing.created);
    }
    if (image != kNoFile)
        FileClose(image);
    if (input != kNoFile)
        FileClose(input);
    result.size = input_size;
    result.last_part = trailer.last_part;
    result.crc = trailer.crc;
    return result;
}
