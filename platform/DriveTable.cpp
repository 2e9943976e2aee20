#include "platform/DriveTable.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/Folders.h"
#include "platform/RawVolume.h"

namespace platform {

namespace {

constexpr char kFirstAutoLetter = 'D';  // C: is kept for the device holding "/"
constexpr char kLastLetter = 'Z';
constexpr const char* kDriveMapFile = "drives";
constexpr const char* kDriveMapVariable = "QUENVAR_DRIVES";

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// One spelling per source, so /dev/disk/by-id links and relative image paths meet
// their plain form.
std::string Canonical(const std::string& source) {
    char resolved[PATH_MAX];
    if (::realpath(source.c_str(), resolved)) return resolved;
    return source;
}

bool IsBlockDevice(const std::string& source) {
    struct stat st {};
    return ::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

bool LetterTaken(const std::vector<DriveSource>& drives, char letter) {
    return std::any_of(drives.begin(), drives.end(), [&](const DriveSource& d) { return d.letter == letter; });
}

char NextFreeLetter(const std::vector<DriveSource>& drives) {
    for (char letter = kFirstAutoLetter; letter <= kLastLetter; ++letter) {
        if (!LetterTaken(drives, letter)) return letter;
    }
    return 0;
}

PartitionLister g_partitionLister = nullptr;

// The kernel reads the tables of the disks it lists; a partition gets one letter only,
// so only images and the whole disks it left unsplit are read here.
bool MayHoldPartitions(const DriveSource& drive) {
    if (drive.partition != 0) return false;
    struct stat st {};
    if (::stat(drive.source.c_str(), &st) != 0) return false;
    if (S_ISREG(st.st_mode)) return true;
    return S_ISBLK(st.st_mode) && IsUnsplitWholeDisk(st.st_rdev);
}

char NextFreeLetterAfter(const std::vector<DriveSource>& drives, char after) {
    for (char letter = std::max<char>(static_cast<char>(after + 1), kFirstAutoLetter); letter <= kLastLetter;
         ++letter) {
        if (!LetterTaken(drives, letter)) return letter;
    }
    return 0;
}

void SortByLetter(std::vector<DriveSource>& drives) {
    std::stable_sort(drives.begin(), drives.end(),
                     [](const DriveSource& a, const DriveSource& b) { return a.letter < b.letter; });
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::string DriveSource::DisplayName() const {
    return partition == 0 ? source : source + "@" + std::to_string(partition);
}

void SetPartitionLister(PartitionLister lister) { g_partitionLister = lister; }

void DriveTable::AddPartitions(std::vector<DriveSource>* drives) {
    if (!g_partitionLister) return;
    std::vector<DriveSource> disks;
    for (const auto& drive : *drives) {
        const bool hasSome = std::any_of(drives->begin(), drives->end(), [&](const DriveSource& d) {
            return d.partition != 0 && d.diskLetter == drive.letter;
        });
        if (!hasSome && MayHoldPartitions(drive)) disks.push_back(drive);
    }
    for (const auto& disk : disks) {
        char after = disk.letter;
        for (const PartitionWindow& window : g_partitionLister(disk.source)) {
            DriveSource part;
            part.letter = NextFreeLetterAfter(*drives, after);
            if (part.letter == 0) break;
            part.source = disk.source;
            part.isBlockDevice = disk.isBlockDevice;
            part.mapped = disk.mapped;
            part.partition = window.number;
            part.firstSector = window.firstSector;
            part.sectorCount = window.sectorCount;
            part.diskLetter = disk.letter;
            part.partitionType = window.type;
            drives->push_back(std::move(part));
            after = drives->back().letter;
        }
    }
    SortByLetter(*drives);
}

DriveTable& DriveTable::Instance() {
    static DriveTable table;
    static std::once_flag built;
    std::call_once(built, [] { table.Reload(); });
    return table;
}

std::vector<DriveSource> DriveTable::ParseDriveMap(const std::string& text, char separator) {
    std::vector<DriveSource> map;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, separator)) {
        item = Trim(item);
        if (item.empty() || item[0] == '#' || item[0] == '[') continue;  // comments, section headers
        const size_t equals = item.find('=');
        if (equals == std::string::npos) continue;
        std::string key = Trim(item.substr(0, equals));
        if (key.size() == 2 && key[1] == ':') key.pop_back();  // "E:=" as well as "E="
        const std::string source = Trim(item.substr(equals + 1));
        if (key.size() != 1 || source.empty()) continue;
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(key[0])));
        if (letter < 'A' || letter > kLastLetter) continue;
        DriveSource drive;
        drive.letter = letter;
        drive.source = Canonical(source);
        drive.isBlockDevice = IsBlockDevice(drive.source);
        drive.mapped = true;
        map.push_back(std::move(drive));
    }
    return map;
}

