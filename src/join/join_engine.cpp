#include "join/join_engine.h"

#include <string.h>

#include "format/copy.h"
#include "format/crc32.h"
#include "format/part_names.h"
#include "format/paths.h"
#include "join/part_set.h"
#include "platform/text.h"

const char kProgramCopyName[] = "cleaver.exe";

// What one join works with: the folder, the head part it read, and the
// files it must not touch but by design.
struct Joining {
    const Folder *folder;
    const PartSet *set;
    FileHandle head;
    FileId head_id;
    bool replaces;     // a file has the rebuilt file's name already
    FileId replaced;   // that file
    FileId output_id;  // the rebuilt file, once written
    Census census;
    PartTable table;     // the CRC-32 of each part, in a set that records them
    Crc32Joiner joiner;  // joins each part's CRC into the whole file's
};

static JoinStatus Fail(JoinResult *result, JoinStatus status, const PartSet *set,
                       int64_t part = -1)
{
    result->status = status;
    result->error = LastFileError();
    if (part >= 0)
        FormatPartName(result->part, set->base, part);
    return status;
}

static JoinStatus CopyStatus(CopyResult copy)
{
    return copy == kWriteFailed   ? kJoinWriteFailed
           : copy == kCopyStopped ? kJoinCancelled
                                  : kJoinPartUnreadable;
}

// Copies one part's stretch of the input and checks it against the part
// table, where the set has one, naming the part that is damaged, or the
// part whose data it holds instead.
static JoinStatus CopyPart(Joining *joining, FileHandle from, int64_t index, int64_t length,
                           FileHandle output, Progress *progress, JoinResult *result)
{
    const PartSet *set = joining->set;
    uint32_t crc = 0;
    CopyResult copy = CopyBytes(from, output, length, &crc, progress);
    if (copy != kCopied)
        return Fail(result, CopyStatus(copy), set, index);
    result->crc = Crc32Combine(result->crc, crc, length, &joining->joiner);
    uint32_t recorded;
    if (set->trailer.record_version != 2 || !RecordedPartCrc(&joining->table, index, &recorded) ||
        crc == recorded)
        return kJoinDone;
    SetFileError(0, "");
    int64_t other = index == 0 ? -1 : PartWithCrc(&joining->table, crc, index);
    if (other < 0)
        return Fail(result, index == 0 ? kJoinHeadDamaged : kJoinPartCorrupt, set, index);
    FormatPartName(result->other, set->base, other);
    return Fail(result, kJoinPartSwapped, set, index);
}

// Copies one slice found by the census, as it was found: the same length,
// and not a file this join writes or must keep.
static JoinStatus CopySlice(Joining *joining, SliceEntry *slice, FileHandle output,
                            Progress *progress, JoinResult *result)
{
    const PartSet *set = joining->set;
    char name[kPathSize];
    FormatPartName(name, set->base, slice->index);
    if (progress)
        progress->item = name;
    int64_t length = -1;
    FileHandle file = FileOpenRead(joining->folder, name, &slice->read, &length);
    if (file == kNoFile)
        return Fail(result, kJoinPartMissing, set, slice->index);
    JoinStatus status = kJoinDone;
    if ((joining->replaces && SameFile(slice->read, joining->replaced)) ||
               SameFile(slice->read, joining->head_id)) {
        status = Fail(result, kJoinWouldReplacePart, set, slice->index);
    } else if (length != slice->length) {
        SetFileError(0, "");
        status = Fail(result, kJoinPartDamaged, set, slice->index);  // changed since counted
    } else {
        status = CopyPart(joining, file, slice->index, slice->length, output, progress, result);
    }
    FileClose(file);
    return status;
}

// Writes the rebuilt file, under a temporary name; true when it is
// complete and matches what the trailer recorded.
static bool WriteOutput(Joining *joining, FileHandle output, Progress *progress,
                        JoinResult *result)
{
    const PartSet *set = joining->set;
    if (!FileSeek(joining->head, set->trailer.image_size)) {
        Fail(result, kJoinPartUnreadable, set, 0);
        return false;
    }
    if (CopyPart(joining, joining->head, 0, set->head_data, output, progress, result) != kJoinDone)
        return false;
    for (int64_t k = 0; k < joining->census.count; k++)
        if (CopySlice(joining, &joining->census.slices[k], output, progress, result) != kJoinDone)
            return false;
    if (FileLength(output) != OriginalSize(&set->trailer)) {
        Fail(result, kJoinSizeMismatch, set);
        return false;
    }
    if (set->trailer.has_record && result->crc != set->trailer.crc) {
        Fail(result, kJoinChecksumMismatch, set);
        return false;
    }
    if (!FileIdOf(output, &joining->output_id)) {
        Fail(result, kJoinWriteFailed, set);
        return false;
    }
    return true;
}

