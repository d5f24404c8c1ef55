// The README's command-line examples, run as they stand over inputs made
// the same way each time: every command's output must be what the README
// shows, so that it cannot drift from the program.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "test_files.h"

namespace {

struct Example {
    std::string command;
    std::vector<std::string> output;  // "..." stands for any lines
};

// The first block of the README: "$ command   # comment", then its output.
std::vector<Example> ReadExamples()
{
    std::string readme = ReadBytes(SOURCE_DIR "/README.md");
    size_t begin = readme.find("```\n$ ");
    std::istringstream block(readme.substr(begin + 4, readme.find("```", begin + 4) - begin - 4));
    std::vector<Example> examples;
    for (std::string line; std::getline(block, line);) {
        if (line.compare(0, 2, "$ ") == 0) {
            size_t comment = line.find("  #");
            line = line.substr(2, comment == std::string::npos ? std::string::npos : comment - 2);
            examples.push_back({line.substr(0, line.find_last_not_of(' ') + 1), {}});
        } else if (!examples.empty()) {
            examples.back().output.push_back(line);
        }
    }
    return examples;
}

// Whether said matches what the README shows, "..." standing for any lines.
bool Matches(const std::vector<std::string> &said, const std::vector<std::string> &shown, size_t s = 0,
             size_t w = 0)
{
    if (w == shown.size())
        return s == said.size();
    if (shown[w] == "...") {
        for (size_t skip = s; skip <= said.size(); skip++)
            if (Matches(said, shown, skip, w + 1))
                return true;
        return false;
    }
    return s < said.size() && said[s] == shown[w] && Matches(said, shown, s + 1, w + 1);
}

// A folder with the program users get, and the file the examples split.
class Readme : public testing::Test {
protected:
    void SetUp() override
    {
#ifdef __SANITIZE_ADDRESS__
        GTEST_SKIP() << "the README shows the program users get, whose size sets how much a head part holds; the "
                        "sanitizer build's is larger";
#endif
        CopyFile(POSIX_PROGRAM, dir / "cleaver");
        WritePattern(dir / "report.zip", 5242880, 2);
        ASSERT_EQ(system(("cd '" + dir.path() + "' && chmod 644 report.zip && "
                          "touch -d '2026-11-30 09:15:00 UTC' report.zip").c_str()), 0);
    }
    ScratchDir dir;
};

TEST_F(Readme, ExamplesSayWhatTheProgramSays)
{
    WritePattern(dir / "holiday.mp4", 62914560, 1);
    WritePattern(dir / "backup.img", 73400320, 3);
    std::vector<Example> examples = ReadExamples();
    ASSERT_GE(examples.size(), 8u);
    for (const Example &example : examples) {
        int status = -1;
        std::string out = RunWithInput("cd '" + dir.path() + "' && PATH=\"$PWD:$PATH\" && umask 022 && { " +
                                           example.command + "; } 2>&1",
                                       "", &status);
        std::vector<std::string> said;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            said.push_back(line);
        // The check of a set it can repair says so by its status, 3.
        EXPECT_EQ(status, example.command.find("--check") != std::string::npos ? 3 : 0) << example.command << "\n"
                                                                                         << out;
        EXPECT_TRUE(Matches(said, example.output)) << "$ " << example.command << "\nsaid:\n" << out;
    }
}

// The terminal's dialogs as the README shows them: each "$ program" is
// started with the lines typed ("> ...") as its input, and everything else
// the README shows must come in that order in what the dialog prints.
TEST_F(Readme, TheTerminalDialogsShowWhatTheReadmeShows)
{
    std::string readme = ReadBytes(SOURCE_DIR "/README.md");
    size_t begin = readme.find("```\n$ ./cleaver\n");
    ASSERT_NE(begin, std::string::npos);
    std::istringstream block(readme.substr(begin + 4, readme.find("```", begin + 4) - begin - 4));
    struct Session {
        std::string program, typed;
        std::vector<std::string> shown;
    };
    std::vector<Session> sessions;
    for (std::string line; std::getline(block, line);) {
        if (line.compare(0, 2, "$ ") == 0)
            sessions.push_back({line.substr(2), "", {}});
        else if (line.compare(0, 2, "> ") == 0)
            sessions.back().typed += line.substr(2) + "\n";
        else if (line != "...")
            sessions.back().shown.push_back(line);
    }
    ASSERT_EQ(sessions.size(), 2u);
    for (const Session &session : sessions) {
        int status = -1;
        std::string out = RunWithInput("cd '" + dir.path() + "' && " + session.program + " 2>&1", session.typed,
                                       &status);
        EXPECT_EQ(status, 0) << out;
        size_t at = 0;
        for (const std::string &line : session.shown) {
            size_t found = out.find(line + "\n", at);
            EXPECT_NE(found, std::string::npos) << "no \"" << line << "\" after what came before, in:\n" << out;
            at = found == std::string::npos ? at : found + line.size();
        }
    }
}

}  // namespace
