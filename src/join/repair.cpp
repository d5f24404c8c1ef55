#include "join/repair.h"

#include <stdlib.h>

#include "format/copy.h"
#include "format/crc32.h"
#include "format/erasure.h"
#include "format/gf16.h"
#include "format/recovery.h"
#include "format/trailer.h"
#include "platform/text.h"

// What one repair holds: the recovery parts it uses, and its windows.
struct Repairing {
    PartSet *set;
    File *output;
    const int64_t *missing;
    int count;
    int64_t window;            // bytes of every block worked on at a time
    unsigned char *syndromes;  // what the missing parts put in each recovery block: count windows,
    int64_t stride;            // this far apart; or, with sums, count whole blocks
    unsigned char *block;      // one window read
    unsigned char *rebuilt;    // one window of a missing part
    uint16_t *inverse;         // count x count
    File *files;               // the recovery parts used, open
    RecoveryHeader *headers;
    int64_t *chosen;           // their census entries
    uint32_t *block_crcs;      // their blocks' CRC-32, as read
    uint32_t *part_crcs;       // the rebuilt parts', as written
    const RecoveryEncoder *sums;  // the syndromes' data sums, made while joining, or null
    Progress *progress;
    RepairResult *result;
};

// Reads exactly length bytes at offset.
static bool ReadExactly(File *file, int64_t offset, unsigned char *bytes, int64_t length, FileError *error)
{
    if (!FileSeek(file, offset, error))
        return false;
    for (int64_t got = 0; got < length;) {
        int n = FileRead(file, bytes + got, (int)(length - got), error);
        if (n == 0)
            SetError(error, kErrorEndedEarly, "read", file->name);
        if (n <= 0)
            return false;
        got += n;
    }
    return true;
}

// Fills every empty place among the recovery parts used with the next
// sound one the census found; false where there are too few.
static bool ChooseRecoveryParts(Repairing *repairing, int64_t *next)
{
    PartSet *set = repairing->set;
    Census &census = set->census;
    for (int s = 0; s < repairing->count; s++) {
        while (!IsOpen(&repairing->files[s])) {
            if (*next >= census.recovery_found) {
                int lacking = 0;
                for (int t = s; t < repairing->count; t++)
                    lacking += !IsOpen(&repairing->files[t]);
                repairing->result->more_needed = lacking;
                return false;
            }
            SliceEntry &entry = census.recovery[(*next)++];
            if (entry.fault != kPartSound)
                continue;
            char name[kPathSize];
            PartNameOf(set, entry.index, name);
            FileInfo info;
            if (!FileOpenRead(&set->folder, name, &repairing->files[s], 0, &info)) {
                entry.fault = kPartUnreadable;
                census.recovery_usable--;
                continue;
            }
            if (!IsRecoveryPartOf(set, &repairing->files[s], &info, entry.index, &repairing->headers[s])) {
                entry.fault = kPartDamaged;
                census.recovery_usable--;
                FileClose(&repairing->files[s], 0);
                continue;
            }
            entry.read = info.id;
            repairing->chosen[s] = *next - 1;
        }
    }
    return true;
}

// One window, [at, at + length) of every block: the syndromes from the
// parts there and the recovery blocks, then the missing parts from them.
static RepairStatus RepairWindow(Repairing *r, int64_t at, int64_t length)
{
    PartSet *set = r->set;
    int count = r->count;
    const int64_t *missing = r->missing;
    unsigned char *syndromes = r->syndromes + (r->sums ? at : 0);
    for (int64_t i = 0; !r->sums && i < (int64_t)count * r->window; i++)
        r->syndromes[i] = 0;
    for (int64_t j = 0; !r->sums && j <= set->trailer.last_part; j++) {
        if (missing < r->missing + count && *missing == j) {
            missing++;
            continue;
        }
        int64_t part_length = ExpectedPartLength(set, j);
        int64_t n = part_length - at < length ? part_length - at : length;
        if (n <= 0)
            continue;
        if (!ProgressStep(r->progress, n))
            return kRepairStopped;
        if (!ReadExactly(r->output, PartOffset(set, j) + at, r->block, n, &r->result->error))
            return kRepairReadFailed;
        for (int s = 0; s < count; s++) {
            int64_t recovery = -set->census.recovery[r->chosen[s]].index - 1;
            MulAddBytes(syndromes + s * r->stride, r->block, n, RecoveryCoefficient(recovery, j), at);
        }
    }
    for (int s = 0; s < count; s++) {
        FileError error;
        ClearError(&error);
        if (!ReadExactly(&r->files[s], RecoveryBlockAt(&r->headers[s]) + at, r->block, length, &error)) {
            r->block_crcs[s] = ~r->headers[s].block_crc;  // unreadable: judged damaged below
            continue;
        }
        r->block_crcs[s] = Crc32Update(r->block_crcs[s], r->block, (size_t)length);
        Gf16MulAdd(syndromes + s * r->stride, r->block, (size_t)length, 1);
    }
    for (int i = 0; i < count; i++) {
        int64_t n = ExpectedPartLength(set, r->missing[i]) - at;
        if (n > length)
            n = length;
        if (n <= 0)
            continue;
        for (int64_t b = 0; b < length; b++)
            r->rebuilt[b] = 0;
        for (int s = 0; s < count; s++)
            Gf16MulAdd(r->rebuilt, syndromes + s * r->stride, (size_t)length,
                       r->inverse[i * count + s]);
        r->part_crcs[i] = Crc32Update(r->part_crcs[i], r->rebuilt, (size_t)n);
        if (!FileSeek(r->output, PartOffset(set, r->missing[i]) + at, &r->result->error) ||
            !FileWrite(r->output, r->rebuilt, (int)n, &r->result->error))
            return kRepairWriteFailed;
    }
    return kRepairDone;
}

