#include "join/join_engine.h"

#include <assert.h>
#include <stdlib.h>

#include "transfer/copy.h"
#include "math/crc32.h"
#include "format/part_names.h"
#include "format/recovery.h"
#include "join/repair.h"
#include "platform/text.h"

const char kProgramCopyName[] = "cleaver.exe";

// What one join works with: the set, where the file goes, and the files it
// must not touch but by design.
struct Joining {
    PartSet *set = 0;
    const JoinRequest *request = 0;
    const Folder *out = 0;       // where the file and the program copy go
    const char *output = 0;      // the file's name there
    File *stream = 0;            // where the file goes in order instead (standard output), or null
    WriteBackFunction repair_set = 0;  // a repair of the set in place, or null
    bool replaces = false;       // a file has the rebuilt file's name already
    bool may_replace = false;    // ... which the user's word, or its being the same, allows to replace
    FileId replaced = FileId();  // that file
    FileId output_id = FileId(); // the rebuilt file, once written
    const FileId *copy_id = 0;   // the program copy, where one is there once the file is
    PartTable table;             // the CRC-32 of each part, in a set that records them
    Crc32Joiner joiner;          // joins each part's CRC into the whole file's
    // A set with recovery parts, rebuilt into a file: the parts at fault
    // are noted, in index order, and rebuilt once the others are in place.
    bool repairing = false;
    FaultNote *faults = 0;
    int64_t fault_count = 0, fault_capacity = 0;
    // Where a recovery part describes the set: the damaged head part read
    // for its stretch, if one was there.
    bool head_read = false;
    FileId head_id = FileId();
};

static void StartJoining(Joining *joining, PartSet *set, const JoinRequest *request)
{
    joining->set = set;
    joining->request = request;
    joining->out = request->output_folder && !request->repair_set ? request->output_folder : &set->folder;
    joining->output = request->output_name ? request->output_name : set->output;
    joining->joiner.length = 0;
    OpenPartTable(&joining->table, set);
    joining->stream = kCommandLine ? request->output_stream : 0;
    joining->repair_set = request->repair_set;
    joining->repairing = set->extension.recovery_count > 0 && !joining->stream;
}

// A name of its own for a file written before it takes its real one.
static void NewTempName(char temp[kPathSize])
{
    TempSeries series;
    NewTempSeries(&series);
    TempName(&series, 0, temp);
}

// The CRC-32 and length of the file of that name, read whole; false where
// it cannot be read.
static bool ChecksumOf(const Folder *folder, const char *name, uint32_t *crc, int64_t *length)
{
    File file;
    *crc = 0;
    bool read = FileOpenRead(folder, name, &file, 0) &&
                CopyAvailable(&file, 0, INT64_MAX, length, crc, 0, 0) == kCopied;
    FileClose(&file, 0);
    return read;
}

// Whether the file of that name holds what the join rebuilds: then it is
// no other file, and replacing it changes nothing.  Only a set that
// records its checksum can tell.
static bool HoldsTheFile(const Joining *joining)
{
    const PartSetTrailer &trailer = joining->set->trailer;
    uint32_t crc;
    int64_t length;
    return trailer.has_record && ChecksumOf(joining->out, joining->output, &crc, &length) &&
           length == OriginalSize(&trailer) && crc == trailer.crc;
}

// Whether the file of that name is this set's program, byte for byte.
static bool HoldsTheProgram(Joining *joining, const char *name)
{
    PartSet *set = joining->set;
    uint32_t crc, program = 0;
    int64_t length, program_length;
    if (joining->request->copy_from)
        return ChecksumOf(joining->out, name, &crc, &length) &&
               ChecksumOf(0, joining->request->copy_from, &program, &program_length) && crc == program &&
               length == program_length;
    if (!ChecksumOf(joining->out, name, &crc, &length) || length != set->trailer.image_size)
        return false;
    if (set->trailer.record_version >= 2)
        return crc == set->trailer.image_crc;
    return ChecksumAt(&set->file, 0, set->trailer.image_size, &program, 0, 0) == kCopied && crc == program;
}

