#include "join/repair.h"

#include <stdlib.h>
#include <string.h>

#include "transfer/copy.h"
#include "math/crc32.h"
#include "math/erasure.h"
#include "math/gf16.h"
#include "format/recovery.h"
#include "format/trailer.h"
#include "platform/text.h"

// ---- Rebuilding stretches ---------------------------------------------------

// Where each data part's block is read, and where its rebuilt stretches
// go; and the recovery parts, open where they are of the set.
struct StretchSources {
    CodeInput *data;       // parts entries
    CodeInput *targets;    // parts entries: file null where the part is not rebuilt
    File *recovery;        // recovery entries
    int64_t *recovery_at;  // where each one's block starts
};

// What one thread keeps: its windows; the rows it codes, the matrix over
// its inputs and where the rows go; for a rebuild, the pattern of bad
// stretches and recovery stretches chosen that the matrix was made for,
// which runs of stretches share (a lost part is bad everywhere).
struct StretchThread {
    CodeScratch scratch;
    int count;              // rows: bad stretches at the place worked on
    int64_t *bad;           // their data parts
    int64_t *chosen;        // the recovery numbers (0: "_R01") used for them
    int64_t *last_bad, *last_chosen;
    int64_t *next_bad, *next_chosen;  // the next place's, to tell whether it shares the run
    int last_count;         // -1: no matrix made yet
    uint16_t *inverse;      // count x count
    uint16_t *matrix;       // count x parts: over the sound data parts, then the chosen
    CodeInput *inputs;      // parts
    CodeInput *outputs;     // count: where the rows go
    uint32_t *crcs;         // count x at_once: the coded stretches', as written
    uint32_t *input_crcs;   // parts x at_once: the inputs', where recovery parts are made again
    FileError error;
    int64_t lacking;        // the most recovery stretches lacking at a place
    int64_t mismatch;       // a data part rebuilt wrong, or changed since it was judged; or -1
};

// One pass over every place of the blocks, on one or two threads: a
// rebuild of the bad data stretches, or the recovery parts remade[] made
// again into remade_to[], with the stretch checksums they carry in table.
struct StretchRun {
    PartSet *set;
    StretchMap *map;
    const StretchSources *sources;
    Progress *progress;
    const int64_t *remade = 0;
    const CodeInput *remade_to = 0;
    int remade_count = 0;
    unsigned char *table = 0;
    StretchThread threads[2] = {};
    int64_t at_once = 1;  // places a thread takes at a time
    int thread_count = 1;
    bool stopped = false;
};

// Whether recovery number k's stretch at place is sound, judged now where
// it is not known yet.
static bool RecoveryStretchSound(StretchRun *r, StretchThread *t, int64_t k, int64_t place)
{
    StretchMap *map = r->map;
    int64_t slot = RecoverySlot(map, -(k + 1));
    unsigned char *state = StretchStateOf(map, slot, place);
    if (*state == kStretchUnknown) {
        File *file = &r->sources->recovery[k];
        int64_t from = place * map->stretch, length = r->set->trailer.slice_length - from;
        length = length < map->stretch ? length : map->stretch;
        uint32_t crc = 0;
        bool read = IsOpen(file) && ReadStretchCrc(file, r->sources->recovery_at[k] + from, length, t->scratch.input,
                                                   t->scratch.window, &crc, 0);
        *state = read && crc == map->crcs[slot * map->per_block + place] ? kStretchSound : kStretchBad;
    }
    return *state == kStretchSound;
}

// The matrix over the inputs: sound data parts in order, then the chosen
// recovery parts.  Decoding is encoding with the inverted rows: each lost
// block is a sum of the chosen recovery blocks, less what the sound data
// blocks put in them.
static bool MakeMatrix(StretchRun *r, StretchThread *t)
{
    int m = t->count;
    int64_t parts = r->map->parts;
    if (m == t->last_count && !memcmp(t->bad, t->last_bad, (size_t)m * sizeof(int64_t)) &&
        !memcmp(t->chosen, t->last_chosen, (size_t)m * sizeof(int64_t)))
        return true;
    if (!RepairMatrix(t->bad, t->chosen, m, t->inverse))
        return false;
    int column = 0;
    int64_t b = 0;
    for (int64_t j = 0; j < parts; j++) {
        if (b < m && t->bad[b] == j) {
            b++;
            continue;
        }
        for (int i = 0; i < m; i++) {
            uint16_t sum = 0;
            for (int s = 0; s < m; s++)
                sum ^= Gf16Mul(t->inverse[i * m + s], RecoveryCoefficient(t->chosen[s], j));
            t->matrix[i * parts + column] = sum;
        }
        t->inputs[column++] = r->sources->data[j];
    }
    for (int s = 0; s < m; s++) {
        for (int i = 0; i < m; i++)
            t->matrix[i * parts + column] = t->inverse[i * m + s];
        t->inputs[column++] = CodeInput{&r->sources->recovery[t->chosen[s]], r->sources->recovery_at[t->chosen[s]],
                                        r->set->trailer.slice_length};
    }
    memcpy(t->last_bad, t->bad, (size_t)m * sizeof(int64_t));
    memcpy(t->last_chosen, t->chosen, (size_t)m * sizeof(int64_t));
    t->last_count = m;
    return true;
}

