#include "fslib/carve/CandidateBytes.h"

#include <algorithm>
#include <cstring>

namespace carve {

size_t MemoryByteSource::ReadAt(uint64_t offset, uint8_t* buffer, size_t n) {
    if (offset >= m_nSize) return 0;
    size_t k = static_cast<size_t>(std::min<uint64_t>(n, m_nSize - offset));
    std::memcpy(buffer, m_pData + offset, k);
    return k;
}

CandidateBytes::CandidateBytes(IByteSource* source, uint64_t start, uint64_t limit)
    : m_pSource(source), m_nStart(start) {
    uint64_t size = source->Size();
    uint64_t room = start < size ? size - start : 0;
    m_nLimit = std::min(limit, room);
    m_window.resize(kWindow);
}

bool CandidateBytes::Fill(uint64_t offset) {
    // Windows start on 512-byte steps, so a walk moving forward reads each sector once.
    uint64_t base = offset & ~uint64_t{511};
    size_t want = static_cast<size_t>(std::min<uint64_t>(kWindow, m_nLimit - base));
    m_nWindowOffset = base;
    m_nWindowSize = m_pSource->ReadAt(m_nStart + base, m_window.data(), want);
    return m_nWindowSize > offset - base;
}

const uint8_t* CandidateBytes::Peek(uint64_t offset, size_t n) {
    if (n > kMaxPeek || !Has(offset, n)) return nullptr;
    if (offset < m_nWindowOffset || offset + n > m_nWindowOffset + m_nWindowSize) {
        if (!Fill(offset)) return nullptr;
        if (offset + n > m_nWindowOffset + m_nWindowSize) return nullptr;
    }
    return m_window.data() + (offset - m_nWindowOffset);
}

const uint8_t* CandidateBytes::PeekSome(uint64_t offset, size_t want, size_t* got) {
    *got = 0;
    if (want == 0 || offset >= m_nLimit) return nullptr;
    if (offset < m_nWindowOffset || offset >= m_nWindowOffset + m_nWindowSize) {
        if (!Fill(offset)) return nullptr;
    }
    size_t inWindow = static_cast<size_t>(m_nWindowOffset + m_nWindowSize - offset);
    *got = static_cast<size_t>(std::min<uint64_t>({want, inWindow, m_nLimit - offset}));
    return m_window.data() + (offset - m_nWindowOffset);
}

}  // namespace carve
