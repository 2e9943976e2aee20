// The walk over an exFAT volume's folders that builds the tree of live and deleted files
// and folders. Live folders are walked first; deleted folders found on the way are walked
// afterwards from their first cluster, once every cluster a live folder holds is known, so
// that a live folder keeps a cluster a deleted one used to have.
#include <algorithm>
#include <cstdio>

#include "common/logger/Logger.h"
#include "fslib/exfat/ExFatParser.h"
#include "fslib/exfat/ExFatTime.h"
#include "platform/Text.h"

namespace {
// Share of the progress bar the live walk takes; deleted folders take the rest.
constexpr int kLiveWalkShare = 90;
// Clusters read at once where a deleted folder's next piece may begin.
constexpr uint64_t kPieceWindowBytes = 256 * 1024;
}  // namespace

NodeEntry* CExFATParser::MakeNode(const exfat::EntrySet& set, uint64_t diskOffset, bool deleted, uint32_t* key) {
    ExFatFileInfo info;
    info.dwFirstCluster = set.dwFirstCluster;
    info.nDataLength = set.nDataLength;
    info.nValidDataLength = std::min(set.nValidDataLength, set.nDataLength);
    info.bStreamFlags = set.bStreamFlags;
    info.bDirectory = set.IsDirectory() ? 1 : 0;
    if (m_files.size() >= 0xFFFFFFFEu) return nullptr;
    m_files.push_back(info);
    *key = static_cast<uint32_t>(m_files.size());

    std::string name = platform::Utf16ToUtf8(set.name);
    if (name.empty()) {
        // The name entries are gone; the entry's place on the disk tells it apart.
        char madeUp[40];
        std::snprintf(madeUp, sizeof madeUp, "_unnamed_%llx", static_cast<unsigned long long>(diskOffset));
        name = madeUp;
    }
    auto* node = new NodeEntry(*key, name.c_str(), set.IsDirectory() ? FILE_ATTRIBUTE_DIRECTORY : 0, deleted ? 1 : 0);
    node->size = set.nDataLength;
    node->modifiedTime = exfat::StampToFileTime(set.dwModified, set.bModified10ms, set.bModifiedUtc);
    node->createdTime = exfat::StampToFileTime(set.dwCreated, set.bCreated10ms, set.bCreatedUtc);
    if (deleted && !set.IsDirectory()) node->damageLevel = DamageOf(info);
    if (set.IsDirectory()) m_folderStarts.insert(set.dwFirstCluster);
    return node;
}

int CExFATParser::ProcessDirectory(NodeEntry* parent, ByteView data, bool insideDeleted, uint32_t depth,
                                   int progressFrom, int progressTo, size_t* stop) {
    int lastShown = -1;
    if (stop) *stop = data.Size();
    for (size_t off = 0; data.Has(off, exfat::kEntrySize);) {
        if (IsUserBreak()) return USER_BREAK_STATUS;
        if (progressTo > progressFrom) {
            const int position =
                progressFrom + static_cast<int>((progressTo - progressFrom) * (off / double(data.Size())));
            if (position != lastShown) {
                SetProgress(nullptr, position, 0);
                lastShown = position;
            }
        }
        const uint8_t type = exfat::EntryType(data, off);
        if (type == exfat::kTypeEndOfDirectory) {
            if (stop) *stop = kStoppedAtEndMark;
            break;
        }
        if (stop && exfat::IsFileEntry(type) &&
            !data.Has(off, (size_t{data.U8(off + exfat::kSecondaryCount)} + 1) * exfat::kEntrySize)) {
            *stop = off;
            break;
        }
        exfat::EntrySet set;
        if (!exfat::ReadEntrySet(data, off, m_upcase, &set)) {
            off += exfat::kEntrySize;
            continue;
        }
        const uint64_t diskOffset = data.DiskOffset() + off;
        off += size_t{set.nEntries} * exfat::kEntrySize;
        // A valid data length beyond the size is bounded by the size (MakeNode), so it
        // does not make a stream entry unusable, only the set damaged.
        const bool streamSane = set.bHasStream && set.nDataLength <= m_nVolumeSize &&
                                (set.nDataLength == 0 || m_boot.IsHeapCluster(set.dwFirstCluster));
        if (!set.bChecksumOk) {
            if (!streamSane) {
                g_Logger.InfoF(
                    "Entry set at disk offset %llu fails its checksum and has no usable stream entry - skipped",
                    static_cast<unsigned long long>(diskOffset));
                continue;
            }
            g_Logger.InfoF("Entry set at disk offset %llu fails its checksum (%s); listed from its stream entry",
                           static_cast<unsigned long long>(diskOffset), set.bComplete ? "changed" : "incomplete");
        } else if (!streamSane) {
            g_Logger.InfoF("Entry set at disk offset %llu has an implausible stream entry - skipped",
                           static_cast<unsigned long long>(diskOffset));
            continue;
        }
        const bool damaged = !set.bChecksumOk || set.nValidDataLength > set.nDataLength;
        if (!set.bNameHashOk)
            g_Logger.InfoF("Entry set at disk offset %llu: the name does not match its length and hash",
                           static_cast<unsigned long long>(diskOffset));
        const bool deleted = insideDeleted || set.bDeleted;
        uint32_t key = 0;
        NodeEntry* node = MakeNode(set, diskOffset, deleted, &key);
        if (!node) return 0;
        node->entryDamaged = damaged ? 1 : 0;
        parent->AddChild(node);
        node->parent = parent;
        ++m_dwNodeCount;
        if (!set.IsDirectory()) continue;
        if (depth + 1 > kExFatMaxWalkDepth) {
            g_Logger.ErrorF("Folder [%s] lies deeper than %u levels - not walked", node->name, kExFatMaxWalkDepth);
        } else if (!deleted) {
            WalkLiveFolder(node, key, depth + 1);
        } else if (!insideDeleted) {
            m_deferred.push_back({node, key, depth + 1});
        } else {
            WalkDeletedFolder(node, key, depth + 1);
        }
        if (IsUserBreak()) return USER_BREAK_STATUS;
    }
    return 0;
}

