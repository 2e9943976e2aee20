// Run lists of a record's non-resident attributes, followed into extension records
// through $ATTRIBUTE_LIST, and reads of whole non-resident attributes.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <set>

#include "common/logger/Logger.h"
#include "fslib/ntfs/AttributeBounds.h"
#include "fslib/ntfs/MFTRecord.h"
#include "fslib/ntfs/NTFSParser.h"
#include "fslib/ntfs/NtfsLayout.h"

namespace {
// Enough for any file on any volume; a list longer than this is damage.
constexpr size_t kMaxRuns = 1u << 20;
// Sparse runs may describe far more than the volume holds, but no more than this.
constexpr uint64_t kMaxFileClusters = uint64_t{1} << 40;
// An attribute list is at most 256 KiB on NTFS.
constexpr uint64_t kMaxAttributeListBytes = 256 * 1024;
// Extension records followed for one file.
constexpr size_t kMaxExtensions = 4096;

int DecodeRuns(const ByteView& list, CNTFSParser* parser, std::vector<DataRun>* out) {
    std::vector<DataRun> runs;
    int rc = DecodeRunList(list, kMaxFileClusters, kMaxRuns, &runs);
    if (rc != RUNS_OK) return rc;
    // Allocated clusters cannot exceed the volume.
    uint64_t allocated = 0;
    for (const std::vector<DataRun>* v :
         {static_cast<const std::vector<DataRun>*>(&runs), static_cast<const std::vector<DataRun>*>(out)})
        for (const DataRun& r : *v)
            if (!r.IsSparse()) allocated += r.length;
    if (parser && allocated > parser->TotalClusters()) return RUNS_TOO_LONG;
    if (out->size() + runs.size() > kMaxRuns) return RUNS_TOO_LONG;
    out->insert(out->end(), runs.begin(), runs.end());
    return RUNS_OK;
}
}  // namespace

int CMFTRecord::ExtractRunList(int attrOffset, std::vector<DataRun>* runs) {
    ByteView a = AttributeView(attrOffset);
    if (a.Empty() || !a.U8(ntfs::kAttrNonResident)) return 0;
    uint16_t nameOffset = a.U16(ntfs::kAttrNameOffset);
    if (nameOffset > a.Size()) {
        g_Logger.ErrorF(
            "CMFTRecord::ExtractRunList() - invalid $DATA attribute (pAttrRec->name_offset > 0x40) in record %u",
            m_dwRecordNumber);
        g_Logger.ErrorF("Name Offset = %u ", nameOffset);
        return kAttrNameOffsetTooBig;
    }
    if (!runs) return kNoMemory;
    int rc = DecodeRuns(RunListView(attrOffset), m_pParser, runs);
    if (rc != RUNS_OK) {
        g_Logger.ErrorF("CMFTRecord::ExtractRunList() - data run list in record %u to large! ENOMEM", m_dwRecordNumber);
        return kNoMemory;
    }
    if (m_nAttrList >= 0 && m_dwRecordNumber != kExtensionRecordNumber) {
        uint64_t size = 0, allocated = 0;
        return ExtractAttrFromAttrList(a.U32(ntfs::kAttrType), runs, &size, &allocated);
    }
    return 0;
}

int CMFTRecord::ReadNonResident(uint8_t* buffer, uint64_t wantedClusters, uint64_t* doneClusters, ByteView runList) {
    const uint64_t clusterBytes = m_pParser ? m_pParser->ClusterBytes() : 0;
    uint64_t done = 0;
    int64_t running = 0;
    size_t pos = 0;
    int status = 0;
    uint64_t listClusters = 0;
    ::CalcDataRunsLength(runList, nullptr, &listClusters);
    while (true) {
        int64_t offset;
        uint64_t length;
        bool hasOffset;
        size_t next;
        if (!GetRun(runList, pos, &offset, &length, &hasOffset, &next)) {
            if (done < wantedClusters) status = kReadPastRuns;
            break;
        }
        pos = next;
        if (__builtin_add_overflow(running, offset, &running) || running < 0) {
            status = kReadPastRuns;
            break;
        }
        if (length > wantedClusters - done) {
            status = listClusters ? kReadTooManyClusters : kReadEmptyRuns;
            break;
        }
        uint8_t* out = buffer + done * clusterBytes;
        if (!hasOffset) {
            // Index and list data are never sparse; a hole reads as zeros.
            std::memset(out, 0, length * clusterBytes);
        } else if (m_pParser) {
            for (uint64_t c = 0; c < length;) {
                uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(length - c, 1024));
                uint32_t read = 0;
                m_pParser->ReadVolumeClusters(static_cast<uint64_t>(running) + c, out + c * clusterBytes, chunk, &read);
                c += chunk;
            }
        }
        done += length;
    }
    if (doneClusters) *doneClusters = done;
    return status;
}

