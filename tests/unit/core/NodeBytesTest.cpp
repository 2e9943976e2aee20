// Reading a file node's bytes through the parser's one node reader: ranges cut at the
// file's end, whole-file reads that refuse a longer file, and what an unreadable sector
// does under each of the two rules.
#include <gtest/gtest.h>

#include "tests/unit/recovery/MemoryParser.h"

namespace {

TEST(NodeBytesTest, RangesWholeFilesAndUnreadableSectors) {
    constexpr uint32_t kSize = 10000, kBadFrom = 5000, kBadTo = 6000;
    std::vector<uint8_t> bytes(kSize);
    for (uint32_t i = 0; i < kSize; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    MemoryParser parser;
    parser.AddFile(1, bytes);
    parser.SetUnreadable(1, kBadFrom, kBadTo);
    NodeEntry file(1, "f.bin", 0, 1);
    file.size = kSize;

    using U = UnreadableSectors;
    struct Case {
        const char* what;
        uint64_t offset;
        uint32_t length;
        U unreadable;
        bool wholeFile;
        bool ok;
        uint32_t from, to;  // the bytes expected, [from, to) of the file
        uint32_t zeroFrom;  // bytes from here on read as zeros
    } cases[] = {
        {"head", 0, 100, U::Zeros, false, true, 0, 100, 100},
        {"range cut at the end", 9950, 100, U::Zeros, false, true, 9950, kSize, kSize},
        {"range past the end", 20000, 10, U::Zeros, false, true, 0, 0, 0},
        {"whole file longer than asked", 0, kSize - 1, U::Zeros, true, false, 0, 0, 0},
        {"whole file over an unreadable sector", 0, kSize, U::Fail, true, false, 0, 0, 0},
        {"strict range before the unreadable part", 100, 4000, U::Fail, false, true, 100, 4100, 4100},
        // The memory drive fails the rest of a read from its bad range on, as NTFS does.
        {"zeros where the sectors fail", 4000, 3000, U::Zeros, false, true, 4000, 7000, kBadFrom},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out;
        EXPECT_EQ(parser.ReadNodeBytes(&file, NodeRead{c.offset, c.length, c.unreadable, c.wholeFile}, &out), c.ok)
            << c.what;
        if (!c.ok) continue;
        std::vector<uint8_t> expected(bytes.begin() + c.from, bytes.begin() + c.to);
        for (uint32_t i = c.zeroFrom; i < c.to; ++i) expected[i - c.from] = 0;
        EXPECT_EQ(out, expected) << c.what;
    }
    EXPECT_EQ(parser.OpenHandles(), 1u) << "every read closes its handle (slot 0 stays)";

    NodeEntry folder(1, "d", FILE_ATTRIBUTE_DIRECTORY, 1);
    std::vector<uint8_t> out;
    EXPECT_FALSE(parser.ReadNodeHead(&folder, 100, &out));
}

}  // namespace
