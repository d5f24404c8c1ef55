#include "join/part_set.h"

#include <stdlib.h>

#include "format/part_layout.h"
#include "format/part_names.h"
#include "platform/text.h"

bool ReadPartSet(FileHandle head, PartSet *set)
{
    if (!ReadTrailer(head, &set->trailer, &set->head_length))
        return false;
    set->verdict = JudgeTrailer(&set->trailer, set->head_length);
    set->head_data = set->head_length - set->trailer.image_size - kTrailerSize;
    set->base[0] = 0;
    if (set->verdict.name_readable)
        BaseNameOf(set->trailer.original_path, set->base);
    return true;
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

static void Blame(Census *census, SliceFault fault, int64_t index)
{
    if (census->fault == kSlicesSound) {
        census->fault = fault;
        census->fault_index = index;
    }
}

Census TakeCensus(const PartSet *set, const Folder *folder)
{
    Census census = {false, 0, kSlicesSound, 0, 0, 0};
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
        bool sound = length >= 0 && length <= left;
        if (sound && length < left) {
            if (slice_length == 0)
                slice_length = length;
            sound = length == slice_length && length > 0 && length % kBlockSize == 0;
        } else if (sound && slice_length != 0) {
            sound = length <= slice_length;
        }
        if (sound)
            left -= length;
        else
            Blame(&census, kSliceDamaged, slice.index);
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
