// One FILE record of any content, read the way the scan and the file slots read it:
// fixups, the attribute walk, names, sizes, run lists (with extension records looked
// up on a small intact volume), index root and allocation, damage estimate.
#include <cstring>
#include <memory>
#include <vector>

#include "fslib/disk/MemoryDrive.h"
#include "fslib/ntfs/Fixups.h"
#include "fslib/ntfs/MFTRecord.h"
#include "fslib/ntfs/NTFSParser.h"
#include "fslib/ntfs/NtfsLayout.h"
#include "tests/fixtures/NtfsImageBuilder.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

constexpr uint32_t kRecordNumber = 40;

// A volume whose records 16.. hold files, so that attribute lists in the fuzzed record
// find extension records to read.
CNTFSParser* Volume() {
    static CNTFSParser* parser = [] {
        fixture::NtfsImageBuilder::Options o;
        o.totalSectors = 512;
        o.mftRecords = 48;
        fixture::NtfsImageBuilder b(o);
        uint32_t docs = b.AddDirectory(5, u"docs");
        std::vector<uint8_t> data(1500, 'd');
        uint32_t file = b.AddFile(docs, u"data.bin", data);
        b.Record(file + 1).InUse(true).BaseReference(file).NonResidentData({{2, 100, false}}, 900);
        b.Record(file + 2).InUse(true).BaseReference(file).ResidentData({'e', 'x', 't'});
        std::vector<uint8_t> image = b.Build();
        std::vector<uint8_t> boot(image.begin(), image.begin() + 512);
        return new CNTFSParser(new CMemoryDrive(std::move(image)), boot.data());
    }();
    return parser;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::UsePrivateTempFolder();
    Volume();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > ntfs::kRecordSize) return -1;
    CNTFSParser* parser = Volume();
    // Exactly one record, so ASan sees any read past it.
    auto* buffer = new uint8_t[ntfs::kRecordSize]();
    std::memcpy(buffer, data, size);
    ApplyFixups(buffer, ntfs::kRecordSize, 512);
    CMFTRecord record(buffer, kRecordNumber, true, parser);
    if (record.LocateRecordAttributes(0) != 0) return 0;

    record.GetFileName();
    record.GetFileNameW();
    record.GetParentDirectory();
    record.GetFileSize();
    record.GetFirstCluster();
    FILETIME t = 0;
    record.GetModifiedTime(&t);
    record.GetCreatedTime(&t);
    record.LoadListedFileNames();
    parser->EstimateDamageLevel(&record);

    if (record.DataAttribute() >= 0) {
        std::vector<DataRun> runs;
        record.ExtractRunList(record.DataAttribute(), &runs);
    } else if (record.AttributeListAttribute() >= 0) {
        std::vector<DataRun> runs;
        uint64_t dataSize = 0, allocated = 0;
        record.ExtractAttrFromAttrList(ntfs::kAttrData, &runs, &dataSize, &allocated);
    }
    std::vector<uint8_t> index;
    if (record.IndexRootAttribute() >= 0) parser->ReadIndexRoot(&record, record.IndexRootAttribute(), &index);
    if (record.IndexAllocationAttribute() >= 0)
        parser->ReadIndexAllocation(&record, record.IndexAllocationAttribute(), &index);
    return 0;
}
