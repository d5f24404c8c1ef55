// The file services this program calls, and nothing more: the running
// program's own path, the current directory, and files read and written
// whole and in order.  files_posix.cpp and files_win32.cpp implement them.
#ifndef QCLEAVER_PLATFORM_FILES_H
#define QCLEAVER_PLATFORM_FILES_H

#include <stdint.h>

// Every path and file name buffer is this large, terminator included: a
// full path of 260 characters, in UTF-8 where a character can take three
// bytes.
enum { kPathSize = 1024 };

// ---- Program image and current directory --------------------------------

// Full path of the running program's file; false when it does not fit.
bool GetProgramImagePath(char path[kPathSize]);
bool GetCurrentDir(char path[kPathSize]);
bool SetCurrentDir(const char *path);
// Whether the system reaches a file by a path this long (on Windows, in
// characters, not bytes).
bool PathFits(const char *path);
// The separator the census writes between a directory and a file name.
extern const char kDirSeparator;
// Whether the file system ignores the case of letters in names.
extern const bool kNamesIgnoreCase;
// True for a lead byte of a double-byte character in the system code page.
bool IsLeadByte(unsigned char c);
unsigned CurrentProcessId();

// ---- Files ----------------------------------------------------------------

typedef intptr_t FileHandle;
const FileHandle kNoFile = -1;

enum FileMode {
    kDataFile,     // ordinary read-write permission
    kProgramFile,  // may also be started as a program
};

// Opens a plain file for reading, shared with other readers and writers.
// Anything else (a folder, a pipe, a device) fails at once, never waits.
FileHandle FileOpenRead(const char *name);
// Creates for reading and writing, truncating an existing file; fails
// rather than write through a link.
FileHandle FileCreate(const char *name, FileMode mode);
// Creates a new file in the current directory, exclusively, under a name
// that no file had and no one could guess ("qcleaver-" and random letters),
// and returns that name in name.
FileHandle FileCreateTemporary(char name[kPathSize], FileMode mode);
// Bytes read, 0 at the end of the file, -1 on failure.
int FileRead(FileHandle file, void *buffer, int size);
// Writes all of buffer; false when any of it could not be written.
bool FileWrite(FileHandle file, const void *buffer, int size);
bool FileSeek(FileHandle file, int64_t offset);
// Length in bytes, or -1.
int64_t FileLength(FileHandle file);
// False when data written earlier could not be stored after all.
bool FileClose(FileHandle file);
bool FileDelete(const char *name);
// Renames, replacing an existing file (or link) of the new name.
bool FileRename(const char *from, const char *to);

// What a name stands for, without following a link.
enum FileKind {
    kNothingThere,
    kPlainFile,
    kReadOnlyFile,  // marked read-only: the user's, not to be replaced
    kLinkThere,
    kOtherThere,    // a folder, a pipe, a device
};
FileKind FileKindOf(const char *name);

// A file's identity, whatever names it goes by: device and inode, or
// volume serial number and file index.
struct FileId {
    uint64_t volume;
    uint64_t index;
};
bool FileIdOf(FileHandle file, FileId *id);
// Of the name itself, not of a link's target; false when there is none.
bool FileIdAt(const char *name, FileId *id);
inline bool SameFile(const FileId &a, const FileId &b)
{
    return a.volume == b.volume && a.index == b.index;
}

#endif
