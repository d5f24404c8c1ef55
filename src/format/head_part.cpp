#include "format/head_part.h"

#include <assert.h>

#include "transfer/copy.h"
#include "math/erasure.h"
#include "format/part_names.h"
#include "platform/text.h"

// Whether the part table's bytes match the CRC-32 the record gives them.
static bool TableChecks(HeadPart *part, FileError *error)
{
    uint32_t crc = 0;
    int64_t length = PartTableSize(&part->trailer);
    return ChecksumAt(&part->file, part->table_at, length, &crc, 0, error) == kCopied &&
           crc == part->trailer.table_crc;
}

// Reads and judges the description that ends at end in part->file: the
// extension, part table and trailer.  head_data < 0: it is the head part's
// own end, and its stretch is what the rest leaves; else it is a recovery
// part's copy, and the head part had a stretch of head_data bytes.
static HeadState ReadDescription(HeadPart *part, int64_t end, int64_t head_data, FileError *error)
{
    FileError ignored = FileError();  // where the caller wants no reason, the steps still need one
    error = error ? error : &ignored;
    part->stem[0] = part->output[0] = 0;
    part->head_data = part->table_at = 0;
    ClearExtension(&part->extension);
    if (end < kTrailerSize)
        return kHeadTooShort;
    unsigned char bytes[kTrailerSize];
    if (!FileReadAt(&part->file, end - kTrailerSize, bytes, kTrailerSize, error))
        return kHeadUnreadable;
    DecodeTrailer(bytes, &part->trailer);
    PartSetTrailer &trailer = part->trailer;
    part->table_at = end - kTrailerSize - PartTableSize(&trailer);
    // A version 3 head part's extension ends where the table starts.
    bool extension_sound = trailer.record_version != 3 || !trailer.record_intact || trailer.last_part < 0 ||
                           ReadExtension(&part->file, part->table_at, &part->extension, &trailer.extension_length,
                                         error);
    if (HasFailed(error))
        return kHeadUnreadable;
    // The head part's stretch ends where the extension starts; the head
    // part's length is what the trailer is judged against.
    int64_t stretch_end = part->table_at - trailer.extension_length;
    part->head_data = head_data >= 0 ? head_data : stretch_end - trailer.image_size;
    part->verdict = JudgeTrailer(&trailer, trailer.image_size + part->head_data + (end - stretch_end));
    // The whole name, where the trailer could hold only its start.
    const char *name = part->extension.name[0] ? part->extension.name : trailer.original_path;
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
    // A set with recovery parts is what the recovery code can work on, as
    // a recovery part's header must be: blocks of whole 16-bit words as
    // long as a slice, the head part's stretch no longer, and no more parts
    // than the code has numbers for.  Else the arithmetic runs past them.
    if (part->extension.recovery_count > 0 &&
        (!trailer.has_record || trailer.slice_length < 2 || trailer.slice_length % 2 != 0 ||
         part->head_data > (int64_t)trailer.slice_length || trailer.last_part >= kMaxDataParts)) {
        part->verdict.state = kTrailerDamaged;
        return kHeadDamaged;
    }
    // No Windows name holds a control character: such a name in a Windows
    // set is damage, or a trap for the terminal it would be shown in.
    if ((part->dos_paths && HasControlCharacters(name)) ||
        (trailer.record_version >= 2 && !TableChecks(part, error))) {
        part->verdict.state = kTrailerDamaged;
        part->verdict.name_readable = part->verdict.name_readable && !part->dos_paths;
        return HasFailed(error) ? kHeadUnreadable : kHeadDamaged;
    }
    return kHeadSound;
}

HeadState ReadHeadPart(HeadPart *part, FileError *error)
{
    // A head part that is a Windows program recorded a Windows path, which
    // a join on Linux reads as Windows would.
    unsigned char magic[2] = {0, 0};
    part->windows_program = FileReadAt(&part->file, 0, magic, 2, 0) && magic[0] == 'M' && magic[1] == 'Z';
    part->dos_paths = kDosPaths || part->windows_program;
    return ReadDescription(part, part->info.length, -1, error);
}

HeadState ReadRecoveryPart(HeadPart *part, RecoveryHeader *header, FileError *error)
{
    FileError ignored = FileError();  // where the caller wants no reason, the steps still need one
    error = error ? error : &ignored;
    if (!ReadRecoveryHeader(&part->file, part->info.length, header, error))
        return HasFailed(error) ? kHeadUnreadable : kHeadDamaged;
    part->windows_program = (header->flags & kRecoveryWindowsHead) != 0;
    part->dos_paths = kDosPaths || part->windows_program;
    HeadState state = ReadDescription(part, RecoveryTableAt(header), header->head_data, error);
    // The description must be of a set that has this recovery part, checked
    // in the stretches the header says, with a checksum for each of every
    // part's.
    int64_t stretch = header->version == 1 ? 0 : header->stretch_length;
    if (state == kHeadSound &&
        (part->extension.recovery_count != header->count || part->trailer.slice_length != header->block_length ||
         part->extension.stretch_length != stretch ||
         (stretch && header->table_length != StretchTableLength(part->trailer.last_part + 1, header->count,
                                                                header->block_length, stretch))))
        state = kHeadDamaged;
    return state;
}

bool IsAHeadPart(const char *path)
{
    HeadPart head;
    if (!FileOpenRead(0, path, &head.file, 0, &head.info))
        return false;
    bool sound = ReadHeadPart(&head, 0) == kHeadSound;
    FileClose(&head.file, 0);
    return sound;
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
        if (!FileReadAt(&table->part->file, table->part->table_at + index * kTableEntrySize, table->window,
                        count * kTableEntrySize, error))
            return false;
        table->first = index;
        table->count = (int)count;
    }
    assert(index >= table->first && index < table->first + table->count);
    *crc = ReadUint32(table->window + (index - table->first) * kTableEntrySize);
    return true;
}