// Rebuilds the missing parts with the recovery parts chosen; a recovery
// part whose block turns out damaged is dropped, for another to be chosen.
static RepairStatus RebuildWith(Repairing *r, bool *dropped)
{
    PartSet *set = r->set;
    int64_t *numbers = (int64_t *)r->block;  // the recovery parts' own indices, for the matrix
    for (int s = 0; s < r->count; s++) {
        numbers[s] = -set->census.recovery[r->chosen[s]].index - 1;
        r->block_crcs[s] = 0;
    }
    for (int i = 0; i < r->count; i++)
        r->part_crcs[i] = 0;
    // Distinct indices on both sides: a Cauchy matrix's square pieces all invert.
    if (!RepairMatrix(r->missing, numbers, r->count, r->inverse))
        return kRepairMismatch;
    int64_t length = set->trailer.slice_length;
    for (int64_t at = 0; at < length; at += r->window) {
        RepairStatus status = RepairWindow(r, at, length - at < r->window ? length - at : r->window);
        if (status != kRepairDone)
            return status;
    }
    *dropped = false;
    for (int s = 0; s < r->count; s++) {
        if (r->block_crcs[s] == r->headers[s].block_crc)
            continue;
        set->census.recovery[r->chosen[s]].fault = kPartDamaged;
        set->census.recovery_usable--;
        FileClose(&r->files[s], 0);
        *dropped = true;
    }
    if (*dropped)
        return r->sums ? kRepairAgain : kRepairDone;
    PartTable table;
    OpenPartTable(&table, set);
    for (int i = 0; i < r->count; i++) {
        uint32_t recorded;
        if (!RecordedPartCrc(&table, r->missing[i], &recorded, &r->result->error) ||
            recorded != r->part_crcs[i]) {
            r->result->part = r->missing[i];
            return kRepairMismatch;
        }
    }
    return kRepairDone;
}

