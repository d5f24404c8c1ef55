#include "split/split_engine.h"

#include <assert.h>
#include <stdlib.h>

#include "format/extension.h"
#include "format/head_part.h"
#include "format/part_layout.h"
#include "format/part_names.h"
#include "format/paths.h"
#include "format/recovery.h"
#include "format/set_journal.h"
#include "format/trailer.h"
#include "math/crc32.h"
#include "math/erasure.h"
#include "math/gf16.h"
#include "platform/text.h"
#include "transfer/copy.h"
#include "transfer/erasure_engine.h"

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
static void DescribeInput(PartSetTrailer *trailer, SetExtension *extension, const char *input_path,
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
    bool same_file = false;   // a sound head part of a set of the same name has the head part's name
    bool other_file = false;  // ... of a set of another name
    HeadPart head;
    // The numbers of the recovery parts of the stem beyond those the new
    // set makes, whoever's they are.
    int64_t *recovery_beyond = 0;
    int64_t recovery_beyond_count = 0;
    bool out_of_memory = false;  // while they were listed
};

static void LookForEarlierSet(const Folder *folder, const char *stem, const char *name,
                              EarlierSet *earlier)
{
    earlier->head.file.handle = kNoHandle;
    char head[kPathSize];
    FormatPartName(head, stem, 0);
    FileKind kind = FileKindOf(folder, head);
    if ((kind != kPlainFile && kind != kReadOnlyFile) ||
        !FileOpenRead(folder, head, &earlier->head.file, 0, &earlier->head.info))
        return;
    bool sound = ReadHeadPart(&earlier->head, 0) == kHeadSound;
    earlier->same_file = sound && NamedAlike(earlier->head.output, name);
    earlier->other_file = sound && !earlier->same_file;
    if (!sound)
        FileClose(&earlier->head.file, 0);
}

// Standard input's recovery parts, made in the one pass that reads it:
// every stretch copied into a slice is multiplied into each recovery block,
// kept in memory where they all fit kStreamedMemory, else in the recovery
// parts' own files, a window at a time; each stretch's checksum as it goes.
const int64_t kStreamedMemory = 64LL << 20;

struct StreamRecovery {
    int count = 0;
    int64_t block = 0, stretch = 0, per_block = 0;
    unsigned char *blocks = 0;  // count x block, or null: the blocks are in files
    File *files = 0;            // the recovery parts, each block at kRecoveryHeaderSize
    unsigned char *window = 0;  // a window of a block in a file, read back
    int64_t index = 0, at = 0;  // the slice fed, and how much of it so far
    uint32_t *crcs = 0;         // the slices' stretch checksums, index x per_block
    int64_t rows = 0;           // ... rows of room
    CopyTap tap;
    FileError error;
};

// A split at work: what it reads, what it plans, and the parts it writes.
struct Splitting {
    const Folder *folder;
    const char *input_path;  // null for standard input
    const char *name;        // the name the file is rebuilt under
    char stem[kPathSize];
    File input;
    FileInfo input_info;
    bool stream;             // standard input: its length is known at its end
    const ProgramImage *program;
    File image;  // the program's file, where it has one
    FileId image_id = {0, 0};
    int64_t image_size = 0;
    const SplitOptions *options;
    Progress *progress;
    // The plan.
    int64_t slice_bytes;
    int64_t head_bytes = 0;   // the most the head part may hold
    int64_t most_slices = 0;  // what the head part's table can count
    PartLayout layout = {0, 0, 0};  // for a file; for a stream, slices of slice_bytes and no stretch
    int recovery;                    // recovery parts
    int64_t recovery_overhead = 0;   // the bytes of each one beyond its block
    int64_t stretch_length = 0;      // ... and the stretches their checksums cover
    PartSetTrailer trailer;
    SetExtension description;
    unsigned char extension[kMaxExtensionSize];
    int extension_length = 0;
    EarlierSet earlier;
    // The parts being written: all under temporary names of the journal's
    // series, the head part number 0, until every one is complete.  Parts
    // of an earlier set that are in the way are moved aside, under names of
    // its other series, until the new set has taken its names.
    SetJournal journal;
    File head;
    int64_t written = 0;       // parts 0 to written - 1 exist under their temporary names
    File *recovery_files = 0;  // the recovery parts being written, -1 to -recovery_made
    int recovery_made = 0;
    uint32_t *part_crcs = 0;   // with recovery parts: each part's CRC-32, as copied
    StreamRecovery streamed;   // standard input's recovery parts, made as it is read
    bool streaming = false;    // ... once they are started
    // The part table, written to the head part as the parts are done.
    unsigned char table[4096];
    int table_used = 0;
    int64_t table_entries = 0;
    Crc32Joiner joiner = {0, {0}};  // joins each part's CRC into the whole file's
};

// Standard input is read only where there is a command line: the Windows
// program leaves out all that a stream needs.
static bool IsStream(const Splitting *s)
{
    return kCommandLine && s->stream;
}

// Each records why the split stops and returns false: a fault, or a file
// operation that failed (result->error) at that step.
static bool RefuseSplit(SplitResult *result, SplitFault fault)
{
    result->fault = fault;
    return false;
}

static bool SplitFailedAt(SplitResult *result, SplitStep step)
{
    result->fault = kSplitFileFailed;
    result->step = step;
    return false;
}

