#include "mvcmn/Diagnostics.h"

#include <sys/utsname.h>
#include <unistd.h>
#include <zip.h>

#include <ctime>
#include <fstream>
#include <list>

#include "platform/Folders.h"

namespace {

// The file's last maxBytes bytes, without the NUL tail a live or killed logger leaves.
bool ReadTail(const std::string& path, size_t maxBytes, std::string* out) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    const std::streamoff start = size > static_cast<std::streamoff>(maxBytes) ? size - static_cast<std::streamoff>(maxBytes) : 0;
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

}  // namespace

std::string CDiagnostics::Report(const CProfile& profile, int productCode, const char* caller) {
    std::string text = "Diagnostics report\n\n";
    for (const auto& key : CProfile::BuiltInKeys()) Line(&text, key, profile.Find("", key).value_or(""));
    Line(&text, "Product code", std::to_string(productCode));
    Line(&text, "Requested by", caller ? caller : "");

    char buffer[4096];
    const time_t now = time(nullptr);
    struct tm local {};
    if (localtime_r(&now, &local) && strftime(buffer, sizeof(buffer), "%Y-%m-%d %H:%M:%S %z", &local))
        Line(&text, "Date", buffer);
    struct utsname system {};
    if (uname(&system) == 0) {
        Line(&text, "System", std::string(system.sysname) + " " + system.release + " " + system.version);
        Line(&text, "Machine", system.machine);
    }
    if (gethostname(buffer, sizeof(buffer)) == 0) {
        buffer[sizeof(buffer) - 1] = '\0';
        Line(&text, "Host", buffer);
    }
    if (getcwd(buffer, sizeof(buffer))) Line(&text, "Current folder", buffer);
    Line(&text, "Executable folder", platform::ExecutableFolder());
    Line(&text, "Profile", CProfile::DefaultPath());
    Line(&text, "Log folder", platform::StateFolder());
    Line(&text, "Temporary folder", platform::CacheFolder());
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        Line(&text, "Memory (MiB)", std::to_string(static_cast<long long>(pages) * pageSize / (1024 * 1024)));
    Line(&text, "Processors", std::to_string(sysconf(_SC_NPROCESSORS_ONLN)));
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
    auto add = [&](const char* name, std::string data) {
        contents.push_back(std::move(data));
        zip_source_t* source = zip_source_buffer(archive, contents.back().data(), contents.back().size(), 0);
        if (!source) return false;
        if (zip_file_add(archive, name, source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            return false;
        }
        return true;
    };

    const std::string profilePath = CProfile::DefaultPath();
    const CProfile profile = CProfile::Load(profilePath);
    bool ok = add("diagnostics.txt", Report(profile, productCode, caller));
    std::string data;
    if (ok && ReadTail(profilePath, CProfile::kMaxFileSize, &data)) ok = add("quenvar.ini", std::move(data));
    if (ok && withLog && ReadTail(platform::StateFolder() + "/" + kLogName, kMaxLogBytes, &data))
        ok = add(kLogName, std::move(data));
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
