// Abstract volume parser: the 45 operations every file-system parser offers in slot
// order, the handle table, the deleted-file tree's root and the shared directory walk.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fslib/core/FindData.h"
#include "fslib/core/HandleObject.h"
#include "fslib/core/JobState.h"
#include "fslib/core/NodeEntry.h"
#include "fslib/disk/DiskDrive.h"
#include "platform/Win32.h"

// Partition-type numbers, as the detection gives them. exFAT shares NTFS's partition
// type (7), so it gets a code of its own that no partition type uses.
enum FileSystemType : uint8_t {
    FS_UNKNOWN = 0,
    FS_FAT12 = 1,
    FS_FAT16 = 6,
    FS_NTFS = 7,
    FS_FAT32 = 11,
    FS_EXFAT = 0xE7
};

// Recovery results shared by the parsers and the undelete job.
enum RecoverResult : int {
    RECOVER_FAILED = 0,
    RECOVER_OK = 1,
    RECOVER_NO_FOLDER = 2,
    RECOVER_NOT_FOUND = 3,
    RECOVER_DISK_FULL = 4,
    RECOVER_PATH_NOT_FOUND = -11,
    RECOVER_USER_BREAK = -1000,
};
constexpr int USER_BREAK_STATUS = -1000;

// Detection from the 512 bytes of sector 0 (bytes beyond `size` count as absent).
uint8_t DetectFileSystem(const uint8_t* bootSector, size_t size = 512);
const char* FileSystemName(uint8_t type);  // "NTFS", "FAT12", ..., "exFAT" or nullptr
// The exFAT main boot sector's own checks: signature, the zero field over the old BIOS
// parameter block, sector and cluster shifts in range, the FATs and the cluster heap
// inside the volume.
bool IsExFatBootSector(const uint8_t* bootSector, size_t size = 512);

// A named data stream of a file (NTFS): its name, its size in bytes and the share, 0.0 to
// 1.0, of its clusters that the live file system has allocated again.
struct NamedStreamInfo {
    std::string name;
    uint64_t size = 0;
    float damage = 0.0f;
};

// What a read of a node's bytes does where the drive cannot give a sector.
enum class UnreadableSectors : uint8_t {
    Zeros,  // they read as zeros, as recovery writes them
    Fail,   // the whole read fails
};

// Which bytes of a file node to read.
struct NodeRead {
    uint64_t offset = 0;
    uint32_t length = 0;  // cut at the file's end
    UnreadableSectors unreadable = UnreadableSectors::Zeros;
    // Fail, reading nothing, when the file holds more than offset + length bytes.
    bool wholeFile = false;
};
// offset + length, saturated.
uint64_t RequestEnd(const NodeRead& request);

// What a scan is asked to do.
struct ScanSettings {
    // NTFS: hang the folders made up for files whose folder is lost into the root.
    bool attachOrphans = false;
    // The option flag the FAT directory reads test: 1 lists deleted entries.
    uint32_t optionFlag = 1;
    // Whether a file's first bytes fit the type its name gives (1 yes, 0 no, -1 the name
    // gives no known type). FAT chooses with it among the places a deleted file may start
    // at when its entry lost part of its first cluster.
    std::function<int(const std::string& name, const uint8_t* data, size_t size)> contentMatcher;
};

// What the recoveries of one undelete job are asked to do.
struct RecoverySettings {
    bool namedStreams = false;  // write a file's named streams beside it
};

// Where a volume's clusters lie on its drive, for the search by content.
struct ClusterHeap {
    uint64_t firstByte = 0;     // drive byte offset of cluster firstCluster
    uint64_t firstCluster = 0;  // 0 on NTFS, 2 on FAT and exFAT
    uint64_t clusterCount = 0;
    uint64_t clusterBytes = 0;
};

class CFileSystemParser {
public:
    CFileSystemParser(CDiskDrive* drive, const uint8_t* bootSector);
    virtual ~CFileSystemParser();  // slot 0
    CFileSystemParser(const CFileSystemParser&) = delete;
    CFileSystemParser& operator=(const CFileSystemParser&) = delete;

