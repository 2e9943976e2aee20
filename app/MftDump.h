// The MFT dump: the boot sector and the first 1,024,000 bytes of the master file table
// of an NTFS volume, copied raw into two files for a support request, with the running
// report the dump dialog and `qvr mftdump` show. The volume is only read.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/DriveTable.h"

namespace mftdump {

// Raw bytes, whatever the extension says.
constexpr const char* kBootFileName = "BootDump.hex";
constexpr const char* kMftFileName = "MFTDump.hex";
constexpr uint32_t kBootBytes = 512;
constexpr uint32_t kBlockBytes = 200 * 512;
// A "1 MiB" dump in whole blocks: 10 blocks, 1,024,000 bytes.
constexpr uint32_t kDumpSize = 0x100000;
constexpr uint32_t kBlockCount = kDumpSize / kBlockBytes;
constexpr uint32_t kMftBytes = kBlockCount * kBlockBytes;

constexpr const char* kStartLine = "Select NTFS drive and press button to start dump process..";
// Appended after each dump, as its last two lines (an empty one, then this with a blank).
constexpr const char* kAgainMessage = "\n Select NTFS drive and press button to start dump process..";
constexpr const char* kRuleLine = "______________________________________";
constexpr const char* kSuccessLine = "Dump process successfully acomplished.";
constexpr const char* kFailureLine = "Dump process failed.";
constexpr const char* kOkLine = "  >> Ok.";

struct NtfsVolume {
    NtfsVolume(char letter_ = 0, std::string source_ = {}, uint64_t firstByte_ = 0, uint64_t bytes_ = 0)
        : letter(letter_), source(std::move(source_)), firstByte(firstByte_), bytes(bytes_) {}
    // The volume of a drive-table entry (a partition is a window over its disk).
    static NtfsVolume Of(const platform::DriveSource& drive);

    char letter = 0;
    std::string source;
    uint64_t firstByte = 0;  // where the volume starts in its source
    uint64_t bytes = 0;      // its length; 0 for up to the end of the source
};

struct VolumeList {
    std::vector<NtfsVolume> volumes;  // by letter
    unsigned nDenied = 0;             // sources that could not be opened for lack of rights
};

// The drives whose sector 0 carries the NTFS name at bytes 3 to 10, each source opened
// read-only; sources that cannot be opened or read are left out (and counted when the
// reason is a lack of rights).
VolumeList ListNtfsVolumes(const std::vector<platform::DriveSource>& drives);

// The list entry of a volume: its letter first ("E:  /dev/sdb1").
std::string DisplayName(const NtfsVolume& volume);

// The status line telling why the list is empty when raw devices were refused; "" when
// that is not why.
std::string DeniedNote(const VolumeList& list);

// Receives the report, one message at a time (a message may start with a line break,
// which stands for an empty line before it), and the progress over kBlockCount blocks.
class IMftDumpSink {
public:
    virtual ~IMftDumpSink() = default;
    virtual void Append(const std::string& message) = 0;
    virtual void SetProgressRange(int maximum) { (void)maximum; }
    virtual void SetProgress(int position) { (void)position; }
};

struct MftDumpResult {
    bool bOk = false;
    uint64_t nMftOffset = 0;
    uint64_t nTotalSectors = 0;
    uint64_t nMftWritten = 0;  // bytes in the MFT file (fewer than kMftBytes for a short volume)
    std::string szBootPath;
    std::string szMftPath;
};

// Writes kBootFileName and kMftFileName into folder, replacing earlier dumps. Every open,
// read and write is checked: a failure is reported with its reason and the dump stops. A
// folder on the volume's own device, or inside a mount of its image, is refused.
MftDumpResult DumpMft(const NtfsVolume& volume, const std::string& folder, IMftDumpSink& sink);

}  // namespace mftdump
