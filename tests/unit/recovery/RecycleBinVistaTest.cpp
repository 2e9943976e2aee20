// $I records of later Recycle Bins and the lookup of a $R item's path before deletion.
#include <gtest/gtest.h>

#include <map>

#include "fslib/core/RecycleBinVista.h"

namespace {

void PutU64(std::vector<uint8_t>* b, uint64_t v) {
    for (int i = 0; i < 8; ++i) b->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutWide(std::vector<uint8_t>* b, const std::u16string& text) {
    for (char16_t c : text) b->push_back(static_cast<uint8_t>(c)), b->push_back(static_cast<uint8_t>(c >> 8));
}

std::vector<uint8_t> Header(uint64_t version) {
    std::vector<uint8_t> b;
    PutU64(&b, version);
    PutU64(&b, 1234);                   // size
    PutU64(&b, 0x01D9000000000000ull);  // deletion time
    return b;
}

// Version 1: the path NUL-padded to 260 characters (`terminate` false fills them all).
std::vector<uint8_t> V1(const std::u16string& path, bool terminate = true) {
    std::vector<uint8_t> b = Header(1);
    std::u16string padded = path;
    padded.resize(260, terminate ? u'\0' : u'x');
    PutWide(&b, padded);
    return b;
}

// Version 2: `length` characters claimed (-1 = the path's with its NUL), the path, its NUL.
std::vector<uint8_t> V2(const std::u16string& path, int64_t claimed = -1, bool terminate = true) {
    std::vector<uint8_t> b = Header(2);
    const uint32_t length = claimed < 0 ? static_cast<uint32_t>(path.size() + 1) : static_cast<uint32_t>(claimed);
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(length >> (8 * i)));
    PutWide(&b, path);
    if (terminate) PutWide(&b, std::u16string(1, u'\0'));
    return b;
}

std::vector<uint8_t> Cut(std::vector<uint8_t> b, size_t bytes) {
    b.resize(b.size() - bytes);
    return b;
}

TEST(RecycleBinVista, DollarILayoutsAndDamagedRecords) {
    const std::u16string longPath = u"C:\\Users\\Zo\u00eb\\" + std::u16string(300, u'\u00dc') + u"\\\u6771\u4eac.jpg";
    const std::string longUtf8 = "C:\\Users\\Zo\xc3\xab\\" + [] {
        std::string s;
        for (int i = 0; i < 300; ++i) s += "\xc3\x9c";
        return s;
    }() + "\\\xe6\x9d\xb1\xe4\xba\xac.jpg";
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* path;  // null: not a record
        uint32_t version;
    } cases[] = {
        {"version 1", V1(u"C:\\Docs\\report.txt"), "C:\\Docs\\report.txt", 1},
        {"version 2, non-ASCII", V2(u"D:\\caf\u00e9\\\u00fcber.txt"),
         "D:\\caf\xc3\xa9\\\xc3\xbc"
         "ber.txt",
         2},
        {"version 1 one byte short", Cut(V1(u"C:\\a.txt"), 1), nullptr, 0},
        {"version 1 without a NUL in 260 characters", V1(u"C:\\a", false), nullptr, 0},
        {"version 1 with an empty path", V1(u""), nullptr, 0},
        {"version 2 cut inside its path", Cut(V2(u"C:\\Users\\a\\cut.txt"), 8), nullptr, 0},
        {"version 2 whose length leaves out the NUL", V2(u"C:\\a.txt", 8, false), nullptr, 0},
        {"version 2 claiming no characters", V2(u"", 0, false), nullptr, 0},
        {"version 2 claiming more than any path", V2(u"C:\\a.txt", 0x7FFFFFFF), nullptr, 0},
        {"version 2 with its length cut off", Cut(Header(2), 0), nullptr, 0},
        {"an unknown version",
         [] {
             auto b = V1(u"C:\\a.txt");
             b[0] = 3;
             return b;
         }(),
         nullptr, 0},
        {"a header only", Cut(Header(1), 1), nullptr, 0},
        {"nothing", {}, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        recyclebin::DollarIRecord record;
        const bool read = recyclebin::ParseDollarI(ByteView(c.bytes.data(), c.bytes.size()), &record);
        ASSERT_EQ(read, c.path != nullptr);
        if (!read) continue;
        EXPECT_EQ(record.path, c.path);
        EXPECT_EQ(record.version, c.version);
        EXPECT_EQ(record.size, 1234u);
        EXPECT_EQ(record.deletedTime, 0x01D9000000000000ull);
    }
    // Version 2 holds paths longer than version 1's 260 characters.
    recyclebin::DollarIRecord record;
    auto bytes = V2(longPath);
    ASSERT_TRUE(recyclebin::ParseDollarI(ByteView(bytes.data(), bytes.size()), &record));
    EXPECT_EQ(record.path, longUtf8);
}

TEST(RecycleBinVista, BinFoldersAndItems) {
    struct Case {
        const char* folder;
        bool bin;
    } folders[] = {{"/$Recycle.Bin/S-1-5-21-1/", true}, {"/$RECYCLE.BIN/S-1-5-21-1/", true},
                   {"/$Recycle.Bin/", false},           {"/$Recycle.Bin/S-1/sub/", false},
                   {"/Recycle.Bin/S-1/", false},        {"/a/$Recycle.Bin/S-1/", false}};
    for (const Case& c : folders) EXPECT_EQ(recyclebin::IsVistaBinFolder(c.folder), c.bin) << c.folder;
}

// A bin folder of a tree with the given children (name, deleted), each $I twin holding
// `records[name]`; the reader counts what it is asked for.
struct BinTree {
    NodeEntry root{0, "", FILE_ATTRIBUTE_DIRECTORY, 0};
    NodeEntry* bin = nullptr;
    NodeEntry* sid = nullptr;
    std::map<std::string, std::vector<uint8_t>> records;
    std::vector<std::string> reads;