JoinConflicts FindJoinConflicts(PartSet *set, const JoinRequest *request)
{
    Joining joining;
    StartJoining(&joining, set, request);
    JoinConflicts conflicts;
    if (joining.stream || set->state != kSetReady)
        return conflicts;
    // A plain file or a link (which is replaced, never followed) may be
    // replaced on the user's word; a read-only file or a folder never.
    FileId there;
    FileKind output = FileKindOf(joining.out, joining.output), copy = FileKindOf(joining.out, kProgramCopyName);
    conflicts.output_exists = (output == kPlainFile || output == kLinkThere) &&
                               FileIdAt(joining.out, joining.output, &there) &&
                               !SameFile(there, set->info.id) && !HoldsTheFile(&joining);
    conflicts.copy_differs = request->make_copy && !NamedAlike(joining.output, kProgramCopyName) &&
                              (copy == kPlainFile || copy == kLinkThere) &&
                              FileIdAt(joining.out, kProgramCopyName, &there) &&
                              !SameFile(there, set->info.id) &&
                              !HoldsTheProgram(&joining, kProgramCopyName);
    return conflicts;
}

// A part at fault: the join stops on it, and says which and why.
static JoinStatus AtFault(JoinResult *result, int64_t index, PartFault fault,
                          int64_t length = -1, int64_t expected = -1)
{
    result->part.index = result->part.through = index;
    result->part.fault = fault;
    result->part.length = length;
    result->part.expected = expected;
    return kJoinPartFault;
}

// A part that cannot be opened: gone since the census, or unreadable, with
// the system's reason.
static JoinStatus OpenFailed(JoinResult *result, int64_t index)
{
    bool gone = result->part.error.code == kErrorNotFound;
    if (gone)
        ClearError(&result->part.error);
    return AtFault(result, index, gone ? kPartMissing : kPartUnreadable);
}

// Gives a file written under a temporary name its own, replacing a file of
// that name only where it may.
static bool TakeName(const Folder *folder, const char *temp, const char *name, bool may_replace,
                     FileError *error)
{
    return may_replace ? FileRename(folder, temp, name, name, error) : FileRenameNew(folder, temp, name, name, error);
}

// Copies one part's stretch of the input and checks it against the part
// table, where the set has one, naming the part that is damaged, or the
// part whose data it holds instead.
static JoinStatus CopyPart(Joining *joining, File *from, int64_t index, int64_t length,
                           File *output, Progress *progress, JoinResult *result)
{
    uint32_t crc = 0;
    FileError error;
    ClearError(&error);
    CopyResult copy = CopyBytes(from, output, length, &crc, progress, &error);
    if (copy == kCopyStopped)
        return kJoinCancelled;
    if (copy == kWriteFailed) {
        result->error = error;
        return kJoinWriteFailed;
    }
    if (copy == kReadFailed) {  // the reason belongs to the part read
        result->part.error = error;
        return AtFault(result, index, kPartUnreadable);
    }
    result->crc = Crc32Combine(result->crc, crc, length, &joining->joiner);
    PartFault fault = JudgePartCrc(&joining->table, index, crc, length, &result->part.holds,
                                   &result->part.error);
    if (fault == kPartSound)
        return kJoinDone;
    return AtFault(result, index, fault);
}

// Copies one slice found by the census, as it was found: the same length,
// and not a file this join writes or must keep.
static JoinStatus CopySlice(Joining *joining, SliceEntry *slice, File *output, Progress *progress,
                            JoinResult *result)
{
    PartSet *set = joining->set;
    char name[kPathSize];
    PartNameOf(set, slice->index, name);
    ProgressItem(progress, name);
    File file;
    FileInfo info;
    if (!FileOpenRead(&set->folder, name, &file, &result->part.error, &info))
        return OpenFailed(result, slice->index);
    slice->read = info.id;
    JoinStatus status;
    if (joining->replaces && SameFile(info.id, joining->replaced)) {
        AtFault(result, slice->index, kPartSound);
        status = kJoinWouldReplacePart;
    } else if (SameFile(info.id, set->info.id)) {
        // A link to the head part under a slice's name: its bytes are the
        // head part's, whatever the set's rules make of its length.
        status = AtFault(result, slice->index, kPartHoldsAnother);
        result->part.holds = 0;
    } else if (info.length != slice->length) {
        status = AtFault(result, slice->index, kPartWrongLength, info.length, slice->expected);
    } else {
        status = CopyPart(joining, &file, slice->index, slice->length, output, progress, result);
    }
    FileClose(&file, 0);
    return status;
}

