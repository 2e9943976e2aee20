// Shared pieces of the disk tests: a patterned volume image, a scratch folder and a
// capture of the operations log.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/logger/Logger.h"
#include "fslib/disk/DiskDrive.h"

// Sector i starts with its number (4 bytes) and is filled with the byte i + 1.
inline std::vector<uint8_t> PatternVolume(uint32_t sectors, size_t tailBytes = 0) {
    std::vector<uint8_t> bytes(static_cast<size_t>(sectors) * kSectorSize + tailBytes, 0xAB);
    for (uint32_t i = 0; i < sectors; ++i) {
        uint8_t* s = bytes.data() + static_cast<size_t>(i) * kSectorSize;
        std::fill(s, s + kSectorSize, static_cast<uint8_t>(i + 1));
        s[0] = static_cast<uint8_t>(i), s[1] = static_cast<uint8_t>(i >> 8);
        s[2] = static_cast<uint8_t>(i >> 16), s[3] = static_cast<uint8_t>(i >> 24);
    }
    return bytes;
}

// True when slot `slot` of the buffer holds sector `sector` of a PatternVolume.
inline bool HoldsSector(const std::vector<uint8_t>& buffer, size_t slot, uint32_t sector) {
    const uint8_t* s = buffer.data() + slot * kSectorSize;
    if ((s[0] | s[1] << 8 | s[2] << 16 | static_cast<uint32_t>(s[3]) << 24) != sector) return false;
    for (size_t i = 4; i < kSectorSize; ++i)
        if (s[i] != static_cast<uint8_t>(sector + 1)) return false;
    return true;
}

inline bool IsZeroSlot(const std::vector<uint8_t>& buffer, size_t slot) {
    const uint8_t* s = buffer.data() + slot * kSectorSize;
    for (size_t i = 0; i < kSectorSize; ++i)
        if (s[i] != 0) return false;
    return true;
}

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvr-disk-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Path() const { return m_path; }

    std::string WriteImage(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string path = *this / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

private:
    std::string m_path;
};

// Sends g_Logger to a file for the life of the object; Text() closes it and reads it.
class LogCapture {
public:
    LogCapture() : m_path(m_dir / "capture.log") {
        g_Logger.SetMinLevel(LOG_ALL);
        g_Logger.Open(m_path.c_str());
    }
    ~LogCapture() { g_Logger.Close(); }
    std::string Text() {
        g_Logger.Close();
        std::ifstream in(m_path);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    ScratchDir m_dir;
    std::string m_path;
};

// True when the log holds a line whose text is exactly `text` (a line is
// "<level> <stamp> | <text> \n").
inline bool HasLogLine(const std::string& log, const std::string& text) {
    return log.find("| " + text + " \n") != std::string::npos;
}
