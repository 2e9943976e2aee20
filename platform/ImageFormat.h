// Which kind of container a disk image file is, told from its bytes, never its name.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

enum class ImageFormat {
    Raw,  // no container signature: the file holds the sectors as they are
    Ewf,  // Expert Witness (E01 and its segments)
    Vhd,  // Virtual Hard Disk, dynamic or differencing (header copy at the start) or fixed (footer only)
    Vhdx,
    Vmdk,  // sparse extent, COW disk or a text descriptor
    Qcow,
};

// Bytes of the file's start and end the detection looks at.
constexpr size_t kFormatHeadBytes = 512;
constexpr size_t kFormatTailBytes = 512;

// head: up to kFormatHeadBytes from offset 0; tail: the last kFormatTailBytes of the
// file (empty when the file is shorter than head and tail together).
ImageFormat DetectImageFormat(const uint8_t* head, size_t headSize, const uint8_t* tail, size_t tailSize);

// "EWF", "VHD", ... for messages.
const char* ImageFormatName(ImageFormat format);

}  // namespace platform
