#include "split/split_engine.h"

#include <assert.h>

#include "format/copy.h"
#include "format/crc32.h"
#include "format/part_layout.h"
#include "format/part_names.h"
#include "format/paths.h"
#include "format/trailer.h"
#include "platform/text.h"

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
// input is named: the names fit the folder, the longest (the last part's)
// included, and so do the parts' full paths where a head part knows itself
// by one.
static bool NamesHoldUp(const Folder *folder, const char *input_path, const char *stem,
                        int64_t last_part, FileError *error)
{
    char name[kPathSize];
    if (!FormatOutputName(name, input_path) || !name[0] ||
        !TextEqual(name, FileNameOf(input_path)))
        return SetError(error, kErrorNameTooLong, "name", FileNameOf(input_path));
    if (!FormatPartName(name, stem, last_part))
        return SetError(error, kErrorNameTooLong, "name", stem);
    return NameFits(folder, name, error) && FormatPartName(name, stem, 0) &&
           NameFits(folder, name, error);
}

// The first part name that a read-only file, a link, a folder, the input or
// the program itself already has: the split would write into something it
// must not.  False when the way is clear.  Checked once, up front, for a
// message that says which; the renames close the race.
static bool PartInTheWay(const Folder *folder, const char *stem, int64_t last_part,
                         const FileId *input, const FileId *image, char name[kPathSize],
                         Progress *progress)
{
    for (int64_t i = 0; i <= last_part && ProgressStep(progress, 0); i++) {
        FormatPartName(name, stem, i);
        FileKind kind = FileKindOf(folder, name);
        FileId id;
        if (kind == kReadOnlyFile || kind == kLinkThere || kind == kOtherThere ||
            (kind == kPlainFile && FileIdAt(folder, name, &id) &&
             (SameFile(id, *input) || (image && SameFile(id, *image)))))
            return true;
    }
    name[0] = 0;
    return false;
}

// The parts being written: all under temporary names of one series, the
// head part number 0, until every one is complete.
struct Writing {
    const Folder *folder;
    TempSeries series;
    File head;
    int64_t written;  // parts 0 to written - 1 exist under their temporary names
    int64_t placed;   // slices 1 to placed have taken their own names
    // The part table, written to the head part as the parts are done.
    bool with_table;
    unsigned char table[4096];
    int table_used;
    Crc32Joiner joiner;  // joins each part's CRC into the whole file's
};

// Writes the table entries held so far to the head part.
static bool FlushTable(Writing *writing, PartSetTrailer *trailer, FileError *error)
{
    trailer->table_crc = Crc32Update(trailer->table_crc, writing->table, (size_t)writing->table_used);
    bool written = FileWrite(&writing->head, writing->table, writing->table_used, error);
    writing->table_used = 0;
    return written;
}

// Notes a part's CRC-32 in the table and joins it into the input's.
static bool PartDone(Writing *writing, PartSetTrailer *trailer, uint32_t crc, int64_t length,
                     FileError *error)
{
    trailer->crc = Crc32Combine(trailer->crc, crc, length, &writing->joiner);
    if (!writing->with_table)
        return true;
    WriteUint32(writing->table + writing->table_used, crc);
    writing->table_used += kTableEntrySize;
    return writing->table_used < (int)sizeof writing->table || FlushTable(writing, trailer, error);
}

static SplitStatus CopyFailure(CopyResult copy, bool from_image)
{
    return copy == kWriteFailed   ? kSplitWriteFailed
           : copy == kCopyStopped ? kSplitCancelled
           : from_image           ? kSplitNoImage
                                  : kSplitReadFailed;
}

