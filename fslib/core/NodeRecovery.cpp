#include "fslib/core/FileSystemParser.h"

// Placeholder until recovery lands: nothing is written.
int CFileSystemParser::RecoverNode(NodeEntry*, const char*, uint32_t*, uint32_t*, int, int, const char16_t*) {
    return RECOVER_FAILED;
}
