#include "cli/NodeLookup.h"

#include <cstring>

std::vector<NodeEntry*> FindNodesByPath(NodeEntry* root, const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        if (slash > start) parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    std::vector<NodeEntry*> level{root};
    for (const std::string& part : parts) {
        std::vector<NodeEntry*> next;
        for (NodeEntry* folder : level)
            for (NodeEntry* child : folder->Children())
                if (child->name && part == child->name) next.push_back(child);
        level = std::move(next);
        if (level.empty()) break;
    }
    return level;
}
