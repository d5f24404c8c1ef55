#include "test_files.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <stdexcept>

#include "format/part_names.h"

ScratchDir::ScratchDir(const std::string &under) : path_(under + "/qcleaver-test-XXXXXX")
{
    if (!mkdtemp(&path_[0]))
        throw std::runtime_error("mkdtemp failed under " + under);
}

ScratchDir::~ScratchDir()
{
    std::string command = "chmod -R u+w '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'";
    if (system(command.c_str()) != 0)
        fprintf(stderr, "could not remove %s\n", path_.c_str());
}

void WriteBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), (std::streamsize)bytes.size()))
        throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string PatternBytes(int64_t size, unsigned seed)
{
    std::string bytes((size_t)size, '\0');
    std::minstd_rand next(seed + 1);
    for (char &c : bytes)
        c = (char)(next() >> 7);
    return bytes;
}

void WriteSparse(const std::string &path, int64_t size, const std::vector<int64_t> &marks)
{
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        for (int64_t at : marks)
            out.seekp(at).put('Q');
    }
    if (truncate(path.c_str(), size) != 0)
        throw std::runtime_error("cannot write " + path);
}

bool HasMarks(const std::string &path, int64_t size, const std::vector<int64_t> &marks)
{
    std::ifstream in(path, std::ios::binary);
    for (int64_t at : marks)
        if (in.seekg(at).get() != 'Q')
            return false;
    return SizeOf(path) == size;
}

int64_t SizeOf(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (int64_t)st.st_size : -1;
}

void CopyFile(const std::string &from, const std::string &to)
{
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

NameSet Names(const std::string &dir)
{
    NameSet names;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename());
    return names;
}

std::string PartName(const std::string &base, int index)
{
    char name[kPathSize];
    return FormatPartName(name, base.c_str(), index) ? name : "(too long)";
}

std::map<std::string, int> ResourceIds()
{
    std::map<std::string, int> ids = {{"IDOK", 1}, {"IDCANCEL", 2}, {"-1", -1}};
    std::regex define(R"(#define (ID\w+) (\d+))");
    std::string header = ReadBytes(SOURCE_DIR "/res/resource.h");
    for (std::sregex_iterator m(header.begin(), header.end(), define), end; m != end; ++m)
        ids[(*m)[1]] = std::stoi((*m)[2]);
    return ids;
}

std::string RunWithInput(const std::string &command, const std::string &input, int *status)
{
    ScratchDir io;
    WriteBytes(io / "in", input);
    // In a subshell, so that the redirections hold for every command of a list.
    int rc = system(("(" + command + "\n) < '" + (io / "in") + "' > '" + (io / "out") + "' 2>&1").c_str());
    if (status)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return ReadBytes(io / "out");
}

int64_t PartSizeFor(const std::string &program)
{
    int64_t size = (SizeOf(program) + 2 * 65536) / 65536 * 65536;
    return size > 320 * 1024 ? size : 320 * 1024;
}
