// The one engine of the recovery code: it reads blocks a window at a time
// and computes windows of other blocks from them, each a sum of the inputs
// times a row of coefficients.  Making recovery blocks is rows of Cauchy
// coefficients over the data blocks (math/erasure.h); rebuilding lost
// blocks is the same with the rows of the inverted matrix, over the blocks
// that are sound.  Work goes a stretch at a time, so that the windows of
// every output stay in the processor's cache, and the stretches are shared
// between this thread and a second one where there is one.
#ifndef QCLEAVER_FORMAT_ERASURE_ENGINE_H
#define QCLEAVER_FORMAT_ERASURE_ENGINE_H

#include <stdint.h>

#include "platform/files.h"

// A block read as an input: length bytes at `at` in file, zeros beyond.
struct CodeInput {
    File *file;
    int64_t at;
    int64_t length;
};

// What one thread works with: a window of an input, and one of each output.
struct CodeScratch {
    unsigned char *input;
    unsigned char *outputs;
    int64_t window;
};
// Room for rows outputs of windows of at most window bytes; false without memory.
bool StartScratch(CodeScratch *scratch, int rows, int64_t window);
void EndScratch(CodeScratch *scratch);
// The window for rows outputs: theirs and an input's within a cache's size.
int64_t CodeWindow(int rows);

// Receives a window of output row, [at, at + length) of its block; false
// stops the work (the receiver keeps the reason).
typedef bool (*CodeSink)(void *context, int row, int64_t at, const unsigned char *bytes, int64_t length);

// output_r = sum over c of matrix[r * count + c] * input_c, over the bytes
// [from, from + length) of every block (from even), a window at a time.
// Where input_crcs is not null, it receives the CRC-32 of the bytes each
// input holds in each stretch of the range, stretch bytes long from from:
// input_crcs[c * stretches + s].  False where an input cannot be read
// (error) or the sink says so.
bool CodeRange(const CodeInput *inputs, int count, const uint16_t *matrix, int rows, int64_t from,
               int64_t length, CodeScratch *scratch, CodeSink sink, void *context, uint32_t *input_crcs,
               int64_t stretch, FileError *error);

// The sink that writes each output row into its block: at most the length
// of blocks[row], at its place in its file; what it writes goes into the
// row's stretch CRC-32s, crcs + row * per_row, the first the stretch that
// starts at from.
struct BlockSink {
    const CodeInput *blocks;
    uint32_t *crcs;
    int64_t per_row;
    int64_t stretch, from;
    FileError *error;
};
bool WriteToBlock(void *sink, int row, int64_t at, const unsigned char *bytes, int64_t length);

// Adds the bytes [at, at + length) of a block to the CRC-32s of the
// stretches they fall in, crcs[0] being the one that starts at from.
void AddToStretchCrcs(uint32_t *crcs, int64_t stretch, int64_t from, int64_t at, const unsigned char *bytes,
                      int64_t length);

// How many stretches of a block a thread takes at once: as many as its
// window holds, so that runs of them are read and summed in large pieces.
int64_t StretchesAtOnce(int64_t window, int64_t stretch);

// dst += factor * src, for length bytes that sit at block offset `at` in
// both: a byte at an odd offset is the high byte of its word, and dst has
// room for the whole word of each byte (dst[-1] where at is odd, one byte
// past the end where at + length is).
void MulAddBytes(unsigned char *dst, const unsigned char *src, int64_t length, uint16_t factor,
                 int64_t at);

// Calls work(context, thread, i) for every i in [0, count): thread 0 is
// this one, thread 1 a second where one can be had, each taking every
// other i.  Stops at the first false.  The field's tables are filled
// before a second thread starts; *threads, where not null, says how many
// share the work before any of it is done.
bool ShareOut(int64_t count, bool (*work)(void *context, int thread, int64_t i), void *context,
              int *threads = 0);

#endif
