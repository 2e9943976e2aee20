// fuzz_seeds <folder>: writes the seed corpus of every fuzz target into
// <folder>/<target>/, from the fixture builders: small intact volumes of each file
// system with live and deleted files, and the single structures the pure readers take.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fslib/carve/FileFormat.h"
#include "fslib/ntfs/MFTRecord.h"
#include "tests/fixtures/DiskLayoutBuilder.h"
#include "tests/fixtures/ExFatImageBuilder.h"
#include "tests/fixtures/FatImageBuilder.h"
#include "tests/fixtures/Lznt1Compressor.h"
#include "tests/fixtures/NtfsImageBuilder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using fixture::NtfsImageBuilder;
using fixture::NtfsRun;

std::filesystem::path g_root;
bool g_failed = false;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
    std::filesystem::path folder = g_root / target;
    std::filesystem::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s/%s\n", target.c_str(), name.c_str());
        g_failed = true;
    }
}

Bytes Text(size_t size, const char* word) {
    Bytes v;
    std::string w(word);
    while (v.size() < size) v.push_back(static_cast<uint8_t>(w[v.size() % w.size()]));
    return v;
}

Bytes Concat(const std::vector<FatImageBuilder::Entry>& entries) {
    Bytes out;
    for (const auto& e : entries) out.insert(out.end(), e.begin(), e.end());
    return out;
}

// NTFS: folders, resident and non-resident files live and deleted, a compressed file,
// one held through an attribute list, a sparse one; enough root entries for INDX blocks
// when `manyRootEntries`.
Bytes NtfsVolume(uint8_t sectorsPerCluster, bool manyRootEntries, std::vector<Bytes>* records) {
    NtfsImageBuilder::Options o;
    o.totalSectors = 512;
    o.sectorsPerCluster = sectorsPerCluster;
    o.mftRecords = 40;
    o.mftCluster = 16 / sectorsPerCluster;
    NtfsImageBuilder b(o);
    uint32_t docs = b.AddDirectory(5, u"docs");
    uint32_t old = b.AddDirectory(docs, u"old", true);
    b.AddFile(5, u"readme.txt", Text(120, "read me "));
    b.AddFile(docs, u"gone.txt", Text(300, "deleted "), true);
    b.AddFile(old, u"big deleted.bin", Text(1500, "0123456789"), true, 0);
    b.AddFile(docs, u"big.bin", Text(1100, "abcdef"), false, 2);
    Bytes text = Text(8192, "compress me ");
    Bytes packed = fixture::CompressLznt1(text);
    uint64_t cb = b.ClusterBytes();
    uint64_t pc = (packed.size() + cb - 1) / cb;
    uint64_t first = b.AllocateClusters(pc);
    b.WriteClusters(first, packed);
    uint32_t comp = b.NextRecord();
    uint64_t unit = 16;
    b.Record(comp)
        .InUse(false)
        .StandardInformation(1, 2)
        .FileName(docs, u"comp.txt", 0)
        .NonResidentData({{pc, first, false}, {unit - pc, 0, true}}, text.size(), true, 4);
    uint32_t base = b.NextRecord();
    b.Record(base)
        .InUse(false)
        .StandardInformation(1, 2)
        .FileName(5, u"listed.bin", 1)
        .AttributeList({{0x80, base + 1}, {0x80, base + 2}});
    uint64_t lc = b.AllocateClusters(3);
    b.Record(base + 1).InUse(false).BaseReference(base).NonResidentData({{3, lc, false}}, 3 * cb);
    b.Record(base + 2).InUse(false).BaseReference(base).NonResidentData({{1, lc, false}}, 0);
    uint32_t sparse = b.NextRecord();
    b.Record(sparse)
        .InUse(false)
        .StandardInformation(1, 2)
        .FileName(old, u"sparse", 1)
        .NonResidentData({{1, lc, false}, {20, 0, true}, {1, lc + 1, false}}, 22 * cb);
    if (manyRootEntries)
        for (int i = 0; i < 10; ++i)
            b.AddFile(5, u"root entry " + std::u16string(1, static_cast<char16_t>(u'A' + i)), {'r'});
    Bytes image = b.Build();
    if (records)
        for (uint32_t n : {0u, 5u, docs, comp, base, base + 1, sparse})
            records->emplace_back(image.begin() + static_cast<long>(b.RecordOffset(n)),
                                  image.begin() + static_cast<long>(b.RecordOffset(n) + 1024));
    return image;
}

