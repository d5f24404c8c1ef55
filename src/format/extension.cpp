#include "format/extension.h"

#include <string.h>

#include "math/crc32.h"
#include "math/erasure.h"
#include "format/trailer.h"
#include "platform/text.h"

static const unsigned char kMagic[4] = {'Q', 'C', 'X', '1'};

void ClearExtension(SetExtension *extension)
{
    memset(extension, 0, sizeof *extension);
    extension->permissions = -1;
}

bool SameIdentity(const SetExtension *a, const SetExtension *b)
{
    return a->has_identity == b->has_identity &&
           (!a->has_identity || memcmp(a->identity, b->identity, kSetIdentitySize) == 0);
}

// Appends an entry: its type and its length, 16 bits each, and the value.
static unsigned char *Entry(unsigned char *at, int type, int length, const void *value)
{
    WriteUint32(at, (uint32_t)type | (uint32_t)length << 16);
    memcpy(at + 4, value, (size_t)length);
    return at + 4 + length;
}

static unsigned char *NumberEntry(unsigned char *at, int type, uint32_t number)
{
    unsigned char value[4];
    WriteUint32(value, number);
    return Entry(at, type, 4, value);
}

int EncodeExtension(const SetExtension *extension, unsigned char bytes[kMaxExtensionSize])
{
    unsigned char *at = bytes;
    int name_length = TextLength(extension->name);
    if (name_length > 0)
        at = Entry(at, kExtensionName, name_length, extension->name);
    if (extension->has_time) {
        unsigned char time[12];
        WriteInt64(time, extension->modified.seconds);
        WriteUint32(time + 8, (uint32_t)extension->modified.nanoseconds);
        at = Entry(at, kExtensionTime, 12, time);
    }
    if (extension->permissions >= 0)
        at = NumberEntry(at, kExtensionPermissions, (uint32_t)(extension->permissions & 0777));
    if (extension->recovery_count > 0)
        at = NumberEntry(at, kExtensionRecovery, (uint32_t)extension->recovery_count);
    if (extension->stretch_length > 0)
        at = NumberEntry(at, kExtensionStretches, (uint32_t)extension->stretch_length);
    if (extension->has_identity) {
        unsigned char identity[kSetIdentitySize + 8];
        memcpy(identity, extension->identity, kSetIdentitySize);
        WriteInt64(identity + kSetIdentitySize, extension->made);
        at = Entry(at, kExtensionIdentity, kSetIdentitySize + 8, identity);
    }
    int length = (int)(at - bytes) + kExtensionFooterSize;
    WriteUint32(at, (uint32_t)length);
    WriteUint32(at + 4, Crc32Update(0, bytes, (size_t)(at - bytes)));
    memcpy(at + 8, kMagic, 4);
    return length;
}

// Reads the entries of an extension of length bytes, which its footer gives.
static bool DecodeExtension(const unsigned char *bytes, int64_t length, SetExtension *extension)
{
    const unsigned char *end = bytes + length - kExtensionFooterSize;
    if (ReadUint32(end + 4) != Crc32Update(0, bytes, (size_t)(end - bytes)))
        return false;
    for (const unsigned char *at = bytes; at < end;) {
        if (end - at < 4)
            return false;
        int type = at[0] | at[1] << 8, size = at[2] | at[3] << 8;
        const unsigned char *value = at + 4;
        if (end - value < size)
            return false;
        if (type == kExtensionName) {
            // A name holds no NUL, and fits the buffers every path goes in.
            if (size == 0 || size >= kPathSize)
                return false;
            for (int i = 0; i < size; i++)
                if (!(extension->name[i] = (char)value[i]))
                    return false;
            extension->name[size] = 0;
        } else if (type == kExtensionTime && size == 12) {
            extension->has_time = true;
            extension->modified.seconds = ReadInt64(value);
            extension->modified.nanoseconds = (int32_t)ReadUint32(value + 8);
            if (extension->modified.nanoseconds < 0 || extension->modified.nanoseconds >= 1000000000)
                return false;
        } else if (type == kExtensionPermissions && size == 4) {
            extension->permissions = (int)(ReadUint32(value) & 0777);
        } else if (type == kExtensionRecovery && size == 4) {
            uint32_t count = ReadUint32(value);
            if (count < 1 || count > (uint32_t)kMaxRecoveryParts)
                return false;
            extension->recovery_count = (int)count;
        } else if (type == kExtensionIdentity && size == kSetIdentitySize + 8) {
            extension->has_identity = true;
            memcpy(extension->identity, value, kSetIdentitySize);
            extension->made = ReadInt64(value + kSetIdentitySize);
        } else if (type == kExtensionStretches && size == 4) {
            // Even, as the code's words are, and no shorter than a page.
            extension->stretch_length = ReadUint32(value);
            if (extension->stretch_length < 4096 || extension->stretch_length % 2)
                return false;
        } else if (type >= kExtensionName && type <= kExtensionStretches) {
            return false;  // a known entry of the wrong length
        }
        at = value + size;
    }
    return true;
}

bool ReadExtension(File *file, int64_t end, SetExtension *extension, int64_t *length, FileError *error)
{
    unsigned char bytes[kMaxExtensionSize];
    if (end < kExtensionFooterSize || !FileReadAt(file, end - kExtensionFooterSize, bytes, kExtensionFooterSize, error) ||
        memcmp(bytes + 8, kMagic, 4) != 0)
        return false;
    int64_t n = ReadUint32(bytes);
    if (n < kExtensionFooterSize || n > kMaxExtensionSize || n > end || !FileReadAt(file, end - n, bytes, n, error))
        return false;
    *length = n;
    return DecodeExtension(bytes, n, extension);
}
