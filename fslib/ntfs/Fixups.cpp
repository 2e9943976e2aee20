#include "fslib/ntfs/Fixups.h"

#include "fslib/core/ByteView.h"
#include "fslib/ntfs/NtfsLayout.h"

int ApplyFixups(uint8_t* data, size_t size, uint16_t bytesPerSector) {
    if (!data) return kFixupsOk;
    ByteView view(data, size);
    size_t usaOffset = view.U16(ntfs::kRecUsaOffset);
    size_t usaCount = view.U16(ntfs::kRecUsaCount);
    if (usaOffset >= size || bytesPerSector < 2) return kFixupsBadOffset;
    uint16_t sequence = view.U16(usaOffset);
    // The array has one entry per stride of the structure: 512 bytes as NTFS writes it,
    // or one sector of a larger size. When the count divides the structure into such
    // strides exactly it says which; otherwise the sector size given is used.
    size_t stride = bytesPerSector;
    if (usaCount > 1 && size % (usaCount - 1) == 0) {
        size_t each = size / (usaCount - 1);
        if (each >= 512 && (each & (each - 1)) == 0) stride = each;
    }
    for (size_t i = 1; i < usaCount; ++i) {
        size_t sectorEnd = stride * i;
        size_t entry = usaOffset + 2 * i;
        // Sectors past the structure, or array entries past it, are simply not fixed.
        if (sectorEnd > size || !view.Has(entry, 2)) break;
        if (view.U16(sectorEnd - 2) != sequence) return kFixupsMismatch;
        data[sectorEnd - 2] = data[entry];
        data[sectorEnd - 1] = data[entry + 1];
    }
    return kFixupsOk;
}
