#include "join/part_set.h"

#include <assert.h>
#include <stdlib.h>

#include "format/crc32.h"
#include "format/legacy.h"
#include "format/part_layout.h"
#include "format/part_names.h"
#include "format/paths.h"
#include "platform/text.h"

void InitPartState(PartState *part, int64_t index)
{
    part->index = part->through = index;
    part->fault = kPartSound;
    part->length = part->expected = part->holds = -1;
    part->program = false;
    ClearError(&part->error);
}

// ---- The census ---------------------------------------------------------------

struct Listing {
    const PartSet *set;
    const char *stem;
    Census *census;
    int64_t capacity;
    bool out_of_memory;
};

static bool Note(void *context, const FolderEntry *entry)
{
    Listing *listing = (Listing *)context;
    Census *census = listing->census;
    int64_t index = SliceIndexOf(entry->name, listing->stem, listing->set->trailer.last_part);
    if (index == 0)
        return true;
    if (census->count == listing->capacity) {
        int64_t capacity = listing->capacity ? 2 * listing->capacity : 256;
        void *grown = realloc(census->slices, (size_t)capacity * sizeof(SliceEntry));
        if (!grown) {
            listing->out_of_memory = true;
            return false;
        }
        census->slices = (SliceEntry *)grown;
        listing->capacity = capacity;
    }
    SliceEntry &slice = census->slices[census->count++];
    slice.index = index;
    slice.length = entry->is_file ? entry->length : -1;
    slice.fault = kPartSound;
    slice.expected = -1;
    slice.read.volume = slice.read.index = 0;
    return true;
}

static int ByIndex(const void *a, const void *b)
{
    int64_t x = ((const SliceEntry *)a)->index, y = ((const SliceEntry *)b)->index;
    return x < y ? -1 : x > y;
}

static void FreeCensus(Census *census)
{
    free(census->slices);
    census->slices = 0;
    census->count = census->found = census->at_fault = census->first_fault = 0;
}

static void Blame(Census *census, int64_t index, int64_t count = 1)
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
    Listing listing = {set, stem, census, 0, false};
    char prefix[kPathSize] = "";
    FreeCensus(census);
    if (!CopyText(prefix, kPathSize, stem) || !AppendText(prefix, kPathSize, "_"))
        return true;  // a name too long for any part: none found
    if (!ListFolder(&set->folder, prefix, Note, &listing, &set->error))
        return false;
    if (listing.out_of_memory)
        return SetError(&set->error, kErrorNoSpace, "count the parts in", set->folder.path);
    if (census->count > 1)  // none found leaves no array at all, which qsort must not see
        qsort(census->slices, (size_t)census->count, sizeof(SliceEntry), ByIndex);
    LegacySliceRule rule = {OriginalSize(&set->trailer) - set->head_data, 0};
    int64_t next = 1;  // the index the next slice should have
    for (int64_t k = 0; k < census->count; k++) {
        SliceEntry &slice = census->slices[k];
        if (slice.index > next) {
            Blame(census, next, slice.index - next);
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
            Blame(census, slice.index);
    }
    if (next <= set->trailer.last_part)
        Blame(census, next, set->trailer.last_part - next + 1);
    return true;
}

// ---- The head part ------------------------------------------------------------

// Whether the part table's bytes match the CRC-32 the record gives them.
static bool TableChecks(PartSet *set)
{
    unsigned char buffer[4096];
    uint32_t crc = 0;
    int64_t left = PartTableSize(&set->trailer);
    if (!FileSeek(&set->head, set->table_at, &set->error))
        return false;
    while (left > 0) {
        int want = left < (int64_t)sizeof buffer ? (int)left : (int)sizeof buffer;
        int got = FileRead(&set->head, buffer, want, &set->error);
        if (got <= 0)
            return false;
        crc = Crc32Update(crc, buffer, (size_t)got);
        left -= got;
    }
    return crc == set->trailer.table_crc;
}