// A copy that did not finish: a write, the user, or a read at read_step.
static bool SplitCopyFailed(SplitResult *result, CopyResult copy, SplitStep read_step)
{
    return copy == kCopyStopped ? RefuseSplit(result, kSplitCancelled)
                                : SplitFailedAt(result, copy == kWriteFailed ? kSplitWritingPart : read_step);
}

static bool CollectRecoveryBeyond(void *context, const FolderEntry *entry)
{
    Splitting *s = (Splitting *)context;
    EarlierSet *earlier = &s->earlier;
    int64_t number = RecoveryNumberOf(entry->name, s->stem, 1000000000000LL);
    if (number <= s->recovery)
        return true;
    int64_t count = earlier->recovery_beyond_count;
    if ((count & (count - 1)) == 0) {  // 0, 1, 2, 4, ...: room for twice as many
        void *grown = realloc(earlier->recovery_beyond, (size_t)(count ? 2 * count : 8) * sizeof(int64_t));
        if (!grown)
            return earlier->out_of_memory = true, false;
        earlier->recovery_beyond = (int64_t *)grown;
    }
    earlier->recovery_beyond[earlier->recovery_beyond_count++] = number;
    return true;
}

// Lists the recovery parts of the stem numbered beyond the new set's.
static bool ListRecoveryBeyond(Splitting *s, FileError *error)
{
    char prefix[kPathSize];
    if (!CopyText(prefix, kPathSize, s->stem) || !AppendText(prefix, kPathSize, "_R"))
        return true;
    if (!ListFolder(s->folder, prefix, CollectRecoveryBeyond, s, error))
        return false;
    return !s->earlier.out_of_memory || SetError(error, kErrorNoSpace, "list the parts in", s->folder->path);
}

// Whether the name of part index may take the new part: nothing there, or
// a part of an earlier split of the same file, or, with the user's word, a
// file of another set or of none.  A read-only file, a link, a folder, the
// input or the program itself is never written over.  Checked up front
// for a message that says which; the renames close the race.
static bool NameIsFree(const Splitting *s, int64_t index, SplitResult *result)
{
    char name[kPathSize];
    FormatPartName(name, s->stem, index);
    FileKind kind = FileKindOf(s->folder, name);
    FileId id;
    const EarlierSet *earlier = &s->earlier;
    SplitFault fault = kSplitStrayPartInTheWay;
    if (kind == kReadOnlyFile || kind == kLinkThere || kind == kOtherThere ||
        (kind == kPlainFile && FileIdAt(s->folder, name, &id) &&
         ((!IsStream(s) && SameFile(id, s->input_info.id)) || (IsOpen(&s->image) && SameFile(id, s->image_id)))))
        fault = kSplitPartInTheWay;
    else if (kind == kNothingThere || s->options->force)
        return true;
    else if (index < 0) {
        // A recovery part is the earlier set's only by what it records: one
        // of another split would rebuild another file.
        if ((earlier->same_file || earlier->other_file) && IsRecoveryPartOfSet(s->folder, name, &earlier->head))
            return true;
    } else if (earlier->same_file) {
        return true;
    } else if (earlier->other_file) {
        fault = kSplitOtherSetInTheWay;
    }
    CopyText(result->part, kPathSize, name);
    if (fault == kSplitOtherSetInTheWay) {
        FormatPartName(result->part, s->stem, 0);
        AppendName(result->other, kPathSize, earlier->head.output);
    }
    return RefuseSplit(result, fault);
}

// Writes the table entries held so far to the head part.
static bool FlushPartTable(Splitting *s, FileError *error)
{
    s->trailer.table_crc = Crc32Update(s->trailer.table_crc, s->table, (size_t)s->table_used);
    bool written = FileWrite(&s->head, s->table, s->table_used, error);
    s->table_used = 0;
    return written;
}

// Enters a part's CRC-32 in the table and joins it into the input's.
static bool EnterPartInTable(Splitting *s, uint32_t crc, int64_t length, FileError *error)
{
    s->trailer.crc = Crc32Combine(s->trailer.crc, crc, length, &s->joiner);
    if (s->part_crcs)
        s->part_crcs[s->table_entries] = crc;
    s->table_entries++;
    WriteUint32(s->table + s->table_used, crc);
    s->table_used += kTableEntrySize;
    return s->table_used < (int)sizeof s->table || FlushPartTable(s, error);
}

// Creates part index under its temporary name, told as result->part.
static bool CreatePartFile(Splitting *s, int64_t index, FileMode mode, File *file, SplitResult *result)
{
    char temp[kPathSize];
    TempName(&s->journal.series, index, temp);
    return FileCreate(s->folder, temp, result->part, mode, file, &result->error) ||
           SplitFailedAt(result, kSplitCreatingPart);
}

static void AddStreamedBytes(void *context, const unsigned char *bytes, int length)
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
    s->tap.take = AddStreamedBytes;
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

