// A file node's bytes read through the parser's file handles, for the parsers whose
// handles reach tree nodes.
#include <algorithm>

#include "fslib/core/FileSystemParser.h"

namespace {
// Reads that must not pass over an unreadable sector go in pieces of this size, so that a
// failure is seen where it happens.
constexpr uint32_t kStrictChunk = 64u << 10;
}  // namespace

uint64_t RequestEnd(const NodeRead& request) {
    return request.offset > UINT64_MAX - request.length ? UINT64_MAX : request.offset + request.length;
}

bool CFileSystemParser::ReadNodeBytes(NodeEntry* node, const NodeRead& request, std::vector<uint8_t>* out) {
    out->clear();
    if (!node || node->IsDirectory()) return false;
    uint32_t h = OpenNodeFile(node);
    if (h == INVALID_HANDLE) return false;
    uint32_t high = 0;
    uint64_t size = GetFileSize(h, &high);
    size |= uint64_t{high} << 32;
    const uint64_t end = RequestEnd(request);
    if ((request.wholeFile && size > end) || request.offset >= size) {
        CloseFile(h);
        return !request.wholeFile || size <= end;
    }
    const auto want = static_cast<uint32_t>(std::min<uint64_t>(size - request.offset, request.length));
    out->assign(want, 0);
    if (request.offset != 0) {
        LONG distanceHigh = static_cast<LONG>(request.offset >> 32);
        SetFilePointer(h, static_cast<LONG>(static_cast<uint32_t>(request.offset)), &distanceHigh, 0);
    }
    bool ok = true;
    if (request.unreadable == UnreadableSectors::Zeros) {
        // A failed read leaves zeros where the data could not be read.
        uint32_t got = 0;
        ReadFile(h, out->data(), want, &got);
    } else {
        for (uint32_t done = 0; ok && done < want;) {
            uint32_t chunk = std::min(kStrictChunk, want - done);
            uint32_t got = 0;
            ok = ReadFile(h, out->data() + done, chunk, &got) && got == chunk;
            done += chunk;
        }
    }
    CloseFile(h);
    return ok;
}

int CFileSystemParser::Scan(const ScanSettings& settings) {
    m_dwOptionFlag = settings.optionFlag;
    return ScanVolume(settings);
}

int CFileSystemParser::ScanVolume(const ScanSettings&) { return IsUserBreak() ? 0 : PrepareDirTree(100); }