// Writes a fresh copy of the program from the head part's first bytes,
// under a temporary name that takes the real one only when complete: a
// link of that name is replaced, not followed, and a failed copy leaves an
// earlier cleaver.exe as it was.  A read-only file or a folder of that name
// is the user's, and stays; and the copy never replaces the rebuilt file,
// whatever name the system reads it by ("CLEAVER.EXE." is cleaver.exe on
// Windows).
static ProgramCopyStatus WriteProgramCopy(Joining *joining, FileId *copy_id, Progress *progress,
                                          JoinResult *result)
{
    const Folder *folder = joining->folder;
    FileKind kind = FileKindOf(folder, kProgramCopyName);
    FileId there;
    if (kind == kReadOnlyFile || kind == kOtherThere ||
        (FileIdAt(folder, kProgramCopyName, &there) && SameFile(there, joining->output_id)))
        return kProgramCopyNone;
    char temp[kPathSize];
    FileHandle copy = FileCreateTemporary(folder, temp, kProgramFile);
    if (copy == kNoFile) {
        result->error = LastFileError();
        return kProgramCopyWriteFailed;
    }
    const PartSetTrailer &trailer = joining->set->trailer;
    uint32_t crc = 0;
    CopyResult copied =
        FileSeek(joining->head, 0) ? CopyBytes(joining->head, copy, trailer.image_size, &crc, progress)
                                   : kReadFailed;
    // A program that is not the one the set recorded is never passed on.
    bool damaged = copied == kCopied && trailer.record_version == 2 && crc != trailer.image_crc;
    if (copied == kCopied && !FileIdOf(copy, copy_id))
        copied = kWriteFailed;
    if (!FileClose(copy) && copied == kCopied)
        copied = kWriteFailed;
    if (copied == kCopied && !damaged && FileRename(folder, temp, kProgramCopyName))
        return kProgramCopyMade;
    result->error = damaged ? FileError{0, ""} : LastFileError();
    FileDelete(folder, temp);
    return damaged                  ? kProgramCopyDamaged
           : copied == kCopyStopped ? kProgramCopyStopped
           : copied == kReadFailed  ? kProgramCopyReadFailed
                                    : kProgramCopyWriteFailed;
}

// Deletes the parts once their data is safe: each name only while it still
// stands for the very file this join read, and never the rebuilt file or
// the program copy.
// An interruption stops it at once: the parts left are counted.
static int64_t DeleteParts(Joining *joining, const char *image_path, const FileId *copy_id,
                           Progress *progress)
{
    const Folder *folder = joining->folder;
    for (int64_t k = 0; k < joining->census.count; k++) {
        if (!ProgressStep(progress, 0))
            return joining->census.count - k + 1;  // and the head part
        const SliceEntry &slice = joining->census.slices[k];
        char name[kPathSize];
        FileId named;
        if (FormatPartName(name, joining->set->base, slice.index) &&
            FileIdAt(folder, name, &named) && SameFile(named, slice.read) &&
            !SameFile(named, joining->output_id) && !(copy_id && SameFile(named, *copy_id)))
            FileDelete(folder, name);
    }
    FileId named;
    if (FileIdAt(0, image_path, &named) && SameFile(named, joining->head_id) &&
        !SameFile(named, joining->output_id))
        FileDelete(0, image_path);  // Windows refuses while it runs; that is fine
    return 0;
}

// Everything that can refuse the join, found before anything is written.
static JoinStatus Plan(Joining *joining, const char *image_path, JoinResult *result)
{
    const PartSet *set = joining->set;
    // An empty name (the program itself, not a head part), one that does not
    // fit, or a read-only file or a folder of that name: nothing is written.
    FileKind kind = kNothingThere;
    SetFileError(0, "");
    if (!FormatOutputName(result->output, set->trailer.original_path, set->dos_paths) ||
        !result->output[0] ||
        (kind = FileKindOf(joining->folder, result->output)) == kReadOnlyFile ||
        kind == kOtherThere)
        return Fail(result, kJoinNoOutput, set);
    // The file the rebuilt one would replace must not be one of its parts:
    // judged by identity, since names can be changed, linked and cased.
    // The slices are judged so as they are read.
    joining->replaces = FileIdAt(joining->folder, result->output, &joining->replaced);
    if (joining->replaces && SameFile(joining->replaced, joining->head_id)) {
        CopyText(result->part, kPathSize, FileNameOf(image_path));
        return kJoinWouldReplacePart;
    }
    if (!joining->census.listed)
        joining->census = TakeCensus(set, joining->folder);
    const Census &census = joining->census;
    if (!census.listed)
        return Fail(result, kJoinPartMissing, set, 1);
    if (census.fault != kSlicesSound) {
        result->length = census.fault_length;
        result->expected = census.fault_expected;
        return Fail(result, census.fault == kSliceMissing ? kJoinPartMissing : kJoinPartDamaged,
                    set, census.fault_index);
    }
    return kJoinDone;
}