int CMFTRecord::LoadAttributeList(std::vector<uint8_t>* out) {
    std::vector<uint8_t>& list = *out;
    int error = 0;
    ByteView a = AttributeView(m_nAttrList);
    if (a.U8(ntfs::kAttrNonResident)) {
        if (a.U16(ntfs::kAttrValueOffset) == 0 && a.U16(ntfs::kAttrNameOffset) == 0) {
            // Not what NTFS writes; the record is kept in the log for whoever looks into it.
            g_Logger.Info(
                "CMFTRecord::ExtractAttrFromAttrList() - non resident attr. list found with value_offset=0 and "
                "name_offset=0!");
            g_Logger.InfoBinary(m_view.Data(), m_view.Size());
        }
        ByteView runList = RunListView(m_nAttrList);
        uint64_t clusters = 0;
        CalcDataRunsLength(m_nAttrList, nullptr, &clusters);
        g_Logger.InfoF("CMFTRecord::ExtractAttrFromAttrList() - run list size %u", static_cast<uint32_t>(clusters));
        const uint64_t clusterBytes = m_pParser->ClusterBytes();
        if (clusterBytes == 0 || clusters > kMaxAttributeListBytes / clusterBytes + 1) {
            error = kNoMemory;
        } else if (clusters > 0) {  // runs of no clusters hold an empty list
            list.assign(clusters * clusterBytes, 0);
            uint64_t done = 0;
            ReadNonResident(list.data(), clusters, &done, runList);
            uint64_t valueSize = a.U64(ntfs::kAttrDataSize);
            if (valueSize < list.size()) list.resize(valueSize);
        }
    } else {
        const ntfs::BoundsVerdict bounds =
            ntfs::CheckAttributeListValue(ntfs::ReadAttrFields(a), static_cast<uint32_t>(m_view.Size()));
        if (bounds.usable) {
            ByteView value = ResidentValue(m_nAttrList);
            list.assign(value.Data(), value.Data() + value.Size());
        } else {
            error = bounds.error;
        }
    }

    return error;
}

void CMFTRecord::ForEachListedExtension(const ByteView& entries, const ListedExtensions& which,
                                        const std::function<void(CMFTRecord&, uint32_t, int)>& visit) {
    std::set<uint32_t> visited;
    std::unique_ptr<uint8_t[]> extBuffer(new uint8_t[ntfs::kMaxRecordSize]);
    for (size_t off = 0; entries.Has(off, ntfs::kAlRecord + 4);) {
        uint32_t entryType = entries.U32(off + ntfs::kAlType);
        uint16_t entryLength = entries.U16(off + ntfs::kAlLength);
        if (entryType == ntfs::kAttrEnd || entryLength == 0) break;
        uint32_t recordNumber = entries.U32(off + ntfs::kAlRecord);
        uint8_t nameLength = entries.U8(off + ntfs::kAlNameLength);
        off += entryLength;
        if (entryType != which.type || (which.unnamedOnly && nameLength != 0) || recordNumber == m_dwRecordNumber)
            continue;
        // One extension may be listed for several pieces; it is visited once.
        if (!visited.insert(recordNumber).second || visited.size() > kMaxExtensions) continue;
        if (m_pParser->ReadMFTRecord(recordNumber, extBuffer.get()) != 0 ||
            std::memcmp(extBuffer.get(), ntfs::kFileMagic, 4) != 0) {
            if (!which.quiet) g_Logger.Error("invalid MFT record signature");
            continue;
        }
        CMFTRecord extension(extBuffer.get(), kExtensionRecordNumber, false, m_pParser);
        // A record reused by another file since is no piece of this one: its base reference
        // must name this record.
        if ((extension.Record().U64(ntfs::kRecBaseReference) & ntfs::kReferenceMask) != m_dwRecordNumber) {
            if (!which.quiet) g_Logger.Error("invalid MFT record signature");
            continue;
        }
        const int located = extension.LocateRecordAttributes(1);
        visit(extension, recordNumber, located);
    }
}

