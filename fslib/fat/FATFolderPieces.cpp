// Deleted folders past their first cluster. Deleting a folder frees its chain, so only
// the cluster its entry names is known; a folder that grew took its further clusters
// where the allocator stood then: right after its own cluster, or after the data of the
// file written last. Those clusters are read one at a time and taken while they hold
// directory entries and nothing on the volume claims them.
#include "common/logger/Logger.h"
#include "fslib/fat/FATDirEntry.h"
#include "fslib/fat/FATParser.h"

using fatdir::kEntrySize;

namespace {

// Clusters passed over from a candidate to the next cluster nothing claims.
constexpr uint32_t kMaxHops = 1u << 16;
// How far past a candidate the next piece is looked for: a file written between two
// pieces of a folder is at most this large to be passed.
constexpr uint64_t kPieceWindowBytes = uint64_t{256} * 1024;
// Entries written last whose data end is tried as the place the folder went on.
constexpr size_t kLastEntriesTried = 4;

bool IsShortNameByte(uint8_t b) {
    if (b < 0x20 || b == 0x7F) return false;
    for (const char* p = "\"*+,./:;<=>?[\\]|"; *p; ++p)
        if (b == static_cast<uint8_t>(*p)) return false;
    return true;
}

bool IsDosDate(uint16_t date) {
    if (date == 0) return true;
    const unsigned month = (date >> 5) & 0x0F, day = date & 0x1F;
    return month >= 1 && month <= 12 && day >= 1;
}

bool IsDosTime(uint16_t time) { return (time >> 11) < 24 && ((time >> 5) & 0x3F) < 60 && (time & 0x1F) < 30; }

}  // namespace

bool CFATParser::IsPlausibleShortEntry(ByteView e) const {
    const uint8_t attributes = e.U8(fatdir::kAttributes);
    if (attributes & 0xC0 || attributes & fatdir::kAttrVolumeLabel) return false;
    const uint8_t first = e.U8(0);
    if (first != fatdir::kDeletedMark && first != fatdir::kEscapedE5 && (first == ' ' || !IsShortNameByte(first)))
        return false;
    for (size_t i = 1; i < 11; ++i)
        if (!IsShortNameByte(e.U8(i)) && e.U8(i) != ' ') return false;
    if (!IsDosDate(e.U16(fatdir::kWriteDate)) || !IsDosTime(e.U16(fatdir::kWriteTime)) ||
        !IsDosDate(e.U16(fatdir::kCreationDate)) || !IsDosTime(e.U16(fatdir::kCreationTime)))
        return false;
    const uint32_t size = e.U32(fatdir::kFileSize);
    const uint32_t cluster = GetFirstCluster(e);
    if (attributes & fatdir::kAttrDirectory) return size == 0 && cluster >= 2 && cluster <= m_dwLastCluster;
    if (uint64_t{size} > m_nVolumeSize) return false;
    return size == 0 ? cluster == 0 || (cluster >= 2 && cluster <= m_dwLastCluster)
                     : cluster >= 2 && cluster <= m_dwLastCluster;
}

bool CFATParser::IsDirectoryPiece(ByteView piece) const {
    if (!piece.Has(0, kEntrySize) || piece.U8(0) == fatdir::kEndMark || piece.U8(0) == '.') return false;
    // Long-name entries wait for their short entry; a set may have begun in the cluster
    // before, so only what lies here is checked.
    size_t setStart = 0, setCount = 0;
    for (size_t off = 0; piece.Has(off, kEntrySize); off += kEntrySize) {
        const ByteView e = piece.Sub(off, kEntrySize);
        if (e.U8(0) == fatdir::kEndMark) return setCount == 0;
        if (fatdir::IsLongNameEntry(e)) {
            const uint8_t order = e.U8(fatdir::kLfnOrder);
            const uint8_t number = order & 0x3F;
            if (e.U8(fatdir::kLfnType) != 0 || e.U16(fatdir::kLfnCluster) != 0) return false;
            if (order != fatdir::kDeletedMark && ((order & 0x80) || number == 0 || number > 20)) return false;
            if (setCount && e.U8(fatdir::kLfnChecksum) != piece.U8(setStart + fatdir::kLfnChecksum)) return false;
            if (setCount++ == 0) setStart = off;
            continue;
        }
        if (!IsPlausibleShortEntry(e)) return false;
        if (setCount) {
            // A live set names its short entry by checksum; a deleted one lost the first
            // byte the checksum covers.
            uint8_t name83[11];
            for (size_t i = 0; i < 11; ++i) name83[i] = e.U8(i);
            if (!fatdir::IsDeleted(e) && piece.U8(setStart + fatdir::kLfnChecksum) != fatdir::ShortNameChecksum(name83))
                return false;
            if (fatdir::IsDeleted(e) != fatdir::IsDeleted(piece.Sub(setStart, kEntrySize))) return false;
        }
        setCount = 0;
    }
    return true;
}