    virtual int PrepareVolume() = 0;                                                    // slot 1
    virtual uint32_t OpenRootDirectory() = 0;                                           // slot 2
    virtual uint32_t OpenDirectory(uint32_t hParent, const char* name) = 0;             // slot 3
    virtual BOOL MoveFirstFile(uint32_t hDirectory, FindContext* ctx, int skip) = 0;    // slot 4
    virtual BOOL MoveNextFile(FindContext* ctx, int skip) = 0;                          // slot 5
    virtual int CloseFindContext(const FindContext& ctx) = 0;                           // slot 6
    virtual BOOL IsDirectory(const FindContext& ctx) = 0;                               // slot 7
    virtual int ReadFindFileData(FindContext* ctx, FindData* out) = 0;                  // slot 8
    virtual BOOL GetFindFileName(const FindContext& ctx, std::string* out) = 0;         // slot 9
    virtual int GetFindShortName(const FindContext& ctx, std::string* out) = 0;         // slot 10
    virtual int ReadDirectoryData(uint32_t handle) { return 0; }                        // slot 11
    virtual void FreeDirectoryData(uint32_t handle) {}                                  // slot 12
    virtual int CloseDisk();                                                            // slot 13
    virtual int ClearTree();                                                            // slot 14
    virtual void Reserved15(uint32_t) {}                                                // slot 15
    virtual void Reserved16() {}                                                        // slot 16
    virtual void Reserved17() {}                                                        // slot 17
    virtual CHandleObject* GetHandleObject(uint32_t handle);                            // slot 18
    virtual int RecoverNode(NodeEntry* node, const char* destination, uint32_t* files,  // slot 19
                            uint32_t* folders, int nesting, int mode, const char16_t* wideDestination);
    virtual uint32_t OpenFileByRef(FindContext* ctx) = 0;                                                    // slot 20
    virtual uint32_t OpenDirectoryByRef(FindContext* ctx);                                                   // slot 21
    virtual uint32_t SetFilePointer(uint32_t handle, LONG distanceLow, LONG* distanceHigh, int method) = 0;  // slot 22
    virtual BOOL ReadFile(uint32_t handle, void* buffer, uint32_t count, uint32_t* read) = 0;                // slot 23
    virtual uint32_t GetFileSize(uint32_t handle, uint32_t* high) = 0;                                       // slot 24
    virtual void CloseFile(uint32_t handle) = 0;                                                             // slot 25
    virtual const void* GetAttribute(uint32_t handle, uint32_t type) { return nullptr; }                     // slot 26
    virtual int ScanDisk(int scale) { return 0; }                                                            // slot 27
    virtual int PrepareDirTree(int scale) { return 0; }                                                      // slot 28
    virtual NodeEntry* FindNodeByKey(NodeEntry* folder, uint32_t key);                                       // slot 29
    virtual NodeEntry* FirstOfList(NodeEntry* folder);                                                       // slot 30
    virtual int FindDotEntry(uint32_t hDirectory, const char* name) { return -1; }                           // slot 31
    virtual void Reserved32() {}                                                                             // slot 32
    virtual int GetValidFileNameA(uint32_t handle, const FindData* fd, std::string* out, int mode);          // slot 33
    virtual int GetValidFileNameW(uint32_t handle, const FindData* fd, std::u16string* out, int mode) {
        return 1;
    }  // slot 34
    virtual int GetValidFileName(uint32_t handle, const FindData* fd, std::u16string* out, int mode) {
        return 1;
    }                                                                                         // slot 35
    virtual uint32_t ValidateDirectoryData(uint32_t handle, uint32_t* percent) { return 0; }  // slot 36
    virtual BOOL IsEncrypted(uint32_t handle) { return FALSE; }                               // slot 37
    virtual const char* GetHandleFileName(uint32_t handle) { return nullptr; }                // slot 38
    virtual BOOL IsMftDamaged() { return FALSE; }                                             // slot 39
    virtual void LogDirDataSize(uint32_t handle) {}                                           // slot 40
    virtual uint32_t OpenFileByTreeRef(NodeEntry* node) { return INVALID_HANDLE; }            // slot 41
    virtual int ReadClusterMap() { return 0; }                                                // slot 42
    virtual float EstimateDamageLevel(uint32_t handle) { return 0.0f; }                       // slot 43
    virtual void Reserved44() {}                                                              // slot 44

