#include "split/split_engine.h"

#include <assert.h>

#include <stdlib.h>
#include <string.h>

#include "transfer/copy.h"
#include "math/crc32.h"
#include "math/erasure.h"
#include "format/extension.h"
#include "format/head_part.h"
#include "format/part_layout.h"
#include "format/part_names.h"
#include "format/paths.h"
#include "format/trailer.h"
#include "platform/text.h"
#include "transfer/erasure_engine.h"
#include "math/gf16.h"
#include "format/recovery.h"
#include "format/set_journal.h"

// The longest start of name, cut between characters, of at most limit
// bytes: a character of UTF-8 or of a double-byte code page is never cut.
static int CutBetweenCharacters(const char *name, int limit)
{
    int cut = 0;
    for (int i = 0; name[i];) {
        unsigned char c = (unsigned char)name[i];
        int length = IsLeadByte(c) ? 2 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (i + length > limit)
            break;
        i += length;
        cut = i;
    }
    return cut;
}

// What the trailer and the extension store of the input's name: the path
// as given where the record fits behind it, else the name alone, else its
// start, with the whole name in the extension.  Also the input's time and
// permission bits, where it has them.
static void Describe(PartSetTrailer *trailer, SetExtension *extension, const char *input_path,
                     const char *name, const FileInfo *info, int recovery)
{
    for (int i = 0; i < kTrailerPathSize; i++)
        trailer->original_path[i] = 0;
    ClearExtension(extension);
    const char *stored = input_path && TextLength(input_path) <= kMaxRecordPath ? input_path : name;
    int length = TextLength(stored);
    if (length > kMaxRecordPath) {
        CopyText(extension->name, kPathSize, name);
        length = CutBetweenCharacters(stored, kMaxRecordPath);
    }
    for (int i = 0; i < length; i++)
        trailer->original_path[i] = stored[i];
    trailer->has_record = true;
    trailer->record_version = kCurrentRecordVersion;
    extension->has_time = true;
    extension->modified = info ? info->modified : TimeNow();
    extension->permissions = info ? info->permissions : -1;
    extension->recovery_count = recovery;
    extension->stretch_length = recovery ? 4096 : 0;  // its length, until the layout chooses it
    extension->has_identity = true;
    FillRandom(extension->identity, kSetIdentitySize);
    extension->made = TimeNow().seconds;
}

// Whether the join will find every part, and name the rebuilt file as the
// input is named: the names fit the folder, the longest (the last part's)
// included, and so do the parts' full paths where a head part knows itself
// by one.
static bool NamesHoldUp(const Folder *folder, const char *name, const char *stem,
                        int64_t last_part, FileError *error)
{
    char part[kPathSize];
    if (!FormatOutputName(part, name) || !part[0] || !TextEqual(part, name))
        return SetError(error, kErrorNameTooLong, "name", name);
    if (!FormatPartName(part, stem, last_part))
        return SetError(error, kErrorNameTooLong, "name", stem);
    return NameFits(folder, part, error) && FormatPartName(part, stem, 0) &&
           NameFits(folder, part, error);
}

// An earlier split's head part under the head part's name: whether it is
// of the same file (which a new split of it may replace), and how many
// slices it has.  Held open, its table tells its own slices from others,
// and its identity its own recovery parts.
struct EarlierSet {
    bool same_file;  // a sound head part of a set of the same name has the head part's name
    bool other_file; // ... of a set of another name
    HeadPart head;
    // The numbers of the recovery parts of the stem beyond those the new
    // set makes, whoever's they are.
    int64_t *recovery_beyond;
    int64_t recovery_beyond_count;
};

static void LookForEarlierSet(const Folder *folder, const char *stem, const char *name,
                              EarlierSet *earlier)
{
    earlier->same_file = earlier->other_file = false;
    earlier->head.file.handle = kNoHandle;
    earlier->recovery_beyond = 0;
    earlier->recovery_beyond_count = 0;
    char head[kPathSize];
    FormatPartName(head, stem, 0);
    FileKind kind = FileKindOf(folder, head);
    if ((kind != kPlainFile && kind != kReadOnlyFile) ||
        !FileOpenRead(folder, head, &earlier->head.file, 0, &earlier->head.info))
        return;
    bool sound = ReadHeadPart(&earlier->head, 0) == kHeadSound;
    earlier->same_file = sound && (kNamesIgnoreCase ? TextEqualNoCase(earlier->head.output, name)
                                                    : TextEqual(earlier->head.output, name));
    earlier->other_file = sound && !earlier->same_file;
    if (!sound)
        FileClose(&earlier->head.file, 0);
}

struct RecoveryListing {
    const char *stem;
    int64_t beyond;
    EarlierSet *earlier;
    bool out_of_memory;
};

static bool NoteRecoveryBeyond(void *context, const FolderEntry *entry)
{
    RecoveryListing *listing = (RecoveryListing *)context;
    EarlierSet *earlier = listing->earlier;
    int64_t number = RecoveryNumberOf(entry->name, listing->stem, 1000000000000LL);
    if (number <= listing->beyond)
        return true;
    int64_t count = earlier->recovery_beyond_count;
    if ((count & (count - 1)) == 0) {  // 0, 1, 2, 4, ...: room for twice as many
        void *grown = realloc(earlier->recovery_beyond, (size_t)(count ? 2 * count : 8) * sizeof(int64_t));
        if (!grown)
            return listing->out_of_memory = true, false;
        earlier->recovery_beyond = (int64_t *)grown;
    }
    earlier->recovery_beyond[earlier->recovery_beyond_count++] = number;
    return true;
}

// Lists the recovery parts of the stem numbered beyond the new set's.
static bool ListRecoveryBeyond(const Folder *folder, const char *stem, int64_t beyond, EarlierSet *earlier,
                               FileError *error)
{
    char prefix[kPathSize];
    RecoveryListing listing = {stem, beyond, earlier, false};
    if (!CopyText(prefix, kPathSize, stem) || !AppendText(prefix, kPathSize, "_R"))
        return true;
    if (!ListFolder(folder, prefix, NoteRecoveryBeyond, &listing, error))
        return false;
    return !listing.out_of_memory || SetError(error, kErrorNoSpace, "list the parts in", folder->path);
}

// Whether the recovery part of that name is one of owner's set: it
// describes the same set, made by the same split.
static bool RecoveryPartOf(const Folder *folder, const char *name, const HeadPart *owner)
{
    HeadPart probe;
    RecoveryHeader header;
    if (!FileOpenRead(folder, name, &probe.file, 0, &probe.info))
        return false;
    bool of = ReadRecoveryPart(&probe, &header, 0) == kHeadSound && SameSet(&probe.trailer, &owner->trailer) &&
              SameIdentity(&probe.extension, &owner->extension);
    FileClose(&probe.file, 0);
    return of;
}

