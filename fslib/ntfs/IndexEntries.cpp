#include "fslib/ntfs/IndexEntries.h"

#include <string>

#include "fslib/ntfs/Fixups.h"
#include "fslib/ntfs/NtfsLayout.h"

void CollectIndexNode(const ByteView& node, std::vector<uint8_t>* out) {
    size_t off = node.U32(ntfs::kNhFirstEntry);
    size_t end = node.U32(ntfs::kNhEntriesLength);
    if (end > node.Size()) end = node.Size();
    while (off < end && node.Has(off, ntfs::kIeMinimum)) {
        size_t length = node.U16(off + ntfs::kIeLength);
        uint16_t flags = node.U16(off + ntfs::kIeFlags);
        if (length < ntfs::kIeMinimum || length > end - off) break;
        if (flags & ntfs::kIeLastEntry) break;
        uint32_t record = node.U32(off + ntfs::kIeRecord);
        ByteView entry = node.Sub(off, length);
        size_t nameChars = entry.U8(ntfs::kIeFileName + ntfs::kFnNameLength);
        if (!entry.Has(ntfs::kIeFileName + ntfs::kFnName, 2 * nameChars)) break;
        if (record >= ntfs::kFirstUserRecord) out->insert(out->end(), entry.Data(), entry.Data() + length);
        off += length;
    }
}

void CollectIndexRoot(const ByteView& value, std::vector<uint8_t>* out) {
    CollectIndexNode(value.From(ntfs::kIrNodeHeader), out);
}

void CollectIndexBlocks(uint8_t* data, size_t size, uint32_t blockSize, uint16_t bytesPerSector,
                        std::vector<uint8_t>* out) {
    if (blockSize == 0) return;
    for (size_t block = 0; block + blockSize <= size; block += blockSize) {
        uint8_t* p = data + block;
        ByteView view(p, blockSize);
        if (!view.Equals(0, ntfs::kIndxMagic, 4)) continue;
        ApplyFixups(p, blockSize, bytesPerSector);
        CollectIndexNode(view.From(ntfs::kIndxNodeHeader), out);
    }
}

uint32_t IndexEntryView::Record() const { return entry.U32(ntfs::kIeRecord); }
uint16_t IndexEntryView::Length() const { return entry.U16(ntfs::kIeLength); }
ByteView IndexEntryView::Key() const { return entry.From(ntfs::kIeFileName); }
bool IndexEntryView::IsDirectory() const { return (Key().U32(ntfs::kFnFlags) & ntfs::kFnDirectoryFlag) != 0; }
uint8_t IndexEntryView::NameSpace() const { return Key().U8(ntfs::kFnNamespace); }

std::u16string IndexEntryView::Name() const {
    ByteView key = Key();
    size_t chars = key.U8(ntfs::kFnNameLength);
    std::u16string name;
    for (size_t i = 0; i < chars && key.Has(ntfs::kFnName + 2 * i, 2); ++i)
        name.push_back(static_cast<char16_t>(key.U16(ntfs::kFnName + 2 * i)));
    return name;
}
