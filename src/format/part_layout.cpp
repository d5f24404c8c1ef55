#include "format/part_layout.h"

#include <assert.h>

PartLayout PlanParts(int64_t image_size, int64_t head_bytes, int64_t slice_bytes,
                     int64_t input_size, int64_t entry_bytes, int64_t fixed_bytes)
{
    assert(slice_bytes > 0 && image_size >= 0 && input_size >= 0 && entry_bytes >= 0);
    PartLayout layout;
    layout.slice_length = slice_bytes;
    // The table grows with the parts, and the head part's stretch shrinks
    // with the table: count again until the count holds.  The count only
    // grows, and each step moves at most a slice or so of data out of the
    // head part, so a few steps do.
    layout.last_part = 1;
    for (int steps = 0;; steps++) {
        assert(steps < 64);
        int64_t room = head_bytes - image_size - fixed_bytes - (layout.last_part + 1) * entry_bytes;
        if (room < 0) {
            layout.head_data = -1;
            return layout;
        }
        layout.head_data = room < input_size ? room : input_size;
        int64_t count = SliceCount(input_size - layout.head_data, slice_bytes);
        if (count <= layout.last_part)
            return layout;
        layout.last_part = count;
    }
}

int64_t SliceCount(int64_t rest, int64_t slice_length)
{
    // Rounded up without adding, which would overflow near the largest size.
    int64_t count = rest > 0 ? rest / slice_length + (rest % slice_length != 0) : 0;
    return count < 1 ? 1 : count;
}

int64_t SliceDataLength(const PartLayout *layout, int64_t input_size, int64_t index)
{
    int64_t before = layout->head_data + (index - 1) * layout->slice_length;
    int64_t left = input_size - before;
    if (left <= 0)
        return 0;
    return left < layout->slice_length ? left : layout->slice_length;
}
