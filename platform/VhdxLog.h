// The log of a VHDX file: whether it holds entries that were never replayed into the
// file (a host that stopped before closing it), in which case the metadata and data
// the file shows are older than what was written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace platform {

// Reads count bytes at offset of the file; false when they cannot all be read.
using VhdxReadAt = std::function<bool(uint64_t offset, void* buffer, size_t count)>;

// True when the current header names a log and the log holds an entry of that log whose
// checksum is sound: such an entry was written and not yet replayed.
bool VhdxHasPendingLog(const VhdxReadAt& read, uint64_t fileSize);

}  // namespace platform