// A part found at fault: where the set can be repaired, noted to be rebuilt
// and the join goes on; else the join stops on it.
static JoinStatus KeepFaultForRebuild(Joining *joining, JoinStatus status, JoinResult *result)
{
    if (status != kJoinPartFault || !joining->repairing)
        return status;
    // A slice that holds other data than a recovery part says, where no
    // head part confirms that part's description, may be sound and the
    // description another split's: nothing is rebuilt from it.
    const PartSet *set = joining->set;
    PartFault fault = result->part.fault;
    if (!set->description_confirmed && result->part.index > 0 &&
        (fault == kPartDamaged || fault == kPartHoldsAnother))
        return kJoinSplitsDisagree;
    if (!GrowEntries(&joining->faults, joining->fault_count, &joining->fault_capacity, 16))
        return status;
    joining->faults[joining->fault_count++] = FaultNote{result->part.index, result->part.fault};
    AddFaultNote(result->faults, &result->fault_count, result->part.index, result->part.fault);
    ClearError(&result->part.error);
    // Parts checked whole need a recovery part each; checked in stretches,
    // many damaged a little can be mended by one.
    if (set->extension.stretch_length == 0 && joining->fault_count > set->census.recovery_usable) {
        result->more_needed = joining->fault_count - set->census.recovery_usable;
        return kJoinBeyondRepair;
    }
    return kJoinDone;
}

// The head part's stretch: from the head part, or where a recovery part
// describes the set, from the head part of its name where one is there, at
// the place its end leaves for it.
static JoinStatus CopyHeadPart(Joining *joining, File *output, Progress *progress, JoinResult *result)
{
    PartSet *set = joining->set;
    ProgressItem(progress, set->head_name);
    if (!set->described) {
        if (!FileSeek(&set->file, set->trailer.image_size, &result->part.error))
            return AtFault(result, 0, kPartUnreadable);
        return CopyPart(joining, &set->file, 0, set->head_data, output, progress, result);
    }
    if (set->head_fault != kPartSound)
        return AtFault(result, 0, set->head_fault);
    File head;
    FileInfo info;
    if (!FileOpenRead(&set->folder, set->head_name, &head, &result->part.error, &info))
        return OpenFailed(result, 0);
    joining->head_read = true;
    joining->head_id = info.id;
    int64_t description = HeadEndLength(set);
    int64_t at = info.length - description - set->head_data;
    JoinStatus status = at < 0 ? AtFault(result, 0, kPartWrongLength)
                        : FileSeek(&head, at, &result->part.error)
                            ? CopyPart(joining, &head, 0, set->head_data, output, progress, result)
                            : AtFault(result, 0, kPartUnreadable);
    FileClose(&head, 0);
    return status;
}

// The CRC-32 of the whole file from the part table's entries, which every
// part now matches.
static bool CrcFromTable(Joining *joining, uint32_t *crc, FileError *error)
{
    PartSet *set = joining->set;
    Crc32Joiner joiner;
    joiner.length = 0;
    *crc = 0;
    for (int64_t index = 0; index <= set->trailer.last_part; index++) {
        uint32_t part;
        if (!RecordedPartCrc(&joining->table, index, &part, error))
            return false;
        *crc = Crc32Combine(*crc, part, ExpectedPartLength(set, index), &joiner);
    }
    return true;
}

