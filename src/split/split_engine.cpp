#include "split/split_engine.h"

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
static bool NamesHoldUp(const Folder *folder, const char *input_path, const char *base,
                        int64_t last_part)
{
    char name[kPathSize];
    if (!FormatOutputName(name, input_path) || !name[0] ||
        !TextEqual(name, FileNameOf(input_path)))
        return false;
    return FormatPartName(name, base, 0) && NameFits(folder, name) &&
           FormatPartName(name, base, last_part) && NameFits(folder, name);
}

// The first part name that a read-only file, a link, a folder, the input or
// the program itself already has: the split would write into something it
// must not.  -1 when the way is clear.  Checked once, up front, for a
// message that says which; the renames close the race.
static int64_t PartInTheWay(const Folder *folder, const char *base, int64_t last_part,
                            const FileId *input, const FileId *image, char name[kPathSize])
{
    for (int64_t i = 0; i <= last_part; i++) {
        FormatPartName(name, base, i);
        FileKind kind = FileKindOf(folder, name);
        FileId id;
        if (kind == kReadOnlyFile || kind == kLinkThere || kind == kOtherThere ||
            (kind == kPlainFile && FileIdAt(folder, name, &id) &&
             (SameFile(id, *input) || (image && SameFile(id, *image)))))
            return i;
    }
    return -1;
}

// The parts being written.  The head part is held open under its temporary
// name to the end: until the last slice is in place, the set claims
// nothing under the head part's name.
struct Writing {
    const Folder *folder;
    FileHandle head;
    char head_temp[kPathSize];
    char temp[kPathSize];  // the slice being written, until renamed
    int64_t placed;        // slices 1 to placed have their names
    FileError error;       // the reason of the first failure
    // The part table, written to the head part as the parts are done.
    bool with_table;
    unsigned char table[4096];
    int table_used;
    Crc32Joiner joiner;  // joins each part's CRC into the whole file's
};

static SplitStatus Failure(Writing *writing, SplitStatus status)
{
    writing->error = LastFileError();
    return status;
}

// Writes the table entries held so far to the head part.
static bool FlushTable(Writing *writing, PartSetTrailer *trailer)
{
    trailer->table_crc = Crc32Update(trailer->table_crc, writing->table, (size_t)writing->table_used);
    bool written = FileWrite(writing->head, writing->table, writing->table_used);
    writing->table_used = 0;
    return written;
}

// Notes a part's CRC-32 in the table and joins it into the input's.
static bool PartDone(Writing *writing, PartSetTrailer *trailer, uint32_t crc, int64_t length)
{
    trailer->crc = Crc32Combine(trailer->crc, crc, length, &writing->joiner);
    if (!writing->with_table)
        return true;
    WriteUint32(writing->table + writing->table_used, crc);
    writing->table_used += kTableEntrySize;
    return writing->table_used < (int)sizeof writing->table || FlushTable(writing, trailer);
}

static SplitStatus CopyFailure(Writing *writing, CopyResult copy, bool from_image)
{
    return Failure(writing, copy == kWriteFailed   ? kSplitWriteFailed
                            : copy == kCopyStopped ? kSplitCancelled
                            : from_image           ? kSplitNoImage
                                                   : kSplitReadFailed);
}

// Writes one slice under a temporary name and gives it its own.
static SplitStatus WriteSlice(FileHandle input, int64_t length, const char *name,
                              PartSetTrailer *trailer, Progress *progress, Writing *writing)
{
    FileHandle part = FileCreateTemporary(writing->folder, writing->temp, kDataFile);
    if (part == kNoFile)
        return Failure(writing, kSplitCannotCreate);
    uint32_t crc = 0;
    CopyResult copy = CopyBytes(input, part, length, &crc, progress);
    if (copy != kCopied) {
        FileClose(part);
        return CopyFailure(writing, copy, false);
    }
    if (!PartDone(writing, trailer, crc, length)) {
        FileClose(part);
        return Failure(writing, kSplitWriteFailed);
    }
    if (!FileClose(part))
        return Failure(writing, kSplitWriteFailed);
    if (!FileRename(writing->folder, writing->temp, name))
        return Failure(writing, kSplitCannotCreate);
    writing->temp[0] = 0;
    return kSplitDone;
}

