// The exFAT parser's volume preparation: the boot region (the backup when the main one
// fails its checksum), the active FAT, the root directory and the allocation bitmap,
// up-case table and volume label it names; volume reads; where a file's clusters lie.
#include "fslib/exfat/ExFatParser.h"

#include <algorithm>
#include <cstring>

#include "common/logger/Logger.h"
#include "platform/Text.h"

namespace {
constexpr uint32_t kMaxSectorsPerRead = 2048;  // 1 MiB per device call
}  // namespace

CExFATParser::CExFATParser(CDiskDrive* drive, const uint8_t* bootSector) : CFileSystemParser(drive, bootSector) {
    m_bFsType = FS_EXFAT;
    m_boot = exfat::BootSector::Read(ByteView(m_bootSector, sizeof(m_bootSector)));
    PrepareVolume();
    OpenRootAndLog();
}

CExFATParser::~CExFATParser() { m_handles.clear(); }

int CExFATParser::ScanVolume(const ScanSettings&) {
    int status = IsUserBreak() ? 0 : PrepareDirTree(100);
    g_Logger.Info(" ----------- Logical disk scanning accomplished.");
    return status;
}

bool CExFATParser::ReadBytes(uint64_t offset, uint8_t* out, size_t length) {
    if (length == 0) return true;
    const uint64_t first = offset / kSectorSize;
    const uint64_t last = (offset + length - 1) / kSectorSize;
    bool ok = true;
    std::vector<uint8_t> chunk;
    size_t copied = 0;
    for (uint64_t s = first; s <= last;) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kMaxSectorsPerRead, last - s + 1));
        chunk.assign(size_t{n} * kSectorSize, 0);
        uint32_t bad = 0;
        if (ReadVolumeSectorsSafe(s, chunk.data(), n, &bad) != 1) ok = false;
        const size_t skip = s == first ? static_cast<size_t>(offset % kSectorSize) : 0;
        const size_t take = std::min(chunk.size() - skip, length - copied);
        std::memcpy(out + copied, chunk.data() + skip, take);
        copied += take;
        s += n;
    }
    return ok;
}

bool CExFATParser::ReadRuns(const std::vector<exfat::ClusterRun>& runs, uint64_t length, std::vector<uint8_t>* out) {
    out->assign(static_cast<size_t>(length), 0);
    const uint64_t clusterBytes = m_boot.ClusterBytes();
    uint64_t done = 0;
    bool ok = true;
    for (const exfat::ClusterRun& r : runs) {
        if (done >= length) break;
        const uint64_t bytes = std::min<uint64_t>(uint64_t{r.dwCount} * clusterBytes, length - done);
        if (!ReadBytes(m_boot.ClusterByteOffset(r.dwFirst), out->data() + done, static_cast<size_t>(bytes))) ok = false;
        done += bytes;
    }
    return ok;
}

bool CExFATParser::ReadBootRegion(uint64_t firstSector, std::vector<uint8_t>* out) {
    const uint64_t bytes = uint64_t{exfat::kBootRegionSectors} * m_boot.BytesPerSector();
    out->assign(static_cast<size_t>(bytes), 0);
    return ReadBytes(firstSector * m_boot.BytesPerSector(), out->data(), out->size());
}

