#include "platform/console_templates.h"

#include "platform/dialogs.h"

static const ControlTemplate kSplitControls[] = {
    {IDC_BANNER, kPicture, "", 0, 0, 0},
    {IDC_BROWSE, kPushButton, "&File ...", 'f', 0, 0},
    {IDC_INPUT_PATH, kReadOnlyEdit, "", 0, "Input file", 0},
    {-1, kGroupBox, "Slice Size", 0, 0, 0},
    {IDC_SIZE_360, kRadioButton, "&360 KB", '3', 0, 0},
    {IDC_SIZE_720, kRadioButton, "&720 KB", '7', 0, 0},
    {IDC_SIZE_144, kRadioButton, "&1.44 MB", '1', 0, 0},
    {IDC_SIZE_USER, kRadioButton, "&User Defined", 'u', 0, 0},
    {IDC_USER_KB, kEdit, "", 0, "User Defined size", 0},
    {-1, kUnit, "KB (or MB, GB)", 0, 0, IDC_USER_KB},
    {-1, kLabel, "&Recovery parts", 'r', 0, IDC_RECOVERY},
    {IDC_RECOVERY, kEdit, "", 0, "Recovery parts", 0},
    {-1, kUnit, "as many lost parts come back", 0, 0, IDC_RECOVERY},
    // Not in the Windows template: a Linux program can also write a head
    // part for Windows.
    {-1, kGroupBox, "Head part for", 0, 0, 0},
    {IDC_FOR_LINUX, kRadioButton, "&Linux", 'l', 0, 0},
    {IDC_FOR_WINDOWS, kRadioButton, "&Windows", 'w', 0, 0},
    {IDCANCEL, kPushButton, "&Cancel", 'c', 0, 0},
    {IDOK, kDefaultButton, "&OK", 'o', 0, 0},
};

static const ControlTemplate kJoinControls[] = {
    {IDC_BANNER, kPicture, "", 0, 0, 0},
    {-1, kGroupBox, "Original File Info", 0, 0, 0},
    {-1, kLabel, "File Name", 0, 0, IDC_NAME},
    {-1, kLabel, "File Size", 0, 0, IDC_SIZE},
    {IDC_SIZE, kValueField, "", 0, 0, 0},
    {-1, kLabel, "Parts", 0, 0, IDC_PARTS},
    {IDC_PARTS, kValueField, "", 0, 0, 0},
    {-1, kLabel, "Found", 0, 0, IDC_FOUND},
    {IDC_FOUND, kValueField, "", 0, 0, 0},
    {-1, kLabel, "Recovery", 0, 0, IDC_RECOVERY_FOUND},
    {IDC_RECOVERY_FOUND, kValueField, "", 0, 0, 0},
    {-1, kLabel, "Repair", 0, 0, IDC_REPAIR},
    {IDC_REPAIR, kValueField, "", 0, 0, 0},
    {-1, kGroupBox, "Options", 0, 0, 0},
    // The template gives these no accelerator; the console needs one.
    {IDC_MAKE_COPY, kCheckBox, "Create a copy of Cleaver", 'm', 0, 0},
    {IDC_DELETE_PARTS, kCheckBox, "Delete parts when finished", 'd', 0, 0},
    {IDC_REPAIR_SET, kCheckBox, "Repair the set", 'r', 0, 0},
    {IDCANCEL, kPushButton, "&Cancel", 'c', 0, 0},
    {IDOK, kDefaultButton, "&OK", 'o', 0, 0},
    {IDC_NAME, kValueField, "", 0, 0, 0},
};

static_assert(sizeof kSplitControls / sizeof kSplitControls[0] <= kMaxControls &&
                  sizeof kJoinControls / sizeof kJoinControls[0] <= kMaxControls,
              "the console host holds kMaxControls controls a dialog");

static const DialogTemplate kTemplates[] = {
    {IDD_SPLIT_DIALOG, "QCleaver", kSplitControls,
     (int)(sizeof kSplitControls / sizeof kSplitControls[0])},
    {IDD_JOIN_DIALOG, "QCleaver", kJoinControls,
     (int)(sizeof kJoinControls / sizeof kJoinControls[0])},
};

const DialogTemplate *FindConsoleTemplate(int id)
{
    for (const DialogTemplate &t : kTemplates)
        if (t.id == id)
            return &t;
    return 0;
}