std::vector<DriveSource> DriveTable::AutoDrives(const std::vector<BlockDevice>& volumes, std::optional<dev_t> root) {
    std::vector<DriveSource> drives;
    char next = kFirstAutoLetter;
    for (const auto& volume : volumes) {
        DriveSource drive;
        drive.source = volume.path;
        drive.isBlockDevice = true;
        if (root && volume.device == *root) {
            drive.letter = 'C';
        } else {
            if (next > kLastLetter) continue;
            drive.letter = next++;
        }
        drives.push_back(std::move(drive));
    }
    SortByLetter(drives);
    return drives;
}

std::vector<DriveSource> DriveTable::ApplyDriveMap(std::vector<DriveSource> autoDrives,
                                                   const std::vector<DriveSource>& map) {
    // Later entries win for a letter.
    std::vector<DriveSource> mapped;
    for (const auto& entry : map) {
        std::erase_if(mapped, [&](const DriveSource& d) { return d.letter == entry.letter; });
        mapped.push_back(entry);
    }

    std::vector<DriveSource> table = mapped;
    std::vector<DriveSource> displaced;
    for (auto& drive : autoDrives) {
        const std::string source = Canonical(drive.source);
        const bool sourceMapped = std::any_of(mapped.begin(), mapped.end(),
                                              [&](const DriveSource& m) { return Canonical(m.source) == source; });
        if (sourceMapped) continue;
        if (LetterTaken(table, drive.letter)) {
            displaced.push_back(std::move(drive));
            continue;
        }
        table.push_back(std::move(drive));
    }
    for (auto& drive : displaced) {
        drive.letter = NextFreeLetter(table);
        if (drive.letter == 0) break;
        table.push_back(std::move(drive));
    }
    SortByLetter(table);
    return table;
}

void DriveTable::Reload() {
    std::vector<DriveSource> map = ParseDriveMap(ReadWholeFile(DriveMapPath()), '\n');
    if (const char* env = std::getenv(kDriveMapVariable)) {
        auto fromEnv = ParseDriveMap(env, ';');
        map.insert(map.end(), fromEnv.begin(), fromEnv.end());
    }
    auto drives = ApplyDriveMap(AutoDrives(VolumeDevices(ListBlockDevices()), RootDevice()), map);
    AddPartitions(&drives);

    std::lock_guard<std::mutex> guard(m_lock);
    m_drives = std::move(drives);
    for (const auto& source : m_added) AddSourceLocked(source);
}

std::string DriveMapPath() { return ConfigFolder() + "/" + kDriveMapFile; }

std::optional<DriveSource> DriveTable::Find(char letter) const {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& drive : m_drives) {
        if (drive.letter == letter) return drive;
    }
    return std::nullopt;
}

char DriveTable::FindPartition(const std::string& source, uint32_t number) const {
    const std::string canonical = Canonical(source);
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& drive : m_drives) {
        if (drive.partition == number && number != 0 && Canonical(drive.source) == canonical) return drive.letter;
    }
    return 0;
}

std::vector<DriveSource> DriveTable::PartitionsOf(char diskLetter) const {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<DriveSource> parts;
    for (const auto& drive : m_drives) {
        if (drive.partition != 0 && drive.diskLetter == diskLetter) parts.push_back(drive);
    }
    std::sort(parts.begin(), parts.end(),
              [](const DriveSource& a, const DriveSource& b) { return a.partition < b.partition; });
    return parts;
}

char DriveTable::AddSource(const std::string& source) {
    std::lock_guard<std::mutex> guard(m_lock);
    const char letter = AddSourceLocked(source);
    const std::string canonical = Canonical(source);
    if (letter != 0 && std::find(m_added.begin(), m_added.end(), canonical) == m_added.end())
        m_added.push_back(canonical);
    return letter;
}

char DriveTable::AddSourceLocked(const std::string& source) {
    if (source.empty()) return 0;
    const std::string canonical = Canonical(source);
    for (const auto& drive : m_drives) {
        if (drive.partition == 0 && Canonical(drive.source) == canonical) return drive.letter;
    }
    DriveSource drive;
    drive.letter = NextFreeLetter(m_drives);
    if (drive.letter == 0) return 0;
    drive.source = canonical;
    drive.isBlockDevice = IsBlockDevice(canonical);
    drive.mapped = true;
    m_drives.push_back(drive);
    AddPartitions(&m_drives);
    return drive.letter;
}

void DriveTable::SetForTesting(std::vector<DriveSource> drives) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_drives = std::move(drives);
    m_added.clear();
    SortByLetter(m_drives);
}

std::optional<uint64_t> SourceSize(const std::string& source) {
    // The size of the disk the source presents: an image container's, not its file's.
    const int fd = OpenRawSource(source);
    if (fd < 0) return std::nullopt;
    const std::optional<uint64_t> size = RawSize(fd);
    CloseRawSource(fd);
    return size;
}

}  // namespace platform
