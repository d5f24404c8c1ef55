// Path splitting, mode selection by program name, and the images' zero tail.
#include <gtest/gtest.h>

#include <string>

#include "startup.h"
#include "test_files.h"

static bool NoLeadBytes(unsigned char) { return false; }
// Shift-JIS-like: 0x81-0x9F and 0xE0-0xFC lead a two-byte character.
static bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || c >= 0xE0; }

struct Pieces {
    std::string drive, dir, base, ext;
};

static Pieces Split(const std::string &path, LeadBytePredicate lead = NoLeadBytes)
{
    PathPieces p;
    SplitPath(path.c_str(), &p, lead);
    return {p.drive, p.dir, p.base, p.ext};
}

TEST(SplitPath, TakesDriveDirectoryBaseAndExtension)
{
    Pieces p = Split("C:\\Tools\\CLEAVER.EXE");
    EXPECT_EQ(p.drive, "C:");
    EXPECT_EQ(p.dir, "\\Tools\\");
    EXPECT_EQ(p.base, "CLEAVER");
    EXPECT_EQ(p.ext, ".EXE");

    p = Split("/home/ann/report.tar.gz");
    EXPECT_EQ(p.drive, "");
    EXPECT_EQ(p.dir, "/home/ann/");
    EXPECT_EQ(p.base, "report.tar");
    EXPECT_EQ(p.ext, ".gz");

    p = Split("cleaver");
    EXPECT_EQ(p.dir + "|" + p.base + "|" + p.ext, "|cleaver|");
    // A dot before the last separator starts no extension.
    p = Split("c:/data.d/readme");
    EXPECT_EQ(p.dir + "|" + p.base + "|" + p.ext, "/data.d/|readme|");
}

TEST(SplitPath, NeverTakesATrailByteForASeparatorOrDot)
{
    // 0x95 0x5C is one character whose second byte is a backslash.
    std::string path = "d:\\\x95\x5C\\file\x81.txt";
    Pieces p = Split(path, ShiftJisLead);
    EXPECT_EQ(p.dir, "\\\x95\x5C\\");
    EXPECT_EQ(p.base, "file\x81.txt");  // 0x81 0x2E is one character too
    EXPECT_EQ(p.ext, "");
    EXPECT_EQ(Split(path).ext, ".txt");  // without lead bytes the path reads otherwise
}

TEST(SplitPath, CutsEachPieceTo255Bytes)
{
    std::string long_name(300, 'a');
    Pieces p = Split("/x/" + long_name + "." + std::string(300, 'e'));
    EXPECT_EQ(p.base.size(), 255u);
    EXPECT_EQ(p.ext.size(), 255u);
}

TEST(LowerCase, LeavesDoubleByteCharactersAlone)
{
    char text[] = "C:\\DATA\\\x83\x41Report.ZIP";
    LowerCaseAscii(text, ShiftJisLead);
    EXPECT_STREQ(text, "c:\\data\\\x83\x41report.zip");
}

TEST(SelectMode, OnlyTheBaseNameCleaverSplits)
{
    for (const char *name : {"C:\\Tools\\CLEAVER.EXE", "/usr/bin/cleaver", "CleaVer.exe"})
        EXPECT_EQ(SelectMode(name), kSplitMode) << name;
    for (const char *name : {"cleaver (2).exe", "cleaver.bak.exe", "cleaver_00.exe",
                             "report_00.exe", "/cleaver/other"})
        EXPECT_EQ(SelectMode(name), kJoinMode) << name;
}

// The real program, started under each name, opens the dialog of its mode.
TEST(Program, ChoosesItsDialogByName)
{
    ScratchDir dir;
    struct {
        const char *name;
        const char *expect;
    } cases[] = {
        {"CLEAVER", "File ..."},
        {"cleaver", "File ..."},
        {"report_00.exe", "Original File Info"},
        {"cleaver (2).exe", "Original File Info"},
        {"cleaver.bak.exe", "Original File Info"},
    };
    for (auto &c : cases) {
        CopyFile(POSIX_PROGRAM, dir / c.name);  // a copy: the kernel resolves links
        std::string out = RunWithInput("cd '" + dir.path() + "' && './" + c.name + "' ignored args", "");
        EXPECT_NE(out.find(c.expect), std::string::npos) << c.name << ":\n" << out;
    }
}

// Started under another name, the program itself reads an empty set.
TEST(Program, ImagesEndInAnAllZeroTrailer)
{
    for (const std::string &image : {std::string(POSIX_PROGRAM), std::string(WINDOWS_PROGRAM)}) {
        if (!Exists(image) && image == WINDOWS_PROGRAM)
            continue;  // the Linux-only build
        std::string bytes = ReadBytes(image);
        ASSERT_GE(bytes.size(), 272u) << image;
        EXPECT_EQ(bytes.substr(bytes.size() - 272), std::string(272, '\0')) << image;
    }
    ScratchDir dir;
    CopyFile(POSIX_PROGRAM, dir / "report_00.exe");
    std::string out = RunWithInput("cd '" + dir.path() + "' && ./report_00.exe", "o\n");
    EXPECT_NE(out.find("File Name: \n"), std::string::npos) << out;
    EXPECT_NE(out.find("Parts: 0\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("(disabled)"), std::string::npos) << out;
    EXPECT_NE(out.find("UnCleaver: Unable to open output file, make sure there is no file with the "
                       "same name in the output directory"),
              std::string::npos)
        << out;
}
