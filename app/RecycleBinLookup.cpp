// How the browser learns a Recycle Bin file's path before deletion on a scanned drive.
#include "app/BrowserModel.h"
#include "fslib/core/RecycleBin.h"
#include "fslib/core/RecycleBinVista.h"

CBrowserModel::RecycleBinLookup CBrowserModel::VolumeRecycleBinLookup(DriveEntry* drive) {
    return [drive](char letter, NodeEntry* node) {
        CFileSystemParser* parser = drive ? drive->parser.get() : nullptr;
        // An index with a sector that cannot be read is not trusted for any of its records.
        recyclebin::NodeContentReader reader = [parser](NodeEntry* n, uint32_t maxBytes, std::vector<uint8_t>* out) {
            return parser && parser->ReadNodeContent(n, maxBytes, out, UnreadableSectors::Fail);
        };
        // A later bin keeps one record per item beside it, deleted or not: read through the
        // parser, since a deleted record is not in the mounted file system.
        if (recyclebin::IsVistaBinItem(node)) return recyclebin::LookUpVistaBinItem(node, reader);
        return GetBeforeDeletingName(letter, node, parser, reader);
    };
}
