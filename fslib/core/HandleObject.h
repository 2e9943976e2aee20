// What a slot of a parser's handle table holds: the parser's opened object (derived
// classes add it), an attached data buffer, a spare word and a reference count.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Win32.h"

struct CHandleObject {
    virtual ~CHandleObject() = default;

    BOOL bHasData = FALSE;  // data holds directory or file content
    std::vector<uint8_t> data;
    uint32_t dwExtra = 0;  // the parser's own
    uint32_t dwRefCount = 1;
};

constexpr uint32_t INVALID_HANDLE = static_cast<uint32_t>(-1);
