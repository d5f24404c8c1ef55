#include "format/part_layout.h"

static int64_t RoundUpToBlock(int64_t n)
{
    return (n + kBlockSize - 1) / kBlockSize * kBlockSize;
}

PartLayout PlanParts(int64_t image_size, int64_t slice_bytes, int64_t input_size)
{
    PartLayout layout;
    // The head part is filled block by block until it holds a slice's worth,
    // the program image included.
    layout.head_data = 0;
    if (image_size < slice_bytes) {
        layout.head_data = RoundUpToBlock(slice_bytes - image_size);
        if (layout.head_data > input_size)
            layout.head_data = input_size;
    }
    layout.slice_length = RoundUpToBlock(slice_bytes);
    layout.last_part = SliceCount(input_size - layout.head_data, layout.slice_length);
    return layout;
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
