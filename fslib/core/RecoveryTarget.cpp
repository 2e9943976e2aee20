#include "fslib/core/RecoveryTarget.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/logger/Logger.h"

namespace recovery {

namespace {
// Tries of "recovered_" names before giving up; each is a fresh random number.
constexpr int kTempNameTries = 64;
// Bound on the "(n)" search; a folder never holds that many copies of one name.
constexpr unsigned kMaxFreeNameNumber = 100000;
thread_local uint32_t t_failures = 0;
}  // namespace

void ResetFailures() { t_failures = 0; }
void NoteFailure() { ++t_failures; }
uint32_t Failures() { return t_failures; }

const char* const kUpFolderRowName = "..                            ";

uint8_t* AllocateTransferBuffer() {
    static std::unique_ptr<uint8_t[]> buffer(new uint8_t[kTransferBufferSize]);
    return buffer.get();
}

bool IsUpFolderRow(const NodeEntry* node) {
    return node && node->name && std::strcmp(node->name, kUpFolderRowName) == 0;
}

bool NothingToRecover(NodeEntry* node) {
    if (node->isDeleted) return false;
    if (node->size != 0) return true;
    uint32_t deletedBelow = 0;
    node->CountDeletedDescendants(&deletedBelow);
    return deletedBelow == 0;
}

std::string NodeTargetName(const NodeEntry* node) {
    if (!node) return {};
    if (IsUpFolderRow(node)) return node->pathBeforeDeletion ? node->pathBeforeDeletion : "";
    return node->name ? node->name : "";
}

std::string MakeSafeName(const std::string& name) {
    std::string safe;
    if (name == ".") {
        safe = "_";
    } else if (name == "..") {
        safe = "__";
    } else {
        safe = name;
        for (char& c : safe)
            if (c == '/' || c == '\0') c = '_';
    }
    if (safe != name) g_Logger.InfoF("Unsafe name %s was changed to %s", name.c_str(), safe.c_str());
    return safe;
}

std::string JoinTarget(const std::string& destination, const std::string& name) {
    if (destination.empty() || destination.back() == '/') return destination + name;
    return destination + "/" + name;
}

bool PathTaken(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string FindFreeName(const std::string& target) {
    if (!PathTaken(target)) return target;
    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string file = target.substr(folder.size());
    // A leading dot starts a hidden name, not an extension.
    size_t dot = file.rfind('.');
    std::string stem = (dot == std::string::npos || dot == 0) ? file : file.substr(0, dot);
    std::string ext = file.substr(stem.size());
    std::string candidate = target;
    for (unsigned n = 1; n <= kMaxFreeNameNumber; ++n) {
        candidate = folder + stem + "(" + std::to_string(n) + ")" + ext;
        if (!PathTaken(candidate)) break;
    }
    return candidate;
}

CreateStatus CreateTargetFile(const std::string& destination, std::string* target, platform::FileHandle* out) {
    using platform::CreateMode;
    platform::FileHandle h = platform::CreateFile(*target, platform::kWrite, CreateMode::CreateNew);
    DWORD error = h == platform::INVALID_FILE_HANDLE ? GetLastError() : ERROR_SUCCESS;
    if (h == platform::INVALID_FILE_HANDLE && error == ERROR_FILE_EXISTS) {
        g_Logger.Info("File with the same name already exist. Rewriting..");
        h = platform::CreateFile(*target, platform::kWrite, CreateMode::CreateAlways);
        error = h == platform::INVALID_FILE_HANDLE ? GetLastError() : ERROR_SUCCESS;
    }
    if (h != platform::INVALID_FILE_HANDLE) {
        *out = h;
        return CreateStatus::Created;
    }
    if (error == ERROR_PATH_NOT_FOUND) {
        g_Logger.Info("CreateFile path not found. File skipped.");
        return CreateStatus::PathNotFound;
    }
    g_Logger.ErrorF("can`t create file %s, error %d", target->c_str(), static_cast<int>(error));
    g_Logger.Error("trying to generate temp name");
    // New names only: an earlier "recovered_" file of the same number is never replaced.
    std::string tempName;
    for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
        unsigned unique = static_cast<unsigned>(std::rand() % 0xFFFF) + 1;
        if (platform::GetTempFileName(destination, "recovered_", unique, &tempName) == 0) break;
        h = platform::CreateFile(tempName, platform::kWrite, CreateMode::CreateNew);
        if (h != platform::INVALID_FILE_HANDLE || GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (h == platform::INVALID_FILE_HANDLE) {
        g_Logger.ErrorF("can`t create file %s, error %d", tempName.empty() ? target->c_str() : tempName.c_str(),
                        static_cast<int>(GetLastError()));
        return CreateStatus::Failed;
    }
    g_Logger.InfoF("The file %s could not be created and was renamed to %s", target->c_str(), tempName.c_str());
    *target = tempName;
    *out = h;
    return CreateStatus::Created;
}

void SetTargetTimes(platform::FileHandle h, const NodeEntry* node) {
    const FILETIME* created = node->createdTime ? &node->createdTime : nullptr;
    const FILETIME* written = node->modifiedTime ? &node->modifiedTime : nullptr;
    if (!created && !written) return;
    if (!platform::SetFileTime(h, created, nullptr, written))
        g_Logger.ErrorF("can`t set the times of the recovered file, error %d", static_cast<int>(GetLastError()));
}

void SetFolderTimes(const std::string& folder, const NodeEntry* node) {
    if (!node->createdTime && !node->modifiedTime) return;
    platform::FileHandle h = platform::OpenDirectory(folder);
    if (h == platform::INVALID_FILE_HANDLE) {
        g_Logger.ErrorF("can`t set the times of the recovered folder, error %d", static_cast<int>(GetLastError()));
        return;
    }
    SetTargetTimes(h, node);
    platform::CloseFile(h);
}

bool EnsureTargetFolder(const std::string& target) {
    if (platform::DirectoryExists(target)) return true;
    if (platform::CreateDirectory(target)) return true;
    // Another writer may have made it in between.
    return platform::DirectoryExists(target);
}

}  // namespace recovery