RepairResult RepairParts(PartSet *set, File *output, const int64_t *missing, int count,
                         Progress *progress, const RecoveryEncoder *sums)
{
    RepairResult result = {kRepairDone, FileError(), -1, 0, count};
    ClearError(&result.error);
    int64_t length = set->trailer.slice_length;
    Repairing r;
    r.set = set;
    r.output = output;
    r.missing = missing;
    r.count = count;
    r.progress = progress;
    r.result = &result;
    r.sums = sums && sums->blocks && sums->count == count ? sums : 0;
    // The windows of count syndromes, a block and a rebuilt part fit the
    // budget, and for a few parts the processor's cache, so that each byte
    // is fetched from memory once; blocks shorter are taken whole.
    int64_t window = kRepairMemory / (count + 2);
    window = window > (1 << 20) ? 1 << 20 : window < 65536 ? 65536 : window;
    r.window = (length < window ? length : window) & ~(int64_t)1;
    r.stride = r.sums ? length : r.window;
    r.syndromes = r.sums ? r.sums->blocks : (unsigned char *)malloc((size_t)(count * r.window));
    r.block = (unsigned char *)malloc((size_t)(r.window > 8 * count ? r.window : 8 * count));
    r.rebuilt = (unsigned char *)malloc((size_t)r.window);
    r.inverse = (uint16_t *)malloc((size_t)count * (size_t)count * sizeof(uint16_t));
    r.files = (File *)calloc((size_t)count, sizeof(File));
    r.headers = (RecoveryHeader *)calloc((size_t)count, sizeof(RecoveryHeader));
    r.chosen = (int64_t *)calloc((size_t)count, sizeof(int64_t));
    r.block_crcs = (uint32_t *)calloc((size_t)count, sizeof(uint32_t));
    r.part_crcs = (uint32_t *)calloc((size_t)count, sizeof(uint32_t));
    if (!r.syndromes || !r.block || !r.rebuilt || !r.inverse || !r.files || !r.headers || !r.chosen ||
        !r.block_crcs || !r.part_crcs || count > kMaxRecoveryParts) {
        result.status = kRepairNoMemory;
    } else {
        for (int s = 0; s < count; s++)
            r.files[s].handle = kNoHandle;
        if (progress && !r.sums)
            progress->total += OriginalSize(&set->trailer);
        int64_t next = 0;
        for (bool dropped = true; dropped && result.status == kRepairDone;) {
            if (!ChooseRecoveryParts(&r, &next)) {
                result.status = kRepairTooFew;
                break;
            }
            // The sums were made for the recovery parts first found sound.
            for (int s = 0; r.sums && s < count; s++)
                if (-set->census.recovery[r.chosen[s]].index - 1 != r.sums->numbers[s])
                    result.status = kRepairAgain;
            if (result.status == kRepairDone)
                result.status = RebuildWith(&r, &dropped);
        }
        for (int s = 0; s < count; s++)
            FileClose(&r.files[s], 0);
    }
    if (!r.sums)
        free(r.syndromes);
    free(r.block);
    free(r.rebuilt);
    free(r.inverse);
    free(r.files);
    free(r.headers);
    free(r.chosen);
    free(r.block_crcs);
    free(r.part_crcs);
    return result;
}

// ---- Writing the parts back -----------------------------------------------

struct WritingBack {
    PartSet *set;
    File *file;  // the whole input, rebuilt
    Progress *progress;
    WriteBackResult *result;
    TempSeries series;
    bool stopped;  // the user stopped it: no failure to tell
};

static void Made(WritingBack *w, int64_t index, PartFault fault)
{
    if (w->result->count < kFaultsNamed)
        w->result->faults[w->result->count] = FaultNote{index, fault};
    w->result->count++;
}

// The description a head part ends in, and a recovery part carries: where
// it starts in the set's file, and its length.
static int64_t DescriptionAt(const PartSet *set)
{
    return set->table_at - set->trailer.extension_length;
}

static int64_t DescriptionLength(const PartSet *set)
{
    return set->trailer.extension_length + PartTableSize(&set->trailer) + kTrailerSize;
}

// Copies the bytes [at, at + length) of from to the end of to.
static bool CopyRange(File *from, int64_t at, File *to, int64_t length, uint32_t *crc, FileError *error)
{
    return FileSeek(from, at, error) && CopyBytes(from, to, length, crc, 0, error) == kCopied;
}

// Slice index, from the file, checked against the part table.
static bool WriteSlice(WritingBack *w, File *part, int64_t index)
{
    PartSet *set = w->set;
    uint32_t crc = 0, recorded;
    PartTable table;
    OpenPartTable(&table, set);
    if (!CopyRange(w->file, PartOffset(set, index), part, ExpectedPartLength(set, index), &crc,
                   &w->result->error) ||
        !RecordedPartCrc(&table, index, &recorded, &w->result->error))
        return false;
    if (crc != recorded)
        return SetError(&w->result->error, kErrorEndedEarly, "rebuild", part->name);
    return true;
}