// Whether the name of part index may take the new part: nothing there, or
// a part of an earlier split of the same file, or, with the user's word, a
// file of another set or of none.  A read-only file, a link, a folder, the
// input or the program itself is never written over.  Checked up front
// for a message that says which; the renames close the race.
static SplitStatus Obstacle(const Folder *folder, const char *stem, int64_t index,
                            const FileId *input, const FileId *image, const EarlierSet *earlier,
                            bool force, SplitResult *result)
{
    char name[kPathSize];
    FormatPartName(name, stem, index);
    FileKind kind = FileKindOf(folder, name);
    FileId id;
    SplitStatus status = kSplitDone;
    if (kind == kReadOnlyFile || kind == kLinkThere || kind == kOtherThere ||
        (kind == kPlainFile && FileIdAt(folder, name, &id) &&
         ((input && SameFile(id, *input)) || (image && SameFile(id, *image)))))
        status = kSplitPartInTheWay;
    else if (kind == kNothingThere || force)
        return kSplitDone;
    else if (index < 0)
        // A recovery part is the earlier set's only by what it records: one
        // of another split would rebuild another file.
        status = (earlier->same_file || earlier->other_file) && RecoveryPartOf(folder, name, &earlier->head)
                     ? kSplitDone
                     : kSplitStrayPartInTheWay;
    else if (earlier->same_file)
        return kSplitDone;
    else if (earlier->other_file)
        status = kSplitOtherSetInTheWay;
    else
        status = kSplitStrayPartInTheWay;
    if (status == kSplitDone)
        return status;
    CopyText(result->part, kPathSize, status == kSplitOtherSetInTheWay ? "" : name);
    if (status == kSplitOtherSetInTheWay) {
        FormatPartName(result->part, stem, 0);
        AppendName(result->other, kPathSize, earlier->head.output);
    }
    return status;
}

// The parts being written: all under temporary names of one series, the
// head part number 0, until every one is complete.  Parts of an earlier
// set that are in the way are moved aside, under names of another series,
// until the new set has taken its names.
struct Writing {
    const Folder *folder;
    const char *stem;
    TempSeries series;
    TempSeries aside;
    File head;
    int64_t written;  // parts 0 to written - 1 exist under their temporary names
    File *recovery;   // the recovery parts being written, -1 to -recovery_made
    int recovery_made;
    uint32_t *part_crcs;  // with recovery parts: each part's CRC-32, as copied
    struct StreamRecovery *streamed;  // standard input's recovery parts, made as it is read
    struct StreamRecovery *streamed_room;  // ... where they are kept
    // The part table, written to the head part as the parts are done.
    unsigned char table[4096];
    int table_used;
    int64_t table_entries;
    Crc32Joiner joiner;  // joins each part's CRC into the whole file's
};

// Writes the table entries held so far to the head part.
static bool FlushTable(Writing *writing, PartSetTrailer *trailer, FileError *error)
{
    trailer->table_crc = Crc32Update(trailer->table_crc, writing->table, (size_t)writing->table_used);
    bool written = FileWrite(&writing->head, writing->table, writing->table_used, error);
    writing->table_used = 0;
    return written;
}

// Notes a part's CRC-32 in the table and joins it into the input's.
static bool PartDone(Writing *writing, PartSetTrailer *trailer, uint32_t crc, int64_t length,
                     FileError *error)
{
    trailer->crc = Crc32Combine(trailer->crc, crc, length, &writing->joiner);
    if (writing->part_crcs)
        writing->part_crcs[writing->table_entries] = crc;
    writing->table_entries++;
    WriteUint32(writing->table + writing->table_used, crc);
    writing->table_used += kTableEntrySize;
    return writing->table_used < (int)sizeof writing->table || FlushTable(writing, trailer, error);
}

static SplitStatus CopyFailure(CopyResult copy, bool from_image)
{
    return copy == kWriteFailed   ? kSplitWriteFailed
           : copy == kCopyStopped ? kSplitCancelled
           : from_image           ? kSplitNoImage
                                  : kSplitReadFailed;
}

// What a split works from: the input and its plan.
struct Splitting {
    File *input;
    bool stream;           // standard input: its length is known at its end
    const FileInfo *input_info;
    const ProgramImage *program;
    File *image;
    int64_t image_size;
    int64_t slice_bytes;
    int64_t head_bytes;     // the most the head part may hold
    int64_t most_slices;    // what the head part's table can count
    PartLayout layout;      // for a file; for a stream, slices of slice_bytes and no stretch
    const SplitOptions *options;
    EarlierSet *earlier;
    FileId image_id;
    int recovery;            // recovery parts
    int64_t recovery_overhead;  // the bytes of each one beyond its block
    int64_t stretch_length;  // ... and the stretches their checksums cover
};

// Standard input's recovery parts, made in the one pass that reads it:
// every stretch copied into a slice is multiplied into each recovery block,
// kept in memory where they all fit kStreamedMemory, else in the recovery
// parts' own files, a window at a time; each stretch's checksum as it goes.
const int64_t kStreamedMemory = 64LL << 20;

struct StreamRecovery {
    int count;
    int64_t block, stretch, per_block;
    unsigned char *blocks;  // count x block, or null: the blocks are in files
    File *files;            // the recovery parts, each block at kRecoveryHeaderSize
    unsigned char *window;  // a window of a block in a file, read back
    int64_t index, at;      // the slice fed, and how much of it so far
    uint32_t *crcs;         // the slices' stretch checksums, index x per_block
    int64_t rows;           // ... rows of room
    CopyTap tap;
    FileError error;
};

static void SeeStreamed(void *context, const unsigned char *bytes, int length)
{
    StreamRecovery *s = (StreamRecovery *)context;
    int64_t at = s->at;
    s->at += length;
    AddToStretchCrcs(s->crcs + s->index * s->per_block, s->stretch, 0, at, bytes, length);
    // Whole words: from the one the first byte is in to the last byte's.
    int64_t from = at & ~(int64_t)1, to = (at + length + 1) & ~(int64_t)1;
    for (int r = 0; r < s->count && !HasFailed(&s->error); r++) {
        uint16_t factor = RecoveryCoefficient(r, s->index);
        if (s->blocks) {
            MulAddBytes(s->blocks + r * s->block + at, bytes, length, factor, at);
        } else if (FileReadAt(&s->files[r], kRecoveryHeaderSize + from, s->window, to - from, &s->error)) {
            MulAddBytes(s->window + (at - from), bytes, length, factor, at);
            FileWriteAt(&s->files[r], kRecoveryHeaderSize + from, s->window, to - from, &s->error);
        }
    }
}

static bool StartStreamed(StreamRecovery *s, int count, int64_t block, int64_t stretch, File *files,
                          FileError *error)
{
    s->count = count;
    s->block = block;
    s->stretch = stretch;
    s->per_block = StretchCount(block, stretch);
    s->files = files;
    s->index = s->at = s->rows = 0;
    s->crcs = 0;
    s->tap.see = SeeStreamed;
    s->tap.context = s;
    ClearError(&s->error);
    s->blocks = (int64_t)count * block <= kStreamedMemory ? (unsigned char *)calloc((size_t)count, (size_t)block) : 0;
    s->window = s->blocks ? 0 : (unsigned char *)malloc(kCopyBufferSize + 2);
    if (!s->blocks && !s->window)
        return SetError(error, kErrorNoSpace, "make the recovery parts in", files[0].name);
    // Blocks in files start as holes of their length: zeros to sum into.
    static const unsigned char zero = 0;
    for (int r = 0; !s->blocks && r < count; r++)
        if (!FileWriteAt(&files[r], kRecoveryHeaderSize + block - 1, &zero, 1, error))
            return false;
    Gf16Init();
    return true;
}