// The bad data stretches at place, and the recovery stretches chosen for
// them; their count, or -1 where too few recovery stretches are sound there.
static int PatternAt(StretchRun *r, StretchThread *t, int64_t place, int64_t *bad, int64_t *chosen)
{
    StretchMap *map = r->map;
    int64_t count = 0, found = 0;
    for (int64_t j = 0; j < map->parts; j++)
        if (*StretchStateOf(map, j, place) == kStretchBad) {
            if (count < map->recovery)
                bad[count] = j;
            count++;
        }
    for (int64_t k = 0; k < map->recovery && (found < count || count > map->recovery); k++)
        if (RecoveryStretchSound(r, t, k, place)) {
            if (found < map->recovery)
                chosen[found] = k;
            found++;
        }
    if (found >= count)
        return (int)count;
    t->lacking = count - found > t->lacking ? count - found : t->lacking;
    return -1;
}

// Codes the places [place, next) with the thread's matrix: its rows into
// their outputs, each output stretch's CRC-32 into t->crcs, and each input
// stretch's into input_crcs where not null; counted in progress.
static bool CodeStretches(StretchRun *r, StretchThread *t, int64_t place, int64_t next, uint32_t *input_crcs)
{
    StretchMap *map = r->map;
    int64_t from = place * map->stretch, length = r->set->trailer.slice_length - from;
    length = length < (next - place) * map->stretch ? length : (next - place) * map->stretch;
    for (int64_t i = 0; i < t->count * r->at_once; i++)
        t->crcs[i] = 0;
    BlockSink sink = {t->outputs, t->crcs, r->at_once, map->stretch, from, &t->error};
    if (!CodeRange(t->inputs, (int)map->parts, t->matrix, t->count, from, length, &t->scratch, WriteToBlock, &sink,
                   input_crcs, map->stretch, &t->error))
        return false;
    if (t == r->threads && !ProgressStep(r->progress, length * t->count * r->thread_count)) {
        r->stopped = true;
        return false;
    }
    return true;
}

// A run of places that share their bad stretches and chosen recovery
// stretches is read and summed in one piece; each rebuilt stretch is
// checked against its checksum.
static bool RebuildPlaces(void *context, int thread, int64_t chunk)
{
    StretchRun *r = (StretchRun *)context;
    StretchThread *t = &r->threads[thread];
    StretchMap *map = r->map;
    int64_t first = chunk * r->at_once, end = first + r->at_once < map->per_block ? first + r->at_once : map->per_block;
    for (int64_t place = first; place < end;) {
        t->count = PatternAt(r, t, place, t->bad, t->chosen);
        int64_t next = place + 1;
        for (; t->count > 0 && next < end; next++)
            if (PatternAt(r, t, next, t->next_bad, t->next_chosen) != t->count ||
                memcmp(t->bad, t->next_bad, (size_t)t->count * sizeof(int64_t)) ||
                memcmp(t->chosen, t->next_chosen, (size_t)t->count * sizeof(int64_t)))
                break;
        if (t->count <= 0) {
            place = next;
            continue;
        }
        if (!MakeMatrix(r, t))
            return false;
        for (int i = 0; i < t->count; i++)
            t->outputs[i] = r->sources->targets[t->bad[i]];
        if (!CodeStretches(r, t, place, next, 0))
            return false;
        for (int i = 0; i < t->count; i++)
            for (int64_t p = place; p < next; p++) {
                if (t->crcs[i * r->at_once + p - place] != map->crcs[t->bad[i] * map->per_block + p]) {
                    t->mismatch = t->bad[i];
                    return false;
                }
                *StretchStateOf(map, t->bad[i], p) = kStretchSound;
            }
        place = next;
    }
    return true;
}

