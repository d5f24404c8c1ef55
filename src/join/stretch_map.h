// Which stretches of which parts of a set with recovery parts are sound,
// against the checksums the recovery parts keep for every stretch of every
// part, their own included (format/recovery.h).  Damage is found to the
// stretch: a flipped byte spoils one, a part cut short those past its end,
// a lost part all of them; and N recovery parts rebuild whatever no more
// than N parts have spoilt at the same place.  Sets made before 2.4 keep a
// checksum of each part whole: their stretch is the whole block.
#ifndef QCLEAVER_JOIN_STRETCH_MAP_H
#define QCLEAVER_JOIN_STRETCH_MAP_H

#include <stdint.h>

#include "join/part_set.h"

enum StretchState { kStretchUnknown, kStretchSound, kStretchBad };

// Slots: data part j is slot j (0: the head part's stretch), recovery part
// k is slot parts + k - 1.
struct StretchMap {
    int64_t parts, recovery;
    int64_t stretch;    // bytes
    int64_t per_block;  // stretches in a block
    unsigned char *states;  // (parts + recovery) x per_block StretchStates
    uint32_t *crcs;         // ... the checksum each stretch should have
    bool known;         // the checksums were read: else every recovery stretch is bad
};

// The map of an opened set with recovery parts, every stretch unknown: the
// checksums from the first sound recovery part of the set, or for a set
// before 2.4 the part table and each recovery part's header.  False without
// memory (error).
bool OpenStretchMap(StretchMap *map, PartSet *set, FileError *error);
void CloseStretchMap(StretchMap *map);

inline int64_t RecoverySlot(const StretchMap *map, int64_t index)  // index -1, -2, ...
{
    return map->parts - index - 1;
}
inline unsigned char *StretchStateOf(StretchMap *map, int64_t slot, int64_t stretch)
{
    return &map->states[slot * map->per_block + stretch];
}
void MarkAll(StretchMap *map, int64_t slot, StretchState state);
// A part lost whole, of block_length bytes: every stretch it holds is bad;
// those past its end hold nothing, and are sound.
void MarkLost(StretchMap *map, int64_t slot, int64_t block_length);

// Judges the stretches of slot's block, of block_length bytes, from the
// available bytes at `at` in file (a part cut short has fewer than its
// block: the stretches it does not fill are bad); the number bad, or -1
// where it cannot be read (error).
int64_t JudgeStretches(StretchMap *map, int64_t slot, File *file, int64_t at, int64_t available,
                       int64_t block_length, FileError *error);

// Carries *crc over length bytes at `at` in file, read through buffer, size
// bytes at a time; false where they cannot be read (error).
bool ReadStretchCrc(File *file, int64_t at, int64_t length, unsigned char *buffer, int64_t size, uint32_t *crc,
                    FileError *error);

// The bytes slot's block holds: the part's stretch of the input, or a
// recovery block.
int64_t BlockLength(const PartSet *set, const StretchMap *map, int64_t slot);

// 0 where no more data parts are bad at any place than there are recovery
// parts sound there, every one judged; else the most lacking at one place.
int64_t RecoveryLacking(StretchMap *map);

#endif