// Writes slice index under its temporary name: its planned length, or for
// a stream what is left up to a slice's length.  *length says how many
// bytes it took; 0 from a stream that had ended, and then no slice is made.
static bool WriteSliceFile(Splitting *s, int64_t index, int64_t *length, SplitResult *result)
{
    FileError *error = &result->error;
    File part;
    if (!CreatePartFile(s, index, kDataFile, &part, result))
        return false;
    s->written = index + 1;
    uint32_t crc = 0;
    int64_t want = IsStream(s) ? s->layout.slice_length : *length;
    StreamRecovery *streamed = IsStream(s) && s->streaming ? &s->streamed : 0;
    CopyResult copy = kWriteFailed;
    if (!streamed || FeedStreamed(streamed, index, error))
        copy = CopyAvailable(&s->input, &part, want, length, &crc, s->progress, error, streamed ? &streamed->tap : 0);
    if (streamed && HasFailed(&streamed->error)) {
        *error = streamed->error;
        copy = kWriteFailed;
    }
    if (copy == kCopied && !IsStream(s) && *length < want) {
        SetError(error, kErrorEndedEarly, "read", s->input.name);
        copy = kReadFailed;
    }
    bool done = copy == kCopied && (*length == 0 || EnterPartInTable(s, crc, *length, error));
    if (!done || *length == 0) {
        FileClose(&part, 0);
        if (!done)
            return copy != kCopied ? SplitCopyFailed(result, copy, kSplitReadingInput) : SplitFailedAt(result, kSplitWritingPart);
        // The stream had ended: this slice is none.
        char temp[kPathSize];
        TempName(&s->journal.series, index, temp);
        FileDelete(s->folder, temp, 0);
        s->written = index;
        return true;
    }
    return FileClose(&part, error) || SplitFailedAt(result, kSplitWritingPart);
}

// Making the recovery parts, once the data parts are written: the input is
// read again in stripes, a stretch of every part at a time, so that each
// recovery block's windows stay in the cache while every part is summed
// into them; two threads share the stretches where there are two.
struct RecoveryMaking {
    Splitting *splitting;
    CodeInput *inputs;        // the parts' stretches of the input
    uint16_t *matrix;         // recovery x parts
    int64_t parts;
    unsigned char *table;     // every stretch's CRC-32 of every part, theirs included
    int64_t at_once;          // stretches a thread takes at a time
    int threads;              // ... and how many threads there are
    CodeScratch scratch[2];
    uint32_t *input_crcs[2];  // parts x at_once
    uint32_t *output_crcs[2]; // recovery x at_once
    FileError error[2];
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
    return FileWriteAt(&m->splitting->recovery_files[row], kRecoveryHeaderSize + at, bytes, length,
                       &m->error[sink->thread]);
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
    if (thread == 0 && !ProgressStep(splitting->progress, m->threads * length * m->parts)) {
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
        Crc32Joiner joiner = {0, {0}};
        uint32_t crc = 0;
        int64_t length = m->inputs[j].length;
        for (int64_t s = 0; s < per_block; s++) {
            int64_t from = s * splitting->stretch_length;
            int64_t n = length - from < splitting->stretch_length ? length - from : splitting->stretch_length;
            if (n > 0)
                crc = Crc32Combine(crc, ReadUint32(m->table + 4 * (j * per_block + s)), n, &joiner);
        }
        if (crc != splitting->part_crcs[j])
            return false;
    }
    return true;
}

// The memory the making takes: false where there is not enough.
static bool StartRecoveryMaking(RecoveryMaking *m, Splitting *s)
{
    int rows = s->recovery;
    m->splitting = s;
    m->parts = (int64_t)s->trailer.last_part + 1;
    ClearError(&m->error[0]);
    ClearError(&m->error[1]);
    m->inputs = (CodeInput *)malloc((size_t)m->parts * sizeof(CodeInput));
    m->matrix = (uint16_t *)malloc((size_t)rows * (size_t)m->parts * sizeof(uint16_t));
    m->table = (unsigned char *)malloc(
        (size_t)StretchTableLength(m->parts, rows, s->layout.slice_length, s->stretch_length));
    bool ready = m->inputs && m->matrix && m->table;
    m->at_once = StretchesAtOnce(CodeWindow(rows), s->stretch_length);
    for (int t = 0; ready && t < 2; t++) {
        m->input_crcs[t] = (uint32_t *)malloc((size_t)(m->parts * m->at_once) * sizeof(uint32_t));
        m->output_crcs[t] = (uint32_t *)malloc((size_t)(rows * m->at_once) * sizeof(uint32_t));
        ready = m->input_crcs[t] && m->output_crcs[t] && StartScratch(&m->scratch[t], rows, CodeWindow(rows));
    }
    for (int64_t j = 0; ready && j < m->parts; j++) {
        const PartLayout *layout = &s->layout;
        m->inputs[j] = CodeInput{&s->input, j == 0 ? 0 : layout->head_data + (j - 1) * layout->slice_length,
                                 j == 0 ? layout->head_data : SliceDataLength(layout, s->trailer.size, j)};
        for (int r = 0; r < rows; r++)
            m->matrix[r * m->parts + j] = RecoveryCoefficient(r, j);
    }
    return ready;
}

static void EndRecoveryMaking(RecoveryMaking *m)
{
    for (int t = 0; t < 2; t++) {
        free(m->input_crcs[t]);
        free(m->output_crcs[t]);
        EndScratch(&m->scratch[t]);
    }
    free(m->inputs);
    free(m->matrix);
    free(m->table);
}

