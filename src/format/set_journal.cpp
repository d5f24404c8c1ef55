#include "format/set_journal.h"

#include <stdlib.h>

#include "math/crc32.h"
#include "transfer/copy.h"
#include "format/part_names.h"
#include "format/recovery.h"
#include "format/trailer.h"
#include "platform/text.h"

static const unsigned char kJournalMagic[4] = {'Q', 'C', 'J', '1'};
enum {
    kSeriesField = 24,
    kJournalFixed = 74,  // magic, state, two series, last part, recovery, head check, stem length
    kJournalMaxSize = kJournalFixed + kPathSize + 4,
};

bool JournalName(const char *stem, char name[kPathSize])
{
    return FormatPartName(name, stem, 0) && AppendText(name, kPathSize, ".qcj");
}

static void JournalTemp(const SetJournal *journal, char name[kPathSize])
{
    CopyText(name, kPathSize, journal->series.stem);
    AppendText(name, kPathSize, "-j.tmp");
}

static void JournalWrite64(unsigned char *at, int64_t value)
{
    WriteUint32(at, (uint32_t)value);
    WriteUint32(at + 4, (uint32_t)((uint64_t)value >> 32));
}

static int64_t JournalRead64(const unsigned char *at)
{
    return (int64_t)((uint64_t)ReadUint32(at) | (uint64_t)ReadUint32(at + 4) << 32);
}

static int EncodeJournal(const char *stem, const SetJournal *j, unsigned char bytes[kJournalMaxSize])
{
    int stem_length = TextLength(stem);
    for (int i = 0; i < kJournalFixed; i++)
        bytes[i] = 0;
    for (int i = 0; i < 4; i++)
        bytes[i] = kJournalMagic[i];
    WriteUint32(bytes + 4, (uint32_t)j->state);
    for (int i = 0; i < kSeriesField && j->series.stem[i]; i++)
        bytes[8 + i] = (unsigned char)j->series.stem[i];
    for (int i = 0; i < kSeriesField && j->aside.stem[i]; i++)
        bytes[32 + i] = (unsigned char)j->aside.stem[i];
    JournalWrite64(bytes + 56, j->last_part);
    WriteUint32(bytes + 64, (uint32_t)j->recovery);
    WriteUint32(bytes + 68, j->head_check);
    bytes[72] = (unsigned char)stem_length;
    bytes[73] = (unsigned char)(stem_length >> 8);
    for (int i = 0; i < stem_length; i++)
        bytes[kJournalFixed + i] = (unsigned char)stem[i];
    int length = kJournalFixed + stem_length;
    WriteUint32(bytes + length, Crc32Update(0, bytes, (size_t)length));
    return length + 4;
}

// A series as this program names one: "qcleaver-" and its letters.
static bool ReadSeries(const unsigned char *field, TempSeries *series)
{
    static const char kPrefix[] = "qcleaver-";
    int n = 0;
    for (; n < kSeriesField - 1 && field[n]; n++)
        series->stem[n] = (char)field[n];
    series->stem[n] = 0;
    for (int i = n; i < kSeriesField; i++)
        if (field[i])
            return false;
    for (int i = 0; i < 9; i++)
        if (series->stem[i] != kPrefix[i])
            return false;
    for (int i = 9; i < n; i++)
        if (!((series->stem[i] >= 'a' && series->stem[i] <= 'z') || (series->stem[i] >= '2' && series->stem[i] <= '7')))
            return false;
    return n > 9;
}

