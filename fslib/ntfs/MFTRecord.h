// One NTFS FILE record (1024 bytes, or the size the boot sector gives) and the attributes the parser uses in it:
// $STANDARD_INFORMATION, the $FILE_NAMEs by namespace, the unnamed $DATA, the index
// attributes, $ATTRIBUTE_LIST and $LOGGED_UTILITY_STREAM. Also the read state of a file
// opened on the record.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fslib/core/ByteView.h"
#include "fslib/ntfs/DataRun.h"
#include "platform/Files.h"
#include "platform/Win32.h"

class CNTFSParser;
namespace ntfs {
struct AttrFields;
}

// LocateRecordAttributes results besides 0.
constexpr int kAttrIndexRootTooLong = -40;
constexpr int kAttrIndexAllocTooLong = -50;
constexpr int kAttrIndexAllocResident = -52;
constexpr int kAttrValueOffsetTooBig = -100;
constexpr int kAttrValueLengthTooBig = -101;
constexpr int kAttrNameOffsetTooBig = -102;
constexpr int kAttrNoAttributes = static_cast<int>(0x80000002);
constexpr int kNoMemory = static_cast<int>(0xC0000009);
constexpr int kReadPastRuns = static_cast<int>(0x80000000);
constexpr int kReadTooManyClusters = static_cast<int>(0xC000000A);
constexpr int kReadEmptyRuns = static_cast<int>(0x80000008);

constexpr uint32_t kExtensionRecordNumber = 0xFFFFFFFF;

class CMFTRecord {
public:
    // buffer holds the parser's RecordSize() bytes (ntfs::kRecordSize without a parser);
    // with ownsBuffer the record frees it (delete[]).
    CMFTRecord(uint8_t* buffer, uint32_t recordNumber, bool ownsBuffer, CNTFSParser* parser);
    ~CMFTRecord();
    CMFTRecord(const CMFTRecord&) = delete;
    CMFTRecord& operator=(const CMFTRecord&) = delete;

    // Points the object at another record (the scan reuses one object for every record).
    void Rebind(uint8_t* buffer, uint32_t recordNumber);

    int LocateRecordAttributes(int bAttrListRecord);

    // The chosen name: Win32-and-DOS, else Win32, else DOS, else POSIX; null when none.
    const char* GetFileName();
    const char16_t* GetFileNameW();
    uint32_t GetParentDirectory() const;
    // The folder of the chosen name. GetParentDirectory prefers the DOS name's, which is
    // the same folder for a file with one link; with hard links the names lie in
    // different folders and the chosen name belongs under its own.
    uint32_t ChosenNameParent() const;
    BOOL IsDirectory() const { return m_nIndexRoot >= 0 || m_nIndexAllocation >= 0; }
    uint64_t GetFileSize();
    uint64_t GetFirstCluster();
    void GetModifiedTime(FILETIME* out) const;
    void GetCreatedTime(FILETIME* out) const;

    // Decodes the runs of a non-resident attribute (at its offset in the record), then
    // those of the same type held in extension records when the record has a list.
    int ExtractRunList(int attrOffset, std::vector<DataRun>* runs);
    // Appends the runs of the unnamed attribute of type held in extension records; the
    // first extension that has one gives its sizes.
    int ExtractAttrFromAttrList(uint32_t type, std::vector<DataRun>* runs, uint64_t* dataSize, uint64_t* allocatedSize,
                                uint64_t* initializedSize = nullptr);
    // Takes the $FILE_NAMEs from the extension records when the base record holds none
    // (a file with many links or a long run list moves them out).
    void LoadListedFileNames();

    // One name of the file in one folder (a hard link).
    struct LinkName {
        uint32_t parent = 0;
        uint8_t nameSpace = 0;
        std::u16string name;
    };
    // Whether the record may have more names than the chosen one: several $FILE_NAMEs,
    // or an attribute list that may hold more.
    bool MayHaveLinks() const { return m_allFileNames.size() > 1 || m_nAttrList >= 0; }
    // Every Win32, POSIX and Win32-and-DOS name of the file, those in extension records
    // included, once per folder and name; a DOS name only when the file has no other.
    void GetLinkNames(std::vector<LinkName>* out);
    // Reads the clusters of the runs at runsOffset of the attribute at attrOffset.
    int ReadNonResident(uint8_t* buffer, uint64_t wantedClusters, uint64_t* doneClusters, ByteView runList);

    ByteView Record() const { return m_view; }
    uint32_t RecordNumber() const { return m_dwRecordNumber; }
    uint16_t Flags() const;
    bool InUse() const;
    // Nonzero base reference: an extension record of another file.
    bool IsExtensionRecord() const;

