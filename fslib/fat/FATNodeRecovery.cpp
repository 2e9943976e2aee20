// FAT recovery of a tree node: a file's clusters are read straight from the volume (its
// chain, then consecutive clusters while the size asks for more) and written out; a
// folder is recreated and its children recovered into it.
#include <algorithm>
#include <cstring>

#include "common/logger/Logger.h"
#include "fslib/core/NodeRecovery.h"
#include "fslib/core/RecoveredFiles.h"
#include "fslib/core/RecoveryTarget.h"
#include "fslib/fat/FATParser.h"

namespace {

// The mode that replaces an existing file instead of looking for a free name.
constexpr int kModeOverwrite = -10000;

// The clusters of a file: its chain, continued by consecutive clusters (a deleted
// file's FAT entries are free, so its chain is its first cluster alone).
class FileClusters {
public:
    explicit FileClusters(std::vector<uint32_t> chain) : m_chain(std::move(chain)) {}
    uint64_t At(uint64_t index) const {
        if (index < m_chain.size()) return m_chain[index];
        return uint64_t{m_chain.back()} + (index - m_chain.size() + 1);
    }

private:
    std::vector<uint32_t> m_chain;
};

}  // namespace

bool CFATParser::ReadNodeBytes(NodeEntry* node, const NodeRead& request, std::vector<uint8_t>* out) {
    const uint32_t clusterSize = ClusterSize();
    out->clear();
    if (!node || node->IsDirectory() || clusterSize == 0) return false;
    if (request.wholeFile && node->size > RequestEnd(request)) return false;
    if (request.offset >= node->size) return true;
    const uint64_t size = std::min<uint64_t>(node->size - request.offset, request.length);
    std::vector<uint32_t> chain;
    GetClusterChain(node->key, chain);
    if (chain.empty()) chain.push_back(node->key);
    FileClusters clusters(std::move(chain));
    out->assign(static_cast<size_t>(size), 0);
    std::vector<uint8_t> cluster(clusterSize);
    uint64_t index = request.offset / clusterSize;
    uint64_t from = request.offset % clusterSize;
    for (uint64_t done = 0; done < size; done += clusterSize - from, from = 0, ++index) {
        uint64_t c = clusters.At(index);
        std::fill(cluster.begin(), cluster.end(), 0);
        bool read = c >= 2 && c <= 0xFFFFFFFFu && ReadClusters(static_cast<uint32_t>(c), 1, cluster.data()) == 1;
        if (!read && request.unreadable == UnreadableSectors::Fail) return false;
        size_t n = static_cast<size_t>(std::min<uint64_t>(clusterSize - from, size - done));
        std::memcpy(out->data() + done, cluster.data() + from, n);
    }
    return true;
}