// Each recovery part describes the set as the head part ends, and carries
// every stretch's checksum.
static bool MakeRecoveryParts(Splitting *s, SplitResult *result)
{
    RecoveryMaking m = {};
    int64_t block = s->layout.slice_length, per_block = StretchCount(block, s->stretch_length);
    bool made = StartRecoveryMaking(&m, s) ||
                (SetError(&result->error, kErrorNoSpace, "make the recovery parts in", s->folder->path),
                 SplitFailedAt(result, kSplitWritingPart));
    if (made && !ShareOut((per_block + m.at_once - 1) / m.at_once, MakeRecoveryStretches, &m, &m.threads)) {
        const FileError *failed = HasFailed(&m.error[0]) ? &m.error[0] : &m.error[1];
        result->error = *failed;
        made = m.stopped ? RefuseSplit(result, kSplitCancelled)
                         : SplitFailedAt(result, TextEqual(failed->call, "write") ? kSplitWritingPart : kSplitReadingInput);
    }
    made = made && (StretchesMatchParts(&m, per_block) || RefuseSplit(result, kSplitInputChanged));
    RecoveryHeader header = {2, 0, s->recovery, s->program->for_windows ? kRecoveryWindowsHead : 0,
                             s->layout.head_data, block, 0,
                             s->extension_length + PartTableSize(&s->trailer) + kTrailerSize, s->stretch_length,
                             StretchTableLength(m.parts, s->recovery, block, s->stretch_length)};
    for (int r = 0; made && r < s->recovery; r++) {
        header.number = r + 1;
        made = WriteRecoveryDescription(&s->recovery_files[r], &header, &s->head,
                                        s->image_size + s->layout.head_data, m.table, &result->error) ||
               SplitFailedAt(result, kSplitWritingPart);
    }
    EndRecoveryMaking(&m);
    return made;
}

// Writes the head part's program, its stretch and the extension, and makes
// the recovery parts' files, all under temporary names.
static bool StartParts(Splitting *s, SplitResult *result)
{
    char *name = result->part;
    FileError *error = &result->error;
    FormatPartName(name, s->stem, 0);
    ProgressItem(s->progress, name);
    if (!CreatePartFile(s, 0, kProgramFile, &s->head, result))
        return false;
    s->written = 1;
    CopyResult copy = IsOpen(&s->image)
                          ? CopyBytes(&s->image, &s->head, s->image_size, &s->trailer.image_crc, 0, error)
                          : WriteBytes(&s->head, s->program->bytes, s->image_size, &s->trailer.image_crc, error);
    if (copy != kCopied)
        return SplitCopyFailed(result, copy, kSplitReadingProgram);
    for (int k = 1; k <= s->recovery; k++) {
        FormatPartName(name, s->stem, -k);
        if (!CreatePartFile(s, -k, kDataFile, &s->recovery_files[k - 1], result))
            return false;
        s->recovery_made = k;
    }
    if (IsStream(s) && s->recovery) {
        if (!StartStreamed(&s->streamed, s->recovery, s->layout.slice_length, s->stretch_length,
                           s->recovery_files, error))
            return SplitFailedAt(result, kSplitWritingPart);
        s->streaming = true;
    }
    FormatPartName(name, s->stem, 0);
    uint32_t crc = 0;
    copy = CopyBytes(&s->input, &s->head, s->layout.head_data, &crc, s->progress, error);
    if (copy != kCopied)
        return SplitCopyFailed(result, copy, kSplitReadingInput);
    return (WriteBytes(&s->head, s->extension, s->extension_length, 0, error) == kCopied &&
            EnterPartInTable(s, crc, s->layout.head_data, error)) ||
           SplitFailedAt(result, kSplitWritingPart);
}

// Writes the slice files; a stream's until it ends.
static bool WriteSlices(Splitting *s, SplitResult *result)
{
    int64_t size = s->layout.head_data;
    for (int64_t i = 1; IsStream(s) || i <= s->layout.last_part; i++) {
        // A stream's slices are judged as they come, since none knows
        // beforehand how many there will be.
        if (IsStream(s) && i > s->most_slices)
            return RefuseSplit(result, kSplitTooLarge);
        if (IsStream(s) && !NameIsFree(s, i, result))
            return false;
        FormatPartName(result->part, s->stem, i);
        ProgressItem(s->progress, result->part);
        int64_t length = IsStream(s) ? 0 : SliceDataLength(&s->layout, s->trailer.size, i);
        if (!WriteSliceFile(s, i, &length, result))
            return false;
        if (length == 0)
            break;
        size += length;
        s->trailer.last_part = (int32_t)i;
    }
    if (IsStream(s)) {
        if (size <= s->slice_bytes)
            return RefuseSplit(result, kSplitTooSmall);
        s->trailer.size = size;
        s->trailer.original_size32 = size < kSizeOverflow ? (int32_t)size : kSizeOverflow;
        s->trailer.slice_length = (uint32_t)s->layout.slice_length;
    }
    return true;
}

// Ends the head part with the part table and the trailer, and completes
// the recovery parts.
static bool FinishParts(Splitting *s, SplitResult *result)
{
    char *name = result->part;
    FileError *error = &result->error;
    FormatPartName(name, s->stem, 0);
    if (!FlushPartTable(s, error) || !WriteTrailer(&s->head, &s->trailer, error))
        return SplitFailedAt(result, kSplitWritingPart);
    if (s->recovery) {
        FormatPartName(name, s->stem, -1);
        ProgressItem(s->progress, name);
        int64_t description_length = s->extension_length + PartTableSize(&s->trailer) + kTrailerSize;
        bool made = IsStream(s) ? FinishStreamed(&s->streamed, &s->trailer, description_length, &s->head,
                                                 s->image_size, s->program->for_windows, error) ||
                                      SplitFailedAt(result, kSplitWritingPart)
                                : MakeRecoveryParts(s, result);
        if (!made)
            return false;
        for (int k = 1; k <= s->recovery; k++) {
            FormatPartName(name, s->stem, -k);
            if (!FileClose(&s->recovery_files[k - 1], error))
                return SplitFailedAt(result, kSplitWritingPart);
        }
        FormatPartName(name, s->stem, 0);
    }
    return FileClose(&s->head, error) || SplitFailedAt(result, kSplitWritingPart);
}

