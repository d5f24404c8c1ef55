#include "format/trailer.h"

#include <string.h>

#include "math/crc32.h"
#include "format/legacy.h"
#include "format/part_layout.h"
#include "platform/text.h"

void WriteUint32(unsigned char *at, uint32_t value)
{
    at[0] = (unsigned char)value;
    at[1] = (unsigned char)(value >> 8);
    at[2] = (unsigned char)(value >> 16);
    at[3] = (unsigned char)(value >> 24);
}

uint32_t ReadUint32(const unsigned char *at)
{
    return (uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 | (uint32_t)at[3] << 24;
}

int64_t ReadInt64(const unsigned char *at)
{
    return (int64_t)((uint64_t)ReadUint32(at) | (uint64_t)ReadUint32(at + 4) << 32);
}

void WriteInt64(unsigned char *at, int64_t value)
{
    WriteUint32(at, (uint32_t)value);
    WriteUint32(at + 4, (uint32_t)((uint64_t)value >> 32));
}

static uint32_t RecordCheck(const unsigned char bytes[kTrailerSize])
{
    return Crc32Update(0, bytes + kRecordAt, kRecordCheckAt - kRecordAt);
}

// The record's version: 0 for none, -1 for bytes no build writes.  Where the
// path ends before the record, "QCS1" or "QCS2" is a record.  Zeros are
// none, and so is an earlier build's text in the record's place.
static int RecordVersion(const unsigned char bytes[kTrailerSize])
{
    bool terminated = memchr(bytes, 0, kRecordAt) != 0;
    const unsigned char *tag = bytes + kRecordAt;
    if (terminated && tag[0] == 'Q' && tag[1] == 'C' && tag[2] == 'S' && tag[3] >= '1' && tag[3] <= '3')
        return tag[3] - '0';
    bool zero = true;
    for (int i = kRecordAt; i < kTrailerPathSize; i++)
        zero = zero && bytes[i] == 0;
    return zero || IsLegacyPathText(bytes) ? 0 : -1;
}

int64_t PartTableSize(const PartSetTrailer *trailer)
{
    if (trailer->record_version < 2 || trailer->last_part < 0)
        return 0;
    return ((int64_t)trailer->last_part + 1) * kTableEntrySize;
}

void EncodeTrailer(const PartSetTrailer *trailer, unsigned char bytes[kTrailerSize])
{
    memcpy(bytes, trailer->original_path, kTrailerPathSize);
    WriteUint32(bytes + kImageSizeAt, (uint32_t)trailer->image_size);
    WriteUint32(bytes + kOriginalSizeAt, (uint32_t)trailer->original_size32);
    WriteUint32(bytes + kLastPartAt, (uint32_t)trailer->last_part);
    if (!trailer->has_record)
        return;
    int version = trailer->record_version >= 1 && trailer->record_version <= 3 ? trailer->record_version
                                                                               : kCurrentRecordVersion;
    memcpy(bytes + kRecordAt, "QCS", 3);
    bytes[kRecordAt + 3] = (unsigned char)('0' + version);
    WriteInt64(bytes + kRecordSizeAt, trailer->size);
    WriteUint32(bytes + kRecordCrcAt, trailer->crc);
    WriteUint32(bytes + kRecordSliceAt, trailer->slice_length);
    WriteUint32(bytes + kRecordImageCrcAt, version >= 2 ? trailer->image_crc : 0);
    WriteUint32(bytes + kRecordTableCrcAt, version >= 2 ? trailer->table_crc : 0);
    WriteUint32(bytes + kRecordCheckAt, RecordCheck(bytes));
}

void DecodeTrailer(const unsigned char bytes[kTrailerSize], PartSetTrailer *trailer)
{
    *trailer = PartSetTrailer();
    memcpy(trailer->original_path, bytes, kTrailerPathSize);
    trailer->image_size = (int32_t)ReadUint32(bytes + kImageSizeAt);
    trailer->original_size32 = (int32_t)ReadUint32(bytes + kOriginalSizeAt);
    trailer->last_part = (int32_t)ReadUint32(bytes + kLastPartAt);
    trailer->record_version = RecordVersion(bytes);
    trailer->has_record = trailer->record_version > 0;
    trailer->size = trailer->original_size32;
    if (trailer->has_record) {
        trailer->record_intact = ReadUint32(bytes + kRecordCheckAt) == RecordCheck(bytes);
        trailer->size = ReadInt64(bytes + kRecordSizeAt);
        trailer->crc = ReadUint32(bytes + kRecordCrcAt);
        trailer->slice_length = ReadUint32(bytes + kRecordSliceAt);
        trailer->image_crc = ReadUint32(bytes + kRecordImageCrcAt);
        trailer->table_crc = ReadUint32(bytes + kRecordTableCrcAt);
    }
}

int64_t OriginalSize(const PartSetTrailer *trailer)
{
    return trailer->has_record ? trailer->size : trailer->original_size32;
}

// Whether a record agrees with itself and with the fields around it.
static bool RecordFits(const PartSetTrailer *t, int64_t head_data)
{
    if (!t->record_intact || t->size < 0)
        return false;
    int32_t small_size = t->size < kSizeOverflow ? (int32_t)t->size : kSizeOverflow;
    if (t->original_size32 != small_size)
        return false;
    // Version 2 says what it wrote.
    if (t->slice_length == 0 || (t->record_version == 1 && !LegacyRecordSliceFits(t->slice_length)))
        return false;
    return head_data >= 0 && head_data <= t->size &&
           t->last_part == SliceCount(t->size - head_data, t->slice_length);
}

TrailerVerdict JudgeTrailer(const PartSetTrailer *t, int64_t head_length)
{
    bool all_zero = t->image_size == 0 && t->original_size32 == 0 && t->last_part == 0;
    bool terminated = false;
    for (int i = 0; i < kTrailerPathSize; i++) {
        terminated = terminated || t->original_path[i] == 0;
        all_zero = all_zero && t->original_path[i] == 0;
    }
    int64_t size = OriginalSize(t);
    TrailerVerdict verdict;
    // A damaged trailer's name is worth showing only where it looks like
    // one: random bytes (a head part cut short) hold control characters.
    verdict.name_readable = terminated && !HasControlCharacters(t->original_path);
    verdict.size_readable = size >= 0;
    verdict.count_readable = terminated && verdict.size_readable &&
                             (all_zero || (t->last_part >= 1 && t->last_part <= LegacyMaxLastPart(size)));
    // The image lies inside the head part, and the head part carries no more
    // of the input than there is.
    int64_t head_data = head_length - kTrailerSize - t->image_size - PartTableSize(t) - t->extension_length;
    bool image_fits = t->image_size >= 0 && head_data >= 0 && head_data <= size;
    if (all_zero)
        verdict.state = kTrailerEmpty;
    else if (t->original_path[0] != 0 && verdict.count_readable && image_fits &&
             t->record_version >= 0 && (!t->has_record || RecordFits(t, head_data)))
        verdict.state = kTrailerSound;
    else
        verdict.state = kTrailerDamaged;
    return verdict;
}

bool WriteTrailer(File *file, const PartSetTrailer *trailer, FileError *error)
{
    unsigned char bytes[kTrailerSize];
    EncodeTrailer(trailer, bytes);
    return FileWrite(file, bytes, kTrailerSize, error);
}