// The journal of stem in folder, where it is one: this program's bytes,
// whole, of this very stem, naming two series of this program's names.
static bool ReadJournal(const Folder *folder, const char *stem, SetJournal *j)
{
    char name[kPathSize];
    File file;
    unsigned char bytes[kJournalMaxSize + 1];
    if (!JournalName(stem, name) || FileKindOf(folder, name) != kPlainFile ||
        !FileOpenRead(folder, name, &file, 0))
        return false;
    int length = 0;
    for (int n; length < (int)sizeof bytes && (n = FileRead(&file, bytes + length, (int)sizeof bytes - length, 0)) > 0;)
        length += n;
    FileClose(&file, 0);
    int stem_length = TextLength(stem);
    if (length != kJournalFixed + stem_length + 4 || bytes[72] != (unsigned char)stem_length ||
        bytes[73] != (unsigned char)(stem_length >> 8) ||
        ReadUint32(bytes + length - 4) != Crc32Update(0, bytes, (size_t)length - 4))
        return false;
    for (int i = 0; i < 4; i++)
        if (bytes[i] != kJournalMagic[i])
            return false;
    for (int i = 0; i < stem_length; i++)
        if (bytes[kJournalFixed + i] != (unsigned char)stem[i])
            return false;
    uint32_t state = ReadUint32(bytes + 4);
    j->state = state == kJournalPlacing ? kJournalPlacing : kJournalWriting;
    j->last_part = JournalRead64(bytes + 56);
    j->recovery = (int)ReadUint32(bytes + 64);
    j->head_check = ReadUint32(bytes + 68);
    return (state == kJournalWriting || state == kJournalPlacing) && ReadSeries(bytes + 8, &j->series) &&
           ReadSeries(bytes + 32, &j->aside) && j->last_part >= 1 && j->last_part <= 2147483647 &&
           j->recovery >= 0 && j->recovery <= 1000;
}

bool WriteJournal(const Folder *folder, const char *stem, const SetJournal *journal, bool first,
                  FileError *error)
{
    char name[kPathSize], temp[kPathSize];
    if (!JournalName(stem, name))
        return SetError(error, kErrorNameTooLong, "name", stem);
    JournalTemp(journal, temp);
    unsigned char bytes[kJournalMaxSize];
    int length = EncodeJournal(stem, journal, bytes);
    File file;
    if (!FileCreate(folder, temp, name, kDataFile, &file, error))
        return false;
    bool written = FileWrite(&file, bytes, length, error);
    if (!FileClose(&file, error) || !written ||
        !(first ? FileRenameNew(folder, temp, name, name, error) : FileRename(folder, temp, name, name, error))) {
        FileDelete(folder, temp, 0);
        return false;
    }
    return true;
}

bool RemoveJournal(const Folder *folder, const char *stem, FileError *error)
{
    char name[kPathSize];
    return JournalName(stem, name) && FileDelete(folder, name, error);
}

// ---- Taking back a split that was still writing ------------------------------

// The journal's temporary names found in the folder, by one pass over it.
struct Leftovers {
    const SetJournal *journal;
    int prefix_length;
    int64_t *numbers;
    int64_t count, capacity;
    bool journal_temp;
};

static bool CollectLeftover(void *context, const FolderEntry *entry)
{
    Leftovers *l = (Leftovers *)context;
    const char *p = entry->name + l->prefix_length;  // past "<series>-"
    if (TextEqual(p, "j.tmp")) {
        l->journal_temp = true;
        return true;
    }
    bool negative = *p == '-';
    p += negative;
    int64_t number = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9' && digits < 12; p++, digits++)
        number = number * 10 + (*p - '0');
    number = negative ? -number : number;
    if (!digits || !TextEqual(p, ".tmp") || number < -l->journal->recovery || number > l->journal->last_part)
        return true;
    if (l->count == l->capacity) {
        int64_t more = l->capacity ? 2 * l->capacity : 64;
        int64_t *grown = (int64_t *)realloc(l->numbers, (size_t)more * sizeof(int64_t));
        if (!grown)
            return false;
        l->numbers = grown;
        l->capacity = more;
    }
    l->numbers[l->count++] = number;
    return true;
}

static bool RemoveTemporaries(const Folder *folder, const SetJournal *j, FileError *error)
{
    char prefix[kPathSize], name[kPathSize];
    CopyText(prefix, kPathSize, j->series.stem);
    AppendText(prefix, kPathSize, "-");
    Leftovers l = {j, TextLength(prefix), 0, 0, 0, false};
    bool listed = ListFolder(folder, prefix, CollectLeftover, &l, error);
    bool removed = listed;
    for (int64_t i = 0; i < l.count; i++) {
        TempName(&j->series, l.numbers[i], name);
        removed = (FileKindOf(folder, name) == kPlainFile && FileDelete(folder, name, error)) && removed;
    }
    free(l.numbers);
    JournalTemp(j, name);
    return removed && (!l.journal_temp || FileDelete(folder, name, error));
}

