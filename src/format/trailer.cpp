#include "trailer.h"

#include "part_layout.h"

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
    PutInt32(bytes + 260, trailer->image_size);
    PutInt32(bytes + 264, trailer->original_size);
    PutInt32(bytes + 268, trailer->last_part);
}

void DecodeTrailer(const unsigned char bytes[kTrailerSize], PartSetTrailer *trailer)
{
    for (int i = 0; i < kPathSize; i++)
        trailer->original_path[i] = (char)bytes[i];
    trailer->image_size = GetInt32(bytes + 260);
    trailer->original_size = GetInt32(bytes + 264);
    trailer->last_part = GetInt32(bytes + 268);
}

int64_t MaxLastPart(int64_t original_size)
{
    // Older builds count (size + 36864) / slice, which exceeds the exact
    // count; the smallest slice is 10 KB.
    int64_t generous = (original_size + 36864) / (kMinSliceKb * 1024);
    return generous > 1 ? generous : 1;
}

TrailerCheck CheckTrailer(const PartSetTrailer *trailer, int64_t head_length)
{
    bool all_zero = trailer->image_size == 0 && trailer->original_size == 0 &&
                    trailer->last_part == 0;
    for (int i = 0; i < kPathSize && all_zero; i++)
        all_zero = trailer->original_path[i] == 0;
    if (all_zero)
        return kTrailerEmpty;

    bool terminated = false;
    for (int i = 0; i < kPathSize && !terminated; i++)
        terminated = trailer->original_path[i] == 0;
    if (!terminated || trailer->original_path[0] == 0)
        return kTrailerDamaged;
    if (trailer->image_size < 0 || trailer->image_size > head_length - kTrailerSize)
        return kTrailerDamaged;
    if (trailer->original_size < 0)
        return kTrailerDamaged;
    // The head part cannot carry more of the input than there is.
    if (head_length - kTrailerSize - trailer->image_size > trailer->original_size)
        return kTrailerDamaged;
    if (trailer->last_part < 1 || trailer->last_part > MaxLastPart(trailer->original_size))
        return kTrailerDamaged;
    return kTrailerSound;
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
