#include "app/no_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "join/join_engine.h"
#include "join/join_run.h"
#include "platform/text.h"

extern char **environ;

// Whether standard input has ended before anything came: /dev/null, an
// empty file read to its end, or a pipe whose writer has gone.
static bool InputAtItsEnd()
{
    struct stat st;
    if (fstat(0, &st) != 0)
        return true;  // closed
    if (S_ISCHR(st.st_mode))
        return major(st.st_rdev) == 1 && minor(st.st_rdev) == 3;  // /dev/null
    if (S_ISREG(st.st_mode))
        return lseek(0, 0, SEEK_CUR) >= st.st_size;
    if (!S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode))
        return false;
    struct pollfd input = {0, POLLIN, 0};
    int waiting = 0;
    return poll(&input, 1, 0) == 1 && (input.revents & POLLHUP) && ioctl(0, FIONREAD, &waiting) == 0 &&
           waiting == 0;
}

bool HasNoTerminal()
{
    if (isatty(0) || isatty(1))
        return false;
    int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty >= 0) {
        close(tty);
        return false;
    }
    return InputAtItsEnd();
}

// Starts program with its arguments, not waiting for it; false where it
// cannot be started.
static bool Start(const char *const *argv)
{
    pid_t child;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    bool started = posix_spawnp(&child, argv[0], &actions, 0, (char *const *)argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    return started;
}

// The common terminal emulators, each with the words that run a program
// in it; the system's own choice first.
static bool OpenTerminal(const char *image_path)
{
    static const char *const kTerminals[][2] = {
        {"x-terminal-emulator", "-e"}, {"xdg-terminal-exec", 0}, {"gnome-terminal", "--"},
        {"konsole", "-e"},             {"xfce4-terminal", "-x"}, {"mate-terminal", "-x"},
        {"lxterminal", "-e"},          {"alacritty", "-e"},      {"kitty", 0},
        {"xterm", "-e"},
    };
    for (const auto &terminal : kTerminals) {
        const char *argv[4] = {terminal[0], terminal[1] ? terminal[1] : image_path,
                               terminal[1] ? image_path : 0, 0};
        if (Start(argv))
            return true;
    }
    return false;
}

// Says how the join went where a desktop shows it, and on standard error.
static void Tell(const char *text, bool failed)
{
    fprintf(stderr, "%s\n", text);
    const char *argv[] = {"notify-send", failed ? "--urgency=critical" : "--urgency=normal", "UnCleaver", text, 0};
    pid_t child;
    if (posix_spawnp(&child, argv[0], 0, 0, (char *const *)argv, environ) == 0)
        waitpid(child, 0, 0);
}

int RunWithoutTerminal(const char *image_path)
{
    const char *display = getenv("DISPLAY"), *wayland = getenv("WAYLAND_DISPLAY");
    if (((display && display[0]) || (wayland && wayland[0])) && OpenTerminal(image_path))
        return 0;
    // Nobody to ask: the join as OK with the defaults, which replaces nothing.
    PartSet set;
    OpenPartSet(image_path, &set);
    char text[4 * kPathSize] = "";
    JoinOutcome outcome;
    outcome.failed = true;
    if (SetCanJoin(&set, text, sizeof text) && set.state == kSetReady) {
        JoinRequest request;
        RunJoin(&set, &request, 0, &outcome);
        FormatText(text, sizeof text, "%s%s%s", outcome.line, outcome.line[0] && outcome.message[0] ? " " : "",
                   outcome.message);
    } else if (!text[0]) {
        CopyText(text, sizeof text, "Unable to open output file, make sure there is no file with the same name "
                                    "in the output directory");
    }
    ClosePartSet(&set);
    Tell(text, outcome.failed);
    return outcome.failed ? 1 : 0;
}
