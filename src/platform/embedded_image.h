// The Windows program that a Linux build carries, so that a set made on
// Linux can have a head part for a Windows recipient.  The build embeds it
// where MinGW built it first; without, there is none.
#ifndef QCLEAVER_PLATFORM_EMBEDDED_IMAGE_H
#define QCLEAVER_PLATFORM_EMBEDDED_IMAGE_H

#include <stdint.h>

// False when this build carries none.
bool EmbeddedWindowsImage(const unsigned char **bytes, int64_t *size);

#endif
