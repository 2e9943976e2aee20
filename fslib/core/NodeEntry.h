// One node of the deleted-file tree: a folder or file of the scanned volume, live or
// deleted. Nodes own their children. Kept small: a large NTFS volume holds millions.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Win32.h"

class NodeEntry {
public:
    NodeEntry() = default;
    NodeEntry(uint32_t key, const char* name, DWORD attributes, uint8_t isDeleted);
    ~NodeEntry();

    NodeEntry(const NodeEntry&) = delete;
    NodeEntry& operator=(const NodeEntry&) = delete;

    // Frees the strings and every child's subtree, then empties the child list.
    // Iterative: a hostile volume may nest folders deeper than the stack allows.
    void Destroy();
    // Copies every field and the child list (the pointers, not the children). The copy and
    // its source then share children and strings: destroy exactly one of them with
    // Destroy(), and only Release() the other.
    void Assign(const NodeEntry& other);
    // Forgets children and strings without freeing them (the other side of Assign).
    void Release();

    // Appends to the child list; the caller sets child->parent.
    void AddChild(NodeEntry* child);
    // Unlinks a child from the list without destroying it.
    void RemoveChild(NodeEntry* child);
    // Empties the list without destroying the children.
    void DetachChildren();

    bool IsDirectory() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    bool IsMadeUp() const { return madeUp != 0; }
    bool HasChildren() const { return m_pFirstChild != nullptr; }
    NodeEntry* FirstChild() const { return m_pFirstChild; }
    NodeEntry* NextSibling() const { return m_pNext; }
    size_t ChildCount() const;

    void SetName(const char* newName);
    void SetPath(const char* newPath);
    void SetPathBeforeDeletion(const char* text);

    // The UTF-16 form of the name, when the builder recorded one (NTFS). The name itself
    // is its lossless UTF-8 form, so only a flag is stored.
    bool HasWideName() const { return hasWideName != 0; }
    std::u16string WideName() const;

    // Adds the number of deleted nodes below this one (not itself) to *count.
    void CountDeletedDescendants(uint32_t* count) const;
    // Depth-first in child order: a child is compared before its own subtree is searched,
    // and the whole subtree before the next child. Returns 1 and sets *out on a hit.
    int FindNodeByKeyRecursive(uint32_t searchKey, NodeEntry** out, int depth = 0) const;

    class ChildRange {
    public:
        struct Iterator {
            NodeEntry* p;
            NodeEntry* operator*() const { return p; }
            Iterator& operator++() {
                p = p->m_pNext;
                return *this;
            }
            bool operator!=(const Iterator& o) const { return p != o.p; }
            bool operator==(const Iterator& o) const { return p == o.p; }
        };
        explicit ChildRange(NodeEntry* first) : m_pFirst(first) {}
        Iterator begin() const { return {m_pFirst}; }
        Iterator end() const { return {nullptr}; }

    private:
        NodeEntry* m_pFirst;
    };
    ChildRange Children() const { return ChildRange(m_pFirstChild); }

    NodeEntry* parent = nullptr;
    char* name = nullptr;                // UTF-8, owned
    char* path = nullptr;                // display path, filled by the browser; owned
    char* pathBeforeDeletion = nullptr;  // Recycle Bin items only; owned
    uint64_t size = 0;                   // bytes; the whole on-disk size
    FILETIME modifiedTime = 0;           // 0 = unknown
    FILETIME createdTime = 0;
    uint32_t key = 0;          // NTFS: MFT record number; FAT: first cluster
    DWORD attributes = 0;      // FILE_ATTRIBUTE_DIRECTORY marks a folder
    float damageLevel = 0.0f;  // 0 intact .. 1 overwritten
    uint8_t isDeleted = 0;
    uint8_t hasWideName = 0;
    // The scan's own verdict; the marking pass rewrites isDeleted of folders to mean
    // "something deleted lies below" and keeps the verdict here.
    uint8_t scanDeleted = 0;
    // The file system's own record of the entry failed its checks (a checksum, a length
    // beyond the size) and the entry is listed from what still made sense.
    uint8_t entryDamaged = 0;
    // A folder that no file system holds, made by a scan to hold what it found without a
    // folder on the volume (see MadeUpFolder.h).
    uint8_t madeUp = 0;

private:
    NodeEntry* m_pFirstChild = nullptr;
    NodeEntry* m_pLastChild = nullptr;
    NodeEntry* m_pPrev = nullptr;
    NodeEntry* m_pNext = nullptr;
};

// A node's path from the volume root, "/folder/name"; "/" for the root (a node without a
// parent). Parent chains end at the root; the bound only stops a walk over a damaged one.
std::string NodePathFromRoot(const NodeEntry* node);
// Where the children of `folder` are: its path from the root with a trailing "/", "/" for
// the root (or no folder).
std::string FolderPathFromRoot(const NodeEntry* folder);
