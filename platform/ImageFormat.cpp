#include "platform/ImageFormat.h"

#include <cstring>

namespace platform {

namespace {

bool StartsWith(const uint8_t* bytes, size_t size, const char* signature, size_t length) {
    return bytes != nullptr && size >= length && std::memcmp(bytes, signature, length) == 0;
}

}  // namespace

ImageFormat DetectImageFormat(const uint8_t* head, size_t headSize, const uint8_t* tail, size_t tailSize) {
    // EWF version 1 ("EVF") and the version 2 segment signature ("EVF2"); "LVF" is a
    // logical evidence file, which holds files rather than sectors.
    if (StartsWith(head, headSize, "EVF\x09\x0d\x0a\xff\x00", 8)) return ImageFormat::Ewf;
    if (StartsWith(head, headSize, "EVF2\x0d\x0a\x81\x00", 8)) return ImageFormat::Ewf;
    if (StartsWith(head, headSize, "vhdxfile", 8)) return ImageFormat::Vhdx;
    if (StartsWith(head, headSize, "conectix", 8)) return ImageFormat::Vhd;
    if (StartsWith(head, headSize, "KDMV", 4) || StartsWith(head, headSize, "COWD", 4)) return ImageFormat::Vmdk;
    if (StartsWith(head, headSize, "# Disk DescriptorFile", 21)) return ImageFormat::Vmdk;
    if (StartsWith(head, headSize, "QFI\xfb", 4)) return ImageFormat::Qcow;
    // A fixed VHD is the raw disk followed by its 512-byte footer (older writers used
    // a 511-byte one), so its only mark is at the end.
    if (tail != nullptr && tailSize >= 512) {
        if (std::memcmp(tail + tailSize - 512, "conectix", 8) == 0) return ImageFormat::Vhd;
        if (std::memcmp(tail + tailSize - 511, "conectix", 8) == 0) return ImageFormat::Vhd;
    }
    return ImageFormat::Raw;
}

const char* ImageFormatName(ImageFormat format) {
    switch (format) {
        case ImageFormat::Raw: return "raw";
        case ImageFormat::Ewf: return "EWF";
        case ImageFormat::Vhd: return "VHD";
        case ImageFormat::Vhdx: return "VHDX";
        case ImageFormat::Vmdk: return "VMDK";
        case ImageFormat::Qcow: return "QCOW";
    }
    return "unknown";
}

}  // namespace platform
