// The exFAT volume parser: boot region, FAT, allocation bitmap and up-case table, the
// directory entry sets, the walk that builds the tree of live and deleted entries, and
// file content through handles for the shared recovery.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_set>
#include <vector>

#include "fslib/core/ByteView.h"
#include "fslib/core/FileSystemParser.h"
#include "fslib/exfat/ExFatBitmap.h"
#include "fslib/exfat/ExFatBootSector.h"
#include "fslib/exfat/ExFatEntrySet.h"
#include "fslib/exfat/ExFatTable.h"
#include "fslib/exfat/ExFatUpcase.h"

// Where a file's data lies, as its stream extension says; a tree node's key is 1 + its
// index in the parser's table of these (exFAT has no record numbers, and first clusters
// are neither unique nor enough to read a file again).
struct ExFatFileInfo {
    uint64_t nDataLength = 0;
    uint64_t nValidDataLength = 0;
    uint32_t dwFirstCluster = 0;
    uint8_t bStreamFlags = 0;
    uint8_t bDirectory = 0;

    bool NoFatChain() const { return (bStreamFlags & exfat::kFlagNoFatChain) != 0; }
};

// Statuses of the scan besides 0 and the user break.
constexpr int EXFAT_SCAN_NO_VOLUME = -1;
// Directory data larger than this is not read (exFAT allows 256 MiB; real folders of a
// million files stay below it).
constexpr uint64_t kExFatMaxDirectoryBytes = 64ull << 20;
// Deepest folder level the walk descends to.
constexpr uint32_t kExFatMaxWalkDepth = 128;
// Folder data the walk holds at once, over all levels of a descent.
constexpr uint64_t kExFatMaxHeldDirectoryBytes = 256ull << 20;

class CExFATParser final : public CFileSystemParser {
public:
    // Takes ownership of drive; checks the boot region, reads the root directory and the
    // metadata it names, and opens the root directory.
    CExFATParser(CDiskDrive* drive, const uint8_t* bootSector);
    ~CExFATParser() override;

    int PrepareVolume() override;                                                                         // slot 1
    uint32_t OpenRootDirectory() override;                                                                // slot 2
    uint32_t OpenDirectory(uint32_t hParent, const char* name) override;                                  // slot 3
    BOOL MoveFirstFile(uint32_t hDirectory, FindContext* ctx, int skip) override;                         // slot 4
    BOOL MoveNextFile(FindContext* ctx, int skip) override;                                               // slot 5
    int CloseFindContext(const FindContext& ctx) override;                                                // slot 6
    BOOL IsDirectory(const FindContext& ctx) override;                                                    // slot 7
    int ReadFindFileData(FindContext* ctx, FindData* out) override;                                       // slot 8
    BOOL GetFindFileName(const FindContext& ctx, std::string* out) override;                              // slot 9
    int GetFindShortName(const FindContext& ctx, std::string* out) override;                              // slot 10
    int ReadDirectoryData(uint32_t handle) override;                                                      // slot 11
    uint32_t OpenFileByRef(FindContext* ctx) override;                                                    // slot 20
    uint32_t SetFilePointer(uint32_t handle, LONG distanceLow, LONG* distanceHigh, int method) override;  // slot 22
    BOOL ReadFile(uint32_t handle, void* buffer, uint32_t count, uint32_t* read) override;                // slot 23
    uint32_t GetFileSize(uint32_t handle, uint32_t* high) override;                                       // slot 24
    void CloseFile(uint32_t handle) override;                                                             // slot 25
    int PrepareDirTree(int scale) override;                                                               // slot 28
    uint32_t OpenFileByTreeRef(NodeEntry* node) override;                                                 // slot 41
    float EstimateDamageLevel(uint32_t handle) override;                                                  // slot 43

    // The clusters recovery reads for a file: contiguous from its first cluster when it
    // has no FAT chain, else its chain while that is plausible, else consecutive clusters.
    // Clusters past the heap's end are left out. *viaChain says which way was taken.
    // `bounded` (the damage estimates of a scan) follows chains only within the scan's
    // step budget, so a volume of long crossing chains cannot make the scan quadratic.
    void FileRuns(const ExFatFileInfo& info, std::vector<exfat::ClusterRun>* runs, bool* viaChain, bool log,
                  bool bounded = false);
    // Share of those clusters that the allocation bitmap gives to live files now.
    float DamageOf(const ExFatFileInfo& info);
    // The table entry a tree node's key names, or null.
    const ExFatFileInfo* FileInfoOfNode(const NodeEntry* node) const;

