#include "join/stretch_map.h"

#include <stdlib.h>

#include "math/crc32.h"
#include "format/recovery.h"

void MarkAll(StretchMap *map, int64_t slot, StretchState state)
{
    for (int64_t s = 0; s < map->per_block; s++)
        *StretchStateOf(map, slot, s) = (unsigned char)state;
}

void MarkLost(StretchMap *map, int64_t slot, int64_t block_length)
{
    for (int64_t s = 0; s < map->per_block; s++)
        *StretchStateOf(map, slot, s) = (unsigned char)(s * map->stretch < block_length ? kStretchBad : kStretchSound);
}

int64_t BlockLength(const PartSet *set, const StretchMap *map, int64_t slot)
{
    return slot < map->parts ? ExpectedPartLength(set, slot) : set->trailer.slice_length;
}

// The stretch checksums a recovery part of the set carries, every part's:
// any sound one has them all.
static bool ReadStretchTable(StretchMap *map, PartSet *set)
{
    int64_t bytes = (map->parts + map->recovery) * map->per_block * 4;
    unsigned char *table = (unsigned char *)malloc((size_t)bytes);
    bool read = false;
    for (int64_t k = -1; table && !read && k < set->census.recovery_found; k++) {
        File own, *file = k < 0 ? &set->file : &own;  // k < 0: the recovery part that describes the set
        HeadPart probe;
        RecoveryHeader header;
        if (k < 0 && !set->described)
            continue;
        if (k < 0) {
            probe.file = set->file;
            probe.info.length = FileLength(file, 0);
        }
        read = (k < 0 ? ReadRecoveryPart(&probe, &header, 0) == kHeadSound
                      : OpenRecoveryPartOf(set, set->census.recovery[k].index, &own, &probe.info, &header)) &&
               header.table_length == bytes && FileReadAt(file, RecoveryTableAt(&header), table, bytes, 0);
        if (k >= 0)
            FileClose(&own, 0);
    }
    for (int64_t i = 0; read && i < bytes / 4; i++)
        map->crcs[i] = ReadUint32(table + 4 * i);
    free(table);
    return read;
}

// A set before 2.4: the part table's checksums, and each recovery part's
// own of its block.
static void ReadWholeChecksums(StretchMap *map, PartSet *set, bool no_recovery)
{
    PartTable table;
    OpenPartTable(&table, set);
    for (int64_t j = 0; j < map->parts; j++)
        if (!RecordedPartCrc(&table, j, &map->crcs[j * map->per_block], 0))
            MarkAll(map, j, kStretchBad);
    for (int64_t k = 1; k <= map->recovery; k++) {
        File file;
        FileInfo info;
        RecoveryHeader header;
        int64_t slot = RecoverySlot(map, -k);
        if (!no_recovery && OpenRecoveryPartOf(set, -k, &file, &info, &header)) {
            map->crcs[slot * map->per_block] = header.block_crc;
            FileClose(&file, 0);
        } else {
            MarkAll(map, slot, kStretchBad);
        }
    }
}

bool OpenStretchMap(StretchMap *map, PartSet *set, FileError *error)
{
    map->parts = (int64_t)set->trailer.last_part + 1;
    map->recovery = set->extension.recovery_count;
    int64_t length = set->trailer.slice_length;
    map->stretch = set->extension.stretch_length > 0 ? set->extension.stretch_length : length;
    map->per_block = StretchCount(length, map->stretch);
    int64_t slots = (map->parts + map->recovery) * map->per_block;
    // Each stretch is at least 4 KiB of a block a split wrote: no sound set
    // needs more entries than its bytes allow.
    bool fits = map->per_block <= (4LL << 30) / 4096 + 1 && (uint64_t)slots <= (uint64_t)SIZE_MAX / sizeof(uint32_t);
    map->states = fits ? (unsigned char *)calloc((size_t)slots, 1) : 0;
    map->crcs = fits ? (uint32_t *)calloc((size_t)slots, sizeof(uint32_t)) : 0;
    if (!map->states || !map->crcs) {
        CloseStretchMap(map);
        return SetError(error, kErrorNoSpace, "check the parts of", set->given);
    }
    map->known = set->extension.stretch_length == 0 || ReadStretchTable(map, set);
    // Before 2.4 a stretch is a whole block; where no recovery part is
    // sound, nothing can be rebuilt, and the data parts are judged whole,
    // by the part table.
    if (set->extension.stretch_length == 0 || !map->known)
        ReadWholeChecksums(map, set, !map->known);
    return true;
}

void CloseStretchMap(StretchMap *map)
{
    free(map->states);
    free(map->crcs);
    map->states = 0;
    map->crcs = 0;
}

bool ReadStretchCrc(File *file, int64_t at, int64_t length, unsigned char *buffer, int64_t size, uint32_t *crc,
                   FileError *error)
{
    for (int64_t p = 0; p < length; p += size) {
        int64_t n = length - p < size ? length - p : size;
        if (!FileReadAt(file, at + p, buffer, n, error))
            return false;
        *crc = Crc32Update(*crc, buffer, (size_t)n);
    }
    return true;
}

int64_t JudgeStretches(StretchMap *map, int64_t slot, File *file, int64_t at, int64_t available,
                       int64_t block_length, FileError *error)
{
    static unsigned char buffer[1 << 16];  // one thread judges: the join's, the check's or the repair's
    // No stretch checksums to be had: a data part is sound whole, or bad.
    bool whole = !map->known && slot < map->parts;
    int64_t stretch = whole ? block_length : map->stretch, count = whole ? 1 : map->per_block, bad = 0;
    for (int64_t s = 0; s < count; s++) {
        int64_t from = s * stretch, upto = from + stretch < block_length ? from + stretch : block_length;
        uint32_t crc = 0;
        // A stretch the part should fill beyond what the file holds is bad,
        // whatever the rest of it says.
        bool sound = available >= upto || from >= block_length;  // nothing there to hold
        if (sound && !ReadStretchCrc(file, at + from, upto - from, buffer, sizeof buffer, &crc, error))
            return -1;
        sound = sound && crc == map->crcs[slot * map->per_block + s];
        *StretchStateOf(map, slot, s) = (unsigned char)(sound ? kStretchSound : kStretchBad);
        bad += !sound;
    }
    if (whole)
        MarkAll(map, slot, bad ? kStretchBad : kStretchSound);
    return whole && bad ? map->per_block : bad;
}

int64_t RecoveryLacking(StretchMap *map)
{
    int64_t most = 0;
    for (int64_t s = 0; s < map->per_block; s++) {
        int64_t bad = 0, sound = 0;
        for (int64_t j = 0; j < map->parts; j++)
            bad += *StretchStateOf(map, j, s) == kStretchBad;
        for (int64_t k = 1; k <= map->recovery; k++)
            sound += *StretchStateOf(map, RecoverySlot(map, -k), s) == kStretchSound;
        most = bad - sound > most ? bad - sound : most;
    }
    return most;
}
