// Bounds-checked little-endian view over bytes read from a volume. Every on-disk
// structure is read through one of these; no packed struct is ever cast onto a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class ByteView {
public:
    ByteView() = default;
    ByteView(const uint8_t* data, size_t size, uint64_t diskOffset = 0)
        : m_pData(data), m_nSize(data ? size : 0), m_nDiskOffset(diskOffset) {}

    const uint8_t* Data() const { return m_pData; }
    size_t Size() const { return m_nSize; }
    bool Empty() const { return m_nSize == 0; }
    // Disk byte offset of Data()[0], for messages.
    uint64_t DiskOffset() const { return m_nDiskOffset; }

    // True when [off, off + len) lies inside the view; never overflows.
    bool Has(size_t off, size_t len) const { return off <= m_nSize && len <= m_nSize - off; }

    // Readers return 0 for bytes outside the view; validate with Has() first where it matters.
    uint8_t U8(size_t off) const { return Has(off, 1) ? m_pData[off] : 0; }
    uint16_t U16(size_t off) const {
        return Has(off, 2) ? static_cast<uint16_t>(m_pData[off] | (m_pData[off + 1] << 8)) : 0;
    }
    uint32_t U32(size_t off) const {
        if (!Has(off, 4)) return 0;
        return static_cast<uint32_t>(m_pData[off]) | (static_cast<uint32_t>(m_pData[off + 1]) << 8) |
               (static_cast<uint32_t>(m_pData[off + 2]) << 16) | (static_cast<uint32_t>(m_pData[off + 3]) << 24);
    }
    uint64_t U64(size_t off) const {
        if (!Has(off, 8)) return 0;
        return static_cast<uint64_t>(U32(off)) | (static_cast<uint64_t>(U32(off + 4)) << 32);
    }
    // Little-endian unsigned integer of 0..8 bytes (run-list fields).
    uint64_t UN(size_t off, size_t len) const {
        if (len > 8 || !Has(off, len)) return 0;
        uint64_t v = 0;
        for (size_t i = 0; i < len; ++i) v |= static_cast<uint64_t>(m_pData[off + i]) << (8 * i);
        return v;
    }
    // Little-endian two's complement integer of 1..8 bytes, sign-extended.
    int64_t SN(size_t off, size_t len) const {
        if (len == 0 || len > 8 || !Has(off, len)) return 0;
        uint64_t v = UN(off, len);
        if (len < 8 && (m_pData[off + len - 1] & 0x80)) v |= ~uint64_t{0} << (8 * len);
        return static_cast<int64_t>(v);
    }

    bool Equals(size_t off, const void* bytes, size_t len) const {
        return Has(off, len) && std::memcmp(m_pData + off, bytes, len) == 0;
    }

    // Narrowed view; an out-of-range request gives an empty view.
    ByteView Sub(size_t off, size_t len) const {
        if (!Has(off, len)) return ByteView(nullptr, 0, m_nDiskOffset + off);
        return ByteView(m_pData + off, len, m_nDiskOffset + off);
    }
    ByteView From(size_t off) const { return off <= m_nSize ? Sub(off, m_nSize - off) : ByteView(); }

private:
    const uint8_t* m_pData = nullptr;
    size_t m_nSize = 0;
    uint64_t m_nDiskOffset = 0;
};
