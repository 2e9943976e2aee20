// Bounds of NTFS attribute headers inside a FILE record. Each rule is written once, in a table
// beside the text its failure logs, so the code and the log cannot drift apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>

#include "fslib/core/ByteView.h"
#include "fslib/ntfs/NtfsLayout.h"

namespace ntfs {

// The header fields of one attribute, named as the logged bound texts quote them. The value
// fields are read for a resident attribute only, the compression unit for a non-resident one;
// the others stay 0.
struct AttrFields {
    uint32_t type;
    uint32_t length;
    uint8_t non_resident;
    uint8_t name_length;
    uint16_t name_offset;
    uint16_t flags;
    uint32_t value_length;
    uint16_t value_offset;
    uint8_t compression_unit;
};

inline AttrFields ReadAttrFields(const ByteView& a) {
    AttrFields f{};
    f.type = a.U32(kAttrType);
    f.length = a.U32(kAttrLength);
    f.non_resident = a.U8(kAttrNonResident);
    f.name_length = a.U8(kAttrNameLength);
    f.name_offset = a.U16(kAttrNameOffset);
    f.flags = a.U16(kAttrFlags);
    if (f.non_resident) {
        f.compression_unit = a.U8(kAttrCompressionUnit);
    } else {
        f.value_length = a.U32(kAttrValueLength);
        f.value_offset = a.U16(kAttrValueOffset);
    }
    return f;
}

// What the bounds of one attribute allow.
struct BoundsVerdict {
    bool usable = true;       // the record may keep the attribute
    bool endsRecord = false;  // the record's walk stops here, with error
    int error = 0;            // the record's error code, 0 when none
};

struct BoundContext {
    uint32_t recordSize;
    bool attrListRecord;
};

// What a failed bound does besides its log lines.
enum class BoundEffect : uint8_t {
    kGoesOn,     // the attribute is kept all the same
    kStops,      // the attribute is not kept and its later bounds are not tested
    kEndsRecord  // the walk over the record's attributes ends at once
};

// The field whose value the failure line prints.
enum class BoundShown : uint8_t { kNothing, kLength, kValueOffset, kNameOffset };

struct AttrBound {
    uint32_t type;
    bool (*holds)(const AttrFields& pattr, const BoundContext& c);
    // The assertion's expression text, as the log has always quoted it ("1024" stands for
    // the record's size); null when the failure is only an error code.
    const char* expression;
    const char* failure;  // the error line that follows the assertion, or null
    BoundShown shown;
    BoundEffect effect;
    int error;
    int line;  // where the rule is written, for the assertion line
};

// The file the rules are written in, for the assertion lines.
inline constexpr const char* kBoundsFile = __FILE__;

// The record's bounds, grouped by attribute type and tested in this order.
inline constexpr AttrBound kRecordBounds[] = {
    {kAttrStandardInformation, [](const auto& a, const auto&) { return a.length >= 0x48 && a.length <= 0x72; },
     "(pattr->length >= 0x48 && pattr->length <= 0x72)", "$STANDARD_INFORMATION fail! pattr->length = %u",
     BoundShown::kLength, BoundEffect::kGoesOn, 0, __LINE__},
    {kAttrStandardInformation, [](const auto& a, const auto&) { return a.value_offset <= 0x18; },
     "(pattr->value_offset <= 0x18)", "$STANDARD_INFORMATION fail! pattr->value_offset = %u", BoundShown::kValueOffset,
     BoundEffect::kGoesOn, 0, __LINE__},
    {kAttrStandardInformation,
     [](const auto& a, const auto& c) { return a.value_length <= c.recordSize - a.value_offset; },
     "(pattr->value_length <= 1024 - pattr->value_offset)", "$STANDARD_INFORMATION fail", BoundShown::kNothing,
     BoundEffect::kGoesOn, 0, __LINE__},

    {kAttrAttributeList, [](const auto& a, const auto& c) { return a.length <= c.recordSize; },
     "(pattr->length <= 1024)", "$ATTRIBUTE_LIST fail! pattr->length = %u", BoundShown::kLength, BoundEffect::kGoesOn,
     0, __LINE__},
    {kAttrAttributeList, [](const auto& a, const auto&) { return a.value_offset <= 0xff * 2 + 0x40; },
     "(pattr->value_offset <= 0xff*2+0x40)", "$ATTRIBUTE_LIST fail! pattr->value_offset = %u", BoundShown::kValueOffset,
     BoundEffect::kGoesOn, 0, __LINE__},
    {kAttrAttributeList, [](const auto& a, const auto& c) { return a.value_length <= c.recordSize - a.value_offset; },
     "(pattr->value_length <= 1024 - pattr->value_offset)", "$ATTRIBUTE_LIST fail!", BoundShown::kNothing,
     BoundEffect::kGoesOn, 0, __LINE__},
    {kAttrAttributeList, [](const auto& a, const auto&) { return !(a.name_offset && a.name_offset < 0x40); },
     "(pattr->name_offset && pattr->name_offset >= 0x40)", "$ATTRIBUTE_LIST fail! pattr->name_offset = %u",
     BoundShown::kNameOffset, BoundEffect::kGoesOn, 0, __LINE__},

    {kAttrFileName, [](const auto& a, const auto&) { return a.length >= 0x44 && a.length <= 0x242; },
     "(pattr->length >= 0x44 && pattr->length <= 0x242)", "$FILE_NAME fail! pattr->length = %u", BoundShown::kLength,
     BoundEffect::kGoesOn, 0, __LINE__},
    {kAttrFileName, [](const auto& a, const auto&) { return !a.non_resident && a.value_offset < 0xff * 2 + 0x18; },
     "(pattr->value_offset <= 0xff*2+0x18)", "$FILE_NAME fail! pattr->value_offset = %u", BoundShown::kValueOffset,
     BoundEffect::kStops, 0, __LINE__},
    {kAttrFileName, [](const auto& a, const auto& c) { return a.value_length <= c.recordSize - a.value_offset; },
     "(pattr->value_length <= 1024 - pattr->value_offset)", "$FILE_NAME fail!", BoundShown::kNothing,
     BoundEffect::kGoesOn, 0, __LINE__},

    {kAttrData, [](const auto& a, const auto& c) { return a.length <= c.recordSize; }, "(pattr->length <= 1024)",
     "$DATA fail! pattr->lehgth = %u", BoundShown::kLength, BoundEffect::kGoesOn, 0, __LINE__},
    {kAttrData,
     [](const auto& a, const auto&) {
         return !((a.flags & kAttrIsCompressed) && a.compression_unit && a.compression_unit != 4);
     },
     "!((pattr->flags & ATTR_IS_COMPRESSED) && pattr->compression_unit && pattr->compression_unit != 4)", "$DATA fail!",
     BoundShown::kNothing, BoundEffect::kGoesOn, 0, __LINE__},
    // Only the file's own (unnamed) data is kept, so a named stream is not held to this.
    {kAttrData,
     [](const auto& a, const auto& c) {
         return a.name_length != 0 || a.non_resident || c.attrListRecord ||
                uint64_t{a.value_length} + a.value_offset <= c.recordSize;
     },
     "!(!bAttrListRecord && pattr->value_length + pattr->value_offset > 1024)", "$DATA fail!", BoundShown::kNothing,
     BoundEffect::kStops, 0, __LINE__},

    // The index attributes make the folder's listing: their failures are the record's error.
    {kAttrIndexRoot, [](const auto& a, const auto& c) { return a.length <= c.recordSize; }, nullptr, nullptr,
     BoundShown::kNothing, BoundEffect::kEndsRecord, -40, __LINE__},
    {kAttrIndexRoot, [](const auto& a, const auto&) { return !a.non_resident && a.value_offset < 535; }, nullptr,
     nullptr, BoundShown::kNothing, BoundEffect::kStops, -100, __LINE__},
    {kAttrIndexRoot, [](const auto& a, const auto& c) { return a.value_length <= c.recordSize - a.value_offset; },
     nullptr, nullptr, BoundShown::kNothing, BoundEffect::kStops, -101, __LINE__},
    {kAttrIndexRoot, [](const auto& a, const auto&) { return a.name_offset <= 64; }, nullptr, nullptr,
     BoundShown::kNothing, BoundEffect::kStops, -102, __LINE__},

    {kAttrIndexAllocation, [](const auto& a, const auto&) { return a.non_resident != 0; }, nullptr, nullptr,
     BoundShown::kNothing, BoundEffect::kStops, -52, __LINE__},
    {kAttrIndexAllocation, [](const auto& a, const auto& c) { return a.length <= c.recordSize; }, nullptr, nullptr,
     BoundShown::kNothing, BoundEffect::kStops, -50, __LINE__},
    {kAttrIndexAllocation, [](const auto& a, const auto&) { return a.name_offset < 65; }, nullptr, nullptr,
     BoundShown::kNothing, BoundEffect::kStops, -102, __LINE__},

    {kAttrLoggedUtilityStream, [](const auto& a, const auto& c) { return a.length <= c.recordSize; },
     "(pattr->length <= 1024)", "$LOGGED_UTILITY_STREAM fail! pattr->length = %u", BoundShown::kLength,
     BoundEffect::kGoesOn, 0, __LINE__},
    {kAttrLoggedUtilityStream, [](const auto& a, const auto&) { return a.value_offset <= 0xff * 2 + 0x40; },
     "(pattr->value_offset <= 0xff*2+0x40)", "$LOGGED_UTILITY_STREAM fail! pattr->value_offset = %u",
     BoundShown::kValueOffset, BoundEffect::kGoesOn, 0, __LINE__},
    {kAttrLoggedUtilityStream,
     [](const auto& a, const auto& c) { return a.value_length <= c.recordSize - a.value_offset; },
     "(pattr->value_length <= 1024 - pattr->value_offset)", "$LOGGED_UTILITY_STREAM fail!", BoundShown::kNothing,
     BoundEffect::kGoesOn, 0, __LINE__},
    {kAttrLoggedUtilityStream, [](const auto& a, const auto&) { return a.name_offset <= 0x40; },
     "(pattr->name_offset <= 0x40)", "$LOGGED_UTILITY_STREAM fail! pattr->name_offset = %u", BoundShown::kNameOffset,
     BoundEffect::kGoesOn, 0, __LINE__},
};

// A resident attribute list's value, tested before it is copied; its texts name the
// failure rather than the bound.
inline constexpr AttrBound kListValueBounds[] = {
    {kAttrAttributeList,
     [](const auto& a, const auto&) { return a.value_offset != 0 && a.value_offset <= 0xff * 2 + 0x18; },
     "(m_pAttrList->value_offset > 0xff*2+0x18 || !m_pAttrList->value_offset)", nullptr, BoundShown::kNothing,
     BoundEffect::kStops, -100, __LINE__},
    {kAttrAttributeList, [](const auto& a, const auto& c) { return a.value_length <= c.recordSize - a.value_offset; },
     "(m_pAttrList->value_length > 1024 - m_pAttrList->value_offset)", nullptr, BoundShown::kNothing,
     BoundEffect::kStops, -101, __LINE__},
};

// Writes the assertion and failure lines of a bound that failed.
void LogBoundFailure(const AttrBound& bound, const AttrFields& attribute);

// Tests one bound; false once the attribute is not to be tested further.
[[gnu::always_inline]] inline bool ApplyBound(const AttrBound& bound, const AttrFields& a, const BoundContext& context,
                                              BoundsVerdict* verdict) {
    if (bound.holds(a, context)) return true;
    LogBoundFailure(bound, a);
    if (bound.effect == BoundEffect::kGoesOn) return true;
    verdict->usable = false;
    verdict->endsRecord = bound.effect == BoundEffect::kEndsRecord;
    verdict->error = bound.error;
    return false;
}

// Every record's attributes pass through here: the bounds of a type are expanded at compile
// time, so each rule is tested as plain code rather than through a pointer.
template <const auto& Table, size_t First, size_t... I>
[[gnu::always_inline]] inline BoundsVerdict CheckGroup(const AttrFields& a, const BoundContext& context,
                                                       std::index_sequence<I...>) {
    BoundsVerdict verdict;
    (void)(ApplyBound(Table[First + I], a, context, &verdict) && ...);
    return verdict;
}

constexpr size_t BoundsFirstOf(uint32_t type) {
    size_t i = 0;
    while (i < std::size(kRecordBounds) && kRecordBounds[i].type != type) ++i;
    return i;
}

constexpr size_t BoundsCountOf(uint32_t type) {
    size_t n = 0;
    for (const AttrBound& bound : kRecordBounds) n += bound.type == type ? 1 : 0;
    return n;
}

template <uint32_t Type>
[[gnu::always_inline]] inline BoundsVerdict CheckType(const AttrFields& a, const BoundContext& context) {
    static_assert(
        BoundsFirstOf(Type) + BoundsCountOf(Type) <= std::size(kRecordBounds) &&
            (BoundsCountOf(Type) == 0 || kRecordBounds[BoundsFirstOf(Type) + BoundsCountOf(Type) - 1].type == Type),
        "the bounds of a type stand together in the table");
    return CheckGroup<kRecordBounds, BoundsFirstOf(Type)>(a, context, std::make_index_sequence<BoundsCountOf(Type)>{});
}

// Tests an attribute of a record of recordSize bytes against the bounds of its type, in order,
// logging each failure. attrListRecord: the record was reached through an attribute list.
[[gnu::always_inline]] inline BoundsVerdict CheckAttributeBounds(const AttrFields& attribute, uint32_t recordSize,
                                                                 bool attrListRecord) {
    const BoundContext context{recordSize, attrListRecord};
    switch (attribute.type) {
        case kAttrStandardInformation: return CheckType<kAttrStandardInformation>(attribute, context);
        case kAttrAttributeList: return CheckType<kAttrAttributeList>(attribute, context);
        case kAttrFileName: return CheckType<kAttrFileName>(attribute, context);
        case kAttrData: return CheckType<kAttrData>(attribute, context);
        case kAttrIndexRoot: return CheckType<kAttrIndexRoot>(attribute, context);
        case kAttrIndexAllocation: return CheckType<kAttrIndexAllocation>(attribute, context);
        case kAttrLoggedUtilityStream: return CheckType<kAttrLoggedUtilityStream>(attribute, context);
        default: return {};
    }
}

// Tests the value of a resident attribute list before it is copied.
inline BoundsVerdict CheckAttributeListValue(const AttrFields& attribute, uint32_t recordSize) {
    return CheckGroup<kListValueBounds, 0>(attribute, BoundContext{recordSize, false},
                                           std::make_index_sequence<std::size(kListValueBounds)>{});
}

}  // namespace ntfs
