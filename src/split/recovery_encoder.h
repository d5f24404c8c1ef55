// Makes a set's recovery parts in the one pass a split reads its input in:
// every stretch of input the split copies into a part is also multiplied
// into each recovery block (format/erasure.h).  The blocks are kept in
// memory where they fit kRecoveryMemory, else in the recovery parts' own
// files, read and written back a stretch at a time.
#ifndef QCLEAVER_SPLIT_RECOVERY_ENCODER_H
#define QCLEAVER_SPLIT_RECOVERY_ENCODER_H

#include "format/copy.h"
#include "format/recovery.h"
#include "platform/files.h"
#include "platform/progress.h"

const int64_t kRecoveryMemory = 64LL << 20;

struct RecoveryEncoder {
    int count;              // recovery parts
    int64_t block_length;   // bytes in each block
    int64_t block_at;       // where the block starts in each file
    File *files;            // count files, created by the caller, open for reading and writing
    unsigned char *blocks;  // count blocks in memory, or null
    int64_t data_index;     // the data block being fed
    int64_t offset;         // bytes of it fed so far
    FileError error;        // the first failure, in the files' way
    CopyTap tap;            // feeds the data block being copied
};

// Blocks of block_length bytes, at block_at in each of the files; in
// memory where they fit, and memory is there.
void StartRecovery(RecoveryEncoder *encoder, int count, int64_t block_length, int64_t block_at,
                   File *files);
// The bytes copied next belong to data block index (0: the head part's stretch).
void FeedDataBlock(RecoveryEncoder *encoder, int64_t index);
// Writes the blocks and the headers, which describe the set as the bytes
// [description_at, + header->description_length) of description do;
// header gives the fields every part shares.  False with encoder->error,
// or where the user stopped it.
bool FinishRecovery(RecoveryEncoder *encoder, const RecoveryHeader *header, File *description,
                    int64_t description_at, Progress *progress);
void EndRecovery(RecoveryEncoder *encoder);

#endif
