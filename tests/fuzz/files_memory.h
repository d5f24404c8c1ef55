// platform/files.h over a table in memory, for the fuzz target: absolute
// names, "/w/" before a bare one, and two names may share a file.
#ifndef QCLEAVER_TESTS_FILES_MEMORY_H
#define QCLEAVER_TESTS_FILES_MEMORY_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"

struct MemFile {
    std::vector<unsigned char> data;
    FileKind kind;  // a link here is one that leads nowhere
};
extern std::map<std::string, std::shared_ptr<MemFile>> g_files;
extern int64_t g_room;  // bytes that writes may still store
std::string MemPath(const char *name);
extern int g_open_files;

#endif
