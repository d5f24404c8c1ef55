// libFuzzer target: splits a made-up input in memory, damages the parts,
// then opens, checks and joins them.  Input: flags (2 bytes: 1 reseal the
// record after the damage, 2 make the program copy, 4 delete the parts, 8
// the room is the split's, not the join's, 16 the drive says it has room it
// has not, 32 the user's word to replace what is in the way, 64 the set
// opened by its first recovery part, 128 Windows's rules for open files,
// 256 the split replaces an earlier set of the same file, made with parts
// 7 KB larger and one recovery part more), the disk's room in 2 KB (0: no
// limit), image size (4 bytes), slice KB (2), input size (8: the plan is
// checked at that size, the split made at it modulo 200001), folder and
// base name lengths (1 each), a stop (1: the user stops the split, or with
// 128 the join and check, at that progress step; 0 never), recovery parts
// (1, 0 to 3), then up to 16 edits of 5 bytes, recovery parts among the
// parts they damage.  tests/fuzz/make_corpus.py writes the seeds.  A join that repairs must rebuild the file exactly.  It aborts when a
// set as the split writes it is not judged sound, counted without fault and
// rebuilt exactly; when a damaged trailer is joined, or a rebuilt file has
// another size or checksum than recorded; when a failed or stopped split or
// join changes any file, or a join changes more than the rebuilt file,
// cleaver.exe and (when asked) the parts, or replaces a read-only file or a
// folder; when a failure does not carry its reason, or a stop is told as a
// fault; when a check writes, or disagrees with a join that succeeded; and
// when a file is left open.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "math/crc32.h"
#include "format/part_layout.h"
#include "format/part_names.h"
#include "join/join_engine.h"
#include "join/part_check.h"
#include "join/part_set.h"
#include "platform/worker.h"
#include "split/split_engine.h"

// What a run reached, printed at its end where QCLEAVER_FUZZ_TELL is set,
// so that tests/fuzz/make_corpus.py --check can see each seed reach what its
// name says.
static struct Reached {
    int64_t plan = -1;  // the input size the plan was checked at
    int windows = 0, earlier = -1, split = -1, split_step = -1, split_error = 0, set = -1, join = -1, join_error = 0;
    int copy = -1, deletion = -1, faults = -1, edits = 0, name_in_extension = -1;
    int refused = 0;  // the length of the last write refused for want of room
    void Tell() const
    {
        if (getenv("QCLEAVER_FUZZ_TELL"))
            printf("plan=%lld windows=%d earlier=%d split=%d split_step=%d split_error=%d name_in_extension=%d edits=%d "
                   "refused=%d set=%d join=%d join_error=%d copy=%d deletion=%d faults=%d\n",
                   (long long)plan, windows, earlier, split, split_step, split_error, name_in_extension, edits, refused, set, join,
                   join_error, copy, deletion, faults);
    }
} g_reached;

// ---- platform/files.h over a table in memory, with POSIX's rules: a read-only
// file can be deleted and replaced, a folder not; every folder is "/w/", a name
// without one is a path; two names may share a file.  A bad handle aborts.
// With Windows's rules, a file held open cannot be renamed, replaced or
// deleted, since files_win32.cpp opens none with FILE_SHARE_DELETE.

struct MemFile {
    std::vector<unsigned char> data;
    FileKind kind = kPlainFile;  // a link here is one that leads nowhere
};
typedef std::shared_ptr<MemFile> Mem;

const bool kNamesIgnoreCase = false, kDosPaths = false;
const int kErrorNotFound = ENOENT, kErrorNameTooLong = ENAMETOOLONG, kErrorNoSpace = ENOSPC,
          kErrorIsAFolder = EISDIR, kErrorTooLarge = EFBIG, kErrorInUse = ETXTBSY, kErrorExists = EEXIST;
std::map<std::string, Mem> g_files;
int64_t g_room = INT64_MAX;  // bytes that writes may still store
bool g_room_told = true;     // whether the drive tells its room as it is
typedef std::pair<Mem, int64_t> Open;  // a file, and the position in it
static std::map<intptr_t, Open> g_open;
static intptr_t g_handles;  // handles given out
static bool g_windows;      // Windows's rules for open files

// Whether Windows refuses to rename or delete the file: a handle holds it
// that was not opened with share-delete, and none here is.
static bool HeldOpen(const Mem &f)
{
    for (auto &o : g_open)
        if (g_windows && f && o.second.first == f)
            return true;
    return false;
}

