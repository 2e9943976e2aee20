// The folder half of node recovery, shared by every family's RecoverNode.
#pragma once

#include <cstdint>
#include <string>

class CFileSystemParser;
class NodeEntry;

namespace recovery {

// Creates the folder `target` (unless it is there) and recovers the children of `node`
// into it through the parser's RecoverNode, so a family's own form serves the whole
// subtree. The user's break is looked at before each child: it ends the folder with
// RECOVER_USER_BREAK; a child that a break stopped does not count as a failure. A full
// disk ends it at once. afterChild, when given, hears each child's index once the child
// is done. Returns a recovery result.
int RecoverFolder(CFileSystemParser* parser, NodeEntry* node, std::string target, uint32_t* files, uint32_t* folders,
                  int mode, void (*afterChild)(long index) = nullptr);

}  // namespace recovery
