// FAT12 and FAT16 volumes: one FAT copy in memory, a fixed root directory area between
// the FATs and the data area, 12- and 16-bit FAT entries.
#include "common/logger/Logger.h"
#include "fslib/fat/FATDirEntry.h"
#include "fslib/fat/FATParser.h"
#include "fslib/fat/FATTable.h"

namespace {
constexpr uint32_t kFat12Limit = 0xFF8;
constexpr uint32_t kFat16Limit = 0xFFFF;
constexpr int kPrepareNoFat = 1;
constexpr int kPrepareUnusable = 2;
}  // namespace

CFAT12Parser::CFAT12Parser(CDiskDrive* drive, const uint8_t* bootSector)
    : CFAT12Parser(drive, bootSector, FS_FAT12, 1.5f, kFat12Limit) {
    PrepareVolume();
    OpenRootAndLog();
}

CFAT12Parser::CFAT12Parser(CDiskDrive* drive, const uint8_t* bootSector, uint8_t type, float width, uint32_t limit)
    : CFATParser(drive, bootSector) {
    m_bFsType = type;
    m_fFatEntryWidth = width;
    m_dwClusterLimit = limit;
}

CFAT16Parser::CFAT16Parser(CDiskDrive* drive, const uint8_t* bootSector)
    : CFAT12Parser(drive, bootSector, FS_FAT16, 2.0f, kFat16Limit) {
    PrepareVolume();
    OpenRootAndLog();
}

int CFAT12Parser::PrepareVolume() {
    if (!CheckGeometry()) return kPrepareUnusable;
    const uint32_t bps = m_boot.wBytesPerSector;
    const uint64_t fatSize = uint64_t{m_boot.wSectorsPerFat16} * bps;

    // The layout is worked out even without a FAT, so that the root directory and the
    // clusters are still found.
    const uint64_t dataStart = m_boot.wReservedSectors + uint64_t{m_boot.bNumberOfFats} * m_boot.wSectorsPerFat16 +
                               m_boot.RootDirectorySectors();
    m_dwFirstSector = static_cast<uint32_t>(dataStart * m_dwDiskSectorsPerUnit);
    m_nTotalSectors = m_boot.TotalSectors();
    m_nVolumeSize = m_nTotalSectors * bps;
    m_dwLastCluster = m_boot.LastCluster(dataStart);
    if (fatSize == 0) return kPrepareNoFat;

    m_dwFatSize = static_cast<uint32_t>(fatSize);
    double entries = static_cast<double>(m_dwFatSize) / m_fFatEntryWidth - 2.0;
    m_dwFatEntryCount = entries > 0 ? static_cast<uint32_t>(entries) : 0;
    try {
        m_fatBuffer.assign(m_dwFatSize, 0);
    } catch (...) {
        g_Logger.Error("Unable to allocate memory for FAT TABLE");
        m_dwFatSize = 0;
        m_dwFatEntryCount = 0;
        return kPrepareNoFat;
    }
    ReadBootUnits(m_boot.wReservedSectors, m_boot.wSectorsPerFat16, m_fatBuffer.data());
    m_pFatTable = m_pSecondFat = m_fatBuffer.data();

    g_Logger.Info("volume parameters:");
    g_Logger.InfoF("    FAT size: %u bytes", m_dwFatSize);
    g_Logger.InfoF("    data start: sector %u", static_cast<unsigned>(dataStart));
    g_Logger.InfoF("    disk size: %u sectors", static_cast<unsigned>(m_nTotalSectors));
    g_Logger.InfoF("    root directory size: %u bytes", uint32_t{m_boot.wRootEntries} * kFatDirEntrySize);
    return 0;
}

uint32_t CFAT12Parser::OpenRootDirectory() {
    m_dwRootCluster = 0;
    if (!m_bVolumeUsable) return INVALID_HANDLE;
    auto handle = std::make_unique<CFATHandle>();
    handle->bHasData = TRUE;
    const uint32_t size = uint32_t{m_boot.wRootEntries} * kFatDirEntrySize;
    const uint32_t sectors = m_boot.RootDirectorySectors();
    g_Logger.Info("Reading root directory...");
    try {
        handle->data.assign(uint64_t{sectors} * m_boot.wBytesPerSector, 0);
    } catch (...) {
        g_Logger.Error("Where are no valid sectors in root directory!");
        return INVALID_HANDLE;
    }
    const uint64_t rootSector = m_boot.wReservedSectors + uint64_t{m_boot.bNumberOfFats} * m_boot.wSectorsPerFat16;
    if (sectors != 0 && ReadBootUnits(rootSector, sectors, handle->data.data()))
        g_Logger.Info("Reading FAT - ok");
    else
        g_Logger.Error("Where are no valid sectors in root directory!");
    handle->data.resize(size);
    return AppendHandle(std::move(handle));
}

uint32_t CFAT12Parser::OpenDirectoryByRef(FindContext* ctx) {
    if (!ctx || !GetFATHandle(ctx->hDirectory)) {
        g_Logger.ErrorF("CFAT12Parser::OpenDirectoryByRef() - invalid handle value %u. return -1",
                        ctx ? ctx->hDirectory : INVALID_HANDLE);
        return INVALID_HANDLE;
    }
    ByteView data = DirectoryData(ctx->hDirectory);
    if (ctx->dwPosition == 0) return INVALID_HANDLE;
    size_t pos = ctx->dwPosition - 1;
    ByteView entry = data.Sub(pos, fatdir::kEntrySize);
    if (fatdir::IsLongNameEntry(entry) && entry.U16(fatdir::kClusterLow) == 0) {
        int64_t s = ShortEntryOffset(data, pos);
        if (s < 0) {
            g_Logger.Error("CFAT12Parser::OpenDirectoryByRef() - error reading long name, return -1");
            return INVALID_HANDLE;
        }
        entry = data.Sub(static_cast<size_t>(s), fatdir::kEntrySize);
    }
    // A first cluster of 0 is how ".." of a first-level directory names the root.
    if (!entry.Empty() && GetFirstCluster(entry) == 0) return OpenRootDirectory();
    return CFileSystemParser::OpenDirectoryByRef(ctx);
}

uint32_t CFAT12Parser::GetFATEntry(ByteView table, uint32_t cluster) const {
    return fattable::Fat12Entry(table, cluster);
}

uint32_t CFAT16Parser::GetFATEntry(ByteView table, uint32_t cluster) const {
    return fattable::Fat16Entry(table, cluster);
}

uint32_t CFAT12Parser::GetFirstCluster(ByteView entry) const { return entry.U16(fatdir::kClusterLow); }