// Recovery parts made again: each chunk of places coded whole from every
// data part, now sound; the stretch checksums of every part as they come,
// the data parts' checked against those they were judged by.
static bool RemakePlaces(void *context, int thread, int64_t chunk)
{
    StretchRun *r = (StretchRun *)context;
    StretchThread *t = &r->threads[thread];
    StretchMap *map = r->map;
    int64_t parts = map->parts, first = chunk * r->at_once;
    int64_t end = first + r->at_once < map->per_block ? first + r->at_once : map->per_block;
    if (t->last_count < 0) {  // the rows, the same at every place
        t->count = t->last_count = r->remade_count;
        for (int i = 0; i < t->count; i++) {
            t->outputs[i] = r->remade_to[i];
            for (int64_t j = 0; j < parts; j++)
                t->matrix[i * parts + j] = RecoveryCoefficient(r->remade[i], j);
        }
        memcpy(t->inputs, r->sources->data, (size_t)parts * sizeof(CodeInput));
    }
    if (!CodeStretches(r, t, first, end, t->input_crcs))
        return false;
    for (int64_t place = first; place < end; place++) {
        for (int64_t j = 0; j < parts; j++) {
            uint32_t crc = t->input_crcs[j * (end - first) + place - first];
            if (map->known && map->crcs[j * map->per_block + place] != crc) {
                t->mismatch = j;
                return false;
            }
            WriteUint32(r->table + 4 * (j * map->per_block + place), crc);
        }
        for (int i = 0; i < t->count; i++)
            WriteUint32(r->table + 4 * ((parts + r->remade[i]) * map->per_block + place),
                        t->crcs[i * r->at_once + place - first]);
    }
    return true;
}

// Room for a thread that codes up to rows rows over parts inputs, at_once
// places at a time, in one block; input_crcs only where asked for.
static bool StartThread(StretchThread *t, int64_t parts, int rows, int64_t at_once, bool input_crcs)
{
    memset(t, 0, sizeof *t);
    t->mismatch = -1;
    t->last_count = -1;
    size_t m = (size_t)rows + 1, n = (size_t)parts;
    size_t bytes = 6 * m * sizeof(int64_t) + (n + m) * sizeof(CodeInput) +
                   (m + (input_crcs ? n : 0)) * (size_t)at_once * sizeof(uint32_t) + (m + n) * m * sizeof(uint16_t);
    t->bad = (int64_t *)malloc(bytes);
    if (!t->bad)
        return false;
    t->chosen = t->bad + m;
    t->last_bad = t->chosen + m;
    t->last_chosen = t->last_bad + m;
    t->next_bad = t->last_chosen + m;
    t->next_chosen = t->next_bad + m;
    t->inputs = (CodeInput *)(t->next_chosen + m);
    t->outputs = t->inputs + n;
    t->crcs = (uint32_t *)(t->outputs + m);
    t->input_crcs = input_crcs ? t->crcs + m * (size_t)at_once : 0;
    t->inverse = (uint16_t *)(t->crcs + (m + (input_crcs ? n : 0)) * (size_t)at_once);
    t->matrix = t->inverse + m * m;
    return StartScratch(&t->scratch, rows, CodeWindow(rows));
}

static void EndThread(StretchThread *t)
{
    free(t->bad);
    EndScratch(&t->scratch);
}

// Runs work over every place, at_once places a chunk, on one or two
// threads that code up to rows rows; what they met, in one status, the
// first failure's reason and the recovery parts lacking in result.
static JoinStatus RunStretches(StretchRun *r, int rows, bool (*work)(void *context, int thread, int64_t chunk),
                               JoinResult *result)
{
    JoinStatus status = kJoinDone;
    int64_t lacking = 0;
    StretchMap *map = r->map;
    r->at_once = StretchesAtOnce(CodeWindow(rows), map->stretch);
    r->thread_count = 1;
    bool started = StartThread(&r->threads[0], map->parts, rows, r->at_once, r->table != 0) &&
                   StartThread(&r->threads[1], map->parts, rows, r->at_once, r->table != 0);
    if (!started || !ShareOut((map->per_block + r->at_once - 1) / r->at_once, work, r, &r->thread_count))
        status = kJoinWriteFailed;
    for (int i = 0; i < 2; i++) {
        StretchThread *t = &r->threads[i];
        if (status != kJoinDone && t->mismatch >= 0)
            status = kJoinChecksumMismatch;
        if (HasFailed(&t->error) && !HasFailed(&result->error))
            result->error = t->error;
        lacking = t->lacking > lacking ? t->lacking : lacking;
    }
    if (r->stopped) {
        status = kJoinCancelled;
    } else if (status == kJoinDone && lacking > 0) {
        status = kJoinBeyondRepair;
        result->more_needed = lacking;
    }
    EndThread(&r->threads[0]);
    EndThread(&r->threads[1]);
    return status;
}

