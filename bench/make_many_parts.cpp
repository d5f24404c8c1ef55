// Writes a set of many small slices for the benchmark's many-parts join:
//   make_many_parts IMAGE INPUT SLICE_BYTES
// beside INPUT, with IMAGE as the head part's program, no input bytes in the
// head part, and every slice SLICE_BYTES long (the input a multiple of it).
// The split itself no longer writes such a set, since its head part, which
// holds 4 bytes of table a part, is then larger than a slice; the join reads
// it as any set of the current version, and pays the cost of each part.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "math/crc32.h"
#include "format/part_names.h"
#include "format/paths.h"
#include "format/trailer.h"

static std::vector<unsigned char> Read(const char *path)
{
    std::vector<unsigned char> bytes;
    FILE *f = fopen(path, "rb");
    if (!f) {
        perror(path);
        exit(1);
    }
    unsigned char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(f);
    return bytes;
}

static void Write(const std::string &path, const unsigned char *bytes, size_t size)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f || fwrite(bytes, 1, size, f) != size || fclose(f) != 0) {
        perror(path.c_str());
        exit(1);
    }
}

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: make_many_parts IMAGE INPUT SLICE_BYTES\n");
        return 2;
    }
    Crc32Init();
    std::vector<unsigned char> image = Read(argv[1]), input = Read(argv[2]);
    size_t slice = (size_t)atoll(argv[3]);
    if (slice == 0 || input.empty() || input.size() % slice != 0) {
        fprintf(stderr, "make_many_parts: the input must be a whole number of slices\n");
        return 2;
    }
    std::string path = argv[2], dir = path.substr(0, path.rfind('/') + 1);
    char base[kPathSize], name[kPathSize];
    StemOf(argv[2], base);
    PartSetTrailer t = {};
    strncpy(t.original_path, FileNameOf(argv[2]), kMaxRecordPath);
    t.has_record = true;
    t.record_version = 2;
    t.image_size = (int32_t)image.size();
    t.size = (int64_t)input.size();
    t.original_size32 = (int32_t)(t.size < kSizeOverflow ? t.size : kSizeOverflow);
    t.last_part = (int32_t)(input.size() / slice);
    t.slice_length = (uint32_t)slice;
    t.image_crc = Crc32Update(0, image.data(), image.size());
    t.crc = Crc32Update(0, input.data(), input.size());
    std::vector<unsigned char> head = image, entry(4);
    WriteUint32(entry.data(), 0);  // the head part's stretch: none
    head.insert(head.end(), entry.begin(), entry.end());
    for (int32_t i = 1; i <= t.last_part; i++) {
        const unsigned char *data = input.data() + (size_t)(i - 1) * slice;
        WriteUint32(entry.data(), Crc32Update(0, data, slice));
        head.insert(head.end(), entry.begin(), entry.end());
        FormatPartName(name, base, i);
        Write(dir + name, data, slice);
    }
    t.table_crc = Crc32Update(0, head.data() + image.size(), head.size() - image.size());
    unsigned char trailer[kTrailerSize];
    EncodeTrailer(&t, trailer);
    head.insert(head.end(), trailer, trailer + kTrailerSize);
    FormatPartName(name, base, 0);
    Write(dir + name, head.data(), head.size());
    chmod((dir + name).c_str(), 0755);  // a program, as the split makes it
    printf("%s\n", name);
    return 0;
}
