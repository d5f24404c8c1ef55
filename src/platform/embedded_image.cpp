#include "platform/embedded_image.h"

#ifdef QCLEAVER_WINDOWS_IMAGE
// From embedded_image.S, which the build writes around the file.
extern "C" const unsigned char qcleaver_windows_image[];
extern "C" const unsigned char qcleaver_windows_image_end[];

bool EmbeddedWindowsImage(const unsigned char **bytes, int64_t *size)
{
    *bytes = qcleaver_windows_image;
    *size = qcleaver_windows_image_end - qcleaver_windows_image;
    return *size > 0;
}
#else
bool EmbeddedWindowsImage(const unsigned char **, int64_t *)
{
    return false;
}
#endif
