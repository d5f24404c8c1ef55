#include "join/part_set.h"

#include <assert.h>
#include <stdlib.h>

#include "math/crc32.h"
#include "math/erasure.h"
#include "format/legacy.h"
#include "format/part_layout.h"
#include "format/part_names.h"
#include "format/paths.h"
#include "platform/text.h"

// ---- The census ---------------------------------------------------------------

struct Listing {
    const PartSet *set;
    const char *stem;
    Census *census;
    int64_t capacity, extra_capacity, recovery_capacity;
    bool out_of_memory;
};

static bool AddListedPart(void *context, const FolderEntry *entry)
{
    Listing *listing = (Listing *)context;
    Census *census = listing->census;
    int64_t last_part = listing->set->trailer.last_part;
    // Any number a split could write: beyond the set's last are extras.
    int64_t index = SliceIndexOf(entry->name, listing->stem, 1000000000000LL);
    if (index == 0)
        index = -RecoveryNumberOf(entry->name, listing->stem, 1000000000000LL);
    if (index == 0)
        return true;
    bool extra = index > last_part || index < -listing->set->extension.recovery_count;
    bool recovery = !extra && index < 0;
    SliceEntry **entries = extra ? &census->extra : recovery ? &census->recovery : &census->slices;
    int64_t *count = extra ? &census->extra_count : recovery ? &census->recovery_found : &census->count;
    if (!GrowEntries(entries, *count,
                     extra ? &listing->extra_capacity : recovery ? &listing->recovery_capacity : &listing->capacity,
                     256)) {
        listing->out_of_memory = true;
        return false;
    }
    (*entries)[(*count)++] = SliceEntry{index, entry->is_file ? entry->length : -1};
    return true;
}

// Slices first to last, then recovery parts first to last.
static int ByIndex(const void *a, const void *b)
{
    int64_t x = ((const SliceEntry *)a)->index, y = ((const SliceEntry *)b)->index;
    if ((x < 0) != (y < 0))
        return x < 0 ? 1 : -1;
    if (x < 0)
        x = -x, y = -y;
    return x < y ? -1 : x > y;
}

static void FreeCensus(Census *census)
{
    free(census->slices);
    free(census->extra);
    free(census->recovery);
    *census = Census();
}

static void CountSliceFault(Census *census, int64_t index, int64_t count = 1)
{
    if (census->first_fault == 0 || index < census->first_fault)
        census->first_fault = index;
    census->at_fault += count;
}

// Reads the folder once for the slices of this stem, and judges each by
// its length: the one the record says, or for a set without one, that
// the rules every split keeps allow.  It costs what the folder holds, not
// what the trailer claims.
static bool TakeCensus(PartSet *set, const char *stem, Census *census)
{
    Listing listing = {set, stem, census, 0, 0, 0, false};
    char prefix[kPathSize] = "";
    FreeCensus(census);
    if (!CopyText(prefix, kPathSize, stem) || !AppendText(prefix, kPathSize, "_"))
        return true;  // a name too long for any part: none found
    if (!ListFolder(&set->folder, prefix, AddListedPart, &listing, &set->error))
        return false;
    if (listing.out_of_memory)
        return SetError(&set->error, kErrorNoSpace, "count the parts in", set->folder.path);
    // None found leaves no array at all, which qsort must not see.
    const struct { SliceEntry *entries; int64_t count; } lists[] = {
        {census->slices, census->count}, {census->extra, census->extra_count},
        {census->recovery, census->recovery_found}};
    for (const auto &list : lists)
        if (list.count > 1)
            qsort(list.entries, (size_t)list.count, sizeof(SliceEntry), ByIndex);
    for (int64_t k = 0; k < census->recovery_found; k++) {
        SliceEntry &part = census->recovery[k];
        part.expected = ExpectedPartLength(set, part.index);
        part.fault = part.length < 0 ? kPartMissing
                     : part.length != part.expected ? kPartWrongLength : kPartSound;
        census->recovery_usable += part.fault == kPartSound;
    }
    LegacySliceRule rule = {OriginalSize(&set->trailer) - set->head_data, 0};
    int64_t next = 1;  // the index the next slice should have
    for (int64_t k = 0; k < census->count; k++) {
        SliceEntry &slice = census->slices[k];
        if (slice.index > next) {
            CountSliceFault(census, next, slice.index - next);
            LegacySliceMissing(&rule, slice.index - next);
        }
        next = slice.index + 1;
        slice.expected = ExpectedPartLength(set, slice.index);
        if (slice.length < 0) {
            slice.fault = kPartMissing;
        } else {
            census->found++;
            bool sound = slice.expected >= 0 ? slice.length == slice.expected
                                             : LegacySliceSound(&rule, slice.length);
            slice.fault = sound ? kPartSound : kPartWrongLength;
        }
        if (slice.fault != kPartSound)
            CountSliceFault(census, slice.index);
    }
    if (next <= set->trailer.last_part)
        CountSliceFault(census, next, set->trailer.last_part - next + 1);
    return true;
}

