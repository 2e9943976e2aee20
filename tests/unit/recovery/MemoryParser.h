// A parser whose files live in memory, keyed by node key, for driving recovery, the
// browser and the undelete job without a volume. Reads can be made to fail over a byte
// range, the way an unreadable sector fails a read of the NTFS parser: the bytes before
// it arrive, the call fails, and the position still moves past the whole request.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fslib/core/FileSystemParser.h"

class MemoryParser final : public CFileSystemParser {
public:
    MemoryParser() : CFileSystemParser(nullptr, nullptr) { m_bFsType = FS_NTFS; }

    void AddFile(uint32_t key, std::vector<uint8_t> bytes) { m_files[key] = std::move(bytes); }
    void SetUnreadable(uint32_t key, uint64_t from, uint64_t to) { m_bad[key] = {from, to}; }
    int OpenCount() const { return m_nOpens; }
    size_t OpenHandles() const {
        size_t n = 0;
        for (size_t i = 0; i < HandleTableSize(); ++i) n += const_cast<MemoryParser*>(this)->GetHandleObject(i) ? 1 : 0;
        return n;
    }

    // Node helpers for building trees.
    static NodeEntry* Add(NodeEntry* parent, uint32_t key, const char* name, bool folder, bool deleted,
                          uint64_t size = 0) {
        auto* n = new NodeEntry(key, name, folder ? FILE_ATTRIBUTE_DIRECTORY : 0, deleted ? 1 : 0);
        n->size = size;
        parent->AddChild(n);
        n->parent = parent;
        return n;
    }

    int PrepareVolume() override { return 0; }
    uint32_t OpenRootDirectory() override { return INVALID_HANDLE; }
    uint32_t OpenDirectory(uint32_t, const char*) override { return INVALID_HANDLE; }
    BOOL MoveFirstFile(uint32_t, FindContext*, int) override { return FALSE; }
    BOOL MoveNextFile(FindContext*, int) override { return FALSE; }
    int CloseFindContext(const FindContext&) override { return 0; }
    BOOL IsDirectory(const FindContext&) override { return FALSE; }
    int ReadFindFileData(FindContext*, FindData*) override { return -1; }
    BOOL GetFindFileName(const FindContext&, std::string*) override { return FALSE; }
    int GetFindShortName(const FindContext&, std::string*) override { return 1; }
    uint32_t OpenFileByRef(FindContext*) override { return INVALID_HANDLE; }

    uint32_t OpenFileByTreeRef(NodeEntry* node) override {
        ++m_nOpens;
        if (m_handles.empty()) InsertHandle(new CHandleObject);  // handle 0 is never a file
        if (!node || !m_files.count(node->key)) return INVALID_HANDLE;
        auto* o = new FileHandle;
        o->key = node->key;
        return InsertHandle(o);
    }
    uint32_t SetFilePointer(uint32_t h, LONG low, LONG* high, int method) override {
        FileHandle* f = File(h);
        if (!f) return 0xFFFFFFFFu;
        uint64_t distance = (uint64_t{high ? static_cast<uint32_t>(*high) : 0u} << 32) | static_cast<uint32_t>(low);
        f->position = method == 0 ? distance : f->position + distance;
        return static_cast<uint32_t>(f->position);
    }
    BOOL ReadFile(uint32_t h, void* buffer, uint32_t count, uint32_t* read) override {
        *read = 0;
        FileHandle* f = File(h);
        if (!f) return FALSE;
        const std::vector<uint8_t>& data = m_files[f->key];
        uint64_t start = std::min<uint64_t>(f->position, data.size());
        uint64_t n = std::min<uint64_t>(count, data.size() - start);
        f->position = start + n;
        auto bad = m_bad.find(f->key);
        if (bad != m_bad.end() && start < bad->second.second && start + n > bad->second.first) {
            uint64_t good = bad->second.first > start ? bad->second.first - start : 0;
            std::memcpy(buffer, data.data() + start, good);
            *read = static_cast<uint32_t>(good);
            return FALSE;
        }
        std::memcpy(buffer, data.data() + start, n);
        *read = static_cast<uint32_t>(n);
        return TRUE;
    }
    uint32_t GetFileSize(uint32_t h, uint32_t* high) override {
        FileHandle* f = File(h);
        uint64_t size = f ? m_files[f->key].size() : 0;
        if (high) *high = static_cast<uint32_t>(size >> 32);
        return static_cast<uint32_t>(size);
    }
    void CloseFile(uint32_t h) override { FreeHandle(h); }

private:
    struct FileHandle : CHandleObject {
        uint32_t key = 0;
        uint64_t position = 0;
    };
    FileHandle* File(uint32_t h) { return dynamic_cast<FileHandle*>(GetHandleObject(h)); }

    std::map<uint32_t, std::vector<uint8_t>> m_files;
    std::map<uint32_t, std::pair<uint64_t, uint64_t>> m_bad;
    int m_nOpens = 0;
};