// Rebuilds the parts noted at fault in the file, from the recovery parts,
// and checks each against the part table.
static JoinStatus RebuildFaultsInFile(Joining *joining, File *output, Progress *progress, JoinResult *result)
{
    PartSet *set = joining->set;
    char name[kPathSize];
    PartNameOf(set, joining->faults[0].index, name);
    ProgressItem(progress, name);
    JoinStatus status = RebuildInFile(set, output, joining->faults, joining->fault_count, progress, result);
    if (status == kJoinWriteFailed && !HasFailed(&result->error))
        SetError(&result->error, kErrorNoSpace, "rebuild the parts in", joining->output);
    if (status != kJoinDone)
        return status;
    // Each part rebuilt is now what the table says, and so the file.
    return CrcFromTable(joining, &result->crc, &result->error) ? kJoinDone : kJoinChecksumMismatch;
}

static JoinStatus WriteOutput(Joining *joining, File *output, Progress *progress,
                              JoinResult *result)
{
    PartSet *set = joining->set;
    JoinStatus status = KeepFaultForRebuild(joining, CopyHeadPart(joining, output, progress, result), result);
    const Census &census = set->census;
    int64_t k = 0;  // the census entry of the next slice found
    for (int64_t index = 1; index <= set->trailer.last_part && status == kJoinDone; index++) {
        SliceEntry *slice = k < census.count && census.slices[k].index == index ? &census.slices[k++] : 0;
        if (joining->repairing && !FileSeek(output, PartOffset(set, index), &result->error))
            return kJoinWriteFailed;
        if (!slice)
            status = AtFault(result, index, kPartMissing);
        else if (slice->fault != kPartSound)
            status = AtFault(result, index, slice->fault, slice->length, slice->expected);
        else
            status = CopySlice(joining, slice, output, progress, result);
        status = KeepFaultForRebuild(joining, status, result);
    }
    if (status == kJoinDone && joining->fault_count > 0)
        status = RebuildFaultsInFile(joining, output, progress, result);
    if (status != kJoinDone)
        return status;
    if (set->trailer.has_record && result->crc != set->trailer.crc)
        return kJoinChecksumMismatch;
    if (joining->stream)
        return kJoinDone;  // the length too is what was written, since each part's is
    FileInfo info;
    if (!FileInfoOf(output, &info, &result->error))
        return kJoinWriteFailed;
    joining->output_id = info.id;
    if (info.length != OriginalSize(&set->trailer))
        return kJoinSizeMismatch;
    // The file as it left: its time, and from Linux its permission bits.
    if (set->extension.has_time) {
        result->time_restored = FileSetTimeAndPermissions(output, &set->extension.modified,
                                                          set->extension.permissions,
                                                          &result->time_error);
    }
    return kJoinDone;
}

// Whether a name stands for the head part or a slice this join read.
static bool IsAPart(const Joining *joining, const FileId &id)
{
    const PartSet *set = joining->set;
    if (SameFile(id, set->info.id))
        return true;
    for (int64_t k = 0; k < set->census.count; k++)
        if (SameFile(id, set->census.slices[k].read))
            return true;
    return false;
}