    BinTree() {
        bin = Add(&root, "$Recycle.Bin", FILE_ATTRIBUTE_DIRECTORY, 0);
        sid = Add(bin, "S-1-5-21-1", FILE_ATTRIBUTE_DIRECTORY, 0);
    }
    NodeEntry* Add(NodeEntry* parent, const char* name, DWORD attributes, uint8_t deleted,
                   std::vector<uint8_t> record = {}) {
        auto* n = new NodeEntry(static_cast<uint32_t>(records.size() + 100), name, attributes, deleted);
        n->parent = parent;
        parent->AddChild(n);
        if (!record.empty()) records[name] = std::move(record);
        return n;
    }
    recyclebin::NodeContentReader Reader() {
        return [this](NodeEntry* n, uint32_t, std::vector<uint8_t>* out) {
            reads.push_back(n->name);
            auto it = records.find(n->name);
            if (it == records.end()) return false;
            *out = it->second;
            return true;
        };
    }
};

TEST(RecycleBinVista, ItemsFindTheirTwinLiveOrDeleted) {
    BinTree t;
    NodeEntry* file = t.Add(t.sid, "$RAB12CD.txt", 0, 0);
    t.Add(t.sid, "$iab12cd.TXT", 0, 1, V1(u"C:\\old.txt"));        // deleted, older
    t.Add(t.sid, "$IAB12CD.txt", 0, 0, V2(u"C:\\Docs\\new.txt"));  // live: preferred
    NodeEntry* folder = t.Add(t.sid, "$RFOLDER", FILE_ATTRIBUTE_DIRECTORY, 0);
    t.Add(t.sid, "$IFOLDER", 0, 0, V2(u"C:\\Users\\a\\Project"));
    NodeEntry* fatDeleted = t.Add(t.sid, "_RGONE.TXT", 0, 1);  // FAT: "$" lost to the mark
    t.Add(t.sid, "_IGONE.TXT", 0, 1, V1(u"D:\\gone.txt"));
    NodeEntry* orphan = t.Add(t.sid, "$RNOREC.txt", 0, 0);
    NodeEntry* cut = t.Add(t.sid, "$RCUT.txt", 0, 0);
    t.Add(t.sid, "$ICUT.txt", 0, 0, Cut(V2(u"C:\\cut.txt"), 6));
    NodeEntry* liveUnderscore = t.Add(t.sid, "_RLIVE.txt", 0, 0);
    t.Add(t.sid, "_ILIVE.txt", 0, 0, V1(u"C:\\x.txt"));
    NodeEntry* outside = t.Add(t.bin, "$ROUT.txt", 0, 0);
    t.Add(t.bin, "$IOUT.txt", 0, 0, V1(u"C:\\out.txt"));

    const auto reader = t.Reader();
    struct Case {
        NodeEntry* item;
        const char* path;
    } cases[] = {{file, "C:\\Docs\\new.txt"},
                 {folder, "C:\\Users\\a\\Project"},
                 {fatDeleted, "D:\\gone.txt"},
                 {orphan, nullptr},
                 {cut, nullptr},
                 {liveUnderscore, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item->name);
        EXPECT_EQ(recyclebin::IsVistaBinItem(c.item), c.item != liveUnderscore);
        EXPECT_EQ(recyclebin::LookUpVistaBinItem(c.item, reader), c.path != nullptr);
        EXPECT_STREQ(c.item->pathBeforeDeletion, c.path);
    }
    EXPECT_FALSE(recyclebin::IsVistaBinItem(outside));
    // A known path is not read again.
    t.reads.clear();
    EXPECT_TRUE(recyclebin::LookUpVistaBinItem(file, reader));
    EXPECT_TRUE(t.reads.empty());
}

}  // namespace
