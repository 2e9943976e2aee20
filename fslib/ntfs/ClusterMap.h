// The volume's cluster allocation bitmap ($Bitmap): bit c of the map set = cluster c in
// use. Clusters past the map count as free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ClusterMap {
public:
    void Assign(const uint8_t* bytes, size_t count) { m_bytes.assign(bytes, bytes + count); }
    void Clear() {
        m_bytes.clear();
        m_bytes.shrink_to_fit();
    }
    bool Empty() const { return m_bytes.empty(); }
    uint64_t Bits() const { return uint64_t{m_bytes.size()} * 8; }
    bool IsUsed(uint64_t cluster) const { return cluster < Bits() && (m_bytes[cluster >> 3] >> (cluster & 7)) & 1; }
    // Clusters in use in [first, first + count); the part past the map counts as free.
    uint64_t CountUsed(uint64_t first, uint64_t count) const;

private:
    std::vector<uint8_t> m_bytes;
};