// FAT of one width: long and short names, a deleted file with a long name, a folder
// with files, a deleted folder, a file whose chain is fragmented.
Bytes FatVolume(int bits, Bytes* rootDirectory) {
    FatImageBuilder::Options o;
    o.fatBits = bits;
    o.totalSectors = bits == 32 ? 400 : 200;
    o.rootEntries = bits == 32 ? 0 : 32;
    o.reservedSectors = bits == 32 ? 8 : 1;
    FatImageBuilder b(o);
    auto root = b.Root();
    b.AddFile(root, "README.TXT", 700);
    b.AddFile(root, "GONE.TXT", 100, u"", 'g');
    b.DeleteEntry(root, b.LastIndex(root));
    b.AddFile(root, "QUARTE~1.DOC", 1300, u"Quarterly report.doc", 'q');
    b.DeleteEntry(root, b.LastIndex(root), 2);
    auto docs = b.AddDirectory(root, "DOCS", u"Documents");
    b.AddFile(docs, "NOTES.TXT", 600, u"notes.txt", 'n');
    b.AddFile(docs, "OLD.TXT", 1024, u"", 'o');
    b.DeleteEntry(docs, b.LastIndex(docs));
    auto trash = b.AddDirectory(root, "TRASH");
    b.AddFile(trash, "INNER.BIN", 2000, u"inner file.bin", 'i');
    b.DeleteEntry(root, b.LastIndex(root));
    if (rootDirectory) {
        uint64_t start = bits == 32 ? b.ClusterOffset(b.Opts().rootCluster)
                                    : (uint64_t{b.Opts().reservedSectors} + 2ull * b.SectorsPerFat()) * 512;
        *rootDirectory =
            Bytes(b.Image().begin() + static_cast<long>(start), b.Image().begin() + static_cast<long>(start + 512));
    }
    return b.Image();
}