uint32_t CFATParser::NextUnclaimedCluster(uint32_t cluster,
                                          const std::unordered_map<uint32_t, uint32_t>& starts) const {
    const ByteView fat = FatTable();
    for (uint32_t hops = 0; hops < kMaxHops; ++hops) {
        if (cluster < 2 || cluster > m_dwLastCluster) return 0;
        // In use by a live file, or the start of data an entry names: the allocator went
        // past it.
        if (GetFATEntry(fat, cluster) != 0 || m_visitedSet.count(cluster) || m_pieceClusters.count(cluster)) {
            ++cluster;
            continue;
        }
        uint32_t skip = 0;
        if (auto own = starts.find(cluster); own != starts.end())
            skip = own->second;
        else if (auto seen = m_entryStarts.find(cluster); seen != m_entryStarts.end())
            skip = seen->second;
        if (skip == 0) return cluster;
        cluster += skip;
    }
    return 0;
}

void CFATParser::NoteEntryStarts(ByteView data, std::unordered_map<uint32_t, uint32_t>* starts,
                                 std::vector<uint32_t>* dataEnds) const {
    for (size_t off = 0; data.Has(off, kEntrySize); off += kEntrySize) {
        const ByteView e = data.Sub(off, kEntrySize);
        if (e.U8(0) == fatdir::kEndMark) break;
        if (fatdir::IsLongNameEntry(e) || e.U8(0) == '.') continue;
        const uint32_t cluster = GetFirstCluster(e);
        if (cluster < 2 || cluster > m_dwLastCluster) continue;
        const bool directory = (e.U8(fatdir::kAttributes) & fatdir::kAttrDirectory) != 0;
        const uint64_t size = e.U32(fatdir::kFileSize);
        const auto clusters = static_cast<uint32_t>(directory ? 1 : (size + m_dwClusterSize - 1) / m_dwClusterSize);
        if (clusters == 0) continue;
        starts->emplace(cluster, clusters);
        if (dataEnds) dataEnds->push_back(cluster + clusters);
    }
}

void CFATParser::FollowDeletedFolder(uint32_t hDirectory, const char* indent, const std::string& name) {
    CFATHandle* h = GetFATHandle(hDirectory);
    if (!h || !h->pRecord || m_dwClusterSize == 0 || !m_pFatTable) return;
    const std::vector<ClusterRun>& runs = h->pRecord->runs;
    if (runs.size() != 1 || runs[0].nClusterCount != 1) return;
    const auto first = static_cast<uint32_t>(runs[0].nFirstCluster);
    // A folder whose chain is still there was read whole; one whose own cluster ends
    // with the end mark has no more entries.
    if (GetFATEntry(FatTable(), first) != 0) return;
    auto ended = [](ByteView d) {
        for (size_t off = 0; d.Has(off, kEntrySize); off += kEntrySize)
            if (d.U8(off) == fatdir::kEndMark) return true;
        return false;
    };
    if (h->data.size() != m_dwClusterSize || ended(ByteView(h->data.data(), h->data.size()))) return;

    std::unordered_map<uint32_t, uint32_t> starts;
    std::vector<uint32_t> dataEnds;
    NoteEntryStarts(ByteView(h->data.data(), h->data.size()), &starts, &dataEnds);
    uint32_t last = first;
    const uint64_t most = kFatMaxDirectoryBytes / m_dwClusterSize;
    const uint64_t window = std::max<uint64_t>(1, kPieceWindowBytes / m_dwClusterSize);
    std::vector<uint8_t> piece(m_dwClusterSize);
    while (h->data.size() / m_dwClusterSize < most && !IsUserBreak()) {
        // The end of the data of the entries written last first, then the cluster after
        // the folder's last one.
        std::vector<uint32_t> candidates;
        for (size_t i = dataEnds.size(); i-- > 0 && dataEnds.size() - i <= kLastEntriesTried;)
            candidates.push_back(dataEnds[i]);
        candidates.push_back(last + 1);
        uint32_t next = 0;
        for (size_t i = 0; i < candidates.size() && next == 0; ++i) {
            // Some writers put a new file's data before the folder cluster that takes
            // its entry: the clusters nothing claims are read on from the candidate.
            uint32_t c = candidates[i];
            for (uint64_t looked = 0; looked < window && next == 0; ++looked, ++c) {
                c = NextUnclaimedCluster(c, starts);
                if (c == 0) break;
                // Whether a cluster holds entries does not depend on who asks: each is
                // read at most once in a scan.
                if (!m_triedAsPiece.insert(c).second) continue;
                std::fill(piece.begin(), piece.end(), 0);
                if (ReadClusters(c, 1, piece.data()) == 1 && IsDirectoryPiece(ByteView(piece.data(), piece.size())))
                    next = c;
            }
        }
        if (next == 0) return;
        g_Logger.InfoF("%sFolder [%s] goes on past its first cluster: cluster %u holds more of its entries", indent,
                       name.c_str(), next);
        m_pieceClusters.insert(next);
        h->data.insert(h->data.end(), piece.begin(), piece.end());
        dataEnds.clear();
        NoteEntryStarts(ByteView(piece.data(), piece.size()), &starts, &dataEnds);
        last = next;
        if (ended(ByteView(piece.data(), piece.size()))) return;
    }
}