// The next bytes copied are slice index's.
static bool FeedStreamed(StreamRecovery *s, int64_t index, FileError *error)
{
    if (index >= s->rows) {
        int64_t rows = s->rows ? 2 * s->rows : 64;
        void *grown = realloc(s->crcs, (size_t)(rows * s->per_block) * sizeof(uint32_t));
        if (!grown)
            return SetError(error, kErrorNoSpace, "make the recovery parts in", s->files[0].name);
        s->crcs = (uint32_t *)grown;
        for (int64_t i = s->rows * s->per_block; i < rows * s->per_block; i++)
            s->crcs[i] = 0;
        s->rows = rows;
    }
    s->index = index;
    s->at = 0;
    return true;
}

// Once the stream has ended: the blocks and their checksums, and in each
// recovery part the set's description and every stretch's checksum.
static bool FinishStreamed(StreamRecovery *s, const PartSetTrailer *trailer, int64_t description_length,
                           File *head, int64_t description_at, bool for_windows, FileError *error)
{
    int64_t parts = (int64_t)trailer->last_part + 1;
    int64_t table_length = StretchTableLength(parts, s->count, s->block, s->stretch);
    unsigned char *table = (unsigned char *)calloc((size_t)table_length, 1);
    unsigned char *window = s->blocks ? 0 : (unsigned char *)malloc((size_t)s->stretch);
    bool done = table && (s->blocks || window);
    if (!done)
        SetError(error, kErrorNoSpace, "make the recovery parts in", s->files[0].name);
    for (int64_t j = 1; done && j < parts; j++)  // the head part holds none of the stream
        for (int64_t k = 0; k < s->per_block; k++)
            WriteUint32(table + 4 * (j * s->per_block + k), s->crcs[j * s->per_block + k]);
    for (int r = 0; done && r < s->count; r++) {
        for (int64_t k = 0; done && k < s->per_block; k++) {
            int64_t from = k * s->stretch, n = s->block - from < s->stretch ? s->block - from : s->stretch;
            const unsigned char *bytes = s->blocks ? s->blocks + r * s->block + from : window;
            done = s->blocks ? FileWriteAt(&s->files[r], kRecoveryHeaderSize + from, bytes, n, error)
                             : FileReadAt(&s->files[r], kRecoveryHeaderSize + from, window, n, error);
            WriteUint32(table + 4 * ((parts + r) * s->per_block + k), Crc32Update(0, bytes, (size_t)n));
        }
    }
    RecoveryHeader header = {2, 0, s->count, for_windows ? kRecoveryWindowsHead : 0, 0, s->block, 0,
                             description_length, s->stretch, table_length};
    for (int r = 0; done && r < s->count; r++) {
        header.number = r + 1;
        done = WriteRecoveryDescription(&s->files[r], &header, head, description_at, table, error);
    }
    free(table);
    free(window);
    return done;
}

static void EndStreamed(StreamRecovery *s)
{
    free(s->blocks);
    free(s->window);
    free(s->crcs);
}

// Writes slice index under its temporary name: its planned length, or for
// a stream what is left up to a slice's length.  *length says how many
// bytes it took; 0 from a stream that had ended, and then no slice is made.
static SplitStatus WriteSlice(Splitting *splitting, int64_t index, int64_t *length, const char *name,
                              PartSetTrailer *trailer, Progress *progress, Writing *writing,
                              FileError *error)
{
    char temp[kPathSize];
    TempName(&writing->series, index, temp);
    File part;
    if (!FileCreate(writing->folder, temp, name, kDataFile, &part, error))
        return kSplitCannotCreate;
    writing->written = index + 1;
    uint32_t crc = 0;
    int64_t want = splitting->stream ? splitting->layout.slice_length : *length;
    if (writing->streamed && !FeedStreamed(writing->streamed, index, error))
        return kSplitWriteFailed;
    CopyResult copy = CopyAvailable(splitting->input, &part, want, length, &crc, progress, error,
                                    writing->streamed ? &writing->streamed->tap : 0);
    if (writing->streamed && HasFailed(&writing->streamed->error)) {
        *error = writing->streamed->error;
        copy = kWriteFailed;
    }
    if (copy == kCopied && !splitting->stream && *length < want) {
        SetError(error, kErrorEndedEarly, "read", splitting->input->name);
        copy = kReadFailed;
    }
    if (copy != kCopied) {
        FileClose(&part, 0);
        return CopyFailure(copy, false);
    }
    if (*length == 0) {  // the stream had ended: this slice is none
        FileClose(&part, 0);
        FileDelete(writing->folder, temp, 0);
        writing->written = index;
        return kSplitDone;
    }
    if (!PartDone(writing, trailer, crc, *length, error)) {
        FileClose(&part, 0);
        return kSplitWriteFailed;
    }
    return FileClose(&part, error) ? kSplitDone : kSplitWriteFailed;
}

// Making the recovery parts, once the data parts are written: the input is
// read again in stripes, a stretch of every part at a time, so that each
// recovery block's windows stay in the cache while every part is summed
// into them; two threads share the stretches where there are two.
struct RecoveryMaking {
    const Splitting *splitting;
    Writing *writing;
    CodeInput *inputs;        // the parts' stretches of the input
    uint16_t *matrix;         // recovery x parts
    int64_t parts;
    unsigned char *table;     // every stretch's CRC-32 of every part, theirs included
    int64_t at_once;          // stretches a thread takes at a time
    int threads;              // ... and how many threads there are
    CodeScratch scratch[2];
    uint32_t *input_crcs[2];  // parts x at_once
    uint32_t *output_crcs[2]; // recovery x at_once
    int thread_of_sink[2];
    FileError error[2];
    Progress *progress;
    bool stopped;
};

struct RecoverySink {
    RecoveryMaking *making;
    int thread;
    int64_t from;  // where the run of stretches starts
};

static bool PutRecoveryWindow(void *context, int row, int64_t at, const unsigned char *bytes, int64_t length)
{
    RecoverySink *sink = (RecoverySink *)context;
    RecoveryMaking *m = sink->making;
    AddToStretchCrcs(m->output_crcs[sink->thread] + row * m->at_once, m->splitting->stretch_length, sink->from, at,
                     bytes, length);
    return FileWriteAt(&m->writing->recovery[row], kRecoveryHeaderSize + at, bytes, length, &m->error[sink->thread]);
}

