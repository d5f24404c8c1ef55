// The file services this program calls, and nothing more: the running
// program's own path, folders, and files read and written whole and in
// order.  files_posix.cpp and files_win32.cpp implement them.
//
// Every operation that can fail fills a FileError that the caller hands
// it: the call, the system's code and the file or folder concerned, so
// that a failure travels with the calls to whoever tells the user, and is
// told against what failed.  There is no process-wide last error.
#ifndef QCLEAVER_PLATFORM_FILES_H
#define QCLEAVER_PLATFORM_FILES_H

#include <stdint.h>

// Every path buffer is this large, terminator included: Linux's PATH_MAX;
// on Windows a full path of 260 UTF-16 units, in UTF-8 where a unit can
// take three bytes.
// kCommandLine: whether the program has a command line, which reads and
// writes standard input and output as files; the Windows program, all
// dialogs, carries no code for them.
// kWindowsProgram: a head part made from this program's own file is a
// Windows program.
// kKeepsHoles: whether a file made here keeps a stretch it skipped as a
// hole that costs no room, as Linux file systems do; on Windows it would
// be written anyway.
#ifdef _WIN32
enum { kPathSize = 1024 };
const bool kCommandLine = false, kWindowsProgram = true, kKeepsHoles = false;
#else
enum { kPathSize = 4096 };
const bool kCommandLine = true, kWindowsProgram = false, kKeepsHoles = true;
#endif

// ---- Why it failed ---------------------------------------------------------

struct FileError {
    int code;              // errno, or GetLastError(); 0 while nothing failed
    const char *call;      // what failed: "open", "read", "write", "list", ...
    char path[kPathSize];  // the file or folder concerned, as the user knows it
    // A file grown past a limit (kErrorTooLarge): the process's own limit
    // (ulimit -f) rather than the file system's.
    bool process_limit;
};

// No failure yet.
void ClearError(FileError *error);
inline bool HasFailed(const FileError *error)
{
    return error->code != 0;
}
// Records a failure in error, where error is not null, unless an earlier
// one is there: the first failure is the one that stopped the work.
// Returns false, so that a failure reads as one line.
bool SetError(FileError *error, int code, const char *call, const char *path);

// The system's codes that the program acts on.
extern const int kErrorNotFound;     // ENOENT, ERROR_FILE_NOT_FOUND
extern const int kErrorNameTooLong;  // ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE
extern const int kErrorNoSpace;      // ENOSPC, ERROR_DISK_FULL
extern const int kErrorIsAFolder;    // EISDIR, ERROR_DIRECTORY
// Found by this program, not the system, and told in its own words.
const int kErrorEndedEarly = 0x20000001;  // the file ended before its recorded length
const int kErrorNotAFile = 0x20000002;    // a pipe, a device: not a file on a disk
extern const int kErrorTooLarge;     // EFBIG, ERROR_FILE_TOO_LARGE: beyond a limit
extern const int kErrorInUse;        // ETXTBSY, a sharing or lock violation
extern const int kErrorExists;       // EEXIST, ERROR_ALREADY_EXISTS
// Whether a failure says the place may not be written: no permission, or a
// drive that is read-only (a CD, a share mounted so).
bool IsNotWritable(const FileError *error);
// The system's own words for code, in the user's language where the
// system has one (FormatMessage, strerror), without a closing period.
void DescribeFileError(int code, char *text, int size);

// ---- The program, its name rules -------------------------------------------

// Full path of the running program's file.  Where the system will not say
// (Linux without /proc), argv0 (where not null) stands in when it names a
// file, directly or through PATH.  False, with the reason, when neither can.
bool GetProgramImagePath(char path[kPathSize], const char *argv0, FileError *error);
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
// changes, and a path longer than the system's limit for one call still
// reaches its files.
struct Folder {
    intptr_t handle;       // the open folder, where the system has one
    char path[kPathSize];  // as named, ending in a separator; "" for a bare name's
};

// Opens the folder that holds the file at path.
bool FolderOfFile(const char *path, Folder *folder, FileError *error);
// Opens the folder at path itself ("out", "out/", "C:\\out").
bool OpenFolder(const char *path, Folder *folder, FileError *error);
void FolderClose(Folder *folder);
// Makes the folder at path where it is missing, its parents too, as
// mkdir -p does (POSIX only: the command line's -o).
bool MakeFolders(const char *path, FileError *error);
// Whether the file system of the folder takes a name this long (on
// Windows, also the full path, counted in UTF-16 units).
bool NameFits(const Folder *folder, const char *name, FileError *error);
// The room left on the folder's drive for this user, and the largest file
// its file system holds (4 GB less a byte on FAT).
bool FolderSpace(const Folder *folder, int64_t *free_bytes, int64_t *largest_file,
                 FileError *error);

// Calls visit with each name in the folder that begins with prefix (in the
// system's case rule), and whether it stands for a plain file (following a
// link) and how long that is; stops early when visit returns false.  One
// pass over the folder, whatever the names: no file is opened.
struct FolderEntry {
    const char *name;
    bool is_file;
    int64_t length;
};
bool ListFolder(const Folder *folder, const char *prefix,
                bool (*visit)(void *context, const FolderEntry *entry), void *context,
                FileError *error);

// ---- Files ----------------------------------------------------------------

