#include "fslib/ntfs/NTFSTreeBuilder.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>
#include <unordered_set>

#include "common/logger/Logger.h"
#include "fslib/core/JobState.h"
#include "fslib/core/MadeUpFolder.h"
#include "fslib/ntfs/NTFSParser.h"
#include "platform/Text.h"
#include "platform/Time.h"

int CNTFSParser::PrepareDirTree(int scale) {
    ReadClusterMap();
    g_Logger.Info("Cluster Map was successfully readed");
    const uint32_t count = m_dwMftRecordCount;
    // A volume that could not be prepared has no records to list: that is a failed scan,
    // not an empty volume.
    if (count == 0) return m_nPrepareStatus != 0 ? m_nPrepareStatus : -1;
    NTFSTreeBuilder builder(this, &m_rootNode, count);
    if (!builder.Allocate()) return 0;
    if (IsUserBreak()) return USER_BREAK_STATUS;
    m_bBatchReads = true;
    const int status = builder.Build(scale, m_bAttachOrphans != 0);
    m_dwNodeCount = builder.PlacedNodes();
    m_bBatchReads = false;
    m_dwBatchCount = 0;
    m_batch.clear();
    m_batch.shrink_to_fit();
    return status;
}

namespace {
bool IsAncestorOrSelf(const NodeEntry* candidate, const NodeEntry* node) {
    for (const NodeEntry* p = node; p; p = p->parent)
        if (p == candidate) return true;
    return false;
}

// The parent walk marks its lines with " - l".
void Step(bool inWalk, const char* plain, const char* walkLine) { g_Logger.Info(inWalk ? walkLine : plain); }
}  // namespace

NTFSTreeBuilder::NTFSTreeBuilder(CNTFSParser* parser, NodeEntry* root, uint32_t recordCount)
    : m_pParser(parser),
      m_pRoot(root),
      m_dwCount(recordCount),
      m_record(m_recordBuffer, 0, false, parser),
      m_parentRecord(m_parentBuffer, 0, false, parser) {}