// Writes the head part's program and data, then the slice files, then the
// trailer, and names the head part last.
static SplitStatus WriteParts(FileHandle input, const ProgramImage *program, FileHandle image,
                              const char *base,
                              PartSetTrailer *trailer, const PartLayout *layout,
                              Progress *progress, Writing *writing, char name[kPathSize])
{
    FormatPartName(name, base, 0);
    if (progress)
        progress->item = name;
    writing->head = FileCreateTemporary(writing->folder, writing->head_temp, kProgramFile);
    if (writing->head == kNoFile)
        return Failure(writing, kSplitCannotCreate);
    CopyResult copy =
        image != kNoFile
            ? CopyBytes(image, writing->head, trailer->image_size, &trailer->image_crc)
            : WriteBytes(writing->head, program->bytes, trailer->image_size, &trailer->image_crc);
    if (copy != kCopied)
        return CopyFailure(writing, copy, true);
    uint32_t crc = 0;
    copy = CopyBytes(input, writing->head, layout->head_data, &crc, progress);
    if (copy != kCopied)
        return CopyFailure(writing, copy, false);
    if (!PartDone(writing, trailer, crc, layout->head_data))
        return Failure(writing, kSplitWriteFailed);
    for (int64_t i = 1; i <= layout->last_part; i++) {
        FormatPartName(name, base, i);
        SplitStatus status = WriteSlice(input, SliceDataLength(layout, trailer->size, i), name,
                                        trailer, progress, writing);
        if (status != kSplitDone)
            return status;
        writing->placed = i;
    }
    FormatPartName(name, base, 0);
    if ((writing->with_table && !FlushTable(writing, trailer)) || !WriteTrailer(writing->head, trailer))
        return Failure(writing, kSplitWriteFailed);
    FileHandle head = writing->head;
    writing->head = kNoFile;
    if (!FileClose(head))
        return Failure(writing, kSplitWriteFailed);
    if (!FileRename(writing->folder, writing->head_temp, name))
        return Failure(writing, kSplitCannotCreate);
    writing->head_temp[0] = 0;
    return kSplitDone;
}

// Takes back what a failed or stopped split wrote: a set that failed half
// way is of no use, and a full disk wants its space back.
static void RemoveParts(Writing *writing, const char *base)
{
    if (writing->head != kNoFile)
        FileClose(writing->head);
    if (writing->head_temp[0])
        FileDelete(writing->folder, writing->head_temp);
    if (writing->temp[0])
        FileDelete(writing->folder, writing->temp);
    for (int64_t i = 1; i <= writing->placed; i++) {
        char name[kPathSize];
        if (FormatPartName(name, base, i))
            FileDelete(writing->folder, name);
    }
}

