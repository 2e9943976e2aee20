#include "app/MftDump.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/DestinationCheck.h"
#include "fslib/core/ByteView.h"
#include "fslib/ntfs/NTFSBootSector.h"
#include "platform/Files.h"
#include "platform/RawVolume.h"

namespace mftdump {

namespace {

constexpr size_t kOemNameOffset = 3;
constexpr char kNtfsOemName[] = "NTFS    ";
constexpr size_t kOemNameLength = 8;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    return buffer;
}

std::string Reason(DWORD code) {
    if (const char* text = platform::Win32ErrorText(code)) return text;
    if (code > 0x10000) return std::strerror(static_cast<int>(code - 0x10000));
    return Format("error %u", static_cast<unsigned>(code));
}

bool IsNtfs(const uint8_t* boot) { return std::memcmp(boot + kOemNameOffset, kNtfsOemName, kOemNameLength) == 0; }

// Descriptors of the volume and the files, closed on every way out.
struct RawSource {
    int fd = -1;
    ~RawSource() {
        if (fd >= 0) platform::CloseRawSource(fd);
    }
};
struct OutputFile {
    platform::FileHandle h = platform::INVALID_FILE_HANDLE;
    ~OutputFile() { Close(); }
    bool Close() {
        if (h == platform::INVALID_FILE_HANDLE) return true;
        const BOOL closed = platform::CloseFile(h);
        h = platform::INVALID_FILE_HANDLE;
        return closed;
    }
};

// Creates (or empties) path and writes count bytes; the message of the first failure.
bool WriteAll(OutputFile* file, const uint8_t* data, uint32_t count, const std::string& path, std::string* failure) {
    uint32_t written = 0;
    if (!platform::WriteFile(file->h, data, count, &written) || written != count) {
        *failure = Format("  >> Cannot write %s: %s", path.c_str(), Reason(GetLastError()).c_str());
        return false;
    }
    return true;
}

bool Create(OutputFile* file, const std::string& path, std::string* failure) {
    file->h = platform::CreateFile(path, platform::kWrite, platform::CreateMode::CreateAlways);
    if (file->h != platform::INVALID_FILE_HANDLE) return true;
    *failure = Format("  >> Cannot create %s: %s", path.c_str(), Reason(GetLastError()).c_str());
    return false;
}

class Dump {
public:
    Dump(const NtfsVolume& volume, const std::string& folder, IMftDumpSink& sink)
        : m_volume(volume), m_folder(folder), m_sink(sink) {}

    MftDumpResult Run() {
        m_sink.Append(Format("\n  MFT Dump runned on drive: %c", m_volume.letter));
        std::string failure;
        if (!Copy(&failure)) {
            m_sink.Append(failure);
            m_sink.Append(kRuleLine);
            m_sink.Append(kFailureLine);
            return m_result;
        }
        m_sink.Append(kRuleLine);
        m_sink.Append(kSuccessLine);
        m_result.bOk = true;
        return m_result;
    }

private:
    bool Copy(std::string* failure) {
        if (DestinationOnScannedDevice(m_volume.source, m_folder)) {
            *failure = Format(
                "  >> The folder %s lies on drive %c:, the drive being dumped; choose a folder on a "
                "different drive.",
                m_folder.c_str(), m_volume.letter);
            return false;
        }
        RawSource source;
        source.fd = platform::OpenRawSource(m_volume.source);
        if (source.fd < 0) {
            *failure = Format("  >> Cannot open drive %c: (%s): %s", m_volume.letter, m_volume.source.c_str(),
                              Reason(GetLastError()).c_str());
            return false;
        }
        uint8_t boot[kBootBytes] = {};
        size_t done = 0;
        if (!platform::RawRead(source.fd, boot, sizeof(boot), m_volume.firstByte, &done)) {
            *failure = Format("  >> Cannot read the boot sector of drive %c: %s", m_volume.letter,
                              Reason(GetLastError()).c_str());
            return false;
        }
        if (done != sizeof(boot)) {
            *failure = Format("  >> Drive %c: is shorter than one sector.", m_volume.letter);
            return false;
        }
        if (!IsNtfs(boot)) {
            *failure = Format("  >> Drive %c: holds no NTFS volume.", m_volume.letter);
            return false;
        }
        const NTFSBootSector fields = NTFSBootSector::Read(ByteView(boot, sizeof(boot)));
        if (!fields.MftByteOffset(&m_result.nMftOffset)) {
            *failure = Format("  >> The boot sector of drive %c: gives no valid cluster size.", m_volume.letter);
            return false;
        }
        m_result.nTotalSectors = fields.nTotalSectors;
        m_sink.Append(Format("  >> MFT Offset from the beginning: %" PRIx64, m_result.nMftOffset));
        m_sink.Append(Format("  >> Total sectors quantity: %" PRIu64, m_result.nTotalSectors));

        const std::optional<uint64_t> size = VolumeSize(source.fd);
        if (size && m_result.nMftOffset >= *size) {
            *failure = Format("  >> The MFT offset lies past the end of drive %c: (%" PRIu64 " bytes).",
                              m_volume.letter, *size);
            return false;
        }

        m_result.szBootPath = platform::JoinPath(m_folder, kBootFileName);
        m_sink.Append("  >> Writing Boot Sector in File on " + m_result.szBootPath);
        {
            OutputFile file;
            if (!Create(&file, m_result.szBootPath, failure) ||
                !WriteAll(&file, boot, sizeof(boot), m_result.szBootPath, failure))
                return false;
            if (!file.Close()) {
                *failure =
                    Format("  >> Cannot write %s: %s", m_result.szBootPath.c_str(), Reason(GetLastError()).c_str());
                return false;
            }
        }
        m_sink.Append(kOkLine);

        m_result.szMftPath = platform::JoinPath(m_folder, kMftFileName);
        OutputFile file;
        if (!Create(&file, m_result.szMftPath, failure)) return false;
        m_sink.SetProgressRange(static_cast<int>(kBlockCount));
        m_sink.Append("  >> Writing MFT Dump File on " + m_result.szMftPath);
        if (!CopyBlocks(source.fd, size, &file, failure)) return false;
        if (!file.Close()) {
            *failure = Format("  >> Cannot write %s: %s", m_result.szMftPath.c_str(), Reason(GetLastError()).c_str());
            return false;
        }
        if (m_result.nMftWritten < kMftBytes)
            m_sink.Append(Format("  >> The volume ends %" PRIu64 " bytes after the MFT offset: only those bytes were "
                                 "written.",
                                 m_result.nMftWritten));
        m_sink.Append(kOkLine);
        m_sink.SetProgress(static_cast<int>(kBlockCount));
        return true;
    }

