// The NTFS volume parser: volume preparation and MFT record reads, the directory index,
// file content (LZNT1 included) and the scan that builds the tree of live and deleted
// entries.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fslib/core/FileSystemParser.h"
#include "fslib/ntfs/BootSector.h"
#include "fslib/ntfs/ClusterMap.h"
#include "fslib/ntfs/MFTRecord.h"

struct CNTFSHandle;

// PrepareVolume results besides 0.
constexpr int kPrepareRecordUnreadable = static_cast<int>(0xC0000005);
constexpr int kPrepareNoFileSignature = static_cast<int>(0xC0000003);

class CNTFSParser final : public CFileSystemParser {
public:
    // Takes ownership of drive; prepares the volume and opens the root directory.
    CNTFSParser(CDiskDrive* drive, const uint8_t* bootSector);
    ~CNTFSParser() override;

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
    BOOL IsEncrypted(uint32_t handle) override;                                                           // slot 37
    BOOL IsMftDamaged() override { return m_bMftDamaged != 0; }                                           // slot 39
    void LogDirDataSize(uint32_t handle) override;                                                        // slot 40
    uint32_t OpenFileByTreeRef(NodeEntry* node) override;                                                 // slot 41
    int ReadClusterMap() override;                                                                        // slot 42
    float EstimateDamageLevel(uint32_t handle) override;                                                  // slot 43

    // 0, -1 (damaged MFT, out of the MFT), or 1 when the record's sectors could not be
    // read (the buffer is then zeroed).
    int ReadMFTRecord(uint32_t recordNumber, uint8_t* buffer);
    int ApplyFixups(uint8_t* record, uint32_t recordNumber, uint32_t spare, uint16_t bytesPerSector);
    // Share of the file's clusters that the live file system has allocated again.
    double EstimateDamageLevel(CMFTRecord* record);
    // The same for any run list (sparse runs hold no clusters).
    double DamageOfRuns(const std::vector<DataRun>& runs) const;
    // Named $DATA attributes of the node's record (those in its own record; a stream moved
    // to an extension record is not listed).
    void ListNamedStreams(NodeEntry* node, std::vector<NamedStreamInfo>* out) override;
    uint32_t OpenNamedStream(NodeEntry* node, const std::string& name) override;
    int ReadIndexRoot(CMFTRecord* record, int attrOffset, std::vector<uint8_t>* buffer);
    int ReadIndexAllocation(CMFTRecord* record, int attrOffset, std::vector<uint8_t>* buffer);
    // Decompresses the record's runs into a new file at path; its handle or -1.
    platform::FileHandle UncompressFile(CMFTRecord* record, const std::string& path);
    // A compressed file's units are decoded in memory, only those the range covers.
    bool ReadNodeBytes(NodeEntry* node, const NodeRead& request, std::vector<uint8_t>* out) override;

    uint16_t BytesPerSector() const { return m_wBytesPerSector; }
    // Geometry in the 512-byte sectors every read counts in, whatever the volume's own
    // sector size.
    uint32_t SectorsPerCluster() const { return m_dwSectorsPerCluster; }
    uint64_t ClusterBytes() const { return uint64_t{m_dwSectorsPerCluster} * 512; }
    uint64_t TotalClusters() const { return m_dwSectorsPerCluster ? m_nTotalSectors / m_dwSectorsPerCluster : 0; }
    uint64_t VolumeBytes() const { return m_nTotalSectors * 512; }
    uint32_t MftRecordCount() const { return m_dwMftRecordCount; }
    // Bytes of one FILE record (1024, or 4096 on volumes of 4,096-byte sectors).
    uint32_t RecordSize() const { return m_dwRecordSize; }
    const ClusterMap& GetClusterMap() const { return m_clusterMap; }
    bool GetClusterHeap(ClusterHeap* out) override;
    bool IsClusterInUse(uint64_t cluster) override { return m_clusterMap.IsUsed(cluster); }

    // Set by the constructor; Scan takes it from its settings.
    uint8_t m_bAttachOrphans = 1;

protected:
    int ScanVolume(const ScanSettings& settings) override;

private:
    void ReadCompressedRange(const CMFTRecord::ReadState& rs, uint64_t offset, size_t want, std::vector<uint8_t>* out);
    int PrepareVolumeSteps();
    int ReadMFTRecordFast(uint32_t recordNumber, uint8_t* buffer);
    int ReadMFTRecordSlow(uint32_t recordNumber, uint8_t* buffer);
    // Serves a fast read from a batch of consecutive records when it can.
    bool ReadFromBatch(uint32_t recordNumber, uint8_t* buffer, int* status);
    // Reads record n's sectors from the sector list, piece by piece where they are not
    // consecutive on disk.
    bool ReadRecordSectors(uint32_t recordNumber, uint8_t* buffer);
    uint32_t RecordSectors() const { return m_dwRecordSize / 512; }
    // Reads record n and opens it as a file (or directory); the handle or -1.
    // A compressed file gets its decompressed temporary copy unless wholeCopy is false
    // (ReadFile then fails on it; ReadNodeBytes decodes the units itself).
    uint32_t OpenRecord(uint32_t recordNumber, bool wholeCopy = true);
    uint32_t OpenRecordObject(CMFTRecord* record, bool wholeCopy = true);
    // Decodes the compression unit that starts *runUsed clusters into runs[*runIndex] into
    // output (one unit), and moves the position past it. False when some of its clusters
    // could not be read: output is then zeros.
    bool DecodeCompressionUnit(const std::vector<DataRun>& runs, size_t* runIndex, uint64_t* runUsed,
                               std::vector<uint8_t>& compressed, std::vector<uint8_t>& output);
    CNTFSHandle* NtfsHandle(uint32_t handle);
    // Reads and locates the node's record; null when it cannot be read.
    std::unique_ptr<CMFTRecord> ReadNodeRecord(const NodeEntry* node);
    BOOL ReadNonResidentData(CMFTRecord* record, uint8_t* out, uint32_t count);
    ByteView CurrentEntry(const FindContext& ctx);

    // Volume sector of each 512-byte sector of the $MFT stream: a record whose sectors
    // lie in two runs is read from both.
    std::vector<uint64_t> m_lpMftSectorsList;
    uint32_t m_dwRecordSize = 1024;
    int m_nPrepareStatus = 0;  // what PrepareVolume gave, for the scan
    uint32_t m_dwMftRecordCount = 0;
    uint32_t m_dwReadMode = 1;  // 1 = fast reads through the sector list; until the
                                // list is made it is empty, so reads fail
    uint32_t m_bMftDamaged = 0;
    uint32_t m_bRootUnreadable = 0;
    std::vector<DataRun> m_mftRuns;  // lives during PrepareVolume only
    ClusterMap m_clusterMap;

    // Batched MFT reads: one large read serves the records that follow on disk.
    std::vector<uint8_t> m_batch;
    uint32_t m_dwBatchFirst = 0;
    uint32_t m_dwBatchCount = 0;
    bool m_bBatchReads = false;
};
