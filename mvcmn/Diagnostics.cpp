#include "mvcmn/Diagnostics.h"

#include <blkid/blkid.h>
#include <dlfcn.h>
#include <link.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <zip.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <list>
#include <set>

#include "mvcmn/MvcmnApi.h"
#include "platform/DriveTable.h"
#include "platform/Folders.h"

#ifndef QVR_VERSION
#define QVR_VERSION "0.0.0"
#endif

namespace {

// The file's last maxBytes bytes, without the NUL tail a live or killed logger leaves.
bool ReadTail(const std::string& path, size_t maxBytes, std::string* out) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    const std::streamoff start =
        size > static_cast<std::streamoff>(maxBytes) ? size - static_cast<std::streamoff>(maxBytes) : 0;
    in.seekg(start);
    out->resize(static_cast<size_t>(size - start));
    in.read(out->data(), static_cast<std::streamsize>(out->size()));
    out->resize(static_cast<size_t>(in.gcount()));
    const size_t end = out->find_last_not_of('\0');
    out->resize(end == std::string::npos ? 0 : end + 1);
    return true;
}

void Line(std::string* text, const std::string& name, const std::string& value) {
    *text += name;
    *text += ": ";
    *text += value;
    *text += '\n';
}

// PRETTY_NAME of os-release, else its NAME and VERSION.
std::string Distribution() {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream in(path);
        if (!in) continue;
        std::string pretty, name, version;
        for (std::string line; std::getline(in, line);) {
            const size_t equals = line.find('=');
            if (equals == std::string::npos) continue;
            std::string value = line.substr(equals + 1);
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\''))
                value = value.substr(1, value.size() - 2);
            const std::string key = line.substr(0, equals);
            if (key == "PRETTY_NAME") pretty = value;
            if (key == "NAME") name = value;
            if (key == "VERSION") version = value;
        }
        if (!pretty.empty()) return pretty;
        if (!name.empty()) return version.empty() ? name : name + " " + version;
    }
    return "unknown";
}

// File names of the shared libraries mapped into the process, resolved through their
// links so that the names carry the versions ("libQt6Core.so.6.4.2").
std::string LoadedLibraries() {
    std::set<std::string> names;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            if (!info->dlpi_name || !*info->dlpi_name) return 0;
            char resolved[PATH_MAX];
            const char* path = realpath(info->dlpi_name, resolved) ? resolved : info->dlpi_name;
            const char* slash = strrchr(path, '/');
            static_cast<std::set<std::string>*>(data)->insert(slash ? slash + 1 : path);
            return 0;
        },
        &names);
    std::string text;
    for (const std::string& name : names) text += "  " + name + "\n";
    return text;
}

// Type and label of the file system on a volume, read by libblkid from its superblock.
std::string ProbeVolume(const std::string& source) {
    blkid_probe probe = blkid_new_probe_from_filename(source.c_str());
    if (!probe) return "cannot be opened";
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL);
    std::string text = "no file system recognised";
    if (blkid_do_safeprobe(probe) == 0) {
        const char* value = nullptr;
        if (blkid_probe_lookup_value(probe, "TYPE", &value, nullptr) == 0 && value) text = value;
        if (blkid_probe_lookup_value(probe, "LABEL", &value, nullptr) == 0 && value)
            text += std::string(" \"") + value + "\"";
    }
    blkid_free_probe(probe);
    return text;
}

}  // namespace

std::string CDiagnostics::DriveTableText() {
    std::string text;
    platform::DriveTable& table = platform::DriveTable::Instance();
    table.Reload();
    for (const platform::DriveSource& drive : table.Drives()) {
        const auto size = platform::SourceSize(drive.source);
        text += std::string("  ") + drive.letter + ":  " + drive.source + "  (" +
                (drive.isBlockDevice ? "device" : "image") + (drive.mapped ? ", mapped" : "") + ")  " +
                (size ? std::to_string(*size) + " bytes" : std::string("size unknown")) + "  " +
                ProbeVolume(drive.source) + "\n";
    }
    return text.empty() ? "  (none)\n" : text;
}

std::string CDiagnostics::OperationsLogPath() {
    auto exported = reinterpret_cast<MvOperationsLogPathProc>(dlsym(RTLD_DEFAULT, kOperationsLogPathExport));
    if (exported) {
        // A log that was closed and removed since is no longer the one in use.
        const char* path = exported();
        if (path && *path && access(path, R_OK) == 0) return path;
    }
    return platform::StateFolder() + "/" + kLogName;
}