std::vector<exfat::ClusterRun> CExFATParser::CutAtWalked(const std::vector<exfat::ClusterRun>& runs) const {
    std::vector<exfat::ClusterRun> own;
    for (const exfat::ClusterRun& r : runs)
        for (uint64_t c = r.dwFirst; c < uint64_t{r.dwFirst} + r.dwCount; ++c) {
            const auto cluster = static_cast<uint32_t>(c);
            if (m_walkedClusters.count(cluster) || m_liveFolderClusters.count(cluster)) return own;
            exfat::AppendCluster(&own, cluster);
        }
    return own;
}

void CExFATParser::WalkFolderData(NodeEntry* node, const std::vector<exfat::ClusterRun>& runs, uint64_t length,
                                  bool deleted, uint32_t depth, bool followPieces) {
    if (m_nHeldDirectoryBytes + length > kExFatMaxHeldDirectoryBytes) {
        g_Logger.ErrorF("Folder [%s] not walked: the folders above it hold too much data", node->name);
        return;
    }
    std::vector<uint8_t> data;
    if (!ReadRuns(runs, length, &data)) g_Logger.ErrorF("Part of folder [%s] could not be read", node->name);
    ByteView view(data.data(), data.size(), m_boot.ClusterByteOffset(runs.front().dwFirst));
    uint64_t content = length;
    if (deleted) {
        const uint64_t clusters = FolderContentClusters(view);
        if (clusters == 0) {
            g_Logger.InfoF("Deleted folder [%s]: Detected clusters do not contain directory content. Skipped.",
                           node->name);
            return;
        }
        g_Logger.InfoF("Deleted folder [%s]: %llu cluster(s) of folder content", node->name,
                       static_cast<unsigned long long>(clusters));
        content = std::min(length, clusters * m_boot.ClusterBytes());
    }
    // Only the clusters read as folder content count as walked.
    uint64_t mark = (content + m_boot.ClusterBytes() - 1) / m_boot.ClusterBytes();
    for (const exfat::ClusterRun& r : runs)
        for (uint64_t c = r.dwFirst; c < uint64_t{r.dwFirst} + r.dwCount && mark; ++c, --mark) {
            m_walkedClusters.insert(static_cast<uint32_t>(c));
            if (!deleted) m_liveFolderClusters.insert(static_cast<uint32_t>(c));
        }
    m_nHeldDirectoryBytes += data.size();
    const ByteView sets = view.Sub(0, static_cast<size_t>(content));
    size_t stop = kStoppedAtEndMark;
    ProcessDirectory(node, sets, deleted, depth, 0, 0, followPieces ? &stop : nullptr);
    m_nHeldDirectoryBytes -= data.size();
    if (stop == kStoppedAtEndMark) return;
    GrownFolder grown;
    grown.node = node;
    grown.depth = depth;
    grown.tail.assign(data.begin() + static_cast<ptrdiff_t>(stop), data.begin() + static_cast<ptrdiff_t>(content));
    grown.nClusters = mark;
    AddPieceCandidates(sets, &grown);
    m_grown.push_back(std::move(grown));
}

