// NTFS update sequence arrays ("fixups") of FILE records and INDX blocks: the last two
// bytes of every sector hold the sequence number on disk and the real bytes are kept
// in the array.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kFixupsOk = 0;
constexpr int kFixupsMismatch = -12;  // a torn sector: it and the ones after stay as read
constexpr int kFixupsBadOffset = -20;

// Restores the stride ends of a structure of size bytes in place. The stride is what the
// array's count makes of size (512 bytes, or a whole sector), else bytesPerSector.
int ApplyFixups(uint8_t* data, size_t size, uint16_t bytesPerSector);
