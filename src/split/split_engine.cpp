#include "split/split_engine.h"

#include "format/copy.h"
#include "format/part_layout.h"
#include "format/part_names.h"
#include "format/paths.h"
#include "format/trailer.h"
#include "platform/text.h"

static SplitStatus CopyStatus(CopyResult copy, bool from_image)
{
    if (copy == kWriteFailed)
        return kSplitWriteFailed;
    if (copy == kCopyStopped)
        return kSplitCancelled;
    return from_image ? kSplitNoImage : kSplitReadFailed;
}

// What the trailer stores of the input's path: the path itself where the
// record still fits behind it, else the name alone, which is all a join
// reads.  Sets whether there is room for the record; false when not even
// the name fits the field, which is never cut, least of all inside a
// character.
static bool StorePath(PartSetTrailer *trailer, const char *input_path)
{
    for (int i = 0; i < kTrailerPathSize; i++)
        trailer->original_path[i] = 0;
    const char *stored = TextLength(input_path) <= kMaxRecordPath ? input_path : FileNameOf(input_path);
    trailer->has_record = TextLength(stored) <= kMaxRecordPath;
    return CopyText(trailer->original_path, kTrailerPathSize, stored);
}

// Whether the join will find every part, and name the rebuilt file as the
// input is named: the names fit, and so do the parts' full paths, by which
// a head part knows itself and counts its slices.
static bool NamesHoldUp(const char *input_path, const char *base, int64_t last_part)
{
    char name[kPathSize];
    char path[kPathSize];
    if (!FormatOutputName(name, input_path) || !name[0] ||
        !TextEqual(name, FileNameOf(input_path)))
        return false;
    char separator[2] = {kDirSeparator, 0};
    return FormatPartName(name, base, (int)last_part) && GetCurrentDir(path) &&
           AppendText(path, kPathSize, separator) && AppendText(path, kPathSize, name) &&
           PathFits(path);
}

// The first part name that a read-only file, a link, a folder, the input or
// the program itself already has: the split would write into something it
// must not.  -1 when the way is clear.
static int64_t PartInTheWay(const char *base, int64_t last_part, const FileId *input,
                            const FileId *image, char name[kPathSize])
{
    for (int64_t i = 0; i <= last_part; i++) {
        FormatPartName(name, base, (int)i);
        FileKind kind = FileKindOf(name);
        FileId id;
        if (kind == kReadOnlyFile || kind == kLinkThere || kind == kOtherThere ||
            (kind == kPlainFile && FileIdAt(name, &id) &&
             (SameFile(id, *input) || SameFile(id, *image))))
            return i;
    }
    return -1;
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
                              Progress *progress, Writing *writing, char name[kPathSize])
{
    for (int64_t i = 0; i <= layout->last_part; i++) {
        FormatPartName(name, base, (int)i);
        if (progress)
            progress->item = name;
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
            copy = CopyBytes(input, part, layout->head_data, &trailer->crc, progress);
        } else {
            int64_t length = SliceDataLength(layout, trailer->size, (int)i);
            copy = CopyBytes(input, part, length, &trailer->crc, progress);
            if (!FileClose(part) && copy == kCopied)
                copy = kWriteFailed;
        }
        if (copy != kCopied)
            return CopyStatus(copy, false);
    }
    FormatPartName(name, base, 0);
    return WriteTrailer(writing->head, trailer) ? kSplitDone : kSplitWriteFailed;
}

// Opens the input and the image and plans the set; anything that would
// refuse the split is found here, before a part is written.
static SplitStatus Prepare(const char *input_path, int slice_kb, FileHandle input, FileHandle image,
                           const char *base, PartSetTrailer *trailer, PartLayout *layout,
                           char name[kPathSize])
{
    int64_t input_size = input == kNoFile ? -1 : FileLength(input);
    if (input_size < 0)
        return kSplitNoInput;
    int64_t slice = (int64_t)slice_kb * 1024;
    if (input_size <= slice)
        return kSplitTooSmall;
    // Without a record, only the 32-bit size field tells the size.
    if (!trailer->has_record && input_size >= kSizeOverflow)
        return kSplitNameTooLongForSize;
    // The layout depends on the image's length.
    int64_t image_size = image == kNoFile ? -1 : FileLength(image);
    FileId input_id, image_id;
    if (image_size < 0 || image_size > kMaxImageSize || !FileIdOf(image, &image_id))
        return kSplitNoImage;
    *layout = PlanParts(image_size, slice, input_size);
    if (layout->last_part > kMaxLastPart)
        return kSplitTooLarge;
    if (!NamesHoldUp(input_path, base, layout->last_part))
        return kSplitNamesNotFound;
    if (!FileIdOf(input, &input_id))
        return kSplitNoInput;
    if (PartInTheWay(base, layout->last_part, &input_id, &image_id, name) >= 0)
        return kSplitPartInTheWay;
    trailer->image_size = (int32_t)image_size;
    trailer->size = input_size;
    trailer->original_size = input_size < kSizeOverflow ? (int32_t)input_size : kSizeOverflow;
    trailer->last_part = (int32_t)layout->last_part;
    trailer->slice_length = (int32_t)layout->slice_length;
    trailer->crc = 0;
    return kSplitDone;
}

SplitResult SplitFile(const char *input_path, int slice_kb, const char *image_path,
                      Progress *progress)
{
    SplitResult result;
    result.part[0] = 0;
    result.size = -1;
    result.last_part = 0;
    result.crc = 0;
    static PartSetTrailer trailer;
    bool stored = StorePath(&trailer, input_path);
    char base[kPathSize];
    BaseNameOf(input_path, base);

    FileHandle input = stored ? FileOpenRead(input_path) : kNoFile;
    FileHandle image = input == kNoFile ? kNoFile : FileOpenRead(image_path);
    PartLayout layout;
    result.status = !stored ? kSplitNameTooLongToStore
                            : Prepare(input_path, slice_kb, input, image, base, &trailer, &layout,
                                      result.part);
    if (result.status == kSplitDone) {
        if (progress)
            progress->total = trailer.size;
        Writing writing = {kNoFile, -1};
        result.status =
            WriteParts(input, image, base, &trailer, &layout, progress, &writing, result.part);
        if (writing.head != kNoFile && !FileClose(writing.head) && result.status == kSplitDone)
            result.status = kSplitWriteFailed;
        if (result.status != kSplitDone)
            RemoveParts(base, writing.created);
        result.size = trailer.size;
        result.last_part = trailer.last_part;
        result.crc = trailer.crc;
    }
    if (image != kNoFile)
        FileClose(image);
    if (input != kNoFile)
        FileClose(input);
    return result;
}
