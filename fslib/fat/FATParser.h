// FAT12/FAT16/FAT32 volume parser: volume parameters and allocation tables, cluster
// runs and chains, directory enumeration with long names, and the recursive walk that
// builds the deleted-file tree.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fslib/core/ByteView.h"
#include "fslib/core/FileSystemParser.h"
#include "fslib/fat/FATBootSector.h"
#include "fslib/fat/FATDirEntry.h"
#include "fslib/fat/FATFileRecord.h"

// Statuses of the directory walk.
constexpr int FAT_WALK_OK = 0;
constexpr int FAT_WALK_EMPTY = -3;
constexpr int FAT_WALK_NO_VOLUME = -1;
// Result of ReadDataStream when nothing could be read.
constexpr uint32_t FAT_STATUS_NO_DATA = 0xC0000009;
// Directory data larger than this is not read.
constexpr uint64_t kFatMaxDirectoryBytes = 0xA00000;
// Deepest directory level the walk descends to; real volumes stay far below it because
// a path holds at most 260 characters.
constexpr uint32_t kFatMaxWalkDepth = 128;
// Newer mirrors that may replace an older folder in one walk. Each replacement unlinks a
// node from a list of up to a directory's size; the bound keeps a crafted volume from
// making that quadratic.
constexpr uint32_t kFatMaxMirrorReplacements = 4096;

class CFATParser : public CFileSystemParser {
public:
    CFATParser(CDiskDrive* drive, const uint8_t* bootSector);
    ~CFATParser() override;

    // The scan's directory walk from the root (root node, 1.0 .. 100.0, the root cluster
    // as the only visited cluster, the root handle, depth 0). Nonzero on failure.
    int ProcessRootDirectory();
    // One directory of the walk: 0 = something was added under parent, -3 = nothing,
    // -1000 = user break.
    int ProcessDirectory(NodeEntry* parent, double progressStart, double progressEnd, std::vector<uint32_t>& visited,
                         uint32_t hDirectory, uint32_t depth);

    // Interface slots.
    uint32_t OpenDirectory(uint32_t hParent, const char* name) override;
    BOOL MoveFirstFile(uint32_t hDirectory, FindContext* ctx, int skip) override;
    BOOL MoveNextFile(FindContext* ctx, int skip) override;
    int CloseFindContext(const FindContext& ctx) override;
    BOOL IsDirectory(const FindContext& ctx) override;
    int ReadFindFileData(FindContext* ctx, FindData* out) override;
    BOOL GetFindFileName(const FindContext& ctx, std::string* out) override;
    int GetFindShortName(const FindContext& ctx, std::string* out) override;
    int ReadDirectoryData(uint32_t handle) override;
    uint32_t OpenFileByRef(FindContext* ctx) override;
    uint32_t SetFilePointer(uint32_t handle, LONG distanceLow, LONG* distanceHigh, int method) override;
    BOOL ReadFile(uint32_t handle, void* buffer, uint32_t count, uint32_t* read) override;
    uint32_t GetFileSize(uint32_t handle, uint32_t* high) override;
    void CloseFile(uint32_t handle) override;
    uint32_t ValidateDirectoryData(uint32_t handle, uint32_t* entryCount) override;

    // Entry plausibility: 0 = valid; bit 0 name rejected, bit 1 first cluster
    // implausible, -1 no short entry or larger than the volume, bit 4 exception.
    int GetValidFileNameA(const FindContext& ctx, const FindData* fd, std::string* out, int mode);
    int GetValidFileNameW(const FindContext& ctx, const FindData* fd, std::u16string* out, int mode);
    int GetValidFileName(const FindContext& ctx, const FindData* fd, std::u16string* out, int mode);
    using CFileSystemParser::GetValidFileName;
    using CFileSystemParser::GetValidFileNameA;
    using CFileSystemParser::GetValidFileNameW;

    // First entry is "." and second ".." (a directory's own first cluster).
    static bool IsDirectoryContent(ByteView data);

    // Per-variant operations.
    virtual uint32_t GetFATEntry(ByteView table, uint32_t cluster) const = 0;
    virtual uint32_t GetFirstCluster(ByteView entry) const = 0;

    // Cluster chains and runs over the FAT copy in memory.
    void GetClusterChain(uint32_t firstCluster, std::vector<uint32_t>& list) const;
    uint32_t GetContiguousRun(uint32_t startCluster, uint32_t* next) const;
    int BuildRunList(uint32_t firstCluster, std::vector<ClusterRun>* runs, uint32_t* runCount,
                     uint64_t* clusterCount) const;
    uint32_t ReadDataStream(const FATFileRecord& record, std::vector<uint8_t>* out);
    // The clusters that hold a file of `size` bytes starting at `firstCluster`: its FAT
    // chain (the first cluster alone when the chain is gone), then the clusters after the
    // last one until the size is covered (a deleted file's FAT entries are free), never
    // past the last cluster of the volume.
    void GetFileClusters(uint32_t firstCluster, uint64_t size, std::vector<uint32_t>& list) const;
    // Damage of a deleted file of `size` bytes from `firstCluster`: the share, 0.0 to 1.0,
    // of the clusters recovery would read that the FAT now gives to something (clusters
    // outside the data area count as lost).
    float EstimateFileDamage(uint32_t firstCluster, uint64_t size) const;
    // Clusters in [first, first + count) whose FAT entry is not free, or that lie outside
    // the data area.
    uint64_t CountAllocatedClusters(uint64_t first, uint64_t count) const;
    // Reads `count` clusters from `cluster` on; unreadable sectors arrive as zeros.
    // Returns the disk drive's status (1 = read), or kSeekFailed for a cluster below 2.
    int ReadClusters(uint32_t cluster, uint32_t count, uint8_t* buffer);