// Writes one slice under its temporary name.
static SplitStatus WriteSlice(File *input, int64_t index, int64_t length, const char *name,
                              PartSetTrailer *trailer, Progress *progress, Writing *writing,
                              FileError *error)
{
    char temp[kPathSize];
    TempName(&writing->series, index, temp);
    File part;
    if (!FileCreate(writing->folder, temp, name, kDataFile, &part, error))
        return kSplitCannotCreate;
    writing->written = index + 1;
    uint32_t crc = 0;
    CopyResult copy = CopyBytes(input, &part, length, &crc, progress, error);
    if (copy != kCopied) {
        FileClose(&part, 0);
        return CopyFailure(copy, false);
    }
    if (!PartDone(writing, trailer, crc, length, error)) {
        FileClose(&part, 0);
        return kSplitWriteFailed;
    }
    return FileClose(&part, error) ? kSplitDone : kSplitWriteFailed;
}

// Whether the input is still what it was when the split began: a file
// that grew, or was changed, would make a set of a file that never was.
static bool Unchanged(File *input, const FileInfo *before, const char *input_path)
{
    FileInfo now;
    FileId named;
    return FileInfoOf(input, &now, 0) && now.length == before->length &&
           now.modified == before->modified && FileIdAt(0, input_path, &named) &&
           SameFile(named, before->id);
}

// Writes the head part's program and data, then the slice files, then the
// part table and the trailer, all under temporary names; then names the
// slices, and the head part last.
static SplitStatus WriteParts(File *input, const ProgramImage *program, File *image,
                              const char *stem, PartSetTrailer *trailer, const PartLayout *layout,
                              Progress *progress, Writing *writing, char name[kPathSize],
                              FileError *error)
{
    FormatPartName(name, stem, 0);
    ProgressItem(progress, name);
    char temp[kPathSize];
    TempName(&writing->series, 0, temp);
    if (!FileCreate(writing->folder, temp, name, kProgramFile, &writing->head, error))
        return kSplitCannotCreate;
    writing->written = 1;
    CopyResult copy =
        image ? CopyBytes(image, &writing->head, trailer->image_size, &trailer->image_crc, 0, error)
              : WriteBytes(&writing->head, program->bytes, trailer->image_size, &trailer->image_crc,
                           error);
    if (copy != kCopied)
        return CopyFailure(copy, true);
    uint32_t crc = 0;
    copy = CopyBytes(input, &writing->head, layout->head_data, &crc, progress, error);
    if (copy != kCopied)
        return CopyFailure(copy, false);
    if (!PartDone(writing, trailer, crc, layout->head_data, error))
        return kSplitWriteFailed;
    for (int64_t i = 1; i <= layout->last_part; i++) {
        FormatPartName(name, stem, i);
        ProgressItem(progress, name);
        SplitStatus status = WriteSlice(input, i, SliceDataLength(layout, trailer->size, i), name,
                                        trailer, progress, writing, error);
        if (status != kSplitDone)
            return status;
    }
    FormatPartName(name, stem, 0);
    if ((writing->with_table && !FlushTable(writing, trailer, error)) ||
        !WriteTrailer(&writing->head, trailer, error) || !FileClose(&writing->head, error))
        return kSplitWriteFailed;
    return kSplitDone;
}

// Gives every part its own name, the slices first and the head part last,
// so that the set claims nothing under the head part's name until it is
// whole.  Quick, and not to be stopped half way: a stop asked for now
// comes too late.
static SplitStatus PlaceParts(Writing *writing, const char *stem, int64_t last_part,
                              char name[kPathSize], FileError *error)
{
    char temp[kPathSize];
    for (int64_t i = 1; i <= last_part; i++) {
        FormatPartName(name, stem, i);
        TempName(&writing->series, i, temp);
        if (!FileRename(writing->folder, temp, name, name, error))
            return kSplitCannotCreate;
        writing->placed = i;
    }
    FormatPartName(name, stem, 0);
    TempName(&writing->series, 0, temp);
    return FileRename(writing->folder, temp, name, name, error) ? kSplitDone : kSplitCannotCreate;
}

// Takes back what a failed or stopped split wrote, and nothing else: a set
// that failed half way is of no use, and a full disk wants its room back.
static void RemoveParts(Writing *writing, const char *stem)
{
    FileClose(&writing->head, 0);
    char name[kPathSize];
    for (int64_t i = 0; i < writing->written; i++) {
        if (i >= 1 && i <= writing->placed)
            FormatPartName(name, stem, i);
        else
            TempName(&writing->series, i, name);
        FileDelete(writing->folder, name, 0);
    }
}