void CExFATParser::AddPieceCandidates(ByteView data, GrownFolder* folder) const {
    const uint64_t clusterBytes = m_boot.ClusterBytes();
    for (size_t off = 0; data.Has(off, exfat::kEntrySize);) {
        exfat::EntrySet set;
        const bool read = exfat::ReadEntrySet(data, off, m_upcase, &set);
        const bool cut =
            read && !set.bComplete && !data.Has(off, (size_t{set.bSecondaryCount} + 1) * exfat::kEntrySize);
        if (!read || !(set.bChecksumOk || cut) || !set.bHasStream) {
            off += exfat::kEntrySize;
            continue;
        }
        off += size_t{set.nEntries} * exfat::kEntrySize;
        if (set.nDataLength == 0 || !m_boot.IsHeapCluster(set.dwFirstCluster)) continue;
        folder->dataStarts.insert(set.dwFirstCluster);
        const uint64_t next = set.dwFirstCluster + (set.nDataLength + clusterBytes - 1) / clusterBytes;
        if (next <= 0xFFFFFFFFu && m_boot.IsHeapCluster(static_cast<uint32_t>(next)))
            folder->candidates.push_back(static_cast<uint32_t>(next));
    }
}

void CExFATParser::FollowFolderPieces(GrownFolder folder) {
    const uint64_t clusterBytes = m_boot.ClusterBytes();
    const uint64_t most = std::max<uint64_t>(1, kExFatMaxDirectoryBytes / clusterBytes);
    const uint64_t window = std::max<uint64_t>(1, kPieceWindowBytes / clusterBytes);
    while (folder.nClusters < most && !IsUserBreak()) {
        uint32_t start = 0;
        // The latest sets first: the folder grew after them.
        for (auto it = folder.candidates.rbegin(); it != folder.candidates.rend() && !start; ++it) {
            const uint32_t c = *it;
            if (m_folderStarts.count(c) || folder.dataStarts.count(c) || m_walkedClusters.count(c) ||
                m_liveFolderClusters.count(c))
                continue;
            // Whether a cluster holds folder content does not depend on who asks: each is
            // read at most once in a scan, however many folders point at it.
            if (!m_triedAsPiece.insert(c).second) continue;
            std::vector<uint8_t> one(static_cast<size_t>(clusterBytes));
            if (ReadBytes(m_boot.ClusterByteOffset(c), one.data(), one.size()) &&
                FolderContentClusters(ByteView(one.data(), one.size())) != 0)
                start = c;
        }
        if (!start) return;
        std::vector<exfat::ClusterRun> run;
        for (uint64_t k = start; k < uint64_t{start} + std::min(window, most - folder.nClusters); ++k) {
            const auto c = static_cast<uint32_t>(k);
            if (!m_boot.IsHeapCluster(c) || (k != start && (m_folderStarts.count(c) || folder.dataStarts.count(c))))
                break;
            exfat::AppendCluster(&run, c);
        }
        run = CutAtWalked(run);
        std::vector<uint8_t> data;
        ReadRuns(run, exfat::RunClusters(run) * clusterBytes, &data);
        const uint64_t content = FolderContentClusters(ByteView(data.data(), data.size()));
        if (content == 0) return;
        g_Logger.InfoF("Deleted folder [%s] goes on at cluster %u, after the data of an entry it holds",
                       folder.node->name, start);
        for (uint64_t c = start; c < start + content; ++c) m_walkedClusters.insert(static_cast<uint32_t>(c));
        folder.nClusters += content;
        // A set cut by the previous piece's end goes on at the start of this one.
        std::vector<uint8_t> joined = std::move(folder.tail);
        const uint64_t base = m_boot.ClusterByteOffset(start) - joined.size();
        joined.insert(joined.end(), data.begin(), data.begin() + static_cast<ptrdiff_t>(content * clusterBytes));
        const ByteView view(joined.data(), joined.size(), base);
        size_t stop = kStoppedAtEndMark;
        ProcessDirectory(folder.node, view, true, folder.depth, 0, 0, &stop);
        if (stop == kStoppedAtEndMark) return;
        folder.tail.assign(joined.begin() + static_cast<ptrdiff_t>(stop), joined.end());
        folder.candidates.clear();
        AddPieceCandidates(view, &folder);
    }
}

void CExFATParser::WalkLiveFolder(NodeEntry* node, uint32_t key, uint32_t depth) {
    const ExFatFileInfo info = m_files[key - 1];
    std::vector<exfat::ClusterRun> runs;
    bool viaChain = false;
    FileRuns(info, &runs, &viaChain, false);
    std::vector<exfat::ClusterRun> own = CutAtWalked(runs);
    if (own.empty()) {
        if (!runs.empty())
            g_Logger.InfoF("Folder [%s] starts on a cluster already walked - not walked again", node->name);
        return;
    }
    const uint64_t length =
        std::min({info.nDataLength, kExFatMaxDirectoryBytes, exfat::RunClusters(own) * m_boot.ClusterBytes()});
    WalkFolderData(node, own, length, false, depth);
}

