// The diagnostics report: a ZIP archive holding a text about the machine and the
// product, the default operations log and the profile file, for a support request.
#pragma once

#include <string>

#include "mvcmn/Profile.h"

class CDiagnostics {
public:
    // The text of diagnostics.txt: product values, folders, system and machine.
    static std::string Report(const CProfile& profile, int productCode, const char* caller);
    // Writes the archive (replacing an older one); false with a message when it cannot.
    static bool WriteArchive(const std::string& path, bool withLog, int productCode, const char* caller,
                             std::string* error);
    // File name of the program's default log in the log folder.
    static constexpr const char* kLogName = "log_qvr.log";
    // Largest tail of the log that goes into the archive.
    static constexpr size_t kMaxLogBytes = 32u << 20;
};