// ---- Finishing a split whose parts were all written ----------------------------

int64_t PartPlacedAt(const SetJournal *j, int64_t step)
{
    if (step < j->last_part)
        return step + 1;
    return step < j->last_part + j->recovery ? j->last_part - step - 1 : 0;
}

bool PlaceJournaledPart(const Folder *folder, const char *stem, const SetJournal *j, int64_t index,
                        char name[kPathSize], FileError *error)
{
    char temp[kPathSize], aside[kPathSize];
    FormatPartName(name, stem, index);
    TempName(&j->series, index, temp);
    TempName(&j->aside, index, aside);
    FileKind there = FileKindOf(folder, name);
    if ((there != kNothingThere && there != kPlainFile) ||
        (there == kPlainFile && !FileRenameNew(folder, name, aside, name, error)) ||
        !FileRenameNew(folder, temp, name, name, error))
        return SetError(error, kErrorExists, "rename", name);
    return true;
}

int64_t RemoveMovedAside(const Folder *folder, const SetJournal *j)
{
    char name[kPathSize];
    int64_t removed = 0;
    for (int64_t i = -j->recovery; i <= j->last_part; i++) {
        TempName(&j->aside, i, name);
        removed += FileKindOf(folder, name) == kPlainFile && FileDelete(folder, name, 0);
    }
    return removed;
}

// Whether the head part under name is the one the journal was written for.
static bool IsJournalsHead(const Folder *folder, const char *name, const char *stem, const SetJournal *j,
                           char output[kPathSize])
{
    HeadPart head;
    if (FileKindOf(folder, name) != kPlainFile || !FileOpenRead(folder, name, &head.file, 0, &head.info))
        return false;
    unsigned char trailer[kTrailerSize];
    bool ours = ReadHeadPart(&head, 0) == kHeadSound && TextEqual(head.stem, stem) &&
                head.trailer.last_part == j->last_part && head.extension.recovery_count == j->recovery &&
                FileReadAt(&head.file, head.info.length - kTrailerSize, trailer, kTrailerSize, 0) &&
                Crc32Update(0, trailer, kTrailerSize) == j->head_check;
    CopyText(output, kPathSize, head.output);
    FileClose(&head.file, 0);
    return ours;
}

// Each part still under its temporary name takes its own, what has that
// name moved aside first: the rest of what the split was doing.
static bool PlaceTheRest(const Folder *folder, const char *stem, const SetJournal *j, FileError *error)
{
    char name[kPathSize], temp[kPathSize];
    for (int64_t step = 0; step <= j->last_part + j->recovery; step++) {
        int64_t index = PartPlacedAt(j, step);
        TempName(&j->series, index, temp);
        FileKind kind = FileKindOf(folder, temp);
        if (kind == kNothingThere)
            continue;  // placed already
        FormatPartName(name, stem, index);
        if (kind != kPlainFile || !PlaceJournaledPart(folder, stem, j, index, name, error))
            return SetError(error, kErrorExists, "rename", name);
    }
    return true;
}

bool IsRecoveryPartOfSet(const Folder *folder, const char *name, const HeadPart *owner)
{
    HeadPart probe;
    RecoveryHeader header;
    if (FileKindOf(folder, name) != kPlainFile || !FileOpenRead(folder, name, &probe.file, 0, &probe.info))
        return false;
    bool of = ReadRecoveryPart(&probe, &header, 0) == kHeadSound && SameSet(&probe.trailer, &owner->trailer) &&
              SameIdentity(&probe.extension, &owner->extension);
    FileClose(&probe.file, 0);
    return of;
}

