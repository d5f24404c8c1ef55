// The two dialog templates as the console dialog host shows them.  They
// follow res/cleaver.rc control for control, but for the split dialog's
// choice of the head part's system (IDC_FOR_...); a test holds them to it.
#ifndef QCLEAVER_CONSOLE_TEMPLATES_H
#define QCLEAVER_CONSOLE_TEMPLATES_H

enum ControlKind {
    kPicture,
    kGroupBox,
    kLabel,       // names the value field it belongs to: "File Size: 123"
    kUnit,        // follows the edit field it belongs to: "[64] KB"
    kValueField,  // static text that the program fills in
    kEdit,
    kReadOnlyEdit,
    kPushButton,
    kDefaultButton,
    kRadioButton,
    kCheckBox,
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char *text;    // as in the .rc, '&' before the accelerator
    char command;        // the letter that clicks it, 0 for none
    const char *prompt;  // an edit field: shown before its value, for want of a label
    int field;           // a label or unit: the control it belongs to
};

enum { kMaxControls = 24 };

struct DialogTemplate {
    int id;
    const char *caption;
    const ControlTemplate *controls;
    int count;
};

// Null for an unknown template.
const DialogTemplate *FindConsoleTemplate(int id);

#endif
