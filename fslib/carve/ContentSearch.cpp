#include "fslib/carve/ContentSearch.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "fslib/core/JobState.h"
#include "fslib/disk/DiskDrive.h"

namespace carve {

namespace {

constexpr int kUserBreak = -1000;
constexpr size_t kBlocks = 3;  // one being read, one waiting, one being searched

// The drive shared by the reading thread and the walks: a drive reads through one
// position, so each read is one locked seek and read.
class SharedDrive final : public IByteSource {
public:
    explicit SharedDrive(CDiskDrive* drive) : m_pDrive(drive), m_nSize(drive->TotalSectors() * kSectorSize) {}

    // Whole sectors into `buffer`; unreadable ones as zeros.
    void ReadSectors(uint64_t sector, uint8_t* buffer, uint32_t count) {
        std::lock_guard<std::mutex> lock(m_mutex);
        uint32_t bad = 0;
        if (m_pDrive->ReadSectorsSafe(sector, buffer, count, &bad) == kSeekFailed)
            std::memset(buffer, 0, size_t{count} * kSectorSize);
    }

    size_t ReadAt(uint64_t offset, uint8_t* buffer, size_t n) override {
        if (offset >= m_nSize) return 0;
        n = static_cast<size_t>(std::min<uint64_t>(n, m_nSize - offset));
        uint64_t first = offset / kSectorSize;
        uint64_t last = (offset + n + kSectorSize - 1) / kSectorSize;
        if (offset % kSectorSize == 0 && n % kSectorSize == 0) {
            ReadSectors(first, buffer, static_cast<uint32_t>(last - first));
            return n;
        }
        m_scratch.resize(static_cast<size_t>(last - first) * kSectorSize);
        ReadSectors(first, m_scratch.data(), static_cast<uint32_t>(last - first));
        std::memcpy(buffer, m_scratch.data() + offset % kSectorSize, n);
        return n;
    }
    uint64_t Size() const override { return m_nSize; }

private:
    CDiskDrive* m_pDrive;
    uint64_t m_nSize;
    std::mutex m_mutex;
    std::vector<uint8_t> m_scratch;  // used by the searching thread only
};

struct Block {
    uint64_t offset = 0;
    size_t size = 0;
    bool last = false;
    std::vector<uint8_t> data;
};

// Blocks pass from the reading thread to the searching one and back through two queues;
// there are kBlocks of them, so memory stays the same whatever the drive's size.
class BlockQueue {
public:
    void Put(Block* b) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_blocks.push_back(b);
        }
        m_ready.notify_one();
    }
    Block* Take() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [&] { return !m_blocks.empty(); });
        Block* b = m_blocks.front();
        m_blocks.pop_front();
        return b;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Block*> m_blocks;
};

}  // namespace

std::string FoundFile::FileName() const {
    char name[48];
    std::snprintf(name, sizeof name, "f%07llu.%s", static_cast<unsigned long long>(FirstSector()), extension.c_str());
    return name;
}

int SearchByContent(CDiskDrive* drive, RegionPlan& plan, const SearchOptions& options, ISearchSink* sink) {
    SharedDrive shared(drive);
    std::vector<const FileFormat*> formats = SelectFormats(options.types, nullptr);
    size_t blockBytes = std::max<size_t>(options.blockBytes / kSectorSize * kSectorSize, kSectorSize);

    SearchProgress progress;
    progress.bytesTotal = plan.TotalBytes();
    plan.Rewind();

    Block blocks[kBlocks];
    BlockQueue empty, full;
    for (Block& b : blocks) {
        b.data.resize(blockBytes);
        empty.Put(&b);
    }
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        SearchRegion region;
        while (!stop.load() && plan.Next(&region)) {
            for (uint64_t done = 0; done < region.length && !stop.load();) {
                Block* b = empty.Take();
                b->offset = region.offset + done;
                b->size = static_cast<size_t>(std::min<uint64_t>(blockBytes, region.length - done));
                shared.ReadSectors(b->offset / kSectorSize, b->data.data(),
                                   static_cast<uint32_t>(b->size / kSectorSize));
                done += b->size;
                full.Put(b);
            }
        }
        Block* end = empty.Take();
        end->last = true;
        full.Put(end);
    });

    int result = 0;
    uint64_t skipUntil = 0;  // the end of the last whole file found
    for (;;) {
        Block* b = full.Take();
        if (b->last) break;
        if (IsUserBreak() && !stop.load()) {
            stop = true;
            result = kUserBreak;
        }
        for (size_t at = 0; !stop.load() && at + kSectorSize <= b->size; at += kSectorSize) {
            uint64_t offset = b->offset + at;
            if (offset < skipUntil) continue;
            const uint8_t* sector = b->data.data() + at;
            for (const FileFormat* f : formats) {
                if (!f->IsHeader(sector)) continue;
                WalkResult r = RunWalk(*f, &shared, offset);
                if (r.whole) skipUntil = offset + r.length;
                if (!ResultWanted(options.types, *f, r)) break;
                FoundFile found;
                found.offset = offset;
                found.length = r.length;
                found.whole = r.whole;
                found.extension = r.extension ? r.extension : f->name;
                found.typeName = r.typeName ? r.typeName : f->typeName;
                found.dateTaken = r.dateTaken;
                ++progress.filesFound;
                sink->OnFound(found);
                break;
            }
        }
        progress.bytesDone += b->size;
        sink->OnProgress(progress);
        empty.Put(b);
    }
    reader.join();
    return result;
}

bool CopyDriveBytes(CDiskDrive* drive, uint64_t offset, uint64_t length,
                    bool (*write)(void* context, const uint8_t* bytes, size_t n), void* context) {
    SharedDrive shared(drive);
    std::vector<uint8_t> buffer(1u << 20);
    while (length > 0) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), length));
        size_t got = shared.ReadAt(offset, buffer.data(), n);
        if (got < n) std::memset(buffer.data() + got, 0, n - got);
        if (!write(context, buffer.data(), n)) return false;
        offset += n;
        length -= n;
    }
    return true;
}

}  // namespace carve
