// A head part's own description of its set: its trailer, record, extension
// and part table, read and judged in one place for everyone who reads
// one: the join, the check, and a split that finds an earlier set under
// the names it is to write.
#ifndef QCLEAVER_FORMAT_HEAD_PART_H
#define QCLEAVER_FORMAT_HEAD_PART_H

#include <stdint.h>

#include "format/extension.h"
#include "format/recovery.h"
#include "format/trailer.h"
#include "platform/files.h"

struct HeadPart {
    File file;              // the head part, held open
    FileInfo info;          // what it was as it was opened
    PartSetTrailer trailer;
    TrailerVerdict verdict;
    SetExtension extension; // version 3: the name, time and permissions it records
    int64_t head_data;      // input bytes the head part carries
    int64_t table_at;       // where the part table starts in the head part
    bool windows_program;   // its program is a Windows one
    bool dos_paths;         // a Windows program's set, or a Windows build: names are read by DOS rules
    char stem[kPathSize];   // what the parts' names are made of
    char output[kPathSize]; // the rebuilt file's name
};

enum HeadState {
    kHeadSound,
    kHeadTooShort,    // shorter than a trailer
    kHeadEmpty,       // an empty trailer: the program itself, not a head part
    kHeadDamaged,     // its trailer, record, extension or table is damaged (verdict)
    kHeadUnreadable,  // it cannot be read (error)
};

// Reads and judges the head part open in part->file, whose info is filled.
HeadState ReadHeadPart(HeadPart *part, FileError *error);

// The same of a recovery part open in part->file, whose header describes
// the set (format/recovery.h); head_data is then the header's.  A header
// whose check fails is damaged.
HeadState ReadRecoveryPart(HeadPart *part, RecoveryHeader *header, FileError *error);

// Whether the file at path is a sound head part of a set, whatever system
// its program is for: what the split tool, given one, opens the join of.
bool IsAHeadPart(const char *path);

// Reads the part table of an open head part a window at a time.
struct PartTable {
    HeadPart *part;
    int64_t first;  // the index of window[0]
    int count;      // entries in the window
    unsigned char window[1024 * kTableEntrySize];
};
void OpenPartTable(PartTable *table, HeadPart *part);
// The recorded CRC-32 of part index; false when the set records none, or
// it cannot be read (error).
bool RecordedPartCrc(PartTable *table, int64_t index, uint32_t *crc, FileError *error);

#endif
