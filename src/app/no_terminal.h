// A head part started where nobody can answer its dialog: from a file
// manager, or as `setsid ./report_00.exe </dev/null`.
#ifndef QCLEAVER_APP_NO_TERMINAL_H
#define QCLEAVER_APP_NO_TERMINAL_H

// No controlling terminal, neither standard input nor output a terminal,
// and standard input at its end before any command came.  Commands piped
// to a dialog are not this.
bool HasNoTerminal();

// Opens a terminal emulator for the dialog where a desktop offers one;
// else joins as OK with the defaults would, replacing nothing, and tells
// how it went on standard error and, where notify-send is there, on the
// desktop.  The exit status.
int RunWithoutTerminal(const char *image_path);

#endif