// ---- The head part ------------------------------------------------------------

// The name of the file given, when it is named as a slice is
// ("report_01.QCB"): what the head part of its set is called.
static bool SliceHeadName(const char *given, char head[kPathSize])
{
    char stem[kPathSize];
    int kind;
    return ParsePartName(FileNameOf(given), stem, &kind) && kind == 1 && FormatPartName(head, stem, 0);
}

// A file given as a head part that is none: is it a slice of a set?
static void LookForSliceOf(PartSet *set, SetState otherwise)
{
    set->state = otherwise;
    if (!set->have_folder || !SliceHeadName(set->given, set->slice_of))
        return;
    set->state = kSetIsASlice;
    FileKind kind = FileKindOf(&set->folder, set->slice_of);
    set->slice_head_here = kind == kPlainFile || kind == kReadOnlyFile || kind == kLinkThere;
}

// Takes the recovery part open in probe as the set's description, in
// place of the head part.
static void TakeDescription(PartSet *set, HeadPart *probe, const RecoveryHeader *header)
{
    FileClose(&set->file, 0);
    static_cast<HeadPart &>(*set) = *probe;
    set->described = true;
    set->recovery_length = RecoveryPartLength(header);
}

// Where the identity entry of an extension starts in its bytes, or -1.
static int64_t IdentityAt(const unsigned char *extension, int64_t length)
{
    for (int64_t at = 0; at + 4 <= length - kExtensionFooterSize;) {
        int type = extension[at] | extension[at + 1] << 8, size = extension[at + 2] | extension[at + 3] << 8;
        if (type == kExtensionIdentity)
            return at + 4;
        at += 4 + size;
    }
    return -1;
}

// What is left of a damaged head part against the description a recovery
// part gives: 1 where it records the same split, -1 where it is as long as
// the set's head part and records another, 0 where it cannot tell (no
// identity recorded, the head part lost or cut short).
static int HeadAgrees(PartSet *set, const char *head_name)
{
    int64_t description = HeadEndLength(set);
    int64_t length = set->trailer.extension_length;
    unsigned char extension[kMaxExtensionSize], identity[kSetIdentitySize];
    int64_t at = set->extension.has_identity && length <= kMaxExtensionSize &&
                         FileReadAt(&set->file, set->table_at - length, extension, length, 0)
                     ? IdentityAt(extension, length)
                     : -1;
    File head;
    FileInfo info;
    if (at < 0 || !FileOpenRead(&set->folder, head_name, &head, 0, &info))
        return 0;
    int agrees = 0;
    if (info.length >= description &&
        FileReadAt(&head, info.length - description + at, identity, kSetIdentitySize, 0)) {
        bool same = true;
        for (int i = 0; i < kSetIdentitySize; i++)
            same = same && identity[i] == set->extension.identity[i];
        bool whole = info.length == set->trailer.image_size + set->head_data + description;
        agrees = same ? 1 : whole ? -1 : 0;
    }
    FileClose(&head, 0);
    return agrees;
}

