#include "join/part_set.h"

#include <stdlib.h>

#include "format/crc32.h"
#include "format/part_layout.h"
#include "format/part_names.h"
#include "platform/text.h"

// Whether the part table's bytes match the CRC-32 the record gives them.
static bool TableChecks(FileHandle head, const PartSet *set)
{
    unsigned char buffer[4096];
    uint32_t crc = 0;
    int64_t left = PartTableSize(&set->trailer);
    if (!FileSeek(head, set->table_at))
        return false;
    while (left > 0) {
        int want = left < (int64_t)sizeof buffer ? (int)left : (int)sizeof buffer;
        int got = FileRead(head, buffer, want);
        if (got <= 0)
            return false;
        crc = Crc32Update(crc, buffer, (size_t)got);
        left -= got;
    }
    return crc == set->trailer.table_crc;
}

bool ReadPartSet(FileHandle head, PartSet *set)
{
    // A head part that is a Windows program recorded a Windows path, which
    // a join on Linux reads as Windows would.
    unsigned char magic[2] = {0, 0};
    set->dos_paths = kDosPaths || (FileSeek(head, 0) && FileRead(head, magic, 2) == 2 &&
                                   magic[0] == 'M' && magic[1] == 'Z');
    if (!ReadTrailer(head, &set->trailer, &set->head_length))
        return false;
    set->verdict = JudgeTrailer(&set->trailer, set->head_length);
    set->table_at = set->head_length - kTrailerSize - PartTableSize(&set->trailer);
    set->head_data = set->table_at - set->trailer.image_size;
    set->base[0] = 0;
    if (set->verdict.name_readable)
        BaseNameOf(set->trailer.original_path, set->base, set->dos_paths);
    if (set->verdict.state == kTrailerSound && set->trailer.record_version == 2 &&
        !TableChecks(head, set))
        set->verdict.state = kTrailerDamaged;
    return true;
}

int64_t ExpectedSliceLength(const PartSet *set, int64_t index)
{
    if (!set->trailer.has_record)
        return -1;
    PartLayout layout = {set->head_data, set->trailer.slice_length, set->trailer.last_part};
    return SliceDataLength(&layout, set->trailer.size, index);
}

void OpenPartTable(PartTable *table, FileHandle head, const PartSet *set)
{
    table->head = head;
    table->set = set;
    table->first = 0;
    table->count = 0;
}

bool RecordedPartCrc(PartTable *table, int64_t index, uint32_t *crc)
{
    int64_t entries = PartTableSize(&table->set->trailer) / kTableEntrySize;
    if (index < 0 || index >= entries)
        return false;
    if (index < table->first || index >= table->first + table->count) {
        int64_t count = entries - index < 1024 ? entries - index : 1024;
        unsigned char bytes[4 * 1024];
        int got = 0;
        if (FileSeek(table->head, table->set->table_at + index * kTableEntrySize))
            while (got < count * 4) {
                int n = FileRead(table->head, bytes + got, (int)count * 4 - got);
                if (n <= 0)
                    return false;
                got += n;
            }
        if (got < count * 4)
            return false;
        for (int i = 0; i < count; i++)
            table->window[i] = ReadUint32(bytes + 4 * i);
        table->first = index;
        table->count = (int)count;
    }
    *crc = table->window[index - table->first];
    return true;
}

int64_t PartWithCrc(PartTable *table, uint32_t crc, int64_t except)
{
    uint32_t entry;
    for (int64_t i = 0; RecordedPartCrc(table, i, &entry); i++)
        if (entry == crc && i != except)
            return i;
    return -1;
}

struct Listing {
    const PartSet *set;
    Census *census;
    int64_t capacity;
    bool out_of_memory;
};

// The index of a slice file's name, or 0 when the name is not that of one
// of the set's slices exactly as the split writes it.
static int64_t SliceIndexOf(const PartSet *set, const char *name)
{
    const char *digits = name + TextLength(set->base) + 1;  // past "<base>_"
    int64_t index = 0;
    for (const char *p = digits; *p >= '0' && *p <= '9' && index <= set->trailer.last_part; p++)
        index = index * 10 + (*p - '0');
    if (index < 1 || index > set->trailer.last_part)
        return 0;
    char expected[kPathSize];
    FormatPartName(expected, set->base, index);
    bool same = kNamesIgnoreCase ? TextEqualNoCase(name, expected) : TextEqual(name, expected);
    return same ? index : 0;
}

static bool Note(void *context, const FolderEntry *entry)
{
    Listing *listing = (Listing *)context;
    Census *census = listing->census;
    int64_t index = SliceIndexOf(listing->set, entry->name);
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
    census->slices[census->count++] = {index, entry->length, entry->is_file, {0, 0}};
    return true;
}

static int ByIndex(const void *a, const void *b)
{
    int64_t x = ((const SliceEntry *)a)->index, y = ((const SliceEntry *)b)->index;
    return x < y ? -1 : x > y;
}

static void Blame(Census *census, SliceFault fault, int64_t index, int64_t length = -1,
                  int64_t expected = -1)
{
    if (census->fault == kSlicesSound) {
        census->fault = fault;
        census->fault_index = index;
        census->fault_length = length;
        census->fault_expected = expected;
    }
}

Census TakeCensus(const PartSet *set, const Folder *folder)
{
    Census census = {false, 0, kSlicesSound, 0, -1, -1, 0, 0};
    char prefix[kPathSize] = "";
    Listing listing = {set, &census, 0, false};
    census.listed = CopyText(prefix, kPathSize, set->base) && AppendText(prefix, kPathSize, "_") &&
                    ListFolder(folder, prefix, Note, &listing) && !listing.out_of_memory;
    if (!census.listed) {
        Blame(&census, kSliceMissing, 1);
        return census;
    }
    if (census.count > 1)  // none found leaves no array at all, which qsort must not see
        qsort(census.slices, (size_t)census.count, sizeof(SliceEntry), ByIndex);

    int64_t left = OriginalSize(&set->trailer) - set->head_data;
    // A record says what every full slice holds; older sets are judged by
    // the first slice that does not hold the rest.
    int64_t slice_length = set->trailer.has_record ? set->trailer.slice_length : 0;
    int64_t next = 1;  // the index the next slice should have
    for (int64_t k = 0; k < census.count; k++) {
        const SliceEntry &slice = census.slices[k];
        if (slice.index > next)
            Blame(&census, kSliceMissing, next);
        next = slice.index + 1;
        if (!slice.is_file) {
            Blame(&census, kSliceMissing, slice.index);
            continue;
        }
        census.found++;
        int64_t length = slice.length;
        int64_t expected = ExpectedSliceLength(set, slice.index);
        bool sound = length >= 0 && length <= left;
        if (expected >= 0) {
            sound = length == expected;
        } else if (sound && length < left) {
            if (slice_length == 0)
                slice_length = length;
            sound = length == slice_length && length > 0 && length % kBlockSize == 0;
        } else if (sound && slice_length != 0) {
            sound = length <= slice_length;
        }
        if (sound)
            left -= length;
        else
            Blame(&census, kSliceDamaged, slice.index, length, expected);
    }
    if (next <= set->trailer.last_part)
        Blame(&census, kSliceMissing, next);
    return census;
}

void FreeCensus(Census *census)
{
    free(census->slices);
    census->slices = 0;
    census->count = 0;
}