    // Attribute offsets within the record (-1 = absent).
    int DataAttribute() const { return m_nData; }
    int IndexRootAttribute() const { return m_nIndexRoot; }
    int IndexAllocationAttribute() const { return m_nIndexAllocation; }
    int AttributeListAttribute() const { return m_nAttrList; }
    bool HasLoggedUtilityStream() const { return m_nLoggedUtility >= 0; }
    bool IsCompressed() const { return m_bCompressed != 0; }
    uint32_t IndexBlockSize() const { return m_dwIndexBlockSize; }
    // Every attribute of the record, in record order (offsets).
    size_t AttributeCount() const { return m_nAttributes; }
    uint16_t AttributeOffset(size_t i) const { return i < m_nAttributes ? m_attributes[i] : 0; }

    // Views over one attribute: the whole attribute (bounded by the record), its resident
    // value and, non-resident, its run list.
    ByteView AttributeView(int attrOffset) const;
    ByteView ResidentValue(int attrOffset) const;
    ByteView RunListView(int attrOffset) const;
    // Runs and clusters of a non-resident attribute's run list; 0 (and a log line) when
    // there is no attribute or its list would start outside the record. The bytes the
    // list takes.
    size_t CalcDataRunsLength(int attrOffset, uint32_t* runCount, uint64_t* totalClusters) const;
    // $FILE_NAME value of a namespace (empty when none).
    ByteView FileNameValue(uint8_t nameSpace) const { return nameSpace < 4 ? m_fileNames[nameSpace] : ByteView(); }

    // Read state of a file opened on this record.
    struct ReadState {
        uint64_t size = 0;
        uint64_t initialized = 0;  // bytes written; those after it read as zeros
        uint64_t position = 0;
        ByteView resident;
        bool hasResident = false;
        std::vector<DataRun> runs;
        size_t runIndex = 0;
        uint64_t runOffset = 0;  // bytes into runs[runIndex]
        platform::FileHandle hTempCopy = platform::INVALID_FILE_HANDLE;
        std::string tempPath;
        // Byte ranges [first, second) of the decompressed copy whose compression unit
        // could not be read whole: zeros in the copy, and reads over them fail.
        std::vector<std::pair<uint64_t, uint64_t>> unreadableUnits;
        std::vector<uint8_t> extensionResident;  // a resident $DATA found in an extension
    } m_read;

private:
    static uint32_t RecordBytes(const CNTFSParser* parser);
    // Where the run list of the attribute starts, from the attribute's start.
    size_t RunListStart(const ByteView& attribute) const;
    // Clears what a previous LocateRecordAttributes found.
    void ForgetAttributes();
    // Takes a located attribute into the record's fields; usable: it passed its bounds.
    void KeepAttribute(const ntfs::AttrFields& f, int at, bool usable, bool* directoryByStdInfo);
    // Which entries of an attribute list lead to the extension records a walk visits.
    struct ListedExtensions {
        uint32_t type;
        bool unnamedOnly;  // only entries of the unnamed attribute of that type
        bool quiet;        // records that cannot be read or belong to another file go unlogged
    };
    // Reads each extension record the list's entries name, once, locates its attributes and
    // hands it to visit with its record number and the locate status.
    void ForEachListedExtension(const ByteView& entries, const ListedExtensions& which,
                                const std::function<void(CMFTRecord&, uint32_t, int)>& visit);
    // Copies of every $FILE_NAME value held in the record's extension records.
    void ReadListedFileNames(std::vector<std::vector<uint8_t>>* values);
    void LogSignature() const;
    int LoadAttributeList(std::vector<uint8_t>* out);
    ByteView ChosenName() const;

    uint8_t* m_pBuffer;
    ByteView m_view;
    uint32_t m_dwRecordNumber;
    bool m_bOwnsBuffer;
    uint32_t m_dwParentDirectory = 0xFFFFFFFF;
    uint32_t m_bCompressed = 0;
    uint32_t m_dwIndexBlockSize = 4096;
    ByteView m_stdInfo;
    ByteView m_fileNames[4];                // by namespace 0..3
    std::vector<uint8_t> m_listedNames[4];  // copies of names held in extension records
    std::vector<ByteView> m_allFileNames;   // every $FILE_NAME value of the record, in order
    int m_nAttrList = -1;
    int m_nData = -1;
    int m_nIndexRoot = -1;
    int m_nIndexAllocation = -1;
    int m_nLoggedUtility = -1;
    // An attribute takes at least 16 of the record's bytes (4096 at most).
    uint16_t m_attributes[256] = {};
    size_t m_nAttributes = 0;
    uint64_t m_nFileSize = ~uint64_t{0};
    uint64_t m_nFirstCluster = ~uint64_t{0};
    std::string m_szName;
    std::u16string m_wszName;
    CNTFSParser* m_pParser;
};
