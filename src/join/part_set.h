// A part set as a head part opens it: the head part held open, its trailer,
// record and part table judged, its folder, and one census of the slices
// found there.  The join dialog shows it, and the join and the check act on
// it: a set is opened in this one place.
#ifndef QCLEAVER_JOIN_PART_SET_H
#define QCLEAVER_JOIN_PART_SET_H

#include <stdint.h>
#include <stdlib.h>

#include "transfer/copy.h"
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
    kPartOfAnotherSplit,  // a sound recovery part, but of another split (made: when,
                          // where it says)
};

struct PartState {
    explicit PartState(int64_t part = -1) : index(part), through(part) {}
    int64_t index;    // 0: the head part; -1, -2, ...: recovery part 1, 2, ...
    int64_t through;  // the last of a run of missing parts told at once; else index
    PartFault fault = kPartSound;
    int64_t length = -1, expected = -1;
    int64_t holds = -1;
    bool program = false;  // the head part's program, not its data, is damaged
    int64_t made = -1;     // kPartOfAnotherSplit: when that split was made (seconds since
                           // 1970), or -1 where it does not say
    // Damaged: how much, where the set keeps stretch checksums: stretches
    // bad, of how many bytes each, and where the first starts in the part.
    int64_t bad_stretches = 0, stretch = 0, first_bad = 0;
    FileError error = FileError();
};

// A slice file found, by its index in the set; or a recovery part.
struct SliceEntry {
    int64_t index;     // 1 ... last_part; -1 ... -recovery_count for recovery parts
    int64_t length;    // -1: not a plain file
    PartFault fault = kPartSound;  // by its length: sound, wrong length or missing (not a file)
    int64_t expected = -1;         // what the set says it holds; -1 where it does not say
    FileId read = FileId();        // the file the join read under this name, once it has
};

struct Census {
    SliceEntry *slices = 0;  // every slice name found, in index order
    int64_t count = 0;
    SliceEntry *extra = 0;   // names of slices and recovery parts beyond the set
    int64_t extra_count = 0;
    SliceEntry *recovery = 0;  // the recovery parts found, -1 first
    int64_t recovery_found = 0;
    int64_t recovery_usable = 0;  // ... of the length the set gives them
    int64_t found = 0;       // plain files among them
    int64_t at_fault = 0;    // slices missing, not files, or of a wrong length
    int64_t first_fault = 0; // the first slice at fault, or 0
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
    kSetSplitsDisagree,    // the head part is damaged, and the recovery parts there,
                           // or they and what is left of the head part, are of
                           // different splits (disagree: two of them)
};

// The head part (format/head_part.h), and what its folder holds.
struct PartSet : HeadPart {
    SetState state = kSetHeadUnreadable;
    FileError error = FileError();
    char given[kPathSize];  // the head part's path as given
    char head_name[kPathSize];  // its name, or where a recovery part was given, what it is called
    Folder folder;          // the head part's own, where the set is
    bool have_folder;
    char slice_of[kPathSize];  // kSetIsASlice: the head part of the set
    bool slice_head_here;      // ... and whether that head part is there
    Census census;
    // Where the head part is lost, or damaged beyond its stretch, a
    // recovery part describes the set: then file is that recovery part,
    // and head_fault says what became of the head part (kPartMissing,
    // kPartDamaged, or kPartSound where its stretch is still to be judged).
    bool described;
    PartFault head_fault = kPartSound;
    int64_t recovery_length;  // each recovery part's whole length
    // Where a recovery part describes the set: whether what is left of the
    // head part records the same split.  Where it cannot tell (the head part
    // lost, or cut short), the slices must bear the description out: one
    // that holds other data than it says may be of another split, and a
    // description that may be another file's rebuilds nothing.
    bool description_confirmed = true;
    char disagree[2][kPathSize];  // kSetSplitsDisagree: the parts of different splits
};

// Makes room for one more entry in a growing array, first entries at
// first; false without memory.
template <typename Entry> bool GrowEntries(Entry **entries, int64_t count, int64_t *capacity, int64_t first)
{
    if (count < *capacity)
        return true;
    int64_t more = *capacity ? 2 * *capacity : first;
    void *grown = realloc(*entries, (size_t)more * sizeof(Entry));
    if (!grown)
        return false;
    *entries = (Entry *)grown;
    *capacity = more;
    return true;
}

// Opens the set whose head part is at head_path; set->state tells how far
// it got.  Close it with ClosePartSet whatever the state.
void OpenPartSet(const char *head_path, PartSet *set);
void ClosePartSet(PartSet *set);

// A part at fault, to be rebuilt from the recovery parts, or that would
// have to be: the first few are named, the rest counted.
struct FaultNote {
    int64_t index;
    PartFault fault;
};
enum { kFaultsNamed = 3 };
// Counts a part at fault in *count, and names it in notes while there is room.
void AddFaultNote(FaultNote notes[kFaultsNamed], int64_t *count, int64_t index, PartFault fault);

// The parts known to be at fault before any is read: the head part, where
// a recovery part describes the set in its place, and the slices the census
// found missing or of a wrong length.  Their number; the first few in notes.
int64_t KnownFaults(const PartSet *set, FaultNote notes[kFaultsNamed]);

// Of those, the ones no recovery part can do without: in a set checked in
// stretches, only parts missing lose every stretch; a part cut short may
// keep most of its own.
int64_t FaultsNeedingRecovery(const PartSet *set);

// The name of part index, as the set's parts are named; for the head part,
// the name it was given by.
void PartNameOf(const PartSet *set, int64_t index, char name[kPathSize]);

// The input bytes part index holds; for a set without a record, -1 for
// every slice.  A recovery part's whole length.
int64_t ExpectedPartLength(const PartSet *set, int64_t index);

// The bytes a head part ends in after its stretch: extension, part table
// and trailer, the description a recovery part carries.
int64_t HeadEndLength(const PartSet *set);

// Where part index's stretch of the input starts in the file.
int64_t PartOffset(const PartSet *set, int64_t index);

// Whether the file open in `file` is a recovery part of this set: its
// header holds, describes this set, and has its number.
bool IsRecoveryPartOf(const PartSet *set, File *file, const FileInfo *info, int64_t index,
                      RecoveryHeader *header);

// Opens recovery part index of the set by its name, where it is the set's
// own (IsRecoveryPartOf); else false, with the file closed.
bool OpenRecoveryPartOf(const PartSet *set, int64_t index, File *file, FileInfo *info, RecoveryHeader *header);

// Whether the program at the start of file is the one the trailer records.
bool ProgramMatches(File *file, const PartSetTrailer *trailer);

// What a part whose data checks as crc, against the table, is: sound,
// damaged, or holding another part's data (*holds).  A part of zeros
// that only matches another because both are zeros is damaged: a part
// never filled in, not swapped.
PartFault JudgePartCrc(PartTable *table, int64_t index, uint32_t crc, int64_t length,
                       int64_t *holds, FileError *error);

#endif
