// The bytes of one candidate file as its structure walk sees them: offsets from the
// candidate's first byte, never past the format's size limit or the end of the medium.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace carve {

// Where candidate bytes come from: the drive (through the searcher) or memory (tests,
// fuzzing). Returns how many of the n bytes at `offset` it could give.
class IByteSource {
public:
    virtual ~IByteSource() = default;
    virtual size_t ReadAt(uint64_t offset, uint8_t* buffer, size_t n) = 0;
    virtual uint64_t Size() const = 0;
};

class MemoryByteSource final : public IByteSource {
public:
    MemoryByteSource(const uint8_t* data, size_t size) : m_pData(data), m_nSize(size) {}
    size_t ReadAt(uint64_t offset, uint8_t* buffer, size_t n) override;
    uint64_t Size() const override { return m_nSize; }

private:
    const uint8_t* m_pData;
    size_t m_nSize;
};

class CandidateBytes {
public:
    // Peeks of at most this many bytes are served whole.
    static constexpr size_t kMaxPeek = 4096;

    CandidateBytes(IByteSource* source, uint64_t start, uint64_t limit);

    // The n (<= kMaxPeek) bytes at candidate offset `offset`, valid until the next call;
    // nullptr when any of them lies past the limit or cannot be read.
    const uint8_t* Peek(uint64_t offset, size_t n);
    // Up to `want` bytes at `offset` from one window (at least 1 unless none can be read):
    // for walks that stream through data (CRCs, entropy-coded segments).
    const uint8_t* PeekSome(uint64_t offset, size_t want, size_t* got);
    // Candidate length past which no walk reads: the format's limit cut at the medium's end.
    uint64_t Limit() const { return m_nLimit; }
    bool Has(uint64_t offset, uint64_t n) const { return offset <= m_nLimit && n <= m_nLimit - offset; }

    // Walks count their steps against this, so no input makes one run long.
    bool Step() { return ++m_nSteps <= kMaxSteps; }

private:
    static constexpr size_t kWindow = 64 * 1024;
    static constexpr uint64_t kMaxSteps = 4'000'000;
    bool Fill(uint64_t offset);

    IByteSource* m_pSource;
    uint64_t m_nStart;
    uint64_t m_nLimit;
    std::vector<uint8_t> m_window;
    uint64_t m_nWindowOffset = 0;
    size_t m_nWindowSize = 0;
    uint64_t m_nSteps = 0;
};

// Big-endian and little-endian fields of a peeked span.
inline uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}
inline uint64_t Be64(const uint8_t* p) { return static_cast<uint64_t>(Be32(p)) << 32 | Be32(p + 4); }
inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) {
    return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace carve
