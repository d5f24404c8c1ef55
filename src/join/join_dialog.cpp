#include "join_dialog.h"

#include "join_engine.h"
#include "part_names.h"
#include "text.h"
#include "trailer.h"

static char g_image_path[kPathSize];

// Counts the slice files present in the current directory.  A path that
// does not fit its buffer counts as not found.
static unsigned CountSlices(const char *dir, const char *base, int last_part)
{
    unsigned found = 0;
    for (int i = 1; i <= last_part; i++) {
        char name[kPathSize];
        char path[kPathSize];
        bool fits = FormatPartName(name, base, i) && CopyText(path, kPathSize, dir);
        // A drive's root already ends in a separator; a second one is harmless.
        char separator[2] = {kDirSeparator, 0};
        fits = fits && AppendText(path, kPathSize, separator) && AppendText(path, kPathSize, name);
        FileHandle file = fits ? FileOpenRead(path) : kNoFile;
        if (file != kNoFile) {
            found++;
            FileClose(file);
        }
    }
    return found;
}

static void InitJoinDialog(HWND dialog)
{
    SetItemChecked(dialog, IDC_MAKE_COPY, true);
    SetItemChecked(dialog, IDC_DELETE_PARTS, false);
    char dir[kPathSize];
    bool have_dir = GetCurrentDir(dir);

    static PartSetTrailer trailer;
    int64_t head_length;
    if (!ReadOwnTrailer(&trailer, &head_length, g_image_path))
        return;  // empty fields; OK then reports the unreadable image
    TrailerCheck check = CheckTrailer(&trailer, head_length);

    // A damaged trailer shows only the fields that make sense, and a count
    // only when it bounds the census; it never allows a join.
    bool terminated = false;
    for (int i = 0; i < kPathSize && !terminated; i++)
        terminated = trailer.original_path[i] == 0;
    bool counted = check != kTrailerDamaged ||
                   (trailer.last_part >= 1 && trailer.original_size >= 0 &&
                    trailer.last_part <= MaxLastPart(trailer.original_size));
    if (terminated) {
        char name[kPathSize];
        FormatOutputName(name, trailer.original_path);
        SetItemText(dialog, IDC_NAME, name);
    }
    if (trailer.original_size >= 0)
        SetItemNumber(dialog, IDC_SIZE, (unsigned)trailer.original_size);
    unsigned found = 0;
    if (counted && terminated) {
        char base[kPathSize];
        BaseNameOf(trailer.original_path, base);
        SetItemNumber(dialog, IDC_PARTS, (unsigned)trailer.last_part);
        found = have_dir ? CountSlices(dir, base, trailer.last_part) : 0;
        SetItemNumber(dialog, IDC_FOUND, found);
    }
    if (check == kTrailerDamaged || found != (unsigned)trailer.last_part)
        EnableItem(dialog, IDOK, false);
}

INT_PTR CALLBACK JoinDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SetDialogIcon(dialog);
        InitJoinDialog(dialog);
        break;
    case WM_COMMAND:
        if (wparam == IDOK) {
            ShowBusy(true);
            JoinParts(dialog, IsItemChecked(dialog, IDC_MAKE_COPY),
                      IsItemChecked(dialog, IDC_DELETE_PARTS), g_image_path);
            ShowBusy(false);
            EndDialogWith(dialog, 0);  // the engine has said what went wrong
        } else if (wparam == IDCANCEL) {
            EndDialogWith(dialog, 0);
        }
        break;
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) == SC_CLOSE)
            EndDialogWith(dialog, 0);
        break;
    }
    return 0;
}
