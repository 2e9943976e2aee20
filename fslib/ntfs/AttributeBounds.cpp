#include "fslib/ntfs/AttributeBounds.h"

#include <string>

#include "common/logger/Logger.h"

namespace ntfs {

namespace {

uint32_t ShownValue(BoundShown shown, const AttrFields& a) {
    switch (shown) {
        case BoundShown::kLength: return a.length;
        case BoundShown::kValueOffset: return a.value_offset;
        case BoundShown::kNameOffset: return a.name_offset;
        case BoundShown::kNothing: break;
    }
    return 0;
}

}  // namespace

void LogBoundFailure(const AttrBound& bound, const AttrFields& a) {
    if (bound.expression) {
        const std::string text = std::string("A.F. Exp [") + bound.expression + "] File [" + kBoundsFile + "] Line ";
        g_Logger.AssertNumber(0, text.c_str(), bound.line);
    }
    if (!bound.failure) return;
    if (bound.shown == BoundShown::kNothing)
        g_Logger.Error(bound.failure);
    else
        g_Logger.ErrorF(bound.failure, ShownValue(bound.shown, a));
}

}  // namespace ntfs
