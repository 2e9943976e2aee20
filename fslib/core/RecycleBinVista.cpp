#include "fslib/core/RecycleBinVista.h"

#include <strings.h>

#include <vector>

#include "common/logger/Logger.h"
#include "platform/Text.h"

namespace recyclebin {

namespace {

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// "$R" or "$I" + rest, any case. On FAT a deleted entry without its long name lost its
// first character to the deletion mark, which the walk shows as "_".
bool HasBinPrefix(const NodeEntry* node, char kind) {
    const char* name = node->name;
    if (!name || !name[0] || !name[1] || !name[2]) return false;
    const bool lead = name[0] == '$' || (node->isDeleted && name[0] == '_');
    return lead && (name[1] == kind || name[1] == kind - 'A' + 'a');
}

}  // namespace

bool ParseDollarI(ByteView bytes, DollarIRecord* out) {
    if (!out || !bytes.Has(0, kDollarILengthOffsetV2)) return false;
    const uint64_t version = bytes.U64(0);
    size_t pathOffset = 0;
    size_t pathChars = 0;
    if (version == kDollarIVersion1) {
        if (!bytes.Has(kDollarIPathOffsetV1, kDollarIPathBytesV1)) return false;
        pathOffset = kDollarIPathOffsetV1;
        pathChars = kDollarIPathBytesV1 / 2;
    } else if (version == kDollarIVersion2) {
        if (!bytes.Has(kDollarILengthOffsetV2, 4)) return false;
        const uint32_t length = bytes.U32(kDollarILengthOffsetV2);
        if (length == 0 || length > kDollarIMaxPathChars) return false;
        if (!bytes.Has(kDollarIPathOffsetV2, size_t{length} * 2)) return false;
        pathOffset = kDollarIPathOffsetV2;
        pathChars = length;
    } else {
        return false;
    }
    std::u16string path;
    bool terminated = false;
    for (size_t i = 0; i < pathChars; ++i) {
        const char16_t c = static_cast<char16_t>(bytes.U16(pathOffset + 2 * i));
        if (c == 0) {
            terminated = true;
            break;
        }
        path += c;
    }
    if (!terminated || path.empty()) return false;
    out->version = static_cast<uint32_t>(version);
    out->size = bytes.U64(8);
    out->deletedTime = bytes.U64(16);
    out->path = platform::Utf16ToUtf8(path);
    return true;
}

bool IsVistaBinFolder(const std::string& folderPath) {
    static const std::string kHead = "/$recycle.bin/";
    if (folderPath.size() <= kHead.size() + 1 || LowerAscii(folderPath.substr(0, kHead.size())) != kHead) return false;
    // Exactly one folder below the bin: the user's.
    const std::string rest = folderPath.substr(kHead.size());
    const size_t slash = rest.find('/');
    return slash != std::string::npos && slash > 0 && slash + 1 == rest.size();
}

bool IsVistaBinItem(const NodeEntry* node) {
    return node && HasBinPrefix(node, 'R') && IsVistaBinFolder(NodeFolderPath(node));
}

bool LookUpVistaBinItem(NodeEntry* item, const NodeContentReader& reader) {
    if (!item || !item->parent || !reader || !HasBinPrefix(item, 'R')) return false;
    if (item->pathBeforeDeletion) return true;
    const char* rest = item->name + 2;
    NodeEntry* twin = nullptr;
    for (NodeEntry* c : item->parent->Children()) {
        if (c == item || c->IsDirectory() || !HasBinPrefix(c, 'I') || ::strcasecmp(c->name + 2, rest) != 0) continue;
        if (!c->scanDeleted && !c->isDeleted) {
            twin = c;
            break;
        }
        if (!twin) twin = c;
    }
    if (!twin) return false;
    std::vector<uint8_t> bytes;
    DollarIRecord record;
    if (!reader(twin, kMaxDollarISize, &bytes) || !ParseDollarI(ByteView(bytes.data(), bytes.size()), &record)) {
        g_Logger.InfoF("The Recycle Bin record %s of %s cannot be read; the item keeps its own name", twin->name,
                       item->name);
        return false;
    }
    item->SetPathBeforeDeletion(record.path.c_str());
    return true;
}

}  // namespace recyclebin
