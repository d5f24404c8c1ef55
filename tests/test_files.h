// File helpers for the tests: scratch folders, made-up inputs, comparisons.
#ifndef QCLEAVER_TEST_FILES_H
#define QCLEAVER_TEST_FILES_H

#include <signal.h>
#include <stdint.h>
#include <sys/resource.h>

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// A fresh folder under /tmp (or another), removed with all it holds at destruction.
class ScratchDir {
public:
    explicit ScratchDir(const std::string &under = "/tmp");
    ~ScratchDir();
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void WriteBytes(const std::string &path, const std::string &bytes);
std::string ReadBytes(const std::string &path);
std::string PatternBytes(int64_t size, unsigned seed);  // made-up bytes, another set for each seed
inline void WritePattern(const std::string &path, int64_t size, unsigned seed)
{
    WriteBytes(path, PatternBytes(size, seed));
}
// A sparse file of size bytes, zero but for a 'Q' at each mark, and whether a file is that.
void WriteSparse(const std::string &path, int64_t size, const std::vector<int64_t> &marks);
bool HasMarks(const std::string &path, int64_t size, const std::vector<int64_t> &marks);
int64_t SizeOf(const std::string &path);  // -1 when missing
inline bool Exists(const std::string &path) { return SizeOf(path) >= 0; }
void CopyFile(const std::string &from, const std::string &to);
typedef std::set<std::string> NameSet;
NameSet Names(const std::string &dir);  // what a folder holds
std::string PartName(const std::string &base, int index);  // as the program names them
std::map<std::string, int> ResourceIds();  // res/resource.h's by name, and IDOK, IDCANCEL, -1
// Runs a shell command with text on its standard input; returns its output.
std::string RunWithInput(const std::string &command, const std::string &input, int *status = nullptr);

// Does work while no file may grow beyond `bytes`, as on a nearly full disk.
template <class Work>
auto UnderFileSizeLimit(rlim_t bytes, Work work)
{
    struct rlimit old, limit;
    getrlimit(RLIMIT_FSIZE, &old);
    limit = {bytes, old.rlim_max};
    signal(SIGXFSZ, SIG_IGN);  // a write past it fails instead
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
        throw std::runtime_error("cannot limit the size of files");
    auto result = work();
    setrlimit(RLIMIT_FSIZE, &old);
    return result;
}

// The least part size, in whole 64 KB, from 320 KB up, that holds a head part of
// program: larger where a build (the sanitizers') makes the program large.
int64_t PartSizeFor(const std::string &program);

#endif
