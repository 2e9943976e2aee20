// Which partition table a disk holds, and the bounds every table must keep.
#include "fslib/disk/PartitionTable.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "fslib/disk/DiskDrive.h"

namespace {

constexpr uint32_t kGptHeaderSector = 1;
constexpr size_t kGptSignatureOffset = 0;
constexpr char kGptSignature[] = "EFI PART";

std::string Sectors(uint64_t first, uint64_t count) {
    char text[64];
    std::snprintf(text, sizeof text, "sectors %llu-%llu", static_cast<unsigned long long>(first),
                  static_cast<unsigned long long>(first + count - 1));
    return text;
}

// A disk without a usable MBR may still carry a GPT (its protective MBR wiped).
bool HasGptSignature(CDiskDrive* drive) {
    uint8_t sector[kSectorSize];
    uint32_t read = 0;
    if (drive->TotalSectors() <= kGptHeaderSector || drive->ReadSectors(kGptHeaderSector, sector, 1, &read) != 1 ||
        read != 1)
        return false;
    return std::memcmp(sector + kGptSignatureOffset, kGptSignature, 8) == 0;
}

}  // namespace

uint32_t PartitionU32(const uint8_t* b) {
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
           (static_cast<uint32_t>(b[3]) << 24);
}

uint64_t PartitionU64(const uint8_t* b) {
    return static_cast<uint64_t>(PartitionU32(b)) | (static_cast<uint64_t>(PartitionU32(b + 4)) << 32);
}

const char* PartitionSchemeName(PartitionScheme scheme) {
    switch (scheme) {
        case PartitionScheme::Mbr: return "MBR";
        case PartitionScheme::Gpt: return "GPT";
        default: return "";
    }
}

bool CheckPartitionBounds(PartitionTable* table, uint64_t firstUsable, uint64_t lastUsable) {
    std::vector<const PartitionEntry*> byStart;
    for (const auto& e : table->entries) {
        // A count of 0 cannot come from the readers, and start + count - 1 must not wrap.
        if (e.sectorCount == 0 || e.firstSector < firstUsable || e.firstSector > lastUsable ||
            e.sectorCount - 1 > lastUsable - e.firstSector) {
            table->error =
                "partition " + std::to_string(e.number) + " (" +
                (e.sectorCount ? Sectors(e.firstSector, e.sectorCount) : "sector " + std::to_string(e.firstSector)) +
                ") lies outside the disk (" + Sectors(firstUsable, lastUsable - firstUsable + 1) + " usable)";
            table->entries.clear();
            return false;
        }
        byStart.push_back(&e);
    }
    std::sort(byStart.begin(), byStart.end(),
              [](const PartitionEntry* a, const PartitionEntry* b) { return a->firstSector < b->firstSector; });
    for (size_t i = 1; i < byStart.size(); ++i) {
        const PartitionEntry* a = byStart[i - 1];
        const PartitionEntry* b = byStart[i];
        if (a->firstSector + a->sectorCount > b->firstSector) {
            table->error = "partitions " + std::to_string(a->number) + " (" + Sectors(a->firstSector, a->sectorCount) +
                           ") and " + std::to_string(b->number) + " (" + Sectors(b->firstSector, b->sectorCount) +
                           ") overlap";
            table->entries.clear();
            return false;
        }
    }
    return true;
}

PartitionTable ReadPartitionTable(CDiskDrive* drive) {
    PartitionTable mbr = ReadMbrTable(drive);
    // A protective MBR hands over to the GPT; so does a missing MBR over a GPT header.
    if (mbr.protectiveMbr || (mbr.scheme == PartitionScheme::None && HasGptSignature(drive)))
        return ReadGptTable(drive);
    return mbr;
}