// A head part too damaged to describe its set: the recovery parts of its
// stem describe it, where every sound one describes the same set, made by
// the same split, and what is left of the head part does not say
// otherwise.  False where none is sound; kSetSplitsDisagree where they,
// or the head part, disagree.
static bool DescribeFromRecovery(PartSet *set, const char *stem, const char *head_name)
{
    char name[kPathSize], first[kPathSize] = "";
    for (int k = 1; k <= kMaxRecoveryParts; k++) {
        FormatPartName(name, stem, -k);
        FileKind kind = FileKindOf(&set->folder, name);
        HeadPart probe;
        RecoveryHeader header;
        if ((kind != kPlainFile && kind != kReadOnlyFile) ||
            !FileOpenRead(&set->folder, name, &probe.file, 0, &probe.info))
            continue;
        bool sound = ReadRecoveryPart(&probe, &header, 0) == kHeadSound && NamedAlike(probe.stem, stem);
        if (sound && !first[0]) {
            TakeDescription(set, &probe, &header);
            CopyText(first, kPathSize, name);
            continue;
        }
        bool same = !sound || (SameSet(&probe.trailer, &set->trailer) && SameIdentity(&probe.extension, &set->extension) &&
                               probe.extension.recovery_count == set->extension.recovery_count);
        FileClose(&probe.file, 0);
        if (!same) {
            CopyText(set->disagree[0], kPathSize, first);
            CopyText(set->disagree[1], kPathSize, name);
            set->state = kSetSplitsDisagree;
            return true;
        }
    }
    if (!first[0])
        return false;
    int agrees = HeadAgrees(set, head_name);
    set->description_confirmed = agrees > 0;
    if (agrees < 0) {
        CopyText(set->disagree[0], kPathSize, head_name);
        CopyText(set->disagree[1], kPathSize, first);
        set->state = kSetSplitsDisagree;
    }
    return true;
}

// The path of the head part of stem beside the file given, where it is
// there and sound.
static bool SoundHeadPartOf(const PartSet *set, const char *stem, char path[kPathSize])
{
    char name[kPathSize];
    HeadPart probe;
    if (!FormatPartName(name, stem, 0) || !CopyText(path, kPathSize, set->given))
        return false;
    path[FileNameOf(path) - path] = 0;
    if (!AppendText(path, kPathSize, name) || !FileOpenRead(&set->folder, name, &probe.file, 0, &probe.info))
        return false;
    bool sound = ReadHeadPart(&probe, 0) == kHeadSound && NamedAlike(probe.stem, stem);
    FileClose(&probe.file, 0);
    return sound;
}

static void ResetPartSet(PartSet *set, const char *head_path)
{
    *set = PartSet();
    ClearError(&set->error);
    CopyText(set->given, kPathSize, head_path);
    set->file.handle = kNoHandle;
    set->dos_paths = kDosPaths;
    CopyText(set->head_name, kPathSize, FileNameOf(head_path));
}

// The set's census, under today's names or, where none is found by them,
// under the name earlier builds gave the parts of ".profile" ("_01.QCB").
static bool CountParts(PartSet *set)
{
    if (!set->have_folder || !TakeCensus(set, set->stem, &set->census))
        return false;
    char legacy[kPathSize];
    LegacyStemOf(set->trailer.original_path, legacy, set->dos_paths);
    if (set->census.count == 0 && !TextEqual(legacy, set->stem)) {
        Census other;
        PartSet probe = *set;
        probe.census = other;
        if (TakeCensus(&probe, legacy, &other) && other.count > 0) {
            FreeCensus(&set->census);
            set->census = other;
            CopyText(set->stem, kPathSize, legacy);
        } else {
            FreeCensus(&other);
        }
    }
    return true;
}