// Room for the sources of parts data parts and recovery recovery parts,
// none of them open; false without memory.
static bool StartSources(StretchSources *sources, int64_t parts, int64_t recovery)
{
    sources->data = (CodeInput *)calloc((size_t)parts, sizeof(CodeInput));
    sources->targets = (CodeInput *)calloc((size_t)parts, sizeof(CodeInput));
    sources->recovery = (File *)malloc((size_t)recovery * sizeof(File));
    sources->recovery_at = (int64_t *)calloc((size_t)recovery, sizeof(int64_t));
    for (int64_t k = 0; sources->recovery && k < recovery; k++)
        sources->recovery[k].handle = kNoHandle;
    return sources->data && sources->targets && sources->recovery && sources->recovery_at;
}

static void EndSources(StretchSources *sources)
{
    free(sources->data);
    free(sources->targets);
    free(sources->recovery);
    free(sources->recovery_at);
}

// Whether each data part rebuilt now holds what the part table records;
// false where one does not, or cannot be read (error).
static bool RebuiltPartsMatch(PartSet *set, const CodeInput *targets, int64_t parts, FileError *error)
{
    PartTable table;
    OpenPartTable(&table, set);
    for (int64_t j = 0; j < parts; j++) {
        uint32_t crc = 0, recorded;
        if (!targets[j].file)
            continue;
        if (ChecksumAt(targets[j].file, targets[j].at, targets[j].length, &crc, 0, error) != kCopied ||
            (RecordedPartCrc(&table, j, &recorded, 0) && crc != recorded))
            return false;
    }
    return true;
}

// Rebuilds every bad stretch of the data parts into its target, judging
// the recovery parts' stretches as it needs them.
static JoinStatus RebuildStretches(PartSet *set, StretchMap *map, const StretchSources *sources,
                                   Progress *progress, JoinResult *result)
{
    StretchRun r = {set, map, sources, progress};
    JoinStatus status = RunStretches(&r, (int)map->recovery, RebuildPlaces, result);
    // Each part rebuilt must now be what the part table says.
    if (status == kJoinDone && !RebuiltPartsMatch(set, sources->targets, map->parts, &result->error))
        status = HasFailed(&result->error) ? kJoinWriteFailed : kJoinChecksumMismatch;
    return status;
}

// Puts what a part cut short, or too long, holds of its stretch in its
// place in the file, for its sound stretches to be kept.
static bool CopyWhatIsThere(PartSet *set, int64_t index, File *output, int64_t *length, FileError *error)
{
    char name[kPathSize];
    File part;
    FileInfo info;
    PartNameOf(set, index, name);
    *length = 0;
    if (index == 0 || !FileOpenRead(&set->folder, name, &part, 0, &info))
        return true;
    int64_t expected = ExpectedPartLength(set, index);
    *length = info.length < expected ? info.length : expected;
    bool copied = FileSeek(output, PartOffset(set, index), error) &&
                  CopyBytes(&part, output, *length, 0, 0, error) == kCopied;
    FileClose(&part, 0);
    return copied;
}

JoinStatus RebuildInFile(PartSet *set, File *output, const FaultNote *faults, int64_t fault_count,
                         Progress *progress, JoinResult *result)
{
    JoinStatus status = kJoinDone;
    StretchMap map = StretchMap();
    StretchSources sources = {};
    if (!OpenStretchMap(&map, set, &result->error) || !StartSources(&sources, map.parts, map.recovery))
        status = kJoinWriteFailed;
    for (int64_t j = 0; status == kJoinDone && j < map.parts; j++)
        sources.data[j] = CodeInput{output, PartOffset(set, j), ExpectedPartLength(set, j)};
    for (int64_t f = 0; status == kJoinDone && f < fault_count; f++) {
        int64_t j = faults[f].index, available = sources.data[j].length;
        PartFault fault = faults[f].fault;
        sources.targets[j] = sources.data[j];
        if (fault == kPartMissing || fault == kPartUnreadable || (j == 0 && fault == kPartWrongLength))
            available = 0;
        else if (fault == kPartWrongLength && !CopyWhatIsThere(set, j, output, &available, &result->error))
            status = kJoinWriteFailed;
        if (status == kJoinDone &&
            JudgeStretches(&map, j, output, PartOffset(set, j), available, sources.data[j].length,
                           &result->error) < 0)
            status = kJoinWriteFailed;
    }
    // The recovery parts of the set; the others' stretches are all bad.
    for (int64_t k = 0; status == kJoinDone && k < set->census.recovery_found; k++) {
        SliceEntry &entry = set->census.recovery[k];
        FileInfo info;
        RecoveryHeader header;
        int64_t number = -entry.index - 1;
        if (entry.fault != kPartSound ||
            !OpenRecoveryPartOf(set, entry.index, &sources.recovery[number], &info, &header))
            continue;
        entry.read = info.id;
        sources.recovery_at[number] = RecoveryBlockAt(&header);
    }
    for (int64_t k = 0; status == kJoinDone && k < map.recovery; k++)
        if (!IsOpen(&sources.recovery[k]))
            MarkAll(&map, RecoverySlot(&map, -(k + 1)), kStretchBad);
    if (status == kJoinDone)
        status = RebuildStretches(set, &map, &sources, progress, result);
    for (int64_t k = 0; sources.recovery && k < map.recovery; k++)
        FileClose(&sources.recovery[k], 0);
    EndSources(&sources);
    CloseStretchMap(&map);
    return status;
}

