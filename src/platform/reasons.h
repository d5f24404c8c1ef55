// A failure's reason in words, with the advice users need most: the same
// on every system, over each system's own words.
#ifndef QCLEAVER_PLATFORM_REASONS_H
#define QCLEAVER_PLATFORM_REASONS_H

#include <stdint.h>

#include "platform/files.h"

// ": " and what the system said of the failure, and advice where users
// meet it most: how much more room a full disk needs (more_room, where
// known), a file grown past a limit, a file another program holds open.
// Nothing when error records no failure.
void AppendReason(char *text, int size, const FileError *error, int64_t more_room = -1);
// "Unable to write report_03.QCB: No space left on device; ...": the call,
// the file or folder it concerned, and the reason.
void AppendFailure(char *text, int size, const FileError *error, int64_t more_room = -1);
// The words of AppendReason and AppendFailure alone, in out, to pass as "%s".
const char *ReasonWords(char *out, int size, const FileError *error);
const char *FailureWords(char *out, int size, const FileError *error, int64_t more_room = -1);
// "E:\ has 3.1 GB free", or "this folder has..." for a folder without a path.
void AppendRoom(char *text, int size, const char *folder, int64_t free_bytes);

// What to do about a file system that takes no file this large (FAT).
enum LargeFileRemedy {
    kChooseSmallerParts,  // a split
    kMoveToAnotherDrive,  // a join
};
void AppendLargeFileAdvice(char *text, int size, LargeFileRemedy remedy);
// " is larger than the file system of E:\ holds; " and that advice.
void AppendTooLargeForDrive(char *text, int size, const char *folder, LargeFileRemedy remedy);

#endif
