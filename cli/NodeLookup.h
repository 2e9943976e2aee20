// Finding tree nodes by the paths that `qvr scan` prints ("/dir/name.ext").
#pragma once

#include <string>
#include <vector>

#include "fslib/core/NodeEntry.h"

// Every node whose path from the root is `path` (names may repeat among deleted
// entries, so one path can name several). "/" or "" names the root itself.
// With `oldSpelling`, a part that names nothing may also name a deleted node by the
// form older releases showed a deleted long name in, '_' for its first character;
// *oldSpelling then says whether that form was needed.
std::vector<NodeEntry*> FindNodesByPath(NodeEntry* root, const std::string& path, bool* oldSpelling = nullptr);
