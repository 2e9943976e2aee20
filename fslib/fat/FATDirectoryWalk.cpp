// The recursive walk over a FAT volume's directories that builds the tree of live and
// deleted files and folders, with the census and plausibility checks it relies on.
#include <cmath>

#include "common/logger/Logger.h"
#include "fslib/fat/FATDirEntry.h"
#include "fslib/fat/FATParser.h"
#include "platform/Text.h"

using fatdir::kEntrySize;

namespace {
constexpr size_t kMaxIndent = 254;
constexpr int kValidException = 0x10;

bool IsAncestorOrSelf(const NodeEntry* candidate, const NodeEntry* node) {
    // Parent chains are as deep as the walk, which is capped.
    for (const NodeEntry* n = node; n; n = n->parent)
        if (n == candidate) return true;
    return false;
}

// Moves the children of `from` under `to`.
void MoveChildren(NodeEntry* from, NodeEntry* to) {
    std::vector<NodeEntry*> children;
    for (NodeEntry* c : from->Children()) children.push_back(c);
    from->DetachChildren();
    for (NodeEntry* c : children) {
        to->AddChild(c);
        c->parent = to;
    }
}

}  // namespace

bool CFATParser::IsDirectoryContent(ByteView data) {
    if (!data.Has(0, 2 * kEntrySize)) return false;
    const uint8_t attributes = data.U8(fatdir::kAttributes);
    return (attributes & fatdir::kAttrDirectory) && !(attributes & fatdir::kAttrVolumeLabel) &&
           data.Equals(0, ".       ", 8) && data.Equals(kEntrySize, "..      ", 8);
}

int CFATParser::GetValidFileNameA(const FindContext& ctx, const FindData* fd, std::string* out, int mode) {
    int status = 0;
    try {
        std::string name;
        SetLastError(ERROR_SUCCESS);
        if (CFileSystemParser::GetValidFileNameA(ctx.hDirectory, fd, &name, mode) == 0) {
            if (out) *out = name;
        } else {
            status = 1;
        }
        if (ctx.dwPosition == 0) return -1;
        ByteView data = DirectoryData(ctx.hDirectory);
        int64_t s = ShortEntryOffset(data, ctx.dwPosition - 1);
        if (s < 0) return -1;
        ByteView entry = data.Sub(static_cast<size_t>(s), kEntrySize);
        const uint32_t size = entry.U32(fatdir::kFileSize);
        const uint32_t cluster = GetFirstCluster(entry);
        if ((size != 0 && cluster < 2) || cluster > m_dwClusterLimit) status |= 2;
        if (uint64_t{size} > m_nVolumeSize) status = -1;
    } catch (...) {
        status |= kValidException;
    }
    return status;
}

int CFATParser::GetValidFileNameW(const FindContext& ctx, const FindData* fd, std::u16string* out, int mode) {
    std::string name;
    int status = GetValidFileNameA(ctx, fd, &name, mode);
    if (status == -1) return status;
    m_wValidName = platform::Utf8ToUtf16(name);
    if (m_wValidName.size() > static_cast<size_t>(MAX_PATH)) m_wValidName.resize(MAX_PATH);
    if (out) *out = m_wValidName;
    return status;
}

int CFATParser::GetValidFileName(const FindContext& ctx, const FindData* fd, std::u16string* out, int mode) {
    return GetValidFileNameW(ctx, fd, out, mode);
}

uint32_t CFATParser::ValidateDirectoryData(uint32_t handle, uint32_t* entryCount) {
    g_Logger.Info("CFATParser::ValidateDirectoryData - Start validating directory data");
    g_Logger.InfoF("hDirectory id is -> %d", static_cast<int>(handle));
    FindContext ctx;
    if (!MoveFirstFile(handle, &ctx, 0)) return 1;
    uint32_t total = 0;
    uint32_t valid = 0;
    try {
        FindData fd;
        // MoveNextFile only ever moves forward through data of bounded size.
        do {
            ++total;
            ReadFindEntry(&ctx, &fd, false);
            if (GetValidFileName(ctx, &fd, nullptr, 1) == 0) ++valid;
        } while (MoveNextFile(&ctx, 0));
        g_Logger.Info("CFATParser::ValidateDirectoryData - Data validation in directory finished with success");
    } catch (...) {
        g_Logger.ErrorNumber("!!--ERROR IN VALIDATEDIRECTORYDATA() on step", static_cast<long>(valid));
    }
    if (entryCount) *entryCount = total;
    if (total != 0 && valid == 0) {
        g_Logger.Error("No files found in directory");
        return static_cast<uint32_t>(-1);
    }
    return valid;
}