// ---- Repairing a set in place -----------------------------------------------

// What a repair knows of one part, by slot (data parts, then recovery parts).
struct PartWriting {
    File file;          // its own file, open where it is there
    int64_t at;         // where its block starts there
    int64_t have;       // ... and how much of it the file holds
    File temp;          // the part written again, open
    int64_t temp_at;    // ... where its block starts in it
    PartFault fault;    // why it is written again; kPartSound: it is not
    bool rebuilt;       // a data part with stretches to rebuild from the recovery parts
};

struct WritingBack {
    PartSet *set = 0;
    StretchMap map = StretchMap();
    Progress *progress = 0;
    JoinResult *result = 0;
    TempSeries series = TempSeries();
    int64_t parts = 0, slots = 0;  // data parts; and recovery parts after them
    PartWriting *part = 0;         // by slot
    PartSetTrailer head_trailer = PartSetTrailer();  // the fresh head part's, its program's fields its own
    unsigned char *table = 0;      // the stretch checksums the recovery parts made again carry
};

// The description a head part ends in, and a recovery part carries: where
// it starts in the set's file, and its length.
static int64_t DescriptionAt(const PartSet *set)
{
    return set->table_at - set->trailer.extension_length;
}

static int64_t IndexOfSlot(const WritingBack *w, int64_t slot)
{
    return slot < w->parts ? slot : -(slot - w->parts + 1);
}

// Judges the head part's stretch where it is there: its own file, or where
// a recovery part describes the set, the file of its name, whose stretch
// sits before the description at its end.
static bool JudgeHead(WritingBack *w)
{
    PartSet *set = w->set;
    FileError *error = &w->result->error;
    FileInfo info;
    PartWriting *head = &w->part[0];
    head->fault = set->described ? kPartDamaged : kPartSound;
    if (!set->described) {
        head->file = set->file;  // borrowed: the set closes it
        head->at = set->trailer.image_size;
        if (set->trailer.record_version >= 2 && !ProgramMatches(&set->file, &set->trailer))
            head->fault = kPartDamaged;
    } else if (!FileOpenRead(&set->folder, set->head_name, &head->file, 0, &info)) {
        MarkLost(&w->map, 0, set->head_data);
        head->fault = kPartMissing;
        return true;
    } else {
        head->at = info.length - HeadEndLength(set) - set->head_data;
    }
    head->have = head->at < 0 ? 0 : set->head_data;
    head->at = head->at < 0 ? 0 : head->at;
    int64_t bad = JudgeStretches(&w->map, 0, &head->file, head->at, head->have, set->head_data, error);
    if (bad > 0 && head->fault == kPartSound)
        head->fault = kPartDamaged;
    return bad >= 0;
}

// Judges every part of the set to the stretch, and notes those to write again.
static bool JudgeParts(WritingBack *w)
{
    PartSet *set = w->set;
    FileError *error = &w->result->error;
    if (!JudgeHead(w))
        return false;
    for (int64_t slot = 1; slot < w->slots; slot++) {
        int64_t index = IndexOfSlot(w, slot), block = BlockLength(set, &w->map, slot);
        PartWriting *p = &w->part[slot];
        char name[kPathSize];
        FileInfo info;
        RecoveryHeader header;
        PartNameOf(set, index, name);
        if (!ProgressStep(w->progress, 0))
            return false;
        FileKind kind = FileKindOf(&set->folder, name);
        bool there = (kind == kPlainFile || kind == kReadOnlyFile) &&
                     FileOpenRead(&set->folder, name, &p->file, 0, &info);
        if (there && index < 0 && !IsRecoveryPartOf(set, &p->file, &info, index, &header)) {
            FileClose(&p->file, 0);
            there = false;
            p->fault = kPartDamaged;
        }
        if (!there) {
            MarkLost(&w->map, slot, block);
            p->fault = p->fault == kPartDamaged ? kPartDamaged : kPartMissing;
            continue;
        }
        p->at = index < 0 ? RecoveryBlockAt(&header) : 0;
        p->have = info.length - p->at < block ? info.length - p->at : block;
        int64_t expected = index < 0 ? RecoveryPartLength(&header) : block;
        int64_t bad = JudgeStretches(&w->map, slot, &p->file, p->at, p->have, block, error);
        if (bad < 0)
            return false;
        p->fault = info.length != expected ? kPartWrongLength : bad > 0 ? kPartDamaged : kPartSound;
    }
    return true;
}

