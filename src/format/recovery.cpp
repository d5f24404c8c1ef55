#include "format/recovery.h"

#include <string.h>

#include "transfer/copy.h"
#include "math/crc32.h"
#include "math/erasure.h"
#include "format/extension.h"
#include "format/part_layout.h"

int64_t RecoveryBlockAt(const RecoveryHeader *header)
{
    return header->version == 1 ? (int64_t)kRecoveryFixedSize + header->description_length + kRecoveryCheckSize
                                : (int64_t)kRecoveryHeaderSize;
}

int64_t RecoveryDescriptionAt(const RecoveryHeader *header)
{
    return header->version == 1 ? (int64_t)kRecoveryFixedSize : kRecoveryHeaderSize + header->block_length;
}

int64_t RecoveryPartLength(const RecoveryHeader *header)
{
    return header->version == 1
               ? RecoveryBlockAt(header) + header->block_length
               : RecoveryLength(header->block_length, header->description_length, header->table_length);
}

int64_t ChooseStretchLength(int64_t block_length, int64_t parts, int64_t count)
{
    int64_t stretch = 4096;
    // Past 64 KiB only for large blocks, or where the checksums would
    // otherwise take a tenth of a block (sets of thousands of parts).
    while (stretch < block_length &&
           StretchTableLength(parts, count, block_length, stretch) > block_length / 100 &&
           (stretch < 65536 || block_length >= (16 << 20) ||
            StretchTableLength(parts, count, block_length, stretch) > block_length / 10))
        stretch *= 2;
    return stretch;
}

static void EncodeRecoveryHeader(const RecoveryHeader *header, unsigned char bytes[kRecoveryHeaderSize])
{
    bool v1 = header->version == 1;
    memcpy(bytes, v1 ? "QCR1" : "QCR2", 4);
    WriteUint32(bytes + 4, (uint32_t)header->number);
    WriteUint32(bytes + 8, (uint32_t)header->count);
    WriteUint32(bytes + 12, (uint32_t)header->flags);
    WriteInt64(bytes + 16, header->head_data);
    WriteInt64(bytes + 24, header->block_length);
    WriteUint32(bytes + 32, v1 ? header->block_crc : (uint32_t)header->stretch_length);
    WriteUint32(bytes + 36, (uint32_t)header->description_length);
    if (v1)
        return;
    WriteInt64(bytes + 40, header->table_length);
    WriteUint32(bytes + 48, Crc32Update(0, bytes, 48));
}

static bool DecodeRecoveryHeader(const unsigned char *bytes, int64_t available, RecoveryHeader *header)
{
    bool v1 = memcmp(bytes, "QCR1", 4) == 0, v2 = memcmp(bytes, "QCR2", 4) == 0;
    if (!(v1 && available >= kRecoveryFixedSize) &&
        !(v2 && available >= kRecoveryHeaderSize && ReadUint32(bytes + 48) == Crc32Update(0, bytes, 48)))
        return false;
    header->version = v1 ? 1 : 2;
    header->number = (int32_t)ReadUint32(bytes + 4);
    header->count = (int32_t)ReadUint32(bytes + 8);
    header->flags = (int32_t)ReadUint32(bytes + 12);
    header->head_data = ReadInt64(bytes + 16);
    header->block_length = ReadInt64(bytes + 24);
    header->block_crc = v1 ? ReadUint32(bytes + 32) : 0;
    header->stretch_length = v1 ? header->block_length : ReadUint32(bytes + 32);
    header->description_length = ReadUint32(bytes + 36);
    header->table_length = v1 ? 0 : ReadInt64(bytes + 40);
    // What any split could have written: the description of a set of at
    // most kMaxDataParts parts, a block as long as a slice, and even, since
    // the code works on 16-bit words; stretches even too, and a checksum
    // for each of every part's.
    int64_t most_description = kMaxExtensionSize + (int64_t)kMaxDataParts * kTableEntrySize + kTrailerSize;
    bool sound = header->count >= 1 && header->count <= kMaxRecoveryParts && header->number >= 1 &&
                 header->number <= header->count && header->block_length >= 2 &&
                 header->block_length <= kMaxSliceBytes && header->block_length % 2 == 0 &&
                 header->head_data >= 0 && header->head_data <= header->block_length &&
                 header->description_length >= kTrailerSize &&
                 header->description_length <= most_description;
    return sound && (v1 || (header->stretch_length >= 4096 && header->stretch_length % 2 == 0 &&
                            header->table_length > 0 &&
                            header->table_length <= StretchTableLength(kMaxDataParts, header->count,
                                                                       header->block_length,
                                                                       header->stretch_length)));
}

bool WriteRecoveryDescription(File *to, const RecoveryHeader *header, File *description,
                              int64_t description_at, const unsigned char *table, FileError *error)
{
    unsigned char fixed[kRecoveryHeaderSize], check[kRecoveryCheckSize];
    EncodeRecoveryHeader(header, fixed);
    int64_t fixed_length = header->version == 1 ? kRecoveryFixedSize : kRecoveryHeaderSize;
    // Version 1 checks its fields and description together; version 2 each
    // on its own, since the block lies between them.
    uint32_t crc = header->version == 1 ? Crc32Update(0, fixed, (size_t)fixed_length) : 0;
    if (!FileSeek(to, 0, error) || !FileWrite(to, fixed, (int)fixed_length, error) ||
        !FileSeek(to, RecoveryDescriptionAt(header), error) || !FileSeek(description, description_at, error) ||
        CopyBytes(description, to, header->description_length, &crc, 0, error) != kCopied ||
        (header->version == 2 && WriteBytes(to, table, header->table_length, &crc, error) != kCopied))
        return false;
    WriteUint32(check, crc);
    return FileWrite(to, check, sizeof check, error);
}

bool ReadRecoveryHeader(File *file, int64_t length, RecoveryHeader *header, FileError *error)
{
    unsigned char fixed[kRecoveryHeaderSize], check[kRecoveryCheckSize];
    int64_t available = length < kRecoveryHeaderSize ? length : (int64_t)kRecoveryHeaderSize;
    if (available < kRecoveryFixedSize || !FileReadAt(file, 0, fixed, available, error) ||
        !DecodeRecoveryHeader(fixed, available, header))
        return false;
    int64_t at = RecoveryDescriptionAt(header), checked = header->description_length + header->table_length;
    uint32_t crc = header->version == 1 ? Crc32Update(0, fixed, kRecoveryFixedSize) : 0;
    return length >= at + checked + kRecoveryCheckSize &&
           ChecksumAt(file, at, checked, &crc, 0, error) == kCopied &&
           FileReadAt(file, at + checked, check, kRecoveryCheckSize, error) && ReadUint32(check) == crc;
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