void CFATParser::LogDeletedLongName(const char* indent, const std::string& name, fatdir::DeletedSetCheck check) {
    switch (check) {
        case fatdir::DeletedSetCheck::RebuiltChecksum:
            g_Logger.InfoF(
                "%sDeleted long name [%s] kept whole: its checksum matches the short name rebuilt from its "
                "first character",
                indent, name.c_str());
            break;
        case fatdir::DeletedSetCheck::EntriesAgree:
            g_Logger.InfoF("%sDeleted long name [%s] kept whole: its entries agree with one another", indent,
                           name.c_str());
            break;
        case fatdir::DeletedSetCheck::Inconsistent:
            g_Logger.InfoF(
                "%sDeleted long name [%s] does not match its short entry: its first character is shown "
                "as '_'",
                indent, name.c_str());
            break;
    }
}

int CFATParser::ProcessRootDirectory() {
    if (!m_bVolumeUsable || m_hRootDirectory == INVALID_HANDLE || !GetFATHandle(m_hRootDirectory)) {
        g_Logger.Error("Root directory is not available, the volume cannot be scanned");
        return FAT_WALK_NO_VOLUME;
    }
    m_dirNodeByCluster.clear();
    m_visitedSet.clear();
    m_inheritedDeleted.clear();
    m_dwMirrorReplacements = 0;
    m_entryStarts.clear();
    m_pieceClusters.clear();
    m_triedAsPiece.clear();
    m_visitedSet.insert(m_dwRootCluster);
    std::vector<uint32_t> visited{m_dwRootCluster};
    const int status = ProcessDirectory(&m_rootNode, 1.0, 100.0, visited, m_hRootDirectory, 0);
    m_inheritedDeleted.clear();
    return status;
}

void CFATParser::ReviveInheritedDeletions(NodeEntry* folder) {
    // Explicit stack: the subtree may be as deep as the walk allows.
    std::vector<NodeEntry*> pending{folder};
    while (!pending.empty()) {
        NodeEntry* f = pending.back();
        pending.pop_back();
        if (f->isDeleted) continue;
        for (NodeEntry* c : f->Children()) {
            if (m_inheritedDeleted.erase(c) == 0) continue;
            c->isDeleted = 0;
            c->damageLevel = 0.0f;
            if (c->IsDirectory()) pending.push_back(c);
        }
    }
}

