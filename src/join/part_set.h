// A part set as a head part opens it: the head part held open, its trailer,
// record and part table judged, its folder, and one census of the slices
// found there.  The join dialog shows it, and the join and the check act on
// it: a set is opened in this one place.
#ifndef QCLEAVER_JOIN_PART_SET_H
#define QCLEAVER_JOIN_PART_SET_H

#include <stdint.h>

#include "format/head_part.h"
#include "platform/files.h"

// What can be wrong with a part: the one vocabulary of the census, the
// join's result and the check's report.
enum PartFault {
    kPartSound,
    kPartMissing,       // not there, or not a plain file
    kPartWrongLength,   // cut short or too long (length, expected; expected is -1
                        // where the set does not say, and the rules of every split
                        // rule the length out)
    kPartDamaged,       // does not match the checksum recorded when it was made; for
                        // the head part also its record or table, or its program
                        // (program)
    kPartHoldsAnother,  // holds what part `holds` should hold
    kPartUnreadable,    // cannot be read (error)
    kPartExtra,         // a slice's name beyond the set: an earlier set's leftover,
                        // or someone's; no part of this one
};

struct PartState {
    int64_t index;   // 0: the head part
    int64_t through; // the last of a run of missing parts told at once; else index
    PartFault fault;
    int64_t length, expected;
    int64_t holds;
    bool program;    // the head part's program, not its data, is damaged
    FileError error;
};
void InitPartState(PartState *part, int64_t index);

// A slice file found, by its index in the set.
struct SliceEntry {
    int64_t index;
    int64_t length;    // -1: not a plain file
    PartFault fault;   // by its length: sound, wrong length or missing (not a file)
    int64_t expected;  // what the set says it holds; -1 where it does not say
    FileId read;       // the file the join read under this name, once it has
};

struct Census {
    SliceEntry *slices;  // every slice name found, in index order
    int64_t count;
    SliceEntry *extra;   // names of slices beyond the set, in index order
    int64_t extra_count;
    int64_t found;       // plain files among them
    int64_t at_fault;    // slices missing, not files, or of a wrong length
    int64_t first_fault; // the first slice at fault, or 0
};

enum SetState {
    kSetReady,             // a sound head part, and the slices beside it counted
    kSetHeadUnreadable,    // the head part cannot be opened or read (error)
    kSetNotAHeadPart,      // shorter than a trailer
    kSetEmpty,             // an empty trailer: the program itself, started under
                           // another name
    kSetHeadDamaged,       // its trailer, record or table is damaged (verdict)
    kSetIsASlice,          // the file given is a slice; its head part is slice_of
    kSetFolderUnreadable,  // the folder cannot be read (error)
};

// The head part (format/head_part.h), and what its folder holds.
struct PartSet : HeadPart {
    SetState state;
    FileError error;
    char given[kPathSize];  // the head part's path as given
    Folder folder;          // the head part's own, where the set is
    bool have_folder;
    char slice_of[kPathSize];  // kSetIsASlice: the head part of the set
    bool slice_head_here;      // ... and whether that head part is there
    Census census;
};

// Opens the set whose head part is at head_path; set->state tells how far
// it got.  Close it with ClosePartSet whatever the state.
void OpenPartSet(const char *head_path, PartSet *set);
void ClosePartSet(PartSet *set);

// The name of part index, as the set's parts are named; for the head part,
// the name it was given by.
void PartNameOf(const PartSet *set, int64_t index, char name[kPathSize]);

// The input bytes part index holds; for a set without a record, -1 for
// every slice.
int64_t ExpectedPartLength(const PartSet *set, int64_t index);

// What a part whose data checks as crc, against the table, is: sound,
// damaged, or holding another part's data (*holds).  A part of zeros
// that only matches another because both are zeros is damaged: a part
// never filled in, not swapped.
PartFault JudgePartCrc(PartTable *table, int64_t index, uint32_t crc, int64_t length,
                       int64_t *holds, FileError *error);

#endif
