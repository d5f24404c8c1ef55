#include "format/legacy.h"

#include "format/part_names.h"
#include "format/part_layout.h"
#include "format/trailer.h"

void LegacyStemOf(const char *path, char stem[kPathSize], bool dos)
{
    StemOf(path, stem, dos, true);
}

bool IsLegacyPathText(const unsigned char *path_field)
{
    return path_field[kRecordAt - 1] != 0;
}

int64_t LegacyMaxLastPart(int64_t original_size)
{
    const int64_t allowance = 36864;
    const int64_t slice = kMinSliceBytes / kBlockSize * kBlockSize;
    // Summed so that no size a trailer can hold overflows.
    int64_t generous = original_size / slice + (original_size % slice + allowance) / slice;
    return generous > 1 ? generous : 1;
}

bool LegacyRecordSliceFits(uint32_t slice_length)
{
    return slice_length % kBlockSize == 0 && slice_length <= kOldMaxSliceBytes;
}

bool LegacySliceSound(LegacySliceRule *rule, int64_t length)
{
    bool sound = length >= 0 && length <= rule->left;
    if (sound && length < rule->left) {
        // Not the last that holds data: a full slice.
        if (rule->slice_length == 0)
            rule->slice_length = length;
        sound = length == rule->slice_length && length > 0 && length % kBlockSize == 0;
    } else if (sound && rule->slice_length != 0) {
        sound = length <= rule->slice_length;
    }
    // A slice at fault is taken to stand for a full one, so that those
    // after it are judged as they would be beside a sound one.
    int64_t counted = sound ? length : rule->slice_length < rule->left ? rule->slice_length : rule->left;
    rule->left -= counted;
    return sound;
}

void LegacySliceMissing(LegacySliceRule *rule, int64_t count)
{
    if (rule->slice_length > 0)
        rule->left -= count <= rule->left / rule->slice_length ? count * rule->slice_length : rule->left;
}