// A run of stretches of every block: the recovery blocks' windows, and
// every stretch's checksum.
static bool MakeRecoveryStretches(void *context, int thread, int64_t run)
{
    RecoveryMaking *m = (RecoveryMaking *)context;
    const Splitting *splitting = m->splitting;
    int64_t stretch = splitting->stretch_length, block = splitting->layout.slice_length;
    int64_t per_block = StretchCount(block, stretch), first = run * m->at_once, from = first * stretch;
    int64_t length = block - from < m->at_once * stretch ? block - from : m->at_once * stretch;
    int64_t count = StretchCount(length, stretch);
    int rows = splitting->recovery;
    for (int64_t i = 0; i < rows * m->at_once; i++)
        m->output_crcs[thread][i] = 0;
    RecoverySink sink = {m, thread, from};
    if (!CodeRange(m->inputs, (int)m->parts, m->matrix, rows, from, length, &m->scratch[thread], PutRecoveryWindow,
                   &sink, m->input_crcs[thread], stretch, &m->error[thread]))
        return false;
    for (int64_t s = 0; s < count; s++) {
        for (int64_t j = 0; j < m->parts; j++)
            WriteUint32(m->table + 4 * (j * per_block + first + s), m->input_crcs[thread][j * count + s]);
        for (int r = 0; r < rows; r++)
            WriteUint32(m->table + 4 * ((m->parts + r) * per_block + first + s),
                        m->output_crcs[thread][r * m->at_once + s]);
    }
    if (thread == 0 && !ProgressStep(m->progress, m->threads * length * m->parts)) {
        m->stopped = true;
        return false;
    }
    return true;
}

// Whether each part's stretches, joined, are what was copied into it: an
// input changed between the two readings makes recovery parts of a file
// that never was.
static bool StretchesMatchParts(const RecoveryMaking *m, int64_t per_block)
{
    const Splitting *splitting = m->splitting;
    for (int64_t j = 0; j < m->parts; j++) {
        Crc32Joiner joiner;
        joiner.length = 0;
        uint32_t crc = 0;
        int64_t length = m->inputs[j].length;
        for (int64_t s = 0; s < per_block; s++) {
            int64_t from = s * splitting->stretch_length;
            int64_t n = length - from < splitting->stretch_length ? length - from : splitting->stretch_length;
            if (n > 0)
                crc = Crc32Combine(crc, ReadUint32(m->table + 4 * (j * per_block + s)), n, &joiner);
        }
        if (crc != m->writing->part_crcs[j])
            return false;
    }
    return true;
}

static SplitStatus MakeRecoveryParts(const Splitting *splitting, Writing *writing, const PartSetTrailer *trailer,
                                     int extension_length, Progress *progress, FileError *error)
{
    RecoveryMaking m;
    memset(&m, 0, sizeof m);
    m.splitting = splitting;
    m.writing = writing;
    m.parts = (int64_t)trailer->last_part + 1;
    m.progress = progress;
    ClearError(&m.error[0]);
    ClearError(&m.error[1]);
    int rows = splitting->recovery;
    int64_t block = splitting->layout.slice_length, per_block = StretchCount(block, splitting->stretch_length);
    int64_t table_length = StretchTableLength(m.parts, rows, block, splitting->stretch_length);
    m.inputs = (CodeInput *)malloc((size_t)m.parts * sizeof(CodeInput));
    m.matrix = (uint16_t *)malloc((size_t)rows * (size_t)m.parts * sizeof(uint16_t));
    m.table = (unsigned char *)malloc((size_t)table_length);
    bool ready = m.inputs && m.matrix && m.table;
    m.at_once = StretchesAtOnce(CodeWindow(rows), splitting->stretch_length);
    for (int t = 0; ready && t < 2; t++) {
        m.input_crcs[t] = (uint32_t *)malloc((size_t)(m.parts * m.at_once) * sizeof(uint32_t));
        m.output_crcs[t] = (uint32_t *)malloc((size_t)(rows * m.at_once) * sizeof(uint32_t));
        ready = m.input_crcs[t] && m.output_crcs[t] && StartScratch(&m.scratch[t], rows, CodeWindow(rows));
    }
    SplitStatus status = kSplitDone;
    if (!ready) {
        SetError(error, kErrorNoSpace, "make the recovery parts in", writing->folder->path);
        status = kSplitWriteFailed;
    }
    for (int64_t j = 0; ready && j < m.parts; j++) {
        PartLayout layout = splitting->layout;
        m.inputs[j] = CodeInput{splitting->input, j == 0 ? 0 : layout.head_data + (j - 1) * layout.slice_length,
                                j == 0 ? layout.head_data : SliceDataLength(&layout, trailer->size, j)};
        for (int r = 0; r < rows; r++)
            m.matrix[r * m.parts + j] = RecoveryCoefficient(r, j);
    }
    if (ready && !ShareOut((per_block + m.at_once - 1) / m.at_once, MakeRecoveryStretches, &m, &m.threads)) {
        const FileError *failed = HasFailed(&m.error[0]) ? &m.error[0] : &m.error[1];
        *error = *failed;
        status = m.stopped ? kSplitCancelled : TextEqual(failed->call, "write") ? kSplitWriteFailed : kSplitReadFailed;
    }
    if (status == kSplitDone && !StretchesMatchParts(&m, per_block))
        status = kSplitInputChanged;
    // Each recovery part describes the set as the head part ends, and
    // carries every stretch's checksum.
    RecoveryHeader header = {2, 0, rows, splitting->program->for_windows ? kRecoveryWindowsHead : 0,
                             splitting->layout.head_data, block, 0,
                             extension_length + PartTableSize(trailer) + kTrailerSize, splitting->stretch_length,
                             table_length};
    for (int r = 0; status == kSplitDone && r < rows; r++) {
        header.number = r + 1;
        if (!WriteRecoveryDescription(&writing->recovery[r], &header, &writing->head,
                                      splitting->image_size + splitting->layout.head_data, m.table, error))
            status = kSplitWriteFailed;
    }
    for (int t = 0; t < 2; t++) {
        free(m.input_crcs[t]);
        free(m.output_crcs[t]);
        EndScratch(&m.scratch[t]);
    }
    free(m.inputs);
    free(m.matrix);
    free(m.table);
    return status;
}

