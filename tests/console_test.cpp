// The console templates follow the .rc, control for control, but for the
// terminal's own choice of the head part's system.
#include <gtest/gtest.h>

#include <regex>

#include "platform/console_templates.h"
#include "platform/progress.h"
#include "test_files.h"

// The first of these that a control's class and style hold says its kind.
static const std::pair<const char *, ControlKind> kKinds[] = {
    {"SS_BITMAP", kPicture}, {"SS_SUNKEN", kValueField}, {"\"Static\"", kLabel},
    {"ES_READONLY", kReadOnlyEdit}, {"\"Edit\"", kEdit}, {"BS_GROUPBOX", kGroupBox},
    {"BS_DEFPUSHBUTTON", kDefaultButton}, {"BS_PUSHBUTTON", kPushButton},
    {"BS_AUTORADIOBUTTON", kRadioButton}, {"BS_AUTOCHECKBOX", kCheckBox}};

static ControlKind KindOf(const std::string &look)
{
    for (auto &k : kKinds)
        if (look.find(k.first) != std::string::npos)
            return k.second;
    return ControlKind(-1);  // none, which no template has
}

TEST(ConsoleTemplates, FollowTheResourceScript)
{
    std::map<std::string, int> ids = ResourceIds();
    std::string rc = ReadBytes(SOURCE_DIR "/res/cleaver.rc");
    std::regex control(R"re(CONTROL ("[^"]*"|\w+), (-?\w+), ("\w+", [^,]+),)re");
    for (std::string dialog : {"IDD_SPLIT_DIALOG", "IDD_JOIN_DIALOG"}) {
        const DialogTemplate *t = FindConsoleTemplate(ids.at(dialog));
        ASSERT_TRUE(t);
        size_t begin = rc.find("BEGIN", rc.find(dialog + " DIALOGEX"));
        std::string body = rc.substr(begin, rc.find("\nEND", begin) - begin);
        auto console_only = [&](int at) {
            int id = at + 1 < t->count && t->controls[at].id == -1 ? t->controls[at + 1].id : t->controls[at].id;
            return id == ids.at("IDC_FOR_LINUX") || id == ids.at("IDC_FOR_WINDOWS");
        };
        int i = 0;
        for (std::sregex_iterator m(body.begin(), body.end(), control), end; m != end; ++m, ++i) {
            while (i < t->count && console_only(i))
                i++;
            SCOPED_TRACE(dialog + " #" + std::to_string(i));
            ASSERT_LT(i, t->count);
            const ControlTemplate &c = t->controls[i];
            std::string text = (*m)[1];
            ControlKind kind = KindOf((*m)[3]);
            EXPECT_EQ(c.id, ids.at((*m)[2]));
            EXPECT_EQ(c.text, text[0] == '"' && kind != kPicture ? text.substr(1, text.size() - 2) : "");
            EXPECT_EQ(c.kind == kUnit ? kLabel : c.kind, kind);  // a unit is a label there
            size_t amp = text.find('&');
            if (amp != std::string::npos)
                EXPECT_EQ(c.command, tolower(text[amp + 1])) << c.text;
        }
        EXPECT_EQ(i, t->count) << dialog;
    }
}

// How far work has got, as both hosts show it: its rate and the time left once it has run a second.
TEST(ProgressLine, TellsTheRateAndTheTimeLeft)
{
    const struct { int64_t done, total, ms; const char *line; } cases[] = {
        {480 << 20, 1920 << 20, 999, "25%"},
        {480 << 20, 1920 << 20, 4000, "25% \xC2\xB7 120 MB/s \xC2\xB7 0:12 left"},
        {1 << 20, 3726LL << 20, 1000, "0% \xC2\xB7 1 MB/s \xC2\xB7 1:02:05 left"},
        {4LL << 30, 4LL << 30, 2000, "100% \xC2\xB7 2 GB/s"}};
    for (const auto &c : cases) {
        Progress progress;
        ProgressInit(&progress);
        progress.done = c.done;
        progress.total = c.total;
        char line[64];
        FormatProgress(&progress, c.ms, line, sizeof line);
        EXPECT_STREQ(line, c.line);
    }
}
