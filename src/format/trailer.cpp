#include "format/trailer.h"

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

void EncodeTrailer(const PartSetTrailer *trailer, unsigned char bytes[kTrailerSize])
{
    for (int i = 0; i < kPathSize; i++)
        bytes[i] = (unsigned char)trailer->original_path[i];
    PutInt32(bytes + kImageSizeAt, trailer->image_size);
    PutInt32(bytes + kOriginalSizeAt, trailer->original_size);
    PutInt32(bytes + kLastPartAt, trailer->last_part);
}

void DecodeTrailer(const unsigned char bytes[kTrailerSize], PartSetTrailer *trailer)
{
    for (int i = 0; i < kPathSize; i++)
        trailer->original_path[i] = (char)bytes[i];
    trailer->image_size = GetInt32(bytes + kImageSizeAt);
    trailer->original_size = GetInt32(bytes + kOriginalSizeAt);
    trailer->last_part = GetInt32(bytes + kLastPartAt);
}

// Older builds counted (size + 36864) / slice slice files, setting aside
// 36,864 bytes of the head part for the program: more than the exact count.
static const int64_t kOldImageAllowance = 36864;

int64_t MaxLastPart(int64_t original_size)
{
    // The most generous count, with the smallest slice size.
    int64_t generous = (original_size + kOldImageAllowance) / (kMinSliceKb * 1024);
    return generous > 1 ? generous : 1;
}

TrailerVerdict JudgeTrailer(const PartSetTrailer *t, int64_t head_length)
{
    bool all_zero = t->image_size == 0 && t->original_size == 0 && t->last_part == 0;
    bool terminated = false;
    for (int i = 0; i < kPathSize; i++) {
        terminated = terminated || t->original_path[i] == 0;
        all_zero = all_zero && t->original_path[i] == 0;
    }
    TrailerVerdict verdict;
    verdict.name_readable = terminated;
    verdict.size_readable = t->original_size >= 0;
    verdict.count_readable = terminated && verdict.size_readable &&
                             (all_zero || (t->last_part >= 1 &&
                                           t->last_part <= MaxLastPart(t->original_size)));
    // The image lies inside the head part, and the head part carries no more
    // of the input than there is.
    bool image_fits = t->image_size >= 0 && t->image_size <= head_length - kTrailerSize &&
                      head_length - kTrailerSize - t->image_size <= t->original_size;
    if (all_zero)
        verdict.state = kTrailerEmpty;
    else if (t->original_path[0] != 0 && verdict.count_readable && image_fits)
        verdict.state = kTrailerSound;
    else
        verdict.state = kTrailerDamaged;
    return verdict;
}

bool ReadTrailerOf(const char *path, PartSetTrailer *trailer, int64_t *file_length)
{
    FileHandle file = FileOpenRead(path);
    if (file == kNoFile)
        return false;
    unsigned char bytes[kTrailerSize];
    int64_t length = FileLength(file);
    bool ok = length >= kTrailerSize && FileSeek(file, length - kTrailerSize);
    int got = 0;
    while (ok && got < kTrailerSize) {
        int n = FileRead(file, bytes + got, kTrailerSize - got);
        ok = n > 0;
        got += ok ? n : 0;
    }
    FileClose(file);
    if (!ok)
        return false;
    DecodeTrailer(bytes, trailer);
    *file_length = length;
    return true;
}

bool ReadOwnTrailer(PartSetTrailer *trailer, int64_t *image_length, char image_path[kPathSize])
{
    if (!GetProgramImagePath(image_path))
        return false;
    return ReadTrailerOf(image_path, trailer, image_length);
}

bool WriteTrailer(FileHandle file, const PartSetTrailer *trailer)
{
    unsigned char bytes[kTrailerSize];
    EncodeTrailer(trailer, bytes);
    return FileWrite(file, bytes, kTrailerSize);
}