    uint32_t ClusterSize() const { return m_dwClusterSize; }
    uint32_t GetClusterLimit() const { return m_dwClusterLimit; }
    uint32_t GetFatEntryCount() const { return m_dwFatEntryCount; }
    // Highest cluster number the data area holds.
    uint32_t GetLastCluster() const { return m_dwLastCluster; }
    bool GetClusterHeap(ClusterHeap* out) override;
    bool IsClusterInUse(uint64_t cluster) override { return CountAllocatedClusters(cluster, 1) != 0; }
    uint32_t GetRootCluster() const { return m_dwRootCluster; }
    uint32_t GetDataStartSector() const { return m_dwFirstSector; }
    uint64_t GetVolumeSizeBytes() const { return m_nVolumeSize; }
    uint32_t GetFatSize() const { return m_dwFatSize; }
    bool HasFatTable() const { return m_pFatTable != nullptr; }
    bool IsVolumeUsable() const { return m_bVolumeUsable; }
    ByteView FatTable() const { return ByteView(m_pFatTable, m_pFatTable ? m_dwFatSize : 0); }
    ByteView SecondFatTable() const { return ByteView(m_pSecondFat, m_pSecondFat ? m_dwFatSize : 0); }
    // The copy buffer that recovery moves file data through: 500 clusters, replaced at
    // each call.
    void AllocateCopyBuffer();
    uint8_t* CopyBuffer() { return m_copyBuffer.data(); }
    uint32_t CopyBufferSize() const { return m_dwCopyBufferSize; }
    // Recovery of a node (FATNodeRecovery.cpp), and a file node's bytes read the same way.
    int RecoverNode(NodeEntry* node, const char* destination, uint32_t* files, uint32_t* folders, int nesting, int mode,
                    const char16_t* wideDestination) override;
    // Tree nodes have no file handles here: their bytes are read by cluster, as recovery
    // reads them.
    bool ReadNodeBytes(NodeEntry* node, const NodeRead& request, std::vector<uint8_t>* out) override;
    // Recovery moves file data through the copy buffer: a new one for each job.
    void BeginRecovery(const RecoverySettings& settings) override;
    int RecoverFileClusters(NodeEntry* node, int target, const std::string& path);

    // Handle record of a slot, or null.
    CFATHandle* GetFATHandle(uint32_t handle);

protected:
    int ScanVolume(const ScanSettings& settings) override;
    // Checks the boot sector against the drive; on failure logs it and leaves the parser
    // unusable (no FAT, no root directory). Returns false then.
    bool CheckGeometry();
    bool BootSectorMissing() const;
    // Appends to the handle table; emptied slots are not reused.
    uint32_t AppendHandle(std::unique_ptr<CFATHandle> handle);
    // Reads the boot-sector-sector range [sector, sector + count) of the volume
    // (boot-sector units) from the drive, absolute, zero-filling what cannot be read.
    bool ReadBootUnits(uint64_t sector, uint64_t count, uint8_t* buffer);

    // Nodes below `folder` that were deleted only because a folder above them was, made
    // live again under a live folder.
    void ReviveInheritedDeletions(NodeEntry* folder);
    // A deleted folder read past its first cluster (FATFolderPieces.cpp): the folder's
    // data in its handle grows by the clusters that go on with its entries.
    void FollowDeletedFolder(uint32_t hDirectory, const char* indent, const std::string& name);
    // A cluster that holds directory entries, not the start of a folder.
    bool IsDirectoryPiece(ByteView piece) const;
    bool IsPlausibleShortEntry(ByteView entry) const;
    // The first cluster from `cluster` on that is free and that no entry names as the
    // start of its data (`starts` and the walk's), passing over what is; 0 when none.
    uint32_t NextUnclaimedCluster(uint32_t cluster, const std::unordered_map<uint32_t, uint32_t>& starts) const;
    // First cluster -> clusters of the entries in `data`, and where each one's data ends.
    void NoteEntryStarts(ByteView data, std::unordered_map<uint32_t, uint32_t>* starts,
                         std::vector<uint32_t>* dataEnds) const;
    // A deleted FAT32 file entry whose first cluster's high word may have been cleared on
    // deletion (FATFirstCluster.cpp): the low word names a cluster in every 65,536.
    bool HighWordMayBeCleared(ByteView entry) const;
    // The first cluster taken for such an entry, logged; *damageFloor is the least damage
    // the choice allows: 0 for one candidate, 0.5 for several, 1 for none.
    uint32_t ChooseFirstCluster(ByteView entry, const std::string& name, const char* indent, float* damageFloor);
    // The walk's line saying how a deleted long name was taken.
    static void LogDeletedLongName(const char* indent, const std::string& name, fatdir::DeletedSetCheck check);
    // ReadFindFileData, optionally without the three times (the census needs none).
    int ReadFindEntry(FindContext* ctx, FindData* out, bool withTimes);
    // A DOS date and time (local) as UTC; the current time for zero or impossible ones.
    FILETIME DosToUtc(uint16_t date, uint16_t time);