// A fresh head part: the set's own program where it is sound, else the one
// given for the set's system; what its file holds of its stretch; and the
// description, with the program's size and checksum.  False with
// no_program where there is none.
static bool StartHead(WritingBack *w, File *part, const ProgramSource *program)
{
    PartSet *set = w->set;
    FileError *error = &w->result->error;
    PartSetTrailer &trailer = w->head_trailer;
    trailer = set->trailer;
    File *own = &w->part[0].file;
    uint32_t crc = 0;
    if (IsOpen(own) && ProgramMatches(own, &trailer)) {
        if (!FileSeek(own, 0, error) || CopyBytes(own, part, trailer.image_size, &crc, 0, error) != kCopied)
            return false;
    } else if (program && program->for_windows == set->windows_program && (program->path || program->bytes)) {
        File image;
        FileInfo info;
        if (program->path && !FileOpenRead(0, program->path, &image, error, &info))
            return false;
        trailer.image_size = (int32_t)(program->path ? info.length : program->size);
        bool copied = program->path ? CopyBytes(&image, part, trailer.image_size, &crc, 0, error) == kCopied
                                    : WriteBytes(part, program->bytes, trailer.image_size, &crc, error) == kCopied;
        FileClose(&image, 0);
        if (!copied)
            return false;
        trailer.image_crc = crc;
    } else {
        // No program for the set's system: the stretch is still rebuilt, for
        // the others, and the head part is not made.
        w->result->no_program = true;
        w->part[0].temp_at = 0;
        return true;
    }
    w->part[0].temp_at = trailer.image_size;
    unsigned char bytes[kTrailerSize];
    EncodeTrailer(&trailer, bytes);
    return FileSeek(part, trailer.image_size + set->head_data, error) &&
           FileSeek(&set->file, DescriptionAt(set), error) &&
           CopyBytes(&set->file, part, HeadEndLength(set) - kTrailerSize, 0, 0, error) == kCopied &&
           FileWrite(part, bytes, kTrailerSize, error);
}

// Creates the fresh file of a data part to write again, holding what its
// own file holds of its block; the rest is rebuilt into it.
static bool StartPart(WritingBack *w, int64_t slot, const ProgramSource *program)
{
    PartSet *set = w->set;
    char name[kPathSize], temp[kPathSize];
    PartNameOf(set, slot, name);
    TempName(&w->series, slot, temp);
    PartWriting *p = &w->part[slot];
    FileError *error = &w->result->error;
    if (!FileCreate(&set->folder, temp, name, slot == 0 ? kProgramFile : kDataFile, &p->temp, error))
        return false;
    if (slot == 0 && !StartHead(w, &p->temp, program))
        return false;
    int64_t have = IsOpen(&p->file) ? p->have : 0;
    return have <= 0 || (FileSeek(&p->file, p->at, error) && FileSeek(&p->temp, p->temp_at, error) &&
                         CopyBytes(&p->file, &p->temp, have, 0, 0, error) == kCopied);
}

