#include "join/join_engine.h"

#include <string.h>

#include "format/copy.h"
#include "format/part_names.h"
#include "format/paths.h"
#include "join/part_set.h"
#include "platform/text.h"

const char kProgramCopyName[] = "cleaver.exe";

static void Fail(JoinResult *result, JoinStatus status, const PartSet *set, int part = -1)
{
    result->status = status;
    if (part >= 0)
        FormatPartName(result->part, set->base, part);
}

static JoinStatus CopyStatus(CopyResult copy)
{
    return copy == kWriteFailed ? kJoinWriteFailed
           : copy == kCopyStopped ? kJoinCancelled
                                  : kJoinPartUnreadable;
}

// Writes the rebuilt file, under a temporary name; true when it is
// complete and matches what the trailer recorded.
static bool WriteOutput(const PartSet *set, FileHandle head, FileHandle output,
                        Progress *progress, JoinResult *result)
{
    uint32_t *crc = &result->crc;
    CopyResult copy = FileSeek(head, set->trailer.image_size)
                          ? CopyBytes(head, output, set->head_data, crc, progress)
                          : kReadFailed;
    if (copy != kCopied) {
        Fail(result, CopyStatus(copy), set, 0);
        return false;
    }
    for (int i = 1; i <= set->trailer.last_part; i++) {
        char name[kPathSize];
        FormatPartName(name, set->base, i);
        if (progress)
            progress->item = name;
        FileHandle slice = FileOpenRead(name);
        if (slice == kNoFile) {
            Fail(result, kJoinPartMissing, set, i);
            return false;
        }
        copy = CopyBytes(slice, output, FileLength(slice), crc, progress);
        FileClose(slice);
        if (copy != kCopied) {
            Fail(result, CopyStatus(copy), set, i);
            return false;
        }
    }
    if (FileLength(output) != SetSize(&set->trailer)) {
        Fail(result, kJoinSizeMismatch, set);
        return false;
    }
    if (set->trailer.has_record && result->crc != set->trailer.crc) {
        Fail(result, kJoinChecksumMismatch, set);
        return false;
    }
    return true;
}

// Writes a fresh copy of the program from the head part's first bytes,
// under a temporary name that takes the real one only when complete: a
// link of that name is replaced, not followed, and a failed copy leaves an
// earlier cleaver.exe as it was.  A read-only file or a folder of that name
// is the user's, and stays.
static ProgramCopyStatus WriteProgramCopy(FileHandle head, int64_t image_size)
{
    FileKind kind = FileKindOf(kProgramCopyName);
    if (kind == kReadOnlyFile || kind == kOtherThere)
        return kProgramCopyNone;
    char temp[kPathSize];
    FileHandle copy = FileCreateTemporary(temp, kProgramFile);
    if (copy == kNoFile)
        return kProgramCopyNone;  // nowhere to put it; the rebuilt file is what matters
    CopyResult result = FileSeek(head, 0) ? CopyBytes(head, copy, image_size) : kReadFailed;
    if (!FileClose(copy) && result == kCopied)
        result = kWriteFailed;
    if (result == kCopied && FileRename(temp, kProgramCopyName))
        return kProgramCopyMade;
    FileDelete(temp);
    return result == kReadFailed ? kProgramCopyReadFailed : kProgramCopyWriteFailed;
}

// Deletes the parts once their data is safe.  The head part goes only
// while its name still stands for the file this join read.
static void DeleteParts(const PartSet *set, FileHandle head, const char *image_path)
{
    for (int i = 1; i <= set->trailer.last_part; i++) {
        char name[kPathSize];
        FormatPartName(name, set->base, i);
        FileDelete(name);
    }
    FileId read, named;
    if (FileIdOf(head, &read) && FileIdAt(image_path, &named) && SameFile(read, named))
        FileDelete(image_path);  // Windows refuses while it runs; that is fine
}

// Everything that can refuse the join, found before anything is written.
static JoinStatus Plan(const PartSet *set, FileHandle head, const char *image_path,
                       JoinResult *result)
{
    // An empty name (the program itself, not a head part), one that does not
    // fit, or a read-only file or a folder of that name: nothing is written.
    FileKind kind = kNothingThere;
    if (!FormatOutputName(result->output, set->trailer.original_path) || !result->output[0] ||
        (kind = FileKindOf(result->output)) == kReadOnlyFile || kind == kOtherThere)
        return kJoinNoOutput;
    // The file the rebuilt one would replace must not be one of its parts:
    // judged by identity, since names can be changed, linked and cased.
    FileId output, head_id;
    bool replaces = FileIdAt(result->output, &output);
    if (replaces && FileIdOf(head, &head_id) && SameFile(output, head_id)) {
        CopyText(result->part, kPathSize, FileNameOf(image_path));
        return kJoinWouldReplacePart;
    }
    Census census = TakeCensus(set, 0, replaces ? &output : 0);
    if (census.fault != kSlicesSound) {
        FormatPartName(result->part, set->base, census.fault_index);
        return census.fault == kSliceMissing   ? kJoinPartMissing
               : census.fault == kSliceDamaged ? kJoinPartDamaged
                                               : kJoinWouldReplacePart;
    }
    return kJoinDone;
}

static JoinStatus Rebuild(const PartSet *set, FileHandle head, Progress *progress,
                          JoinResult *result)
{
    // Built under a temporary name, so that a failed join leaves neither a
    // partial file nor a damaged earlier one of the same name.
    char temp[kPathSize];
    FileHandle output = FileCreateTemporary(temp, kDataFile);
    if (output == kNoFile)
        return kJoinNoOutput;
    if (progress)
        progress->total = SetSize(&set->trailer);
    result->status = kJoinDone;
    bool complete = WriteOutput(set, head, output, progress, result);
    if (!FileClose(output) && complete) {
        result->status = kJoinWriteFailed;
        complete = false;
    }
    if (complete && !FileRename(temp, result->output)) {
        result->status = kJoinNoOutput;
        complete = false;
    }
    if (!complete)
        FileDelete(temp);
    return result->status;
}

JoinResult JoinParts(const char *image_path, bool make_copy, bool delete_parts,
                     Progress *progress)
{
    JoinResult result;
    memset(&result, 0, sizeof result);
    // The head part is opened once and read for everything: the trailer,
    // its stretch of the data and the program copy.
    FileHandle head = FileOpenRead(image_path);
    PartSet set;
    if (head == kNoFile || !ReadPartSet(head, &set) || set.verdict.state == kTrailerDamaged) {
        result.status = kJoinNoTrailer;
    } else {
        result.status = Plan(&set, head, image_path, &result);
        if (result.status == kJoinDone)
            result.status = Rebuild(&set, head, progress, &result);
    }
    if (result.status == kJoinDone) {
        result.size = SetSize(&set.trailer);
        result.verified = set.trailer.has_record;
        // The user's own file wins over a copy of the program of the same name.
        if (make_copy && !TextEqual(result.output, kProgramCopyName) &&
            !(kNamesIgnoreCase && TextEqualNoCase(result.output, kProgramCopyName)))
            result.program_copy = WriteProgramCopy(head, set.trailer.image_size);
        // Only a complete join makes the parts expendable; and while a copy
        // of the program was asked for but is not there, the head part is
        // the only one.
        if (delete_parts && (!make_copy || result.program_copy == kProgramCopyMade))
            DeleteParts(&set, head, image_path);
    }
    if (head != kNoFile)
        FileClose(head);
    return result;
}
