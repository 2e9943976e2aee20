#include <algorithm>
#include <cerrno>

#include "platform/ImageSource.h"
#include "platform/RawVolume.h"

namespace platform {

namespace {
// Bounds how long one reader holds a library handle while others wait.
constexpr size_t kPieceBytes = 1 << 20;
}  // namespace

int LockedLibrarySource::Read(void* buffer, size_t count, uint64_t offset, size_t* done) {
    *done = 0;
    if (offset >= m_size) return 0;
    count = static_cast<size_t>(std::min<uint64_t>(count, m_size - offset));
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (*done < count) {
        const size_t piece = std::min(count - *done, kPieceBytes);
        const uint64_t at = offset + *done;
        std::lock_guard<std::mutex> guard(m_lock);
        if (ReadLocked(bytes + *done, piece, at)) {
            *done += piece;
            continue;
        }
        // Find where the damage starts: the sectors before it are good data.
        size_t good = 0;
        while (good < piece) {
            const uint64_t sectorEnd = ((at + good) / kRawSectorSize + 1) * kRawSectorSize;
            const size_t step = static_cast<size_t>(std::min<uint64_t>(sectorEnd - (at + good), piece - good));
            if (!ReadLocked(bytes + *done + good, step, at + good)) break;
            good += step;
        }
        *done += good;
        if (good == piece) continue;
        return EIO;
    }
    return 0;
}

}  // namespace platform
