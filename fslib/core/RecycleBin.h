// Recycle Bin INFO2 index: the paths before deletion of the files in a bin folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fslib/core/FileSystemParser.h"
#include "fslib/core/NodeEntry.h"

namespace recyclebin {

constexpr uint32_t kInfo2HeaderSize = 20;
constexpr uint32_t kInfo2RecordSize = 800;
constexpr uint32_t kRecordNumberOffset = 260;  // u32: the number in the bin file's name
constexpr uint32_t kWidePathOffset = 280;      // 260 UTF-16 characters, NUL-terminated
constexpr uint32_t kWidePathBytes = 520;
// An INFO2 larger than this is not an index a bin folder holds.
constexpr uint32_t kMaxInfo2Size = 64u << 20;

// Random access to an INFO2 file: reads past the end give zeros.
class Info2Reader {
public:
    virtual ~Info2Reader() = default;
    virtual uint32_t Size() = 0;
    virtual void ReadAt(uint32_t offset, uint32_t bytes, uint8_t* out) = 0;
};

// INFO2 content held in memory.
class Info2Bytes final : public Info2Reader {
public:
    explicit Info2Bytes(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    uint32_t Size() override { return static_cast<uint32_t>(m_bytes.size()); }
    void ReadAt(uint32_t offset, uint32_t bytes, uint8_t* out) override;

private:
    std::vector<uint8_t> m_bytes;
};

// The number a bin file name carries: "DC12.txt" -> 12, "DC7" -> 7; 0 without digits.
uint32_t BinFileRecordNumber(const char* name);

// Looks the record up; false when the number is not in the index. A record cut short
// by the end of the file gives the part of its path that is there.
bool FindInfo2Record(Info2Reader& info2, uint32_t recordNumber, std::string* pathBeforeDeletion);

// Reads up to maxBytes of a live file of the scanned volume into *out.
using NodeContentReader = std::function<bool(NodeEntry* node, uint32_t maxBytes, std::vector<uint8_t>* out)>;

// Folder path of a node from the volume root, ending in "/": its display path when the
// browser gave it one, else built from its parents.
std::string NodeFolderPath(const NodeEntry* node);

// A live file or folder that an INFO2 index may name: inside a folder below \RECYCLER\ or
// \RECYCLED\ (never those folders themselves), named "D..." with more than two characters,
// and not the folder's desktop.ini.
bool IsInfo2BinFile(const NodeEntry* node);

}  // namespace recyclebin

// Fills node->pathBeforeDeletion from the INFO2 index of the node's folder. The index is
// read through the folder where the scanned volume is mounted, or, when it is not
// mounted, as the live INFO2 file of the tree through `reader` (the parser's
// ReadNodeContent, failing on an unreadable sector, when none is given). True when the path is known.
bool GetBeforeDeletingName(char driveLetter, NodeEntry* node, CFileSystemParser* parser = nullptr,
                           const recyclebin::NodeContentReader& reader = {});
