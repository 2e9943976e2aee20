// The first cluster of a deleted FAT32 file whose entry lost its high 16 bits.
#include "fslib/fat/FATFirstCluster.h"

#include <algorithm>

#include "common/logger/Logger.h"
#include "fslib/fat/FATParser.h"

namespace fatfirst {

Choice Choose(const std::vector<Candidate>& candidates) {
    Choice choice;
    for (size_t i = 0; i < candidates.size(); ++i) {
        const Candidate& c = candidates[i];
        if (!c.runFree || c.content == 0) continue;
        ++choice.kept;
        if (choice.index < 0 || c.content > candidates[static_cast<size_t>(choice.index)].content)
            choice.index = static_cast<int>(i);
    }
    return choice;
}

}  // namespace fatfirst

namespace {
// Candidates whose first bytes are read for the content check, per file: past it the
// rest count as of unknown content.
constexpr size_t kMaxContentReads = 64;
// Other candidates named in the log line.
constexpr size_t kMaxLoggedOthers = 16;
}  // namespace

bool CFATParser::HighWordMayBeCleared(ByteView entry) const {
    return m_bFsType == FS_FAT32 && fatdir::IsDeleted(entry) && entry.U16(fatdir::kClusterHigh) == 0 &&
           m_dwLastCluster > fatfirst::kLowWordSpan + 1 && entry.U32(fatdir::kFileSize) != 0 &&
           !(entry.U8(fatdir::kAttributes) & fatdir::kAttrDirectory);
}

uint32_t CFATParser::ChooseFirstCluster(ByteView entry, const std::string& name, const char* indent,
                                        float* damageFloor) {
    const uint32_t low = entry.U16(fatdir::kClusterLow);
    const uint64_t size = entry.U32(fatdir::kFileSize);
    const uint64_t clusters = (size + m_dwClusterSize - 1) / m_dwClusterSize;
    *damageFloor = 0.0f;
    std::vector<fatfirst::Candidate> candidates;
    std::vector<uint8_t> head;
    size_t reads = 0;
    const bool typed = m_contentMatcher && m_contentMatcher(name, nullptr, 0) >= 0;
    for (uint64_t c = low; c <= m_dwLastCluster; c += fatfirst::kLowWordSpan) {
        if (IsUserBreak()) break;
        if (c < 2) continue;
        fatfirst::Candidate candidate;
        candidate.cluster = static_cast<uint32_t>(c);
        candidate.runFree = CountAllocatedClusters(c, clusters) == 0;
        if (candidate.runFree && typed && reads < kMaxContentReads) {
            ++reads;
            const uint64_t bytes = std::min<uint64_t>(size, 4096);
            const auto count = static_cast<uint32_t>((bytes + m_dwClusterSize - 1) / m_dwClusterSize);
            head.assign(size_t{count} * m_dwClusterSize, 0);
            ReadClusters(candidate.cluster, count, head.data());
            candidate.content = m_contentMatcher(name, head.data(), static_cast<size_t>(bytes));
        }
        candidates.push_back(candidate);
    }
    const fatfirst::Choice choice = fatfirst::Choose(candidates);
    if (choice.index < 0) {
        g_Logger.InfoF(
            "%sFirst cluster of [%s] lost its high word: no cluster with low word %u holds a free run of "
            "its length%s",
            indent, name.c_str(), low, typed ? " that starts like its type" : "");
        *damageFloor = 1.0f;
        return low;
    }
    const uint32_t chosen = candidates[static_cast<size_t>(choice.index)].cluster;
    if (choice.kept == 1) {
        g_Logger.InfoF("%sFirst cluster of [%s] lost its high word: cluster %u is the one candidate", indent,
                       name.c_str(), chosen);
        return chosen;
    }
    std::string others;
    size_t named = 0;
    for (const fatfirst::Candidate& c : candidates) {
        if (!c.runFree || c.content == 0 || c.cluster == chosen) continue;
        if (named++ == kMaxLoggedOthers) {
            others += " ...";
            break;
        }
        others += " " + std::to_string(c.cluster);
    }
    g_Logger.InfoF("%sFirst cluster of [%s] lost its high word: cluster %u taken of %zu candidates; the others:%s",
                   indent, name.c_str(), chosen, choice.kept, others.c_str());
    *damageFloor = 0.5f;
    return chosen;
}