// Opens the input and the image and plans the set; anything that would
// refuse the split is found here, before a part is written.
// The parts of a set with a record, or without, whose oldest rules know
// slices only in whole blocks.
static PartLayout PlanFor(bool record, int64_t image_size, int64_t part_bytes, int64_t input_size)
{
    if (!record)
        part_bytes = part_bytes / kBlockSize * kBlockSize;
    return PlanParts(image_size, part_bytes, input_size, record ? kTableEntrySize : 0, kTrailerSize);
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
    if (!FolderSpace(folder, &result->free_bytes, &largest_file)) {
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

static SplitStatus Prepare(const Folder *folder, const char *input_path, int64_t slice,
                           FileHandle input, const ProgramImage *program, FileHandle image,
                           const char *base,
                           PartSetTrailer *trailer, PartLayout *layout, SplitResult *result)
{
    char *name = result->part;
    int64_t input_size = input == kNoFile ? -1 : FileLength(input);
    if (input_size < 0)
        return kSplitNoInput;
    if (input_size <= slice)
        return kSplitTooSmall;
    // Without a record, only the 32-bit size field tells the size.
    if (!trailer->has_record && input_size >= kSizeOverflow)
        return kSplitNameTooLongForSize;
    // The layout depends on the image's length.
    int64_t image_size = program->path ? (image == kNoFile ? -1 : FileLength(image)) : program->size;
    FileId input_id, image_id;
    if (image_size < 0 || image_size > kMaxImageSize ||
        (program->path && !FileIdOf(image, &image_id)))
        return kSplitNoImage;
    *layout = PlanFor(trailer->has_record, image_size, slice, input_size);
    if (layout->head_data < 0) {
        // The least size, in whole kilobytes, whose head part holds the
        // program, the trailer and the table of the parts it makes.
        int64_t least = (image_size + kTrailerSize + 1023) / 1024 * 1024;
        while (PlanFor(trailer->has_record, image_size, least, input_size).head_data < 0)
            least += 1024;
        result->needed = least;
        return kSplitPartsTooSmall;
    }
    if (layout->last_part > kMaxLastPart)
        return kSplitTooLarge;
    if (!NamesHoldUp(folder, input_path, base, layout->last_part))
        return kSplitNamesNotFound;
    if (!FileIdOf(input, &input_id))
        return kSplitNoInput;
    if (PartInTheWay(folder, base, layout->last_part, &input_id, program->path ? &image_id : 0,
                     name) >= 0)
        return kSplitPartInTheWay;
    trailer->image_size = (int32_t)image_size;
    trailer->size = input_size;
    trailer->original_size = input_size < kSizeOverflow ? (int32_t)input_size : kSizeOverflow;
    trailer->last_part = (int32_t)layout->last_part;
    trailer->slice_length = (uint32_t)layout->slice_length;
    trailer->record_version = trailer->has_record ? 2 : 0;
    trailer->crc = trailer->image_crc = trailer->table_crc = 0;
    return CheckRoom(folder, trailer, layout, result);
}

SplitResult SplitFile(const Folder *folder, const char *input_path, int64_t slice_bytes,
                      const ProgramImage *program, Progress *progress)
{
    SplitResult result;
    result.part[0] = 0;
    result.size = -1;
    result.last_part = 0;
    result.crc = 0;
    result.needed = result.free_bytes = -1;
    PartSetTrailer trailer;
    bool stored = StorePath(&trailer, input_path);
    char base[kPathSize];
    BaseNameOf(input_path, base);

    SetFileError(0, "");
    FileHandle input = stored ? FileOpenRead(0, input_path) : kNoFile;
    FileHandle image = input == kNoFile || !program->path ? kNoFile : FileOpenRead(0, program->path);
    PartLayout layout;
    result.status = !stored ? kSplitNameTooLongToStore
                            : Prepare(folder, input_path, slice_bytes, input, program, image, base,
                                      &trailer, &layout, &result);
    result.error = LastFileError();
    if (result.status == kSplitDone) {
        if (progress)
            progress->total = trailer.size;
        Writing writing;
        writing.folder = folder;
        writing.head = kNoFile;
        writing.head_temp[0] = writing.temp[0] = 0;
        writing.placed = 0;
        writing.with_table = trailer.record_version == 2;
        writing.table_used = 0;
        writing.joiner.length = 0;
        result.status =
            WriteParts(input, program, image, base, &trailer, &layout, progress, &writing,
                       result.part);
        if (result.status != kSplitDone) {
            result.error = writing.error;
            RemoveParts(&writing, base);
            // With the room given back, what a full disk lacks for the set.
            int64_t largest_file;
            if (result.error.code == kErrorNoSpace &&
                FolderSpace(folder, &result.free_bytes, &largest_file))
                result.needed = SetBytes(&trailer);
        }
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
