#include "join/part_check.h"

#include "transfer/copy.h"
#include "math/crc32.h"
#include "format/recovery.h"
#include "join/stretch_map.h"

struct Checking {
    PartSet *set = nullptr;
    PartTable table;
    Progress *progress = nullptr;
    CheckResult *result = nullptr;
    Crc32Joiner joiner;
    bool all_sound = true;
    void (*report)(void *context, const PartSet *set, const PartState *part) = nullptr;
    void *context = nullptr;
    StretchMap map;  // with recovery parts: every part's stretches judged
    bool mapped = false;
};

// How much of a part at fault is bad, to the stretch: the part's block of
// block bytes, of which the file holds available (or more) at `at`.
static void JudgeDamage(Checking *checking, PartState *part, File *file, int64_t at, int64_t available,
                        int64_t block)
{
    available = available < block ? available : block;
    StretchMap *map = &checking->map;
    int64_t slot = part->index >= 0 ? part->index : RecoverySlot(map, part->index);
    if (!checking->mapped)
        return;
    if (!file) {
        MarkLost(map, slot, part->index >= 0 ? ExpectedPartLength(checking->set, part->index)
                                             : checking->set->trailer.slice_length);
        return;
    }
    FileError ignored;
    ClearError(&ignored);
    part->bad_stretches = JudgeStretches(map, slot, file, at, available, block, &ignored);
    part->stretch = map->stretch;
    for (int64_t s = map->per_block - 1; s >= 0; s--)
        if (*StretchStateOf(map, slot, s) == kStretchBad)
            part->first_bad = s * map->stretch;
}

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
    for (int64_t index = part->index; checking->mapped && !sound && part->stretch == 0 && index <= part->through;
         index++) {
        PartState one = *part;
        one.index = index;
        JudgeDamage(checking, &one, 0, 0, 0, 0);  // none of it is there to judge
    }
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
static bool ReadAndJudge(Checking *checking, File *file, int64_t at, int64_t length, PartState *part)
{
    uint32_t crc = 0;
    CopyResult read = ChecksumAt(file, at, length, &crc, checking->progress, &part->error);
    if (read == kCopyStopped)
        return checking->result->stopped = true, false;
    if (read != kCopied) {
        part->fault = kPartUnreadable;
        JudgeDamage(checking, part, 0, 0, 0, 0);
        return true;
    }
    PartFault fault = JudgePartCrc(&checking->table, part->index, crc, length, &part->holds,
                                   &part->error);
    if (part->fault == kPartSound)
        part->fault = fault;
    if (fault != kPartSound)
        JudgeDamage(checking, part, file, at, length, length);
    checking->result->crc = Crc32Combine(checking->result->crc, crc, length, &checking->joiner);
    return true;
}

