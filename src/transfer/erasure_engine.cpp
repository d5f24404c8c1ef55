#include "transfer/erasure_engine.h"

#include <stdlib.h>
#include <string.h>

#include "math/crc32.h"
#include "math/gf16.h"
#include "platform/worker.h"

// Outputs and an input within about a megabyte, the second-level cache of
// most processors: each output window is summed into from every input
// while it sits there, and memory is swept once per stretch.
int64_t CodeWindow(int rows)
{
    int64_t window = (1 << 20) / (rows + 1);
    window = window < 4096 ? 4096 : window > (1 << 20) ? 1 << 20 : window;
    return window & ~(int64_t)4095;
}

bool StartScratch(CodeScratch *scratch, int rows, int64_t window)
{
    scratch->window = window;
    // A word more, for an odd length's last byte.
    scratch->input = (unsigned char *)malloc((size_t)window + 2);
    scratch->outputs = (unsigned char *)malloc((size_t)rows * (size_t)window + 2);
    return scratch->input && scratch->outputs;
}

void EndScratch(CodeScratch *scratch)
{
    free(scratch->input);
    free(scratch->outputs);
    scratch->input = scratch->outputs = 0;
}

void MulAddBytes(unsigned char *dst, const unsigned char *src, int64_t length, uint16_t factor,
                 int64_t at)
{
    if (length <= 0 || factor == 0)
        return;
    // Multiplying is linear over the bits: a word's product is the sum of
    // its low byte's and its high byte's, each taken with the other zero.
    if (at & 1) {
        unsigned char word[2] = {0, src[0]};
        Gf16MulAdd(dst - 1, word, 2, factor);
        dst++, src++, length--;
    }
    int64_t even = length & ~(int64_t)1;
    Gf16MulAdd(dst, src, (size_t)even, factor);
    if (length & 1) {
        unsigned char word[2] = {src[even], 0};
        Gf16MulAdd(dst + even, word, 2, factor);
    }
}

void AddToStretchCrcs(uint32_t *crcs, int64_t stretch, int64_t from, int64_t at, const unsigned char *bytes,
                      int64_t length)
{
    while (length > 0) {
        int64_t s = (at - from) / stretch, n = from + (s + 1) * stretch - at;
        n = n < length ? n : length;
        crcs[s] = Crc32Update(crcs[s], bytes, (size_t)n);
        at += n, bytes += n, length -= n;
    }
}

bool WriteToBlock(void *sink, int row, int64_t at, const unsigned char *bytes, int64_t length)
{
    BlockSink *to = (BlockSink *)sink;
    const CodeInput &block = to->blocks[row];
    int64_t n = block.length - at < length ? block.length - at : length;
    if (n <= 0)
        return true;
    AddToStretchCrcs(to->crcs + row * to->per_row, to->stretch, to->from, at, bytes, n);
    return FileWriteAt(block.file, block.at + at, bytes, n, to->error);
}

int64_t StretchesAtOnce(int64_t window, int64_t stretch)
{
    return window > stretch ? window / stretch : 1;
}

bool CodeRange(const CodeInput *inputs, int count, const uint16_t *matrix, int rows, int64_t from,
               int64_t length, CodeScratch *scratch, CodeSink sink, void *context, uint32_t *input_crcs,
               int64_t stretch, FileError *error)
{
    int64_t stretches = (length + stretch - 1) / stretch;
    for (int64_t i = 0; input_crcs && i < count * stretches; i++)
        input_crcs[i] = 0;
    for (int64_t at = from; at < from + length; at += scratch->window) {
        int64_t n = from + length - at < scratch->window ? from + length - at : scratch->window;
        int64_t stride = (n + 1) & ~(int64_t)1;
        memset(scratch->outputs, 0, (size_t)(rows * stride));
        for (int c = 0; c < count; c++) {
            int64_t m = inputs[c].length - at < n ? inputs[c].length - at : n;
            if (m <= 0)
                continue;
            if (!FileReadAt(inputs[c].file, inputs[c].at + at, scratch->input, m, error))
                return false;
            if (input_crcs)
                AddToStretchCrcs(input_crcs + c * stretches, stretch, from, at, scratch->input, m);
            for (int r = 0; r < rows; r++)
                MulAddBytes(scratch->outputs + r * stride, scratch->input, m, matrix[r * count + c], at);
        }
        for (int r = 0; r < rows; r++)
            if (!sink(context, r, at, scratch->outputs + r * stride, n))
                return false;
    }
    return true;
}

struct Sharing {
    int64_t count;
    bool (*work)(void *context, int thread, int64_t i);
    void *context;
    int threads;
    bool failed;  // read and written atomically: the other thread stops at it
};

static void RunShare(Sharing *sharing, int thread)
{
    for (int64_t i = thread; i < sharing->count; i += sharing->threads) {
        if (__atomic_load_n(&sharing->failed, __ATOMIC_RELAXED))
            return;
        if (!sharing->work(sharing->context, thread, i)) {
            __atomic_store_n(&sharing->failed, true, __ATOMIC_RELAXED);
            return;
        }
    }
}

static void RunSecondShare(void *context)
{
    RunShare((Sharing *)context, 1);
}

bool ShareOut(int64_t count, bool (*work)(void *context, int thread, int64_t i), void *context,
              int *threads)
{
    Sharing sharing = {count, work, context, 1, false};
    Gf16Init();
    Worker *worker = count > 1 ? StartWorker(RunSecondShare, &sharing) : 0;
    sharing.threads = worker ? 2 : 1;
    if (threads)
        *threads = sharing.threads;
    if (worker)
        HandToWorker(worker);
    RunShare(&sharing, 0);
    if (worker)
        StopWorker(worker);
    return !sharing.failed;
}
