// What an exFAT handle slot holds: the file's stream facts, the clusters its data is read
// from and the read position; a folder's entries in the base object's data buffer.
#pragma once

#include <vector>

#include "fslib/core/HandleObject.h"
#include "fslib/exfat/ExFatParser.h"

struct CExFATHandle final : public CHandleObject {
    ExFatFileInfo info;
    std::vector<exfat::ClusterRun> runs;
    uint64_t nPosition = 0;
};