    // Directory walking written once over the slots above.
    uint32_t FindFile(uint32_t hDirectory, const char* name, BOOL wantDirectory);
    FindContext* FindFirstByHandle(uint32_t hDirectory, FindData* out);  // nullptr on failure
    BOOL FindNextFile(FindContext* ctx, FindData* out);
    void FindClose(FindContext* ctx);
    // OpenFileByTreeRef with its two failure answers folded into INVALID_HANDLE: 0 is
    // also the "no memory" answer, and a real handle only when it has just filled an
    // empty slot 0.
    uint32_t OpenNodeFile(NodeEntry* node);
    // Bytes of a file node, the one way every reader of a node's content takes: false when
    // the node is no file or cannot be opened, or as the request says. Bounded: nothing
    // past offset + length is read or decoded.
    virtual bool ReadNodeBytes(NodeEntry* node, const NodeRead& request, std::vector<uint8_t>* out);
    // The first min(size, maxBytes) bytes, unreadable parts as zeros.
    bool ReadNodeHead(NodeEntry* node, uint32_t maxBytes, std::vector<uint8_t>* out) {
        return ReadNodeBytes(node, NodeRead{0, maxBytes, UnreadableSectors::Zeros, false}, out);
    }
    // The whole file, or false when it holds more than maxBytes.
    bool ReadNodeContent(NodeEntry* node, uint32_t maxBytes, std::vector<uint8_t>* out,
                         UnreadableSectors unreadable = UnreadableSectors::Zeros) {
        return ReadNodeBytes(node, NodeRead{0, maxBytes, unreadable, true}, out);
    }
    // The scan: the family's own walk that builds the deleted-file tree, with its log
    // lines; the marking pass is the caller's. 0 done, -1000 user break, other = error.
    int Scan(const ScanSettings& settings);
    // Called by the undelete job before its first RecoverNode.
    virtual void BeginRecovery(const RecoverySettings& settings) { m_recovery = settings; }
    const RecoverySettings& GetRecoverySettings() const { return m_recovery; }
    // The named data streams of a file node, in record order; none where the file system
    // has no such streams.
    virtual void ListNamedStreams(NodeEntry* node, std::vector<NamedStreamInfo>* out) { out->clear(); }
    // Opens one of them for SetFilePointer/ReadFile/GetFileSize/CloseFile; INVALID_HANDLE
    // when it cannot be read.
    virtual uint32_t OpenNamedStream(NodeEntry* node, const std::string& name) { return INVALID_HANDLE; }
    // The cluster heap and which of its clusters the volume marks in use, so a search by
    // content reads only free ones; false when the parser holds no allocation map.
    virtual bool GetClusterHeap(ClusterHeap* out) { return false; }
    virtual bool IsClusterInUse(uint64_t cluster) { return true; }
    // First empty slot, else appended; 0 when given null.
    uint32_t InsertHandle(CHandleObject* object);
    // Empties a slot and deletes its object.
    void FreeHandle(uint32_t handle);
    // Drops one reference of a counted handle and frees it with the last one; an empty
    // slot sets ERROR_INVALID_HANDLE.
    void ReleaseCountedHandle(uint32_t handle);

    // Volume reads relative to the volume's first sector.
    int ReadVolumeSectors(uint64_t sector, void* buffer, uint32_t count, uint32_t* read);
    int ReadVolumeSectorsSafe(uint64_t sector, void* buffer, uint32_t count, uint32_t* read);
    int ReadVolumeClusters(uint64_t cluster, void* buffer, uint32_t count, uint32_t* read);

    static bool IsValidFileNameA(const char* name);
    static bool IsValidFileNameW(const char16_t* name);
    // Whether the destination file system accepts the name: a test file is created in
    // `folder` (the process-wide temporary folder when null).
    bool CanCreateFileA(const char* name, const char* folder = nullptr);
    bool CanCreateFileW(const char16_t* name, const char* folder = nullptr);
    // What the test file decided where the tool was designed, from the name alone: the
    // characters of IsValidFileNameA and at most 255 UTF-16 units. A name refused for
    // its length is logged as the test file's failure was.
    static bool IsStorableFileNameA(const char* name);

    uint8_t GetFileSystemType() const { return m_bFsType; }
    NodeEntry* GetRoot() { return &m_rootNode; }
    const std::string& GetTempPath() const { return m_szTempPath; }
    CDiskDrive* GetDiskDrive() const { return m_pDiskDrive; }
    uint32_t GetNodeCount() const { return m_dwNodeCount; }
    size_t HandleTableSize() const { return m_handles.size(); }

    uint32_t m_dwOptionFlag = 0;  // set by Scan; read by the FAT parsers

protected:
    // The family's part of Scan, after the settings that every parser keeps are stored.
    // This default runs PrepareDirTree unless the user has asked to stop.
    virtual int ScanVolume(const ScanSettings& settings);

    // Logs and stores the root handle as root and current directory (derived constructors).
    void OpenRootAndLog();

    uint8_t m_bootSector[512] = {};
    uint16_t m_wBytesPerSector = 0;
    uint32_t m_dwSectorsPerCluster = 0;  // 512-byte sectors; each parser decodes its own field
    uint32_t m_dwFirstSector = 0;
    uint64_t m_nTotalSectors = 0;
    uint64_t m_nVolumeSize = ~uint64_t{0};
    uint8_t m_bFsType = FS_UNKNOWN;
    std::string m_szTempPath;
    NodeEntry m_rootNode;
    uint32_t m_dwLastCount = 0;
    CDiskDrive* m_pDiskDrive = nullptr;
    std::vector<std::unique_ptr<CHandleObject>> m_handles;
    uint32_t m_hCurrentDirectory = INVALID_HANDLE;
    uint32_t m_hRootDirectory = INVALID_HANDLE;
    uint32_t m_dwNodeCount = 0;  // nodes placed under a parent by the tree builders
    RecoverySettings m_recovery;
};