Bytes Info2(const std::vector<std::pair<uint32_t, std::u16string>>& records) {
    Bytes out(20, 0);
    out[0] = 5;
    out[12] = 0x20;
    out[13] = 0x03;  // record size 800
    for (const auto& [number, path] : records) {
        Bytes r(800, 0);
        for (size_t i = 0; i < path.size() && i < 259; ++i) {
            if (path[i] < 0x80) r[i] = static_cast<uint8_t>(path[i]);
            r[280 + 2 * i] = static_cast<uint8_t>(path[i]);
            r[281 + 2 * i] = static_cast<uint8_t>(path[i] >> 8);
        }
        r[260] = static_cast<uint8_t>(number);
        r[261] = static_cast<uint8_t>(number >> 8);
        r[264] = 2;  // drive C
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

// A $I record: version, size of the binned item, deletion time, then the path (version 1:
// 260 characters NUL-padded; version 2: its length with the NUL, then the path).
Bytes DollarI(uint64_t version, const std::u16string& path) {
    Bytes out;
    auto put64 = [&out](uint64_t v) {
        for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    put64(version);
    put64(4096);
    put64(0x01D9A1B2C3D4E5F6ull);
    std::u16string text = path;
    if (version == 1) {
        text.resize(260, u'\0');
    } else {
        const auto length = static_cast<uint32_t>(path.size() + 1);
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(length >> (8 * i)));
        text.push_back(u'\0');
    }
    for (char16_t c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

// A split image's name after the gap allowed and the bitmap of the segment numbers 0-255
// that exist.
Bytes SplitName(uint8_t maxGap, const std::vector<int>& present, const std::string& path) {
    Bytes out(33, 0);
    out[0] = maxGap;
    for (int n : present) out[1 + n / 8] |= static_cast<uint8_t>(1 << (n % 8));
    out.insert(out.end(), path.begin(), path.end());
    return out;
}

Bytes WithUnreadable(Bytes image, const std::vector<uint32_t>& sectors) {
    for (uint32_t s : sectors) {
        image.push_back(static_cast<uint8_t>(s));
        image.push_back(static_cast<uint8_t>(s >> 8));
    }
    return image;
}

// exFAT: live and deleted files and folders, a deleted tree, a chained fragmented file
// and one whose chain is gone, a label.
Bytes ExFatVolume(uint8_t clusterShift, Bytes* rootDirectory) {
    ExFatImageBuilder::Options o;
    o.sectorsPerClusterShift = clusterShift;
    o.clusterCount = 160;
    ExFatImageBuilder b(o);
    b.SetVolumeLabel(u"SEEDS");
    ExFatImageBuilder::Set trashSet;
    size_t docs = b.AddFolder(ExFatImageBuilder::kRoot, u"docs");
    size_t trash = b.AddFolder(docs, u"trash", &trashSet);
    b.AddFile(docs, u"readme.txt", Text(700, "read me "));
    auto gone = b.AddFile(docs, u"a deleted file with a long name.txt", Text(1500, "deleted "));
    auto inner = b.AddFile(trash, u"inner.bin", Text(900, "inner "));
    ExFatImageBuilder::FileOptions chained;
    chained.noFatChain = false;
    chained.clusters = {120, 118, 125};
    auto frag = b.AddFile(ExFatImageBuilder::kRoot, u"fragmented.bin", Text(3 << (9 + clusterShift), "frag "), chained);
    chained.clusters = {130, 132};
    chained.validLength = 100;
    auto lost = b.AddFile(ExFatImageBuilder::kRoot, u"lost chain.bin", Text(2 << (9 + clusterShift), "lost "), chained);
    b.Delete(gone);
    b.Delete(inner);
    b.Delete(trashSet);
    b.Delete(frag, true);
    b.Delete(lost);
    Bytes& image = b.Image();
    const uint64_t root = b.SlotOffset(ExFatImageBuilder::kRoot, 0);
    rootDirectory->assign(image.begin() + static_cast<long>(root),
                          image.begin() + static_cast<long>(root + 2 * b.ClusterBytes()));
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <folder>\n");
        return 2;
    }
    g_root = argv[1];

    // The format walks start from the real files their table test reads.
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(QVR_SOURCE_DIR) + "/tests/unit/carve/media")) {
        std::ifstream in(entry.path(), std::ios::binary);
        Bytes file((std::istreambuf_iterator<char>(in)), {});
        Bytes sector(file.begin(), file.begin() + static_cast<long>(std::min<size_t>(file.size(), 512)));
        sector.resize(carve::kHeaderBytes);
        for (const carve::FileFormat& f : carve::FileFormats())
            if (f.IsHeader(sector.data()))
                Write(std::string("carve_") + f.name, entry.path().filename().string(), file);
    }

    std::vector<Bytes> records;
    Bytes ntfs1 = NtfsVolume(1, false, &records);
    Bytes ntfs2 = NtfsVolume(2, true, nullptr);
    Bytes ntfs3 = NtfsVolume(1, true, nullptr);
    Write("ntfs_scan", "small.img", ntfs1);
    Write("ntfs_scan", "two-sector-clusters.img", ntfs2);
    Write("ntfs_scan", "index-blocks.img", ntfs3);
    // Bytes past the last whole sector name unreadable sectors: an MFT record and a
    // file's cluster.
    Write("ntfs_scan", "unreadable-sectors.img", WithUnreadable(ntfs1, {52, 120}));
    Write("detect", "ntfs.img", ntfs1);
    for (size_t i = 0; i < records.size(); ++i) Write("ntfs_record", "record" + std::to_string(i), records[i]);

    for (int bits : {12, 16, 32}) {
        Bytes rootDirectory;
        Bytes image = FatVolume(bits, &rootDirectory);
        std::string name = "fat" + std::to_string(bits);
        Write("fat_scan", name + ".img", image);
        // A sector of the first FAT and one of the data area cannot be read.
        Write("fat_scan", name + "-unreadable.img", WithUnreadable(image, {bits == 32 ? 9u : 1u, 60u}));
        Write("detect", name + ".img", image);
        Write("fat_dirent", name + "-root", rootDirectory);
        Write("fat_dirent", name + "-boot", Bytes(image.begin(), image.begin() + 512));
    }
    for (uint8_t shift : {0, 1}) {
        Bytes rootDirectory;
        Bytes image = ExFatVolume(shift, &rootDirectory);
        std::string name = "exfat-c" + std::to_string(512 << shift);
        Write("exfat_scan", name + ".img", image);
        Write("exfat_scan", name + "-unreadable.img", WithUnreadable(image, {25u, 40u}));
        Write("detect", name + ".img", image);
        Write("exfat_entryset", name + "-root", rootDirectory);
        Write("exfat_entryset", name + "-boot-region", Bytes(image.begin(), image.begin() + 12 * 512));
    }

    {
        // Two primaries and an extended partition with a chain of three logical ones.
        fixture::DiskLayoutBuilder mbr(96);
        mbr.SetSlot(0, 0, 0x0C, 4, 10, 0x80);
        mbr.SetSlot(0, 1, 0x07, 16, 10);
        mbr.SetSlot(0, 2, 0x05, 32, 60);
        mbr.SetSlot(32, 0, 0x06, 2, 10);
        mbr.SetSlot(32, 1, 0x05, 20, 20);
        mbr.SetSlot(52, 0, 0x83, 2, 10);
        mbr.SetSlot(52, 1, 0x05, 40, 20);
        mbr.SetSlot(72, 0, 0x07, 2, 10);
        Write("partition_table", "mbr-extended.img", mbr.Bytes());
        fixture::DiskLayoutBuilder gpt(128);
        gpt.WriteGpt({{"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", 34, 60, u"data"},
                      {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", 61, 90, u"linux"}});
        Write("partition_table", "gpt.img", gpt.Bytes());
        gpt.Bytes()[512 + 40] ^= 1;  // the primary header spoilt: the backup is read
        Write("partition_table", "gpt-backup.img", gpt.Bytes());
    }

    auto lfn = FatImageBuilder::LongNameEntries(u"A rather long name for a file.text", 0x5A);
    lfn.push_back(FatImageBuilder::ShortEntry("ARATHE~1TEX", 0x20, 7, 10));
    Write("fat_dirent", "long-name", Concat(lfn));

    std::vector<NtfsRun> runs[] = {
        {{8, 100, false}},
        {{1, 16, false}, {20, 0, true}, {3, 5, false}, {2, 700, false}},
        {{0x12345, 0x100000, false}, {7, 0x40, false}},
    };
    for (size_t i = 0; i < std::size(runs); ++i) {
        Bytes seed = {0x00, 0x00, 0x10, 0x00};  // a volume of 1 Mi clusters
        Bytes list = fixture::EncodeRunList(runs[i]);
        seed.insert(seed.end(), list.begin(), list.end());
        Write("ntfs_runlist", "runs" + std::to_string(i), seed);
    }

    std::vector<fixture::NtfsIndexEntry> entries;
    for (int i = 0; i < 6; ++i)
        entries.push_back({static_cast<uint32_t>(20 + i), 5,
                           u"entry " + std::u16string(1, static_cast<char16_t>(u'a' + i)), i % 2 == 0,
                           static_cast<uint8_t>(i % 4), static_cast<uint64_t>(100 * i)});
    Bytes block = {0x01 | (3 << 1)};  // INDX blocks of 4096 bytes
    Bytes indx = fixture::BuildIndexBlock(entries, 4096);
    block.insert(block.end(), indx.begin(), indx.end());
    Write("ntfs_index", "indx-block", block);
    Bytes small = {0x01};
    Bytes indx512 = fixture::BuildIndexBlock({entries[0], entries[1]}, 512);
    small.insert(small.end(), indx512.begin(), indx512.end());
    Write("ntfs_index", "indx-512", small);
    {
        // The $INDEX_ROOT value of a directory record.
        Bytes record = fixture::NtfsRecordBuilder(30)
                           .Directory(true)
                           .StandardInformation(1, 2)
                           .FileName(5, u"dir", 1, true)
                           .IndexRoot({entries[0], entries[1], entries[2]})
                           .Bytes();
        CMFTRecord r(record.data(), 30, false, nullptr);
        r.LocateRecordAttributes(0);
        ByteView value = r.ResidentValue(r.IndexRootAttribute());
        Bytes seed = {0x00};
        seed.insert(seed.end(), value.Data(), value.Data() + value.Size());
        Write("ntfs_index", "index-root", seed);
    }

    Bytes lznt = {0x00, 0x0F};
    Bytes packed = fixture::CompressLznt1(Text(6000, "the quick brown fox "));
    lznt.insert(lznt.end(), packed.begin(), packed.end());
    Write("lznt1", "text", lznt);
    Bytes trip = {0x01, 0x00};
    Bytes plain = Text(5000, "abcabcabd");
    trip.insert(trip.end(), plain.begin(), plain.end());
    Write("lznt1", "round-trip", trip);

    Bytes info2 = {7, 0, 0, 0, 'D', 'C', '7', '.', 't', 'x', 't', 0, 0, 0, 0, 0};
    Bytes index = Info2({{3, u"C:\\Documents\\one.txt"}, {7, u"C:\\Temp\\\u00e9t\u00e9.doc"}});
    info2.insert(info2.end(), index.begin(), index.end());
    Write("info2", "two-records", info2);

    Write("dollar_i", "version-1", DollarI(1, u"C:\\Users\\Zo\u00eb\\Desktop\\report.txt"));
    Write("dollar_i", "version-2", DollarI(2, u"D:\\\u6771\u4eac\\photo.jpg"));

    Write("split_name", "from-one", SplitName(16, {1, 2, 3}, "/images/disk.002"));
    Write("split_name", "past-a-gap", SplitName(4, {0, 1, 30}, "card.030"));
    Write("split_name", "four-digits", SplitName(0, {1, 2, 4}, "/a.b/set.0001"));

    return g_failed ? 1 : 0;
}
