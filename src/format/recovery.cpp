#include "format/recovery.h"

#include "format/copy.h"
#include "format/crc32.h"
#include "format/erasure.h"
#include "format/extension.h"
#include "format/gf16.h"
#include "format/part_layout.h"

static const unsigned char kRecoveryMagic[4] = {'Q', 'C', 'R', '1'};

void EncodeRecoveryFixed(const RecoveryHeader *header, unsigned char bytes[kRecoveryFixedSize])
{
    for (int i = 0; i < 4; i++)
        bytes[i] = kRecoveryMagic[i];
    WriteUint32(bytes + 4, (uint32_t)header->number);
    WriteUint32(bytes + 8, (uint32_t)header->count);
    WriteUint32(bytes + 12, (uint32_t)header->flags);
    WriteInt64(bytes + 16, header->head_data);
    WriteInt64(bytes + 24, header->block_length);
    WriteUint32(bytes + 32, header->block_crc);
    WriteUint32(bytes + 36, (uint32_t)header->description_length);
}

bool DecodeRecoveryFixed(const unsigned char bytes[kRecoveryFixedSize], RecoveryHeader *header)
{
    for (int i = 0; i < 4; i++)
        if (bytes[i] != kRecoveryMagic[i])
            return false;
    header->number = (int32_t)ReadUint32(bytes + 4);
    header->count = (int32_t)ReadUint32(bytes + 8);
    header->flags = (int32_t)ReadUint32(bytes + 12);
    header->head_data = ReadInt64(bytes + 16);
    header->block_length = ReadInt64(bytes + 24);
    header->block_crc = ReadUint32(bytes + 32);
    header->description_length = ReadUint32(bytes + 36);
    // What any split could have written: the description of a set of at
    // most kMaxDataParts parts, a block as long as a slice, and even, since
    // the code works on 16-bit words.
    int64_t most_description = kMaxExtensionSize + (int64_t)kMaxDataParts * kTableEntrySize + kTrailerSize;
    return header->count >= 1 && header->count <= kMaxRecoveryParts && header->number >= 1 &&
           header->number <= header->count && header->block_length >= 2 &&
           header->block_length <= kMaxSliceBytes && header->block_length % 2 == 0 &&
           header->head_data >= 0 && header->head_data <= header->block_length &&
           header->description_length >= kTrailerSize &&
           header->description_length <= most_description;
}

bool SameSet(const PartSetTrailer *a, const PartSetTrailer *b)
{
    // The path as far as its NUL: what follows it is no part of it.
    for (int i = 0; i < kRecordAt && (a->original_path[i] || b->original_path[i]); i++)
        if (a->original_path[i] != b->original_path[i])
            return false;
    return a->has_record && b->has_record && a->record_version == b->record_version &&
           a->size == b->size && a->crc == b->crc && a->slice_length == b->slice_length &&
           a->table_crc == b->table_crc && a->last_part == b->last_part;
}

bool WriteRecoveryHeader(File *to, const RecoveryHeader *header, File *description,
                         int64_t description_at, FileError *error)
{
    unsigned char fixed[kRecoveryFixedSize], check[kRecoveryCheckSize];
    EncodeRecoveryFixed(header, fixed);
    uint32_t crc = Crc32Update(0, fixed, sizeof fixed);
    if (!FileSeek(to, 0, error) || !FileWrite(to, fixed, sizeof fixed, error) ||
        !FileSeek(description, description_at, error) ||
        CopyBytes(description, to, header->description_length, &crc, 0, error) != kCopied)
        return false;
    WriteUint32(check, crc);
    return FileWrite(to, check, sizeof check, error);
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