static std::string MemPath(const char *name, const Folder *in)
{
    return std::string(in ? in->path : "") + name;
}
static Mem Find(const Folder *in, const char *name)
{
    auto f = g_files.find(MemPath(name, in));
    return f == g_files.end() ? nullptr : f->second;
}
static Open &Held(const File *f) { return g_open.count(f->handle) ? g_open[f->handle] : (abort(), g_open[0]); }

bool IsLeadByte(unsigned char) { return false; }
void DescribeFileError(int code, char *text, int size) { snprintf(text, (size_t)size, "%d", code); }
bool GetProgramImagePath(char path[kPathSize], const char *, FileError *) { return strcpy(path, "/w/image"), true; }
bool FolderOfFile(const char *, Folder *folder, FileError *) { return strcpy(folder->path, "/w/"), true; }
bool OpenFolder(const char *, Folder *folder, FileError *) { return strcpy(folder->path, "/w/"), true; }
bool IsNotWritable(const FileError *) { return false; }
FileTime TimeNow() { return FileTime{1700000000, 0}; }
void StandardInput(File *) { abort(); }   // the target splits files
void StandardOutput(File *) { abort(); }
void FolderClose(Folder *) {}
bool FolderSpace(const Folder *, int64_t *free_bytes, int64_t *largest_file, FileError *)
{
    *free_bytes = g_room_told ? g_room : INT64_MAX;
    *largest_file = INT64_MAX;
    return true;
}
bool NameFits(const Folder *, const char *name, FileError *error)
{
    return strlen(name) <= 255 || SetError(error, kErrorNameTooLong, "name", name);
}

bool ListFolder(const Folder *in, const char *prefix,
                bool (*visit)(void *context, const FolderEntry *entry), void *context, FileError *)
{
    std::string from = MemPath(prefix, in);  // no name in "/w/" holds a '/'
    for (auto f = g_files.lower_bound(from); f != g_files.end(); f++) {
        bool plain = f->second->kind == kPlainFile || f->second->kind == kReadOnlyFile;
        FolderEntry entry = {f->first.c_str() + strlen(in->path), plain,
                             plain ? (int64_t)f->second->data.size() : -1};
        if (f->first.compare(0, from.size(), from) || !visit(context, &entry))
            break;
    }
    return true;
}

static void InfoOf(const Mem &f, FileInfo *info)
{
    info->id = {1, (uintptr_t)f.get()};  // a file's identity is its address in memory
    info->length = (int64_t)f->data.size();
    info->modified = FileTime{1600000000, 5};
    info->permissions = 0640;
}

bool FileSetTimeAndPermissions(File *file, const FileTime *modified, int permissions, FileError *)
{
    Held(file);
    return modified->seconds == 1600000000 && modified->nanoseconds == 5 && permissions == 0640;
}

bool FileOpenRead(const Folder *in, const char *name, File *file, FileError *error, FileInfo *info)
{
    file->handle = kNoHandle;
    file->fresh = false;
    snprintf(file->name, kPathSize, "%s", name);
    Mem f = Find(in, name);
    if (!f || (f->kind != kPlainFile && f->kind != kReadOnlyFile))
        return SetError(error, f ? EISDIR : ENOENT, "open", name);
    if (info)
        InfoOf(f, info);
    g_open[file->handle = ++g_handles] = {f, 0};
    return true;
}

// A series of its own each time, as the random ones are: the split's parts
// and what it moves aside never share a name.
static int g_series;
void NewTempSeries(TempSeries *series)
{
    snprintf(series->stem, sizeof series->stem, "qcleaver-fuzz%c%c", 'a' + g_series / 26 % 26, 'a' + g_series % 26);
    g_series++;
}

bool FileCreate(const Folder *in, const char *temp, const char *shown, FileMode, File *file,
                FileError *error)
{
    file->handle = kNoHandle;
    if (Find(in, temp))
        return SetError(error, EEXIST, "create", shown);
    g_files[MemPath(temp, in)] = Mem(new MemFile);
    bool opened = FileOpenRead(in, temp, file, error);
    snprintf(file->name, kPathSize, "%s", shown);
    file->fresh = opened;
    return opened;
}

int FileRead(File *file, void *buffer, int size, FileError *)
{
    auto &o = Held(file);
    int64_t n = std::min<int64_t>(size, (int64_t)o.first->data.size() - o.second);
    if (n > 0)
        memcpy(buffer, o.first->data.data() + o.second, (size_t)n), o.second += n;
    return (int)std::max<int64_t>(n, 0);
}

