// Reads a head part's trailer by name, for the unit tests.
#ifndef QCLEAVER_TEST_TRAILER_H
#define QCLEAVER_TEST_TRAILER_H

#include <string>

#include "format/trailer.h"

inline bool ReadTrailerOf(const std::string &path, PartSetTrailer *trailer, int64_t *length)
{
    FileHandle file = FileOpenRead(0, path.c_str());
    bool read = file != kNoFile && ReadTrailer(file, trailer, length);
    if (file != kNoFile)
        FileClose(file);
    return read;
}

#endif