// A file's identity, whatever names it goes by: device and inode, or
// volume serial number and file index.
struct FileId {
    uint64_t volume;
    uint64_t index;
};
inline bool SameFile(const FileId &a, const FileId &b)
{
    return a.volume == b.volume && a.index == b.index;
}

// A moment, as Unix counts it on every system: seconds since 1970-01-01
// UTC, and nanoseconds.
struct FileTime {
    int64_t seconds;
    int32_t nanoseconds;
};
inline bool SameTime(const FileTime &a, const FileTime &b)
{
    return a.seconds == b.seconds && a.nanoseconds == b.nanoseconds;
}

// What an open file is now.
struct FileInfo {
    FileId id;
    int64_t length;
    FileTime modified;    // the time of its last change
    int permissions;      // read, write and execute bits (0777 at most); -1 where
                          // the system has none
};

// An open file, and the name its failures are told under.
struct File {
    intptr_t handle;
    char name[kPathSize];
    bool fresh;  // made by FileCreate: what is skipped reads as zeros
};
const intptr_t kNoHandle = -1;
inline bool IsOpen(const File *file)
{
    return file->handle != kNoHandle;
}
// For the backends: a file not open yet, whose failures are told under name.
void StartFile(File *file, const char *name);

enum FileMode {
    kDataFile,     // ordinary read-write permission, as the umask leaves it
    kProgramFile,  // may also be started as a program
};

// Every name is taken in folder, or is a path where folder is null.

// Opens a plain file for reading, shared with other readers and writers.
// Anything else (a folder, a pipe, a device) fails at once, never waits.
// What it is, where info is not null, comes with it.
bool FileOpenRead(const Folder *folder, const char *name, File *file, FileError *error,
                  FileInfo *info = 0);

// The program's standard input and output, as files that are read or
// written in order (a pipe, a terminal, or a file).
void StandardInput(File *file);
void StandardOutput(File *file);

// Temporary names: "qcleaver-", twelve letters no one outside can guess,
// and a number, so that a set of files being made can be named from one
// series without remembering each name.
// Bytes no one can guess, for names and for a set's identity.
void FillRandom(unsigned char *bytes, int count);

struct TempSeries {
    char stem[24];
};
void NewTempSeries(TempSeries *series);
void TempName(const TempSeries *series, int64_t number, char name[kPathSize]);
// Creates a new file in folder, exclusively, under temp: never an existing
// file, never through a link.  This is the only way the program creates a
// file: what it writes takes its real name by FileRename once complete.
// Its failures are told under shown_name, the name it is to take.
bool FileCreate(const Folder *folder, const char *temp, const char *shown_name, FileMode mode,
                File *file, FileError *error);

// Moves the place of the next read or write by delta bytes.
bool FileSkip(File *file, int64_t delta, FileError *error);
// Where the file has a hole at the place of the next read (a stretch that
// the file system knows to be zeros), moves past it, at most most bytes;
// the bytes passed, 0 where data is next or the system cannot tell, -1
// where the place is lost.
int64_t FileSkipHole(File *file, int64_t most, FileError *error);

// Bytes read, 0 at the end of the file, -1 on failure.
int FileRead(File *file, void *buffer, int size, FileError *error);
// Writes all of buffer; false when any of it could not be written.
bool FileWrite(File *file, const void *buffer, int size, FileError *error);
bool FileSeek(File *file, int64_t offset, FileError *error);
// Reads exactly length bytes at offset; a file that ends before them is
// kErrorEndedEarly.  Writes length bytes at offset.  On a system with
// threads, two may call these on one file at once, at places of their own:
// they leave its position alone.
bool FileReadAt(File *file, int64_t offset, void *bytes, int64_t length, FileError *error);
bool FileWriteAt(File *file, int64_t offset, const void *bytes, int64_t length, FileError *error);
bool FileInfoOf(File *file, FileInfo *info, FileError *error);
// Gives a file written by this program the time of its last change, and
// where permissions is not -1 those read, write and execute bits (never
// set-user-ID, set-group-ID or sticky; ignored where the system has none).
bool FileSetTimeAndPermissions(File *file, const FileTime *modified, int permissions,
                               FileError *error);
// The time now.
FileTime TimeNow();
// Length in bytes, or -1.
int64_t FileLength(File *file, FileError *error);
// False when data written earlier could not be stored after all.  error
// may be null for a file that was only read.
bool FileClose(File *file, FileError *error);
bool FileDelete(const Folder *folder, const char *name, FileError *error);
// Renames within folder, replacing an existing file (or the link itself,
// never its target) of the new name.  Windows retries briefly while
// another program (a virus scanner) holds either file.  Its failures are
// told under shown_name.
bool FileRename(const Folder *folder, const char *from, const char *to, const char *shown_name,
                FileError *error);
// The same, only where nothing has the new name: false, with kErrorExists,
// where something has, which stays as it was.
bool FileRenameNew(const Folder *folder, const char *from, const char *to, const char *shown_name,
                   FileError *error);

// What a name stands for, without following a link.
enum FileKind {
    kNothingThere,
    kPlainFile,
    kReadOnlyFile,  // marked read-only: the user's, not to be replaced
    kLinkThere,
    kOtherThere,    // a folder, a pipe, a device
};
FileKind FileKindOf(const Folder *folder, const char *name);
// Of the name itself, not of a link's target; false when there is none.
bool FileIdAt(const Folder *folder, const char *name, FileId *id);

#endif
