#include "join/join_engine.h"

#include <string.h>

#include "format/copy.h"
#include "format/part_names.h"
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
    return copy == kWriteFailed ? kJoinWriteFailed : kJoinPartUnreadable;
}

// Writes the rebuilt file under a temporary name; true when it is complete.
static bool WriteOutput(const PartSet *set, const char *image_path, FileHandle output,
                        JoinResult *result)
{
    FileHandle head = FileOpenRead(image_path);
    CopyResult copy = kReadFailed;
    uint32_t *crc = &result->crc;
    if (head != kNoFile) {
        copy = FileSeek(head, set->trailer.image_size)
                   ? CopyBytes(head, output, set->head_data, crc)
                   : kReadFailed;
        FileClose(head);
    }
    if (copy != kCopied) {
        Fail(result, CopyStatus(copy), set, 0);
        return false;
    }
    for (int i = 1; i <= set->trailer.last_part; i++) {
        char name[kPathSize];
        FormatPartName(name, set->base, i);
        FileHandle slice = FileOpenRead(name);
        if (slice == kNoFile) {
            Fail(result, kJoinPartMissing, set, i);
            return false;
        }
        copy = CopyBytes(slice, output, FileLength(slice), crc);
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

static bool SameName(const char *a, const char *b)
{
    return kNamesIgnoreCase ? TextEqualNoCase(a, b) : strcmp(a, b) == 0;
}

// Writes a fresh copy of the program; a copy that fails half way is removed
// rather than left as a broken program.
static ProgramCopyStatus WriteProgramCopy(const char *image_path, int64_t image_size)
{
    FileHandle copy = FileCreate(kProgramCopyName, kProgramFile);
    if (copy == kNoFile)
        return kProgramCopyNone;  // nowhere to put it; the rebuilt file is what matters
    FileHandle image = FileOpenRead(image_path);
    CopyResult result = image == kNoFile ? kReadFailed : CopyBytes(image, copy, image_size);
    if (image != kNoFile)
        FileClose(image);
    if (!FileClose(copy) && result == kCopied)
        result = kWriteFailed;
    if (result == kCopied)
        return kProgramCopyMade;
    FileDelete(kProgramCopyName);
    return result == kWriteFailed ? kProgramCopyWriteFailed : kProgramCopyReadFailed;
}

JoinResult JoinParts(const char *image_path, bool make_copy, bool delete_parts)
{
    JoinResult result;
    memset(&result, 0, sizeof result);
    PartSet set;
    if (!ReadPartSet(image_path, &set) || set.verdict.state == kTrailerDamaged) {
        result.status = kJoinNoTrailer;
        return result;
    }
    // An empty name (the program itself, not a head part), one that does not
    // fit, or a read-only file of that name: nothing is written.
    if (!FormatOutputName(result.output, set.trailer.original_path) || !result.output[0] ||
        FileIsProtected(result.output)) {
        result.status = kJoinNoOutput;
        return result;
    }
    Census census = TakeCensus(&set, 0);
    if (census.fault != kSlicesSound) {
        Fail(&result, census.fault == kSliceMissing ? kJoinPartMissing : kJoinPartDamaged, &set,
             census.fault_index);
        return result;
    }

    // Built under a temporary name, so that a failed join leaves neither a
    // partial file nor a damaged earlier one of the same name.
    char temp_name[kPathSize] = "qcleaver-";
    AppendDecimal(temp_name, kPathSize, CurrentProcessId());
    AppendText(temp_name, kPathSize, ".tmp");
    FileHandle output = FileCreate(temp_name, kDataFile);
    if (output == kNoFile) {
        result.status = kJoinNoOutput;
        return result;
    }
    bool complete = WriteOutput(&set, image_path, output, &result);
    if (!FileClose(output) && complete) {
        result.status = kJoinWriteFailed;
        complete = false;
    }
    if (complete && !FileRename(temp_name, result.output)) {
        result.status = kJoinNoOutput;
        complete = false;
    }
    if (!complete) {
        FileDelete(temp_name);
        return result;
    }

    // The user's own file wins over a copy of the program of the same name.
    result.program_copy = kProgramCopyNone;
    if (make_copy && !SameName(result.output, kProgramCopyName))
        result.program_copy = WriteProgramCopy(image_path, set.trailer.image_size);

    // Only a complete join makes the parts expendable; keep them when the
    // requested program copy failed, since the head part is then the only
    // copy of the program.
    bool copy_failed = result.program_copy == kProgramCopyWriteFailed ||
                       result.program_copy == kProgramCopyReadFailed;
    if (delete_parts && !copy_failed) {
        for (int i = 1; i <= set.trailer.last_part; i++) {
            char name[kPathSize];
            FormatPartName(name, set.base, i);
            FileDelete(name);
        }
        FileDelete(image_path);  // Windows refuses while it runs; that is fine
    }
    result.status = kJoinDone;
    result.size = SetSize(&set.trailer);
    result.verified = set.trailer.has_record;
    return result;
}
