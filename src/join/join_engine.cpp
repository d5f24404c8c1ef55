#include "join/join_engine.h"

#include <string.h>

#include "format/copy.h"
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
    FileHandle file = FileOpenRead(joining->folder, name);
    if (file == kNoFile)
        return Fail(result, kJoinPartMissing, set, slice->index);
    JoinStatus status = kJoinDone;
    if (!FileIdOf(file, &slice->read)) {
        status = Fail(result, kJoinPartUnreadable, set, slice->index);
    } else if ((joining->replaces && SameFile(slice->read, joining->replaced)) ||
               SameFile(slice->read, joining->head_id)) {
        status = Fail(result, kJoinWouldReplacePart, set, slice->index);
    } else if (FileLength(file) != slice->length) {
        SetFileError(0, "");
        status = Fail(result, kJoinPartDamaged, set, slice->index);  // changed since counted
    } else {
        CopyResult copy = CopyBytes(file, output, slice->length, &result->crc, progress);
        if (copy != kCopied)
            status = Fail(result, CopyStatus(copy), set, slice->index);
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
    CopyResult copy = FileSeek(joining->head, set->trailer.image_size)
                          ? CopyBytes(joining->head, output, set->head_data, &result->crc, progress)
                          : kReadFailed;
    if (copy != kCopied) {
        Fail(result, CopyStatus(copy), set, 0);
        return false;
    }
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
static ProgramCopyStatus WriteProgramCopy(Joining *joining, FileId *copy_id, JoinResult *result)
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
    CopyResult copied = FileSeek(joining->head, 0)
                            ? CopyBytes(joining->head, copy, joining->set->trailer.image_size)
                            : kReadFailed;
    if (copied == kCopied && !FileIdOf(copy, copy_id))
        copied = kWriteFailed;
    if (!FileClose(copy) && copied == kCopied)
        copied = kWriteFailed;
    if (copied == kCopied && FileRename(folder, temp, kProgramCopyName))
        return kProgramCopyMade;
    result->error = LastFileError();
    FileDelete(folder, temp);
    return copied == kReadFailed ? kProgramCopyReadFailed : kProgramCopyWriteFailed;
}

// Deletes the parts once their data is safe: each name only while it still
// stands for the very file this join read, and never the rebuilt file or
// the program copy.
static void DeleteParts(Joining *joining, const char *image_path, const FileId *copy_id)
{
    const Folder *folder = joining->folder;
    for (int64_t k = 0; k < joining->census.count; k++) {
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
}

// Everything that can refuse the join, found before anything is written.
static JoinStatus Plan(Joining *joining, const char *image_path, JoinResult *result)
{
    const PartSet *set = joining->set;
    // An empty name (the program itself, not a head part), one that does not
    // fit, or a read-only file or a folder of that name: nothing is written.
    FileKind kind = kNothingThere;
    SetFileError(0, "");
    if (!FormatOutputName(result->output, set->trailer.original_path) || !result->output[0] ||
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
    joining->census = TakeCensus(set, joining->folder);
    const Census &census = joining->census;
    if (!census.listed)
        return Fail(result, kJoinPartMissing, set, 1);
    if (census.fault != kSlicesSound)
        return Fail(result, census.fault == kSliceMissing ? kJoinPartMissing : kJoinPartDamaged,
                    set, census.fault_index);
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
                     bool delete_parts, Progress *progress)
{
    JoinResult result;
    memset(&result, 0, sizeof result);
    Joining joining;
    memset(&joining, 0, sizeof joining);
    joining.folder = folder;
    SetFileError(0, "");
    // The head part is opened once and read for everything: the trailer,
    // its stretch of the data and the program copy.
    PartSet set;
    joining.set = &set;
    joining.head = FileOpenRead(0, image_path);
    if (joining.head == kNoFile || !FileIdOf(joining.head, &joining.head_id) ||
        !ReadPartSet(joining.head, &set)) {
        result.status = kJoinNoTrailer;
        result.error = LastFileError();
    } else if (set.verdict.state == kTrailerDamaged) {
        result.status = kJoinNoTrailer;
    } else {
        result.status = Plan(&joining, image_path, &result);
        if (result.status == kJoinDone)
            result.status = Rebuild(&joining, progress, &result);
    }
    if (result.status == kJoinDone) {
        result.size = OriginalSize(&set.trailer);
        result.verified = set.trailer.has_record;
        // The user's own file wins over a copy of the program of the same name.
        FileId copy_id;
        if (make_copy && !TextEqual(result.output, kProgramCopyName) &&
            !(kNamesIgnoreCase && TextEqualNoCase(result.output, kProgramCopyName)))
            result.program_copy = WriteProgramCopy(&joining, &copy_id, &result);
        // Only a complete join makes the parts expendable; and while a copy
        // of the program was asked for but is not there, the head part is
        // the only one.
        if (delete_parts && (!make_copy || result.program_copy == kProgramCopyMade))
            DeleteParts(&joining, image_path,
                        result.program_copy == kProgramCopyMade ? &copy_id : 0);
    }
    FreeCensus(&joining.census);
    if (joining.head != kNoFile)
        FileClose(joining.head);
    return result;
}
