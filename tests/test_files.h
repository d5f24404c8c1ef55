// File helpers for the tests: scratch folders, made-up inputs, comparisons.
#ifndef QCLEAVER_TEST_FILES_H
#define QCLEAVER_TEST_FILES_H

#include <stdint.h>

#include <string>
#include <vector>

// A fresh folder under /tmp (or another folder), removed with everything in
// it at destruction.
class ScratchDir {
public:
    explicit ScratchDir(const std::string &under = "/tmp");
    ~ScratchDir();
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Enters a folder for the lifetime of the object.
class InDir {
public:
    explicit InDir(const std::string &dir);
    ~InDir();

private:
    std::string previous_;
};

void WriteBytes(const std::string &path, const std::string &bytes);
std::string ReadBytes(const std::string &path);
// Bytes that differ from one offset to the next, and from one seed to another.
std::string PatternBytes(int64_t size, unsigned seed);
void WritePattern(const std::string &path, int64_t size, unsigned seed);
// A sparse file of size bytes, zero but for a 'Q' at each of marks, and
// whether a file is just that.
void WriteSparse(const std::string &path, int64_t size, const std::vector<int64_t> &marks);
bool HasMarks(const std::string &path, int64_t size, const std::vector<int64_t> &marks);
int64_t SizeOf(const std::string &path);  // -1 when missing
bool Exists(const std::string &path);
void CopyFile(const std::string &from, const std::string &to);
// The name of part `index` of a set: "<base>_00.exe", "<base>_01.QCB", ...
std::string PartName(const std::string &base, int index);
// Runs a shell command with text on its standard input; returns its output.
std::string RunWithInput(const std::string &command, const std::string &input, int *status = nullptr);

#endif