// Writes a fresh copy of the program from the head part's first bytes,
// under a temporary name that takes the real one only when complete: a
// link of that name is replaced, not followed, and a failed copy leaves an
// earlier cleaver.exe as it was.  A read-only file or a folder of that name
// is the user's, and stays; and the copy never replaces the rebuilt file
// or a part of the set, whatever name the system reads it by
// ("CLEAVER.EXE." is cleaver.exe on Windows).
static ProgramCopyStatus WriteProgramCopy(Joining *joining, FileId *copy_id, Progress *progress,
                                          JoinResult *result)
{
    PartSet *set = joining->set;
    const Folder *folder = joining->out;
    if (NamedAlike(joining->output, kProgramCopyName))
        return kProgramCopyIsOutput;
    FileKind kind = FileKindOf(folder, kProgramCopyName);
    FileId there;
    if (kind == kReadOnlyFile || kind == kOtherThere)
        return kProgramCopyLeftAlone;
    bool replaces = FileIdAt(folder, kProgramCopyName, &there);
    if (replaces) {
        if (SameFile(there, joining->output_id))
            return kProgramCopyIsOutput;
        if (IsAPart(joining, there))
            return kProgramCopyIsPart;
        if (HoldsTheProgram(joining, kProgramCopyName)) {
            *copy_id = there;
            return kProgramCopyThere;
        }
        if (!joining->request->replace_copy)
            return kProgramCopyLeftAlone;
    }
    ProgressItem(progress, kProgramCopyName);
    char temp[kPathSize];
    NewTempName(temp);
    File copy;
    if (!FileCreate(folder, temp, kProgramCopyName, kProgramFile, &copy, &result->copy_error))
        return kProgramCopyFailed;
    const PartSetTrailer &trailer = set->trailer;
    uint32_t crc = 0;
    const char *copy_from = joining->request->copy_from;
    File program;
    FileInfo program_info;
    CopyResult copied = kReadFailed;
    if (copy_from && FileOpenRead(0, copy_from, &program, &result->copy_error, &program_info)) {
        copied = CopyBytes(&program, &copy, program_info.length, &crc, progress, &result->copy_error);
        FileClose(&program, 0);
    } else if (!copy_from && FileSeek(&set->file, 0, &result->copy_error)) {
        copied = CopyBytes(&set->file, &copy, trailer.image_size, &crc, progress, &result->copy_error);
    }
    FileInfo info;
    if (copied == kCopied && !FileInfoOf(&copy, &info, &result->copy_error))
        copied = kWriteFailed;
    if (!FileClose(&copy, &result->copy_error) && copied == kCopied)
        copied = kWriteFailed;
    // A program that is not the one the set recorded is never passed on.
    bool damaged = copied == kCopied && !copy_from && trailer.record_version >= 2 && crc != trailer.image_crc;
    // A cleaver.exe that appears meanwhile is not replaced without the word.
    if (copied == kCopied && !damaged && TakeName(folder, temp, kProgramCopyName, replaces, &result->copy_error)) {
        *copy_id = info.id;
        return kProgramCopyMade;
    }
    FileDelete(folder, temp, 0);
    return damaged                  ? kProgramCopyDamaged
           : copied == kCopyStopped ? kProgramCopyStopped
                                    : kProgramCopyFailed;
}

// Deletes one part, only while its name still stands for the very file
// this join read, and never the rebuilt file or the program copy.  False
// when it is kept for a reason the user must hear.
static bool DeletePart(const Joining *joining, const Folder *folder, const char *name, const FileId &read,
                       FileError *error)
{
    FileId named;
    if (!FileIdAt(folder, name, &named) || !SameFile(named, read) || SameFile(named, joining->output_id) ||
        (joining->copy_id && SameFile(named, *joining->copy_id)))
        return true;  // no longer the part read: nothing of the set to delete
    return FileDelete(folder, name, error);
}

