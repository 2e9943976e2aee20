// Helpers of the logger and runtime tests: a scratch folder, file reading, and the lines
// a logger wrote after its machine-information block.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace logtest {

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvr-a2-XXXXXX").string();
        if (::mkdtemp(pattern.data())) m_path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

// Lines with their line feeds cut off; a last line without one is kept as it is.
inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

// The lines after the closing rule of the last machine-information block.
inline std::vector<std::string> LinesAfterBanner(const std::string& text) {
    const std::vector<std::string> lines = SplitLines(text);
    size_t start = 0;
    int rulesSeen = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find("LOGGER MACHINE INFO") != std::string::npos) rulesSeen = 0;
        if (lines[i].size() > 52 && lines[i].compare(lines[i].size() - 53, 52, std::string(52, '=')) == 0 &&
            ++rulesSeen == 2)
            start = i + 1;
    }
    return std::vector<std::string>(lines.begin() + static_cast<long>(start), lines.end());
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = ::getenv(name)) {
            m_old = old;
            m_hadOld = true;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_hadOld)
            ::setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_hadOld = false;
};

}  // namespace logtest
