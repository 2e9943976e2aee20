#include "fslib/ntfs/MFTRecord.h"

#include <bit>
#include <cstring>
#include <iterator>

#include "common/logger/Logger.h"
#include "fslib/ntfs/AttributeBounds.h"
#include "fslib/ntfs/NTFSParser.h"
#include "fslib/ntfs/NtfsLayout.h"
#include "platform/Text.h"

namespace {
constexpr size_t kAttrMinimum = 16;
}  // namespace

CMFTRecord::CMFTRecord(uint8_t* buffer, uint32_t recordNumber, bool ownsBuffer, CNTFSParser* parser)
    : m_pBuffer(buffer),
      m_view(buffer, buffer ? RecordBytes(parser) : 0),
      m_dwRecordNumber(recordNumber),
      m_bOwnsBuffer(ownsBuffer),
      m_pParser(parser) {}

uint32_t CMFTRecord::RecordBytes(const CNTFSParser* parser) {
    return parser ? parser->RecordSize() : ntfs::kRecordSize;
}

CMFTRecord::~CMFTRecord() {
    if (m_read.hTempCopy != platform::INVALID_FILE_HANDLE) {
        platform::CloseFile(m_read.hTempCopy);
        platform::DeleteFile(m_read.tempPath);
    }
    if (m_bOwnsBuffer) delete[] m_pBuffer;
}

void CMFTRecord::Rebind(uint8_t* buffer, uint32_t recordNumber) {
    if (m_bOwnsBuffer) delete[] m_pBuffer;
    m_bOwnsBuffer = false;
    m_pBuffer = buffer;
    m_view = ByteView(buffer, buffer ? RecordBytes(m_pParser) : 0);
    m_dwRecordNumber = recordNumber;
}

uint16_t CMFTRecord::Flags() const { return m_view.U16(ntfs::kRecFlags); }
bool CMFTRecord::InUse() const { return (Flags() & ntfs::kRecordInUse) != 0; }
bool CMFTRecord::IsExtensionRecord() const { return (m_view.U64(ntfs::kRecBaseReference) & ntfs::kReferenceMask) != 0; }

ByteView CMFTRecord::AttributeView(int attrOffset) const {
    if (attrOffset < 0) return ByteView();
    uint32_t length = m_view.U32(static_cast<size_t>(attrOffset) + ntfs::kAttrLength);
    return m_view.Sub(static_cast<size_t>(attrOffset), length);
}

ByteView CMFTRecord::ResidentValue(int attrOffset) const {
    if (attrOffset < 0) return ByteView();
    ByteView a = m_view.From(static_cast<size_t>(attrOffset));
    size_t off = a.U16(ntfs::kAttrValueOffset);
    size_t len = a.U32(ntfs::kAttrValueLength);
    // A value that runs past the record is cut at its end; the bound check has been
    // logged when the attributes were located.
    ByteView rest = a.From(off);
    return rest.Sub(0, len < rest.Size() ? len : rest.Size());
}

size_t CMFTRecord::RunListStart(const ByteView& a) const {
    size_t start = a.U16(ntfs::kAttrRunsOffset);
    if (start < ntfs::kNonResidentHeader || start >= a.Size()) {
        // No usable stored offset: the list follows the name, or the fixed header.
        uint16_t nameOffset = a.U16(ntfs::kAttrNameOffset);
        start = nameOffset ? nameOffset + 2u * a.U8(ntfs::kAttrNameLength) : ntfs::kNonResidentHeader;
        if ((a.U16(ntfs::kAttrFlags) & ntfs::kAttrIsCompressed) && a.U8(ntfs::kAttrCompressionUnit)) start += 8;
    }
    return start;
}

ByteView CMFTRecord::RunListView(int attrOffset) const {
    ByteView a = AttributeView(attrOffset);
    if (a.Empty() || !a.U8(ntfs::kAttrNonResident)) return ByteView();
    return a.From(RunListStart(a));
}

size_t CMFTRecord::CalcDataRunsLength(int attrOffset, uint32_t* runCount, uint64_t* totalClusters) const {
    if (runCount) *runCount = 0;
    if (totalClusters) *totalClusters = 0;
    ByteView a = AttributeView(attrOffset);
    if (a.Empty() || m_view.Empty()) {
        g_Logger.Error("_CMFTRecord::CalcDataRunsLength - one of important buffer was not allocated");
        return 0;
    }
    if (static_cast<size_t>(attrOffset) + RunListStart(a) >= m_view.Size()) {
        g_Logger.Error("_CMFTRecord::CalcDataRunsLength - lpDataRuns is bigger than MFT entry size");
        return 0;
    }
    return ::CalcDataRunsLength(RunListView(attrOffset), runCount, totalClusters);
}