int CExFATParser::PrepareVolume() {
    const uint64_t driveBytes = m_pDiskDrive ? m_pDiskDrive->TotalSectors() * kSectorSize : 0;
    if (!IsExFatBootSector(m_bootSector, sizeof(m_bootSector))) {
        g_Logger.Error("Boot sector does not describe an exFAT volume");
        m_bVolumeUsable = false;
        return 1;
    }
    std::vector<uint8_t> region;
    ReadBootRegion(0, &region);
    const uint32_t sectorBytes = m_boot.BytesPerSector();
    if (!exfat::VerifyBootRegion(ByteView(region.data(), region.size()), sectorBytes)) {
        std::vector<uint8_t> backup;
        ReadBootRegion(exfat::kBootRegionSectors, &backup);
        ByteView b(backup.data(), backup.size());
        if (exfat::VerifyBootRegion(b, sectorBytes) && exfat::BootSector::Read(b).BytesPerSector() == sectorBytes) {
            g_Logger.Error("Main boot region fails its checksum; the backup boot region is used");
            std::memcpy(m_bootSector, backup.data(), sizeof(m_bootSector));
            m_boot = exfat::BootSector::Read(b);
        } else {
            g_Logger.Error("Main and backup boot regions fail their checksums; the main boot sector is used");
        }
    }
    if (const char* reason = m_boot.Check(driveBytes)) {
        g_Logger.ErrorF("Boot sector does not describe a usable exFAT volume: %s", reason);
        m_bVolumeUsable = false;
        return 1;
    }
    m_wBytesPerSector = static_cast<uint16_t>(sectorBytes);
    m_nTotalSectors = (m_boot.nVolumeLength << m_boot.bBytesPerSectorShift) / kSectorSize;
    m_nVolumeSize = m_boot.nVolumeLength << m_boot.bBytesPerSectorShift;

    const uint64_t fatStart = m_boot.ActiveFatByteOffset();
    const uint64_t fatBytes = uint64_t{m_boot.dwFatLength} << m_boot.bBytesPerSectorShift;
    m_fat.Attach(m_boot.dwClusterCount, [this, fatStart, fatBytes](uint64_t offset, uint8_t* out, size_t length) {
        if (offset >= fatBytes) return false;
        return ReadBytes(fatStart + offset, out, static_cast<size_t>(std::min<uint64_t>(length, fatBytes - offset)));
    });

    g_Logger.Info("volume parameters:");
    g_Logger.InfoF("    bytes per sector: %u", sectorBytes);
    g_Logger.InfoF("    cluster size: %llu bytes", static_cast<unsigned long long>(m_boot.ClusterBytes()));
    g_Logger.InfoF("    cluster count: %u", m_boot.dwClusterCount);
    g_Logger.InfoF("    FAT: sector %u, %u sectors", m_boot.dwFatOffset, m_boot.dwFatLength);
    g_Logger.InfoF("    cluster heap: sector %u", m_boot.dwClusterHeapOffset);
    g_Logger.InfoF("    root cluster: %u", m_boot.dwRootCluster);

    // The root has no size of its own: its chain says how long it is.
    m_fat.ReadChain(m_boot.dwRootCluster, kExFatMaxDirectoryBytes / m_boot.ClusterBytes() + 1, &m_rootRuns);
    const uint64_t rootBytes =
        std::min(exfat::RunClusters(m_rootRuns) * m_boot.ClusterBytes(), kExFatMaxDirectoryBytes);
    if (!ReadRuns(m_rootRuns, rootBytes, &m_rootData)) g_Logger.Error("Part of the root directory could not be read");
    ReadRootMetadata(ByteView(m_rootData.data(), m_rootData.size()));
    return 0;
}

bool CExFATParser::ReadMetadataFile(ByteView entry, uint64_t maxBytes, std::vector<uint8_t>* out) {
    ExFatFileInfo info;
    info.dwFirstCluster = entry.U32(exfat::kFirstClusterField);
    info.nDataLength = std::min<uint64_t>(entry.U64(exfat::kDataLength), maxBytes);
    info.nValidDataLength = info.nDataLength;
    std::vector<exfat::ClusterRun> runs;
    bool viaChain = false;
    FileRuns(info, &runs, &viaChain, false);
    if (runs.empty()) return false;
    return ReadRuns(runs, info.nDataLength, out);
}

