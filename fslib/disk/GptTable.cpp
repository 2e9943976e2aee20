// GUID partition table: a header at sector 1 (and its backup, normally at the last
// sector) with CRC-32s over itself and over the array of partition entries it points to.
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fslib/disk/DiskDrive.h"
#include "fslib/disk/PartitionTable.h"
#include "platform/Text.h"

namespace {

constexpr uint64_t kPrimaryHeaderSector = 1;
constexpr char kSignature[] = "EFI PART";
constexpr size_t kHeaderSizeOffset = 12;
constexpr size_t kHeaderCrcOffset = 16;
constexpr size_t kMyLbaOffset = 24;
constexpr size_t kAlternateLbaOffset = 32;
constexpr size_t kFirstUsableOffset = 40;
constexpr size_t kLastUsableOffset = 48;
constexpr size_t kEntriesLbaOffset = 72;
constexpr size_t kEntryCountOffset = 80;
constexpr size_t kEntrySizeOffset = 84;
constexpr size_t kEntriesCrcOffset = 88;
constexpr uint32_t kMinHeaderSize = 92;
constexpr uint32_t kMinEntrySize = 128;
constexpr uint32_t kMaxEntrySize = 4096;
// Entry fields.
constexpr size_t kTypeGuidOffset = 0;
constexpr size_t kFirstLbaOffset = 32;
constexpr size_t kLastLbaOffset = 40;
constexpr size_t kNameOffset = 56;
constexpr size_t kNameBytes = 72;  // 36 UTF-16 code units

struct Header {
    uint64_t alternate = 0;
    uint64_t firstUsable = 0;
    uint64_t lastUsable = 0;
    uint64_t entriesLba = 0;
    uint32_t entryCount = 0;
    uint32_t entrySize = 0;
    uint32_t entriesCrc = 0;
};

const std::array<uint32_t, 256>& CrcTable() {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) c = CrcTable()[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// Validates the header read from sector `lba` of a disk of `total` sectors; the reason
// in *why when it is refused.
bool ParseHeader(const uint8_t* sector, uint64_t lba, uint64_t total, Header* h, std::string* why) {
    if (std::memcmp(sector, kSignature, 8) != 0) return *why = "no signature", false;
    const uint32_t size = PartitionU32(sector + kHeaderSizeOffset);
    if (size < kMinHeaderSize || size > kSectorSize) return *why = "header size " + std::to_string(size), false;
    uint8_t copy[kSectorSize];
    std::memcpy(copy, sector, size);
    std::memset(copy + kHeaderCrcOffset, 0, 4);
    if (Crc32(copy, size) != PartitionU32(sector + kHeaderCrcOffset)) return *why = "header checksum mismatch", false;
    if (PartitionU64(sector + kMyLbaOffset) != lba) return *why = "header names another sector as its own", false;
    h->alternate = PartitionU64(sector + kAlternateLbaOffset);
    h->firstUsable = PartitionU64(sector + kFirstUsableOffset);
    h->lastUsable = PartitionU64(sector + kLastUsableOffset);
    h->entriesLba = PartitionU64(sector + kEntriesLbaOffset);
    h->entryCount = PartitionU32(sector + kEntryCountOffset);
    h->entrySize = PartitionU32(sector + kEntrySizeOffset);
    h->entriesCrc = PartitionU32(sector + kEntriesCrcOffset);
    if (h->firstUsable < 2 || h->firstUsable > h->lastUsable || h->lastUsable >= total)
        return *why = "usable sectors " + std::to_string(h->firstUsable) + "-" + std::to_string(h->lastUsable) +
                      " outside the disk",
               false;
    if (h->entrySize < kMinEntrySize || h->entrySize > kMaxEntrySize || h->entrySize % 8 != 0)
        return *why = "entry size " + std::to_string(h->entrySize), false;
    if (h->entryCount == 0 || h->entryCount > kMaxGptEntries)
        return *why = std::to_string(h->entryCount) + " entries", false;
    const uint64_t sectors = (uint64_t{h->entryCount} * h->entrySize + kSectorSize - 1) / kSectorSize;
    if (h->entriesLba < 1 || h->entriesLba >= total || sectors > total - h->entriesLba)
        return *why = "entry array outside the disk", false;
    return true;
}

std::string GuidText(const uint8_t* g) {
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", PartitionU32(g),
                  g[4] | (g[5] << 8), g[6] | (g[7] << 8), g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
    return text;
}

const char* TypeName(const std::string& guid) {
    static const struct {
        const char* guid;
        const char* name;
    } kTypes[] = {
        {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "Basic data"},
        {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI System"},
        {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "Microsoft reserved"},
        {"DE94BBA4-06D1-4D40-A16A-BFD50179D6AC", "Windows recovery"},
        {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Linux filesystem"},
        {"0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", "Linux swap"},
        {"E6D6D379-F507-44C2-A23C-238F2A3DF928", "Linux LVM"},
        {"21686148-6449-6E6F-744E-656564454649", "BIOS boot"},
    };
    for (const auto& t : kTypes)
        if (guid == t.guid) return t.name;
    return "Unknown";
}

// UTF-16LE name, up to its first NUL, as UTF-8; unpaired surrogates become U+FFFD.
std::string NameText(const uint8_t* bytes) {
    std::u16string units;
    for (size_t i = 0; i + 1 < kNameBytes; i += 2) {
        const char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0) break;
        units += c;
    }
    auto high = [](char16_t c) { return c >= 0xD800 && c <= 0xDBFF; };
    auto low = [](char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; };
    for (size_t i = 0; i < units.size(); ++i) {
        if (high(units[i]) && i + 1 < units.size() && low(units[i + 1])) {
            ++i;
        } else if (high(units[i]) || low(units[i])) {
            units[i] = u'\uFFFD';
        }
    }
    return platform::Utf16ToUtf8(units);
}

// Reads and checks the header at `lba` and its entry array.
bool ReadCopy(CDiskDrive* drive, uint64_t lba, Header* h, std::vector<uint8_t>* entries, std::string* why) {
    const uint64_t total = drive->TotalSectors();
    uint8_t sector[kSectorSize];
    uint32_t read = 0;
    if (lba >= total || drive->ReadSectors(lba, sector, 1, &read) != 1 || read != 1) return *why = "unreadable", false;
    if (!ParseHeader(sector, lba, total, h, why)) return false;
    const size_t bytes = size_t{h->entryCount} * h->entrySize;
    const auto sectors = static_cast<uint32_t>((bytes + kSectorSize - 1) / kSectorSize);
    entries->assign(size_t{sectors} * kSectorSize, 0);
    if (drive->ReadSectors(h->entriesLba, entries->data(), sectors, &read) != 1 || read != sectors)
        return *why = "entry array unreadable", false;
    if (Crc32(entries->data(), bytes) != h->entriesCrc) return *why = "entry array checksum mismatch", false;
    return true;
}

}  // namespace

PartitionTable ReadGptTable(CDiskDrive* drive) {
    PartitionTable table;
    table.scheme = PartitionScheme::Gpt;
    const uint64_t total = drive->TotalSectors();
    if (total < 3) {
        table.error = "GPT: the disk is too small to hold one";
        return table;
    }
    Header h;
    std::vector<uint8_t> entries;
    std::string primaryWhy;
    if (!ReadCopy(drive, kPrimaryHeaderSector, &h, &entries, &primaryWhy)) {
        // The backup sits where the primary says, and by convention at the last sector;
        // a damaged primary cannot be trusted to say, so the last sector is tried first.
        std::string backupWhy;
        uint64_t backup = total - 1;
        bool found = ReadCopy(drive, backup, &h, &entries, &backupWhy);
        if (!found) {
            table.error = "GPT: the primary header at sector 1 (" + primaryWhy + ") and the backup header at sector " +
                          std::to_string(backup) + " (" + backupWhy + ") are both damaged";
            return table;
        }
        table.note = "GPT: the primary header at sector 1 is damaged (" + primaryWhy + "); the backup at sector " +
                     std::to_string(backup) + " was used";
    }
    uint32_t number = 0;
    for (uint32_t i = 0; i < h.entryCount; ++i) {
        const uint8_t* e = entries.data() + size_t{i} * h.entrySize;
        static const uint8_t kZero[16] = {};
        if (std::memcmp(e + kTypeGuidOffset, kZero, 16) == 0) continue;
        const uint64_t first = PartitionU64(e + kFirstLbaOffset);
        const uint64_t last = PartitionU64(e + kLastLbaOffset);
        ++number;
        if (last < first) {
            table.entries.clear();
            table.error = "GPT: partition " + std::to_string(number) + " ends (sector " + std::to_string(last) +
                          ") before it starts (sector " + std::to_string(first) + ")";
            return table;
        }
        PartitionEntry entry;
        entry.number = number;
        entry.firstSector = first;
        entry.sectorCount = last - first + 1;  // wraps to 0 only for the whole 64-bit range, refused below
        entry.type = GuidText(e + kTypeGuidOffset);
        entry.typeName = TypeName(entry.type);
        entry.name = NameText(e + kNameOffset);
        table.entries.push_back(std::move(entry));
    }
    CheckPartitionBounds(&table, h.firstUsable, h.lastUsable);
    if (!table.error.empty()) table.error = "GPT: " + table.error;
    return table;
}
