#include "format/head_part.h"

#include <assert.h>

#include "format/crc32.h"
#include "format/part_names.h"
#include "platform/text.h"

// Whether the part table's bytes match the CRC-32 the record gives them.
static bool TableChecks(HeadPart *part, FileError *error)
{
    unsigned char buffer[4096];
    uint32_t crc = 0;
    int64_t left = PartTableSize(&part->trailer);
    if (!FileSeek(&part->file, part->table_at, error))
        return false;
    while (left > 0) {
        int want = left < (int64_t)sizeof buffer ? (int)left : (int)sizeof buffer;
        int got = FileRead(&part->file, buffer, want, error);
        if (got <= 0)
            return false;
        crc = Crc32Update(crc, buffer, (size_t)got);
        left -= got;
    }
    return crc == part->trailer.table_crc;
}

// Reads exactly length bytes at offset; false where the file has fewer.
static bool ReadAt(File *file, int64_t offset, unsigned char *bytes, int64_t length, FileError *error)
{
    if (!FileSeek(file, offset, error))
        return false;
    for (int64_t got = 0; got < length;) {
        int n = FileRead(file, bytes + got, (int)(length - got), error);
        if (n <= 0)
            return false;
        got += n;
    }
    return true;
}

// Reads a version 3 head part's extension, found from its footer just
// before the table; false where it does not hold.
static bool ReadExtension(HeadPart *part, FileError *error)
{
    int64_t before_table = part->info.length - kTrailerSize - PartTableSize(&part->trailer);
    unsigned char bytes[kMaxExtensionSize];
    if (before_table < kExtensionFooterSize ||
        !ReadAt(&part->file, before_table - kExtensionFooterSize, bytes, kExtensionFooterSize, error))
        return false;
    int64_t length = ExtensionLength(bytes);
    if (length < 0 || length > before_table ||
        !ReadAt(&part->file, before_table - length, bytes, length, error))
        return false;
    part->trailer.extension_length = length;
    return DecodeExtension(bytes, length, &part->extension);
}

HeadState ReadHeadPart(HeadPart *part, FileError *error)
{
    FileError ignored;  // where the caller wants no reason, the steps still need one
    if (!error) {
        ClearError(&ignored);
        error = &ignored;
    }
    part->stem[0] = part->output[0] = 0;
    part->head_data = part->table_at = 0;
    ClearExtension(&part->extension);
    if (part->info.length < kTrailerSize)
        return kHeadTooShort;
    // A head part that is a Windows program recorded a Windows path, which
    // a join on Linux reads as Windows would.
    unsigned char magic[2] = {0, 0};
    part->dos_paths = kDosPaths || (ReadAt(&part->file, 0, magic, 2, 0) && magic[0] == 'M' &&
                                    magic[1] == 'Z');
    if (!ReadTrailer(&part->file, part->info.length, &part->trailer, error))
        return kHeadUnreadable;
    bool extension_sound = part->trailer.record_version != 3 || !part->trailer.record_intact ||
                           part->trailer.last_part < 0 || ReadExtension(part, error);
    if (HasFailed(error))
        return kHeadUnreadable;
    part->verdict = JudgeTrailer(&part->trailer, part->info.length);
    part->table_at = part->info.length - kTrailerSize - PartTableSize(&part->trailer);
    part->head_data = part->table_at - part->trailer.extension_length - part->trailer.image_size;
    // The whole name, where the trailer could hold only its start.
    const char *name = part->extension.name[0] ? part->extension.name : part->trailer.original_path;
    if (part->verdict.name_readable) {
        StemOf(name, part->stem, part->dos_paths);
        FormatOutputName(part->output, name, part->dos_paths);
    }
    if (!extension_sound)
        part->verdict.state = kTrailerDamaged;
    if (part->verdict.state == kTrailerEmpty)
        return kHeadEmpty;
    if (part->verdict.state == kTrailerDamaged)
        return kHeadDamaged;
    // No Windows name holds a control character: such a name in a Windows
    // set is damage, or a trap for the terminal it would be shown in.
    if ((part->dos_paths && HasControlCharacters(name)) ||
        (part->trailer.record_version >= 2 && !TableChecks(part, error))) {
        part->verdict.state = kTrailerDamaged;
        part->verdict.name_readable = part->verdict.name_readable && !part->dos_paths;
        return HasFailed(error) ? kHeadUnreadable : kHeadDamaged;
    }
    return kHeadSound;
}

void OpenPartTable(PartTable *table, HeadPart *part)
{
    table->part = part;
    table->first = 0;
    table->count = 0;
}

bool RecordedPartCrc(PartTable *table, int64_t index, uint32_t *crc, FileError *error)
{
    int64_t entries = PartTableSize(&table->part->trailer) / kTableEntrySize;
    if (index < 0 || index >= entries)
        return false;
    if (index < table->first || index >= table->first + table->count) {
        int64_t count = entries - index < 1024 ? entries - index : 1024;
        unsigned char bytes[4 * 1024];
        File *head = &table->part->file;
        if (!FileSeek(head, table->part->table_at + index * kTableEntrySize, error))
            return false;
        for (int got = 0; got < count * 4;) {
            int n = FileRead(head, bytes + got, (int)count * 4 - got, error);
            if (n == 0)
                SetError(error, kErrorEndedEarly, "read", head->name);
            if (n <= 0)
                return false;
            got += n;
        }
        for (int i = 0; i < count; i++)
            table->window[i] = ReadUint32(bytes + 4 * i);
        table->first = index;
        table->count = (int)count;
    }
    assert(index >= table->first && index < table->first + table->count);
    *crc = table->window[index - table->first];
    return true;
}