// Makes the recovery parts noted again from the data parts.
static bool RemakeRecovery(WritingBack *w, const StretchSources *sources)
{
    PartSet *set = w->set;
    StretchMap *map = &w->map;
    int64_t recovery = map->recovery, per_block = map->per_block;
    int64_t *numbers = (int64_t *)malloc((size_t)recovery * sizeof(int64_t));
    CodeInput *outputs = (CodeInput *)malloc((size_t)recovery * sizeof(CodeInput));
    int rows = 0;
    for (int64_t k = 0; numbers && k < recovery; k++)
        if (w->part[w->parts + k].fault != kPartSound)
            numbers[rows++] = k;
    if (rows == 0) {
        free(numbers);
        free(outputs);
        return true;
    }
    // Sets before 2.4 check each recovery block whole: one stretch.
    bool v2 = set->extension.stretch_length > 0;
    int64_t table_bytes = (w->parts + recovery) * per_block * 4;
    w->table = (unsigned char *)malloc((size_t)table_bytes);
    bool done = numbers && outputs && w->table;
    if (!done)
        SetError(&w->result->error, kErrorNoSpace, "make the recovery parts in", set->folder.path);
    // Those not made again keep their checksums.
    for (int64_t i = 0; done && i < table_bytes / 4; i++)
        WriteUint32(w->table + 4 * i, map->crcs[i]);
    for (int r = 0; done && r < rows; r++) {
        int64_t slot = w->parts + numbers[r];
        char name[kPathSize], temp[kPathSize];
        PartNameOf(set, IndexOfSlot(w, slot), name);
        TempName(&w->series, slot, temp);
        PartWriting *p = &w->part[slot];
        done = FileCreate(&set->folder, temp, name, kDataFile, &p->temp, &w->result->error);
        p->temp_at = v2 ? (int64_t)kRecoveryHeaderSize : kRecoveryFixedSize + HeadEndLength(set) + kRecoveryCheckSize;
        outputs[r] = CodeInput{&p->temp, p->temp_at, set->trailer.slice_length};
    }
    if (done) {
        StretchRun run = {set, map, sources, 0, numbers, outputs, rows, w->table};
        JoinStatus made = RunStretches(&run, rows, RemakePlaces, w->result);
        if (made == kJoinChecksumMismatch)  // a data part changed since it was judged
            SetError(&w->result->error, kErrorEndedEarly, "rebuild", set->given);
        else if (made == kJoinWriteFailed)
            SetError(&w->result->error, kErrorNoSpace, "make the recovery parts in", set->folder.path);
        done = made == kJoinDone;
    }
    for (int r = 0; done && r < rows; r++) {
        int64_t slot = w->parts + numbers[r];
        RecoveryHeader header = {v2 ? 2 : 1, (int32_t)(numbers[r] + 1), set->extension.recovery_count,
                                 set->windows_program ? kRecoveryWindowsHead : 0, set->head_data,
                                 set->trailer.slice_length, ReadUint32(w->table + 4 * slot * per_block),
                                 HeadEndLength(set), map->stretch, v2 ? table_bytes : 0};
        done = WriteRecoveryDescription(&w->part[slot].temp, &header, &set->file, DescriptionAt(set), w->table,
                                        &w->result->error);
    }
    free(numbers);
    free(outputs);
    return done;
}

// Gives a part written under its temporary name its own: what has that
// name is renamed aside first, "<name>.damaged" (or ".damaged2" ...).
static bool PlaceRepairedPart(WritingBack *w, int64_t slot)
{
    PartSet *set = w->set;
    char name[kPathSize], temp[kPathSize], aside[kPathSize];
    PartNameOf(set, IndexOfSlot(w, slot), name);
    TempName(&w->series, slot, temp);
    bool occupied = FileKindOf(&set->folder, name) != kNothingThere, moved = !occupied;
    for (int n = 1; !moved && n <= 9; n++) {
        CopyText(aside, kPathSize, name);
        AppendText(aside, kPathSize, ".damaged");
        if (n > 1)
            AppendDecimal(aside, kPathSize, n);
        moved = FileRenameNew(&set->folder, name, aside, name, 0);
    }
    if (!moved)
        return SetError(&w->result->error, kErrorExists, "rename", name);
    if (!FileRenameNew(&set->folder, temp, name, name, &w->result->error)) {
        if (occupied)
            FileRenameNew(&set->folder, aside, name, name, 0);  // as it was
        return false;
    }
    if (occupied && w->result->set_aside++ == 0)
        CopyText(w->result->aside, kPathSize, aside);
    return true;
}

// Rebuilds the data parts noted into their fresh files, then makes the
// recovery parts noted again.
static bool RewriteFaultyParts(WritingBack *w, const ProgramSource *program)
{
    PartSet *set = w->set;
    StretchSources sources = {};
    bool done = StartSources(&sources, w->parts, w->map.recovery);
    if (!done)
        SetError(&w->result->error, kErrorNoSpace, "repair the set in", set->folder.path);
    for (int64_t j = 0; done && j < w->parts; j++) {
        if (w->part[j].fault != kPartSound && !StartPart(w, j, program))
            done = false;
        bool fresh = IsOpen(&w->part[j].temp);
        sources.data[j] = fresh ? CodeInput{&w->part[j].temp, w->part[j].temp_at, ExpectedPartLength(set, j)}
                                : CodeInput{&w->part[j].file, w->part[j].at, ExpectedPartLength(set, j)};
        sources.targets[j] = fresh ? sources.data[j] : CodeInput{0, 0, 0};
    }
    for (int64_t k = 0; done && k < w->map.recovery; k++) {
        sources.recovery[k] = w->part[w->parts + k].file;
        sources.recovery_at[k] = w->part[w->parts + k].at;
    }
    if (done) {
        w->result->status = RebuildStretches(set, &w->map, &sources, w->progress, w->result);
        done = w->result->status == kJoinDone && RemakeRecovery(w, &sources);
    }
    EndSources(&sources);
    return done;
}