std::string CDiagnostics::Report(const CProfile& profile, int productCode, const char* caller,
                                 const std::string& logPath) {
    std::string text = "Diagnostics report\n\n";
    Line(&text, "Program",
         profile.Find("", "ProgramTitle").value_or("") + " " + profile.Find("", "Version").value_or(""));
    Line(&text, "Runtime library", QVR_VERSION);
    Line(&text, "libzip", zip_libzip_version());
    Line(&text, "Product code", std::to_string(productCode));
    Line(&text, "Requested by", caller ? caller : "");

    char buffer[256];
    const time_t now = time(nullptr);
    struct tm local {};
    if (localtime_r(&now, &local) && strftime(buffer, sizeof(buffer), "%Y-%m-%d %H:%M:%S %z", &local))
        Line(&text, "Date", buffer);
    struct utsname system {};
    if (uname(&system) == 0) {
        Line(&text, "Kernel", std::string(system.sysname) + " " + system.release + " " + system.version);
        Line(&text, "Machine", system.machine);
    }
    Line(&text, "Distribution", Distribution());
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        Line(&text, "Memory (MiB)", std::to_string(static_cast<long long>(pages) * pageSize / (1024LL * 1024)));
    Line(&text, "Processors", std::to_string(sysconf(_SC_NPROCESSORS_ONLN)));
    Line(&text, "Running as root", geteuid() == 0 ? "yes" : "no");

    text += "\nProfile values\n";
    for (const auto& key : CProfile::BuiltInKeys()) Line(&text, "  " + key, profile.Find("", key).value_or(""));
    text += "\nFolders\n";
    Line(&text, "  Program", platform::ExecutableFolder());
    Line(&text, "  Profile", CProfile::DefaultPath());
    Line(&text, "  Drive map", platform::DriveMapPath());
    Line(&text, "  Log folder", platform::StateFolder());
    Line(&text, "  Temporary folder", platform::CacheFolder());
    Line(&text, "  Operations log in use", logPath);
    text += "\nDrive table\n" + DriveTableText();
    text += "\nLoaded libraries\n" + LoadedLibraries();
    return text;
}

bool CDiagnostics::WriteArchive(const std::string& path, bool withLog, int productCode, const char* caller,
                                std::string* error) {
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive) {
        zip_error_t zipError;
        zip_error_init_with_code(&zipError, code);
        if (error) *error = zip_error_strerror(&zipError);
        zip_error_fini(&zipError);
        return false;
    }
    // libzip reads the sources at zip_close, so their bytes live until then.
    std::list<std::string> contents;
    std::string listing = "Members of this archive\n\n";
    auto add = [&](const std::string& name, std::string data, const char* what) {
        listing += name + "  (" + std::to_string(data.size()) + " bytes)  " + what + "\n";
        contents.push_back(std::move(data));
        zip_source_t* source = zip_source_buffer(archive, contents.back().data(), contents.back().size(), 0);
        if (!source) return false;
        if (zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            return false;
        }
        return true;
    };

    const std::string profilePath = CProfile::DefaultPath();
    const CProfile profile = CProfile::Load(profilePath);
    const std::string logPath = OperationsLogPath();
    bool ok = add("diagnostics.txt", Report(profile, productCode, caller, logPath),
                  "versions, system, profile values, folders, drive table");
    std::string profileText, driveMap, logText;
    if (ok && ReadTail(profilePath, CProfile::kMaxFileSize, &profileText))
        ok = add("quenvar.ini", std::move(profileText), "the profile file");
    if (ok && ReadTail(platform::DriveMapPath(), CProfile::kMaxFileSize, &driveMap))
        ok = add("drives", std::move(driveMap), "the drive map file");
    if (ok && withLog && ReadTail(logPath, kMaxLogBytes, &logText)) {
        const size_t slash = logPath.rfind('/');
        std::string name = slash == std::string::npos ? logPath : logPath.substr(slash + 1);
        // The member names above are fixed; a log named like one of them keeps its own name apart.
        if (name.empty() || name == "diagnostics.txt" || name == "quenvar.ini" || name == "drives" ||
            name == "contents.txt")
            name = "log-" + name;
        ok = add(name, std::move(logText), "the operations log in use (its last 32 MiB at most)");
    }
    if (ok) {
        listing += "contents.txt  this list\n";
        ok = add("contents.txt", listing, "");
    }
    if (!ok) {
        if (error) *error = zip_strerror(archive);
        zip_discard(archive);
        return false;
    }
    if (zip_close(archive) != 0) {
        if (error) *error = zip_strerror(archive);
        zip_discard(archive);
        return false;
    }
    return true;
}