// A head part lost, or damaged beyond its stretch, where a recovery part
// describes the set: its stretch, where it is there, sits before the
// description at its end.
static bool CheckDescribedHead(Checking *checking, PartState &part)
{
    PartSet *set = checking->set;
    part.fault = set->head_fault;
    File head;
    FileInfo info;
    if (part.fault == kPartSound) {
        if (!FileOpenRead(&set->folder, set->head_name, &head, &part.error, &info)) {
            part.fault = part.error.code == kErrorNotFound ? kPartMissing : kPartUnreadable;
        } else {
            int64_t at = info.length - HeadEndLength(set) - set->head_data;
            bool read = at >= 0 ? ReadAndJudge(checking, &head, at, set->head_data, &part)
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
    *part = PartState(entry->index);
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
        HeadPart probe;
        probe.file = file;
        probe.info = info;
        if (!IsRecoveryPartOf(checking->set, &file, &info, entry->index, &header)) {
            // Sound, but describing another set: told so, with its time.
            bool sound = ReadRecoveryPart(&probe, &header, 0) == kHeadSound;
            part.fault = sound ? kPartOfAnotherSplit : kPartDamaged;
            part.made = sound && probe.extension.has_identity ? probe.extension.made : -1;
        } else {
            // Its block, to the stretch, against the checksums every
            // recovery part keeps of every part.
            int64_t at = RecoveryBlockAt(&header), length = header.block_length;
            if (!ProgressStep(checking->progress, length)) {
                FileClose(&file, 0);
                return checking->result->stopped = true, false;
            }
            JudgeDamage(checking, &part, &file, at, info.length - at, length);
            part.fault = part.bad_stretches != 0 ? kPartDamaged : kPartSound;
        }
        FileClose(&file, 0);
    }
    return Tell(checking, &part);
}

static bool CheckHead(Checking *checking)
{
    PartSet *set = checking->set;
    PartState part(0);
    part.expected = set->head_data;
    if (set->described)
        return CheckDescribedHead(checking, part);
    // The program too: a head part whose program is damaged rebuilds the
    // file, but passes on no copy of it, and should be fetched again.
    if (set->trailer.record_version >= 2) {
        uint32_t crc = 0;
        CopyResult read =
            ChecksumAt(&set->file, 0, set->trailer.image_size, &crc, checking->progress, &part.error);
        if (read == kCopyStopped)
            return checking->result->stopped = true, false;
        if (read != kCopied)
            part.fault = kPartUnreadable;
        else if (crc != set->trailer.image_crc)
            part.fault = kPartDamaged, part.program = true;
    }
    if (part.fault != kPartUnreadable) {
        if (!ReadAndJudge(checking, &set->file, set->trailer.image_size, set->head_data, &part))
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
                            ? ReadAndJudge(checking, &file, 0, info.length, &part)
                            : (part.fault = kPartWrongLength, true);
            part.length = info.length;
            if (part.fault == kPartWrongLength)
                JudgeDamage(checking, &part, &file, 0, info.length, part.expected);
            FileClose(&file, 0);
            if (!read)
                return false;
        }
    } else if (part.fault == kPartWrongLength && part.expected >= 0) {
        // Cut short, or too long: what it holds of its stretch may be sound.
        char name[kPathSize];
        PartNameOf(set, slice->index, name);
        if (FileOpenRead(&set->folder, name, &file, 0, &info)) {
            JudgeDamage(checking, &part, &file, 0, info.length, part.expected);
            FileClose(&file, 0);
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
    PartState part(first);
    part.through = last;
    part.fault = kPartMissing;
    return Tell(checking, &part);
}

// Every part in order, then the recovery parts and what is beyond the set;
// false where the user stopped it.
static bool CheckEveryPart(Checking *checking)
{
    PartSet *set = checking->set;
    CheckResult &result = *checking->result;
    if (!CheckHead(checking))
        return false;
    int64_t next = 1;
    const Census &census = set->census;
    for (int64_t k = 0; k < census.count; k++) {
        if (!CheckMissing(checking, next, census.slices[k].index - 1) ||
            !CheckSlice(checking, &census.slices[k]))
            return false;
        next = census.slices[k].index + 1;
    }
    if (!CheckMissing(checking, next, set->trailer.last_part))
        return false;
    // The recovery parts, the first first; each missing one told alone,
    // since there are few.
    int64_t r = 0;
    for (int64_t number = 1; number <= result.recovery; number++) {
        SliceEntry missing = {-number, -1, kPartMissing, -1, FileId()};
        bool found = r < census.recovery_found && census.recovery[r].index == -number;
        if (!CheckRecoveryPart(checking, found ? &census.recovery[r++] : &missing))
            return false;
    }
    // Slices beyond the set: an earlier set's leftovers, told so that they
    // are not taken for this one's.
    for (int64_t k = 0; k < census.extra_count; k++) {
        PartState extra(census.extra[k].index);
        extra.fault = kPartExtra;
        if (!ProgressStep(checking->progress, 0))
            return result.stopped = true, false;
        checking->report(checking->context, set, &extra);
    }
    return true;
}

CheckResult CheckParts(PartSet *set,
                       void (*report)(void *context, const PartSet *set, const PartState *part),
                       void *context, Progress *progress)
{
    CheckResult result;
    result.parts = (int64_t)set->trailer.last_part + 1;
    result.recovery = set->extension.recovery_count;
    Checking checking;
    checking.set = set;
    OpenPartTable(&checking.table, set);
    checking.progress = progress;
    checking.result = &result;
    checking.joiner.length = 0;
    checking.report = report;
    checking.context = context;
    checking.mapped = set->extension.recovery_count > 0 && OpenStretchMap(&checking.map, set, 0);
    if (progress)
        progress->total = OriginalSize(&set->trailer) +
                          (set->trailer.record_version >= 2 ? set->trailer.image_size : 0) +
                          set->census.recovery_found * set->trailer.slice_length;
    if (CheckEveryPart(&checking)) {
        result.whole_matches = checking.all_sound &&
                               (!set->trailer.has_record || result.crc == set->trailer.crc);
        result.lacking = checking.mapped ? RecoveryLacking(&checking.map) : result.parts - result.sound;
    }
    if (checking.mapped)
        CloseStretchMap(&checking.map);
    return result;
}