// The parts of a set with a record, or without, whose oldest rules know
// slices only in whole blocks.
static PartLayout PlanFor(bool record, const ProgramImage *program, int64_t image_size,
                          int64_t part_bytes, int64_t input_size)
{
    if (!record)
        part_bytes = part_bytes / kBlockSize * kBlockSize;
    int64_t head_bytes = part_bytes;
    if (program->for_windows && head_bytes > kMaxWindowsHeadBytes)
        head_bytes = kMaxWindowsHeadBytes;
    return PlanParts(image_size, head_bytes, part_bytes, input_size, record ? kTableEntrySize : 0,
                     kTrailerSize);
}

// The bytes of all parts together, and of the largest.
static int64_t SetBytes(const PartSetTrailer *trailer)
{
    return trailer->image_size + trailer->size + PartTableSize(trailer) + kTrailerSize;
}

static int64_t LargestPart(const PartSetTrailer *trailer, const PartLayout *layout)
{
    int64_t head = trailer->image_size + layout->head_data + PartTableSize(trailer) + kTrailerSize;
    return head > layout->slice_length ? head : layout->slice_length;
}

// Whether the set fits the folder's drive, asked before anything is
// written: a courtesy, since the room can still run out while it is.
static SplitStatus CheckRoom(const Folder *folder, const PartSetTrailer *trailer,
                             const PartLayout *layout, SplitResult *result)
{
    int64_t largest_file;
    if (!FolderSpace(folder, &result->free_bytes, &largest_file, 0)) {
        result->free_bytes = -1;
        return kSplitDone;
    }
    result->needed = LargestPart(trailer, layout);
    if (result->needed > largest_file) {
        result->free_bytes = largest_file;
        return kSplitPartTooLargeForDrive;
    }
    result->needed = SetBytes(trailer);
    return result->needed > result->free_bytes ? kSplitNoRoom : kSplitDone;
}

// The least part size, in whole kilobytes, whose head part holds the
// program, the trailer and the table of the parts it makes.
static SplitStatus TooSmall(bool record, const ProgramImage *program, int64_t image_size,
                            int64_t input_size, int64_t asked, SplitResult *result)
{
    int64_t least = (image_size + kTrailerSize + 2 * kTableEntrySize + 1023) / 1024 * 1024;
    result->table_too_large = least <= asked;
    // Each step adds a kilobyte; the table shrinks as the parts grow, so
    // the answer is near, but jump close first for sets of millions.
    while (PlanFor(record, program, image_size, least, input_size).head_data < 0)
        least += least / 64 / 1024 * 1024 + 1024;
    while (least > 1024 && PlanFor(record, program, image_size, least - 1024, input_size).head_data >= 0)
        least -= 1024;
    result->least = least;
    return kSplitPartsTooSmall;
}

static SplitStatus Prepare(const Folder *folder, const char *input_path, int64_t slice,
                           const FileInfo *input_info, const ProgramImage *program,
                           File *image, const char *stem, PartSetTrailer *trailer,
                           PartLayout *layout, SplitResult *result, Progress *progress)
{
    int64_t input_size = input_info->length;
    if (input_size <= slice)
        return kSplitTooSmall;
    // Without a record, only the 32-bit size field tells the size.
    if (!trailer->has_record && input_size >= kSizeOverflow)
        return kSplitNameTooLongForSize;
    if (program->for_windows && (result->why_not_windows = WhyNotAWindowsName(FileNameOf(input_path))))
        return kSplitNotAWindowsName;
    // The layout depends on the image's length.
    FileInfo image_info;
    if (image && !FileInfoOf(image, &image_info, &result->error))
        return kSplitNoImage;
    int64_t image_size = image ? image_info.length : program->size;
    if (image_size > kMaxImageSize)
        return kSplitNoImage;
    *layout = PlanFor(trailer->has_record, program, image_size, slice, input_size);
    if (layout->head_data < 0)
        return TooSmall(trailer->has_record, program, image_size, input_size, slice, result);
    if (layout->last_part > kMaxLastPart)
        return kSplitTooLarge;
    if (!NamesHoldUp(folder, input_path, stem, layout->last_part, &result->error))
        return kSplitNamesTooLong;
    if (PartInTheWay(folder, stem, layout->last_part, &input_info->id, image ? &image_info.id : 0,
                     result->part, progress))
        return kSplitPartInTheWay;
    if (progress && progress->stopped)
        return kSplitCancelled;
    trailer->image_size = (int32_t)image_size;
    trailer->size = input_size;
    trailer->original_size32 = input_size < kSizeOverflow ? (int32_t)input_size : kSizeOverflow;
    trailer->last_part = (int32_t)layout->last_part;
    trailer->slice_length = (uint32_t)layout->slice_length;
    trailer->record_version = trailer->has_record ? 2 : 0;
    trailer->crc = trailer->image_crc = trailer->table_crc = 0;
    return CheckRoom(folder, trailer, layout, result);
}

