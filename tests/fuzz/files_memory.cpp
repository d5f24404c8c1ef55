// A third backend of platform/files.h, with POSIX's rules: a read-only file
// can be deleted and replaced, a folder not.  A handle not open aborts.
#include "files_memory.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

const char kDirSeparator = '/';
const bool kNamesIgnoreCase = false;
std::map<std::string, std::shared_ptr<MemFile>> g_files;
int64_t g_room = INT64_MAX;
int g_open_files;
static std::vector<std::pair<std::shared_ptr<MemFile>, int64_t>> g_open;  // file, position

std::string MemPath(const char *name) { return name[0] == '/' ? name : std::string("/w/") + name; }
bool GetProgramImagePath(char path[kPathSize]) { return strcpy(path, "/w/cleaver"); }
bool GetCurrentDir(char path[kPathSize]) { return strcpy(path, "/w"); }
bool SetCurrentDir(const char *) { return false; }
bool PathFits(const char *path) { return strlen(path) < kPathSize; }
bool IsLeadByte(unsigned char) { return false; }
unsigned CurrentProcessId() { return 1; }

static std::shared_ptr<MemFile> Find(const char *name)
{
    auto f = g_files.find(MemPath(name));
    return f == g_files.end() ? nullptr : f->second;
}

static std::pair<std::shared_ptr<MemFile>, int64_t> &Held(FileHandle h)
{
    if (h < 0 || h >= (FileHandle)g_open.size() || !g_open[h].first)
        abort();
    return g_open[h];
}

FileHandle FileOpenRead(const char *name)
{
    std::shared_ptr<MemFile> f = Find(name);
    if (!f || (f->kind != kPlainFile && f->kind != kReadOnlyFile))
        return kNoFile;
    g_open.push_back({f, 0});
    g_open_files++;
    return (FileHandle)g_open.size() - 1;
}

FileHandle FileCreate(const char *name, FileMode)
{
    std::shared_ptr<MemFile> &f = g_files[MemPath(name)];
    if (f && f->kind != kPlainFile)
        return kNoFile;  // read-only, a folder, or a link it would write through
    if (!f)
        f = std::make_shared<MemFile>(MemFile{{}, kPlainFile});
    f->data.clear();
    return FileOpenRead(name);
}

FileHandle FileCreateTemporary(char name[kPathSize], FileMode mode)
{
    for (int i = 0;; i++)
        if (!Find(strcpy(name, ("qcleaver-" + std::to_string(i) + ".tmp").c_str())))
            return FileCreate(name, mode);
}

int FileRead(FileHandle file, void *buffer, int size)
{
    auto &o = Held(file);
    int64_t n = std::min<int64_t>(size, (int64_t)o.first->data.size() - o.second);
    if (n <= 0)
        return 0;
    memcpy(buffer, o.first->data.data() + o.second, (size_t)n);
    o.second += n;
    return (int)n;
}

bool FileWrite(FileHandle file, const void *buffer, int size)
{
    auto &o = Held(file);
    std::vector<unsigned char> &d = o.first->data;
    if (size <= 0 || g_room < size)
        return size == 0;  // or the disk is full
    g_room -= size;
    d.resize(std::max<size_t>(d.size(), (size_t)(o.second + size)));
    memcpy(d.data() + o.second, buffer, (size_t)size);
    o.second += size;
    return true;
}

bool FileSeek(FileHandle file, int64_t offset)
{
    return offset >= 0 && (Held(file).second = offset) >= 0;
}

int64_t FileLength(FileHandle file) { return (int64_t)Held(file).first->data.size(); }

bool FileClose(FileHandle file)
{
    Held(file).first = nullptr;
    if (--g_open_files == 0)
        g_open.clear();  // the numbers start again
    return true;
}

bool FileDelete(const char *name)
{
    std::shared_ptr<MemFile> f = Find(name);
    return f && f->kind != kOtherThere && g_files.erase(MemPath(name));
}

bool FileRename(const char *from, const char *to)
{
    std::shared_ptr<MemFile> f = Find(from), old = Find(to);
    if (!f || (old && old->kind == kOtherThere))
        return false;
    g_files.erase(MemPath(from));
    g_files[MemPath(to)] = f;
    return true;
}

FileKind FileKindOf(const char *name) { return Find(name) ? Find(name)->kind : kNothingThere; }

// A file's identity is its address in memory.
bool FileIdOf(FileHandle file, FileId *id) { return *id = {1, (uintptr_t)Held(file).first.get()}, true; }

bool FileIdAt(const char *name, FileId *id)
{
    return *id = {1, (uintptr_t)Find(name).get()}, Find(name) != nullptr;
}
