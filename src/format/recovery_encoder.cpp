#include "format/recovery_encoder.h"

#include <stdlib.h>
#include <string.h>

#include "format/crc32.h"
#include "format/erasure.h"
#include "format/gf16.h"

// A stretch of a block read from its file, worked on, and written back:
// as large as the copy's stretches, and a word more.
enum { kStretch = 1024 * 1024 + 4 };
static unsigned char g_stretch[kStretch];

// Reads [from, from + length) of a block from its file; what the file does
// not hold yet is zeros.
static bool ReadStretch(RecoveryEncoder *encoder, File *file, int64_t from, int length)
{
    int got = 0;
    if (!FileSeek(file, encoder->block_at + from, &encoder->error))
        return false;
    while (got < length) {
        int n = FileRead(file, g_stretch + got, length - got, &encoder->error);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += n;
    }
    for (int i = got; i < length; i++)
        g_stretch[i] = 0;
    return true;
}

static uint16_t Factor(const RecoveryEncoder *encoder, int r, int64_t index)
{
    return RecoveryCoefficient(encoder->numbers ? encoder->numbers[r] : r, index);
}

// The worker's share of a stretch: the blocks from own on.
static void Share(void *context)
{
    RecoveryEncoder *encoder = (RecoveryEncoder *)context;
    for (int r = encoder->own; r < encoder->count; r++)
        MulAddBytes(encoder->blocks + r * encoder->block_length + encoder->piece_at, encoder->piece,
                    encoder->piece_length, Factor(encoder, r, encoder->piece_index), encoder->piece_at);
}

static void See(void *context, const unsigned char *bytes, int length)
{
    RecoveryEncoder *encoder = (RecoveryEncoder *)context;
    int64_t at = encoder->offset;
    encoder->offset += length;
    if (HasFailed(&encoder->error))
        return;
    int count = encoder->count;
    if (encoder->worker) {
        // The copy's buffer is read again at once: the worker gets its own.
        WaitForWorker(encoder->worker);
        memcpy(encoder->piece, bytes, (size_t)length);
        encoder->piece_index = encoder->data_index;
        encoder->piece_at = at;
        encoder->piece_length = length;
        HandToWorker(encoder->worker);
        count = encoder->own;
    }
    // Whole words: from the one the first byte is in to the last byte's.
    int64_t from = at & ~(int64_t)1, to = (at + length + 1) & ~(int64_t)1;
    for (int r = 0; r < count; r++) {
        uint16_t factor = Factor(encoder, r, encoder->data_index);
        if (encoder->blocks) {
            MulAddBytes(encoder->blocks + r * encoder->block_length + at, bytes, length, factor, at);
            continue;
        }
        if (!encoder->files)
            return;
        File *file = &encoder->files[r];
        if (!ReadStretch(encoder, file, from, (int)(to - from)))
            return;
        MulAddBytes(g_stretch + (at - from), bytes, length, factor, at);
        if (!FileSeek(file, encoder->block_at + from, &encoder->error) ||
            !FileWrite(file, g_stretch, (int)(to - from), &encoder->error))
            return;
    }
}

void StartRecovery(RecoveryEncoder *encoder, int count, int64_t block_length, int64_t block_at,
                   File *files, const int64_t *numbers)
{
    encoder->numbers = numbers;
    encoder->count = count;
    encoder->block_length = block_length;
    encoder->block_at = block_at;
    encoder->files = files;
    encoder->data_index = encoder->offset = 0;
    ClearError(&encoder->error);
    encoder->tap.see = See;
    encoder->tap.context = encoder;
    // A block is at most 4 GB: in memory only where all of them fit the budget.
    encoder->blocks = (int64_t)count * block_length <= kRecoveryMemory
                          ? (unsigned char *)calloc((size_t)count, (size_t)block_length)
                          : 0;
    // The reading and writing cost about what four blocks' arithmetic
    // does: this thread keeps a quarter of the blocks, the worker the rest.
    encoder->worker = 0;
    encoder->own = count / 4;
    encoder->piece = encoder->blocks ? (unsigned char *)malloc(kCopyBufferSize) : 0;
    // The tables are filled once, here, before a second thread reads them.
    Gf16Init();
    if (encoder->piece)
        encoder->worker = StartWorker(Share, encoder);
}

void FeedDataBlock(RecoveryEncoder *encoder, int64_t index)
{
    encoder->data_index = index;
    encoder->offset = 0;
}

// The CRC-32 of a block kept in its file, read back.
static bool BlockCrc(RecoveryEncoder *encoder, File *file, uint32_t *crc)
{
    *crc = 0;
    return FileSeek(file, encoder->block_at, &encoder->error) &&
           CopyBytes(file, 0, encoder->block_length, crc, 0, &encoder->error) == kCopied;
}

bool FinishRecovery(RecoveryEncoder *encoder, const RecoveryHeader *header, File *description,
                    int64_t description_at, Progress *progress)
{
    if (encoder->worker)
        WaitForWorker(encoder->worker);
    if (HasFailed(&encoder->error))
        return false;
    for (int r = 0; r < encoder->count; r++) {
        if (!ProgressStep(progress, 0))
            return false;
        File *file = &encoder->files[r];
        RecoveryHeader own = *header;
        own.number = r + 1;
        own.block_crc = 0;
        if (encoder->blocks) {
            const unsigned char *block = encoder->blocks + r * encoder->block_length;
            if (!FileSeek(file, encoder->block_at, &encoder->error) ||
                WriteBytes(file, block, encoder->block_length, &own.block_crc, &encoder->error) != kCopied)
                return false;
        } else {
            // The end of a block that no data reached is zeros still:
            // written, so that the file holds the whole block.
            int64_t last_word = encoder->block_length - 2;
            if (!ReadStretch(encoder, file, last_word, 2) ||
                !FileSeek(file, encoder->block_at + last_word, &encoder->error) ||
                !FileWrite(file, g_stretch, 2, &encoder->error) || !BlockCrc(encoder, file, &own.block_crc))
                return false;
        }
        if (!WriteRecoveryHeader(file, &own, description, description_at, &encoder->error))
            return false;
    }
    return true;
}

void EndRecovery(RecoveryEncoder *encoder)
{
    if (!encoder->blocks)
        return;
    StopWorker(encoder->worker);
    free(encoder->piece);
    free(encoder->blocks);
    encoder->blocks = 0;
    encoder->worker = 0;
}

void FinishSums(RecoveryEncoder *encoder)
{
    if (encoder->worker)
        WaitForWorker(encoder->worker);
}