bool FileWrite(File *file, const void *buffer, int size, FileError *error)
{
    auto &o = Held(file);
    std::vector<unsigned char> &d = o.first->data;
    if (size <= 0 || g_room < size)
        return size == 0 || (g_reached.refused = size, SetError(error, kErrorNoSpace, "write", file->name));
    g_room -= size;
    d.resize(std::max<size_t>(d.size(), (size_t)(o.second + size)));
    memcpy(d.data() + o.second, buffer, (size_t)size);
    return o.second += size, true;
}

bool FileSeek(File *file, int64_t at, FileError *) { return at >= 0 && (Held(file).second = at, true); }
bool FileSkip(File *file, int64_t by, FileError *) { return Held(file).second += by, true; }
int64_t FileSkipHole(File *, int64_t, FileError *) { return 0; }
bool FileInfoOf(File *file, FileInfo *info, FileError *) { return InfoOf(Held(file).first, info), true; }

bool FileClose(File *file, FileError *)
{
    if (file->handle == kNoHandle)
        return true;
    bool held = g_open.erase(file->handle);
    file->handle = kNoHandle;
    return held || (abort(), false);
}

bool FileDelete(const Folder *in, const char *name, FileError *error)
{
    Mem f = Find(in, name);
    if (HeldOpen(f))
        return SetError(error, kErrorInUse, "delete", name);
    return f && f->kind != kOtherThere ? g_files.erase(MemPath(name, in))
                                       : SetError(error, f ? EISDIR : ENOENT, "delete", name);
}

bool FileRename(const Folder *in, const char *from, const char *to, const char *shown, FileError *error)
{
    Mem f = Find(in, from), old = Find(in, to);
    if (!f || (old && old->kind == kOtherThere))
        return SetError(error, f ? EISDIR : ENOENT, "rename", shown);
    if (HeldOpen(f) || HeldOpen(old))
        return SetError(error, kErrorInUse, "rename", shown);
    return g_files.erase(MemPath(from, in)), g_files[MemPath(to, in)] = f, true;
}

bool FileRenameNew(const Folder *in, const char *from, const char *to, const char *shown, FileError *error)
{
    return Find(in, to) ? SetError(error, EEXIST, "rename", shown) : FileRename(in, from, to, shown, error);
}

FileKind FileKindOf(const Folder *in, const char *name)
{
    return Find(in, name) ? Find(in, name)->kind : kNothingThere;
}

bool FileIdAt(const Folder *in, const char *name, FileId *id)
{
    return *id = {1, (uintptr_t)Find(in, name).get()}, Find(in, name) != nullptr;
}

// ---- The target


