// The partition table of a whole disk (MBR with its extended chain, or GPT), read
// through a CDiskDrive so it works over every kind of source. A table that points
// outside the disk, overlaps itself or loops is refused as a whole: the disk is then
// offered as one volume, with the reason kept for the user.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CDiskDrive;

enum class PartitionScheme { None, Mbr, Gpt };

struct PartitionEntry {
    uint32_t number = 0;       // 1, 2, ... in table order (logical partitions after the primaries)
    uint64_t firstSector = 0;  // 512-byte sectors from the start of the disk
    uint64_t sectorCount = 0;
    std::string type;      // "0x07" for MBR, the type GUID for GPT
    std::string typeName;  // a short description of the type ("NTFS/exFAT", "Linux filesystem", ...)
    std::string name;      // GPT partition name (UTF-8); empty for MBR
};

struct PartitionTable {
    PartitionScheme scheme = PartitionScheme::None;
    std::vector<PartitionEntry> entries;  // empty when none was found or it was refused
    std::string error;                    // why a table that is there was refused
    std::string note;                     // something the reader worked around (backup GPT used)
    bool protectiveMbr = false;           // an MBR whose 0xEE entry says a GPT follows
};

// Bounds on what a hostile table can make the reader do.
constexpr uint32_t kMaxLogicalPartitions = 128;
constexpr uint32_t kMaxGptEntries = 1024;

// Scheme names for messages and listings ("MBR", "GPT", "").
const char* PartitionSchemeName(PartitionScheme scheme);

// Reads the table at the start of the disk. scheme None with an empty error: no table.
PartitionTable ReadPartitionTable(CDiskDrive* drive);

// The two readers ReadPartitionTable chooses between (also used on their own by tests).
PartitionTable ReadMbrTable(CDiskDrive* drive);
PartitionTable ReadGptTable(CDiskDrive* drive);

// Refuses the table when an entry lies outside [firstUsable, lastUsable] or two entries
// overlap; sets table->error and clears the entries. true when the table stands.
bool CheckPartitionBounds(PartitionTable* table, uint64_t firstUsable, uint64_t lastUsable);

// Little-endian fields of a table sector.
uint32_t PartitionU32(const uint8_t* bytes);
uint64_t PartitionU64(const uint8_t* bytes);
