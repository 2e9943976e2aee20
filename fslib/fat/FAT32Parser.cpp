// FAT32 volumes: two FAT copies in memory, the root directory as a cluster chain,
// 28-bit cluster numbers split over two entry fields.
#include "common/logger/Logger.h"
#include "fslib/fat/FATDirEntry.h"
#include "fslib/fat/FATParser.h"
#include "fslib/fat/FATTable.h"

namespace {
constexpr uint32_t kFat32Limit = 0x0FFFFFFF;
constexpr uint32_t kClusterMask = 0x0FFFFFFF;
constexpr int kPrepareUnusable = 2;
constexpr int kPrepareNoMemory = 3;
}  // namespace

CFAT32Parser::CFAT32Parser(CDiskDrive* drive, const uint8_t* bootSector, int /*third*/)
    : CFATParser(drive, bootSector) {
    m_bFsType = FS_FAT32;
    m_fFatEntryWidth = 4.0f;
    m_dwClusterLimit = kFat32Limit;
    PrepareVolume();
    OpenRootAndLog();
}

int CFAT32Parser::PrepareVolume() {
    if (!CheckGeometry()) return kPrepareUnusable;
    const uint32_t bps = m_boot.wBytesPerSector;
    m_dwFatSize = static_cast<uint32_t>(uint64_t{m_boot.dwSectorsPerFat32} * bps);
    m_dwClusterLimit = kFat32Limit;
    m_dwFatEntryCount = m_dwFatSize / 4;
    try {
        m_fatBuffer.assign(m_dwFatSize, 0);
    } catch (...) {
        g_Logger.Error("Unable to allocate memory for FAT TABLE");
        m_bVolumeUsable = false;
        return kPrepareNoMemory;
    }
    ReadBootUnits(m_boot.wReservedSectors, m_boot.dwSectorsPerFat32, m_fatBuffer.data());
    m_pFatTable = m_fatBuffer.data();
    // With a single FAT there is no second copy: what follows the first FAT is data.
    m_pSecondFat = m_pFatTable;
    if (m_boot.bNumberOfFats >= 2) {
        try {
            m_secondFatBuffer.assign(m_dwFatSize, 0);
            ReadBootUnits(uint64_t{m_boot.wReservedSectors} + m_boot.dwSectorsPerFat32, m_boot.dwSectorsPerFat32,
                          m_secondFatBuffer.data());
            m_pSecondFat = m_secondFatBuffer.data();
        } catch (...) {
            g_Logger.Error("Unable to allocate memory for FAT TABLE");
        }
    }
    const uint64_t dataStart = m_boot.wReservedSectors + uint64_t{m_boot.bNumberOfFats} * m_boot.dwSectorsPerFat32;
    m_dwFirstSector = static_cast<uint32_t>(dataStart * m_dwDiskSectorsPerUnit);
    m_nTotalSectors = m_boot.TotalSectors();
    m_nVolumeSize = m_nTotalSectors * bps;
    m_dwLastCluster = m_boot.LastCluster(dataStart);

    g_Logger.Info("volume parameters:");
    g_Logger.InfoF("    FAT size: %u bytes", m_dwFatSize);
    g_Logger.InfoF("    data start: sector %u", static_cast<unsigned>(dataStart));
    g_Logger.InfoF("    disk size: %u sectors", static_cast<unsigned>(m_nTotalSectors));
    g_Logger.InfoF("    root cluster: %u", m_boot.dwRootCluster);
    return 0;
}

uint32_t CFAT32Parser::OpenRootDirectory() {
    m_dwRootCluster = m_boot.dwRootCluster;
    if (!m_bVolumeUsable) return INVALID_HANDLE;
    auto handle = std::make_unique<CFATHandle>();
    handle->bHasData = TRUE;
    FATFileRecord record;
    record.pParser = this;
    // A stand-in entry: "." with first cluster 1, a directory.
    std::fill(std::begin(record.entry), std::begin(record.entry) + 11, static_cast<uint8_t>(' '));
    record.entry[0] = '.';
    record.entry[fatdir::kAttributes] = fatdir::kAttrDirectory;
    record.entry[fatdir::kClusterLow] = 1;
    g_Logger.Info("reading root directory...");
    bool ok = m_dwRootCluster >= 2 && m_dwRootCluster < m_dwClusterLimit;
    if (ok) {
        uint64_t clusters = 0;
        BuildRunList(m_dwRootCluster, &record.runs, nullptr, &clusters);
        // The root is a directory like any other: no more than the directory limit is read.
        uint64_t budget = kFatMaxDirectoryBytes / m_dwClusterSize;
        if (budget == 0) budget = 1;
        uint64_t kept = 0;
        for (size_t i = 0; i < record.runs.size(); ++i) {
            if (kept + record.runs[i].nClusterCount > budget) {
                record.runs[i].nClusterCount = budget - kept;
                record.runs.resize(record.runs[i].nClusterCount ? i + 1 : i);
                g_Logger.Error("root directory is larger than 10 MiB, the rest is not read");
                break;
            }
            kept += record.runs[i].nClusterCount;
        }
        record.nAllocatedSize = kept * m_dwClusterSize;
        ok = ReadDataStream(record, &handle->data) == 0;
    }
    if (!ok) {
        g_Logger.Error("error reading root directory, return -1");
        return INVALID_HANDLE;
    }
    g_Logger.Info("ok");
    return AppendHandle(std::move(handle));
}

uint32_t CFAT32Parser::GetFATEntry(ByteView table, uint32_t cluster) const {
    return fattable::Fat32Entry(table, cluster);
}

uint32_t CFAT32Parser::GetFirstCluster(ByteView entry) const {
    return ((uint32_t{entry.U16(fatdir::kClusterHigh)} << 16) | entry.U16(fatdir::kClusterLow)) & kClusterMask;
}