void CMFTRecord::LogSignature() const {
    if (m_view.Equals(0, "INDX", 4))
        g_Logger.Info("AttrListRecord Signature [index buffer]");
    else if (m_view.Equals(0, "HOLE", 4))
        g_Logger.Info("AttrListRecord Signature [NTFS 3.0]");
    else if (m_view.Equals(0, "CHKB", 4))
        g_Logger.Info("AttrListRecord Signature [chkdsk]");
    else if (m_view.Equals(0, "BAAD", 4))
        g_Logger.Info("AttrListRecord Signature [corrupt record]");
    else
        g_Logger.InfoNumber("AttrListRecord Signature ", static_cast<long>(m_view.U32(0)));
}

void CMFTRecord::ForgetAttributes() {
    m_dwParentDirectory = 0xFFFFFFFF;
    m_stdInfo = ByteView();
    for (ByteView& fn : m_fileNames) fn = ByteView();
    m_allFileNames.clear();
    m_nAttrList = m_nData = m_nIndexRoot = m_nIndexAllocation = m_nLoggedUtility = -1;
    for (std::vector<uint8_t>& names : m_listedNames) names.clear();
    m_bCompressed = 0;
    m_dwIndexBlockSize = 4096;
    m_nAttributes = 0;
    m_nFileSize = m_nFirstCluster = ~uint64_t{0};
    m_szName.clear();
    m_wszName.clear();
}

// Runs for every attribute of every record the scan reads: inline in the walk below.
[[gnu::always_inline]] inline void CMFTRecord::KeepAttribute(const ntfs::AttrFields& f, int at, bool usable,
                                                             bool* directoryByStdInfo) {
    switch (f.type) {
        case ntfs::kAttrStandardInformation:
            if (!f.non_resident) {
                m_stdInfo = ResidentValue(at);
                *directoryByStdInfo = (m_stdInfo.U32(ntfs::kSiFlags) & ntfs::kSiDirectoryFlag) != 0;
            }
            break;
        case ntfs::kAttrAttributeList: m_nAttrList = at; break;
        case ntfs::kAttrFileName: {
            if (!usable) break;
            ByteView value = ResidentValue(at);
            uint8_t nameSpace = value.U8(ntfs::kFnNamespace);
            if (value.Has(0, ntfs::kFnName) && nameSpace < 4) {
                m_fileNames[nameSpace] = value;
                m_allFileNames.push_back(value);
                if (m_dwParentDirectory == 0xFFFFFFFF) m_dwParentDirectory = value.U32(ntfs::kFnParent);
            }
            break;
        }
        case ntfs::kAttrData:
            // A named stream is listed, never the file's data.
            if (f.name_length != 0) break;
            // The flag stands even when a resident value is too long to keep.
            if ((f.flags & ntfs::kAttrIsCompressed) && f.compression_unit) m_bCompressed = 1;
            if (usable) m_nData = at;
            break;
        case ntfs::kAttrIndexRoot: {
            if (!usable) break;
            m_nIndexRoot = at;
            uint32_t blockSize = ResidentValue(at).U32(ntfs::kIrBlockSize);
            if (blockSize == 2048 || blockSize == 4096) m_dwIndexBlockSize = blockSize;
            break;
        }
        case ntfs::kAttrIndexAllocation:
            if (usable) m_nIndexAllocation = at;
            break;
        case ntfs::kAttrLoggedUtilityStream: m_nLoggedUtility = at; break;
        default: break;
    }
}

int CMFTRecord::LocateRecordAttributes(int bAttrListRecord) {
    ForgetAttributes();
    if (m_view.Empty()) return kAttrNoAttributes;

    if (!m_view.Equals(0, ntfs::kFileMagic, 4)) {
        LogSignature();
        g_Logger.ErrorF("_CMFTRecord::LocateRecordAttributes() - invalid file record %u", m_dwRecordNumber);
    }
    // The bounds are the record's size: 1024 bytes on most volumes.
    const uint32_t recordSize = static_cast<uint32_t>(m_view.Size());
    size_t off = m_view.U16(ntfs::kRecFirstAttribute);
    if (off >= recordSize || m_view.U32(off) == ntfs::kAttrEnd || !m_view.Has(off, 4)) {
        g_Logger.ErrorF("_CMFTRecord::LocateRecordAttributes() - no attr-s found in record %u", m_dwRecordNumber);
        return kAttrNoAttributes;
    }

    int error = 0;
    bool directoryByStdInfo = false;
    // Each step moves forward by at least kAttrMinimum bytes, so the walk ends.
    while (m_view.Has(off, kAttrMinimum)) {
        const ntfs::AttrFields f = ntfs::ReadAttrFields(m_view.From(off));
        if (f.type == 0 || f.type == ntfs::kAttrEnd) break;
        if (f.length < kAttrMinimum || f.length > recordSize - off) break;
        if (f.type == ntfs::kAttrAttributeList)
            g_Logger.Info("_CMFTRecord::LocateRecordAttributes() - $ATTRIBUTE_LIST found!");
        // A folder's $DATA (by its standard information) is only listed.
        if (f.type != ntfs::kAttrData || !directoryByStdInfo) {
            const ntfs::BoundsVerdict bounds = ntfs::CheckAttributeBounds(f, recordSize, bAttrListRecord != 0);
            if (bounds.endsRecord) return bounds.error;
            if (bounds.error != 0) error = bounds.error;
            KeepAttribute(f, static_cast<int>(off), bounds.usable, &directoryByStdInfo);
        }
        if (m_nAttributes < std::size(m_attributes)) m_attributes[m_nAttributes++] = static_cast<uint16_t>(off);
        off += f.length;
    }
    if (error == 0 && m_nAttrList >= 0 && ChosenName().Empty()) LoadListedFileNames();
    if (error != 0) {
        g_Logger.ErrorF("_CMFTRecord::LocateRecordAttributes() - some errors occured while parsing record number %u",
                        m_dwRecordNumber);
        g_Logger.ErrorF("last error code is %u", static_cast<uint32_t>(error));
    }
    return error;
}