int CMFTRecord::ExtractAttrFromAttrList(uint32_t type, std::vector<DataRun>* runs, uint64_t* dataSize,
                                        uint64_t* allocatedSize, uint64_t* initializedSize) {
    if (!runs) return 0;
    if (m_nAttrList < 0 || !m_pParser) return 0;
    g_Logger.Info("CMFTRecord::ExtractAttrFromAttrList() - IN");
    std::vector<uint8_t> list;
    int error = LoadAttributeList(&list);
    g_Logger.Info("CMFTRecord::ExtractAttrFromAttrList() - start parsing attr. list");
    bool sizesGiven = false;
    auto takeRuns = [&](CMFTRecord& extension, uint32_t recordNumber, int located) {
        if (located != 0) {
            g_Logger.ErrorF("can`t find attributes for record %u", recordNumber);
            return;
        }
        int data = extension.DataAttribute();
        if (data < 0) return;
        ByteView ext = extension.AttributeView(data);
        if (!ext.U8(ntfs::kAttrNonResident)) {
            if (!sizesGiven) {
                ByteView value = extension.ResidentValue(data);
                m_read.extensionResident.assign(value.Data(), value.Data() + value.Size());
                *dataSize = *allocatedSize = value.Size();
                if (initializedSize) *initializedSize = value.Size();
                sizesGiven = true;
            }
            return;
        }
        int rc = extension.ExtractRunList(data, runs);
        if (rc != 0) error = rc;
        if (extension.IsCompressed()) m_bCompressed = 1;
        if (!sizesGiven) {
            *dataSize = ext.U64(ntfs::kAttrDataSize);
            *allocatedSize = ext.U64(ntfs::kAttrAllocatedSize);
            if (initializedSize) *initializedSize = ext.U64(ntfs::kAttrInitializedSize);
            sizesGiven = true;
        }
    };
    ForEachListedExtension(ByteView(list.data(), list.size()), {type, true, false}, takeRuns);
    if (error != 0)
        g_Logger.ErrorF("CMFTRecord::ExtractAttrFromAttrList() - some errors occured. Record number %u",
                        m_dwRecordNumber);
    g_Logger.Info("CMFTRecord::ExtractAttrFromAttrList() - OUT");
    return error;
}

void CMFTRecord::ReadListedFileNames(std::vector<std::vector<uint8_t>>* values) {
    if (m_nAttrList < 0 || !m_pParser || m_dwRecordNumber == kExtensionRecordNumber) return;
    std::vector<uint8_t> list;
    if (LoadAttributeList(&list) != 0) return;
    // The names an extension holds count even when another of its attributes is damaged.
    auto takeNames = [values](CMFTRecord& extension, uint32_t, int) {
        for (const ByteView& value : extension.m_allFileNames)
            values->emplace_back(value.Data(), value.Data() + value.Size());
    };
    ForEachListedExtension(ByteView(list.data(), list.size()), {ntfs::kAttrFileName, false, true}, takeNames);
}

void CMFTRecord::LoadListedFileNames() {
    std::vector<std::vector<uint8_t>> values;
    ReadListedFileNames(&values);
    for (const std::vector<uint8_t>& bytes : values) {
        ByteView value(bytes.data(), bytes.size());
        uint8_t ns = value.U8(ntfs::kFnNamespace);
        if (ns >= 4 || !m_fileNames[ns].Empty()) continue;
        m_listedNames[ns] = bytes;
        m_fileNames[ns] = ByteView(m_listedNames[ns].data(), m_listedNames[ns].size());
        if (m_dwParentDirectory == 0xFFFFFFFF) m_dwParentDirectory = m_fileNames[ns].U32(ntfs::kFnParent);
    }
}

void CMFTRecord::GetLinkNames(std::vector<LinkName>* out) {
    out->clear();
    std::vector<std::vector<uint8_t>> listed;
    ReadListedFileNames(&listed);
    std::vector<ByteView> values = m_allFileNames;
    for (const std::vector<uint8_t>& bytes : listed) values.emplace_back(bytes.data(), bytes.size());
    bool hasLongName = false;
    for (const ByteView& v : values)
        if (v.U8(ntfs::kFnNamespace) != ntfs::kNamespaceDos) hasLongName = true;
    for (const ByteView& v : values) {
        LinkName link;
        link.nameSpace = v.U8(ntfs::kFnNamespace);
        if (link.nameSpace > ntfs::kNamespaceWin32AndDos || (hasLongName && link.nameSpace == ntfs::kNamespaceDos))
            continue;
        link.parent = v.U32(ntfs::kFnParent);
        size_t chars = std::min<size_t>(v.U8(ntfs::kFnNameLength), (v.Size() - ntfs::kFnName) / 2);
        if (chars == 0) continue;
        link.name.resize(chars);
        for (size_t i = 0; i < chars; ++i) link.name[i] = static_cast<char16_t>(v.U16(ntfs::kFnName + 2 * i));
        bool seen = false;
        for (const LinkName& other : *out)
            if (other.parent == link.parent && other.name == link.name) seen = true;
        if (!seen) out->push_back(std::move(link));
    }
}
