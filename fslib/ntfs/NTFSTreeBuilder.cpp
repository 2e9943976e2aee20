// The NTFS scan: the cluster map, the damage estimate of deleted files, and the walk over
// every MFT record that builds the tree of live and deleted entries.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

#include "common/logger/Logger.h"
#include "fslib/ntfs/NTFSHandle.h"
#include "fslib/ntfs/NTFSParser.h"
#include "fslib/ntfs/NtfsLayout.h"
#include "platform/Text.h"
#include "platform/Time.h"

int CNTFSParser::ReadClusterMap() {
    uint32_t handle = OpenRecord(ntfs::kBitmapRecord);
    if (handle == INVALID_HANDLE || !NtfsHandle(handle)) return -1;
    m_clusterMap.Clear();
    uint32_t high = 0;
    uint64_t size = GetFileSize(handle, &high);
    size |= uint64_t{high} << 32;
    // The bitmap holds one bit per cluster, padded to 8 bytes.
    const uint64_t cap = TotalClusters() / 8 + 8;
    if (size > cap) size = cap;
    if (size == 0) {
        CloseFile(handle);
        return 0;
    }
    g_Logger.Info("Try to allocate memory for data buffer");
    g_Logger.InfoF("Size value is %d", static_cast<int>(size));
    std::vector<uint8_t> data;
    try {
        data.resize(size);
    } catch (const std::bad_alloc&) {
        CloseFile(handle);
        return -1;
    }
    g_Logger.Info("data buffer was successfully alocated");
    uint32_t read = 0;
    ReadFile(handle, data.data(), static_cast<uint32_t>(size), &read);
    m_clusterMap.Assign(data.data(), data.size());
    g_Logger.Info("data buffer deleting");
    data.clear();
    data.shrink_to_fit();
    g_Logger.Info("data buffer was deleted");
    CloseFile(handle);
    return 0;
}

float CNTFSParser::EstimateDamageLevel(uint32_t handle) {
    CNTFSHandle* h = NtfsHandle(handle);
    if (!h || !h->record) return 0.0f;
    return static_cast<float>(EstimateDamageLevel(h->record.get()));
}

double CNTFSParser::EstimateDamageLevel(CMFTRecord* record) {
    int data = record->DataAttribute();
    if (data < 0 || !record->AttributeView(data).U8(ntfs::kAttrNonResident)) return 0.0;
    g_Logger.Error("EstimateDamageLevel - trying to extract run list");
    std::vector<DataRun> runs;
    record->ExtractRunList(data, &runs);
    g_Logger.Error("EstimateDamageLevel - run list was successfully extracted");
    if (runs.empty()) {
        g_Logger.Error("EstimateDamageLevel - lpDataRunList is equal to null");
        return 0.0;
    }
    return DamageOfRuns(runs);
}

double CNTFSParser::DamageOfRuns(const std::vector<DataRun>& runs) const {
    // Holes of a sparse file hold no clusters that could have been overwritten.
    uint64_t total = 0, used = 0;
    for (const DataRun& run : runs) {
        if (run.IsSparse()) continue;
        total += run.length;
        used += m_clusterMap.CountUsed(run.firstCluster, run.length);
    }
    if (total == 0) return 0.0;
    return static_cast<double>(used) / static_cast<double>(total);
}

namespace {
struct BuildStats {
    uint32_t processed = 0;
    uint32_t normalFiles = 0, normalFolders = 0, totalFiles = 0, totalFolders = 0;
};

bool IsAncestorOrSelf(const NodeEntry* candidate, const NodeEntry* node) {
    for (const NodeEntry* p = node; p; p = p->parent)
        if (p == candidate) return true;
    return false;
}
}  // namespace

