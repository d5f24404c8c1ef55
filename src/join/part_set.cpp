#include "join/part_set.h"

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

// Whether slice `index` can be opened, its length (-1 when unknown) and
// whether it is the file `output`.
static bool MeasureSlice(const PartSet *set, const char *dir, int index, const FileId *output,
                         int64_t *length, bool *is_output)
{
    char name[kPathSize];
    char path[kPathSize] = "";
    bool fits = FormatPartName(name, set->base, index);
    if (dir) {
        // A drive's root already ends in a separator; a second one is harmless.
        char separator[2] = {kDirSeparator, 0};
        fits = fits && AppendText(path, kPathSize, dir) && AppendText(path, kPathSize, separator);
    }
    fits = fits && AppendText(path, kPathSize, name);
    FileHandle file = fits ? FileOpenRead(path) : kNoFile;
    if (file == kNoFile)
        return false;
    *length = FileLength(file);
    FileId id;
    *is_output = output && FileIdOf(file, &id) && SameFile(id, *output);
    FileClose(file);
    return true;
}

Census TakeCensus(const PartSet *set, const char *dir, const FileId *output)
{
    Census census = {0, kSlicesSound, 0};
    int64_t left = SetSize(&set->trailer) - set->head_data;
    // A record says what every full slice holds; older sets are judged by
    // the first slice that does not hold the rest.
    int64_t slice_length = set->trailer.has_record ? set->trailer.slice_length : 0;
    for (int i = 1; i <= set->trailer.last_part; i++) {
        int64_t length = -1;
        bool is_output = false;
        bool opened = MeasureSlice(set, dir, i, output, &length, &is_output);
        census.found += opened;
        bool sound = length >= 0 && length <= left;
        if (sound && length < left) {
            if (slice_length == 0)
                slice_length = length;
            sound = length == slice_length && length > 0 && length % kBlockSize == 0;
        } else if (sound && slice_length != 0) {
            sound = length <= slice_length;
        }
        if ((!sound || is_output) && census.fault == kSlicesSound) {
            census.fault = is_output ? kSliceIsOutput : opened ? kSliceDamaged : kSliceMissing;
            census.fault_index = i;
        }
        if (sound)
            left -= length;
    }
    return census;
}