// A fresh head part: the set's own program where the head part there still
// holds it whole, else the one given for the set's system, then the
// stretch, and the description with the program's size and checksum.
// False with no_program where there is none.
static bool WriteHead(WritingBack *w, File *part, const ProgramSource *program)
{
    PartSet *set = w->set;
    FileError *error = &w->result->error;
    PartSetTrailer trailer = set->trailer;
    File head;
    head.handle = kNoHandle;
    File *own = set->described ? &head : &set->file;
    uint32_t crc = 0;
    bool sound = (!set->described || FileOpenRead(&set->folder, set->head_name, &head, 0)) &&
                 CopyRange(own, 0, 0, trailer.image_size, &crc, 0) && crc == trailer.image_crc;
    crc = 0;
    if (!sound)
        FileClose(&head, 0);
    if (sound) {
        bool copied = CopyRange(own, 0, part, trailer.image_size, &crc, error);
        FileClose(&head, 0);
        if (!copied)
            return false;
    } else if (program && program->for_windows == set->windows_program && (program->path || program->bytes)) {
        File image;
        FileInfo info;
        if (program->path && !FileOpenRead(0, program->path, &image, error, &info))
            return false;
        trailer.image_size = (int32_t)(program->path ? info.length : program->size);
        bool copied = program->path ? CopyRange(&image, 0, part, trailer.image_size, &crc, error)
                                    : WriteBytes(part, program->bytes, trailer.image_size, &crc, error) == kCopied;
        if (program->path)
            FileClose(&image, 0);
        if (!copied)
            return false;
        trailer.image_crc = crc;
    } else {
        w->result->no_program = true;
        return false;
    }
    unsigned char bytes[kTrailerSize];
    EncodeTrailer(&trailer, bytes);
    return CopyRange(w->file, 0, part, set->head_data, 0, error) &&
           CopyRange(&set->file, DescriptionAt(set), part, DescriptionLength(set) - kTrailerSize, 0, error) &&
           FileWrite(part, bytes, kTrailerSize, error);
}

// Whether recovery part number is missing or damaged: its header not of
// this set, or its block not its checksum.
static bool RecoveryAtFault(WritingBack *w, int64_t number, PartFault *fault)
{
    PartSet *set = w->set;
    const Census &census = set->census;
    *fault = kPartMissing;
    for (int64_t k = 0; k < census.recovery_found; k++)
        if (census.recovery[k].index == -number)
            *fault = census.recovery[k].fault;
    if (*fault != kPartSound)
        return true;
    char name[kPathSize];
    PartNameOf(set, -number, name);
    File part;
    FileInfo info;
    RecoveryHeader header;
    uint32_t crc = 0;
    bool sound = FileOpenRead(&set->folder, name, &part, 0, &info) &&
                 IsRecoveryPartOf(set, &part, &info, -number, &header) &&
                 CopyRange(&part, RecoveryBlockAt(&header), 0, header.block_length, &crc, 0) &&
                 crc == header.block_crc;
    FileClose(&part, 0);
    *fault = sound ? kPartSound : kPartDamaged;
    return !sound;
}

// Makes the recovery parts numbered in numbers again from the file, a
// window of every block at a time.
static bool WriteRecovery(WritingBack *w, File *parts, const int64_t *numbers, int count)
{
    PartSet *set = w->set;
    FileError *error = &w->result->error;
    int64_t length = set->trailer.slice_length, header_length = set->recovery_header;
    int64_t window = kRepairMemory / (count + 1);
    window = (length < window ? length : window < 65536 ? 65536 : window) & ~(int64_t)1;
    unsigned char *blocks = (unsigned char *)malloc((size_t)(count * window));
    unsigned char *read = (unsigned char *)malloc((size_t)window);
    uint32_t *crcs = (uint32_t *)calloc((size_t)count, sizeof(uint32_t));
    bool done = blocks && read && crcs;
    if (!done)
        SetError(error, kErrorNoSpace, "rebuild the recovery parts in", set->folder.path);
    for (int64_t at = 0; done && at < length; at += window) {
        int64_t n = length - at < window ? length - at : window;
        for (int64_t i = 0; i < count * n; i++)
            blocks[i] = 0;
        for (int64_t j = 0; done && j <= set->trailer.last_part; j++) {
            int64_t m = ExpectedPartLength(set, j) - at;
            if (m > n)
                m = n;
            if (m <= 0)
                continue;
            w->stopped = !ProgressStep(w->progress, 0);
            done = !w->stopped && ReadExactly(w->file, PartOffset(set, j) + at, read, m, error);
            for (int q = 0; done && q < count; q++)
                MulAddBytes(blocks + q * n, read, m, RecoveryCoefficient(numbers[q] - 1, j), at);
        }
        for (int q = 0; done && q < count; q++) {
            crcs[q] = Crc32Update(crcs[q], blocks + q * n, (size_t)n);
            done = FileSeek(&parts[q], header_length + at, error) &&
                   WriteBytes(&parts[q], blocks + q * n, n, 0, error) == kCopied;
        }
    }
    for (int q = 0; done && q < count; q++) {
        RecoveryHeader header = {(int32_t)numbers[q], set->extension.recovery_count,
                                 set->windows_program ? kRecoveryWindowsHead : 0, set->head_data, length,
                                 crcs[q], DescriptionLength(set)};
        done = WriteRecoveryHeader(&parts[q], &header, &set->file, DescriptionAt(set), error);
    }
    free(blocks);
    free(read);
    free(crcs);
    return done;
}