// Writes the head part's program, stretch and extension, then the slice
// files, then the part table and the trailer, all under temporary names.
static SplitStatus WriteParts(Splitting *splitting, const unsigned char *extension,
                              int extension_length, PartSetTrailer *trailer, Progress *progress,
                              Writing *writing, SplitResult *result)
{
    char *name = result->part;
    FileError *error = &result->error;
    FormatPartName(name, writing->stem, 0);
    ProgressItem(progress, name);
    char temp[kPathSize];
    TempName(&writing->series, 0, temp);
    if (!FileCreate(writing->folder, temp, name, kProgramFile, &writing->head, error))
        return kSplitCannotCreate;
    writing->written = 1;
    const ProgramImage *program = splitting->program;
    CopyResult copy =
        splitting->image
            ? CopyBytes(splitting->image, &writing->head, splitting->image_size, &trailer->image_crc, 0, error)
            : WriteBytes(&writing->head, program->bytes, splitting->image_size, &trailer->image_crc, error);
    if (copy != kCopied)
        return CopyFailure(copy, true);
    for (int k = 1; k <= splitting->recovery; k++) {
        FormatPartName(name, writing->stem, -k);
        TempName(&writing->series, -k, temp);
        if (!FileCreate(writing->folder, temp, name, kDataFile, &writing->recovery[k - 1], error))
            return kSplitCannotCreate;
        writing->recovery_made = k;
    }
    if (splitting->stream && splitting->recovery) {
        if (!StartStreamed(writing->streamed_room, splitting->recovery, splitting->layout.slice_length,
                           splitting->stretch_length, writing->recovery, error))
            return kSplitWriteFailed;
        writing->streamed = writing->streamed_room;
    }
    FormatPartName(name, writing->stem, 0);
    uint32_t crc = 0;
    copy = CopyBytes(splitting->input, &writing->head, splitting->layout.head_data, &crc, progress, error);
    if (copy != kCopied)
        return CopyFailure(copy, false);
    if (WriteBytes(&writing->head, extension, extension_length, 0, error) != kCopied ||
        !PartDone(writing, trailer, crc, splitting->layout.head_data, error))
        return kSplitWriteFailed;
    int64_t size = splitting->layout.head_data;
    for (int64_t i = 1;; i++) {
        if (!splitting->stream && i > splitting->layout.last_part)
            break;
        if (splitting->stream && i > splitting->most_slices)
            return kSplitTooLarge;
        // A stream's slices are judged as they come, since none knows
        // beforehand how many there will be.
        SplitStatus status =
            splitting->stream ? Obstacle(writing->folder, writing->stem, i, 0,
                                         splitting->image ? &splitting->image_id : 0,
                                         splitting->earlier, splitting->options->force, result)
                              : kSplitDone;
        if (status != kSplitDone)
            return status;
        FormatPartName(name, writing->stem, i);
        ProgressItem(progress, name);
        int64_t length = splitting->stream ? 0 : SliceDataLength(&splitting->layout, trailer->size, i);
        status = WriteSlice(splitting, i, &length, name, trailer, progress, writing, error);
        if (status != kSplitDone)
            return status;
        if (length == 0)
            break;
        size += length;
        trailer->last_part = (int32_t)i;
    }
    if (splitting->stream) {
        if (size <= splitting->slice_bytes)
            return kSplitTooSmall;
        trailer->size = size;
        trailer->original_size32 = size < kSizeOverflow ? (int32_t)size : kSizeOverflow;
        trailer->slice_length = (uint32_t)splitting->layout.slice_length;
    }
    FormatPartName(name, writing->stem, 0);
    if (!FlushTable(writing, trailer, error) || !WriteTrailer(&writing->head, trailer, error))
        return kSplitWriteFailed;
    if (splitting->recovery) {
        FormatPartName(name, writing->stem, -1);
        ProgressItem(progress, name);
        SplitStatus status =
            !writing->streamed ? MakeRecoveryParts(splitting, writing, trailer, extension_length, progress, error)
            : FinishStreamed(writing->streamed, trailer, extension_length + PartTableSize(trailer) + kTrailerSize,
                             &writing->head, splitting->image_size, program->for_windows, error)
                ? kSplitDone
                : kSplitWriteFailed;
        if (status != kSplitDone)
            return status;
        for (int k = 1; k <= splitting->recovery; k++) {
            FormatPartName(name, writing->stem, -k);
            if (!FileClose(&writing->recovery[k - 1], error))
                return kSplitWriteFailed;
        }
        FormatPartName(name, writing->stem, 0);
    }
    return FileClose(&writing->head, error) ? kSplitDone : kSplitWriteFailed;
}

// Moves the file that has part index's name aside, where one has; then
// gives the new part that name.  Only a plain file was found replaceable:
// anything else there now came meanwhile, and stays; and where the name is
// taken again meanwhile, the rename fails rather than replace it.
static bool PlacePart(Writing *writing, int64_t index, char name[kPathSize], FileError *error)
{
    char temp[kPathSize], aside[kPathSize];
    FormatPartName(name, writing->stem, index);
    TempName(&writing->series, index, temp);
    TempName(&writing->aside, index, aside);
    FileKind kind = FileKindOf(writing->folder, name);
    if (kind != kNothingThere && kind != kPlainFile)
        return SetError(error, kErrorExists, "rename", name);
    if (kind == kPlainFile && !FileRenameNew(writing->folder, name, aside, name, error))
        return false;
    return FileRenameNew(writing->folder, temp, name, name, error);
}

// Puts back part index's name as it was: the new part to its temporary
// name, and what was moved aside to its own.
static void UnplacePart(Writing *writing, int64_t index)
{
    char name[kPathSize], temp[kPathSize], aside[kPathSize];
    FormatPartName(name, writing->stem, index);
    TempName(&writing->series, index, temp);
    TempName(&writing->aside, index, aside);
    FileRenameNew(writing->folder, name, temp, name, 0);
    if (FileKindOf(writing->folder, aside) != kNothingThere)
        FileRenameNew(writing->folder, aside, name, name, 0);
}

// Gives every part its own name, the slices first and the head part last,
// so that the set claims nothing under the head part's name until it is
// whole.  Quick, and not to be stopped half way: a stop asked for now comes
// too late.  A name that cannot be taken puts every one back.
// The part placed at that step: the slices first, then the recovery parts
// (-1, -2, ...), the head part last.
static int64_t PlacedAt(const Writing *writing, int64_t last_part, int64_t step)
{
    if (step < last_part)
        return step + 1;
    return step < last_part + writing->recovery_made ? last_part - step - 1 : 0;
}

static SplitStatus PlaceParts(Writing *writing, int64_t last_part, char name[kPathSize],
                              FileError *error)
{
    int64_t steps = last_part + writing->recovery_made + 1;
    for (int64_t step = 0; step < steps; step++) {
        if (!PlacePart(writing, PlacedAt(writing, last_part, step), name, error)) {
            for (int64_t back = step; back >= 0; back--)
                UnplacePart(writing, PlacedAt(writing, last_part, back));
            return kSplitCannotCreate;
        }
    }
    return kSplitDone;
}

// Once the new set has its names: what was moved aside goes, and so does
// the rest of the set it replaces, of this file or (on the user's word) of
// another: its slices beyond the new ones where its table says they are
// its own, and its recovery parts beyond the new ones where they record
// its identity, or with --force any there; a stale one must never rebuild
// an old file.  The number removed or replaced.
static int64_t RemoveEarlierSet(Writing *writing, int64_t last_part, EarlierSet *earlier, bool force)
{
    int64_t removed = 0;
    char name[kPathSize];
    for (int64_t i = -writing->recovery_made; i <= last_part; i++) {
        TempName(&writing->aside, i, name);
        removed += FileKindOf(writing->folder, name) != kNothingThere &&
                   FileDelete(writing->folder, name, 0);
    }
    bool replaced = earlier->same_file || earlier->other_file;
    for (int64_t k = 0; k < earlier->recovery_beyond_count; k++) {
        FormatPartName(name, writing->stem, -earlier->recovery_beyond[k]);
        bool goes = replaced && RecoveryPartOf(writing->folder, name, &earlier->head);
        goes = goes || (force && FileKindOf(writing->folder, name) == kPlainFile);
        removed += goes && FileDelete(writing->folder, name, 0);
    }
    if (!replaced)
        return removed;
    PartTable table;
    OpenPartTable(&table, &earlier->head);
    uint32_t recorded;
    for (int64_t i = last_part + 1; RecordedPartCrc(&table, i, &recorded, 0); i++) {
        FormatPartName(name, writing->stem, i);
        File part;
        uint32_t crc = 0;
        int64_t length;
        bool own = FileOpenRead(writing->folder, name, &part, 0) &&
                   CopyAvailable(&part, 0, INT64_MAX, &length, &crc, 0, 0) == kCopied && crc == recorded;
        FileClose(&part, 0);
        removed += own && FileDelete(writing->folder, name, 0);
    }
    return removed;
}

