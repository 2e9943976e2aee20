#include "fslib/ntfs/NTFSParser.h"

#include <algorithm>
#include <cstring>

#include "common/logger/Logger.h"
#include "fslib/ntfs/Fixups.h"
#include "fslib/ntfs/NTFSHandle.h"
#include "fslib/ntfs/NtfsLayout.h"

namespace {
// Bytes per batched read: 256 KiB serves 256 records of 1 KiB with one device call.
constexpr uint32_t kBatchBytes = 256 * 1024;
// A sector of the $MFT stream that a sparse run leaves without a place on disk.
constexpr uint64_t kNoSector = ~uint64_t{0};

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

int CNTFSParser::ScanVolume(const ScanSettings& settings) {
    int status = 0;
    g_Logger.Info(" ----------< Scanning MFT Structure.");
    if (!IsUserBreak()) {
        m_bAttachOrphans = settings.attachOrphans ? 1 : 0;
        status = PrepareDirTree(100);
    }
    g_Logger.Info(" ----------> Scanning MFT Structure accomplished.");
    return status;
}

int CNTFSParser::PrepareVolume() {
    g_Logger.Info("CNTFSParser::PrepareVolume() - IN");
    m_nPrepareStatus = PrepareVolumeSteps();
    return m_nPrepareStatus;
}

int CNTFSParser::PrepareVolumeSteps() {
    ntfs::BootGeometry geometry;
    ntfs::ReadBootGeometry(ByteView(m_bootSector, sizeof(m_bootSector)), &geometry);
    // Every read counts 512-byte sectors; a volume of larger sectors has its counts scaled.
    // A sector size that is no power of two from 512 up is taken as 512, and a record
    // size the boot sector cannot give as 1024, the sizes NTFS had before either field
    // was used.
    uint64_t sectorScale = 1;
    if (geometry.bytesPerSector >= 512 && geometry.bytesPerSector <= 4096 &&
        (geometry.bytesPerSector & (geometry.bytesPerSector - 1)) == 0)
        sectorScale = geometry.bytesPerSector / 512;
    uint64_t spc = uint64_t{geometry.sectorsPerCluster} * sectorScale;
    m_dwSectorsPerCluster = spc <= 0xFFFFFFFFu ? static_cast<uint32_t>(spc) : 0;
    spc = m_dwSectorsPerCluster;
    m_dwRecordSize = geometry.recordBytes >= 1024 && geometry.recordBytes <= ntfs::kMaxRecordSize &&
                             (geometry.recordBytes & (geometry.recordBytes - 1)) == 0
                         ? geometry.recordBytes
                         : ntfs::kRecordSize;
    const uint32_t recordSectors = RecordSectors();

    m_nTotalSectors = geometry.totalSectors <= ~uint64_t{0} / sectorScale ? geometry.totalSectors * sectorScale : 0;
    // A total past what the drive holds would only size allocations for sectors that
    // cannot be read.
    if (m_pDiskDrive && m_pDiskDrive->TotalSectors() && m_nTotalSectors > m_pDiskDrive->TotalSectors())
        m_nTotalSectors = m_pDiskDrive->TotalSectors();
    m_nVolumeSize = m_nTotalSectors * 512;
    g_Logger.InfoNumber("CNTFSParser::PrepareVolume() - Disk Size in bytes",
                        static_cast<long>(static_cast<uint32_t>(m_nVolumeSize)));
    m_lpMftSectorsList.clear();
    m_dwMftRecordCount = 0;
    m_dwBatchCount = 0;

    uint8_t record[ntfs::kMaxRecordSize];
    uint32_t read = 0;
    const uint64_t mftCluster = geometry.mftCluster;
    const uint64_t mirrCluster = geometry.mftMirrCluster;
    int rc = (spc && mftCluster < m_nTotalSectors / spc)
                 ? ReadVolumeSectors(mftCluster * spc, record, recordSectors, &read)
                 : 0;
    if (!SectorsRead(rc, read, recordSectors)) {
        g_Logger.Error("CNTFSParser::PrepareVolume() - main MFT record damaged");
        read = 0;
        rc = (spc && mirrCluster < m_nTotalSectors / spc)
                 ? ReadVolumeSectors(mirrCluster * spc, record, recordSectors, &read)
                 : 0;
        if (!SectorsRead(rc, read, recordSectors)) {
            g_Logger.Error("CNTFSParser::PrepareVolume() - MftMirror record damaged");
            return kPrepareRecordUnreadable;
        }
    }
    if (std::memcmp(record, ntfs::kFileMagic, 4) != 0) {
        g_Logger.Error("CNTFSParser::PrepareVolume() - 'FILE' signature not founded in MFT record");
        return kPrepareNoFileSignature;
    }
    // The record as read is torn-protected by its update sequence like any other.
    ::ApplyFixups(record, m_dwRecordSize, 512);

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
    // The list maps every 512-byte sector of the $MFT stream, so records are numbered by
    // their place in the stream even when a run ends inside one. No volume holds more
    // records than its sectors allow.
    const uint64_t maxSectors = std::min<uint64_t>(m_nTotalSectors, uint64_t{0xFFFFFFF0u} * recordSectors);
    for (const DataRun& run : m_mftRuns) {
        uint64_t sectors = run.length * spc;
        if (sectors > maxSectors - m_lpMftSectorsList.size()) sectors = maxSectors - m_lpMftSectorsList.size();
        uint64_t first = run.firstCluster * spc;
        for (uint64_t j = 0; j < sectors; ++j) m_lpMftSectorsList.push_back(run.IsSparse() ? kNoSector : first + j);
        if (m_lpMftSectorsList.size() >= maxSectors) break;
    }
    m_dwMftRecordCount = static_cast<uint32_t>(m_lpMftSectorsList.size() / recordSectors);
    g_Logger.InfoF("CNTFSParser::PrepareVolume() - volume preparation compleate. MFT records count: %u",
                   m_dwMftRecordCount);
    m_dwReadMode = 1;
    m_mftRuns.clear();
    m_mftRuns.shrink_to_fit();
    g_Logger.Info("CNTFSParser::PrepareVolume() - OUT");
    return status;
}

int CNTFSParser::ApplyFixups(uint8_t* record, uint32_t /*recordNumber*/, uint32_t /*spare*/, uint16_t bytesPerSector) {
    return ::ApplyFixups(record, m_dwRecordSize, bytesPerSector);
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

bool CNTFSParser::ReadRecordSectors(uint32_t n, uint8_t* buffer) {
    const uint32_t spr = RecordSectors();
    const size_t base = size_t{n} * spr;
    for (uint32_t i = 0; i < spr;) {
        uint64_t first = m_lpMftSectorsList[base + i];
        if (first == kNoSector) return false;
        uint32_t count = 1;
        while (i + count < spr && m_lpMftSectorsList[base + i + count] == first + count) ++count;
        uint32_t read = 0;
        int rc = ReadVolumeSectors(first, buffer + size_t{i} * 512, count, &read);
        if (!SectorsRead(rc, read, count)) return false;
        i += count;
    }
    return true;
}

bool CNTFSParser::ReadFromBatch(uint32_t n, uint8_t* buffer, int* status) {
    const uint32_t spr = RecordSectors();
    const size_t recordBytes = m_dwRecordSize;
    if (n < m_dwBatchFirst || n >= m_dwBatchFirst + m_dwBatchCount) {
        // Gather the records that follow n on disk into one read: their sectors must
        // follow each other without a gap.
        const uint64_t firstSector = m_lpMftSectorsList[size_t{n} * spr];
        if (firstSector == kNoSector) return false;
        auto follows = [&](uint32_t k) {
            for (uint32_t s = 0; s < spr; ++s)
                if (m_lpMftSectorsList[size_t{n + k} * spr + s] != firstSector + uint64_t{k} * spr + s) return false;
            return true;
        };
        if (!follows(0)) return false;
        uint32_t count = 1;
        const uint32_t batchRecords = kBatchBytes / m_dwRecordSize;
        while (count < batchRecords && n + count < m_dwMftRecordCount && follows(count)) ++count;
        if (count < 2) return false;
        m_batch.resize(size_t{count} * recordBytes);
        uint32_t read = 0;
        int rc = ReadVolumeSectors(firstSector, m_batch.data(), count * spr, &read);
        if (!SectorsRead(rc, read, count * spr)) {
            // Unreadable sectors in the batch: read record by record so only the bad
            // ones are reported.
            m_dwBatchCount = 0;
            return false;
        }
        m_dwBatchFirst = n;
        m_dwBatchCount = count;
    }
    std::memcpy(buffer, m_batch.data() + size_t{n - m_dwBatchFirst} * recordBytes, recordBytes);
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
        if (!ReadRecordSectors(n, buffer)) {
            std::memset(buffer, 0, m_dwRecordSize);
            g_Logger.ErrorF("CNTFSParser::ReadMFTRecordFast() - error reading record %u", n);
            result = 1;
        }
    }
    ByteView view(buffer, m_dwRecordSize);
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
    const uint64_t spc = m_dwSectorsPerCluster;
    const uint32_t spr = RecordSectors();
    // The record's sectors in the stream, each found in the run that holds it.
    const uint64_t wanted = uint64_t{n} * spr;
    uint64_t runStart = 0;
    uint32_t done = 0;
    for (const DataRun& run : m_mftRuns) {
        g_Logger.Info("Slow mode loop");
        uint64_t sectors = run.length * spc;
        while (done < spr && wanted + done < runStart + sectors) {
            if (done == 0) g_Logger.Info("Try read sector");
            uint64_t inRun = wanted + done - runStart;
            uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(spr - done, sectors - inRun));
            uint32_t read = 0;
            int rc = run.IsSparse()
                         ? 0
                         : ReadVolumeSectors(run.firstCluster * spc + inRun, buffer + size_t{done} * 512, count, &read);
            if (!SectorsRead(rc, read, count))
                g_Logger.ErrorF("CNTFSParser::ReadMFTRecordSlow() - error reading record %u", n);
            done += count;
        }
        if (done == spr) {
            ByteView view(buffer, m_dwRecordSize);
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
        runStart += sectors;
    }
    g_Logger.ErrorF("CNTFSParser::ReadMFTRecordFast() - record number %u out of MFT", n);
    return -1;
}
