// The console templates follow the .rc, control for control.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "platform/console_templates.h"
#include "test_files.h"

struct RcControl {
    int id;
    std::string text, kind;
};

static std::map<std::string, int> Identifiers()
{
    std::map<std::string, int> ids = {{"IDOK", 1}, {"IDCANCEL", 2}, {"-1", -1}};
    std::regex define(R"(#define (ID\w+) (\d+))");
    std::string header = ReadBytes(SOURCE_DIR "/res/resource.h");
    for (std::sregex_iterator m(header.begin(), header.end(), define), end; m != end; ++m)
        ids[(*m)[1]] = std::stoi((*m)[2]);
    return ids;
}

static std::vector<RcControl> RcDialog(const std::string &name)
{
    std::map<std::string, int> ids = Identifiers();
    std::string rc = ReadBytes(SOURCE_DIR "/res/cleaver.rc");
    size_t begin = rc.find("BEGIN", rc.find(name + " DIALOGEX"));
    size_t end = rc.find("\nEND", begin);
    std::regex control(R"re(CONTROL ("[^"]*"|\w+), (-?\w+), "(\w+)", ([^,]+),)re");
    std::vector<RcControl> controls;
    std::string body = rc.substr(begin, end - begin);
    for (std::sregex_iterator m(body.begin(), body.end(), control), e; m != e; ++m) {
        std::string text = (*m)[1], cls = (*m)[3], style = (*m)[4];
        if (text[0] == '"')
            text = text.substr(1, text.size() - 2);
        std::string kind = cls == "Static" && style.find("SS_BITMAP") != std::string::npos ? "picture"
                           : cls == "Static" && style.find("SS_SUNKEN") != std::string::npos ? "value"
                           : cls == "Static" ? "label"
                           : cls == "Edit" && style.find("ES_READONLY") != std::string::npos ? "readonly"
                           : cls == "Edit" ? "edit"
                           : style.find("BS_GROUPBOX") != std::string::npos ? "group"
                           : style.find("BS_DEFPUSHBUTTON") != std::string::npos ? "default"
                           : style.find("BS_PUSHBUTTON") != std::string::npos ? "push"
                           : style.find("BS_AUTORADIOBUTTON") != std::string::npos ? "radio"
                           : style.find("BS_AUTOCHECKBOX") != std::string::npos ? "check"
                                                                              : "?";
        controls.push_back({ids.at((*m)[2]), kind == "picture" ? "" : text, kind});
    }
    return controls;
}

static const char *KindName(ControlKind kind)
{
    static const char *names[] = {"picture", "group", "label", "label", "value", "edit",
                                  "readonly", "push", "default", "radio", "check"};
    return names[kind];
}

TEST(ConsoleTemplates, FollowTheResourceScript)
{
    struct {
        int id;
        const char *name;
    } dialogs[] = {{101, "IDD_SPLIT_DIALOG"}, {104, "IDD_JOIN_DIALOG"}};
    for (auto &d : dialogs) {
        const DialogTemplate *t = FindConsoleTemplate(d.id);
        ASSERT_TRUE(t);
        std::vector<RcControl> rc = RcDialog(d.name);
        ASSERT_EQ((int)rc.size(), t->count) << d.name;
        for (int i = 0; i < t->count; i++) {
            const ControlTemplate &c = t->controls[i];
            EXPECT_EQ(c.id, rc[i].id) << d.name << " #" << i;
            EXPECT_EQ(c.text, rc[i].text) << d.name << " #" << i;
            EXPECT_EQ(KindName(c.kind), rc[i].kind) << d.name << " #" << i;
            size_t amp = rc[i].text.find('&');
            if (amp != std::string::npos)
                EXPECT_EQ(c.command, tolower(rc[i].text[amp + 1])) << c.text;
        }
    }
}
