// The date a photo was taken, from an EXIF block (a TIFF structure in memory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace carve {

// "YYYY:MM:DD HH:MM:SS" of DateTimeOriginal (else IFD0's DateTime); empty when the block
// holds neither. Reads only inside [tiff, tiff + size).
std::string ExifDateTaken(const uint8_t* tiff, size_t size);
// That text as 100-ns ticks since 1601 of the camera's local time read as local time
// here; 0 when it is not a date.
uint64_t ExifDateToFileTime(const std::string& text);

}  // namespace carve