uint64_t CExFATParser::FolderContentClusters(ByteView data) const {
    const uint64_t clusterBytes = m_boot.ClusterBytes();
    const uint64_t clusters = data.Size() / clusterBytes;
    std::vector<uint8_t> covered(static_cast<size_t>(clusters), 0);
    for (size_t off = 0; data.Has(off, exfat::kEntrySize);) {
        exfat::EntrySet set;
        if (!exfat::ReadEntrySet(data, off, m_upcase, &set) || !set.bChecksumOk) {
            off += exfat::kEntrySize;
            continue;
        }
        const uint64_t end = off + uint64_t{set.nEntries} * exfat::kEntrySize;
        for (uint64_t c = off / clusterBytes; c < clusters && c * clusterBytes < end; ++c) covered[c] = 1;
        off = static_cast<size_t>(end);
    }
    uint64_t count = 0;
    // The folder's content ends at its first cluster without a verified set; a cluster
    // that begins with the end mark ends it too.
    while (count < clusters && covered[count]) ++count;
    return count;
}

void CExFATParser::WalkDeletedFolder(NodeEntry* node, uint32_t key, uint32_t depth) {
    const ExFatFileInfo info = m_files[key - 1];
    std::vector<exfat::ClusterRun> runs;
    bool viaChain = false;
    FileRuns(info, &runs, &viaChain, false);
    if (runs.empty()) return;
    const uint32_t first = runs.front().dwFirst;
    if (m_liveFolderClusters.count(first)) {
        g_Logger.InfoF("Deleted folder [%s]: its first cluster %u belongs to a live folder - not walked", node->name,
                       first);
        return;
    }
    if (m_walkedClusters.count(first)) {
        g_Logger.InfoF("Deleted folder [%s]: its first cluster %u was walked already - not walked again", node->name,
                       first);
        return;
    }
    // The folder ends where a cluster of it is taken by a live folder or was read already.
    std::vector<exfat::ClusterRun> own = CutAtWalked(runs);
    const uint64_t length =
        std::min({exfat::RunClusters(own) * m_boot.ClusterBytes(), info.nDataLength, kExFatMaxDirectoryBytes});
    WalkFolderData(node, own, length, true, depth, !viaChain);
}

int CExFATParser::PrepareDirTree(int scale) {
    ClearTree();
    m_files.clear();
    m_liveFolderClusters.clear();
    m_walkedClusters.clear();
    m_deferred.clear();
    m_grown.clear();
    m_folderStarts.clear();
    m_triedAsPiece.clear();
    m_nHeldDirectoryBytes = 0;
    // Enough for every cluster's entry a few times over: a real volume's deleted chains
    // are short or gone, so only a crafted one reaches it.
    m_nChainStepLimit = m_fat.Steps() + 4 * uint64_t{m_boot.dwClusterCount} + (1u << 20);
    m_dwNodeCount = 0;
    if (!m_bVolumeUsable || m_rootRuns.empty()) {
        g_Logger.Error("Root directory is not available, the volume cannot be scanned");
        return EXFAT_SCAN_NO_VOLUME;
    }
    for (const exfat::ClusterRun& r : m_rootRuns)
        for (uint64_t c = r.dwFirst; c < uint64_t{r.dwFirst} + r.dwCount; ++c) {
            m_liveFolderClusters.insert(static_cast<uint32_t>(c));
            m_walkedClusters.insert(static_cast<uint32_t>(c));
        }
    const int liveEnd = scale * kLiveWalkShare / 100;
    ByteView root(m_rootData.data(), m_rootData.size(), m_boot.ClusterByteOffset(m_rootRuns.front().dwFirst));
    g_Logger.Info("Walking live folders");
    if (ProcessDirectory(&m_rootNode, root, false, 0, 0, liveEnd) == USER_BREAK_STATUS) return USER_BREAK_STATUS;
    g_Logger.InfoF("Walking %u deleted folder(s)", static_cast<unsigned>(m_deferred.size()));
    const size_t total = m_deferred.size();
    for (size_t i = 0; !m_deferred.empty(); ++i) {
        if (IsUserBreak()) return USER_BREAK_STATUS;
        DeferredFolder f = m_deferred.front();
        m_deferred.pop_front();
        WalkDeletedFolder(f.node, f.key, f.depth);
        SetProgress(nullptr, liveEnd + static_cast<int>((scale - liveEnd) * ((i + 1) / double(total))), 0);
    }
    // Every folder's first cluster is known now, so no piece can be taken from one.
    while (!m_grown.empty()) {
        if (IsUserBreak()) return USER_BREAK_STATUS;
        GrownFolder f = std::move(m_grown.front());
        m_grown.pop_front();
        FollowFolderPieces(std::move(f));
    }
    if (IsUserBreak()) return USER_BREAK_STATUS;
    g_Logger.InfoF("exFAT scan finished: %u entries", m_dwNodeCount);
    return 0;
}