    // Directory data of the context's handle, or an empty view.
    ByteView DirectoryData(uint32_t hDirectory);
    // The short entry that the entry at `offset` belongs to (past its long-name entries);
    // -1 when there is none.
    int64_t ShortEntryOffset(ByteView data, size_t offset);

    FATBootSector m_boot;
    uint32_t m_dwDiskSectorsPerUnit = 1;     // 512-byte disk sectors per boot-sector sector
    uint32_t m_dwClusterSize = 0;            // bytes
    std::vector<uint8_t> m_fatBuffer;        // first FAT
    std::vector<uint8_t> m_secondFatBuffer;  // FAT32 second copy
    const uint8_t* m_pFatTable = nullptr;
    const uint8_t* m_pSecondFat = nullptr;
    uint32_t m_dwFatSize = 0;
    uint32_t m_dwClusterLimit = 0;
    uint32_t m_dwFatEntryCount = 0;
    float m_fFatEntryWidth = 0.0f;
    uint32_t m_dwRootCluster = 0;
    uint32_t m_dwLastCluster = 0;
    bool m_bVolumeUsable = true;

    // Walk state: directory nodes by first cluster (mirror lookup) and the visited set.
    std::unordered_map<uint32_t, NodeEntry*> m_dirNodeByCluster;
    std::unordered_set<uint32_t> m_visitedSet;
    // Nodes whose own entry is live but which are deleted because a folder above them is:
    // they turn live again when a live folder takes their subtree over.
    std::unordered_set<const NodeEntry*> m_inheritedDeleted;
    uint32_t m_dwMirrorReplacements = 0;
    // First cluster -> clusters of the data of every entry the walk met, the clusters
    // taken as further pieces of deleted folders, and those read as a possible piece.
    std::unordered_map<uint32_t, uint32_t> m_entryStarts;
    std::unordered_set<uint32_t> m_pieceClusters;
    std::unordered_set<uint32_t> m_triedAsPiece;
    // The scan's content check (ScanSettings::contentMatcher), or empty.
    std::function<int(const std::string& name, const uint8_t* data, size_t size)> m_contentMatcher;
    std::u16string m_wValidName;  // last name accepted by GetValidFileNameW
    // How the deleted long name of the entry read last was checked, for the walk's log;
    // empty when that entry had none.
    std::optional<fatdir::DeletedSetCheck> m_lastDeletedSet;
    static constexpr size_t kTimeCacheLimit = 1 << 16;
    std::unordered_map<uint32_t, FILETIME> m_timeCache;
    std::vector<uint8_t> m_copyBuffer;
    uint32_t m_dwCopyBufferSize = 0;
    // Allocated clusters below each 4096-cluster block boundary, built at the first
    // damage estimate (the FAT in memory does not change after preparation).
    void BuildAllocationSummary() const;
    uint64_t AllocationTableEnd() const;
    mutable std::vector<uint32_t> m_allocatedBefore;
};

class CFAT12Parser : public CFATParser {
public:
    CFAT12Parser(CDiskDrive* drive, const uint8_t* bootSector);
    int PrepareVolume() override;
    uint32_t OpenRootDirectory() override;
    uint32_t OpenDirectoryByRef(FindContext* ctx) override;
    uint32_t GetFATEntry(ByteView table, uint32_t cluster) const override;
    uint32_t GetFirstCluster(ByteView entry) const override;

protected:
    // For CFAT16Parser: sets the width and limit but runs no preparation.
    CFAT12Parser(CDiskDrive* drive, const uint8_t* bootSector, uint8_t type, float width, uint32_t limit);
};

class CFAT16Parser final : public CFAT12Parser {
public:
    CFAT16Parser(CDiskDrive* drive, const uint8_t* bootSector);
    uint32_t GetFATEntry(ByteView table, uint32_t cluster) const override;
};

class CFAT32Parser final : public CFATParser {
public:
    // `third` is kept for the caller's sake and not used.
    CFAT32Parser(CDiskDrive* drive, const uint8_t* bootSector, int third);
    int PrepareVolume() override;
    uint32_t OpenRootDirectory() override;
    uint32_t GetFATEntry(ByteView table, uint32_t cluster) const override;
    uint32_t GetFirstCluster(ByteView entry) const override;
};
