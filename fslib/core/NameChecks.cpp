// Whether a recovered name is acceptable: the character rules, the length rule, and a
// test file created in the parser's temporary folder to let a file system decide.
#include <strings.h>

#include <string>

#include "common/logger/Logger.h"
#include "fslib/core/FileSystemParser.h"
#include "fslib/core/TempFolder.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace {
// A name component of the file systems the tool was made for, in UTF-16 units.
constexpr size_t kMaxStoredNameUnits = 255;

template <typename Char>
bool IsValidName(const Char* name) {
    if (!name || !name[0]) return false;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) return false;
    for (const Char* p = name; *p; ++p) {
        const auto c = static_cast<uint32_t>(static_cast<std::make_unsigned_t<Char>>(*p));
        if (c < 32) return false;
        switch (c) {
            case '\\':
            case '/':
            case '|':
            case ':':
            case '<':
            case '>':
            case '?':
            case '*':
            case '"': return false;
            default: break;
        }
    }
    return true;
}

bool TryCreateTestFile(const std::string& path) {
    platform::FileHandle h =
        platform::CreateFile(path, platform::kRead | platform::kWrite, platform::CreateMode::CreateNew);
    if (h == platform::INVALID_FILE_HANDLE) {
        g_Logger.Error("ERROR WHILE CREATING TEMP FILE");
        return GetLastError() == ERROR_FILE_EXISTS;
    }
    platform::CloseFile(h);
    bool ok = true;
    h = platform::CreateFile(path, platform::kRead | platform::kWrite, platform::CreateMode::OpenExisting);
    if (h == platform::INVALID_FILE_HANDLE) {
        g_Logger.Error("ERROR WHILE CREATING TEMP FILE");
        ok = false;
    } else {
        platform::CloseFile(h);
    }
    platform::DeleteFile(path);
    return ok;
}
}  // namespace

bool CFileSystemParser::IsValidFileNameA(const char* name) { return IsValidName(name); }
bool CFileSystemParser::IsValidFileNameW(const char16_t* name) { return IsValidName(name); }

bool CFileSystemParser::IsStorableFileNameA(const char* name) {
    if (!IsValidFileNameA(name)) return false;
    if (platform::Utf16Length(name) <= kMaxStoredNameUnits) return true;
    g_Logger.Error("ERROR WHILE CREATING TEMP FILE");
    return false;
}

bool CFileSystemParser::CanCreateFileA(const char* name, const char* folder) {
    if (name && strcasecmp(name, "RECYCLED") == 0) return true;
    if (!IsValidFileNameA(name)) return false;
    return TryCreateTestFile(platform::JoinPath(folder ? folder : ProcessTempFolder(), name));
}

bool CFileSystemParser::CanCreateFileW(const char16_t* name, const char* folder) {
    if (!IsValidFileNameW(name)) return false;
    return TryCreateTestFile(platform::JoinPath(folder ? folder : ProcessTempFolder(), platform::Utf16ToUtf8(name)));
}
