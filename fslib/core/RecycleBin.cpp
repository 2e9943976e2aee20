#include "fslib/core/RecycleBin.h"

#include <strings.h>
#include <cstdlib>
#include <cstring>

#include "common/logger/LLFile.h"
#include "common/logger/Logger.h"
#include "fslib/core/MountInfo.h"
#include "platform/DriveTable.h"
#include "platform/Text.h"

namespace recyclebin {

namespace {

// LLFile's code for an index that cannot be opened; used as well when the parser has none.
constexpr int kInfo2NotFound = 2;

// The live index file through the mounted file system.
class LLFileInfo2 final : public Info2Reader {
public:
    explicit LLFileInfo2(const char* path) : m_file(path) {}
    uint32_t Size() override { return m_file.GetSize32(); }
    void ReadAt(uint32_t offset, uint32_t bytes, uint8_t* out) override {
        void* data = m_file.ReadAt32(static_cast<long>(offset), bytes);
        std::memcpy(out, data, bytes);
        std::free(data);
    }

private:
    LLFile m_file;
};

NodeEntry* FindInfo2Node(const NodeEntry* binFile) {
    if (!binFile->parent) return nullptr;
    NodeEntry* deletedMatch = nullptr;
    for (NodeEntry* c : binFile->parent->Children()) {
        if (!c->name || c->IsDirectory() || ::strcasecmp(c->name, "INFO2") != 0) continue;
        if (!c->isDeleted) return c;
        if (!deletedMatch) deletedMatch = c;
    }
    return deletedMatch;
}

}  // namespace

void Info2Bytes::ReadAt(uint32_t offset, uint32_t bytes, uint8_t* out) {
    std::memset(out, 0, bytes);
    if (offset >= m_bytes.size()) return;
    size_t n = std::min<size_t>(bytes, m_bytes.size() - offset);
    std::memcpy(out, m_bytes.data() + offset, n);
}

uint32_t BinFileRecordNumber(const char* name) {
    if (!name || std::strlen(name) < 3) return 0;
    std::string digits(name + 2);
    size_t dot = digits.find('.');
    if (dot != std::string::npos) digits.resize(dot);
    return static_cast<uint32_t>(std::atoi(digits.c_str()));
}

bool FindInfo2Record(Info2Reader& info2, uint32_t recordNumber, std::string* pathBeforeDeletion) {
    uint32_t size = info2.Size();
    uint64_t offset = kInfo2HeaderSize + kRecordNumberOffset;
    for (; offset < size; offset += kInfo2RecordSize) {
        uint8_t number[4];
        info2.ReadAt(static_cast<uint32_t>(offset), 4, number);
        uint32_t value = number[0] | (number[1] << 8) | (number[2] << 16) | (uint32_t{number[3]} << 24);
        if (value == recordNumber) break;
    }
    if (offset >= size) return false;
    uint8_t wide[kWidePathBytes];
    info2.ReadAt(static_cast<uint32_t>(offset + (kWidePathOffset - kRecordNumberOffset)), kWidePathBytes, wide);
    std::u16string text;
    for (uint32_t i = 0; i + 1 < kWidePathBytes; i += 2) {
        char16_t c = static_cast<char16_t>(wide[i] | (wide[i + 1] << 8));
        if (c == 0) break;
        text += c;
    }
    *pathBeforeDeletion = platform::Utf16ToUtf8(text);
    return true;
}

std::string NodeFolderPath(const NodeEntry* node) {
    if (node->path && node->path[0]) return node->path;
    return FolderPathFromRoot(node->parent);
}

bool IsInfo2BinFile(const NodeEntry* node) {
    constexpr size_t kBinFolderLength = 10;  // "/recycler/" or "/recycled/"
    if (!node || node->isDeleted || !node->name) return false;
    const std::string folder = NodeFolderPath(node);
    if (folder.size() <= kBinFolderLength || std::strlen(node->name) <= 2) return false;
    if (::strncasecmp(folder.c_str(), "/recycler/", kBinFolderLength) != 0 &&
        ::strncasecmp(folder.c_str(), "/recycled/", kBinFolderLength) != 0)
        return false;
    return (node->name[0] == 'd' || node->name[0] == 'D') && ::strcasecmp(node->name, "desktop.ini") != 0;
}

}  // namespace recyclebin

bool GetBeforeDeletingName(char driveLetter, NodeEntry* node, CFileSystemParser* parser,
                           const recyclebin::NodeContentReader& reader) {
    using namespace recyclebin;
    if (!node) return false;
    if (node->pathBeforeDeletion) return true;
    uint32_t number = BinFileRecordNumber(node->name);
    std::string found;
    bool known = false;
    try {
        std::string mountPoint;
        if (auto source = platform::DriveTable::Instance().Find(driveLetter))
            mountPoint = mountinfo::FindMountPoint(source->source, mountinfo::ReadMountTable());
        if (!mountPoint.empty()) {
            while (mountPoint.size() > 1 && mountPoint.back() == '/') mountPoint.pop_back();
            std::string indexPath = (mountPoint == "/" ? "" : mountPoint) + NodeFolderPath(node) + "INFO2";
            LLFileInfo2 info2(indexPath.c_str());
            known = FindInfo2Record(info2, number, &found);
        } else {
            NodeEntry* index = FindInfo2Node(node);
            std::vector<uint8_t> bytes;
            bool read = index && (reader ? reader(index, kMaxInfo2Size, &bytes)
                                         : parser && parser->ReadNodeContent(index, kMaxInfo2Size, &bytes,
                                                                             UnreadableSectors::Fail));
            if (!read) throw kInfo2NotFound;
            Info2Bytes info2(std::move(bytes));
            known = FindInfo2Record(info2, number, &found);
        }
    } catch (int code) {
        g_Logger.ErrorF("GetBeforeDeletingName() trap! Error code - %d", code);
        g_Logger.ErrorF("Path - %s", node->path ? node->path : "");
        g_Logger.ErrorF("File - %s", node->name ? node->name : "");
        return false;
    } catch (...) {
        g_Logger.Error("GetBeforeDeletingName() trap! Error code unaviable");
        g_Logger.ErrorF("Path - %s", node->path ? node->path : "");
        g_Logger.ErrorF("File - %s", node->name ? node->name : "");
        return false;
    }
    if (!known) return false;
    node->SetPathBeforeDeletion(found.c_str());
    return true;
}
