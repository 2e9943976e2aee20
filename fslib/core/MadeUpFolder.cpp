#include "fslib/core/MadeUpFolder.h"

#include "fslib/core/FileSystemParser.h"

namespace madeup {

std::string FolderName(const std::string& wanted) {
    if (wanted.empty() || wanted == "." || wanted == "..") return "_";
    std::string name = wanted;
    for (char& c : name) {
        // The rules of a recovered name, asked of one character behind a harmless one.
        const char probe[3] = {'x', c, 0};
        if (c == 0 || !CFileSystemParser::IsValidFileNameA(probe)) c = '_';
    }
    return name;
}

std::string UniqueName(const std::unordered_set<std::string>& taken, const std::string& name) {
    if (!taken.count(name)) return name;
    for (unsigned n = 2;; ++n) {
        std::string candidate = name + " (" + std::to_string(n) + ")";
        if (!taken.count(candidate)) return candidate;
    }
}

NodeEntry* MakeFolder(uint32_t key, const std::string& wanted, FILETIME time) {
    auto* folder = new NodeEntry(key, FolderName(wanted).c_str(), FILE_ATTRIBUTE_DIRECTORY, 1);
    folder->madeUp = 1;
    folder->modifiedTime = time;
    return folder;
}

NodeEntry* AddFolder(NodeEntry* parent, uint32_t key, const std::string& wanted, FILETIME time) {
    std::unordered_set<std::string> taken;
    for (const NodeEntry* child : parent->Children())
        if (child->name) taken.insert(child->name);
    NodeEntry* folder = MakeFolder(key, wanted, time);
    const std::string unique = UniqueName(taken, folder->name);
    if (unique != folder->name) folder->SetName(unique.c_str());
    parent->AddChild(folder);
    folder->parent = parent;
    return folder;
}

}  // namespace madeup