// The length every recovery part of a set read from its head part has.
static void NoteRecoveryLength(PartSet *set)
{
    if (set->described || set->extension.recovery_count == 0)
        return;
    int64_t description = HeadEndLength(set);
    int64_t stretch = set->extension.stretch_length, length = set->trailer.slice_length;
    set->recovery_length =
        stretch ? RecoveryLength(length, description,
                                 StretchTableLength((int64_t)set->trailer.last_part + 1,
                                                    set->extension.recovery_count, length, stretch))
                : kRecoveryFixedSize + description + kRecoveryCheckSize + length;
}

void OpenPartSet(const char *head_path, PartSet *set)
{
    ResetPartSet(set, head_path);
    if (!FileOpenRead(0, head_path, &set->file, &set->error, &set->info))
        return;
    // The set is looked for, and the file rebuilt, beside the head part,
    // wherever the program was started from.
    FileError folder_error;
    ClearError(&folder_error);
    set->have_folder = FolderOfFile(head_path, &set->folder, &folder_error);
    static const SetState kStates[] = {kSetReady, kSetNotAHeadPart, kSetEmpty, kSetHeadDamaged,
                                       kSetHeadUnreadable};
    char stem[kPathSize];
    int kind;
    bool named = ParsePartName(set->head_name, stem, &kind);
    SetState state;
    if (named && kind == -1) {
        // A recovery part given: where the head part of its set is sound
        // beside it, the set opens from that, as though it had been given;
        // else the recovery parts there describe the set, whichever of them
        // is sound.
        char head[kPathSize];
        if (set->have_folder && SoundHeadPartOf(set, stem, head)) {
            ClosePartSet(set);
            OpenPartSet(head, set);
            return;
        }
        // Judged as the others are, below; this one's state is what is
        // said where none is sound.
        RecoveryHeader header;
        state = kStates[ReadRecoveryPart(set, &header, &set->error)];
        if (state == kSetReady)
            state = kSetHeadDamaged;
        FormatPartName(set->head_name, stem, 0);
    } else {
        state = kStates[ReadHeadPart(set, &set->error)];
    }
    // A head part damaged beyond its stretch, or given up for lost: its
    // recovery parts may still describe the set.
    if (state != kSetReady && state != kSetHeadUnreadable && named && kind <= 0 && set->have_folder) {
        ClearError(&set->error);
        if (DescribeFromRecovery(set, stem, set->head_name)) {
            FileKind head = FileKindOf(&set->folder, set->head_name);
            set->head_fault = head == kPlainFile || head == kReadOnlyFile ? kPartSound : kPartMissing;
            if (set->state == kSetSplitsDisagree)
                return;
            state = kSetReady;
        }
    }
    if (state != kSetHeadUnreadable && !set->have_folder)
        set->error = folder_error;
    if (state != kSetReady) {
        if (state == kSetHeadUnreadable)
            set->state = state;
        else
            LookForSliceOf(set, state);
        return;
    }
    NoteRecoveryLength(set);
    set->state = CountParts(set) ? kSetReady : kSetFolderUnreadable;
}

void ClosePartSet(PartSet *set)
{
    FreeCensus(&set->census);
    FileClose(&set->file, 0);
    if (set->have_folder)
        FolderClose(&set->folder);
    set->have_folder = false;
}

void PartNameOf(const PartSet *set, int64_t index, char name[kPathSize])
{
    if (index == 0)
        CopyText(name, kPathSize, set->head_name);
    else if (!FormatPartName(name, set->stem, index))
        CopyText(name, kPathSize, "?");
}

int64_t ExpectedPartLength(const PartSet *set, int64_t index)
{
    if (index == 0)
        return set->head_data;
    if (index < 0)
        return set->recovery_length;
    if (!set->trailer.has_record)
        return -1;
    PartLayout layout = {set->head_data, set->trailer.slice_length, set->trailer.last_part};
    return SliceDataLength(&layout, set->trailer.size, index);
}

