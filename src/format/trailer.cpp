#include "format/trailer.h"

#include "format/crc32.h"
#include "format/part_layout.h"

static void PutInt32(unsigned char *at, int32_t value)
{
    uint32_t v = (uint32_t)value;
    at[0] = (unsigned char)v;
    at[1] = (unsigned char)(v >> 8);
    at[2] = (unsigned char)(v >> 16);
    at[3] = (unsigned char)(v >> 24);
}

static int32_t GetInt32(const unsigned char *at)
{
    uint32_t v = (uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 |
                 (uint32_t)at[3] << 24;
    return (int32_t)v;
}

static const unsigned char kRecordTag[4] = {'Q', 'C', 'S', '1'};

static uint32_t RecordCheck(const unsigned char bytes[kTrailerSize])
{
    return Crc32Update(0, bytes + kRecordAt, kRecordCheckAt - kRecordAt);
}

// Whether the path ends before the record and the record's tag is there.
static bool HasRecord(const unsigned char bytes[kTrailerSize])
{
    bool terminated = false;
    for (int i = 0; i < kRecordAt && !terminated; i++)
        terminated = bytes[i] == 0;
    for (int i = 0; i < 4 && terminated; i++)
        terminated = bytes[kRecordAt + i] == kRecordTag[i];
    return terminated;
}

void EncodeTrailer(const PartSetTrailer *trailer, unsigned char bytes[kTrailerSize])
{
    for (int i = 0; i < kTrailerPathSize; i++)
        bytes[i] = (unsigned char)trailer->original_path[i];
    PutInt32(bytes + kImageSizeAt, trailer->image_size);
    PutInt32(bytes + kOriginalSizeAt, trailer->original_size);
    PutInt32(bytes + kLastPartAt, trailer->last_part);
    if (!trailer->has_record)
        return;
    for (int i = 0; i < 4; i++)
        bytes[kRecordAt + i] = kRecordTag[i];
    PutInt32(bytes + kRecordSizeAt, (int32_t)(uint32_t)trailer->size);
    PutInt32(bytes + kRecordSizeAt + 4, (int32_t)(uint32_t)((uint64_t)trailer->size >> 32));
    PutInt32(bytes + kRecordCrcAt, (int32_t)trailer->crc);
    PutInt32(bytes + kRecordSliceAt, trailer->slice_length);
    for (int i = kRecordSliceAt + 4; i < kRecordCheckAt; i++)
        bytes[i] = 0;
    PutInt32(bytes + kRecordCheckAt, (int32_t)RecordCheck(bytes));
}

void DecodeTrailer(const unsigned char bytes[kTrailerSize], PartSetTrailer *trailer)
{
    for (int i = 0; i < kTrailerPathSize; i++)
        trailer->original_path[i] = (char)bytes[i];
    trailer->image_size = GetInt32(bytes + kImageSizeAt);
    trailer->original_size = GetInt32(bytes + kOriginalSizeAt);
    trailer->last_part = GetInt32(bytes + kLastPartAt);
    trailer->has_record = HasRecord(bytes);
    trailer->record_intact = false;
    trailer->size = trailer->original_size;
    trailer->crc = 0;
    trailer->slice_length = 0;
    if (trailer->has_record) {
        trailer->record_intact = (uint32_t)GetInt32(bytes + kRecordCheckAt) == RecordCheck(bytes);
        trailer->size = (int64_t)((uint64_t)(uint32_t)GetInt32(bytes + kRecordSizeAt) |
                                  (uint64_t)(uint32_t)GetInt32(bytes + kRecordSizeAt + 4) << 32);
        trailer->crc = (uint32_t)GetInt32(bytes + kRecordCrcAt);
        trailer->slice_length = GetInt32(bytes + kRecordSliceAt);
    }
}

int64_t OriginalSize(const PartSetTrailer *trailer)
{
    return trailer->has_record ? trailer->size : trailer->original_size;
}

// Whether a record agrees with itself and with the fields around it.
static bool RecordFits(const PartSetTrailer *t, int64_t head_data)
{
    if (!t->record_intact || t->size < 0)
        return false;
    int32_t small_size = t->size < kSizeOverflow ? (int32_t)t->size : kSizeOverflow;
    if (t->original_size != small_size)
        return false;
    if (t->slice_length <= 0 || t->slice_length % kBlockSize != 0 ||
        t->slice_length > kMaxSliceKb * 1024)
        return false;
    return head_data >= 0 && head_data <= t->size &&
           t->last_part == SliceCount(t->size - head_data, t->slice_length);
}

// Older builds counted (size + 36864) / slice slice files, setting aside
// 36,864 bytes of the head part for the program: more than the exact count.
static const int64_t kOldImageAllowance = 36864;

int64_t MaxLastPart(int64_t original_size)
{
    // The most generous count, with the smallest slice size; summed so that
    // no size a trailer can hold overflows.
    const int64_t slice = kMinSliceKb * 1024;
    int64_t generous = original_size / slice + (original_size % slice + kOldImageAllowance) / slice;
    return generous > 1 ? generous : 1;
}

TrailerVerdict JudgeTrailer(const PartSetTrailer *t, int64_t head_length)
{
    bool all_zero = t->image_size == 0 && t->original_size == 0 && t->last_part == 0;
    bool terminated = false;
    for (int i = 0; i < kTrailerPathSize; i++) {
        terminated = terminated || t->original_path[i] == 0;
        all_zero = all_zero && t->original_path[i] == 0;
    }
    int64_t size = OriginalSize(t);
    TrailerVerdict verdict;
    verdict.name_readable = terminated;
    verdict.size_readable = size >= 0;
    verdict.count_readable = terminated && verdict.size_readable &&
                             (all_zero || (t->last_part >= 1 && t->last_part <= MaxLastPart(size)));
    // The image lies inside the head part, and the head part carries no more
    // of the input than there is.
    int64_t head_data = head_length - kTrailerSize - t->image_size;
    bool image_fits = t->image_size >= 0 && t->image_size <= head_length - kTrailerSize &&
                      head_data <= size;
    if (all_zero)
        verdict.state = kTrailerEmpty;
    else if (t->original_path[0] != 0 && verdict.count_readable && image_fits &&
             (!t->has_record || RecordFits(t, head_data)))
        verdict.state = kTrailerSound;
    else
        verdict.state = kTrailerDamaged;
    return verdict;
}

bool ReadTrailer(FileHandle file, PartSetTrailer *trailer, int64_t *file_length)
{
    unsigned char bytes[kTrailerSize];
    int64_t length = FileLength(file);
    bool ok = length >= kTrailerSize && FileSeek(file, length - kTrailerSize);
    int got = 0;
    while (ok && got < kTrailerSize) {
        int n = FileRead(file, bytes + got, kTrailerSize - got);
        ok = n > 0;
        got += ok ? n : 0;
    }
    if (!ok)
        return false;
    DecodeTrailer(bytes, trailer);
    *file_length = length;
    return true;
}

bool WriteTrailer(FileHandle file, const PartSetTrailer *trailer)
{
    unsigned char bytes[kTrailerSize];
    EncodeTrailer(trailer, bytes);
    return FileWrite(file, bytes, kTrailerSize);
}