ByteView CMFTRecord::ChosenName() const {
    static constexpr uint8_t kOrder[] = {ntfs::kNamespaceWin32AndDos, ntfs::kNamespaceWin32, ntfs::kNamespaceDos,
                                         ntfs::kNamespacePosix};
    for (uint8_t ns : kOrder)
        if (!m_fileNames[ns].Empty()) return m_fileNames[ns];
    return ByteView();
}

const char16_t* CMFTRecord::GetFileNameW() {
    if (m_wszName.empty()) {
        ByteView fn = ChosenName();
        if (fn.Empty()) return nullptr;
        size_t chars = fn.U8(ntfs::kFnNameLength);
        size_t available = (fn.Size() - ntfs::kFnName) / 2;
        if (chars > available) chars = available;
        if (chars == 0) return nullptr;
        // Little-endian on the disk as in memory; the bounds were checked above.
        static_assert(std::endian::native == std::endian::little);
        m_wszName.resize(chars);
        std::memcpy(m_wszName.data(), fn.Data() + ntfs::kFnName, chars * 2);
    }
    return m_wszName.c_str();
}

const char* CMFTRecord::GetFileName() {
    if (m_szName.empty()) {
        const char16_t* wide = GetFileNameW();
        if (!wide) return nullptr;
        platform::Utf16ToUtf8(m_wszName.data(), m_wszName.size(), &m_szName);
        if (m_szName.empty()) return nullptr;
    }
    return m_szName.c_str();
}

uint32_t CMFTRecord::GetParentDirectory() const {
    static constexpr uint8_t kOrder[] = {ntfs::kNamespaceDos, ntfs::kNamespaceWin32, ntfs::kNamespaceWin32AndDos,
                                         ntfs::kNamespacePosix};
    for (uint8_t ns : kOrder)
        if (!m_fileNames[ns].Empty()) return m_fileNames[ns].U32(ntfs::kFnParent);
    return ntfs::kRootRecord;
}

uint32_t CMFTRecord::ChosenNameParent() const {
    ByteView chosen = ChosenName();
    return chosen.Empty() ? ntfs::kRootRecord : chosen.U32(ntfs::kFnParent);
}

void CMFTRecord::GetModifiedTime(FILETIME* out) const { *out = m_stdInfo.U64(ntfs::kSiModificationTime); }
void CMFTRecord::GetCreatedTime(FILETIME* out) const { *out = m_stdInfo.U64(ntfs::kSiCreationTime); }

uint64_t CMFTRecord::GetFileSize() {
    if (m_nFileSize != ~uint64_t{0}) return m_nFileSize;
    uint64_t size = 0;
    if (m_nData >= 0) {
        ByteView a = AttributeView(m_nData);
        size = a.U8(ntfs::kAttrNonResident) ? a.U64(ntfs::kAttrDataSize) : ResidentValue(m_nData).Size();
    } else if (m_nAttrList >= 0) {
        std::vector<DataRun> runs;
        uint64_t allocated = 0;
        ExtractAttrFromAttrList(ntfs::kAttrData, &runs, &size, &allocated);
    }
    m_nFileSize = size;
    return size;
}

uint64_t CMFTRecord::GetFirstCluster() {
    if (m_nFirstCluster != ~uint64_t{0}) return m_nFirstCluster;
    uint64_t first = 0;
    std::vector<DataRun> runs;
    if (m_nData >= 0) {
        ByteView a = AttributeView(m_nData);
        if (a.U8(ntfs::kAttrNonResident)) {
            int64_t offset = 0;
            uint64_t length = 0;
            bool hasOffset = false;
            size_t next = 0;
            if (GetRun(RunListView(m_nData), 0, &offset, &length, &hasOffset, &next) && offset > 0)
                first = static_cast<uint64_t>(offset);
        }
    } else if (m_nAttrList >= 0) {
        uint64_t size = 0, allocated = 0;
        ExtractAttrFromAttrList(ntfs::kAttrData, &runs, &size, &allocated);
        if (!runs.empty()) first = runs.front().firstCluster;
    }
    m_nFirstCluster = first;
    return first;
}
