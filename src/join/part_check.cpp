#include "join/part_check.h"

#include "format/copy.h"
#include "format/crc32.h"
#include "format/recovery.h"

struct Checking {
    PartSet *set;
    PartTable table;
    Progress *progress;
    CheckResult *result;
    Crc32Joiner joiner;
    bool all_sound;
    void (*report)(void *context, const PartSet *set, const PartState *part);
    void *context;
};

// Tells a part's state, unless the user stopped the work meanwhile: a
// stop is a stop, never a part that could not be read.
static bool Tell(Checking *checking, PartState *part)
{
    if (!ProgressStep(checking->progress, 0)) {
        checking->result->stopped = true;
        return false;
    }
    CheckResult *result = checking->result;
    bool sound = part->fault == kPartSound;
    if (part->index < 0) {
        result->recovery_sound += sound;
    } else {
        result->sound += sound;
        result->missing += part->fault == kPartMissing ? part->through - part->index + 1 : 0;
        checking->all_sound = checking->all_sound && sound;
    }
    checking->report(checking->context, checking->set, part);
    return true;
}

// Reads a part's stretch for its checksum and judges it against the table;
// false when the user stopped it.
static bool ReadAndJudge(Checking *checking, File *file, int64_t length, PartState *part)
{
    uint32_t crc = 0;
    CopyResult read = CopyBytes(file, 0, length, &crc, checking->progress, &part->error);
    if (read == kCopyStopped)
        return checking->result->stopped = true, false;
    if (read != kCopied) {
        part->fault = kPartUnreadable;
        return true;
    }
    PartFault fault = JudgePartCrc(&checking->table, part->index, crc, length, &part->holds,
                                   &part->error);
    if (part->fault == kPartSound)
        part->fault = fault;
    checking->result->crc = Crc32Combine(checking->result->crc, crc, length, &checking->joiner);
    return true;
}

// A head part lost, or damaged beyond its stretch, where a recovery part
// describes the set: its stretch, where it is there, sits before the
// description at its end.
static bool CheckDescribedHead(Checking *checking)
{
    PartSet *set = checking->set;
    PartState part;
    InitPartState(&part, 0);
    part.expected = set->head_data;
    part.fault = set->head_fault;
    File head;
    FileInfo info;
    if (part.fault == kPartSound) {
        if (!FileOpenRead(&set->folder, set->head_name, &head, &part.error, &info)) {
            part.fault = part.error.code == kErrorNotFound ? kPartMissing : kPartUnreadable;
        } else {
            int64_t at = info.length - (set->recovery_header - kRecoveryFixedSize - kRecoveryCheckSize) -
                         set->head_data;
            bool read = at >= 0 && FileSeek(&head, at, &part.error)
                            ? ReadAndJudge(checking, &head, set->head_data, &part)
                            : (part.fault = kPartDamaged, true);
            FileClose(&head, 0);
            if (!read)
                return false;
        }
    }
    return Tell(checking, &part);
}

// The part of a census entry, as the census left it; where it was sound,
// opened again (true), or found gone or unreadable since.
static bool OpenEntry(Checking *checking, const SliceEntry *entry, PartState *part, File *file,
                      FileInfo *info)
{
    InitPartState(part, entry->index);
    part->fault = entry->fault;
    part->length = entry->length;
    part->expected = entry->expected;
    if (part->fault != kPartSound)
        return false;
    char name[kPathSize];
    PartNameOf(checking->set, entry->index, name);
    ProgressItem(checking->progress, name);
    if (FileOpenRead(&checking->set->folder, name, file, &part->error, info))
        return true;
    part->fault = part->error.code == kErrorNotFound ? kPartMissing : kPartUnreadable;
    return false;
}

// Recovery part index: its header of this set, its block its checksum.
static bool CheckRecoveryPart(Checking *checking, const SliceEntry *entry)
{
    PartState part;
    File file;
    FileInfo info;
    RecoveryHeader header;
    if (OpenEntry(checking, entry, &part, &file, &info)) {
        uint32_t crc = 0;
        HeadPart probe;
        probe.file = file;
        probe.info = info;
        if (!IsRecoveryPartOf(checking->set, &file, &info, entry->index, &header)) {
            // Sound, but describing another set: told so, with its time.
            bool sound = ReadRecoveryPart(&probe, &header, 0) == kHeadSound;
            part.fault = sound ? kPartOfAnotherSplit : kPartDamaged;
            part.made = sound && probe.extension.has_identity ? probe.extension.made : -1;
        }
        else if (!FileSeek(&file, RecoveryBlockAt(&header), &part.error))
            part.fault = kPartUnreadable;
        else {
            CopyResult read = CopyBytes(&file, 0, header.block_length, &crc, checking->progress,
                                        &part.error);
            if (read == kCopyStopped) {
                FileClose(&file, 0);
                return checking->result->stopped = true, false;
            }
            if (read != kCopied)
                part.fault = kPartUnreadable;
            else if (crc != header.block_crc)
                part.fault = kPartDamaged;
        }
        FileClose(&file, 0);
    }
    return Tell(checking, &part);
}

