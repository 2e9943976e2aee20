#include "fslib/ntfs/NTFSParser.h"

#include <algorithm>
#include <cstring>

#include "common/logger/Logger.h"
#include "fslib/ntfs/Fixups.h"
#include "fslib/ntfs/NTFSHandle.h"
#include "fslib/ntfs/NtfsLayout.h"

namespace {
// Records per batched read: 256 KiB serves 256 records with one device call.
constexpr uint32_t kBatchRecords = 256;

bool SectorsRead(int rc, uint32_t read, uint32_t wanted) { return rc == TRUE && read == wanted; }
}  // namespace

CNTFSParser::CNTFSParser(CDiskDrive* drive, const uint8_t* bootSector) : CFileSystemParser(drive, bootSector) {
    m_bFsType = FS_NTFS;
    PrepareVolume();
    OpenRootAndLog();
}

CNTFSParser::~CNTFSParser() {
    // Handles own records whose temporary copies must go before the base forgets them.
    m_handles.clear();
    m_lpMftSectorsList.clear();
    m_clusterMap.Clear();
}

int CNTFSParser::PrepareVolume() {
    g_Logger.Info("CNTFSParser::PrepareVolume() - IN");
    ByteView boot(m_bootSector, sizeof(m_bootSector));
    m_nTotalSectors = boot.U64(ntfs::kBootTotalSectors);
    // A total past what the drive holds would only size allocations for sectors that
    // cannot be read.
    if (m_pDiskDrive && m_pDiskDrive->TotalSectors() && m_nTotalSectors > m_pDiskDrive->TotalSectors())
        m_nTotalSectors = m_pDiskDrive->TotalSectors();
    m_nVolumeSize = m_nTotalSectors * 512;
    g_Logger.InfoNumber("CNTFSParser::PrepareVolume() - Disk Size in bytes", static_cast<long>(static_cast<uint32_t>(m_nVolumeSize)));
    m_lpMftSectorsList.clear();
    m_dwMftRecordCount = 0;
    m_dwBatchCount = 0;

    const uint64_t spc = m_bSectorsPerCluster;
    uint8_t record[ntfs::kRecordSize];
    uint32_t read = 0;
    uint64_t mftCluster = boot.U64(ntfs::kBootMftCluster);
    uint64_t mirrCluster = boot.U64(ntfs::kBootMftMirrCluster);
    int rc = (spc && mftCluster < m_nTotalSectors / spc)
                 ? ReadVolumeSectors(mftCluster * spc, record, ntfs::kRecordSectors, &read)
                 : 0;
    if (!SectorsRead(rc, read, ntfs::kRecordSectors)) {
        g_Logger.Error("CNTFSParser::PrepareVolume() - main MFT record damaged");
        read = 0;
        rc = (spc && mirrCluster < m_nTotalSectors / spc)
                 ? ReadVolumeSectors(mirrCluster * spc, record, ntfs::kRecordSectors, &read)
                 : 0;
        if (!SectorsRead(rc, read, ntfs::kRecordSectors)) {
            g_Logger.Error("CNTFSParser::PrepareVolume() - MftMirror record damaged");
            return kPrepareRecordUnreadable;
        }
    }
    if (std::memcmp(record, ntfs::kFileMagic, 4) != 0) {
        g_Logger.Error("CNTFSParser::PrepareVolume() - 'FILE' signature not founded in MFT record");
        return kPrepareNoFileSignature;
    }
    // The record as read is torn-protected by its update sequence like any other.
    ::ApplyFixups(record, ntfs::kRecordSize, 512);

    m_bMftDamaged = 0;
    CMFTRecord mft(record, 0, false, this);
    g_Logger.Info("CNTFSParser::PrepareVolume() - locating attributes in the root MFT-record");
    if (mft.LocateRecordAttributes(0) != 0) {
        g_Logger.Error("CNTFSParser::PrepareVolume() - fatal error: attributes not found in MFT record");
        g_Logger.Error("SETTING m_bMftDamaged to TRUE");
        m_bMftDamaged = 1;
        return kPrepareRecordUnreadable;
    }

    m_dwReadMode = 0;
    m_mftRuns.clear();
    g_Logger.Info("CNTFSParser::PrepareVolume() - extracting run-list...");
    int status = -1;
    if (mft.DataAttribute() >= 0) status = mft.ExtractRunList(mft.DataAttribute(), &m_mftRuns);
    if (status != 0) {
        g_Logger.Error("CNTFSParser::PrepareVolume() - error while extracting Mft run list");
        g_Logger.Error("SETTING m_bMftDamaged to TRUE");
        m_bMftDamaged = 1;
        m_mftRuns.clear();
    }

    g_Logger.Info("CNTFSParser::PrepareVolume() - formation of the m_lpMftSectorsList...");
    // No volume holds more records than half its sectors.
    const uint64_t maxRecords = std::min<uint64_t>(m_nTotalSectors / ntfs::kRecordSectors, 0xFFFFFFF0u);
    for (const DataRun& run : m_mftRuns) {
        uint64_t records = run.length * spc / ntfs::kRecordSectors;
        if (records > maxRecords - m_lpMftSectorsList.size()) records = maxRecords - m_lpMftSectorsList.size();
        uint64_t first = run.firstCluster * spc;
        for (uint64_t j = 0; j < records; ++j) m_lpMftSectorsList.push_back(first + ntfs::kRecordSectors * j);
        if (m_lpMftSectorsList.size() >= maxRecords) break;
    }
    m_dwMftRecordCount = static_cast<uint32_t>(m_lpMftSectorsList.size());
    g_Logger.InfoF("CNTFSParser::PrepareVolume() - volume preparation compleate. MFT records count: %u", m_dwMftRecordCount);
    m_dwReadMode = 1;
    m_mftRuns.clear();
    m_mftRuns.shrink_to_fit();
    g_Logger.Info("CNTFSParser::PrepareVolume() - OUT");
    return status;
}