// Deletes the parts once their data is safe.  While a copy of the program
// was asked for but is not there, the head part is the only one, and stays.
static void DeleteParts(Joining *joining, Progress *progress, JoinResult *result)
{
    PartSet *set = joining->set;
    result->deletion = kDeletionDone;
    char name[kPathSize];
    for (int64_t k = 0; k < set->census.count; k++) {
        if (!ProgressStep(progress, 0)) {
            result->deletion = kDeletionStopped;
            // ... and the head part and the recovery parts
            result->parts_kept += set->census.count - k + 1 + set->census.recovery_found;
            return;
        }
        const SliceEntry &slice = set->census.slices[k];
        PartNameOf(set, slice.index, name);
        if (!DeletePart(joining, &set->folder, name, slice.read, &result->delete_error))
            result->parts_kept++;
    }
    // The recovery parts go with the set, those whose header says they are
    // its own.  Where one of them describes the set, it is closed first:
    // Windows deletes no file held open.
    if (set->described)
        FileClose(&set->file, 0);
    for (int64_t k = 0; k < set->census.recovery_found; k++) {
        SliceEntry &part = set->census.recovery[k];
        PartNameOf(set, part.index, name);
        File file;
        FileInfo info;
        RecoveryHeader header;
        if (part.length < 0)
            continue;
        if (!FileOpenRead(&set->folder, name, &file, &result->delete_error, &info)) {
            result->parts_kept++;
            continue;
        }
        bool own = IsRecoveryPartOf(set, &file, &info, part.index, &header);
        FileClose(&file, 0);
        if (own && !DeletePart(joining, &set->folder, name, info.id, &result->delete_error))
            result->parts_kept++;
    }
    bool keep_head = joining->request->make_copy && !joining->copy_id;
    FileError head_error;
    ClearError(&head_error);
    if (set->described && !joining->head_read) {
        // The head part is lost: nothing to delete.
    } else if (keep_head) {
        result->parts_kept++;
        result->deletion = kDeletionKeptForCopy;
    } else if (!(set->described ? DeletePart(joining, &set->folder, set->head_name, joining->head_id, &head_error)
                                : DeletePart(joining, 0, set->given, set->info.id, &head_error)) &&
               !joining->request->head_is_running) {  // Windows keeps a running program; that is fine
        result->parts_kept++;
        if (!HasFailed(&result->delete_error))
            result->delete_error = head_error;
    }
    if (result->parts_kept > 0 && result->deletion == kDeletionDone)
        result->deletion = kDeletionIncomplete;
}

// Everything that can refuse the join, found before anything is written.
static JoinStatus FindRefusal(Joining *joining, JoinResult *result)
{
    PartSet *set = joining->set;
    CopyText(result->output, kPathSize, joining->output);
    if (!joining->stream && !joining->repair_set) {
        // No name, or a read-only file or a folder of that name: nothing is written.
        FileKind kind = joining->output[0] ? FileKindOf(joining->out, joining->output) : kNothingThere;
        if (!joining->output[0] || kind == kReadOnlyFile || kind == kOtherThere)
            return kJoinNoOutput;
        // The file the rebuilt one would replace must not be one of its
        // parts: judged by identity, since names can be changed, linked and
        // cased.  The slices are judged so as they are read.  Another file
        // is replaced only on the user's word, or where it is the same.
        joining->replaces = FileIdAt(joining->out, joining->output, &joining->replaced);
        if (joining->replaces && SameFile(joining->replaced, set->info.id)) {
            AtFault(result, 0, kPartSound);
            return kJoinWouldReplacePart;
        }
        joining->may_replace = joining->replaces &&
                               (joining->request->replace_output || HoldsTheFile(joining));
        if (joining->replaces && !joining->may_replace)
            return kJoinOutputExists;
    }
    const Census &census = set->census;
    int64_t known = KnownFaults(set, result->faults);
    if (known > 0 && set->extension.recovery_count > 0) {
        // The faults known before anything is read: named, and rebuilt
        // where the recovery parts are enough.
        result->fault_count = known;
        if (joining->stream)
            return kJoinRepairToStream;
        result->more_needed = FaultsNeedingRecovery(set) - census.recovery_usable;
        if (result->more_needed > 0)
            return kJoinBeyondRepair;
        result->fault_count = 0;  // told again as the join meets them
        return kJoinDone;
    }
    if (census.at_fault > 0) {
        int64_t index = census.first_fault;
        for (int64_t k = 0; k < census.count; k++)
            if (census.slices[k].index == index)
                return AtFault(result, index, census.slices[k].fault, census.slices[k].length,
                                 census.slices[k].expected);
        return AtFault(result, index, kPartMissing);
    }
    return kJoinDone;
}