static bool CheckHead(Checking *checking)
{
    PartSet *set = checking->set;
    if (set->described)
        return CheckDescribedHead(checking);
    PartState part;
    InitPartState(&part, 0);
    part.expected = set->head_data;
    // The program too: a head part whose program is damaged rebuilds the
    // file, but passes on no copy of it, and should be fetched again.
    if (set->trailer.record_version >= 2) {
        uint32_t crc = 0;
        CopyResult read = FileSeek(&set->file, 0, &part.error)
                              ? CopyBytes(&set->file, 0, set->trailer.image_size, &crc,
                                          checking->progress, &part.error)
                              : kReadFailed;
        if (read == kCopyStopped)
            return checking->result->stopped = true, false;
        if (read != kCopied)
            part.fault = kPartUnreadable;
        else if (crc != set->trailer.image_crc)
            part.fault = kPartDamaged, part.program = true;
    }
    if (part.fault != kPartUnreadable) {
        if (!FileSeek(&set->file, set->trailer.image_size, &part.error))
            part.fault = kPartUnreadable;
        else if (!ReadAndJudge(checking, &set->file, set->head_data, &part))
            return false;
    }
    return Tell(checking, &part);
}

static bool CheckSlice(Checking *checking, const SliceEntry *slice)
{
    PartSet *set = checking->set;
    PartState part;
    File file;
    FileInfo info;
    if (OpenEntry(checking, slice, &part, &file, &info)) {
        if (SameFile(info.id, set->info.id)) {
            // A link to the head part: told as the join tells it.
            part.fault = kPartHoldsAnother;
            part.holds = 0;
            part.length = info.length;
            FileClose(&file, 0);
        } else {
            // Changed since the census: judged by its length now.
            bool read = info.length == slice->length
                            ? ReadAndJudge(checking, &file, info.length, &part)
                            : (part.fault = kPartWrongLength, true);
            part.length = info.length;
            FileClose(&file, 0);
            if (!read)
                return false;
        }
    }
    if (!set->description_confirmed && checking->result->disagreeing == 0 &&
        (part.fault == kPartDamaged || part.fault == kPartHoldsAnother))
        checking->result->disagreeing = part.index;
    return Tell(checking, &part);
}

// Parts first to last missing from the folder, told as one run.
static bool CheckMissing(Checking *checking, int64_t first, int64_t last)
{
    if (first > last)
        return true;
    PartState part;
    InitPartState(&part, first);
    part.through = last;
    part.fault = kPartMissing;
    return Tell(checking, &part);
}

CheckResult CheckParts(PartSet *set,
                       void (*report)(void *context, const PartSet *set, const PartState *part),
                       void *context, Progress *progress)
{
    CheckResult result = {(int64_t)set->trailer.last_part + 1, 0, 0, set->extension.recovery_count, 0,
                          false, 0, false, 0};
    Checking checking;
    checking.set = set;
    OpenPartTable(&checking.table, set);
    checking.progress = progress;
    checking.result = &result;
    checking.joiner.length = 0;
    checking.all_sound = true;
    checking.report = report;
    checking.context = context;
    if (progress)
        progress->total = OriginalSize(&set->trailer) +
                          (set->trailer.record_version >= 2 ? set->trailer.image_size : 0) +
                          set->census.recovery_found * set->trailer.slice_length;
    if (!CheckHead(&checking))
        return result;
    int64_t next = 1;
    const Census &census = set->census;
    for (int64_t k = 0; k < census.count; k++) {
        if (!CheckMissing(&checking, next, census.slices[k].index - 1) ||
            !CheckSlice(&checking, &census.slices[k]))
            return result;
        next = census.slices[k].index + 1;
    }
    if (!CheckMissing(&checking, next, set->trailer.last_part))
        return result;
    // The recovery parts, the first first; each missing one told alone,
    // since there are few.
    int64_t r = 0;
    for (int64_t number = 1; number <= result.recovery; number++) {
        SliceEntry missing = {-number, -1, kPartMissing, -1, FileId()};
        bool found = r < census.recovery_found && census.recovery[r].index == -number;
        if (!CheckRecoveryPart(&checking, found ? &census.recovery[r++] : &missing))
            return result;
    }
    // Slices beyond the set: an earlier set's leftovers, told so that they
    // are not taken for this one's.
    for (int64_t k = 0; k < census.extra_count; k++) {
        PartState extra;
        InitPartState(&extra, census.extra[k].index);
        extra.fault = kPartExtra;
        if (!ProgressStep(progress, 0))
            return result.stopped = true, result;
        report(context, set, &extra);
    }
    result.whole_matches = checking.all_sound &&
                           (!set->trailer.has_record || result.crc == set->trailer.crc);
    return result;
}
