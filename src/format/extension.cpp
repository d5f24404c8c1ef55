#include "format/extension.h"

#include "math/crc32.h"
#include "math/erasure.h"
#include "format/trailer.h"
#include "platform/text.h"

static const unsigned char kMagic[4] = {'Q', 'C', 'X', '1'};

void ClearExtension(SetExtension *extension)
{
    extension->name[0] = 0;
    extension->has_time = false;
    extension->modified.seconds = 0;
    extension->modified.nanoseconds = 0;
    extension->permissions = -1;
    extension->recovery_count = 0;
    extension->stretch_length = 0;
    extension->has_identity = false;
    for (int i = 0; i < kSetIdentitySize; i++)
        extension->identity[i] = 0;
    extension->made = 0;
}

bool SameIdentity(const SetExtension *a, const SetExtension *b)
{
    if (a->has_identity != b->has_identity)
        return false;
    for (int i = 0; a->has_identity && i < kSetIdentitySize; i++)
        if (a->identity[i] != b->identity[i])
            return false;
    return true;
}

// Appends an entry's type and length; where its value goes.
static unsigned char *Entry(unsigned char *at, int type, int length)
{
    at[0] = (unsigned char)type;
    at[1] = (unsigned char)(type >> 8);
    at[2] = (unsigned char)length;
    at[3] = (unsigned char)(length >> 8);
    return at + 4;
}

int EncodeExtension(const SetExtension *extension, unsigned char bytes[kMaxExtensionSize])
{
    unsigned char *at = bytes;
    int name_length = TextLength(extension->name);
    if (name_length > 0) {
        at = Entry(at, kExtensionName, name_length);
        for (int i = 0; i < name_length; i++)
            *at++ = (unsigned char)extension->name[i];
    }
    if (extension->has_time) {
        at = Entry(at, kExtensionTime, 12);
        WriteInt64(at, extension->modified.seconds);
        WriteUint32(at + 8, (uint32_t)extension->modified.nanoseconds);
        at += 12;
    }
    if (extension->permissions >= 0) {
        at = Entry(at, kExtensionPermissions, 4);
        WriteUint32(at, (uint32_t)(extension->permissions & 0777));
        at += 4;
    }
    if (extension->recovery_count > 0) {
        at = Entry(at, kExtensionRecovery, 4);
        WriteUint32(at, (uint32_t)extension->recovery_count);
        at += 4;
    }
    if (extension->stretch_length > 0) {
        at = Entry(at, kExtensionStretches, 4);
        WriteUint32(at, (uint32_t)extension->stretch_length);
        at += 4;
    }
    if (extension->has_identity) {
        at = Entry(at, kExtensionIdentity, kSetIdentitySize + 8);
        for (int i = 0; i < kSetIdentitySize; i++)
            *at++ = extension->identity[i];
        WriteInt64(at, extension->made);
        at += 8;
    }
    int length = (int)(at - bytes) + kExtensionFooterSize;
    WriteUint32(at, (uint32_t)length);
    WriteUint32(at + 4, Crc32Update(0, bytes, (size_t)(at - bytes)));
    for (int i = 0; i < 4; i++)
        at[8 + i] = kMagic[i];
    return length;
}

int64_t ExtensionLength(const unsigned char footer[kExtensionFooterSize])
{
    for (int i = 0; i < 4; i++)
        if (footer[8 + i] != kMagic[i])
            return -1;
    int64_t length = ReadUint32(footer);
    return length >= kExtensionFooterSize && length <= kMaxExtensionSize ? length : -1;
}

bool DecodeExtension(const unsigned char *bytes, int64_t length, SetExtension *extension)
{
    ClearExtension(extension);
    if (length < kExtensionFooterSize || length > kMaxExtensionSize)
        return false;
    const unsigned char *end = bytes + length - kExtensionFooterSize;
    if (ExtensionLength(end) != length || ReadUint32(end + 4) != Crc32Update(0, bytes, (size_t)(end - bytes)))
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
            for (int i = 0; i < kSetIdentitySize; i++)
                extension->identity[i] = value[i];
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
