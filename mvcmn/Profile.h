// The product profile: an INI file (sections in brackets; keys before the first section
// belong to the section "") over a table of built-in values.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

class CProfile {
public:
    // $QUENVAR_PROFILE when set, else quenvar.ini in the configuration folder.
    static std::string DefaultPath();
    // Reads path; a missing or unreadable file leaves only the built-in values.
    static CProfile Load(const std::string& path);
    static CProfile Parse(const std::string& text);

    // Section and key compare without regard to letter case; the file wins over the
    // built-in values, which apply under any section.
    std::optional<std::string> Find(const std::string& section, const std::string& key) const;
    // The built-in value of key, if it has one.
    static std::optional<std::string> BuiltIn(const std::string& key);
    // Names of the built-in keys, in a fixed order (for the diagnostics report).
    static std::vector<std::string> BuiltInKeys();

    // Largest profile read; anything past it is ignored.
    static constexpr size_t kMaxFileSize = 1u << 20;

private:
    std::map<std::string, std::string> m_mapValues;  // "section\nkey", both lower case
};