int CNTFSParser::ApplyFixups(uint8_t* record, uint32_t /*recordNumber*/, uint32_t /*spare*/, uint16_t bytesPerSector) {
    return ::ApplyFixups(record, ntfs::kRecordSize, bytesPerSector);
}

int CNTFSParser::ReadMFTRecord(uint32_t recordNumber, uint8_t* buffer) {
    if (m_bMftDamaged) {
        g_Logger.Error("CNTFSParser::ReadMFTRecord() - m_bMftDamaged.");
        return -1;
    }
    if (m_dwReadMode == 1) {
        g_Logger.Info("Mft read mode is FAST");
        return ReadMFTRecordFast(recordNumber, buffer);
    }
    g_Logger.Info("Mft read mode is SLOW");
    return ReadMFTRecordSlow(recordNumber, buffer);
}

bool CNTFSParser::ReadFromBatch(uint32_t n, uint8_t* buffer, int* status) {
    if (n < m_dwBatchFirst || n >= m_dwBatchFirst + m_dwBatchCount) {
        // Gather the records that follow n on disk into one read.
        uint32_t count = 1;
        while (count < kBatchRecords && n + count < m_dwMftRecordCount &&
               m_lpMftSectorsList[n + count] == m_lpMftSectorsList[n] + uint64_t{ntfs::kRecordSectors} * count)
            ++count;
        if (count < 2) return false;
        m_batch.resize(size_t{count} * ntfs::kRecordSize);
        uint32_t read = 0;
        int rc = ReadVolumeSectors(m_lpMftSectorsList[n], m_batch.data(), count * ntfs::kRecordSectors, &read);
        if (!SectorsRead(rc, read, count * ntfs::kRecordSectors)) {
            // Unreadable sectors in the batch: read record by record so only the bad
            // ones are reported.
            m_dwBatchCount = 0;
            return false;
        }
        m_dwBatchFirst = n;
        m_dwBatchCount = count;
    }
    std::memcpy(buffer, m_batch.data() + size_t{n - m_dwBatchFirst} * ntfs::kRecordSize, ntfs::kRecordSize);
    *status = 0;
    return true;
}

int CNTFSParser::ReadMFTRecordFast(uint32_t n, uint8_t* buffer) {
    if (n >= m_dwMftRecordCount) {
        g_Logger.ErrorF("CNTFSParser::ReadMFTRecordFast() - record number %u out of MFT", n);
        return -1;
    }
    if (m_bMftDamaged) {
        g_Logger.ErrorF("CNTFSParser::ReadMFTRecordFast() - record %u damaged", n);
        return -1;
    }
    int result = 0;
    if (!m_bBatchReads || !ReadFromBatch(n, buffer, &result)) {
        uint32_t read = 0;
        int rc = ReadVolumeSectors(m_lpMftSectorsList[n], buffer, ntfs::kRecordSectors, &read);
        if (!SectorsRead(rc, read, ntfs::kRecordSectors)) {
            std::memset(buffer, 0, 2 * size_t{512});
            g_Logger.ErrorF("CNTFSParser::ReadMFTRecordFast() - error reading record %u", n);
            result = 1;
        }
    }
    ByteView view(buffer, ntfs::kRecordSize);
    if (view.U8(ntfs::kRecUsaOffset) == 0x30 && view.Equals(0, ntfs::kFileMagic, 4) &&
        view.U32(ntfs::kRecOwnNumber) != n)
        g_Logger.ErrorF("CNTFSParser::ReadMFTRecordFast() - error finding MFT record %u", n);
    g_Logger.Info("Try to apply Sector Fixups");
    ApplyFixups(buffer, n, 0, 512);
    g_Logger.Info("End of apply Sector Fixups");
    return result;
}

int CNTFSParser::ReadMFTRecordSlow(uint32_t n, uint8_t* buffer) {
    if (m_bMftDamaged) return -1;
    if (m_mftRuns.empty()) return 0;
    const uint64_t spc = m_bSectorsPerCluster;
    uint64_t firstRecord = 0;
    for (const DataRun& run : m_mftRuns) {
        g_Logger.Info("Slow mode loop");
        uint64_t records = run.length * spc / ntfs::kRecordSectors;
        if (n < firstRecord + records) {
            g_Logger.Info("Try read sector");
            uint32_t read = 0;
            int rc = ReadVolumeSectors(run.firstCluster * spc + ntfs::kRecordSectors * (n - firstRecord), buffer,
                                       ntfs::kRecordSectors, &read);
            if (!SectorsRead(rc, read, ntfs::kRecordSectors))
                g_Logger.ErrorF("CNTFSParser::ReadMFTRecordSlow() - error reading record %u", n);
            ByteView view(buffer, ntfs::kRecordSize);
            if (view.U8(ntfs::kRecUsaOffset) == 0x30) {
                g_Logger.Info("Buffer == 0x30");
                if (view.U32(ntfs::kRecOwnNumber) != n && view.Equals(0, ntfs::kFileMagic, 4))
                    g_Logger.ErrorF("CNTFSParser::ReadMFTRecordFast() - error finding MFT record %u", n);
            }
            g_Logger.Info("Try to apply sector fixups");
            ApplyFixups(buffer, n, 0, 512);
            g_Logger.Info("End of apply sector fixups");
            return 0;
        }
        firstRecord += records;
    }
    g_Logger.ErrorF("CNTFSParser::ReadMFTRecordFast() - record number %u out of MFT", n);
    return -1;
}
