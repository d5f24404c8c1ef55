#include "test_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

ScratchDir::ScratchDir(const std::string &under)
{
    std::string pattern = under + "/qcleaver-test-XXXXXX";
    if (!mkdtemp(&pattern[0]))
        throw std::runtime_error("mkdtemp failed under " + under);
    path_ = pattern;
}

ScratchDir::~ScratchDir()
{
    std::string command = "chmod -R u+w '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'";
    if (system(command.c_str()) != 0)
        fprintf(stderr, "could not remove %s\n", path_.c_str());
}

InDir::InDir(const std::string &dir)
{
    char here[4096];
    if (!getcwd(here, sizeof here) || chdir(dir.c_str()) != 0)
        throw std::runtime_error("cannot enter " + dir);
    previous_ = here;
}

InDir::~InDir()
{
    if (chdir(previous_.c_str()) != 0)
        fprintf(stderr, "cannot return to %s\n", previous_.c_str());
}

void WriteBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::string PatternBytes(int64_t size, unsigned seed)
{
    std::string bytes((size_t)size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (int64_t i = 0; i < size; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[(size_t)i] = (char)x;
    }
    return bytes;
}

void WritePattern(const std::string &path, int64_t size, unsigned seed)
{
    WriteBytes(path, PatternBytes(size, seed));
}

void WriteSparse(const std::string &path, int64_t size, const std::vector<int64_t> &marks)
{
    int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    bool ok = fd >= 0 && ftruncate(fd, size) == 0;
    for (int64_t at : marks)
        ok = ok && pwrite(fd, "Q", 1, at) == 1;
    if (fd < 0 || close(fd) != 0 || !ok)
        throw std::runtime_error("cannot write " + path);
}

bool HasMarks(const std::string &path, int64_t size, const std::vector<int64_t> &marks)
{
    int fd = open(path.c_str(), O_RDONLY);
    bool same = fd >= 0 && SizeOf(path) == size;
    for (int64_t at : marks) {
        char c = 0;
        same = same && pread(fd, &c, 1, at) == 1 && c == 'Q';
    }
    if (fd >= 0)
        close(fd);
    return same;
}

int64_t SizeOf(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (int64_t)st.st_size : -1;
}

bool Exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

void CopyFile(const std::string &from, const std::string &to)
{
    WriteBytes(to, ReadBytes(from));
    struct stat st;
    if (stat(from.c_str(), &st) == 0)
        chmod(to.c_str(), st.st_mode & 07777);
}

std::string RunWithInput(const std::string &command, const std::string &input, int *status)
{
    ScratchDir io;
    WriteBytes(io / "in", input);
    std::string full = command + " < '" + (io / "in") + "' > '" + (io / "out") + "' 2>&1";
    int rc = system(full.c_str());
    if (status)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return ReadBytes(io / "out");
}

std::string PartName(const std::string &base, int index)
{
    char number[16];
    snprintf(number, sizeof number, "_%02d", index);
    return base + number + (index == 0 ? ".exe" : ".QCB");
}
