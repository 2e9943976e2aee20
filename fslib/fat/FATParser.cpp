// The parts of the FAT parser that every width shares: construction, the boot-sector
// checks, sector and cluster reads, the handle table.
#include "fslib/fat/FATParser.h"

#include "common/logger/Logger.h"

CFATParser::CFATParser(CDiskDrive* drive, const uint8_t* bootSector) : CFileSystemParser(drive, bootSector) {
    g_Logger.InfoF("pDiskDrive pointer is -> %u", static_cast<unsigned>(reinterpret_cast<uintptr_t>(drive)));
    m_boot = FATBootSector::Read(ByteView(m_bootSector, sizeof(m_bootSector)));
}

CFATParser::~CFATParser() {
    // Handle records point back at this parser; drop them before the base goes.
    m_handles.clear();
}

int CFATParser::ScanVolume(const ScanSettings& settings) {
    m_contentMatcher = settings.contentMatcher;
    int status = IsUserBreak() ? 0 : ProcessRootDirectory();
    g_Logger.Info(" ----------- Directory and files tree prepared.");
    g_Logger.Info(" ");
    g_Logger.Info(" ----------- Trying to find orphaned folders to the directory tree.");
    g_Logger.Info(" ----------- Actual Build: Function disabled.");
    g_Logger.Info(" ");
    g_Logger.Info(" ----------- Logical disk scanning accomplished.");
    return status;
}

void CFATParser::BeginRecovery(const RecoverySettings& settings) {
    CFileSystemParser::BeginRecovery(settings);
    AllocateCopyBuffer();
}

bool CFATParser::CheckGeometry() {
    const uint64_t driveSectors = m_pDiskDrive ? m_pDiskDrive->TotalSectors() : 0;
    const char* reason =
        BootSectorMissing() ? "no boot sector" : m_boot.CheckGeometry(m_bFsType == FS_FAT32, driveSectors);
    if (reason) {
        g_Logger.ErrorF("Boot sector does not describe a usable FAT volume: %s", reason);
        m_bVolumeUsable = false;
        return false;
    }
    m_dwDiskSectorsPerUnit = m_boot.wBytesPerSector / kSectorSize;
    m_dwClusterSize = uint32_t{m_boot.bSectorsPerCluster} * m_boot.wBytesPerSector;
    return true;
}

bool CFATParser::BootSectorMissing() const {
    for (uint8_t b : m_bootSector)
        if (b != 0) return false;
    return true;
}

bool CFATParser::ReadBootUnits(uint64_t sector, uint64_t count, uint8_t* buffer) {
    if (!m_pDiskDrive) return false;
    // Reads go in pieces so that a huge count never overflows the drive's 32-bit count.
    constexpr uint64_t kChunk = 0x10000;  // disk sectors per read
    uint64_t first = sector * m_dwDiskSectorsPerUnit;
    uint64_t total = count * m_dwDiskSectorsPerUnit;
    bool allRead = true;
    for (uint64_t done = 0; done < total;) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kChunk, total - done));
        uint32_t bad = 0;
        if (m_pDiskDrive->ReadSectorsSafe(first + done, buffer + done * kSectorSize, n, &bad) != 1) allRead = false;
        done += n;
    }
    return allRead;
}

int CFATParser::ReadClusters(uint32_t cluster, uint32_t count, uint8_t* buffer) {
    if (cluster < 2 || m_dwClusterSize == 0) return kSeekFailed;
    const uint64_t perCluster = uint64_t{m_boot.bSectorsPerCluster} * m_dwDiskSectorsPerUnit;
    const uint64_t first = (uint64_t{cluster} - 2) * perCluster;
    const uint64_t total = uint64_t{count} * perCluster;
    constexpr uint64_t kChunk = 0x10000;
    int rc = 1;
    for (uint64_t done = 0; done < total;) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kChunk, total - done));
        uint32_t bad = 0;
        int r = ReadVolumeSectorsSafe(first + done, buffer + done * kSectorSize, n, &bad);
        if (r != 1) rc = r;
        done += n;
    }
    return rc;
}

CFATHandle* CFATParser::GetFATHandle(uint32_t handle) { return static_cast<CFATHandle*>(GetHandleObject(handle)); }

uint32_t CFATParser::AppendHandle(std::unique_ptr<CFATHandle> handle) {
    try {
        m_handles.emplace_back(std::move(handle));
    } catch (...) {
        g_Logger.Error("EXCEPTION WHILE INSERTING FILE RECORD");
        return INVALID_HANDLE;
    }
    return static_cast<uint32_t>(m_handles.size() - 1);
}

void CFATParser::CloseFile(uint32_t handle) {
    CFATHandle* h = GetFATHandle(handle);
    if (!h) {
        LOGGER_ASSERT(!"CFATParser::CloseFile() - invalid handle value");
        return;
    }
    // The FAT parser releases at once, whatever the count says.
    if (h->dwRefCount) --h->dwRefCount;
    FreeHandle(handle);
}

uint32_t CFATParser::OpenDirectory(uint32_t hParent, const char* name) { return FindFile(hParent, name, TRUE); }

int CFATParser::CloseFindContext(const FindContext&) { return 0; }

void CFATParser::AllocateCopyBuffer() {
    constexpr uint32_t kCopyBufferClusters = 500;
    m_copyBuffer.clear();
    m_copyBuffer.shrink_to_fit();
    m_dwCopyBufferSize = 0;
    try {
        m_copyBuffer.assign(size_t{m_dwClusterSize} * kCopyBufferClusters, 0);
        m_dwCopyBufferSize = static_cast<uint32_t>(m_copyBuffer.size());
    } catch (...) {
        g_Logger.Error("Unable to allocate memory for copy buffer");
    }
}
