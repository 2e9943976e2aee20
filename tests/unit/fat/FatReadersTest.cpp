// Pure readers: FAT entries of each width, short names, long-name pieces and assembly.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "fslib/fat/FATDirEntry.h"
#include "fslib/fat/FATFirstCluster.h"
#include "fslib/fat/FATTable.h"
#include "tests/fixtures/FatImageBuilder.h"

namespace {

using Entry = FatImageBuilder::Entry;

ByteView View(const std::vector<uint8_t>& v) { return ByteView(v.data(), v.size()); }
ByteView View(const Entry& e) { return ByteView(e.data(), e.size()); }

std::vector<uint8_t> Concat(const std::vector<Entry>& entries) {
    std::vector<uint8_t> out;
    for (const Entry& e : entries) out.insert(out.end(), e.begin(), e.end());
    return out;
}

TEST(FatTable, Fat12PackingOfNeighbouringEntries) {
    // Entries 2 and 3 share the bytes 03 40 00.
    std::vector<uint8_t> fat = {0xF8, 0xFF, 0xFF, 0x03, 0x40, 0x00};
    EXPECT_EQ(fattable::Fat12Entry(View(fat), 0), 0xFF8u);
    EXPECT_EQ(fattable::Fat12Entry(View(fat), 1), 0xFFFu);
    EXPECT_EQ(fattable::Fat12Entry(View(fat), 2), 0x003u);
    EXPECT_EQ(fattable::Fat12Entry(View(fat), 3), 0x004u);
}

TEST(FatTable, ValidRangeOfEachWidth) {
    std::vector<uint8_t> fat(1536, 0xFF);
    struct Case {
        const char* what;
        uint32_t (*read)(ByteView, uint32_t);
        uint32_t cluster;
        uint32_t expected;
    } cases[] = {
        {"fat12 last cluster below size/1.5", fattable::Fat12Entry, 1023, 0xFFF},
        {"fat12 cluster at size/1.5", fattable::Fat12Entry, 1024, 0},
        {"fat12 huge cluster does not overflow", fattable::Fat12Entry, 0xFFFFFFFF, 0},
        {"fat16 last cluster", fattable::Fat16Entry, 767, 0xFFFF},
        {"fat16 past the table", fattable::Fat16Entry, 768, 0},
        {"fat32 keeps the upper bits", fattable::Fat32Entry, 383, 0xFFFFFFFF},
        {"fat32 past the table", fattable::Fat32Entry, 384, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.read(View(fat), c.cluster), c.expected) << c.what;
    EXPECT_EQ(fattable::Fat32Entry(ByteView(), 2), 0u) << "no table";
}

TEST(ShortName, FormatsNameAndExtension) {
    struct Case {
        const char* name83;
        uint8_t caseFlags;
        const char* formatted;
        const char* shown;
    } cases[] = {
        {"README  TXT", 0, "README.TXT", "README.TXT"},
        {"MAKEFILE   ", 0, "MAKEFILE", "MAKEFILE"},
        {"\xE5"
         "EADME  TXT",
         0,
         "\xE5"
         "EADME.TXT",
         "_EADME.TXT"},
        {"README  TXT", 0x08, "README.TXT", "readme.TXT"},
        {"README  TXT", 0x18, "README.TXT", "readme.txt"},
        {"\x05"
         "BC     TXT",
         0,
         "\x05"
         "BC.TXT",
         "\xCF\x83"
         "BC.TXT"},                                               // 0xE5 in CP437 is sigma
        {"CAF\x82    TXT", 0, "CAF\x82.TXT", "CAF\xC3\xA9.TXT"},  // 0x82 is e-acute
        {"MY VOLUME  ", 0, "MY VOLUM.E", "MY VOLUM.E"},
    };
    for (const Case& c : cases) {
        Entry e = FatImageBuilder::ShortEntry(c.name83, 0x20, 5, 1);
        e[12] = c.caseFlags;
        EXPECT_EQ(fatdir::FormatShortName(View(e)), c.formatted) << c.name83;
        EXPECT_EQ(fatdir::ShortNameToUtf8(View(e)), c.shown) << c.name83;
    }
}

TEST(LongName, PieceLengthFollowsThePadding) {
    struct Case {
        const char* what;
        std::u16string name;
        size_t expected;
    } cases[] = {
        {"five characters, rest padded", u"abcde", 5},
        {"eleven characters", u"abcdefghijk", 11},
        {"thirteen characters", u"abcdefghijklm", 13},
        {"terminator ends a short piece", u"ab", 2},
    };
    for (const Case& c : cases) {
        auto entries = FatImageBuilder::LongNameEntries(c.name, 0);
        ASSERT_EQ(entries.size(), 1u);
        Entry e = entries[0];
        if (c.expected == 5) std::fill(e.begin() + 11 + 3, e.begin() + 26, 0xFF);  // group 2 all 0xFF
        if (c.expected == 11) std::fill(e.begin() + 28, e.end(), 0xFF);            // group 3 all 0xFF
        std::u16string text;
        uint8_t order = 0;
        fatdir::ReadLongNamePiece(View(e), &text, &order);
        EXPECT_EQ(text, c.name.substr(0, c.expected)) << c.what;
        EXPECT_EQ(order, 0x41) << c.what;
    }
    Entry empty{};
    std::fill(empty.begin() + 1, empty.begin() + 11, 0xFF);
    std::u16string text = u"x";
    fatdir::ReadLongNamePiece(View(empty), &text, nullptr);
    EXPECT_TRUE(text.empty()) << "first group all 0xFF gives no characters";
}

TEST(LongName, AssemblesPiecesInOrderAndCountsThem) {
    const std::u16string name = u"A rather long file name.text";  // 28 characters: 3 entries
    Entry shortEntry = FatImageBuilder::ShortEntry("ARATHE~1TEX", 0x20, 7, 10);
    auto entries = FatImageBuilder::LongNameEntries(name, FatImageBuilder::Checksum(shortEntry));
    entries.push_back(shortEntry);
    auto data = Concat(entries);
    std::u16string out;
    uint32_t count = 0;
    ASSERT_EQ(fatdir::ReadLongName(&out, View(data), 0, &count), 1);
    EXPECT_EQ(out, name);
    EXPECT_EQ(count, 3u);
}

TEST(LongName, DeletedNameIsWholeAndFindsItsShortEntry) {
    Entry shortEntry = FatImageBuilder::ShortEntry("REPORT  DOC", 0x20, 7, 10);
    auto entries = FatImageBuilder::LongNameEntries(u"Report.doc", 0);
    entries.push_back(shortEntry);
    for (Entry& e : entries) e[0] = 0xE5;
    entries.push_back(FatImageBuilder::ShortEntry("OTHER   TXT", 0x20, 9, 1));
    auto data = Concat(entries);
    std::u16string out;
    uint32_t count = 0;
    ASSERT_EQ(fatdir::ReadLongName(&out, View(data), 0, &count), 1);
    EXPECT_EQ(out, u"Report.doc");
    EXPECT_EQ(count, 1u);

    // Two deleted pieces: the physically first holds the end of the name.
    auto two = FatImageBuilder::LongNameEntries(u"Quarterly report.doc", 0);
    two.push_back(shortEntry);
    for (Entry& e : two) e[0] = 0xE5;
    data = Concat(two);
    ASSERT_EQ(fatdir::ReadLongName(&out, View(data), 0, &count), 1);
    EXPECT_EQ(out, u"Quarterly report.doc");
    EXPECT_EQ(count, 2u);
}

// A deleted set as DOS leaves it: every entry's first byte 0xE5. `change` alters the
// long-name entries (on-disk order) before the marking.
std::vector<uint8_t> DeletedSet(const std::u16string& name, const char* name83, void (*change)(std::vector<Entry>&)) {
    Entry shortEntry = FatImageBuilder::ShortEntry(name83, 0x20, 7, 10);
    auto entries = FatImageBuilder::LongNameEntries(name, FatImageBuilder::Checksum(shortEntry));
    if (change) change(entries);
    entries.push_back(shortEntry);
    for (Entry& e : entries) e[0] = 0xE5;
    return Concat(entries);
}

TEST(LongName, DeletedSetIsTakenOnlyWhenConsistent) {
    using fatdir::DeletedSetCheck;
    struct Case {
        const char* what;
        std::u16string name;
        const char* name83;
        void (*change)(std::vector<Entry>&);
        DeletedSetCheck expected;
    } cases[] = {
        {"first character rebuilt", u"Report.doc", "REPORT  DOC", nullptr, DeletedSetCheck::RebuiltChecksum},
        {"rebuilt upper-cased", u"quarterly report.doc", "QUARTE~1DOC", nullptr, DeletedSetCheck::RebuiltChecksum},
        {"rebuilt in the OEM code page", u"\u00e9t\u00e9 2023.txt",
         "\x90T\x90"
         "202~1TXT",
         nullptr, DeletedSetCheck::RebuiltChecksum},
        {"short name does not start with the long name's letter", u"\u00e9t\u00e9.txt", "_T_~1   TXT", nullptr,
         DeletedSetCheck::EntriesAgree},
        {"leading dot is never rebuilt", u".profile", "PROFILE    ", nullptr, DeletedSetCheck::EntriesAgree},
        {"name filling its last entry has no padding", u"abcdefghijklm", "XBCDEF~1   ", nullptr,
         DeletedSetCheck::EntriesAgree},
        {"checksum of another short name: the entries only agree", u"Report.doc", "REPORT  DOC",
         [](std::vector<Entry>& e) { e[0][13] ^= 0x5A; }, DeletedSetCheck::EntriesAgree},
        {"entries disagree on the checksum", u"A name of two entries.txt", "ANAMEO~1TXT",
         [](std::vector<Entry>& e) { e[1][13] ^= 1; }, DeletedSetCheck::Inconsistent},
        {"type byte set", u".hidden", "HIDDEN     ", [](std::vector<Entry>& e) { e[0][12] = 1; },
         DeletedSetCheck::Inconsistent},
        {"cluster field set", u".hidden", "HIDDEN     ", [](std::vector<Entry>& e) { e[0][26] = 3; },
         DeletedSetCheck::Inconsistent},
        {"padding after the terminator is not 0xFFFF", u".hidden", "HIDDEN     ",
         [](std::vector<Entry>& e) { e[0][30] = 0; }, DeletedSetCheck::Inconsistent},
        {"no terminator before the padding", u".hidden", "HIDDEN     ",
         [](std::vector<Entry>& e) { e[0][18] = e[0][19] = 0xFF; }, DeletedSetCheck::Inconsistent},
    };
    for (const Case& c : cases) {
        auto data = DeletedSet(c.name, c.name83, c.change);
        std::u16string name;
        uint32_t count = 0;
        ASSERT_EQ(fatdir::ReadLongName(&name, View(data), 0, &count), 1) << c.what;
        EXPECT_EQ(fatdir::CheckDeletedSet(View(data), 0, count, name), c.expected) << c.what;
    }
    // 21 entries cannot be one name, however well they agree.
    auto many = DeletedSet(std::u16string(size_t{13} * 21, u'n'), "MMMMMM~1   ", nullptr);
    EXPECT_EQ(fatdir::CheckDeletedSet(View(many), 32, 20, std::u16string(size_t{13} * 20, u'n')),
              DeletedSetCheck::EntriesAgree);
    EXPECT_EQ(fatdir::CheckDeletedSet(View(many), 0, 21, std::u16string(size_t{13} * 21, u'n')),
              DeletedSetCheck::Inconsistent);
}

TEST(LongName, RejectsWhatCannotBeAName) {
    // 20 full pieces reach 260 characters.
    std::u16string tooLong(260, u'n');
    auto entries = FatImageBuilder::LongNameEntries(tooLong, 0);
    entries.push_back(FatImageBuilder::ShortEntry("N       TXT", 0x20, 3, 1));
    auto data = Concat(entries);
    uint32_t count = 99;
    EXPECT_EQ(fatdir::ReadLongName(nullptr, View(data), 0, &count), 0) << "260 characters";

    std::u16string longest(255, u'n');
    entries = FatImageBuilder::LongNameEntries(longest, 0);
    entries.push_back(FatImageBuilder::ShortEntry("N       TXT", 0x20, 3, 1));
    data = Concat(entries);
    std::u16string out;
    EXPECT_EQ(fatdir::ReadLongName(&out, View(data), 0, &count), 1);
    EXPECT_EQ(out.size(), 255u);

    // The short entry would lie past the data.
    entries = FatImageBuilder::LongNameEntries(u"cut off", 0);
    data = Concat(entries);
    EXPECT_EQ(fatdir::ReadLongName(nullptr, View(data), 0, &count), 0) << "runs past the end";

    // Not the physically first entry of a name: nothing assembled, success.
    entries = FatImageBuilder::LongNameEntries(u"0123456789abcdefghij", 0);
    entries.push_back(FatImageBuilder::ShortEntry("X       TXT", 0x20, 3, 1));
    data = Concat(entries);
    EXPECT_EQ(fatdir::ReadLongName(&out, View(data), 32, &count), 1);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(out.empty());
}

TEST(ClearedHighWord, CandidateChoice) {
    using fatfirst::Candidate;
    constexpr int kYes = 1, kNo = 0, kUnknown = -1;
    struct Case {
        const char* what;
        std::vector<Candidate> candidates;
        int index;
        size_t kept;
    } cases[] = {
        {"low-word run in use, one free", {{5, false, kUnknown}, {65541, true, kUnknown}}, 1, 1},
        {"equal evidence keeps the low-word cluster first",
         {{5, true, kUnknown}, {65541, true, kUnknown}, {131077, true, kUnknown}},
         0,
         3},
        {"fitting content beats an earlier free run", {{5, true, kUnknown}, {65541, true, kYes}}, 1, 2},
        {"content against the type drops a free run", {{5, true, kNo}, {65541, true, kYes}, {131077, true, kNo}}, 1, 1},
        {"two fitting: the first", {{5, true, kYes}, {65541, true, kYes}}, 0, 2},
        {"nothing free", {{5, false, kYes}, {65541, false, kUnknown}}, -1, 0},
        {"only contradicting content", {{5, true, kNo}}, -1, 0},
    };
    for (const Case& c : cases) {
        const fatfirst::Choice choice = fatfirst::Choose(c.candidates);
        EXPECT_EQ(choice.index, c.index) << c.what;
        EXPECT_EQ(choice.kept, c.kept) << c.what;
    }
}

}  // namespace
