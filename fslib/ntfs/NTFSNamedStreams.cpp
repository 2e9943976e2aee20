// Named data streams of a file: the $DATA attributes that carry a name, listed with their
// size and damage, and opened for reading like the file's own data.
#include <algorithm>

#include "common/logger/Logger.h"
#include "fslib/ntfs/NTFSHandle.h"
#include "fslib/ntfs/NTFSParser.h"
#include "fslib/ntfs/NtfsLayout.h"
#include "platform/Text.h"

namespace {

constexpr uint16_t kAttrIsEncrypted = 0x4000;
// Sparse runs may describe far more than the volume holds, but no more than this.
constexpr uint64_t kMaxStreamClusters = uint64_t{1} << 40;
constexpr size_t kMaxStreamRuns = 1u << 20;

struct StreamAttribute {
    int offset = -1;
    std::string name;
};

// The record's own named $DATA attributes, in record order.
std::vector<StreamAttribute> NamedDataAttributes(const CMFTRecord& record) {
    std::vector<StreamAttribute> out;
    for (size_t i = 0; i < record.AttributeCount(); ++i) {
        const int at = record.AttributeOffset(i);
        const ByteView a = record.AttributeView(at);
        if (a.U32(ntfs::kAttrType) != ntfs::kAttrData) continue;
        const size_t chars = a.U8(ntfs::kAttrNameLength);
        const size_t nameAt = a.U16(ntfs::kAttrNameOffset);
        if (chars == 0 || !a.Has(nameAt, chars * 2)) continue;
        std::u16string name;
        for (size_t k = 0; k < chars; ++k) name += static_cast<char16_t>(a.U16(nameAt + 2 * k));
        out.push_back({at, platform::Utf16ToUtf8(name)});
    }
    return out;
}

}  // namespace

std::unique_ptr<CMFTRecord> CNTFSParser::ReadNodeRecord(const NodeEntry* node) {
    if (!node || node->IsDirectory()) return nullptr;
    uint8_t* buffer = new (std::nothrow) uint8_t[ntfs::kMaxRecordSize]();
    if (!buffer) return nullptr;
    auto record = std::make_unique<CMFTRecord>(buffer, node->key, true, this);
    if (ReadMFTRecord(node->key, buffer) != 0 || record->LocateRecordAttributes(0) != 0) return nullptr;
    return record;
}

void CNTFSParser::ListNamedStreams(NodeEntry* node, std::vector<NamedStreamInfo>* out) {
    out->clear();
    std::unique_ptr<CMFTRecord> record = ReadNodeRecord(node);
    if (!record) return;
    for (const StreamAttribute& s : NamedDataAttributes(*record)) {
        const ByteView a = record->AttributeView(s.offset);
        NamedStreamInfo info;
        info.name = s.name;
        if (a.U8(ntfs::kAttrNonResident)) {
            info.size = a.U64(ntfs::kAttrDataSize);
            std::vector<DataRun> runs;
            if (DecodeRunList(record->RunListView(s.offset), kMaxStreamClusters, kMaxStreamRuns, &runs) == RUNS_OK)
                info.damage = static_cast<float>(DamageOfRuns(runs));
        } else {
            info.size = record->ResidentValue(s.offset).Size();
        }
        out->push_back(std::move(info));
    }
}

uint32_t CNTFSParser::OpenNamedStream(NodeEntry* node, const std::string& name) {
    std::unique_ptr<CMFTRecord> record = ReadNodeRecord(node);
    if (!record) return INVALID_HANDLE;
    const std::vector<StreamAttribute> streams = NamedDataAttributes(*record);
    auto it = std::find_if(streams.begin(), streams.end(), [&](const StreamAttribute& s) { return s.name == name; });
    if (it == streams.end()) return INVALID_HANDLE;
    const ByteView a = record->AttributeView(it->offset);
    // ReadFile serves a file with compressed data from a decompressed copy of its unnamed
    // stream; an encrypted stream's clusters are ciphertext.
    if ((a.U16(ntfs::kAttrFlags) & (ntfs::kAttrIsCompressed | kAttrIsEncrypted)) || record->IsCompressed()) {
        g_Logger.ErrorF("The named stream %s of %s is compressed or encrypted and is not read", name.c_str(),
                        node->name ? node->name : "");
        return INVALID_HANDLE;
    }
    CMFTRecord::ReadState& rs = record->m_read;
    rs = CMFTRecord::ReadState();
    if (a.U8(ntfs::kAttrNonResident)) {
        if (DecodeRunList(record->RunListView(it->offset), kMaxStreamClusters, kMaxStreamRuns, &rs.runs) != RUNS_OK)
            return INVALID_HANDLE;
        rs.size = a.U64(ntfs::kAttrDataSize);
        rs.initialized = a.U64(ntfs::kAttrInitializedSize);
        // What the runs do not describe cannot be read.
        const uint64_t clusters = TotalRunClusters(rs.runs);
        const uint64_t runBytes =
            clusters > ~uint64_t{0} / std::max<uint64_t>(ClusterBytes(), 1) ? ~uint64_t{0} : clusters * ClusterBytes();
        rs.size = std::min(rs.size, runBytes);
        rs.initialized = std::min(rs.initialized, rs.size);
    } else {
        rs.resident = record->ResidentValue(it->offset);
        rs.hasResident = true;
        rs.size = rs.initialized = rs.resident.Size();
    }
    auto handle = std::make_unique<CNTFSHandle>();
    handle->record = std::move(record);
    return InsertHandle(handle.release());
}