    bool IsVolumeUsable() const { return m_bVolumeUsable; }
    const exfat::BootSector& Boot() const { return m_boot; }
    uint64_t ClusterBytes() const { return m_boot.ClusterBytes(); }
    const std::string& VolumeLabel() const { return m_szVolumeLabel; }
    bool BitmapLoaded() const { return m_bitmap.Loaded(); }
    bool GetClusterHeap(ClusterHeap* out) override;
    bool IsClusterInUse(uint64_t cluster) override { return m_bitmap.IsAllocated(cluster); }

protected:
    int ScanVolume(const ScanSettings& settings) override;

private:
    struct DeferredFolder {
        NodeEntry* node;
        uint32_t key;
        uint32_t depth;
    };
    // A deleted folder without a usable chain whose content ran to the end of what was read
    // of it: it may have grown in pieces elsewhere. The tail is a set cut by that end.
    struct GrownFolder {
        NodeEntry* node = nullptr;
        uint32_t depth = 0;
        std::vector<uint8_t> tail;
        std::vector<uint32_t> candidates;         // where the next piece may begin, latest last
        std::unordered_set<uint32_t> dataStarts;  // first clusters its entries name: never a piece
        uint64_t nClusters = 0;                   // clusters of content found so far
    };
    // Where ProcessDirectory stopped: the end mark, or the offset of a set the data cuts.
    static constexpr size_t kStoppedAtEndMark = ~size_t{0};

    // Volume reads in bytes, through 512-byte disk sectors; unreadable parts are zeros
    // and make the answer false.
    bool ReadBytes(uint64_t offset, uint8_t* out, size_t length);
    bool ReadRuns(const std::vector<exfat::ClusterRun>& runs, uint64_t length, std::vector<uint8_t>* out);
    bool ReadBootRegion(uint64_t firstSector, std::vector<uint8_t>* out);
    // The root's allocation bitmap, up-case table and volume label entries.
    void ReadRootMetadata(ByteView root);
    // A metadata file named by a root entry (no stream flags: a FAT chain, else contiguous).
    bool ReadMetadataFile(ByteView entry, uint64_t maxBytes, std::vector<uint8_t>* out);

    // The walk (ExFatDirectoryWalk.cpp).
    // With `stop`, a set that the data's end cuts is left for the caller (*stop its offset).
    int ProcessDirectory(NodeEntry* parent, ByteView data, bool insideDeleted, uint32_t depth, int progressFrom,
                         int progressTo, size_t* stop = nullptr);
    void WalkLiveFolder(NodeEntry* node, uint32_t key, uint32_t depth);
    void WalkDeletedFolder(NodeEntry* node, uint32_t key, uint32_t depth);
    // The runs up to the first cluster that a folder already walked holds.
    std::vector<exfat::ClusterRun> CutAtWalked(const std::vector<exfat::ClusterRun>& runs) const;
    // Reads a folder's data and walks it, within the budget of folder data held at once.
    // With `grown`, a deleted folder whose content runs to the end of the data is queued
    // there for its further pieces.
    void WalkFolderData(NodeEntry* node, const std::vector<exfat::ClusterRun>& runs, uint64_t length, bool deleted,
                        uint32_t depth, bool followPieces = false);
    // The further pieces of a grown deleted folder: each is looked for right after the
    // data of the entries read last (the driver took the next free cluster after what it
    // had just written) and taken when it holds verified entry sets.
    void FollowFolderPieces(GrownFolder folder);
    // The clusters after the data of the verified sets in data, and of a set that data's
    // end cuts; the first clusters those sets name.
    void AddPieceCandidates(ByteView data, GrownFolder* folder) const;
    // How many leading clusters of a deleted folder's data hold verified entry sets.
    uint64_t FolderContentClusters(ByteView data) const;
    NodeEntry* MakeNode(const exfat::EntrySet& set, uint64_t diskOffset, bool deleted, uint32_t* key);

    // Handles (ExFatFileContent.cpp).
    uint32_t OpenInfo(const ExFatFileInfo& info);
    ByteView DirectoryData(uint32_t hDirectory);
    bool SetAt(const FindContext& ctx, exfat::EntrySet* set);

    exfat::BootSector m_boot;
    bool m_bVolumeUsable = true;
    exfat::FatTable m_fat;
    exfat::Bitmap m_bitmap;
    exfat::Upcase m_upcase;
    std::string m_szVolumeLabel;
    std::vector<uint8_t> m_rootData;
    std::vector<exfat::ClusterRun> m_rootRuns;

    std::vector<ExFatFileInfo> m_files;                 // by node key - 1
    std::unordered_set<uint32_t> m_liveFolderClusters;  // every cluster of a live folder
    std::unordered_set<uint32_t> m_walkedClusters;      // clusters read as folder content
    std::deque<DeferredFolder> m_deferred;              // deleted folders of live folders
    std::deque<GrownFolder> m_grown;                    // deleted folders to follow further
    std::unordered_set<uint32_t> m_folderStarts;        // first clusters of every folder listed
    std::unordered_set<uint32_t> m_triedAsPiece;        // clusters read as a possible next piece
    uint64_t m_nHeldDirectoryBytes = 0;
    uint64_t m_nChainStepLimit = ~uint64_t{0};  // FAT steps the scan's estimates may take
};
