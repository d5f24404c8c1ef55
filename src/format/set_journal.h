// The journal of a split at work: a small file beside the parts,
// "<stem>_00.exe.qcj", that says which temporary names the split writes
// its parts under and which it moves an earlier set's parts aside to, so
// that a split stopped dead (a crash, kill -9, a power cut) can be finished
// or undone by the next split or join of that set, from what the journal
// records rather than from a guess at names.  docs/FORMAT.md gives its bytes.
#ifndef QCLEAVER_FORMAT_SET_JOURNAL_H
#define QCLEAVER_FORMAT_SET_JOURNAL_H

#include <stdint.h>

#include "format/head_part.h"
#include "platform/files.h"

enum JournalState {
    kJournalWriting = 1,  // the parts are being written under temporary names
    kJournalPlacing = 2,  // all are written: they are taking their names
};

struct SetJournal {
    JournalState state;
    TempSeries series;     // the new parts' temporary names, part i under number i
    TempSeries aside;      // where the earlier parts of the same names go meanwhile
    int64_t last_part;     // the new set's; while writing a stream, the most it may reach
    int recovery;          // the new set's recovery parts
    uint32_t head_check;   // placing: the CRC-32 of the new head part's last 272 bytes
};

// The most a journal takes on a drive, its temporary copy included.
const int64_t kMostJournalBytes = 2 * (78 + kPathSize);

// The journal's name for a set of that stem.
bool JournalName(const char *stem, char name[kPathSize]);

// Writes the journal of stem, under a temporary name first, then its own:
// a first one only where none is there, a later one in its place.
bool WriteJournal(const Folder *folder, const char *stem, const SetJournal *journal, bool first,
                  FileError *error);
bool RemoveJournal(const Folder *folder, const char *stem, FileError *error);

// ---- What a split and the finishing of one do alike ---------------------------

// The part that takes its name at each step: the slices first, then the
// recovery parts (-1, -2, ...), the head part last, so that the set claims
// nothing under the head part's name until it is whole.
int64_t PartPlacedAt(const SetJournal *journal, int64_t step);
// Moves a plain file that has part index's name (into name) to its aside
// name, then gives the part under its temporary name that name.  Anything
// else there, or a name taken meanwhile, stays: false, with the reason.
bool PlaceJournaledPart(const Folder *folder, const char *stem, const SetJournal *journal,
                        int64_t index, char name[kPathSize], FileError *error);
// Removes what is left under the journal's aside names; how many.
int64_t RemoveMovedAside(const Folder *folder, const SetJournal *journal);
// Whether the recovery part of that name is one of owner's set: it
// describes the same set, made by the same split.
bool IsRecoveryPartOfSet(const Folder *folder, const char *name, const HeadPart *owner);
// Removes the slices of an earlier set beyond last_part whose bytes its
// own table confirms; how many.
int64_t RemoveOwnSlicesBeyond(const Folder *folder, const char *stem, HeadPart *earlier,
                              int64_t last_part);

enum ResumeState {
    kNothingInterrupted,
    kInterruptedUndone,     // the parts it wrote are removed; the earlier set is as it was
    kInterruptedFinished,   // the new set has every name, and the earlier one's leftovers are gone
    kJournalNotOurs,        // a file of the journal's name that is no journal of this set: left alone
    kInterruptedStuck,      // the journal holds, but a name it needs is taken: left alone
};

// Finishes or undoes a split of stem that was stopped dead in folder: one
// whose parts were all written takes its names, the earlier set's parts
// moved aside go; one that was still writing is taken back.  Only the
// names the journal records are touched.
ResumeState ResumeInterruptedSplit(const Folder *folder, const char *stem, FileError *error);

// One line for the user: "<what>: an interrupted split of this set was ...".
void DescribeResume(ResumeState state, const char *stem, char *text, int size);

#endif