// Takes back what a failed or stopped split wrote, and nothing else: a set
// that failed half way is of no use, and a full disk wants its room back.
static void RemoveParts(Writing *writing)
{
    FileClose(&writing->head, 0);
    char name[kPathSize];
    for (int k = 1; k <= writing->recovery_made; k++) {
        FileClose(&writing->recovery[k - 1], 0);
        TempName(&writing->series, -k, name);
        FileDelete(writing->folder, name, 0);
    }
    for (int64_t i = 0; i < writing->written; i++) {
        TempName(&writing->series, i, name);
        FileDelete(writing->folder, name, 0);
    }
}

// The bytes of all parts together, and of the largest.
static int64_t SetBytes(const Splitting *splitting, const PartSetTrailer *trailer,
                        int64_t extension_length)
{
    return trailer->image_size + trailer->size + PartTableSize(trailer) + extension_length + kTrailerSize +
           splitting->recovery * (splitting->recovery_overhead + splitting->layout.slice_length) +
           kMostJournalBytes;
}

// Whether the set fits the folder's drive, asked before anything is
// written: a courtesy, since the room can still run out while it is.
static SplitStatus CheckRoom(const Folder *folder, const Splitting *splitting,
                             const PartSetTrailer *trailer, int64_t extension_length,
                             SplitResult *result)
{
    const PartLayout *layout = &splitting->layout;
    int64_t largest_file;
    if (!FolderSpace(folder, &result->free_bytes, &largest_file, 0)) {
        result->free_bytes = -1;
        return kSplitDone;
    }
    int64_t head = trailer->image_size + layout->head_data + PartTableSize(trailer) +
                   extension_length + kTrailerSize;
    result->needed = head > layout->slice_length ? head : layout->slice_length;
    if (result->needed > largest_file) {
        result->free_bytes = largest_file;
        return kSplitPartTooLargeForDrive;
    }
    result->needed = SetBytes(splitting, trailer, extension_length);
    return result->needed > result->free_bytes ? kSplitNoRoom : kSplitDone;
}

// The bytes of a recovery part beyond its block, for a set of last_part
// slices whose head part ends in fixed_bytes and its table.
static int64_t RecoveryOverhead(int64_t fixed_bytes, int64_t last_part, int recovery, int64_t slice_length)
{
    int64_t parts = last_part + 1;
    int64_t stretch = ChooseStretchLength(slice_length, parts, recovery);
    return RecoveryLength(0, fixed_bytes + parts * kTableEntrySize,
                          StretchTableLength(parts, recovery, slice_length, stretch));
}

static PartLayout Plan(const Splitting *splitting, int64_t part_bytes, int64_t fixed_bytes,
                       int64_t input_size)
{
    int64_t head_bytes = part_bytes;
    if (splitting->program->for_windows && head_bytes > kMaxWindowsHeadBytes)
        head_bytes = kMaxWindowsHeadBytes;
    // With recovery parts, a slice leaves room for a recovery part's header,
    // which grows with the table as the slices shrink: shorten them until
    // the count holds.  The length stays even, the recovery code's words.
    int64_t slice_bytes = part_bytes;
    for (int steps = 0;; steps++) {
        PartLayout layout = PlanParts(splitting->image_size, head_bytes, slice_bytes, input_size,
                                      kTableEntrySize, fixed_bytes);
        if (!splitting->recovery || layout.head_data < 0)
            return layout;
        if (layout.head_data > slice_bytes) {
            // The head part's stretch is a block of the code too, no longer
            // than a slice: a program smaller than a recovery header leaves
            // the head part room to spare.
            head_bytes -= layout.head_data - slice_bytes;
            continue;
        }
        int64_t header = RecoveryOverhead(fixed_bytes, layout.last_part, splitting->recovery, slice_bytes);
        int64_t fits = (part_bytes - header) & ~(int64_t)1;
        if (fits >= slice_bytes || fits < 2 || steps == 64) {
            if (fits < slice_bytes)
                layout.head_data = -1;  // no slice length holds: the parts are too small
            return layout;
        }
        slice_bytes = fits;
    }
}

// Whether parts of part_bytes make a set that Prepare takes: the head part
// holds the program, the trailer and the table, and the count is within
// what the set may have, with recovery parts within what their code covers.
static bool PartsHold(const Splitting *splitting, int64_t part_bytes, int64_t fixed_bytes,
                      int64_t input_size)
{
    PartLayout layout = Plan(splitting, part_bytes, fixed_bytes, input_size);
    return layout.head_data >= 0 && layout.last_part <= kMaxLastPart &&
           (!splitting->recovery || layout.last_part < kMaxDataParts);
}

// The least part size, in whole kilobytes, that makes a set PartsHold
// takes: the one every refusal for parts too small names.
static int64_t LeastPartBytes(const Splitting *splitting, int64_t fixed_bytes, int64_t input_size)
{
    int64_t least = (splitting->image_size + fixed_bytes + 2 * kTableEntrySize + 1023) / 1024 * 1024;
    // Each step adds a kilobyte or more; the table shrinks as the parts
    // grow, so the answer is near, but jump close first for sets of millions.
    while (least <= kMaxSliceBytes && !PartsHold(splitting, least, fixed_bytes, input_size))
        least += least / 64 / 1024 * 1024 + 1024;
    while (least > 1024 && PartsHold(splitting, least - 1024, fixed_bytes, input_size))
        least -= 1024;
    return least;
}

static SplitStatus TooSmall(const Splitting *splitting, int64_t fixed_bytes, int64_t input_size,
                            SplitResult *result)
{
    result->least = LeastPartBytes(splitting, fixed_bytes, input_size);
    result->table_too_large =
        (splitting->image_size + fixed_bytes + 2 * kTableEntrySize + 1023) / 1024 * 1024 <= splitting->slice_bytes;
    return kSplitPartsTooSmall;
}

// A stream's layout: no stretch in the head part, whose room is all the
// table's; slices of the size asked, or with recovery parts, shorter by
// what a recovery part of a set of the most parts it may have carries,
// since its count is known only at its end.
static void PlanStream(Splitting *splitting, int64_t fixed_bytes)
{
    splitting->layout.head_data = splitting->most_slices >= 1 ? 0 : -1;
    splitting->layout.slice_length = splitting->slice_bytes;
    splitting->layout.last_part = 1;
    if (!splitting->recovery)
        return;
    for (int steps = 0; steps < 8; steps++) {
        int64_t overhead = RecoveryOverhead(fixed_bytes, kMaxDataParts - 1, splitting->recovery,
                                            splitting->layout.slice_length);
        splitting->layout.slice_length = (splitting->slice_bytes - overhead) & ~(int64_t)1;
    }
    if (splitting->layout.slice_length < 4096)
        splitting->layout.head_data = -1;
    if (splitting->most_slices > kMaxDataParts - 1)
        splitting->most_slices = kMaxDataParts - 1;
}

