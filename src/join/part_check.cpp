#include "join/part_check.h"

#include <string.h>

#include "format/copy.h"
#include "format/crc32.h"
#include "format/part_names.h"
#include "join/part_set.h"

// Reads count bytes of from, to nowhere, for their CRC-32.
static bool ReadCrc(FileHandle from, int64_t count, uint32_t *crc, Progress *progress)
{
    unsigned char buffer[64 * 1024];
    while (count > 0) {
        int want = count < (int64_t)sizeof buffer ? (int)count : (int)sizeof buffer;
        int got = FileRead(from, buffer, want);
        if (got <= 0) {
            if (got == 0)
                SetFileError(kErrorEndedEarly, "read");
            return false;
        }
        *crc = Crc32Update(*crc, buffer, (size_t)got);
        count -= got;
        if (!ProgressStep(progress, got))
            return false;
    }
    return true;
}

// Judges one part's bytes against the table, where the set has one.
static void JudgeCrc(PartTable *table, const PartSet *set, uint32_t crc, PartReport *part,
                     char holds_name[kPathSize])
{
    uint32_t recorded;
    if (set->trailer.record_version != 2 || !RecordedPartCrc(table, part->index, &recorded) ||
        crc == recorded)
        return;
    part->holds = PartWithCrc(table, crc, part->index);
    part->state = part->holds >= 0 && part->index != 0 ? kPartSwapped : kPartDamaged;
    if (part->state == kPartSwapped)
        FormatPartName(holds_name, set->base, part->holds);
}

CheckResult CheckParts(const Folder *folder, const char *head_path,
                       void (*report)(void *context, const PartReport *part), void *context,
                       Progress *progress)
{
    CheckResult result;
    memset(&result, 0, sizeof result);
    PartSet set;
    FileHandle head = FileOpenRead(0, head_path);
    result.readable = head != kNoFile && ReadPartSet(head, &set) && set.verdict.state == kTrailerSound;
    result.error = LastFileError();
    if (!result.readable) {
        if (head != kNoFile)
            FileClose(head);
        return result;
    }
    result.record_version = set.trailer.record_version;
    result.parts = (int64_t)set.trailer.last_part + 1;
    if (progress)
        progress->total = OriginalSize(&set.trailer);
    PartTable table;
    OpenPartTable(&table, head, &set);
    Census census = TakeCensus(&set, folder);
    Crc32Joiner joiner = {0, {0}};
    uint32_t whole = 0;
    bool all_read = true;
    int64_t k = 0;  // the census's next slice
    for (int64_t index = 0; index < result.parts; index++) {
        char name[kPathSize], holds_name[kPathSize] = "";
        FormatPartName(name, set.base, index);
        PartReport part = {name, holds_name, index, kPartSound, -1, -1, -1, {0, 0}};
        FileHandle file = kNoFile;
        int64_t length = set.head_data;
        if (index == 0) {
            file = head;
            if (!FileSeek(head, set.trailer.image_size))
                part.state = kPartUnreadable;
        } else {
            while (k < census.count && census.slices[k].index < index)
                k++;
            bool found = k < census.count && census.slices[k].index == index && census.slices[k].is_file;
            file = found ? FileOpenRead(folder, name) : kNoFile;
            length = file == kNoFile ? -1 : FileLength(file);
            part.length = length;
            part.expected = ExpectedSliceLength(&set, index);
            if (!found)
                part.state = kPartMissing;
            else if (file == kNoFile)
                part.state = kPartUnreadable;
            else if (part.expected >= 0 && length != part.expected)
                part.state = kPartWrongLength;
            else if (part.expected < 0 && census.fault == kSliceDamaged && census.fault_index == index)
                part.state = kPartWrongLength;  // by the rules of a set without a record
        }
        uint32_t crc = 0;
        if (part.state == kPartSound && !ReadCrc(file, length, &crc, progress))
            part.state = kPartUnreadable;
        if (part.state == kPartSound) {
            JudgeCrc(&table, &set, crc, &part, holds_name);
            whole = Crc32Combine(whole, crc, length, &joiner);
        } else {
            all_read = false;
        }
        if (part.state == kPartUnreadable)
            part.error = LastFileError();
        if (file != kNoFile && file != head)
            FileClose(file);
        result.sound += part.state == kPartSound;
        report(context, &part);
    }
    result.whole_matches = all_read && (!set.trailer.has_record || whole == set.trailer.crc);
    FreeCensus(&census);
    FileClose(head);
    return result;
}
