// What an NTFS handle slot holds: the opened record (owned) and, for a directory, its
// index entries back to back in the base object's data buffer.
#pragma once

#include <memory>

#include "fslib/core/HandleObject.h"
#include "fslib/ntfs/MFTRecord.h"

struct CNTFSHandle final : public CHandleObject {
    std::unique_ptr<CMFTRecord> record;
    uint32_t bIsDirectory = 0;
};
