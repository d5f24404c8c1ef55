// Makes a set's recovery blocks in the one pass that reads the input: every
// stretch the split copies into a part is also multiplied into each
// recovery block (format/erasure.h).  The blocks are kept in memory where
// they fit kRecoveryMemory, else in the recovery parts' own files, read and
// written back a stretch at a time.  A join that knows which parts are lost
// before it reads any makes the sums of the others the same way, in memory.
#ifndef QCLEAVER_FORMAT_RECOVERY_ENCODER_H
#define QCLEAVER_FORMAT_RECOVERY_ENCODER_H

#include "format/copy.h"
#include "format/recovery.h"
#include "platform/files.h"
#include "platform/progress.h"
#include "platform/worker.h"

const int64_t kRecoveryMemory = 64LL << 20;

struct RecoveryEncoder {
    int count;              // recovery parts
    int64_t block_length;   // bytes in each block
    int64_t block_at;       // where the block starts in each file
    File *files;            // count files, created by the caller, open for reading and writing
    unsigned char *blocks;  // count blocks in memory, or null
    const int64_t *numbers; // each block's recovery index (0: "_R01"), or null for 0, 1, ...
    int64_t data_index;     // the data block being fed
    int64_t offset;         // bytes of it fed so far
    FileError error;        // the first failure, in the files' way
    CopyTap tap;            // feeds the data block being copied
    // Blocks in memory are shared with a second thread, where there is
    // one: it does blocks own ... count - 1 of a copy of each stretch while
    // this one reads and writes the next.
    Worker *worker;
    int own;
    unsigned char *piece;
    int64_t piece_index, piece_at;
    int piece_length;
};

// Blocks of block_length bytes, at block_at in each of the files; in
// memory where they fit, and memory is there; or in memory only, where
// files is null, and then blocks is null where they do not fit.
void StartRecovery(RecoveryEncoder *encoder, int count, int64_t block_length, int64_t block_at,
                   File *files, const int64_t *numbers = 0);
// The bytes copied next belong to data block index (0: the head part's stretch).
void FeedDataBlock(RecoveryEncoder *encoder, int64_t index);
// Writes the blocks and the headers, which describe the set as the bytes
// [description_at, + header->description_length) of description do;
// header gives the fields every part shares.  False with encoder->error,
// or where the user stopped it.
bool FinishRecovery(RecoveryEncoder *encoder, const RecoveryHeader *header, File *description,
                    int64_t description_at, Progress *progress);
// Until every stretch fed is in the blocks in memory.
void FinishSums(RecoveryEncoder *encoder);
void EndRecovery(RecoveryEncoder *encoder);

#endif
