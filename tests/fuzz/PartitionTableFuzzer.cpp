// The partition table readers over a hostile disk: whatever the MBR, extended chain or
// GPT says, the table that comes back lies inside the disk, without overlaps, within
// the bounds on logical partitions and GPT entries, numbered 1, 2, ... in order.
#include <algorithm>
#include <memory>
#include <vector>

#include "fslib/disk/MemoryDrive.h"
#include "fslib/disk/PartitionTable.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 512 || size > fuzz::kMaxImageBytes) return -1;
    std::vector<uint8_t> boot;
    std::unique_ptr<CMemoryDrive> drive(fuzz::MakeDrive(data, size, &boot));
    const uint64_t total = drive->TotalSectors();
    const PartitionTable table = ReadPartitionTable(drive.get());
    FUZZ_CHECK(table.entries.empty() || table.error.empty());
    FUZZ_CHECK(table.entries.size() <= 4 + kMaxLogicalPartitions || table.scheme == PartitionScheme::Gpt);
    FUZZ_CHECK(table.entries.size() <= kMaxGptEntries);
    std::vector<std::pair<uint64_t, uint64_t>> spans;
    for (size_t i = 0; i < table.entries.size(); ++i) {
        const PartitionEntry& e = table.entries[i];
        FUZZ_CHECK(e.number == i + 1);
        FUZZ_CHECK(e.sectorCount > 0);
        FUZZ_CHECK(e.firstSector >= 1 && e.firstSector < total && e.sectorCount <= total - e.firstSector);
        spans.emplace_back(e.firstSector, e.firstSector + e.sectorCount);
    }
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i) FUZZ_CHECK(spans[i - 1].second <= spans[i].first);
    // Each reader on its own keeps the same promises on the bytes the other would skip.
    const PartitionTable gpt = ReadGptTable(drive.get());
    FUZZ_CHECK(gpt.entries.empty() || gpt.error.empty());
    for (const PartitionEntry& e : gpt.entries)
        FUZZ_CHECK(e.firstSector < total && e.sectorCount <= total - e.firstSector);
    return 0;
}
