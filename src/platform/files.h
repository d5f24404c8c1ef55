// The file services this program calls, and nothing more: the running
// program's own path, folders, and files read and written whole and in
// order.  files_posix.cpp and files_win32.cpp implement them.
//
// Every operation that can fail leaves its reason behind, as errno does:
// LastFileError() tells the system's code and which call returned it, so
// that the user can be told why, not only what.
#ifndef QCLEAVER_PLATFORM_FILES_H
#define QCLEAVER_PLATFORM_FILES_H

#include <stdint.h>

// Every path buffer is this large, terminator included: Linux's PATH_MAX;
// on Windows a full path of 260 UTF-16 units, in UTF-8 where a unit can
// take three bytes.
#ifdef _WIN32
enum { kPathSize = 1024 };
#else
enum { kPathSize = 4096 };
#endif

// ---- Why it failed ---------------------------------------------------------

struct FileError {
    int code;          // errno, or GetLastError(); 0 when none was recorded
    const char *call;  // the operation that failed: "open", "read", "write", ...
};
// The reason of the latest file operation that failed.
FileError LastFileError();
// Records a failure found by this program rather than the system (a file
// that ended early, a name too long), with the system's nearest code.
void SetFileError(int code, const char *call);
// The system's codes that the program acts on.
extern const int kErrorNameTooLong;  // ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE
extern const int kErrorNoSpace;      // ENOSPC, ERROR_DISK_FULL
extern const int kErrorEndedEarly;   // the file ended before its recorded length
extern const int kErrorNotAFile;     // a pipe, a device: not a file on a disk
extern const int kErrorTooLarge;     // EFBIG, ERROR_FILE_TOO_LARGE: beyond the file system's limit
extern const int kErrorInUse;        // ETXTBSY, a sharing or lock violation: another program has it
// The system's own words for code, in the user's language where the
// system has one (FormatMessage, strerror), without a closing period.
void DescribeFileError(int code, char *text, int size);
// Appends ": " and what the system said of error, and advice where users
// meet it most: how much more room a full disk needs (more_room, where
// known), a drive whose file system takes no file this large, a file
// another program holds open.  Nothing when error records no code.
void AppendReason(char *text, int size, FileError error, int64_t more_room = -1);
// "E:\ has 3.1 GB free", or "this folder has..." for a folder without a path.
void AppendRoom(char *text, int size, const char *folder, int64_t free_bytes);

// ---- The program, its name rules -------------------------------------------

// Full path of the running program's file; false when it does not fit.
bool GetProgramImagePath(char path[kPathSize]);
// Whether the file system ignores the case of letters in names.
extern const bool kNamesIgnoreCase;
// True for a lead byte of a double-byte character in the system code page.
bool IsLeadByte(unsigned char c);
// Whether '\\' and a drive letter separate a path too, as '/' does.
extern const bool kDosPaths;

// ---- Folders -----------------------------------------------------------------

// A folder that the engines work in, given to them: every name below is
// taken inside it, never in the process's current directory.  On POSIX it
// is held open, so that it stays the folder it was however its path
// changes, and a path of any length reaches it.
struct Folder {
    intptr_t handle;       // the open folder, where the system has one
    char path[kPathSize];  // as named, ending in a separator; "" for a bare name's
};

// Opens the folder that holds the file at path; false, with the reason,
// when it cannot be opened.
bool FolderOfFile(const char *path, Folder *folder);
void FolderClose(Folder *folder);
// Whether the file system of the folder takes a name this long (on
// Windows, also the full path, counted in UTF-16 units).
bool NameFits(const Folder *folder, const char *name);
// The room left on the folder's drive for this user, and the largest file
// its file system holds (4 GB less a byte on FAT); false, with the reason,
// when the system will not say.
bool FolderSpace(const Folder *folder, int64_t *free_bytes, int64_t *largest_file);

// Calls visit with each name in the folder that begins with prefix (in the
// system's case rule), and whether it stands for a plain file (following a
// link) and how long that is; stops early when visit returns false.  One
// pass over the folder, whatever the names: no file is opened.  False, with
// the reason, when the folder cannot be read.
struct FolderEntry {
    const char *name;
    bool is_file;
    int64_t length;
};
bool ListFolder(const Folder *folder, const char *prefix,
                bool (*visit)(void *context, const FolderEntry *entry), void *context);

// ---- Files ----------------------------------------------------------------

// A file's identity, whatever names it goes by: device and inode, or
// volume serial number and file index.
struct FileId {
    uint64_t volume;
    uint64_t index;
};
typedef intptr_t FileHandle;
const FileHandle kNoFile = -1;

enum FileMode {
    kDataFile,     // ordinary read-write permission, as the umask leaves it
    kProgramFile,  // may also be started as a program
};

// Every name is taken in folder, or is a path where folder is null.

// Opens a plain file for reading, shared with other readers and writers.
// Anything else (a folder, a pipe, a device) fails at once, never waits.
// Its identity and length, where id and length are not null, come with it.
FileHandle FileOpenRead(const Folder *folder, const char *name, FileId *id = 0,
                        int64_t *length = 0);
// Creates a new file in folder, exclusively, under a name that no file had
// and no one could guess ("qcleaver-" and random letters), and returns that
// name in name.  Never an existing file, never through a link.  This is the
// only way the program creates a file: what it writes takes its real name
// by FileRename once complete.
FileHandle FileCreateTemporary(const Folder *folder, char name[kPathSize], FileMode mode);
// Bytes read, 0 at the end of the file, -1 on failure.
int FileRead(FileHandle file, void *buffer, int size);
// Writes all of buffer; false when any of it could not be written.
bool FileWrite(FileHandle file, const void *buffer, int size);
bool FileSeek(FileHandle file, int64_t offset);
// Length in bytes, or -1.
int64_t FileLength(FileHandle file);
// False when data written earlier could not be stored after all.
bool FileClose(FileHandle file);
bool FileDelete(const Folder *folder, const char *name);
// Renames within folder, replacing an existing file (or the link itself,
// never its target) of the new name.  Windows retries briefly while
// another program (a virus scanner) holds either file.
bool FileRename(const Folder *folder, const char *from, const char *to);

// What a name stands for, without following a link.
enum FileKind {
    kNothingThere,
    kPlainFile,
    kReadOnlyFile,  // marked read-only: the user's, not to be replaced
    kLinkThere,
    kOtherThere,    // a folder, a pipe, a device
};
FileKind FileKindOf(const Folder *folder, const char *name);

bool FileIdOf(FileHandle file, FileId *id);
// Of the name itself, not of a link's target; false when there is none.
bool FileIdAt(const Folder *folder, const char *name, FileId *id);
inline bool SameFile(const FileId &a, const FileId &b)
{
    return a.volume == b.volume && a.index == b.index;
}

#endif