// Everything that can refuse the split, found before anything is written.
static SplitStatus Prepare(const Folder *folder, const char *name, const char *stem,
                           Splitting *splitting, int64_t fixed_bytes, PartSetTrailer *trailer,
                           SplitResult *result, Progress *progress)
{
    int64_t input_size = splitting->stream ? 0 : splitting->input_info->length;
    if (!splitting->stream && input_size <= splitting->slice_bytes)
        return kSplitTooSmall;
    if (splitting->program->for_windows && (result->why_not_windows = WhyNotAWindowsName(name)))
        return kSplitNotAWindowsName;
    FileInfo image_info;
    if (splitting->image && !FileInfoOf(splitting->image, &image_info, &result->error))
        return kSplitNoImage;
    splitting->image_id = splitting->image ? image_info.id : FileId();
    splitting->image_size = splitting->image ? image_info.length : splitting->program->size;
    if (splitting->image_size > kMaxImageSize)
        return kSplitNoImage;
    splitting->head_bytes = splitting->program->for_windows && splitting->slice_bytes > kMaxWindowsHeadBytes
                                ? kMaxWindowsHeadBytes
                                : splitting->slice_bytes;
    splitting->most_slices = (splitting->head_bytes - splitting->image_size - fixed_bytes) / kTableEntrySize - 1;
    if (splitting->stream)
        PlanStream(splitting, fixed_bytes);
    else
        splitting->layout = Plan(splitting, splitting->slice_bytes, fixed_bytes, input_size);
    // Too many parts for recovery parts, whatever their checksums take.
    Splitting plain = *splitting;
    plain.recovery = 0;
    PartLayout without = splitting->layout;
    if (splitting->recovery && !splitting->stream)
        without = Plan(&plain, splitting->slice_bytes, fixed_bytes, input_size);
    bool too_many = splitting->recovery && without.head_data >= 0 && without.last_part >= kMaxDataParts;
    if (splitting->layout.head_data < 0 && !too_many)
        return TooSmall(splitting, fixed_bytes, splitting->stream ? 1 : input_size, result);
    if (splitting->layout.last_part > kMaxLastPart)
        return kSplitTooLarge;
    if (splitting->recovery && !splitting->stream && (too_many || splitting->layout.last_part >= kMaxDataParts)) {
        // Parts of a size that leaves kMaxDataParts - 1 slices at most.
        result->least = LeastPartBytes(splitting, fixed_bytes, input_size);
        return kSplitTooManyForRecovery;
    }
    if (splitting->recovery) {
        // A stream's recovery parts are sized for the most parts it may have.
        int64_t last = splitting->stream ? kMaxDataParts - 1 : splitting->layout.last_part;
        splitting->stretch_length =
            ChooseStretchLength(splitting->layout.slice_length, last + 1, splitting->recovery);
        splitting->recovery_overhead =
            RecoveryOverhead(fixed_bytes, last, splitting->recovery, splitting->layout.slice_length);
    }
    if (!NamesHoldUp(folder, name, stem, splitting->stream ? 999999 : splitting->layout.last_part,
                     &result->error))
        return kSplitNamesTooLong;
    int64_t last = splitting->stream ? 0 : splitting->layout.last_part;
    for (int64_t i = -splitting->recovery; i <= last; i++) {
        if (!ProgressStep(progress, 0))
            return kSplitCancelled;
        SplitStatus status = Obstacle(folder, stem, i, splitting->stream ? 0 : &splitting->input_info->id,
                                      splitting->image ? &splitting->image_id : 0, splitting->earlier,
                                      splitting->options->force, result);
        if (status != kSplitDone)
            return status;
    }
    // Recovery parts beyond the new set's stay in the way where they are no
    // part of the set it replaces, since they would rebuild another file.
    if (!ListRecoveryBeyond(folder, stem, splitting->recovery, splitting->earlier, &result->error))
        return kSplitCannotCreate;
    for (int64_t k = 0; k < splitting->earlier->recovery_beyond_count; k++) {
        SplitStatus status = Obstacle(folder, stem, -splitting->earlier->recovery_beyond[k], 0, 0,
                                      splitting->earlier, splitting->options->force, result);
        if (status != kSplitDone)
            return status;
    }
    trailer->image_size = (int32_t)splitting->image_size;
    trailer->size = input_size;
    trailer->original_size32 = input_size < kSizeOverflow ? (int32_t)input_size : kSizeOverflow;
    trailer->last_part = (int32_t)splitting->layout.last_part;
    trailer->slice_length = (uint32_t)splitting->layout.slice_length;
    trailer->crc = trailer->image_crc = trailer->table_crc = 0;
    if (splitting->stream)
        return kSplitDone;  // the room is found as the parts are written
    return CheckRoom(folder, splitting, trailer, fixed_bytes - kTrailerSize, result);
}

// Whether the input is still what it was when the split began: a file
// that grew, or was changed, would make a set of a file that never was.
static bool Unchanged(File *input, const FileInfo *before, const char *input_path)
{
    FileInfo now;
    FileId named;
    return FileInfoOf(input, &now, 0) && now.length == before->length &&
           SameTime(now.modified, before->modified) && FileIdAt(0, input_path, &named) &&
           SameFile(named, before->id);
}

// The earlier head part is closed while the parts take their names, since
// Windows moves no file held open: read again where it was moved aside,
// for its table and description.
static void ReopenEarlierHead(Writing *writing, EarlierSet *earlier)
{
    char name[kPathSize];
    TempName(&writing->aside, 0, name);
    if (FileOpenRead(writing->folder, name, &earlier->head.file, 0, &earlier->head.info) &&
        ReadHeadPart(&earlier->head, 0) != kHeadSound)
        FileClose(&earlier->head.file, 0);
}

// What is still aside once the earlier set is removed: the earlier head
// part, which Windows deletes only once it is closed.
static int64_t RemoveLeftAside(Writing *writing, int64_t last_part, EarlierSet *earlier)
{
    FileClose(&earlier->head.file, 0);
    int64_t removed = 0;
    char name[kPathSize];
    for (int64_t i = -writing->recovery_made; i <= last_part; i++) {
        TempName(&writing->aside, i, name);
        removed += FileKindOf(writing->folder, name) != kNothingThere && FileDelete(writing->folder, name, 0);
    }
    return removed;
}