void AddFaultNote(FaultNote notes[kFaultsNamed], int64_t *count, int64_t index, PartFault fault)
{
    if (*count < kFaultsNamed)
        notes[*count] = FaultNote{index, fault};
    ++*count;
}

int64_t KnownFaults(const PartSet *set, FaultNote notes[kFaultsNamed])
{
    const Census &census = set->census;
    int64_t named = 0;
    if (set->described && set->head_fault != kPartSound)
        AddFaultNote(notes, &named, 0, set->head_fault);
    int64_t k = 0;
    for (int64_t index = 1; index <= set->trailer.last_part && named < kFaultsNamed; index++) {
        const SliceEntry *slice = k < census.count && census.slices[k].index == index ? &census.slices[k++] : 0;
        if (!slice || slice->fault != kPartSound)
            AddFaultNote(notes, &named, index, slice ? slice->fault : kPartMissing);
    }
    return census.at_fault + (set->described && set->head_fault != kPartSound);
}

int64_t HeadEndLength(const PartSet *set)
{
    return set->trailer.extension_length + PartTableSize(&set->trailer) + kTrailerSize;
}

int64_t FaultsNeedingRecovery(const PartSet *set)
{
    FaultNote notes[kFaultsNamed];
    int64_t known = KnownFaults(set, notes);
    for (int64_t k = 0; set->extension.stretch_length > 0 && k < set->census.count; k++)
        known -= set->census.slices[k].fault == kPartWrongLength;
    return known;
}

int64_t PartOffset(const PartSet *set, int64_t index)
{
    return index == 0 ? 0 : set->head_data + (index - 1) * (int64_t)set->trailer.slice_length;
}

bool IsRecoveryPartOf(const PartSet *set, File *file, const FileInfo *info, int64_t index,
                      RecoveryHeader *header)
{
    HeadPart probe;
    probe.file = *file;
    probe.info = *info;
    return ReadRecoveryPart(&probe, header, 0) == kHeadSound && header->number == -index &&
           header->head_data == set->head_data && SameSet(&probe.trailer, &set->trailer) &&
           probe.extension.recovery_count == set->extension.recovery_count &&
           SameIdentity(&probe.extension, &set->extension);
}

// ---- The part table -------------------------------------------------------------

bool OpenRecoveryPartOf(const PartSet *set, int64_t index, File *file, FileInfo *info, RecoveryHeader *header)
{
    char name[kPathSize];
    PartNameOf(set, index, name);
    if (!FileOpenRead(&set->folder, name, file, 0, info))
        return false;
    if (IsRecoveryPartOf(set, file, info, index, header))
        return true;
    FileClose(file, 0);
    return false;
}

bool ProgramMatches(File *file, const PartSetTrailer *trailer)
{
    uint32_t crc = 0;
    return ChecksumAt(file, 0, trailer->image_size, &crc, 0, 0) == kCopied && crc == trailer->image_crc;
}

PartFault JudgePartCrc(PartTable *table, int64_t index, uint32_t crc, int64_t length,
                       int64_t *holds, FileError *error)
{
    *holds = -1;
    uint32_t recorded;
    if (!RecordedPartCrc(table, index, &recorded, error))
        return HasFailed(error) ? kPartUnreadable : kPartSound;
    if (crc == recorded)
        return kPartSound;
    if (index == 0 || crc == Crc32OfZeros(length))
        return kPartDamaged;
    uint32_t entry;
    for (int64_t i = 1; RecordedPartCrc(table, i, &entry, error); i++)
        if (entry == crc && i != index) {
            *holds = i;
            return kPartHoldsAnother;
        }
    return HasFailed(error) ? kPartUnreadable : kPartDamaged;
}