// Judges every part, and tells whether the set can be mended: false, with
// the result's status, where it cannot or the user stopped it.
static bool JudgeForWriteBack(WritingBack *w)
{
    PartSet *set = w->set;
    JoinResult *result = w->result;
    if (!JudgeParts(w)) {
        if (!HasFailed(&result->error))
            result->status = kJoinCancelled;
        return false;
    }
    for (int64_t j = 0; j < w->parts; j++)
        for (int64_t s = 0; s < w->map.per_block; s++)
            w->part[j].rebuilt = w->part[j].rebuilt || *StretchStateOf(&w->map, j, s) == kStretchBad;
    // Where only recovery parts describe the set, a slice holding other data
    // than they say may be sound and the description another split's.
    for (int64_t j = 1; !set->description_confirmed && j < w->parts; j++)
        if (w->part[j].fault == kPartDamaged) {
            result->status = kJoinSplitsDisagree;
            result->part.index = j;
            return false;
        }
    result->more_needed = RecoveryLacking(&w->map);
    if (result->more_needed == 0)
        return true;
    result->status = kJoinBeyondRepair;
    for (int64_t slot = 0; slot < w->slots; slot++)
        if (w->part[slot].fault != kPartSound)
            AddFaultNote(result->faults, &result->fault_count, IndexOfSlot(w, slot), w->part[slot].fault);
    return false;
}

// Closes the parts written again and gives them their names, the slices
// and the recovery parts first, the head part last, as a split places
// them; those the program for a head part lacked, and all where the work
// failed, are deleted.
static bool PlaceWrittenParts(WritingBack *w, bool done)
{
    JoinResult *result = w->result;
    PartSet *set = w->set;
    for (int64_t slot = 0; slot < w->slots; slot++)
        if (IsOpen(&w->part[slot].temp) && !FileClose(&w->part[slot].temp, done ? &result->error : 0))
            done = false;
    for (int64_t slot = 0; done && slot < w->slots; slot++)
        if (w->part[slot].fault != kPartSound && !(slot == 0 && result->no_program)) {
            AddFaultNote(result->faults, &result->fault_count, IndexOfSlot(w, slot), w->part[slot].fault);
            result->rebuilt_count += slot < w->parts && w->part[slot].rebuilt;
        }
    for (int pass = 0; done && pass < 2; pass++)
        for (int64_t slot = pass ? 0 : 1; done && slot < (pass ? 1 : w->slots); slot++)
            if (w->part[slot].fault != kPartSound && !(slot == 0 && result->no_program))
                done = PlaceRepairedPart(w, slot);
    for (int64_t slot = 0; slot < w->slots; slot++) {
        if (slot > 0 || set->described)
            FileClose(&w->part[slot].file, 0);
        char temp[kPathSize];
        TempName(&w->series, slot, temp);
        if ((!done || (slot == 0 && result->no_program)) && FileKindOf(&set->folder, temp) != kNothingThere)
            FileDelete(&set->folder, temp, 0);
    }
    return done;
}

JoinStatus WriteBackParts(PartSet *set, const ProgramSource *program, Progress *progress, JoinResult *result)
{
    WritingBack w;
    w.set = set;
    w.progress = progress;
    w.result = result;
    NewTempSeries(&w.series);
    w.parts = (int64_t)set->trailer.last_part + 1;
    w.slots = w.parts + set->extension.recovery_count;
    w.part = (PartWriting *)calloc((size_t)w.slots, sizeof(PartWriting));
    bool allocated = w.part != 0;
    for (int64_t slot = 0; allocated && slot < w.slots; slot++)
        w.part[slot].file.handle = w.part[slot].temp.handle = kNoHandle;
    if (!allocated || !OpenStretchMap(&w.map, set, &result->error))
        SetError(&result->error, kErrorNoSpace, "repair the set in", set->folder.path);
    bool done = allocated && !HasFailed(&result->error) && JudgeForWriteBack(&w);
    bool any = false;
    for (int64_t slot = 0; done && slot < w.slots; slot++)
        any = any || w.part[slot].fault != kPartSound;
    if (done && any)
        done = RewriteFaultyParts(&w, program);
    if (allocated)
        done = PlaceWrittenParts(&w, done);
    if (!done && result->status == kJoinDone)
        result->status = kJoinWriteFailed;
    // Only memory for the rebuild fails with no reason of its own.
    if (result->status == kJoinWriteFailed && !HasFailed(&result->error))
        SetError(&result->error, kErrorNoSpace, "repair the set in", set->folder.path);
    CloseStretchMap(&w.map);
    free(w.part);
    free(w.table);
    return result->status;
}