// Puts back part index's name as it was: the new part to its temporary
// name, and what was moved aside to its own.
static void UnplacePart(Splitting *s, int64_t index)
{
    char name[kPathSize], temp[kPathSize], aside[kPathSize];
    FormatPartName(name, s->stem, index);
    TempName(&s->journal.series, index, temp);
    TempName(&s->journal.aside, index, aside);
    FileRenameNew(s->folder, name, temp, name, 0);
    if (FileKindOf(s->folder, aside) != kNothingThere)
        FileRenameNew(s->folder, aside, name, name, 0);
}

// Gives every part its own name, the head part last.  Quick, and not to be
// stopped half way: a stop asked for now comes too late.  A name that
// cannot be taken puts every one back.
static bool PlaceParts(Splitting *s, SplitResult *result)
{
    int64_t steps = s->journal.last_part + s->recovery + 1;
    for (int64_t step = 0; step < steps; step++) {
        if (!PlaceJournaledPart(s->folder, s->stem, &s->journal, PartPlacedAt(&s->journal, step), result->part,
                                &result->error)) {
            for (int64_t back = step; back >= 0; back--)
                UnplacePart(s, PartPlacedAt(&s->journal, back));
            return SplitFailedAt(result, kSplitCreatingPart);
        }
    }
    return true;
}

// The earlier head part is closed while the parts take their names, since
// Windows moves no file held open: read again where it was moved aside,
// for its table and description.
static void ReopenEarlierHead(Splitting *s)
{
    char name[kPathSize];
    HeadPart *head = &s->earlier.head;
    TempName(&s->journal.aside, 0, name);
    if (FileOpenRead(s->folder, name, &head->file, 0, &head->info) && ReadHeadPart(head, 0) != kHeadSound)
        FileClose(&head->file, 0);
}

// Once the new set has its names: what was moved aside goes, and so does
// the rest of the set it replaces, of this file or (on the user's word) of
// another: its slices beyond the new ones where its table says they are
// its own, and its recovery parts beyond the new ones where they record
// its identity, or with --force any there; a stale one must never rebuild
// an old file.  The number removed or replaced.
static int64_t RemoveEarlierSet(Splitting *s)
{
    EarlierSet *earlier = &s->earlier;
    int64_t removed = 0;
    char name[kPathSize];
    bool replaced = earlier->same_file || earlier->other_file;
    for (int64_t k = 0; k < earlier->recovery_beyond_count; k++) {
        FormatPartName(name, s->stem, -earlier->recovery_beyond[k]);
        bool goes = replaced && IsRecoveryPartOfSet(s->folder, name, &earlier->head);
        goes = goes || (s->options->force && FileKindOf(s->folder, name) == kPlainFile);
        removed += goes && FileDelete(s->folder, name, 0);
    }
    if (replaced)
        removed += RemoveOwnSlicesBeyond(s->folder, s->stem, &earlier->head, s->journal.last_part);
    // The earlier head part, moved aside, goes last: Windows deletes it only
    // once it is closed.
    FileClose(&earlier->head.file, 0);
    return removed + RemoveMovedAside(s->folder, &s->journal);
}

// Takes back what a failed or stopped split wrote, and nothing else: a set
// that failed half way is of no use, and a full disk wants its room back.
static void TakeBackParts(Splitting *s)
{
    FileClose(&s->head, 0);
    char name[kPathSize];
    for (int k = 1; k <= s->recovery_made; k++) {
        FileClose(&s->recovery_files[k - 1], 0);
        TempName(&s->journal.series, -k, name);
        FileDelete(s->folder, name, 0);
    }
    for (int64_t i = 0; i < s->written; i++) {
        TempName(&s->journal.series, i, name);
        FileDelete(s->folder, name, 0);
    }
}

// The bytes of all parts together.
static int64_t SetBytesNeeded(const Splitting *s)
{
    return s->trailer.image_size + s->trailer.size + PartTableSize(&s->trailer) + s->extension_length +
           kTrailerSize + s->recovery * (s->recovery_overhead + s->layout.slice_length) + kMostJournalBytes;
}

