// How the browser learns a Recycle Bin file's path before deletion on a scanned drive.
#include "app/BrowserModel.h"
#include "fslib/core/RecycleBin.h"
#include "fslib/core/RecycleBinVista.h"
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
        // A later bin keeps one record per item beside it, deleted or not: read through the
        // parser, since a deleted record is not in the mounted file system.
        if (recyclebin::IsVistaBinItem(node)) {
            if (!reader)
                reader = [parser](NodeEntry* n, uint32_t maxBytes, std::vector<uint8_t>* out) {
                    return recyclebin::ReadNodeThroughHandles(parser, n, maxBytes, out);
                };
            return recyclebin::LookUpVistaBinItem(node, reader);
        }
        return GetBeforeDeletingName(letter, node, parser, reader);
    };
}