void CExFATParser::ReadRootMetadata(ByteView root) {
    bool bitmapSeen = false, upcaseSeen = false;
    // The second bitmap of a volume with two FATs goes with the second FAT.
    const uint8_t activeBitmap = (m_boot.bNumberOfFats == 2 && (m_boot.wVolumeFlags & 1)) ? 1 : 0;
    for (size_t off = 0; root.Has(off, exfat::kEntrySize); off += exfat::kEntrySize) {
        const uint8_t type = root.U8(off);
        if (type == exfat::kTypeEndOfDirectory) break;
        ByteView e = root.Sub(off, exfat::kEntrySize);
        if (type == exfat::kTypeBitmap && !bitmapSeen && (e.U8(1) & 1) == activeBitmap) {
            bitmapSeen = true;
            std::vector<uint8_t> bits;
            if (!ReadMetadataFile(e, (uint64_t{m_boot.dwClusterCount} + 7) / 8, &bits))
                g_Logger.Error("The allocation bitmap could not be read whole");
            m_bitmap.Load(ByteView(bits.data(), bits.size()), m_boot.dwClusterCount);
        } else if (type == exfat::kTypeUpcase && !upcaseSeen) {
            upcaseSeen = true;
            std::vector<uint8_t> table;
            ReadMetadataFile(e, exfat::kMaxUpcaseBytes, &table);
            ByteView t(table.data(), table.size());
            if (exfat::UpcaseChecksum(t) != e.U32(exfat::kUpcaseChecksum))
                g_Logger.Error("The up-case table fails its checksum; names are up-cased by ASCII rules");
            else if (!m_upcase.Load(t))
                g_Logger.Error("The up-case table is malformed; names are up-cased by ASCII rules");
        } else if (type == exfat::kTypeVolumeLabel) {
            const size_t length = std::min<size_t>(e.U8(exfat::kLabelLength), exfat::kMaxLabelChars);
            std::u16string label;
            for (size_t i = 0; i < length; ++i)
                label.push_back(static_cast<char16_t>(e.U16(exfat::kLabelChars + 2 * i)));
            if (size_t nul = label.find(u'\0'); nul != std::u16string::npos) label.resize(nul);
            m_szVolumeLabel = platform::Utf16ToUtf8(label);
            g_Logger.InfoF("    volume label: %s", m_szVolumeLabel.c_str());
        }
    }
    if (!bitmapSeen) g_Logger.Error("The root directory names no allocation bitmap; damage cannot be estimated");
    if (!upcaseSeen) g_Logger.Error("The root directory names no up-case table; names are up-cased by ASCII rules");
}

void CExFATParser::FileRuns(const ExFatFileInfo& info, std::vector<exfat::ClusterRun>* runs, bool* viaChain, bool log,
                            bool bounded) {
    runs->clear();
    *viaChain = false;
    const uint64_t clusterBytes = m_boot.ClusterBytes();
    const uint64_t wanted = info.nDataLength / clusterBytes + (info.nDataLength % clusterBytes ? 1 : 0);
    if (wanted == 0 || !m_boot.IsHeapCluster(info.dwFirstCluster)) return;
    if (!info.NoFatChain() && (!bounded || m_fat.Steps() < m_nChainStepLimit)) {
        if (m_fat.FollowChain(info.dwFirstCluster, wanted, runs)) {
            *viaChain = true;
            if (log) g_Logger.Info("The file's clusters follow its FAT chain");
            return;
        }
        if (log) g_Logger.Info("The file's FAT chain does not match its size; consecutive clusters are read");
    } else if (log) {
        g_Logger.Info("The file has no FAT chain; its clusters are consecutive");
    }
    // Clusters past the heap's end hold nothing of the file.
    const uint64_t available = uint64_t{m_boot.LastCluster()} - info.dwFirstCluster + 1;
    runs->push_back({info.dwFirstCluster, static_cast<uint32_t>(std::min(wanted, available))});
}

float CExFATParser::DamageOf(const ExFatFileInfo& info) {
    if (!m_bitmap.Loaded()) return 0.0f;
    std::vector<exfat::ClusterRun> runs;
    bool viaChain = false;
    FileRuns(info, &runs, &viaChain, false, true);
    const uint64_t total = exfat::RunClusters(runs);
    if (total == 0) return 0.0f;
    return static_cast<float>(static_cast<double>(m_bitmap.CountAllocated(runs)) / static_cast<double>(total));
}

const ExFatFileInfo* CExFATParser::FileInfoOfNode(const NodeEntry* node) const {
    if (!node || node->key == 0 || node->key > m_files.size()) return nullptr;
    return &m_files[node->key - 1];
}
