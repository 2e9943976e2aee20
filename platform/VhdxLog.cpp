// VHDX headers and log entries: two 4 KiB headers at 64 KiB and 128 KiB ("head", CRC-32C
// over the 4 KiB with the checksum field zero; the higher sequence number is current),
// and a circular log of 4 KiB-aligned entries ("loge", CRC-32C over the entry's length).
#include "platform/VhdxLog.h"

#include <array>
#include <cstring>
#include <vector>

namespace platform {

namespace {

constexpr uint64_t kHeaderOffsets[2] = {uint64_t{64} * 1024, uint64_t{128} * 1024};
constexpr size_t kHeaderSize = 4096;
constexpr size_t kHeaderChecksum = 4;    // u32
constexpr size_t kHeaderSequence = 8;    // u64
constexpr size_t kHeaderLogGuid = 48;    // 16 bytes; all zero: no log to replay
constexpr size_t kHeaderLogLength = 68;  // u32, bytes
constexpr size_t kHeaderLogOffset = 72;  // u64, bytes from the file's start
constexpr size_t kLogSector = 4096;
constexpr size_t kEntryChecksum = 4;            // u32
constexpr size_t kEntryLength = 8;              // u32, a multiple of 4 KiB
constexpr size_t kEntryLogGuid = 32;            // 16 bytes
constexpr uint64_t kMaxLogLength = 1ull << 30;  // far above what writers use

uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }
uint64_t U64(const uint8_t* p) { return U32(p) | uint64_t{U32(p + 4)} << 32; }

uint32_t Crc32c(const uint8_t* data, size_t size, size_t skipAt) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0x82F63B78u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = (i >= skipAt && i < skipAt + 4) ? 0 : data[i];
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

}  // namespace

bool VhdxHasPendingLog(const VhdxReadAt& read, uint64_t fileSize) {
    std::vector<uint8_t> header(kHeaderSize), best;
    uint64_t bestSequence = 0;
    for (uint64_t at : kHeaderOffsets) {
        if (!read(at, header.data(), header.size()) || std::memcmp(header.data(), "head", 4) != 0) continue;
        if (Crc32c(header.data(), header.size(), kHeaderChecksum) != U32(&header[kHeaderChecksum])) continue;
        const uint64_t sequence = U64(&header[kHeaderSequence]);
        if (best.empty() || sequence > bestSequence) {
            best = header;
            bestSequence = sequence;
        }
    }
    if (best.empty()) return false;
    const uint8_t* guid = &best[kHeaderLogGuid];
    static const uint8_t zero[16] = {};
    if (std::memcmp(guid, zero, 16) == 0) return false;
    const uint64_t logLength = U32(&best[kHeaderLogLength]);
    const uint64_t logOffset = U64(&best[kHeaderLogOffset]);
    if (logLength == 0 || logLength > kMaxLogLength || logOffset > fileSize || logLength > fileSize - logOffset)
        return false;
    std::vector<uint8_t> log(static_cast<size_t>(logLength));
    if (!read(logOffset, log.data(), log.size())) return false;
    for (size_t at = 0; at + kLogSector <= log.size(); at += kLogSector) {
        const uint8_t* entry = &log[at];
        if (std::memcmp(entry, "loge", 4) != 0 || std::memcmp(entry + kEntryLogGuid, guid, 16) != 0) continue;
        const uint32_t length = U32(entry + kEntryLength);
        if (length == 0 || length % kLogSector != 0 || length > log.size() - at) continue;
        if (Crc32c(entry, length, kEntryChecksum) == U32(entry + kEntryChecksum)) return true;
    }
    return false;
}

}  // namespace platform