bool NTFSTreeBuilder::Allocate() {
    try {
        // Room for the root's slot even when $MFT describes fewer records than that.
        m_lpDirMap.assign(std::max<uint32_t>(m_dwCount, ntfs::kFirstUserRecord), nullptr);
        m_pOrphans = std::make_unique<NodeEntry>(0, nullptr, 0, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int NTFSTreeBuilder::Build(int scale, bool attachOrphans) {
    m_pRoot->DetachChildren();
    m_lpDirMap[ntfs::kRootRecord] = m_pRoot;
    m_pRoot->attributes = FILE_ATTRIBUTE_DIRECTORY;
    g_Logger.Info("dir tree construction start...");
    g_Logger.Info("Trying to allocate memory for deleted files");
    g_Logger.Info("Memory for deleted files was successfully allocated");
    int status = WalkRecords(scale);
    if (status == 0 && attachOrphans) status = AttachOrphans();
    if (status != 0) {
        Discard();
        return status;
    }
    Finish();
    return 0;
}

inline void NTFSTreeBuilder::ReportProgress(int scale) {
    int progress = static_cast<int>(std::min<uint64_t>(uint64_t{m_stats.processed} * scale / m_dwCount, scale));
    if (progress == m_nLastProgress) return;
    m_nLastProgress = progress;
    SetProgress(nullptr, progress, 0);
}

int NTFSTreeBuilder::WalkRecords(int scale) {
    try {
        for (uint32_t n = ntfs::kFirstUserRecord; n < m_dwCount; ++n) {
            m_dwCurrent = n;
            if (IsUserBreak()) return USER_BREAK_STATUS;
            ReportProgress(scale);
            if (!AddRecord(n)) return USER_BREAK_STATUS;
        }
    } catch (const std::exception&) {
        if (m_bInWalk)
            g_Logger.Error("Exception while parsing the loop");
        else
            g_Logger.ErrorF("trap while parsing record %d", static_cast<int>(m_dwCurrent));
        return -1;
    }
    return 0;
}

bool NTFSTreeBuilder::AddRecord(uint32_t n) {
    // Made already as the parent of an earlier record.
    if (m_lpDirMap[n]) {
        ++m_stats.processed;
        return true;
    }
    g_Logger.InfoF("--> read MFT record %u", n);
    m_pParser->ReadMFTRecord(n, m_recordBuffer);
    m_record.Rebind(m_recordBuffer, n);
    if (m_record.IsExtensionRecord() || m_record.LocateRecordAttributes(0) != 0 || !m_record.GetFileName()) {
        g_Logger.Info("Passing the attribute assert");
        g_Logger.Info("Attribute assert was successfully passed");
        ++m_stats.processed;
        return true;
    }
    if (g_Logger.IsLevelEnabled(LOG_INFO)) LogRecordDump();
    if (m_record.AttributeListAttribute() >= 0) {
        g_Logger.Info("Defining attribute list for MFT entry");
        g_Logger.Info("Attribute list for MFT entry was successfully defined");
        ++m_stats.processed;
    }
    g_Logger.Info("Constructing node entry for MFT entry");
    NodeEntry* node = MakeNode(m_record, n, false);
    m_lpDirMap[n] = node;
    const bool mayHaveLinks = !node->IsDirectory() && m_record.MayHaveLinks();
    const uint32_t mainParent = mayHaveLinks ? m_record.ChosenNameParent() : m_record.GetParentDirectory();
    if (!PlaceUnderParent(node, mainParent)) return false;
    if (mayHaveLinks && !PlaceLinkNodes(n, node, mainParent)) return false;
    ++m_stats.processed;
    return true;
}

void NTFSTreeBuilder::LogRecordDump() {
    g_Logger.Info("------MFT RECORD DUMP------");
    g_Logger.InfoF("MFT record name --- %s", m_record.GetFileName());
    g_Logger.InfoF("MFT record parent dir --- %u", m_record.GetParentDirectory());
    g_Logger.InfoF("MFT record file size --- %u", static_cast<uint32_t>(m_record.GetFileSize()));
    g_Logger.InfoF("MFT record first cluster --- %u", static_cast<uint32_t>(m_record.GetFirstCluster()));
    g_Logger.InfoF("MFT record is directory --- %u", static_cast<uint32_t>(m_record.IsDirectory()));
    g_Logger.Info("------END OF MFT RECORD DUMP------");
    g_Logger.InfoF("file name: %s", m_record.GetFileName());
}

NodeEntry* NTFSTreeBuilder::MakeNode(CMFTRecord& record, uint32_t n, bool inWalk) {
    const bool isDir = record.IsDirectory() != 0;
    const bool deleted = !record.InUse();
    auto* node = new NodeEntry(n, record.GetFileName(), isDir ? FILE_ATTRIBUTE_DIRECTORY : 0, deleted ? 1 : 0);
    node->hasWideName = 1;
    if (deleted) {
        Step(inWalk, "Starting of putting deleted data for MFT entry",
             "Starting of putting deleted data for MFT entry - l");
        Step(inWalk, "Deleted data for MFT entry was generated", "Deleted data for MFT entry was generated - l");
        if (!isDir) {
            Step(inWalk, "Start of estimating damage level", "Start of estimating damage level - l");
            node->damageLevel = static_cast<float>(m_pParser->EstimateDamageLevel(&record));
            Step(inWalk, "Damage level was successfully estimated", "Damage level was successfully estimated - l");
        }
    } else if (isDir) {
        ++m_stats.normalFolders;
    } else {
        ++m_stats.normalFiles;
    }
    Step(inWalk, "Node entry for MFT entry was successfully constructed",
         "Node entry for MFT entry was successfully constructed - l");
    if (isDir)
        ++m_stats.totalFolders;
    else
        ++m_stats.totalFiles;
    Step(inWalk, "Start of getting file parametres(size, time, date)",
         "Start of getting file parametres(size, time, date) - l");
    node->size = record.GetFileSize();
    record.GetModifiedTime(&node->modifiedTime);
    record.GetCreatedTime(&node->createdTime);
    Step(inWalk, "End of getting file parametres(size, time, date)",
         "End of getting file parametres(size, time, date) - l");
    return node;
}

inline void NTFSTreeBuilder::Attach(NodeEntry* child, NodeEntry* parent) {
    parent->AddChild(child);
    child->parent = parent;
    ++m_dwPlaced;
}

bool NTFSTreeBuilder::PlaceUnderParent(NodeEntry* pending, uint32_t parent) {
    m_pUnplaced = pending;
    g_Logger.Info("!!!---Entering the parsing loop---!!!");
    m_bInWalk = true;
    while (true) {
        if (IsUserBreak()) return false;
        if (parent >= m_dwCount) {
            PlaceOrphan(pending, parent);
            break;
        }
        if (NodeEntry* target = m_lpDirMap[parent]) {
            // A parent that is a file, or one that lies below the pending node (a loop of
            // parent references), cannot take it.
            if (!target->IsDirectory() || IsAncestorOrSelf(pending, target))
                PlaceOrphan(pending, parent);
            else
                Attach(pending, target);
            break;
        }
        NodeEntry* parentNode = MakeParentNode(parent);
        if (!parentNode) {
            // The parent cannot be read: keep the entry, under a made-up folder.
            PlaceOrphan(pending, parent);
            break;
        }
        Attach(pending, parentNode);
        pending = parentNode;
        m_pUnplaced = pending;
        g_Logger.Info("Getting parent dir entry num - l");
        parent = m_parentRecord.GetParentDirectory();
        g_Logger.Info("End of getting parent dir for entry num - l");
    }
    m_pUnplaced = nullptr;
    m_bInWalk = false;
    g_Logger.Info("!!!---End the parsing loop---!!!");
    return true;
}

NodeEntry* NTFSTreeBuilder::MakeParentNode(uint32_t parent) {
    g_Logger.InfoF("read MFT record %u - l", parent);
    m_pParser->ReadMFTRecord(parent, m_parentBuffer);
    g_Logger.Info("Constructing the object - l");
    m_parentRecord.Rebind(m_parentBuffer, parent);
    g_Logger.Info("Object was successfully constructed - l");
    ++m_stats.processed;
    if (m_parentRecord.IsExtensionRecord() || m_parentRecord.LocateRecordAttributes(0) != 0 ||
        !m_parentRecord.GetFileName()) {
        g_Logger.Info("Passing the attribute assert - l");
        g_Logger.Info("Attribute assert was successfully passed - l");
        return nullptr;
    }
    g_Logger.InfoF("file name: %s - l", m_parentRecord.GetFileName());
    if (m_parentRecord.AttributeListAttribute() >= 0) {
        g_Logger.Info("Defining attribute list for MFT entry - l");
        g_Logger.Info("Attribute list for MFT entry was successfully defined - l");
    }
    g_Logger.Info("Constructing node entry for MFT entry - l");
    NodeEntry* node = MakeNode(m_parentRecord, parent, true);
    m_lpDirMap[parent] = node;
    return node;
}

void NTFSTreeBuilder::PlaceOrphan(NodeEntry* pending, uint32_t parentNumber) {
    auto it = m_madeUp.find(parentNumber);
    NodeEntry* folder;
    if (it != m_madeUp.end()) {
        folder = it->second;
    } else {
        g_Logger.Info("Trying to search entry in orphaned - l");
        folder =
            madeup::MakeFolder(parentNumber, "$$folder_" + std::to_string(parentNumber), platform::CurrentFileTime());
        m_pOrphans->AddChild(folder);
        m_madeUp.emplace(parentNumber, folder);
        g_Logger.Info("Search entry in orphaned was finished - l");
    }
    folder->AddChild(pending);
    pending->parent = folder;
    ++m_dwOrphanPlacements;
}

bool NTFSTreeBuilder::PlaceLinkNodes(uint32_t n, const NodeEntry* node, uint32_t mainParent) {
    std::vector<CMFTRecord::LinkName> links;
    m_record.GetLinkNames(&links);
    const char16_t* mainName = m_record.GetFileNameW();
    for (const CMFTRecord::LinkName& link : links) {
        // The DOS twin of a name is no link of its own.
        if (link.parent == mainParent && mainName && link.name == mainName) continue;
        std::string utf8 = platform::Utf16ToUtf8(link.name);
        if (utf8.empty()) continue;
        auto* twin = new NodeEntry(n, utf8.c_str(), node->attributes, node->isDeleted);
        twin->hasWideName = 1;
        twin->size = node->size;
        twin->modifiedTime = node->modifiedTime;
        twin->createdTime = node->createdTime;
        twin->damageLevel = node->damageLevel;
        ++m_stats.totalFiles;
        if (!node->isDeleted) ++m_stats.normalFiles;
        if (!PlaceUnderParent(twin, link.parent)) return false;
    }
    return true;
}

int NTFSTreeBuilder::AttachOrphans() {
    m_dwPlaced += m_dwOrphanPlacements;
    // A made-up name that the volume's root already holds gets a number after it.
    std::unordered_set<std::string> taken;
    if (m_pOrphans->HasChildren())
        for (const NodeEntry* child : m_pRoot->Children())
            if (child->name) taken.insert(child->name);
    while (NodeEntry* folder = m_pOrphans->FirstChild()) {
        if (IsUserBreak()) return USER_BREAK_STATUS;
        m_pOrphans->RemoveChild(folder);
        const std::string name = madeup::UniqueName(taken, folder->name);
        if (name != folder->name) folder->SetName(name.c_str());
        taken.insert(name);
        folder->parent = m_pRoot;
        m_pRoot->AddChild(folder);
        ++m_dwPlaced;
    }
    return 0;
}

void NTFSTreeBuilder::Finish() {
    g_Logger.Info("Deleting structures");
    m_lpDirMap.clear();
    m_lpDirMap.shrink_to_fit();
    g_Logger.Info("DIR_MAP WAS DELETED");
    m_pOrphans->Destroy();
    g_Logger.Info("End of deleting structures");
    g_Logger.Info("construction complete");
    g_Logger.InfoF("MFT size: %u records", m_dwCount);
    g_Logger.InfoF("normal files: %u", m_stats.normalFiles);
    g_Logger.InfoF("normal folders: %u", m_stats.normalFolders);
    g_Logger.InfoF("total files: %u", m_stats.totalFiles);
    g_Logger.InfoF("total folders: %u", m_stats.totalFolders);
}

void NTFSTreeBuilder::Discard() {
    delete m_pUnplaced;
    m_pUnplaced = nullptr;
    m_pOrphans->Destroy();
}