    // Bytes of the volume: its window, ending no later than its source.
    std::optional<uint64_t> VolumeSize(int fd) const {
        const std::optional<uint64_t> source = platform::RawSize(fd);
        if (!source) return m_volume.bytes ? std::optional<uint64_t>(m_volume.bytes) : std::nullopt;
        const uint64_t left = *source > m_volume.firstByte ? *source - m_volume.firstByte : 0;
        return m_volume.bytes ? std::min(m_volume.bytes, left) : left;
    }

    // The blocks from the MFT offset, up to the end of the source.
    bool CopyBlocks(int fd, std::optional<uint64_t> size, OutputFile* file, std::string* failure) {
        std::unique_ptr<uint8_t[]> block(new uint8_t[kBlockBytes]);
        for (uint32_t i = 0; i < kBlockCount; ++i) {
            const uint64_t position = m_result.nMftOffset + uint64_t{i} * kBlockBytes;
            size_t wanted = kBlockBytes;
            if (size) wanted = static_cast<size_t>(std::min<uint64_t>(wanted, *size > position ? *size - position : 0));
            if (wanted == 0) break;
            size_t done = 0;
            const BOOL read = platform::RawRead(fd, block.get(), wanted, m_volume.firstByte + position, &done);
            const DWORD readError = GetLastError();
            // What was read before a failure still goes into the file.
            if (done > 0) {
                if (!WriteAll(file, block.get(), static_cast<uint32_t>(done), m_result.szMftPath, failure))
                    return false;
                m_result.nMftWritten += done;
            }
            if (!read) {
                *failure = Format("  >> Cannot read drive %c: at byte offset %" PRIx64 ": %s (%s holds the %" PRIu64
                                  " bytes read before it).",
                                  m_volume.letter, position + done, Reason(readError).c_str(),
                                  m_result.szMftPath.c_str(), m_result.nMftWritten);
                return false;
            }
            m_sink.SetProgress(static_cast<int>(i));
            if (done < wanted) break;  // the end of a source whose size was not known
        }
        return true;
    }

    const NtfsVolume& m_volume;
    const std::string m_folder;
    IMftDumpSink& m_sink;
    MftDumpResult m_result;
};

}  // namespace

NtfsVolume NtfsVolume::Of(const platform::DriveSource& drive) {
    return NtfsVolume(drive.letter, drive.source, drive.firstSector * platform::kRawSectorSize,
                      drive.sectorCount * platform::kRawSectorSize);
}

VolumeList ListNtfsVolumes(const std::vector<platform::DriveSource>& drives) {
    VolumeList list;
    for (const platform::DriveSource& drive : drives) {
        RawSource source;
        source.fd = platform::OpenRawSource(drive.source);
        if (source.fd < 0) {
            if (GetLastError() == ERROR_ACCESS_DENIED) ++list.nDenied;
            continue;
        }
        uint8_t boot[kBootBytes];
        size_t done = 0;
        const NtfsVolume volume = NtfsVolume::Of(drive);
        if (platform::RawRead(source.fd, boot, sizeof(boot), volume.firstByte, &done) && done == sizeof(boot) &&
            IsNtfs(boot))
            list.volumes.push_back(volume);
    }
    std::sort(list.volumes.begin(), list.volumes.end(),
              [](const NtfsVolume& a, const NtfsVolume& b) { return a.letter < b.letter; });
    return list;
}

std::string DisplayName(const NtfsVolume& volume) { return Format("%c:  %s", volume.letter, volume.source.c_str()); }

std::string DeniedNote(const VolumeList& list) {
    if (!list.volumes.empty() || list.nDenied == 0) return {};
    return Format(
        "%u drive(s) could not be opened for lack of rights: reading raw devices needs root or "
        "membership of the group that owns them (often \"disk\").",
        list.nDenied);
}

MftDumpResult DumpMft(const NtfsVolume& volume, const std::string& folder, IMftDumpSink& sink) {
    return Dump(volume, folder, sink).Run();
}

}  // namespace mftdump
