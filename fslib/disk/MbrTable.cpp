// Master boot record: four 16-byte slots at offset 446 and the 0x55AA signature; an
// extended slot starts a chain of extended boot records whose slots hold logical
// partitions (relative to that record) and links to further records (relative to the
// extended partition's start).
#include <cstdio>
#include <set>
#include <vector>

#include "fslib/disk/DiskDrive.h"
#include "fslib/disk/PartitionTable.h"

namespace {

constexpr size_t kSlotsOffset = 446;
constexpr size_t kSlotSize = 16;
constexpr int kSlotCount = 4;
constexpr size_t kSignatureOffset = 510;
constexpr size_t kStatusOffset = 0;  // 0x00 or 0x80 (active)
constexpr size_t kTypeOffset = 4;
constexpr size_t kStartOffset = 8;   // LBA of the first sector, 32 bits
constexpr size_t kCountOffset = 12;  // sectors, 32 bits
constexpr uint8_t kActive = 0x80;
constexpr uint8_t kTypeProtective = 0xEE;

struct Slot {
    uint8_t status = 0;
    uint8_t type = 0;
    uint64_t start = 0;
    uint64_t count = 0;
    bool Used() const { return type != 0 && count != 0; }
};

bool IsExtended(uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

const char* TypeName(uint8_t type) {
    switch (type) {
        case 0x01: return "FAT12";
        case 0x04: return "FAT16 <32M";
        case 0x05: return "Extended";
        case 0x06: return "FAT16";
        case 0x07: return "NTFS/exFAT";
        case 0x0B: return "FAT32";
        case 0x0C: return "FAT32 (LBA)";
        case 0x0E: return "FAT16 (LBA)";
        case 0x0F: return "Extended (LBA)";
        case 0x11: return "Hidden FAT12";
        case 0x14: return "Hidden FAT16 <32M";
        case 0x16: return "Hidden FAT16";
        case 0x17: return "Hidden NTFS/exFAT";
        case 0x1B: return "Hidden FAT32";
        case 0x1C: return "Hidden FAT32 (LBA)";
        case 0x1E: return "Hidden FAT16 (LBA)";
        case 0x27: return "Recovery";
        case 0x82: return "Linux swap";
        case 0x83: return "Linux";
        case 0x85: return "Linux extended";
        case 0x8E: return "Linux LVM";
        case 0xA5: return "FreeBSD";
        case 0xAF: return "HFS/HFS+";
        case 0xEE: return "GPT protective";
        case 0xEF: return "EFI System";
        case 0xFD: return "Linux RAID";
        default: return "Unknown";
    }
}

// The slots of a boot record; false when the sector carries no signature or a slot's
// status byte is neither 0x00 nor 0x80 (boot code or a volume's boot sector, not a table).
bool ParseSlots(const uint8_t* sector, Slot slots[kSlotCount]) {
    if (sector[kSignatureOffset] != 0x55 || sector[kSignatureOffset + 1] != 0xAA) return false;
    for (int i = 0; i < kSlotCount; ++i) {
        const uint8_t* s = sector + kSlotsOffset + i * kSlotSize;
        slots[i].status = s[kStatusOffset];
        if (slots[i].status != 0 && slots[i].status != kActive) return false;
        slots[i].type = s[kTypeOffset];
        slots[i].start = PartitionU32(s + kStartOffset);
        slots[i].count = PartitionU32(s + kCountOffset);
    }
    return true;
}

PartitionEntry MakeEntry(uint32_t number, uint64_t start, uint64_t count, uint8_t type) {
    PartitionEntry e;
    e.number = number;
    e.firstSector = start;
    e.sectorCount = count;
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", type);
    e.type = hex;
    e.typeName = TypeName(type);
    return e;
}

std::string Range(uint64_t first, uint64_t count) {
    return "sectors " + std::to_string(first) + "-" + std::to_string(first + count - 1);
}

PartitionTable Refuse(PartitionTable table, std::string why) {
    table.entries.clear();
    table.error = std::move(why);
    return table;
}

std::string TooManyLogicals() {
    return "MBR: more than " + std::to_string(kMaxLogicalPartitions) + " logical partitions in the extended chain";
}

bool ReadOneSector(CDiskDrive* drive, uint64_t sector, uint8_t* buffer) {
    uint32_t read = 0;
    return sector < drive->TotalSectors() && drive->ReadSectors(sector, buffer, 1, &read) == 1 && read == 1;
}

}  // namespace

PartitionTable ReadMbrTable(CDiskDrive* drive) {
    PartitionTable table;
    uint8_t sector[kSectorSize];
    Slot slots[kSlotCount];
    if (!ReadOneSector(drive, 0, sector) || !ParseSlots(sector, slots)) return table;
    bool any = false;
    for (const Slot& s : slots) any = any || s.Used();
    if (!any) return table;
    table.scheme = PartitionScheme::Mbr;
    for (const Slot& s : slots) {
        if (s.type == kTypeProtective) {
            table.protectiveMbr = true;
            return table;
        }
    }

    const uint64_t total = drive->TotalSectors();
    const Slot* extended = nullptr;
    uint32_t number = 0;
    for (const Slot& s : slots) {
        if (!s.Used()) continue;
        if (IsExtended(s.type)) {
            if (extended) return Refuse(table, "MBR: more than one extended partition");
            extended = &s;
            continue;
        }
        table.entries.push_back(MakeEntry(++number, s.start, s.count, s.type));
    }

    if (extended) {
        const uint64_t extStart = extended->start;
        const uint64_t extEnd = extended->start + extended->count;  // one past the last sector
        if (extStart == 0 || extEnd > total)
            return Refuse(table, "MBR: the extended partition (" + Range(extStart, extended->count) +
                                     ") lies outside the disk (" + std::to_string(total) + " sectors)");
        // Each record may hold several logical partitions and links (DOS-era tools put two
        // logicals and the link in one record), so the chain is a walk over every slot of
        // every record, links followed in slot order.
        std::set<uint64_t> visited;
        std::vector<uint64_t> pending{extStart};
        uint32_t logicals = 0;
        while (!pending.empty()) {
            const uint64_t record = pending.back();
            pending.pop_back();
            if (!visited.insert(record).second)
                return Refuse(table,
                              "MBR: the extended partition chain loops back to sector " + std::to_string(record));
            if (visited.size() > kMaxLogicalPartitions) return Refuse(table, TooManyLogicals());
            Slot ebr[kSlotCount];
            if (!ReadOneSector(drive, record, sector))
                return Refuse(table,
                              "MBR: the extended boot record at sector " + std::to_string(record) + " cannot be read");
            if (!ParseSlots(sector, ebr))
                return Refuse(table,
                              "MBR: the extended boot record at sector " + std::to_string(record) + " is not valid");
            std::vector<uint64_t> links;
            for (const Slot& e : ebr) {
                if (!e.Used()) continue;
                if (IsExtended(e.type)) {
                    const uint64_t next = extStart + e.start;
                    if (next >= extEnd)
                        return Refuse(table, "MBR: the extended chain points to sector " + std::to_string(next) +
                                                 ", outside its extended partition (" +
                                                 Range(extStart, extended->count) + ")");
                    links.push_back(next);
                    continue;
                }
                const uint64_t start = record + e.start;
                if (e.start == 0 || start + e.count > extEnd)
                    return Refuse(table, "MBR: logical partition " + std::to_string(number + 1) + " (" +
                                             Range(start, e.count) + ") lies outside its extended partition (" +
                                             Range(extStart, extended->count) + ")");
                if (++logicals > kMaxLogicalPartitions) return Refuse(table, TooManyLogicals());
                table.entries.push_back(MakeEntry(++number, start, e.count, e.type));
            }
            pending.insert(pending.end(), links.rbegin(), links.rend());
        }
    }
    if (total == 0) return Refuse(table, "MBR: the disk is empty");
    CheckPartitionBounds(&table, 1, total - 1);
    if (!table.error.empty()) table.error = "MBR: " + table.error;
    return table;
}