static SplitStatus Write(const Folder *folder, const char *input_path, const char *stem,
                         Splitting *splitting, const unsigned char *extension, int extension_length,
                         PartSetTrailer *trailer, EarlierSet *earlier, Progress *progress,
                         SplitResult *result)
{
    if (progress)
        progress->total = trailer->size;
    Writing writing;
    writing.folder = folder;
    writing.stem = stem;
    NewTempSeries(&writing.series);
    NewTempSeries(&writing.aside);
    writing.head.handle = kNoHandle;
    writing.written = 0;
    writing.table_used = 0;
    writing.joiner.length = 0;
    writing.recovery_made = 0;
    writing.table_entries = 0;
    writing.recovery = splitting->recovery ? (File *)calloc((size_t)splitting->recovery, sizeof(File)) : 0;
    // A file's parts are checked against a second reading of it; a stream
    // is read once.
    writing.part_crcs = splitting->recovery && !splitting->stream
                            ? (uint32_t *)calloc((size_t)splitting->layout.last_part + 1, sizeof(uint32_t))
                            : 0;
    writing.streamed = 0;
    StreamRecovery streamed;
    memset(&streamed, 0, sizeof streamed);
    writing.streamed_room = &streamed;
    SplitStatus status = kSplitDone;
    if (splitting->recovery && (!writing.recovery || (!splitting->stream && !writing.part_crcs))) {
        SetError(&result->error, kErrorNoSpace, "make the recovery parts in", folder->path);
        status = kSplitWriteFailed;
    } else if (splitting->recovery) {
        for (int k = 0; k < splitting->recovery; k++)
            writing.recovery[k].handle = kNoHandle;
        if (progress && !splitting->stream)
            progress->total *= 2;  // the input is read again for the recovery parts
    }
    // The journal names the temporary names before any is taken, so that a
    // split stopped dead is taken back or finished by the next one.
    SetJournal journal = {kJournalWriting, writing.series, writing.aside,
                          splitting->stream ? splitting->most_slices : splitting->layout.last_part,
                          splitting->recovery, 0};
    bool journaled = status == kSplitDone && WriteJournal(folder, stem, &journal, true, &result->error);
    if (status == kSplitDone && !journaled) {
        // Told against the head part, the set's first file, as the user
        // knows it; against the journal only where a file of its name is there.
        bool there = result->error.code == kErrorExists;
        if (there)
            JournalName(stem, result->part);
        else
            FormatPartName(result->part, stem, 0), CopyText(result->error.path, kPathSize, result->part);
        status = !there && (TextEqual(result->error.call, "write") || TextEqual(result->error.call, "close"))
                     ? kSplitWriteFailed
                     : kSplitCannotCreate;
    }
    if (status == kSplitDone)
        status = WriteParts(splitting, extension, extension_length, trailer, progress, &writing, result);
    free(writing.part_crcs);
    EndStreamed(&streamed);
    if (status == kSplitDone && !splitting->stream &&
        !Unchanged(splitting->input, splitting->input_info, input_path))
        status = kSplitInputChanged;
    if (status == kSplitDone) {
        // Every part is written: from here the set is finished, not taken
        // back, should the split be stopped dead; the journal knows its head part.
        unsigned char bytes[kTrailerSize];
        EncodeTrailer(trailer, bytes);
        journal.state = kJournalPlacing;
        journal.last_part = trailer->last_part;
        journal.head_check = Crc32Update(0, bytes, kTrailerSize);
        if (!WriteJournal(folder, stem, &journal, false, &result->error))
            status = kSplitWriteFailed;
    }
    bool held = IsOpen(&earlier->head.file);
    FileClose(&earlier->head.file, 0);  // Windows moves no file held open
    if (status == kSplitDone)
        status = PlaceParts(&writing, trailer->last_part, result->part, &result->error);
    if (status == kSplitDone && held)
        ReopenEarlierHead(&writing, earlier);
    if (status == kSplitDone) {
        result->replaced = RemoveEarlierSet(&writing, trailer->last_part, earlier, splitting->options->force);
        result->replaced += RemoveLeftAside(&writing, trailer->last_part, earlier);
        result->replaced_others = !earlier->same_file;
        RemoveJournal(folder, stem, 0);
        free(writing.recovery);
        return kSplitDone;
    }
    RemoveParts(&writing);
    if (journaled)
        RemoveJournal(folder, stem, 0);
    free(writing.recovery);
    // With the room given back, what a full disk lacks for the set.
    int64_t largest_file;
    if (result->error.code == kErrorNoSpace && !splitting->stream &&
        FolderSpace(folder, &result->free_bytes, &largest_file, 0))
        result->needed = SetBytes(splitting, trailer, extension_length);
    return status;
}

static void InitResult(SplitResult *result)
{
    result->status = kSplitDone;
    result->part[0] = result->other[0] = 0;
    ClearError(&result->error);
    result->size = -1;
    result->last_part = 0;
    result->recovery = 0;
    result->crc = 0;
    result->replaced = 0;
    result->replaced_others = false;
    result->needed = result->free_bytes = result->least = -1;
    result->table_too_large = false;
    result->why_not_windows = 0;
    result->resumed = kNothingInterrupted;
}

SplitResult SplitFile(const Folder *folder, const char *input_path, int64_t slice_bytes,
                      const ProgramImage *program, const SplitOptions *options,
                      Progress *progress)
{
    assert(slice_bytes > 0 && (input_path || options->name));
    SplitResult result;
    InitResult(&result);
    const char *name = input_path ? FileNameOf(input_path) : options->name;
    char stem[kPathSize];
    StemOf(name, stem);
    File input, image;
    FileInfo input_info;
    image.handle = kNoHandle;
    bool stream = kCommandLine && !input_path;
    if (stream)
        StandardInput(&input);
    else if (!FileOpenRead(0, input_path, &input, &result.error, &input_info)) {
        result.status = kSplitNoInput;
        return result;
    }
    PartSetTrailer trailer;
    SetExtension description;
    Describe(&trailer, &description, input_path, name, stream ? 0 : &input_info, options->recovery);
    unsigned char extension[kMaxExtensionSize];
    int extension_length = EncodeExtension(&description, extension);
    result.resumed = ResumeInterruptedSplit(folder, stem, 0);
    if (result.resumed != kNothingInterrupted)
        FormatPartName(result.part, stem, 0);  // the set the note concerns
    EarlierSet earlier;
    LookForEarlierSet(folder, stem, name, &earlier);
    Splitting splitting = {&input, stream, &input_info, program, 0, 0, slice_bytes, 0, 0,
                           PartLayout(), options, &earlier, FileId(), options->recovery, 0, 0};
    if (program->path && !FileOpenRead(0, program->path, &image, &result.error)) {
        result.status = kSplitNoImage;
    } else {
        splitting.image = program->path ? &image : 0;
        result.status = Prepare(folder, name, stem, &splitting, extension_length + kTrailerSize,
                                &trailer, &result, progress);
        // The stretch chosen for the layout: its entry's length was counted.
        description.stretch_length = splitting.stretch_length;
        extension_length = EncodeExtension(&description, extension);
    }
    if (result.status == kSplitDone) {
        result.status = Write(folder, input_path, stem, &splitting, extension, extension_length,
                              &trailer, &earlier, progress, &result);
        result.size = trailer.size;
        result.last_part = trailer.last_part;
        result.recovery = options->recovery;
        result.crc = trailer.crc;
    }
    FileClose(&earlier.head.file, 0);
    free(earlier.recovery_beyond);
    FileClose(&image, 0);
    if (!stream)
        FileClose(&input, 0);
    return result;
}