// The name of the file given, when it is named as a slice is
// ("report_01.QCB"): what the head part of its set is called.
static bool SliceHeadName(const char *given, char head[kPathSize])
{
    const char *name = FileNameOf(given);
    int n = TextLength(name);
    const char *ext = name + n - 4;
    if (n < 8 || !(kNamesIgnoreCase ? TextEqualNoCase(ext, ".QCB") : TextEqual(ext, ".QCB")))
        return false;
    const char *digits = ext;
    while (digits > name && digits[-1] >= '0' && digits[-1] <= '9')
        digits--;
    if (ext - digits < 2 || digits == name || digits[-1] != '_')
        return false;
    int stem_length = (int)(digits - 1 - name);
    char stem[kPathSize];
    for (int i = 0; i < stem_length; i++)
        stem[i] = name[i];
    stem[stem_length] = 0;
    return FormatPartName(head, stem, 0) && !TextEqual(head, name);
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

// Reads the head part's trailer and judges it; the state where it is not
// a sound head part.
static SetState ReadHead(PartSet *set)
{
    if (set->head_info.length < kTrailerSize)
        return kSetNotAHeadPart;
    // A head part that is a Windows program recorded a Windows path, which
    // a join on Linux reads as Windows would.
    unsigned char magic[2] = {0, 0};
    set->dos_paths = kDosPaths || (FileSeek(&set->head, 0, 0) &&
                                   FileRead(&set->head, magic, 2, 0) == 2 && magic[0] == 'M' &&
                                   magic[1] == 'Z');
    if (!ReadTrailer(&set->head, set->head_info.length, &set->trailer, &set->error))
        return kSetHeadUnreadable;
    set->verdict = JudgeTrailer(&set->trailer, set->head_info.length);
    set->table_at = set->head_info.length - kTrailerSize - PartTableSize(&set->trailer);
    set->head_data = set->table_at - set->trailer.image_size;
    if (set->verdict.name_readable) {
        StemOf(set->trailer.original_path, set->stem, set->dos_paths);
        FormatOutputName(set->output, set->trailer.original_path, set->dos_paths);
    }
    if (set->verdict.state == kTrailerEmpty)
        return kSetEmpty;
    if (set->verdict.state == kTrailerDamaged)
        return kSetHeadDamaged;
    // No Windows name holds a control character: such a name in a Windows
    // set is damage, or a trap for the terminal it would be shown in.
    if (set->dos_paths && HasControlCharacters(set->trailer.original_path)) {
        set->verdict.state = kTrailerDamaged;
        set->verdict.name_readable = false;
        return kSetHeadDamaged;
    }
    if (set->trailer.record_version == 2 && !TableChecks(set)) {
        set->verdict.state = kTrailerDamaged;
        return HasFailed(&set->error) ? kSetHeadUnreadable : kSetHeadDamaged;
    }
    return kSetReady;
}

void OpenPartSet(const char *head_path, PartSet *set)
{
    set->state = kSetHeadUnreadable;
    ClearError(&set->error);
    CopyText(set->given, kPathSize, head_path);
    set->head.handle = kNoHandle;
    set->have_folder = false;
    set->dos_paths = kDosPaths;
    set->stem[0] = set->output[0] = set->slice_of[0] = 0;
    set->slice_head_here = false;
    set->head_data = set->table_at = 0;
    set->census.slices = 0;
    FreeCensus(&set->census);
    if (!FileOpenRead(0, head_path, &set->head, &set->error, &set->head_info))
        return;
    // The set is looked for, and the file rebuilt, beside the head part,
    // wherever the program was started from.
    set->have_folder = FolderOfFile(head_path, &set->folder, &set->error);
    SetState state = ReadHead(set);
    if (state != kSetReady) {
        if (state == kSetHeadUnreadable)
            set->state = state;
        else
            LookForSliceOf(set, state);
        return;
    }
    if (!set->have_folder || !TakeCensus(set, set->stem, &set->census)) {
        set->state = kSetFolderUnreadable;
        return;
    }
    // Earlier builds named the parts of ".profile" "_01.QCB": where none is
    // found by today's rule, the earlier one's may be there.
    char legacy[kPathSize];
    LegacyStemOf(set->trailer.original_path, legacy, set->dos_paths);
    if (set->census.count == 0 && !TextEqual(legacy, set->stem)) {
        Census other = {0, 0, 0, 0, 0};
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
    set->state = kSetReady;
}

void ClosePartSet(PartSet *set)
{
    FreeCensus(&set->census);
    FileClose(&set->head, 0);
    if (set->have_folder)
        FolderClose(&set->folder);
    set->have_folder = false;
}

void PartNameOf(const PartSet *set, int64_t index, char name[kPathSize])
{
    if (index == 0)
        CopyText(name, kPathSize, FileNameOf(set->given));
    else if (!FormatPartName(name, set->stem, index))
        CopyText(name, kPathSize, "?");
}

int64_t ExpectedPartLength(const PartSet *set, int64_t index)
{
    if (index == 0)
        return set->head_data;
    if (!set->trailer.has_record)
        return -1;
    PartLayout layout = {set->head_data, set->trailer.slice_length, set->trailer.last_part};
    return SliceDataLength(&layout, set->trailer.size, index);
}

// ---- The part table -------------------------------------------------------------

void OpenPartTable(PartTable *table, PartSet *set)
{
    table->set = set;
    table->first = 0;
    table->count = 0;
}

bool RecordedPartCrc(PartTable *table, int64_t index, uint32_t *crc, FileError *error)
{
    int64_t entries = PartTableSize(&table->set->trailer) / kTableEntrySize;
    if (index < 0 || index >= entries)
        return false;
    if (index < table->first || index >= table->first + table->count) {
        int64_t count = entries - index < 1024 ? entries - index : 1024;
        unsigned char bytes[4 * 1024];
        File *head = &table->set->head;
        if (!FileSeek(head, table->set->table_at + index * kTableEntrySize, error))
            return false;
        for (int got = 0; got < count * 4;) {
            int n = FileRead(head, bytes + got, (int)count * 4 - got, error);
            if (n == 0)
                SetError(error, kErrorEndedEarly, "read", head->name);
            if (n <= 0)
                return false;
            got += n;
        }
        for (int i = 0; i < count; i++)
            table->window[i] = ReadUint32(bytes + 4 * i);
        table->first = index;
        table->count = (int)count;
    }
    assert(index >= table->first && index < table->first + table->count);
    *crc = table->window[index - table->first];
    return true;
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