int64_t RemoveOwnSlicesBeyond(const Folder *folder, const char *stem, HeadPart *earlier, int64_t last_part)
{
    char name[kPathSize];
    PartTable table;
    OpenPartTable(&table, earlier);
    uint32_t recorded;
    int64_t removed = 0;
    for (int64_t i = last_part + 1; RecordedPartCrc(&table, i, &recorded, 0); i++) {
        FormatPartName(name, stem, i);
        File part;
        uint32_t crc = 0;
        int64_t length;
        // A read-only file or a link of that name is the user's, whatever it holds.
        bool own = FileKindOf(folder, name) == kPlainFile && FileOpenRead(folder, name, &part, 0) &&
                   CopyAvailable(&part, 0, INT64_MAX, &length, &crc, 0, 0) == kCopied && crc == recorded;
        FileClose(&part, 0);
        removed += own && FileDelete(folder, name, 0);
    }
    return removed;
}

// The earlier set of the same file, moved aside under part 0's aside name:
// its slices and recovery parts beyond the new set's, where its own table
// and description say they are its own, go, then everything moved aside.
static void RemoveEarlierParts(const Folder *folder, const char *stem, const SetJournal *j,
                               const char *output)
{
    char name[kPathSize];
    HeadPart earlier;
    TempName(&j->aside, 0, name);
    if (FileKindOf(folder, name) == kPlainFile && FileOpenRead(folder, name, &earlier.file, 0, &earlier.info)) {
        if (ReadHeadPart(&earlier, 0) == kHeadSound && TextEqual(earlier.output, output)) {
            for (int k = j->recovery + 1; k <= earlier.extension.recovery_count; k++) {
                FormatPartName(name, stem, -k);
                if (IsRecoveryPartOfSet(folder, name, &earlier))
                    FileDelete(folder, name, 0);
            }
            RemoveOwnSlicesBeyond(folder, stem, &earlier, j->last_part);
        }
        FileClose(&earlier.file, 0);  // Windows deletes no file held open
    }
    RemoveMovedAside(folder, j);
}

ResumeState ResumeInterruptedSplit(const Folder *folder, const char *stem, FileError *error)
{
    char name[kPathSize];
    if (!JournalName(stem, name) || FileKindOf(folder, name) == kNothingThere)
        return kNothingInterrupted;
    SetJournal j;
    if (!ReadJournal(folder, stem, &j))
        return kJournalNotOurs;
    if (j.state == kJournalWriting) {
        // Nothing took a part's name yet: the parts written go, and so the
        // journal, whatever was left of the writing.
        if (!RemoveTemporaries(folder, &j, error) || !RemoveJournal(folder, stem, error))
            return kInterruptedStuck;
        return kInterruptedUndone;
    }
    // Every part was written and closed: the set is whole, and is finished
    // where its head part, under either name, is the one the journal names.
    char temp[kPathSize], head[kPathSize], output[kPathSize];
    TempName(&j.series, 0, temp);
    FormatPartName(head, stem, 0);
    if (!IsJournalsHead(folder, FileKindOf(folder, temp) == kNothingThere ? head : temp, stem, &j, output) ||
        !PlaceTheRest(folder, stem, &j, error))
        return kInterruptedStuck;
    RemoveEarlierParts(folder, stem, &j, output);
    if (!RemoveTemporaries(folder, &j, error) || !RemoveJournal(folder, stem, error))
        return kInterruptedStuck;
    return kInterruptedFinished;
}

void DescribeResume(ResumeState state, const char *stem, char *text, int size)
{
    static const char *const kSaid[] = {
        "", "%s: an interrupted split of this set was undone; the parts it wrote are removed",
        "%s: an interrupted split of this set was finished",
        "%s is no journal of this set's by this program: it is left alone",
        "%s: an interrupted split of this set could not be finished, and is left as it is"};
    char name[kPathSize], shown[kPathSize] = "";
    if (state == kJournalNotOurs || state == kInterruptedStuck)
        JournalName(stem, name);
    else
        FormatPartName(name, stem, 0);
    AppendName(shown, sizeof shown, name);
    FormatText(text, size, kSaid[state], shown);
}
