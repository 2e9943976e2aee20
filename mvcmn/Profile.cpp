#include "mvcmn/Profile.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>

#include "platform/Folders.h"

#ifndef QVR_VERSION
#define QVR_VERSION "0.0.0"
#endif

namespace {

constexpr const char* kFileName = "quenvar.ini";

struct BuiltInValue {
    const char* key;
    const char* value;
};

constexpr BuiltInValue kBuiltIns[] = {
    {"ProgramTitle", "Quenvar"},
    {"Version", QVR_VERSION},
    {"VersionDesc", "(undelete for NTFS and FAT)"},
    {"Copyright", "Copyright (C) 2026 The Quenvar developers"},
    {"HomeURL", "https://quenvar.example.org/"},
    {"SupportURL", "https://quenvar.example.org/support/"},
    {"SupportEMAIL", "support@quenvar.example.org"},
    {"LogLevel", "info"},
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string MapKey(const std::string& section, const std::string& key) { return Lower(section) + '\n' + Lower(key); }

}  // namespace

std::string CProfile::DefaultPath() {
    const char* override = std::getenv("QUENVAR_PROFILE");
    if (override && *override) return override;
    return platform::ConfigFolder() + "/" + kFileName;
}

CProfile CProfile::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string text;
    text.resize(kMaxFileSize);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return Parse(text);
}

CProfile CProfile::Parse(const std::string& text) {
    CProfile profile;
    std::string section;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            // A broken header starts no section; its keys would land in the wrong one.
            section = close == std::string::npos ? std::string("\x01") : Trim(line.substr(1, close - 1));
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = Trim(line.substr(0, equals));
        std::string value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (key.empty()) continue;
        // The first of two equal keys counts, as with the system's profile reader.
        profile.m_mapValues.emplace(MapKey(section, key), value);
    }
    return profile;
}

std::optional<std::string> CProfile::Find(const std::string& section, const std::string& key) const {
    const auto it = m_mapValues.find(MapKey(section, key));
    if (it != m_mapValues.end()) return it->second;
    return BuiltIn(key);
}

std::optional<std::string> CProfile::BuiltIn(const std::string& key) {
    const std::string wanted = Lower(key);
    for (const auto& entry : kBuiltIns)
        if (Lower(entry.key) == wanted) return std::string(entry.value);
    return std::nullopt;
}

std::vector<std::string> CProfile::BuiltInKeys() {
    std::vector<std::string> keys;
    for (const auto& entry : kBuiltIns) keys.emplace_back(entry.key);
    return keys;
}