// Whether the rebuilt file, and the program copy where asked for, fit the
// folder's drive: asked before anything is written, a courtesy, since the
// room can still run out while it is.
static JoinStatus CheckRoom(Joining *joining, bool make_copy, JoinResult *result)
{
    int64_t largest_file;
    if (!FolderSpace(joining->folder, &result->free_bytes, &largest_file)) {
        result->free_bytes = -1;
        return kJoinDone;
    }
    const PartSetTrailer &trailer = joining->set->trailer;
    result->needed = OriginalSize(&trailer);
    if (result->needed > largest_file) {
        result->free_bytes = largest_file;
        return Fail(result, kJoinTooLargeForDrive, joining->set);
    }
    result->needed += make_copy ? trailer.image_size : 0;
    if (result->needed > result->free_bytes)
        return Fail(result, kJoinNoRoom, joining->set);
    return kJoinDone;
}

static JoinStatus Rebuild(Joining *joining, Progress *progress, JoinResult *result)
{
    // Built under a temporary name, so that a failed join leaves neither a
    // partial file nor a damaged earlier one of the same name.
    char temp[kPathSize];
    FileHandle output = FileCreateTemporary(joining->folder, temp, kDataFile);
    if (output == kNoFile)
        return Fail(result, kJoinNoOutput, joining->set);
    if (progress)
        progress->total = OriginalSize(&joining->set->trailer);
    result->status = kJoinDone;
    bool complete = WriteOutput(joining, output, progress, result);
    if (!FileClose(output) && complete) {
        Fail(result, kJoinWriteFailed, joining->set);
        complete = false;
    }
    if (complete && !FileRename(joining->folder, temp, result->output)) {
        Fail(result, kJoinNoOutput, joining->set);
        complete = false;
    }
    if (!complete)
        FileDelete(joining->folder, temp);
    return result->status;
}

JoinResult JoinParts(const Folder *folder, const char *image_path, bool make_copy,
                     bool delete_parts, Progress *progress, Census *census)
{
    JoinResult result;
    memset(&result, 0, sizeof result);
    result.needed = result.free_bytes = result.length = result.expected = -1;
    Joining joining;
    memset(&joining, 0, sizeof joining);
    joining.folder = folder;
    SetFileError(0, "");
    // The head part is opened once and read for everything: the trailer,
    // its stretch of the data and the program copy.
    PartSet set;
    joining.set = &set;
    if (census)
        joining.census = *census;
    joining.head = FileOpenRead(0, image_path);
    if (joining.head == kNoFile || !FileIdOf(joining.head, &joining.head_id) ||
        !ReadPartSet(joining.head, &set)) {
        result.status = kJoinNoTrailer;
        result.error = LastFileError();
    } else if (set.verdict.state == kTrailerDamaged) {
        result.status = kJoinHeadDamaged;
        CopyText(result.part, kPathSize, FileNameOf(image_path));
    } else {
        result.status = Plan(&joining, image_path, &result);
        if (result.status == kJoinDone)
            result.status = CheckRoom(&joining, make_copy, &result);
        OpenPartTable(&joining.table, joining.head, &set);
        if (result.status == kJoinDone)
            result.status = Rebuild(&joining, progress, &result);
        if (result.error.code == kErrorNoSpace) {  // what the drive lacks, with the room given back
            int64_t largest_file;
            if (!FolderSpace(folder, &result.free_bytes, &largest_file))
                result.free_bytes = -1;
            result.needed = OriginalSize(&set.trailer) + (make_copy ? set.trailer.image_size : 0);
        }
    }
    if (result.status == kJoinDone) {
        result.size = OriginalSize(&set.trailer);
        result.verified = set.trailer.has_record;
        // The user's own file wins over a copy of the program of the same name.
        FileId copy_id;
        if (make_copy && !TextEqual(result.output, kProgramCopyName) &&
            !(kNamesIgnoreCase && TextEqualNoCase(result.output, kProgramCopyName)))
            result.program_copy = WriteProgramCopy(&joining, &copy_id, progress, &result);
        // Only a complete join makes the parts expendable; and while a copy
        // of the program was asked for but is not there, the head part is
        // the only one.
        result.parts = joining.census.count + 1;
        if (delete_parts && result.program_copy == kProgramCopyStopped)
            result.parts_kept = result.parts;
        else if (delete_parts && (!make_copy || result.program_copy == kProgramCopyMade))
            result.parts_kept = DeleteParts(&joining, image_path,
                                            result.program_copy == kProgramCopyMade ? &copy_id : 0,
                                            progress);
    }
    if (census)
        *census = joining.census;  // the caller's, with what this join read
    else
        FreeCensus(&joining.census);
    if (joining.head != kNoFile)
        FileClose(joining.head);
    return result;
}