static SplitStatus Write(const Folder *folder, const char *input_path, File *input,
                         const FileInfo *input_info, const ProgramImage *program, File *image,
                         const char *stem, PartSetTrailer *trailer, const PartLayout *layout,
                         Progress *progress, SplitResult *result)
{
    if (progress)
        progress->total = trailer->size;
    Writing writing;
    writing.folder = folder;
    NewTempSeries(&writing.series);
    writing.head.handle = kNoHandle;
    writing.written = writing.placed = 0;
    writing.with_table = trailer->record_version == 2;
    writing.table_used = 0;
    writing.joiner.length = 0;
    SplitStatus status = WriteParts(input, program, image, stem, trailer, layout, progress,
                                    &writing, result->part, &result->error);
    if (status == kSplitDone && !Unchanged(input, input_info, input_path))
        status = kSplitInputChanged;
    if (status == kSplitDone)
        status = PlaceParts(&writing, stem, layout->last_part, result->part, &result->error);
    if (status != kSplitDone) {
        RemoveParts(&writing, stem);
        // With the room given back, what a full disk lacks for the set.
        int64_t largest_file;
        if (result->error.code == kErrorNoSpace &&
            FolderSpace(folder, &result->free_bytes, &largest_file, 0))
            result->needed = SetBytes(trailer);
    }
    return status;
}

SplitResult SplitFile(const Folder *folder, const char *input_path, int64_t slice_bytes,
                      const ProgramImage *program, Progress *progress)
{
    assert(slice_bytes > 0);
    SplitResult result;
    result.part[0] = 0;
    ClearError(&result.error);
    result.size = -1;
    result.last_part = 0;
    result.crc = 0;
    result.with_checksums = false;
    result.needed = result.free_bytes = result.least = -1;
    result.table_too_large = false;
    result.why_not_windows = 0;
    PartSetTrailer trailer;
    char stem[kPathSize];
    StemOf(input_path, stem);
    if (!StorePath(&trailer, input_path)) {
        result.status = kSplitNameTooLongToStore;
        return result;
    }
    File input, image;
    FileInfo input_info;
    image.handle = kNoHandle;
    if (!FileOpenRead(0, input_path, &input, &result.error, &input_info)) {
        result.status = kSplitNoInput;
        return result;
    }
    PartLayout layout;
    if (program->path && !FileOpenRead(0, program->path, &image, &result.error))
        result.status = kSplitNoImage;
    else
        result.status = Prepare(folder, input_path, slice_bytes, &input_info, program,
                                program->path ? &image : 0, stem, &trailer, &layout, &result,
                                progress);
    if (result.status == kSplitDone) {
        result.status = Write(folder, input_path, &input, &input_info, program,
                              program->path ? &image : 0, stem, &trailer, &layout, progress,
                              &result);
        result.size = trailer.size;
        result.last_part = trailer.last_part;
        result.crc = trailer.crc;
        result.with_checksums = trailer.has_record;
    }
    FileClose(&image, 0);
    FileClose(&input, 0);
    return result;
}
