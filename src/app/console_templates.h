// The two dialog templates as the console dialog host shows them.  They
// follow res/cleaver.rc control for control; a test holds them to it.
#ifndef QCLEAVER_CONSOLE_TEMPLATES_H
#define QCLEAVER_CONSOLE_TEMPLATES_H

enum ControlKind {
    kPicture,
    kGroupBox,
    kLabel,
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
    const char *text;      // as in the .rc, '&' before the accelerator
    char command;          // the letter that clicks it, 0 for none
    const char *name;      // an edit field's name, for lack of a label
    int label_of;          // a label: the field it names, shown as "Label: value"
};

struct DialogTemplate {
    int id;
    const char *caption;
    const ControlTemplate *controls;
    int count;
};

// Null for an unknown template.
const DialogTemplate *FindConsoleTemplate(int id);

#endif