int CNTFSParser::PrepareDirTree(int scale) {
    ReadClusterMap();
    g_Logger.Info("Cluster Map was successfully readed");
    const uint32_t count = m_dwMftRecordCount;
    // A volume that could not be prepared has no records to list: that is a failed scan,
    // not an empty volume.
    if (count == 0) return m_nPrepareStatus != 0 ? m_nPrepareStatus : -1;
    std::vector<NodeEntry*> dirMap;
    std::unique_ptr<NodeEntry> orphans;
    try {
        // Room for the root's slot even when $MFT describes fewer records than that.
        dirMap.assign(std::max<uint32_t>(count, ntfs::kFirstUserRecord), nullptr);
        orphans = std::make_unique<NodeEntry>(0, nullptr, 0, 0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (IsUserBreak()) return USER_BREAK_STATUS;

    m_rootNode.DetachChildren();
    dirMap[ntfs::kRootRecord] = &m_rootNode;
    m_rootNode.attributes = FILE_ATTRIBUTE_DIRECTORY;
    g_Logger.Info("dir tree construction start...");
    BuildStats stats;
    m_dwNodeCount = 0;
    g_Logger.Info("Trying to allocate memory for deleted files");
    g_Logger.Info("Memory for deleted files was successfully allocated");

    std::unordered_map<uint32_t, NodeEntry*> madeUp;  // missing parent number -> its folder
    uint32_t orphanPlacements = 0;                    // counted once the folders join the tree
    NodeEntry* unplaced = nullptr;                    // the pending node of an interrupted walk
    auto finish = [&](int status) {
        if (status != 0) {
            delete unplaced;
            orphans->Destroy();
        }
        m_bBatchReads = false;
        m_dwBatchCount = 0;
        m_batch.clear();
        m_batch.shrink_to_fit();
        return status;
    };
    m_bBatchReads = true;

    uint8_t recordBuffer[ntfs::kMaxRecordSize];
    uint8_t parentBuffer[ntfs::kMaxRecordSize];
    // One object each for the records and their parents: their name buffers are reused.
    CMFTRecord rec(recordBuffer, 0, false, this);
    CMFTRecord prec(parentBuffer, 0, false, this);
    int lastProgress = -1;

    // Makes the node of a parsed record; walk marks the lines of the parent walk.
    auto makeNode = [&](CMFTRecord& rec, uint32_t n, bool walk) {
        auto line = [walk](const char* plain, const char* inWalk) { g_Logger.Info(walk ? inWalk : plain); };
        const bool isDir = rec.IsDirectory() != 0;
        const bool deleted = !rec.InUse();
        auto* node = new NodeEntry(n, rec.GetFileName(), isDir ? FILE_ATTRIBUTE_DIRECTORY : 0, deleted ? 1 : 0);
        node->hasWideName = 1;
        if (deleted) {
            line("Starting of putting deleted data for MFT entry",
                 "Starting of putting deleted data for MFT entry - l");
            line("Deleted data for MFT entry was generated", "Deleted data for MFT entry was generated - l");
            if (!isDir) {
                line("Start of estimating damage level", "Start of estimating damage level - l");
                node->damageLevel = static_cast<float>(EstimateDamageLevel(&rec));
                line("Damage level was successfully estimated", "Damage level was successfully estimated - l");
            }
        } else if (isDir) {
            ++stats.normalFolders;
        } else {
            ++stats.normalFiles;
        }
        line("Node entry for MFT entry was successfully constructed",
             "Node entry for MFT entry was successfully constructed - l");
        if (isDir)
            ++stats.totalFolders;
        else
            ++stats.totalFiles;
        line("Start of getting file parametres(size, time, date)",
             "Start of getting file parametres(size, time, date) - l");
        node->size = rec.GetFileSize();
        rec.GetModifiedTime(&node->modifiedTime);
        rec.GetCreatedTime(&node->createdTime);
        line("End of getting file parametres(size, time, date)",
             "End of getting file parametres(size, time, date) - l");
        return node;
    };

    // Hangs the pending node under a made-up folder for a parent that cannot be used.
    auto placeOrphan = [&](NodeEntry* pending, uint32_t parentNumber) {
        auto it = madeUp.find(parentNumber);
        NodeEntry* folder;
        if (it != madeUp.end()) {
            folder = it->second;
        } else {
            g_Logger.Info("Trying to search entry in orphaned - l");
            char name[32];
            std::snprintf(name, sizeof(name), "$$folder_%u", parentNumber);
            folder = new NodeEntry(parentNumber, name, FILE_ATTRIBUTE_DIRECTORY, 1);
            orphans->AddChild(folder);
            madeUp.emplace(parentNumber, folder);
            g_Logger.Info("Search entry in orphaned was finished - l");
            folder->modifiedTime = platform::CurrentFileTime();
        }
        folder->AddChild(pending);
        pending->parent = folder;
        ++orphanPlacements;
    };

    uint32_t current = 0;
    bool inWalk = false;
    // Places the pending node under the node of its parent, reading and making parent
    // folders on demand; false on a user break (the pending node then stays unplaced).
    auto walk = [&](NodeEntry* pending, uint32_t parent) {
        unplaced = pending;
        g_Logger.Info("!!!---Entering the parsing loop---!!!");
        inWalk = true;
        while (true) {
            if (IsUserBreak()) return false;
            if (parent >= count) {
                placeOrphan(pending, parent);
                break;
            }
            NodeEntry* target = dirMap[parent];
            if (target) {
                // A parent that is a file, or one that lies below the pending node
                // (a loop of parent references), cannot take it.
                if (!target->IsDirectory() || IsAncestorOrSelf(pending, target)) {
                    placeOrphan(pending, parent);
                    break;
                }
                target->AddChild(pending);
                pending->parent = target;
                ++m_dwNodeCount;
                break;
            }
            g_Logger.InfoF("read MFT record %u - l", parent);
            ReadMFTRecord(parent, parentBuffer);
            g_Logger.Info("Constructing the object - l");
            prec.Rebind(parentBuffer, parent);
            g_Logger.Info("Object was successfully constructed - l");
            ++stats.processed;
            if (prec.IsExtensionRecord() || prec.LocateRecordAttributes(0) != 0 || !prec.GetFileName()) {
                g_Logger.Info("Passing the attribute assert - l");
                g_Logger.Info("Attribute assert was successfully passed - l");
                // The parent cannot be read: keep the entry, under a made-up folder.
                placeOrphan(pending, parent);
                break;
            }
            g_Logger.InfoF("file name: %s - l", prec.GetFileName());
            if (prec.AttributeListAttribute() >= 0) {
                g_Logger.Info("Defining attribute list for MFT entry - l");
                g_Logger.Info("Attribute list for MFT entry was successfully defined - l");
            }
            g_Logger.Info("Constructing node entry for MFT entry - l");
            NodeEntry* parentNode = makeNode(prec, parent, true);
            dirMap[parent] = parentNode;
            parentNode->AddChild(pending);
            pending->parent = parentNode;
            ++m_dwNodeCount;
            pending = parentNode;
            unplaced = pending;
            g_Logger.Info("Getting parent dir entry num - l");
            parent = prec.GetParentDirectory();
            g_Logger.Info("End of getting parent dir for entry num - l");
        }
        unplaced = nullptr;
        inWalk = false;
        g_Logger.Info("!!!---End the parsing loop---!!!");
        return true;
    };

    try {
        for (uint32_t n = ntfs::kFirstUserRecord; n < count; ++n) {
            current = n;
            if (IsUserBreak()) return finish(USER_BREAK_STATUS);
            int progress = static_cast<int>(std::min<uint64_t>(uint64_t{stats.processed} * scale / count, scale));
            if (progress != lastProgress) {
                lastProgress = progress;
                SetProgress(nullptr, progress, 0);
            }
            if (dirMap[n]) {
                ++stats.processed;
                continue;
            }
            g_Logger.InfoF("--> read MFT record %u", n);
            ReadMFTRecord(n, recordBuffer);
            rec.Rebind(recordBuffer, n);
            if (rec.IsExtensionRecord() || rec.LocateRecordAttributes(0) != 0 || !rec.GetFileName()) {
                g_Logger.Info("Passing the attribute assert");
                g_Logger.Info("Attribute assert was successfully passed");
                ++stats.processed;
                continue;
            }
            if (g_Logger.IsLevelEnabled(LOG_INFO)) {
                g_Logger.Info("------MFT RECORD DUMP------");
                g_Logger.InfoF("MFT record name --- %s", rec.GetFileName());
                g_Logger.InfoF("MFT record parent dir --- %u", rec.GetParentDirectory());
                g_Logger.InfoF("MFT record file size --- %u", static_cast<uint32_t>(rec.GetFileSize()));
                g_Logger.InfoF("MFT record first cluster --- %u", static_cast<uint32_t>(rec.GetFirstCluster()));
                g_Logger.InfoF("MFT record is directory --- %u", static_cast<uint32_t>(rec.IsDirectory()));
                g_Logger.Info("------END OF MFT RECORD DUMP------");
                g_Logger.InfoF("file name: %s", rec.GetFileName());
            }
            if (rec.AttributeListAttribute() >= 0) {
                g_Logger.Info("Defining attribute list for MFT entry");
                g_Logger.Info("Attribute list for MFT entry was successfully defined");
                ++stats.processed;
            }
            g_Logger.Info("Constructing node entry for MFT entry");
            NodeEntry* pending = makeNode(rec, n, false);
            dirMap[n] = pending;
            const bool mayHaveLinks = !pending->IsDirectory() && rec.MayHaveLinks();
            const uint32_t mainParent = mayHaveLinks ? rec.ChosenNameParent() : rec.GetParentDirectory();
            if (!walk(pending, mainParent)) return finish(USER_BREAK_STATUS);
            // A file with several names (hard links) gets a node under each of its
            // folders; the DOS twin of a name is no link of its own.
            if (mayHaveLinks) {
                std::vector<CMFTRecord::LinkName> links;
                rec.GetLinkNames(&links);
                const char16_t* mainName = rec.GetFileNameW();
                for (const CMFTRecord::LinkName& link : links) {
                    if (link.parent == mainParent && mainName && link.name == mainName) continue;
                    std::string utf8 = platform::Utf16ToUtf8(link.name);
                    if (utf8.empty()) continue;
                    auto* twin = new NodeEntry(n, utf8.c_str(), pending->attributes, pending->isDeleted);
                    twin->hasWideName = 1;
                    twin->size = pending->size;
                    twin->modifiedTime = pending->modifiedTime;
                    twin->createdTime = pending->createdTime;
                    twin->damageLevel = pending->damageLevel;
                    ++stats.totalFiles;
                    if (!pending->isDeleted) ++stats.normalFiles;
                    if (!walk(twin, link.parent)) return finish(USER_BREAK_STATUS);
                }
            }
            ++stats.processed;
        }
    } catch (const std::exception&) {
        if (inWalk)
            g_Logger.Error("Exception while parsing the loop");
        else
            g_Logger.ErrorF("trap while parsing record %d", static_cast<int>(current));
        return finish(-1);
    }

    if (m_bAttachOrphans) {
        m_dwNodeCount += orphanPlacements;
        while (NodeEntry* folder = orphans->FirstChild()) {
            if (IsUserBreak()) return finish(USER_BREAK_STATUS);
            orphans->RemoveChild(folder);
            folder->parent = &m_rootNode;
            m_rootNode.AddChild(folder);
            ++m_dwNodeCount;
        }
    }
    g_Logger.Info("Deleting structures");
    dirMap.clear();
    dirMap.shrink_to_fit();
    g_Logger.Info("DIR_MAP WAS DELETED");
    orphans->Destroy();
    g_Logger.Info("End of deleting structures");
    g_Logger.Info("construction complete");
    g_Logger.InfoF("MFT size: %u records", count);
    g_Logger.InfoF("normal files: %u", stats.normalFiles);
    g_Logger.InfoF("normal folders: %u", stats.normalFolders);
    g_Logger.InfoF("total files: %u", stats.totalFiles);
    g_Logger.InfoF("total folders: %u", stats.totalFolders);
    return finish(0);
}