int CFATParser::RecoverFileClusters(NodeEntry* node, int target, const std::string& path) {
    const uint32_t clusterSize = ClusterSize();
    std::vector<uint32_t> chain;
    GetClusterChain(node->key, chain);
    if (chain.empty()) chain.push_back(node->key);
    FileClusters clusters(std::move(chain));
    if (CopyBufferSize() < clusterSize) AllocateCopyBuffer();
    if (CopyBufferSize() < clusterSize) return RECOVER_FAILED;
    const uint64_t bufferClusters = CopyBufferSize() / clusterSize;

    g_Logger.InfoNumber("Recovering file size[bytes]:", static_cast<long>(node->size));
    uint64_t remaining = node->size;
    uint64_t index = 0;
    // 512-byte disk sectors per cluster, for the sector-by-sector pass.
    constexpr uint64_t kDiskSector = 512;
    const uint64_t sectorsPerCluster = uint64_t{m_boot.bSectorsPerCluster} * m_dwDiskSectorsPerUnit;
    // Bytes [from, from + count) of the current buffer, as a range of the file cut at its size.
    auto noteZeros = [&](uint64_t from, uint64_t count) {
        uint64_t offset = index * clusterSize + from;
        if (offset < node->size) recovery::NoteZeroFilled(offset, std::min(count, node->size - offset));
    };
    while (remaining > 0) {
        if (IsUserBreak()) return RECOVER_USER_BREAK;
        // Only the clusters this file still needs are read.
        uint64_t wanted = std::min<uint64_t>(bufferClusters, (remaining + clusterSize - 1) / clusterSize);
        uint64_t gathered = 0;
        while (gathered < wanted) {
            if (IsUserBreak()) return RECOVER_USER_BREAK;
            // One read for each stretch of consecutive clusters.
            uint64_t first = clusters.At(index + gathered);
            uint64_t run = 1;
            while (gathered + run < wanted && clusters.At(index + gathered + run) == first + run) ++run;
            uint8_t* at = CopyBuffer() + gathered * clusterSize;
            std::memset(at, 0, run * clusterSize);
            bool readable = first >= 2 && first + run - 1 <= 0xFFFFFFFFu;
            if (readable && ReadClusters(static_cast<uint32_t>(first), static_cast<uint32_t>(run), at) != 1) {
                // A failed read zero-fills from the bad sector on; cluster by cluster,
                // then sector by sector, only the unreadable sectors lose data.
                for (uint64_t k = 0; k < run; ++k) {
                    uint8_t* one = at + k * clusterSize;
                    std::memset(one, 0, clusterSize);
                    if (ReadClusters(static_cast<uint32_t>(first + k), 1, one) == 1) continue;
                    g_Logger.ErrorF("unreadable data in cluster %llu of %s written as zeros",
                                    static_cast<unsigned long long>(first) + k, path.c_str());
                    const uint64_t firstSector = (first + k - 2) * sectorsPerCluster;
                    for (uint64_t s = 0; s < sectorsPerCluster; ++s) {
                        uint32_t bad = 0;
                        if (ReadVolumeSectorsSafe(firstSector + s, one + s * kDiskSector, 1, &bad) != 1) {
                            std::memset(one + s * kDiskSector, 0, kDiskSector);
                            noteZeros((gathered + k) * clusterSize + s * kDiskSector, kDiskSector);
                        }
                    }
                }
            } else if (!readable) {
                g_Logger.ErrorF("clusters %llu..%llu of %s lie outside the volume and are written as zeros",
                                static_cast<unsigned long long>(first),
                                static_cast<unsigned long long>(first + run - 1), path.c_str());
                noteZeros(gathered * clusterSize, run * clusterSize);
            }
            gathered += run;
        }
        uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(gathered * clusterSize, remaining));
        uint32_t written = 0;
        if (!platform::WriteFile(target, CopyBuffer(), bytes, &written)) {
            if (GetLastError() == ERROR_DISK_FULL) {
                g_Logger.Error("not enough disk space");
                return RECOVER_DISK_FULL;
            }
            // Going on would report a file with missing data as recovered.
            g_Logger.ErrorF("Error while writing to file %s, error %d", path.c_str(), static_cast<int>(GetLastError()));
            return RECOVER_FAILED;
        }
        remaining -= bytes;
        index += gathered;
    }
    return RECOVER_OK;
}

int CFATParser::RecoverNode(NodeEntry* node, const char* destination, uint32_t* files, uint32_t* folders, int nesting,
                            int mode, const char16_t* wideDestination) {
    try {
        if (IsUserBreak()) return RECOVER_USER_BREAK;
        if (!node || !destination || !files || !folders) return RECOVER_FAILED;
        if (recovery::NothingToRecover(node)) return RECOVER_OK;
        if (!node->name) return RECOVER_FAILED;
        g_Logger.InfoF("recovering node %s.", node->name);
        g_Logger.InfoF("node key is %u", node->key);
        g_Logger.Info("destination directory: ");

        g_Logger.Info("Detecting if current name is double dot");
        std::string name = recovery::NodeTargetName(node);
        if (name.empty()) return RECOVER_FAILED;
        g_Logger.InfoValue("Name successfully chosen ", name.c_str());
        g_Logger.Info("Detecting node path");
        g_Logger.InfoValue("Node path was successfully detected ", node->path);
        g_Logger.Info("Generating current path for recover");
        std::string target = recovery::JoinTarget(destination, recovery::MakeSafeName(name));
        g_Logger.InfoValue("Current path for recover was successfully generated ", target.c_str());
        g_Logger.Info("Detecting entry type");

        if (node->IsDirectory())
            return recovery::RecoverFolder(this, node, target, files, folders, mode,
                                           [](long index) { g_Logger.InfoNumber("Subentry passed number ", index); });

        g_Logger.Info("File detected. Processing..");
        if (IsUserBreak()) return RECOVER_USER_BREAK;
        if (ClusterSize() == 0) return -1;
        if (mode != kModeOverwrite) target = recovery::FindFreeName(target);
        platform::FileHandle out = platform::INVALID_FILE_HANDLE;
        switch (recovery::CreateTargetFile(destination, &target, &out)) {
            case recovery::CreateStatus::Created: break;
            case recovery::CreateStatus::PathNotFound: return RECOVER_PATH_NOT_FOUND;
            case recovery::CreateStatus::Failed: return RECOVER_FAILED;
        }
        g_Logger.InfoValue("Recovering file -", node->name);
        recovery::BeginWrittenFile();
        int result = node->size == 0 ? RECOVER_OK : RecoverFileClusters(node, out, target);
        if (result == RECOVER_OK) {
            recovery::NoteFileWritten(node, target, node->size);
            recovery::SetTargetTimes(out, node);
            ++*files;
            g_Logger.Info("File was successfully recovered");
        }
        platform::CloseFile(out);
        return result;
    } catch (...) {
        g_Logger.Error("!!!---Error while recovering---!!!");
        return RECOVER_FAILED;
    }
}