// The walk of one folder keeps its entries' log lines in the order the stored scan logs hold them.
// NOLINTNEXTLINE(readability-function-size)
int CFATParser::ProcessDirectory(NodeEntry* parent, double progressStart, double progressEnd,
                                 std::vector<uint32_t>& visited, uint32_t hDirectory, uint32_t depth) {
    const std::string indent(std::min<size_t>(size_t{depth} * 3, kMaxIndent), ' ');
    const char* ind = indent.c_str();
    g_Logger.InfoF("%sDirectory %d validating.", ind, static_cast<int>(hDirectory));
    uint32_t count = 0;
    ValidateDirectoryData(hDirectory, &count);
    if (count == 0) return FAT_WALK_EMPTY;
    g_Logger.InfoF("%sDirectory validated. Files Count in Directory %d.", ind, static_cast<int>(count));
    if (IsUserBreak()) return USER_BREAK_STATUS;

    const double step = (progressEnd - progressStart) / (count + 1.0);
    double current = progressStart;
    int lastReported = 0;

    g_Logger.InfoF("%sTrying to find first file...", ind);
    auto fd = std::make_unique<FindData>();
    FindContext* find = FindFirstByHandle(hDirectory, fd.get());
    g_Logger.InfoF("%sFirst file handle: 0x%Xh, data structure handle: 0x%Xh.", ind,
                   find ? static_cast<unsigned>(reinterpret_cast<uintptr_t>(find)) : INVALID_HANDLE,
                   static_cast<unsigned>(fd->dwFileAttributes));
    if (!find) return FAT_WALK_OK;
    g_Logger.InfoF("%sDirectory Files processing started...", ind);

    uint32_t added = 0;
    std::string validName;
    do {
        if (IsUserBreak()) {
            FindClose(find);
            return USER_BREAK_STATUS;
        }
        current += step;
        const int position = static_cast<int>(std::floor(current));
        if (position != lastReported) {
            SetProgress(nullptr, position, 0);
            lastReported = position;
        }
        const std::string& name = fd->cFileName;
        if (name == "." || name == "..") {
            g_Logger.InfoF("%sDirectory [%s]  - skipped", ind, name.c_str());
            continue;
        }
        const std::optional<fatdir::DeletedSetCheck> deletedSet = m_lastDeletedSet;
        g_Logger.InfoF("%sValidating file reference...", ind);
        const int valid = GetValidFileNameA(*find, fd.get(), &validName, 0);
        if (valid != 0) {
            g_Logger.InfoF("%sFile reference is not valid. - skipped, return code = %u", ind,
                           static_cast<unsigned>(valid));
            continue;
        }
        // ReadFindFileData left the context on the short entry.
        ByteView entry = DirectoryData(find->hDirectory).Sub(find->dwPosition - 1, kEntrySize);
        const uint32_t cluster = GetFirstCluster(entry);
        if (cluster >= m_dwClusterLimit) continue;
        g_Logger.InfoF("%sFile reference cluster number %d.", ind, static_cast<int>(cluster));
        // Where this entry's data lies, so that a deleted folder followed later passes it.
        if (cluster >= 2 && m_dwClusterSize != 0) {
            const uint64_t bytes = fd->IsDirectory() ? 1 : entry.U32(fatdir::kFileSize);
            m_entryStarts.emplace(cluster, static_cast<uint32_t>((bytes + m_dwClusterSize - 1) / m_dwClusterSize));
        }
        std::string nodeName = name;
        if (!nodeName.empty() && static_cast<uint8_t>(nodeName[0]) == fatdir::kDeletedMark) nodeName[0] = '_';
        const uint8_t deleted = (fatdir::IsDeleted(entry) || parent->isDeleted) ? 1 : 0;
        if (deletedSet) LogDeletedLongName(ind, nodeName, *deletedSet);

        if (fd->IsDirectory()) {
            g_Logger.InfoF("%s--- Directory: [%s] ", ind, nodeName.c_str());
            const uint32_t hSub = OpenDirectoryByRef(find);
            if (hSub == INVALID_HANDLE) continue;
            g_Logger.InfoNumber("Handle for directory was created. Handle is", static_cast<long>(hSub));
            auto release = [this, hSub] {
                if (GetFATHandle(hSub)) CloseFile(hSub);
            };
            if (!IsDirectoryContent(DirectoryData(hSub))) {
                g_Logger.Info("Detected clusters do not contain directory content. Skipped.");
                release();
                continue;
            }
            g_Logger.Info("Directory clusters were validated.");
            g_Logger.InfoF("%s<<< Start [%s] directory processing. Handle: %d", ind, nodeName.c_str(),
                           static_cast<int>(hSub));
            if (entry.U8(0) == fatdir::kEndMark) {
                release();
                continue;
            }
            const bool mirror = m_visitedSet.count(cluster) != 0;
            if (mirror)
                g_Logger.InfoF("%s>>> Mirror detected on cluster %d. Directory skipped.", ind,
                               static_cast<int>(cluster));
            visited.push_back(cluster);
            m_visitedSet.insert(cluster);

            auto* node = new NodeEntry(cluster, nodeName.c_str(), FILE_ATTRIBUTE_DIRECTORY, deleted);
            node->modifiedTime = fd->ftLastWriteTime;
            node->createdTime = fd->ftCreationTime;
            bool descend = false;
            auto place = [&] {
                parent->AddChild(node);
                node->parent = parent;
                ++m_dwNodeCount;
                m_dirNodeByCluster.emplace(cluster, node);
            };
            auto found = m_dirNodeByCluster.end();
            if (mirror && cluster > 1) found = m_dirNodeByCluster.find(cluster);
            if (!mirror || cluster <= 1 || found == m_dirNodeByCluster.end()) {
                place();
                descend = true;
            } else if ((node->isDeleted != 0) != (found->second->isDeleted != 0) &&
                       !IsAncestorOrSelf(found->second, parent)) {
                // A live folder owns its cluster whatever the times: the deleted one's
                // contents are gone and it stays behind as an empty deleted folder.
                NodeEntry* older = found->second;
                if (node->isDeleted) {
                    parent->AddChild(node);
                    node->parent = parent;
                    ++m_dwNodeCount;
                } else {
                    g_Logger.InfoValue("Currently parsing directory is the live owner of the cluster of ", older->name);
                    MoveChildren(older, node);
                    ReviveInheritedDeletions(node);
                    found->second = node;
                    parent->AddChild(node);
                    node->parent = parent;
                    ++m_dwNodeCount;
                }
            } else if (static_cast<int64_t>(node->createdTime) > static_cast<int64_t>(found->second->createdTime) &&
                       !IsAncestorOrSelf(found->second, parent) && m_dwMirrorReplacements < kFatMaxMirrorReplacements) {
                // The newer copy takes the older one's place and keeps its subtree.
                NodeEntry* older = found->second;
                g_Logger.InfoValue("Currently parsing directory is a newer mirror of ", older->name);
                if (++m_dwMirrorReplacements == kFatMaxMirrorReplacements)
                    g_Logger.Error("Too many directory mirrors; further newer mirrors are skipped");
                // Nodes in the index are always placed; a placed node is unlinked here.
                const bool wasPlaced = older->parent != nullptr;
                if (wasPlaced) older->parent->RemoveChild(older);
                MoveChildren(older, node);
                found->second = node;
                parent->AddChild(node);
                node->parent = parent;
                ++m_dwNodeCount;
                descend = !wasPlaced;
                m_inheritedDeleted.erase(older);
                delete older;
            } else {
                // An older copy, or one that would hang a folder below itself.
                delete node;
                node = nullptr;
            }
            if (node && deleted && !fatdir::IsDeleted(entry)) m_inheritedDeleted.insert(node);
            if (descend && depth + 1 > kFatMaxWalkDepth) {
                g_Logger.ErrorF("%sDirectory [%s] lies deeper than %u levels - not walked", ind, nodeName.c_str(),
                                kFatMaxWalkDepth);
            } else if (descend) {
                FollowDeletedFolder(hSub, ind, nodeName);
                if (ProcessDirectory(node, current, current + step, visited, hSub, depth + 1) == 0)
                    g_Logger.InfoF("%s>>>Accomplished [%s] directory processing.", ind, nodeName.c_str());
            }
            release();
        } else {
            g_Logger.InfoF("%s--- File: %s ", ind, nodeName.c_str());
            float damageFloor = 0.0f;
            uint32_t first = cluster;
            if (HighWordMayBeCleared(entry)) {
                first = ChooseFirstCluster(entry, nodeName, ind, &damageFloor);
                m_entryStarts.emplace(first, m_entryStarts[cluster]);
            }
            auto* node = new NodeEntry(first, nodeName.c_str(), 0, deleted);
            node->size = entry.U32(fatdir::kFileSize);
            node->modifiedTime = fd->ftLastWriteTime;
            node->createdTime = fd->ftCreationTime;
            if (deleted) node->damageLevel = std::max(EstimateFileDamage(first, node->size), damageFloor);
            if (deleted && !fatdir::IsDeleted(entry)) m_inheritedDeleted.insert(node);
            parent->AddChild(node);
            node->parent = parent;
            ++m_dwNodeCount;
        }
        ++added;
    } while (FindNextFile(find, fd.get()));
    FindClose(find);
    return added ? FAT_WALK_OK : FAT_WALK_EMPTY;
}
