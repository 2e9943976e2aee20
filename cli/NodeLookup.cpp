#include "cli/NodeLookup.h"

#include <cstring>

namespace {

// The name a deleted node with a long name was shown under before names were kept
// whole: '_' in place of its first character.
bool IsOldDeletedSpelling(const std::string& part, const NodeEntry* node) {
    if (!node->isDeleted || !node->name || part.empty() || part[0] != '_') return false;
    const std::string name = node->name;
    if (name.empty() || name[0] == '_') return false;
    // The first character may take several bytes of UTF-8.
    size_t second = 1;
    while (second < name.size() && (static_cast<unsigned char>(name[second]) & 0xC0) == 0x80) ++second;
    return part.compare(1, std::string::npos, name, second, std::string::npos) == 0;
}

}  // namespace

std::vector<NodeEntry*> FindNodesByPath(NodeEntry* root, const std::string& path, bool* oldSpelling) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        if (slash > start) parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    if (oldSpelling) *oldSpelling = false;
    std::vector<NodeEntry*> level{root};
    for (const std::string& part : parts) {
        std::vector<NodeEntry*> next;
        for (NodeEntry* folder : level)
            for (NodeEntry* child : folder->Children())
                if (child->name && part == child->name) next.push_back(child);
        if (next.empty() && oldSpelling) {
            for (NodeEntry* folder : level)
                for (NodeEntry* child : folder->Children())
                    if (IsOldDeletedSpelling(part, child)) next.push_back(child);
            if (!next.empty()) *oldSpelling = true;
        }
        level = std::move(next);
        if (level.empty()) break;
    }
    return level;
}