#define REQUIRE(c) \
    ((c) ? (void)0 : (fprintf(stderr, "violated: %s (line %d)\n", #c, __LINE__), abort()))

typedef std::vector<unsigned char> Bytes;
typedef std::map<std::string, std::pair<int, Bytes>> Disk;
static const Folder g_folder = {0, "/w/"};

static Disk Snapshot()
{
    Disk disk;
    for (auto &f : g_files)
        disk[f.first] = {f.second->kind, f.second->data};
    return disk;
}

static void Put(const std::string &path, Bytes data, int kind = kPlainFile)
{
    g_files[path] = Mem(new MemFile{data, (FileKind)kind});
}

static std::string PartPath(const char *stem, int64_t index)
{
    char name[kPathSize];
    return FormatPartName(name, stem, index) ? MemPath(name, &g_folder) : "?";
}

bool FileReadAt(File *file, int64_t offset, void *bytes, int64_t length, FileError *error)
{
    if (!FileSeek(file, offset, error))
        return false;
    int n = FileRead(file, bytes, (int)length, error);
    return n == length || SetError(error, kErrorEndedEarly, "read", file->name);
}

bool FileWriteAt(File *file, int64_t offset, const void *bytes, int64_t length, FileError *error)
{
    return FileSeek(file, offset, error) && FileWrite(file, bytes, (int)length, error);
}

void FillRandom(unsigned char *bytes, int count)
{
    for (int i = 0; i < count; i++)
        bytes[i] = (unsigned char)(i * 37 + 11);
}

// No second thread: the arithmetic runs in order, as on Windows.
Worker *StartWorker(void (*)(void *), void *)
{
    return 0;
}
void HandToWorker(Worker *) {}
void WaitForWorker(Worker *) {}
void StopWorker(Worker *) {}

// A progress that says stop at step `at` (never where 0).
struct Stopper {
    Progress progress;
    int64_t steps = 0, at = 0;
    explicit Stopper(int64_t stop_at) : at(stop_at)
    {
        ProgressInit(&progress);
        progress.host = this;
        progress.step = [](Progress *p) {
            Stopper *s = (Stopper *)p->host;
            return s->at == 0 || ++s->steps < s->at;
        };
    }
};

// The trailer the split writes for these sizes, where it splits at all, is
// sound, and no part is larger than asked.
static void CheckPlan(int64_t image, int64_t slice, int64_t size)
{
    for (bool record : {true, size >= kSizeOverflow}) {  // without a record only below 2 GiB
        PartLayout l = PlanParts(image, slice, slice, size, record ? kTableEntrySize : 0, kTrailerSize);
        if (size <= slice || l.head_data < 0 || l.last_part > kMaxLastPart)
            continue;  // refused
        PartSetTrailer t = {"x.bin", (int32_t)image, (int32_t)std::min<int64_t>(size, kSizeOverflow),
                            (int32_t)l.last_part, record, record ? 2 : 0, false, size, 0,
                            (uint32_t)l.slice_length, 0, 0, 0};
        unsigned char bytes[kTrailerSize];
        EncodeTrailer(&t, bytes);
        DecodeTrailer(bytes, &t);
        int64_t head = image + l.head_data + PartTableSize(&t) + kTrailerSize;
        REQUIRE(head <= slice && JudgeTrailer(&t, head).state == kTrailerSound);
    }
}

struct Told {
    int64_t parts = 0;
    bool program_damaged = false;  // which a join that writes no program copy never reads
};

static void NoteCheck(void *context, const PartSet *, const PartState *part)
{
    Told *told = (Told *)context;
    REQUIRE(part->fault != kPartUnreadable);  // nothing here fails to read
    if (part->fault != kPartExtra && part->index >= 0)  // beyond the set: no part of it
        told->parts += part->through - part->index + 1;
    told->program_damaged = told->program_damaged || part->program;
}

// Opens, checks and joins in /w from the head part; expected, where given, is
// what it must rebuild.
static void Join(const std::string &head, unsigned flags, int64_t stop_at, const Bytes *expected,
                 const Bytes &original)
{
    PartSet set;
    OpenPartSet(head.c_str(), &set);
    bool sound = set.state == kSetReady;
    g_reached.set = set.state;
    Disk before = Snapshot();
    // The check writes nothing, and tells every part, or stops where asked.
    Told told;
    CheckResult check = CheckResult();
    if (sound) {
        Stopper stop(stop_at);
        check = CheckParts(&set, NoteCheck, &told, &stop.progress);
        REQUIRE(Snapshot() == before && check.stopped == (stop.at && stop.steps >= stop.at));
        REQUIRE(check.stopped || told.parts == set.trailer.last_part + 1);
    }
    Stopper stop(stop_at);
    JoinRequest request;
    request.make_copy = (flags & 2) != 0;
    request.head_is_running = g_windows;  // Windows joins only as the head part itself
    request.delete_parts = (flags & 4) != 0;
    request.replace_output = request.replace_copy = (flags & 32) != 0;
    if (set.state != kSetReady && set.state != kSetEmpty) {  // refused as it opens
        ClosePartSet(&set);
        REQUIRE(g_open.empty() && Snapshot() == before && !expected);
        return;
    }
    JoinResult r = JoinParts(&set, &request, &stop.progress);
    g_reached.join = r.status, g_reached.join_error = r.error.code, g_reached.copy = r.program_copy;
    g_reached.deletion = r.deletion, g_reached.faults = (int)r.fault_count;
    Disk after = Snapshot();
    std::string opened = set.given;  // a recovery part given opens the set from a sound head part
    ClosePartSet(&set);
    REQUIRE(g_open.empty());
    bool done = r.status == kJoinDone;
    REQUIRE(done ? sound : after == before && !expected);
    REQUIRE(done || r.status != kJoinCancelled || stop.at);
    REQUIRE(r.status != kJoinWriteFailed || r.error.code == kErrorNoSpace);  // the only reason here
    REQUIRE(r.program_copy != kProgramCopyFailed || r.copy_error.code == kErrorNoSpace);
    REQUIRE(r.status != kJoinPartFault || r.part.fault != kPartUnreadable);
    if (!done)
        return;
    // A join that succeeded read every part as the table records it, or
    // rebuilt those at fault, and then the very file split.
    REQUIRE(check.stopped || told.program_damaged || check.sound == check.parts || r.fault_count > 0);
    // Checked whole, a part needs a recovery part each; in stretches, one may mend many.
    REQUIRE(r.fault_count <= set.extension.recovery_count || set.extension.stretch_length > 0);
    REQUIRE(!told.program_damaged || (r.program_copy != kProgramCopyMade && check.sound < check.parts));
    std::string output = MemPath(set.output, &g_folder), copy = MemPath(kProgramCopyName, &g_folder);
    const Bytes &data = after[output].second, &program = before[opened].second;
    REQUIRE(after[output].first == kPlainFile && r.size == (int64_t)data.size());
    REQUIRE(r.size == OriginalSize(&set.trailer));
    REQUIRE(!set.trailer.has_record || Crc32Update(0, data.data(), data.size()) == set.trailer.crc);
    REQUIRE(!expected || data == *expected);
    REQUIRE(r.fault_count == 0 || (flags & 1) || data == original);
    bool made = r.program_copy == kProgramCopyMade;
    REQUIRE(!made ||
            after[copy].second == Bytes(program.begin(), program.begin() + set.trailer.image_size));
    // Without the user's word, a file there before is replaced only by the same bytes.
    bool force = (flags & 32) != 0;
    REQUIRE(force || !before.count(output) || before[output].second == data);
    REQUIRE(force || !made || !before.count(copy) || before[copy].second == after[copy].second);
    REQUIRE(!set.extension.has_time || r.time_restored);
    bool deleting = (flags & 4) && r.deletion != kDeletionNotAsked;
    for (auto &f : before) {
        bool part = f.first == head;
        bool users = f.second.first == kReadOnlyFile || f.second.first == kOtherThere;
        for (int64_t i = -set.extension.recovery_count; i <= set.trailer.last_part; i++)
            part = part || f.first == PartPath(set.stem, i);
        if ((f.first != output && !(made && f.first == copy)) || users)  // the user's, and stays
            REQUIRE(after.count(f.first) ? after[f.first] == f.second : part && deleting);
    }
    for (auto &f : after)
        REQUIRE(before.count(f.first) || f.first == output || f.first == copy);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *p, size_t n)
{
    auto take = [&](int bytes) {
        uint64_t v = 0;
        for (int i = 0; i < bytes && n; i++, n--)
            v |= (uint64_t)*p++ << 8 * i;
        return (int64_t)v;
    };
    unsigned flags = (unsigned)take(2);
    int64_t room = take(1) * 2048, image = take(4) % (kMaxImageSize + 1), kb = 10 + take(2) % 65527;
    int64_t size = take(8) & INT64_MAX;
    g_reached = Reached();
    struct TellAtTheEnd {
        ~TellAtTheEnd() { g_reached.Tell(); }
    } tell;
    g_reached.plan = size;
    CheckPlan(image, std::min<int64_t>(kb * 65536, kMaxSliceBytes), size);
    image %= 20000, kb = 10 + kb % 30, size %= 200001;  // small enough to be quick
    std::string dir = "/in/" + std::string((size_t)take(1), 'f');
    std::string stem((size_t)(1 + take(1) % 240), 'd'), path = dir + "/" + stem + ".bin";
    int64_t stop = take(1), split_stop = stop & 128 ? 0 : stop, join_stop = stop & 128 ? stop & 127 : 0;
    int recovery = (int)(take(1) % 4);
    Bytes data((size_t)size), program((size_t)image);
    uint32_t x = 1;
    for (Bytes *b : {&data, &program})
        for (unsigned char &c : *b)
            c = (unsigned char)((x = x * 1103515245 + 12345) >> 16);
    g_files.clear();
    g_series = 0;
    g_windows = (flags & 128) != 0;
    g_reached.windows = g_windows;
    Put(dir + "/image", program), Put(path, data);
    std::string image_path = dir + "/image";
    ProgramImage from = {image_path.c_str(), 0, 0, false};
    g_room = INT64_MAX;
    if (flags & 256) {  // an earlier set of the same file, for the split to replace
        SplitOptions earlier = {false, 0, recovery + 1};
        g_reached.earlier = SplitFile(&g_folder, path.c_str(), (kb + 7) * 1024, &from, &earlier, 0).fault;
        REQUIRE(g_open.empty());
    }
    Disk before = Snapshot();
    g_room = (flags & 8) && room ? room : INT64_MAX;
    g_room_told = !(flags & 16);
    Stopper split_stopper(split_stop);
    SplitOptions options = {false, 0, recovery};
    SplitResult s = SplitFile(&g_folder, path.c_str(), kb * 1024, &from, &options, &split_stopper.progress);
    REQUIRE(g_open.empty());
    g_reached.split = s.fault, g_reached.split_step = s.step, g_reached.split_error = s.error.code;
    // Here only a part too small for the program, the room or a stop refuse or fail it: the room
    // told before anything is written, or found short while writing where the drive lies.
    bool limited = (flags & 8) && room;
    bool write_failed = s.fault == kSplitFileFailed && s.step == kSplitWritingPart;
    REQUIRE((s.fault == kSplitTooSmall) == (size <= kb * 1024));
    REQUIRE(s.fault != kSplitPartsTooSmall || s.least > kb * 1024);
    REQUIRE(s.fault == kSplitDone || s.fault == kSplitTooSmall || s.fault == kSplitPartsTooSmall ||
            (s.fault == kSplitCancelled && split_stop) ||
            (limited && (g_room_told ? s.fault == kSplitNoRoom : write_failed)));
    REQUIRE(!write_failed || s.error.code == kErrorNoSpace);
    REQUIRE(s.fault == kSplitDone || Snapshot() == before);
    if (s.fault != kSplitDone)
        return 0;
    std::string head = PartPath(stem.c_str(), 0), output = MemPath((stem + ".bin").c_str(), &g_folder);
    {
        PartSet set;
        OpenPartSet(head.c_str(), &set);
        REQUIRE(set.state == kSetReady && set.census.at_fault == 0 &&
                set.census.found == set.trailer.last_part);
        g_reached.name_in_extension = set.extension.name[0] != 0;
        ClosePartSet(&set);
    }
    // Nothing is left of an earlier set, nor of the work: the input, the
    // program and the new set alone.
    for (auto &f : g_files) {
        bool part = false;
        for (int64_t i = -recovery; i <= s.last_part; i++)
            part = part || f.first == PartPath(stem.c_str(), i);
        REQUIRE(part || f.first == path || f.first == image_path);
    }
    PartSetTrailer t;
    DecodeTrailer(&g_files[head]->data.end()[-kTrailerSize], &t);

    // Damage: each edit says how, to which part (0 the head) and with what.
    int edits = 0;
    for (; n && edits < 16; edits++, g_reached.edits++) {
        int op = (int)take(1) % 8, index = (int)(take(1) % (t.last_part + 1 + recovery)) - recovery;
        size_t v = (size_t)take(2);
        x = (uint32_t)take(1);
        std::string name = PartPath(stem.c_str(), index);
        Mem f = g_files.count(name) ? g_files[name] : nullptr;
        Bytes *d = f ? &f->data : nullptr;
        if (op == 0 && d && !d->empty())  // from the end, where the trailer is
            (*d)[d->size() - 1 - v % d->size()] ^= (unsigned char)(x | 1);
        else if (op == 1 && d)
            d->resize(d->size() - std::min(d->size(), v));
        else if (op == 2 && d)
            d->insert(d->end(), v, (unsigned char)x);
        else if (op == 3)
            g_files.erase(name);
        else if (op == 4 && f)
            f->kind = (FileKind)(1 + x % 4);
        else if (op == 5 && f)
            g_files[output] = f;  // the rebuilt file's name is a part's too
        else if (op == 6)  // a file of the rebuilt file's name, or of the copy's
            Put(x & 16 ? MemPath(kProgramCopyName, &g_folder) : output, Bytes(v, (unsigned char)x), 1 + x % 4);
        else if (op == 7 && d && d->size() >= kTrailerSize) {  // 16 bits of the trailer
            size_t at = d->size() - kTrailerSize + (size_t)(x % (kTrailerSize / 2)) * 2;
            (*d)[at] = (unsigned char)v, (*d)[at + 1] = (unsigned char)(v >> 8);
        }
    }
    // Seals the record anew, so that edits inside it reach the judge.
    Bytes *d = g_files.count(head) ? &g_files[head]->data : nullptr;
    if ((flags & 1) && d && d->size() >= kTrailerSize &&
        (DecodeTrailer(&d->end()[-kTrailerSize], &t), t.has_record))
        EncodeTrailer(&t, &d->end()[-kTrailerSize]);
    g_room = !(flags & 8) && room ? room : INT64_MAX;
    std::string given = recovery && (flags & 64) ? PartPath(stem.c_str(), -1) : head;
    Join(given, flags, join_stop, edits == 0 && g_room == INT64_MAX && !join_stop ? &data : nullptr, data);
    return 0;
}