// Gives a part written under its temporary name its own: what has that
// name is renamed aside first, "<name>.damaged" (or ".damaged2" ...).
static bool PlacePart(WritingBack *w, int64_t index)
{
    PartSet *set = w->set;
    char name[kPathSize], temp[kPathSize], aside[kPathSize];
    PartNameOf(set, index, name);
    TempName(&w->series, index, temp);
    if (FileKindOf(&set->folder, name) != kNothingThere) {
        bool moved = false;
        for (int n = 1; !moved && n <= 9; n++) {
            CopyText(aside, kPathSize, name);
            AppendText(aside, kPathSize, ".damaged");
            if (n > 1)
                AppendDecimal(aside, kPathSize, n);
            moved = FileRenameNew(&set->folder, name, aside, name, 0);
        }
        if (!moved)
            return SetError(&w->result->error, kErrorExists, "rename", name);
        if (w->result->set_aside++ == 0)
            CopyText(w->result->aside, kPathSize, aside);
    }
    return FileRenameNew(&set->folder, temp, name, name, &w->result->error);
}

WriteBackResult WriteBackParts(PartSet *set, File *file, const int64_t *rebuilt, const PartFault *faults,
                               int count, const ProgramSource *program, Progress *progress)
{
    WriteBackResult result;
    result.status = kRepairDone;
    ClearError(&result.error);
    result.count = result.set_aside = 0;
    result.aside[0] = 0;
    result.no_program = false;
    WritingBack w = {set, file, progress, &result, TempSeries(), false};
    NewTempSeries(&w.series);
    // Every part to write, under a temporary name: the slices and the head
    // part rebuilt, then the recovery parts at fault.
    int64_t recovery = set->extension.recovery_count;
    int64_t *indices = (int64_t *)malloc((size_t)(count + recovery) * sizeof(int64_t));
    int64_t *numbers = (int64_t *)malloc((size_t)(recovery + 1) * sizeof(int64_t));
    File *parts = (File *)calloc((size_t)(count + recovery), sizeof(File));
    int made = 0, recovery_made = 0;
    bool done = indices && numbers && parts;
    if (!done)
        SetError(&result.error, kErrorNoSpace, "repair the set in", set->folder.path);
    for (int i = 0; done && i < count; i++) {
        char name[kPathSize], temp[kPathSize];
        PartNameOf(set, rebuilt[i], name);
        TempName(&w.series, rebuilt[i], temp);
        File *part = &parts[made];
        done = FileCreate(&set->folder, temp, name, rebuilt[i] == 0 ? kProgramFile : kDataFile, part,
                          &result.error);
        if (!done)
            break;
        indices[made++] = rebuilt[i];
        done = rebuilt[i] == 0 ? WriteHead(&w, part, program) : WriteSlice(&w, part, rebuilt[i]);
        if (!done && result.no_program) {
            // No program for the head part: the others are still made.
            FileClose(part, 0);
            FileDelete(&set->folder, temp, 0);
            made--;
            done = true;
            continue;
        }
        Made(&w, rebuilt[i], faults[i]);
    }
    for (int64_t number = 1; done && number <= recovery; number++) {
        PartFault fault;
        if (!RecoveryAtFault(&w, number, &fault))
            continue;
        char name[kPathSize], temp[kPathSize];
        PartNameOf(set, -number, name);
        TempName(&w.series, -number, temp);
        done = FileCreate(&set->folder, temp, name, kDataFile, &parts[made], &result.error);
        if (done) {
            indices[made++] = -number;
            numbers[recovery_made++] = number;
            Made(&w, -number, fault);
        }
    }
    if (done && recovery_made > 0)
        done = WriteRecovery(&w, parts + made - recovery_made, numbers, recovery_made);
    for (int i = 0; i < made; i++)
        done = FileClose(&parts[i], done ? &result.error : 0) && done;
    // The slices, the recovery parts, and the head part last, as a split
    // places them.
    for (int pass = 0; done && pass < 2; pass++)
        for (int i = 0; done && i < made; i++)
            if ((indices[i] == 0) == (pass == 1))
                done = PlacePart(&w, indices[i]);
    if (!done) {
        for (int i = 0; indices && i < made; i++) {
            char temp[kPathSize];
            TempName(&w.series, indices[i], temp);
            FileDelete(&set->folder, temp, 0);
        }
        result.status = w.stopped ? kRepairStopped : kRepairWriteFailed;
    }
    free(indices);
    free(numbers);
    free(parts);
    return result;
}
