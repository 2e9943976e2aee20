// The first bytes of a file node, read through the parser's file handles.
#include <algorithm>

#include "fslib/core/FileSystemParser.h"

bool CFileSystemParser::ReadNodeHead(NodeEntry* node, uint32_t maxBytes, std::vector<uint8_t>* out) {
    out->clear();
    if (!node || node->IsDirectory()) return false;
    uint32_t h = OpenNodeFile(node);
    if (h == INVALID_HANDLE) return false;
    uint32_t high = 0;
    uint64_t size = GetFileSize(h, &high);
    size |= uint64_t{high} << 32;
    out->assign(static_cast<size_t>(std::min<uint64_t>(size, maxBytes)), 0);
    uint32_t got = 0;
    // A failed read leaves zeros where the data could not be read, as recovery writes them.
    if (!ReadFile(h, out->data(), static_cast<uint32_t>(out->size()), &got) && got > out->size())
        std::fill(out->begin(), out->end(), 0);
    CloseFile(h);
    return true;
}