// Whether the rebuilt file, and the program copy where asked for, fit the
// folder's drive: asked before anything is written, a courtesy, since the
// room can still run out while it is.
static JoinStatus CheckRoom(Joining *joining, bool make_copy, JoinResult *result)
{
    int64_t largest_file;
    if (joining->stream ||
        !FolderSpace(joining->out, &result->free_bytes, &largest_file, 0)) {
        result->free_bytes = -1;
        return kJoinDone;
    }
    const PartSetTrailer &trailer = joining->set->trailer;
    result->needed = OriginalSize(&trailer);
    if (result->needed > largest_file) {
        result->free_bytes = largest_file;
        return kJoinTooLargeForDrive;
    }
    result->needed += make_copy ? trailer.image_size : 0;
    return result->needed > result->free_bytes ? kJoinNoRoom : kJoinDone;
}

// A repair of the set in place: every part judged, those at fault written
// again beside the others; the result names them all.
static JoinStatus RepairSet(Joining *joining, Progress *progress, JoinResult *result)
{
    PartSet *set = joining->set;
    if (progress)
        progress->total = OriginalSize(&set->trailer) + set->census.recovery_found * set->trailer.slice_length;
    return joining->repair_set(set, joining->request->program, progress, result);
}

static JoinStatus WriteUnderTempName(Joining *joining, Progress *progress, JoinResult *result)
{
    PartSet *set = joining->set;
    if (progress)
        progress->total = OriginalSize(&set->trailer);
    if (joining->stream)
        return WriteOutput(joining, joining->stream, progress, result);
    // Built under a temporary name, so that a failed join leaves neither a
    // partial file nor a damaged earlier one of the same name.
    char temp[kPathSize];
    NewTempName(temp);
    File output;
    const Folder *out = joining->out;
    if (!FileCreate(out, temp, joining->output, kDataFile, &output, &result->error))
        return kJoinNoOutput;
    JoinStatus status = WriteOutput(joining, &output, progress, result);
    if (!FileClose(&output, &result->error) && status == kJoinDone)
        status = kJoinWriteFailed;
    // A file of that name that appeared meanwhile is not replaced.
    if (status == kJoinDone && !TakeName(out, temp, joining->output, joining->may_replace, &result->error))
        status = result->error.code == kErrorExists ? kJoinOutputExists : kJoinNoOutput;
    if (status != kJoinDone)
        FileDelete(out, temp, 0);
    return status;
}

JoinResult JoinParts(PartSet *set, const JoinRequest *request, Progress *progress)
{
    assert(set->state == kSetReady || set->state == kSetEmpty);
    JoinResult result;
    result.parts = set->census.count + 1 + set->census.recovery_found;
    Joining joining;
    StartJoining(&joining, set, request);
    result.folder = joining.out->path;

    if (joining.repair_set) {
        result.status = RepairSet(&joining, progress, &result);
        return result;  // the parts written again, and nothing else
    }
    result.status = FindRefusal(&joining, &result);
    if (result.status == kJoinDone)
        result.status = CheckRoom(&joining, request->make_copy, &result);
    if (result.status == kJoinDone)
        result.status = WriteUnderTempName(&joining, progress, &result);
    if (result.error.code == kErrorNoSpace && !joining.stream) {
        // What the drive lacks, with the room given back.
        int64_t largest_file;
        if (!FolderSpace(joining.out, &result.free_bytes, &largest_file, 0))
            result.free_bytes = -1;
        result.needed = OriginalSize(&set->trailer) + (request->make_copy ? set->trailer.image_size : 0);
    }
    free(joining.faults);
    joining.faults = 0;
    if (result.status != kJoinDone)
        return result;
    result.size = OriginalSize(&set->trailer);
    result.verified = set->trailer.has_record;
    FileId copy_id;
    if (joining.stream)
        return result;  // nothing but the file
    if (request->make_copy && set->described)
        result.program_copy = kProgramCopyNoProgram;
    else if (request->make_copy)
        result.program_copy = WriteProgramCopy(&joining, &copy_id, progress, &result);
    if (result.program_copy == kProgramCopyMade || result.program_copy == kProgramCopyThere)
        joining.copy_id = &copy_id;
    if (request->delete_parts)
        DeleteParts(&joining, progress, &result);
    return result;
}
