// The diagnostics report: a ZIP archive of what support asks for first (versions, the
// system, the profile, the drive table, the operations log in use) and a list of its
// members. It holds no file contents of any scanned volume and is only saved where the
// user chose; nothing is sent anywhere.
#pragma once

#include <string>
#include <vector>

#include "mvcmn/Profile.h"

class CDiagnostics {
public:
    // The text of diagnostics.txt: program and library versions, system and
    // distribution, profile values, folders, the drive table and the log in use.
    static std::string Report(const CProfile& profile, int productCode, const char* caller, const std::string& logPath);
    // One line per volume of the drive table: letter, source, size, file system and
    // label as the system's probe reads them from the volume's superblock.
    static std::string DriveTableText();
    // The operations log the program names through its export, else the default log
    // of the log folder.
    static std::string OperationsLogPath();
    // Writes the archive (replacing an older one); false with a message when it cannot.
    static bool WriteArchive(const std::string& path, bool withLog, int productCode, const char* caller,
                             std::string* error);
    // File name of the program's default log in the log folder.
    static constexpr const char* kLogName = "log_qvr.log";
    // Largest tail of the log that goes into the archive.
    static constexpr size_t kMaxLogBytes = 32u << 20;
};
