#include "fslib/core/NodeEntry.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Text.h"

namespace {
// Folders a path walk climbs at most. NTFS paths reach 32,767 UTF-16 characters, which
// allows well over 4,096 levels; no legal tree comes near this.
constexpr size_t kMaxPathDepth = 100000;

char* CopyString(const char* s) {
    if (!s) return nullptr;
    size_t n = std::strlen(s) + 1;
    char* p = static_cast<char*>(std::malloc(n));
    if (p) std::memcpy(p, s, n);
    return p;
}
void FreeString(char*& s) {
    std::free(s);
    s = nullptr;
}
}  // namespace

NodeEntry::NodeEntry(uint32_t nodeKey, const char* nodeName, DWORD nodeAttributes, uint8_t deleted)
    : name(CopyString(nodeName)), key(nodeKey), attributes(nodeAttributes), isDeleted(deleted) {}

NodeEntry::~NodeEntry() { Destroy(); }

void NodeEntry::Destroy() {
    FreeString(name);
    FreeString(path);
    FreeString(pathBeforeDeletion);
    hasWideName = 0;
    // Unlink whole child lists onto a work stack so that no destructor recurses.
    std::vector<NodeEntry*> pending;
    for (NodeEntry* c = m_pFirstChild; c; c = c->m_pNext) pending.push_back(c);
    m_pFirstChild = m_pLastChild = nullptr;
    while (!pending.empty()) {
        NodeEntry* n = pending.back();
        pending.pop_back();
        for (NodeEntry* c = n->m_pFirstChild; c; c = c->m_pNext) pending.push_back(c);
        n->m_pFirstChild = n->m_pLastChild = nullptr;
        delete n;
    }
}

void NodeEntry::Assign(const NodeEntry& other) {
    if (this == &other) return;
    parent = other.parent;
    name = other.name;
    path = other.path;
    pathBeforeDeletion = other.pathBeforeDeletion;
    size = other.size;
    modifiedTime = other.modifiedTime;
    createdTime = other.createdTime;
    key = other.key;
    attributes = other.attributes;
    damageLevel = other.damageLevel;
    isDeleted = other.isDeleted;
    hasWideName = other.hasWideName;
    scanDeleted = other.scanDeleted;
    entryDamaged = other.entryDamaged;
    madeUp = other.madeUp;
    m_pFirstChild = other.m_pFirstChild;
    m_pLastChild = other.m_pLastChild;
}

void NodeEntry::Release() {
    name = path = pathBeforeDeletion = nullptr;
    hasWideName = 0;
    m_pFirstChild = m_pLastChild = nullptr;
}

void NodeEntry::AddChild(NodeEntry* child) {
    if (!child) return;
    child->m_pPrev = m_pLastChild;
    child->m_pNext = nullptr;
    if (m_pLastChild)
        m_pLastChild->m_pNext = child;
    else
        m_pFirstChild = child;
    m_pLastChild = child;
}

void NodeEntry::RemoveChild(NodeEntry* child) {
    if (!child) return;
    for (NodeEntry* c = m_pFirstChild; c; c = c->m_pNext) {
        if (c != child) continue;
        if (c->m_pPrev)
            c->m_pPrev->m_pNext = c->m_pNext;
        else
            m_pFirstChild = c->m_pNext;
        if (c->m_pNext)
            c->m_pNext->m_pPrev = c->m_pPrev;
        else
            m_pLastChild = c->m_pPrev;
        c->m_pPrev = c->m_pNext = nullptr;
        return;
    }
}

void NodeEntry::DetachChildren() { m_pFirstChild = m_pLastChild = nullptr; }

size_t NodeEntry::ChildCount() const {
    size_t n = 0;
    for (NodeEntry* c = m_pFirstChild; c; c = c->m_pNext) ++n;
    return n;
}

void NodeEntry::SetName(const char* newName) {
    FreeString(name);
    name = CopyString(newName);
}

void NodeEntry::SetPath(const char* newPath) {
    FreeString(path);
    path = CopyString(newPath);
}

void NodeEntry::SetPathBeforeDeletion(const char* text) {
    FreeString(pathBeforeDeletion);
    pathBeforeDeletion = CopyString(text);
}

std::u16string NodeEntry::WideName() const {
    if (!hasWideName || !name) return {};
    return platform::Utf8ToUtf16(name);
}

void NodeEntry::CountDeletedDescendants(uint32_t* count) const {
    if (!count) return;
    std::vector<const NodeEntry*> pending;
    for (NodeEntry* c = m_pFirstChild; c; c = c->m_pNext) pending.push_back(c);
    while (!pending.empty()) {
        const NodeEntry* n = pending.back();
        pending.pop_back();
        if (n->isDeleted) ++*count;
        for (NodeEntry* c = n->m_pFirstChild; c; c = c->m_pNext) pending.push_back(c);
    }
}

int NodeEntry::FindNodeByKeyRecursive(uint32_t searchKey, NodeEntry** out, int /*depth*/) const {
    // Pre-order walk with an explicit stack of "next sibling to visit" cursors.
    std::vector<NodeEntry*> stack;
    NodeEntry* c = m_pFirstChild;
    while (c || !stack.empty()) {
        if (!c) {
            c = stack.back();
            stack.pop_back();
            continue;
        }
        if (c->key == searchKey) {
            if (out) *out = c;
            return 1;
        }
        if (c->m_pFirstChild) {
            stack.push_back(c->m_pNext);
            c = c->m_pFirstChild;
        } else {
            c = c->m_pNext;
        }
    }
    return 0;
}

std::string NodePathFromRoot(const NodeEntry* node) {
    std::vector<const char*> names;
    for (const NodeEntry* n = node; n && n->parent && names.size() < kMaxPathDepth; n = n->parent)
        names.push_back(n->name ? n->name : "");
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        path += '/';
        path += *it;
    }
    return path.empty() ? "/" : path;
}

std::string FolderPathFromRoot(const NodeEntry* folder) {
    std::string path = NodePathFromRoot(folder);
    if (path.back() != '/') path += '/';
    return path;
}