// Whether the set fits the folder's drive, asked before anything is
// written: a courtesy, since the room can still run out while it is.
static bool SetFitsDrive(const Splitting *s, SplitResult *result)
{
    const PartLayout *layout = &s->layout;
    int64_t largest_file;
    if (!FolderSpace(s->folder, &result->free_bytes, &largest_file, 0)) {
        result->free_bytes = -1;
        return true;
    }
    int64_t head = s->trailer.image_size + layout->head_data + PartTableSize(&s->trailer) + s->extension_length +
                   kTrailerSize;
    result->needed = head > layout->slice_length ? head : layout->slice_length;
    if (result->needed > largest_file) {
        result->free_bytes = largest_file;
        return RefuseSplit(result, kSplitPartTooLargeForDrive);
    }
    result->needed = SetBytesNeeded(s);
    return result->needed <= result->free_bytes || RefuseSplit(result, kSplitNoRoom);
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

// The layout of parts of part_bytes with that many recovery parts.
static PartLayout PlanSplitLayout(const Splitting *s, int recovery, int64_t part_bytes, int64_t fixed_bytes,
                                  int64_t input_size)
{
    int64_t head_bytes = part_bytes;
    if (s->program->for_windows && head_bytes > kMaxWindowsHeadBytes)
        head_bytes = kMaxWindowsHeadBytes;
    // With recovery parts, a slice leaves room for a recovery part's header,
    // which grows with the table as the slices shrink: shorten them until
    // the count holds.  The length stays even, the recovery code's words.
    int64_t slice_bytes = part_bytes;
    for (int steps = 0;; steps++) {
        PartLayout layout = PlanParts(s->image_size, head_bytes, slice_bytes, input_size, kTableEntrySize,
                                      fixed_bytes);
        if (!recovery || layout.head_data < 0)
            return layout;
        if (layout.head_data > slice_bytes) {
            // The head part's stretch is a block of the code too, no longer
            // than a slice: a program smaller than a recovery header leaves
            // the head part room to spare.
            head_bytes -= layout.head_data - slice_bytes;
            continue;
        }
        int64_t header = RecoveryOverhead(fixed_bytes, layout.last_part, recovery, slice_bytes);
        int64_t fits = (part_bytes - header) & ~(int64_t)1;
        if (fits >= slice_bytes || fits < 2 || steps == 64) {
            if (fits < slice_bytes)
                layout.head_data = -1;  // no slice length holds: the parts are too small
            return layout;
        }
        slice_bytes = fits;
    }
}

// Whether parts of part_bytes make a set that PlanSplit takes: the head
// part holds the program, the trailer and the table, and the count is
// within what the set may have, with recovery parts within what their code
// covers.
static bool PartsHold(const Splitting *s, int64_t part_bytes, int64_t fixed_bytes, int64_t input_size)
{
    PartLayout layout = PlanSplitLayout(s, s->recovery, part_bytes, fixed_bytes, input_size);
    return layout.head_data >= 0 && layout.last_part <= kMaxLastPart &&
           (!s->recovery || layout.last_part < kMaxDataParts);
}

// The least part size, in whole kilobytes, that makes a set PartsHold
// takes: the one every refusal for parts too small names.
static int64_t LeastPartBytes(const Splitting *s, int64_t fixed_bytes, int64_t input_size)
{
    int64_t least = (s->image_size + fixed_bytes + 2 * kTableEntrySize + 1023) / 1024 * 1024;
    // Each step adds a kilobyte or more; the table shrinks as the parts
    // grow, so the answer is near, but jump close first for sets of millions.
    while (least <= kMaxSliceBytes && !PartsHold(s, least, fixed_bytes, input_size))
        least += least / 64 / 1024 * 1024 + 1024;
    while (least > 1024 && PartsHold(s, least - 1024, fixed_bytes, input_size))
        least -= 1024;
    return least;
}

// A stream's layout: no stretch in the head part, whose room is all the
// table's; slices of the size asked, or with recovery parts, shorter by
// what a recovery part of a set of the most parts it may have carries,
// since its count is known only at its end.
static void PlanStream(Splitting *s, int64_t fixed_bytes)
{
    s->layout.head_data = s->most_slices >= 1 ? 0 : -1;
    s->layout.slice_length = s->slice_bytes;
    s->layout.last_part = 1;
    if (!s->recovery)
        return;
    for (int steps = 0; steps < 8; steps++) {
        int64_t overhead = RecoveryOverhead(fixed_bytes, kMaxDataParts - 1, s->recovery, s->layout.slice_length);
        s->layout.slice_length = (s->slice_bytes - overhead) & ~(int64_t)1;
    }
    if (s->layout.slice_length < 4096)
        s->layout.head_data = -1;
    if (s->most_slices > kMaxDataParts - 1)
        s->most_slices = kMaxDataParts - 1;
}

// The set's layout, or why there is none.
static bool PlanSplit(Splitting *s, int64_t fixed_bytes, int64_t input_size, SplitResult *result)
{
    FileInfo image_info;
    if (IsOpen(&s->image) && !FileInfoOf(&s->image, &image_info, &result->error))
        return SplitFailedAt(result, kSplitReadingProgram);
    s->image_id = IsOpen(&s->image) ? image_info.id : FileId();
    s->image_size = IsOpen(&s->image) ? image_info.length : s->program->size;
    if (s->image_size > kMaxImageSize)
        return SplitFailedAt(result, kSplitReadingProgram);
    s->head_bytes = s->program->for_windows && s->slice_bytes > kMaxWindowsHeadBytes ? kMaxWindowsHeadBytes
                                                                                     : s->slice_bytes;
    s->most_slices = (s->head_bytes - s->image_size - fixed_bytes) / kTableEntrySize - 1;
    if (IsStream(s))
        PlanStream(s, fixed_bytes);
    else
        s->layout = PlanSplitLayout(s, s->recovery, s->slice_bytes, fixed_bytes, input_size);
    // Too many parts for recovery parts, whatever their checksums take.
    PartLayout without = s->recovery && !IsStream(s)
                             ? PlanSplitLayout(s, 0, s->slice_bytes, fixed_bytes, input_size)
                             : s->layout;
    bool too_many = s->recovery && without.head_data >= 0 && without.last_part >= kMaxDataParts;
    if (s->layout.head_data < 0 && !too_many) {
        result->least = LeastPartBytes(s, fixed_bytes, IsStream(s) ? 1 : input_size);
        result->table_too_large =
            (s->image_size + fixed_bytes + 2 * kTableEntrySize + 1023) / 1024 * 1024 <= s->slice_bytes;
        return RefuseSplit(result, kSplitPartsTooSmall);
    }
    if (s->layout.last_part > kMaxLastPart)
        return RefuseSplit(result, kSplitTooLarge);
    if (s->recovery && !IsStream(s) && (too_many || s->layout.last_part >= kMaxDataParts)) {
        // Parts of a size that leaves kMaxDataParts - 1 slices at most.
        result->least = LeastPartBytes(s, fixed_bytes, input_size);
        return RefuseSplit(result, kSplitTooManyForRecovery);
    }
    if (s->recovery) {
        // A stream's recovery parts are sized for the most parts it may have.
        int64_t last = IsStream(s) ? kMaxDataParts - 1 : s->layout.last_part;
        s->stretch_length = ChooseStretchLength(s->layout.slice_length, last + 1, s->recovery);
        s->recovery_overhead = RecoveryOverhead(fixed_bytes, last, s->recovery, s->layout.slice_length);
    }
    return true;
}

// Whether every name the set takes may be taken.
static bool NamesAreFree(Splitting *s, SplitResult *result)
{
    if (!NamesHoldUp(s->folder, s->name, s->stem, IsStream(s) ? 999999 : s->layout.last_part, &result->error))
        return SplitFailedAt(result, kSplitNamingParts);
    int64_t last = IsStream(s) ? 0 : s->layout.last_part;
    for (int64_t i = -s->recovery; i <= last; i++) {
        if (!ProgressStep(s->progress, 0))
            return RefuseSplit(result, kSplitCancelled);
        if (!NameIsFree(s, i, result))
            return false;
    }
    // Recovery parts beyond the new set's stay in the way where they are no
    // part of the set it replaces, since they would rebuild another file.
    if (!ListRecoveryBeyond(s, &result->error))
        return SplitFailedAt(result, kSplitCreatingPart);
    for (int64_t k = 0; k < s->earlier.recovery_beyond_count; k++)
        if (!NameIsFree(s, -s->earlier.recovery_beyond[k], result))
            return false;
    return true;
}

// Everything that can refuse the split, found before anything is written.
static bool PrepareSplit(Splitting *s, int64_t fixed_bytes, SplitResult *result)
{
    int64_t input_size = IsStream(s) ? 0 : s->input_info.length;
    if (!IsStream(s) && input_size <= s->slice_bytes)
        return RefuseSplit(result, kSplitTooSmall);
    if (s->program->for_windows && (result->why_not_windows = WhyNotAWindowsName(s->name)))
        return RefuseSplit(result, kSplitNotAWindowsName);
    if (!PlanSplit(s, fixed_bytes, input_size, result) || !NamesAreFree(s, result))
        return false;
    PartSetTrailer *trailer = &s->trailer;
    trailer->image_size = (int32_t)s->image_size;
    trailer->size = input_size;
    trailer->original_size32 = input_size < kSizeOverflow ? (int32_t)input_size : kSizeOverflow;
    trailer->last_part = (int32_t)s->layout.last_part;
    trailer->slice_length = (uint32_t)s->layout.slice_length;
    trailer->crc = trailer->image_crc = trailer->table_crc = 0;
    return IsStream(s) || SetFitsDrive(s, result);  // a stream's room is found as it is written
}

// Whether the input is still what it was when the split began: a file
// that grew, or was changed, would make a set of a file that never was.
static bool InputUnchanged(Splitting *s)
{
    FileInfo now;
    FileId named;
    return FileInfoOf(&s->input, &now, 0) && now.length == s->input_info.length &&
           SameTime(now.modified, s->input_info.modified) && FileIdAt(0, s->input_path, &named) &&
           SameFile(named, s->input_info.id);
}

// The memory the parts' writing takes, and the journal, which names the
// temporary names before any is taken, so that a split stopped dead is
// taken back or finished by the next one.
static bool StartWriting(Splitting *s, SplitResult *result)
{
    int recovery = s->recovery;
    s->recovery_files = recovery ? (File *)calloc((size_t)recovery, sizeof(File)) : 0;
    // A file's parts are checked against a second reading of it; a stream
    // is read once.
    if (recovery && !IsStream(s))
        s->part_crcs = (uint32_t *)calloc((size_t)s->layout.last_part + 1, sizeof(uint32_t));
    if (recovery && (!s->recovery_files || (!IsStream(s) && !s->part_crcs))) {
        SetError(&result->error, kErrorNoSpace, "make the recovery parts in", s->folder->path);
        return SplitFailedAt(result, kSplitWritingPart);
    }
    for (int k = 0; k < recovery; k++)
        s->recovery_files[k].handle = kNoHandle;
    if (s->progress && recovery && !IsStream(s))
        s->progress->total *= 2;  // the input is read again for the recovery parts
    s->journal.last_part = IsStream(s) ? s->most_slices : s->layout.last_part;
    if (WriteJournal(s->folder, s->stem, &s->journal, true, &result->error))
        return true;
    // Told against the head part, the set's first file, as the user knows
    // it; against the journal only where a file of its name is there.
    bool there = result->error.code == kErrorExists;
    if (there)
        JournalName(s->stem, result->part);
    else
        FormatPartName(result->part, s->stem, 0), CopyText(result->error.path, kPathSize, result->part);
    bool writing = TextEqual(result->error.call, "write") || TextEqual(result->error.call, "close");
    return SplitFailedAt(result, !there && writing ? kSplitWritingPart : kSplitCreatingPart);
}

// Every part is written: from here the set is finished, not taken back,
// should the split be stopped dead; the journal knows its head part.
static bool JournalPlacing(Splitting *s, SplitResult *result)
{
    unsigned char bytes[kTrailerSize];
    EncodeTrailer(&s->trailer, bytes);
    s->journal.state = kJournalPlacing;
    s->journal.last_part = s->trailer.last_part;
    s->journal.head_check = Crc32Update(0, bytes, kTrailerSize);
    return WriteJournal(s->folder, s->stem, &s->journal, false, &result->error) ||
           SplitFailedAt(result, kSplitWritingPart);
}

// Writes every part under its temporary name, then gives each its own; the
// earlier set's parts it replaces go.  A failure takes back what it wrote.
static bool WriteSet(Splitting *s, SplitResult *result)
{
    if (s->progress)
        s->progress->total = s->trailer.size;
    s->journal = {kJournalWriting, {}, {}, 0, s->recovery, 0};
    NewTempSeries(&s->journal.series);
    NewTempSeries(&s->journal.aside);
    bool journaled = StartWriting(s, result);
    bool written = journaled && StartParts(s, result) && WriteSlices(s, result) && FinishParts(s, result) &&
                   (IsStream(s) || InputUnchanged(s) || RefuseSplit(result, kSplitInputChanged)) &&
                   JournalPlacing(s, result);
    free(s->part_crcs);
    free(s->streamed.blocks);
    free(s->streamed.window);
    free(s->streamed.crcs);
    bool held = IsOpen(&s->earlier.head.file);
    FileClose(&s->earlier.head.file, 0);  // Windows moves no file held open
    if (written && PlaceParts(s, result)) {
        if (held)
            ReopenEarlierHead(s);
        result->replaced = RemoveEarlierSet(s);
        result->replaced_others = !s->earlier.same_file;
        RemoveJournal(s->folder, s->stem, 0);
        free(s->recovery_files);
        return true;
    }
    TakeBackParts(s);
    if (journaled)
        RemoveJournal(s->folder, s->stem, 0);
    free(s->recovery_files);
    // With the room given back, what a full disk lacks for the set.
    int64_t largest_file;
    if (result->error.code == kErrorNoSpace && !IsStream(s) &&
        FolderSpace(s->folder, &result->free_bytes, &largest_file, 0))
        result->needed = SetBytesNeeded(s);
    return false;
}

SplitResult SplitFile(const Folder *folder, const char *input_path, int64_t slice_bytes,
                      const ProgramImage *program, const SplitOptions *options,
                      Progress *progress)
{
    assert(slice_bytes > 0 && (input_path || options->name));
    SplitResult result;
    Splitting s = {};
    s.input.handle = s.image.handle = s.head.handle = kNoHandle;
    s.folder = folder;
    s.input_path = input_path;
    s.name = input_path ? FileNameOf(input_path) : options->name;
    StemOf(s.name, s.stem);
    s.stream = kCommandLine && !input_path;
    s.program = program;
    s.options = options;
    s.progress = progress;
    s.slice_bytes = slice_bytes;
    s.recovery = options->recovery;
    if (IsStream(&s))
        StandardInput(&s.input);
    else if (!FileOpenRead(0, input_path, &s.input, &result.error, &s.input_info))
        return SplitFailedAt(&result, kSplitOpeningInput), result;
    DescribeInput(&s.trailer, &s.description, input_path, s.name, IsStream(&s) ? 0 : &s.input_info, s.recovery);
    s.extension_length = EncodeExtension(&s.description, s.extension);
    result.resumed = ResumeInterruptedSplit(folder, s.stem, 0);
    if (result.resumed != kNothingInterrupted)
        FormatPartName(result.part, s.stem, 0);  // the set the note concerns
    LookForEarlierSet(folder, s.stem, s.name, &s.earlier);
    if (program->path && !FileOpenRead(0, program->path, &s.image, &result.error)) {
        SplitFailedAt(&result, kSplitReadingProgram);
    } else {
        bool prepared = PrepareSplit(&s, s.extension_length + kTrailerSize, &result);
        // The stretch chosen for the layout: its entry's length was counted.
        s.description.stretch_length = s.stretch_length;
        s.extension_length = EncodeExtension(&s.description, s.extension);
        if (prepared) {
            WriteSet(&s, &result);
            result.size = s.trailer.size;
            result.last_part = s.trailer.last_part;
            result.recovery = s.recovery;
            result.crc = s.trailer.crc;
        }
    }
    FileClose(&s.earlier.head.file, 0);
    free(s.earlier.recovery_beyond);
    FileClose(&s.image, 0);
    if (!IsStream(&s))
        FileClose(&s.input, 0);
    return result;
}
