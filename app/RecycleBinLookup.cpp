// How the browser learns a Recycle Bin file's path before deletion on a scanned drive.
#include "app/BrowserModel.h"
#include "fslib/core/RecycleBin.h"
#include "fslib/fat/FATParser.h"

CBrowserModel::RecycleBinLookup CBrowserModel::VolumeRecycleBinLookup(DriveEntry* drive) {
    return [drive](char letter, NodeEntry* node) {
        CFileSystemParser* parser = drive ? drive->parser.get() : nullptr;
        recyclebin::NodeContentReader reader;
        // FAT parsers have no file handles for tree nodes: their files are read by cluster.
        if (auto* fat = dynamic_cast<CFATParser*>(parser))
            reader = [fat](NodeEntry* n, uint32_t maxBytes, std::vector<uint8_t>* out) {
                return fat->ReadNodeContent(n, maxBytes, out);
            };
        return GetBeforeDeletingName(letter, node, parser, reader);
    };
}
