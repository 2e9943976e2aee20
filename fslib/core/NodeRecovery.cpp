// The general recovery of a tree node: a file is copied through the parser's file
// handles, a folder is recreated and its children recovered into it.
#include <algorithm>
#include <cstring>

#include "common/logger/Logger.h"
#include "fslib/core/FileSystemParser.h"
#include "fslib/core/NodeRecovery.h"
#include "fslib/core/RecoveredFiles.h"
#include "fslib/core/RecoveryTarget.h"

namespace {

// Unit of the second, finer pass over a chunk that could not be read whole.
constexpr uint32_t kSectorBytes = 512;

void SeekSource(CFileSystemParser* parser, uint32_t source, uint64_t position) {
    LONG high = static_cast<LONG>(position >> 32);
    parser->SetFilePointer(source, static_cast<LONG>(position & 0xFFFFFFFFu), &high, 0);
}

// Copies the source handle's data into the target; returns a recovery result.
int CopyFileData(CFileSystemParser* parser, uint32_t source, platform::FileHandle target, const std::string& path,
                 uint64_t* copied) {
    uint32_t high = 0;
    uint32_t low = parser->GetFileSize(source, &high);
    if (static_cast<int32_t>(high) < 0) high = 0;
    uint64_t size = (uint64_t{high} << 32) | low;
    *copied = size;
    g_Logger.InfoNumber("Recovering file size[bytes]:", static_cast<long>(size));
    g_Logger.Info("Starting recovery loop");

    uint8_t* buffer = recovery::AllocateTransferBuffer();
    uint64_t offset = 0;
    while (offset < size) {
        if (IsUserBreak()) return RECOVER_USER_BREAK;
        uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(size - offset, recovery::kTransferBufferSize));
        uint32_t read = 0;
        BOOL ok = parser->ReadFile(source, buffer, chunk, &read);
        if (!ok || read != chunk) {
            // Unreadable data keeps its place: the chunk is read again sector by sector,
            // zeros stand in for what still fails, and later bytes do not move.
            uint32_t lost = 0;
            for (uint32_t pos = 0; pos < chunk; pos += kSectorBytes) {
                uint32_t n = std::min(kSectorBytes, chunk - pos);
                uint32_t got = 0;
                SeekSource(parser, source, offset + pos);
                if (!parser->ReadFile(source, buffer + pos, n, &got) || got != n) {
                    if (got > n) got = 0;
                    std::memset(buffer + pos + got, 0, n - got);
                    lost += n - got;
                    recovery::NoteZeroFilled(offset + pos + got, n - got);
                }
            }
            SeekSource(parser, source, offset + chunk);
            if (lost)
                g_Logger.ErrorF("unreadable data in %s: %u bytes between offsets %llu and %llu written as zeros",
                                path.c_str(), lost, static_cast<unsigned long long>(offset),
                                static_cast<unsigned long long>(offset) + chunk);
        }
        uint32_t written = 0;
        if (!platform::WriteFile(target, buffer, chunk, &written)) {
            if (GetLastError() == ERROR_DISK_FULL) {
                g_Logger.Error("not enough disk space");
                return RECOVER_DISK_FULL;
            }
            // Going on would report a file with missing data as recovered.
            g_Logger.ErrorF("Error while writing to file %s, error %d", path.c_str(), static_cast<int>(GetLastError()));
            return RECOVER_FAILED;
        }
        offset += chunk;
    }
    return RECOVER_OK;
}

// Writes each named stream of a recovered file beside it as "file:stream" (a destination
// that refuses such a name gets the free-name fallbacks of any other file). A stream
// that cannot be written counts as a failure inside the item; a full disk or the user's
// break ends the item.
int RecoverNamedStreams(CFileSystemParser* parser, NodeEntry* node, const std::string& destination,
                        const std::string& fileTarget) {
    std::vector<NamedStreamInfo> streams;
    parser->ListNamedStreams(node, &streams);
    for (const NamedStreamInfo& stream : streams) {
        if (IsUserBreak()) return RECOVER_USER_BREAK;
        std::string target = recovery::FindFreeName(fileTarget + ":" + recovery::MakeSafeName(stream.name));
        uint32_t source = parser->OpenNamedStream(node, stream.name);
        if (source == INVALID_HANDLE) {
            g_Logger.ErrorF("Named stream %s of %s could not be read", stream.name.c_str(), fileTarget.c_str());
            recovery::NoteFailure();
            continue;
        }
        platform::FileHandle out = platform::INVALID_FILE_HANDLE;
        if (recovery::CreateTargetFile(destination, &target, &out) != recovery::CreateStatus::Created) {
            parser->CloseFile(source);
            g_Logger.ErrorF("Named stream %s of %s could not be written", stream.name.c_str(), fileTarget.c_str());
            recovery::NoteFailure();
            continue;
        }
        // A stream is a file of its own in the record of what was written.
        recovery::BeginWrittenFile();
        uint64_t size = 0;
        int result = CopyFileData(parser, source, out, target, &size);
        if (result == RECOVER_OK) {
            recovery::NoteFileWritten(node, target, size);
            recovery::SetTargetTimes(out, node);
        }
        parser->CloseFile(source);
        platform::CloseFile(out);
        if (result == RECOVER_DISK_FULL || result == RECOVER_USER_BREAK) return result;
        if (result == RECOVER_OK)
            g_Logger.InfoF("Named stream %s of %s was written to %s", stream.name.c_str(), fileTarget.c_str(),
                           target.c_str());
        else
            recovery::NoteFailure();
    }
    return RECOVER_OK;
}

int RecoverFile(CFileSystemParser* parser, NodeEntry* node, const std::string& destination, std::string target,
                uint32_t* files) {
    g_Logger.Info("File detected. Processing..");
    g_Logger.Info("Try open file by tree ref..");
    uint32_t source = parser->OpenNodeFile(node);
    g_Logger.Info("End of open file by tree ref..");
    if (source == INVALID_HANDLE) {
        g_Logger.Info("Can't find file.");
        return RECOVER_NOT_FOUND;
    }
    if (IsUserBreak()) {
        parser->CloseFile(source);
        return RECOVER_USER_BREAK;
    }
    target = recovery::FindFreeName(target);
    platform::FileHandle out = platform::INVALID_FILE_HANDLE;
    switch (recovery::CreateTargetFile(destination, &target, &out)) {
        case recovery::CreateStatus::Created: break;
        case recovery::CreateStatus::PathNotFound: parser->CloseFile(source); return RECOVER_PATH_NOT_FOUND;
        case recovery::CreateStatus::Failed: parser->CloseFile(source); return RECOVER_FAILED;
    }
    recovery::BeginWrittenFile();
    uint64_t size = 0;
    int result = CopyFileData(parser, source, out, target, &size);
    if (result == RECOVER_OK) {
        recovery::NoteFileWritten(node, target, size);
        recovery::SetTargetTimes(out, node);
        ++*files;
        g_Logger.Info("File recovering finished");
    }
    parser->CloseFile(source);
    platform::CloseFile(out);
    if (result == RECOVER_OK && parser->GetRecoverySettings().namedStreams)
        result = RecoverNamedStreams(parser, node, destination, target);
    return result;
}

}  // namespace

int CFileSystemParser::RecoverNode(NodeEntry* node, const char* destination, uint32_t* files, uint32_t* folders,
                                   int nesting, int mode, const char16_t* wideDestination) {
    if (IsUserBreak()) return RECOVER_USER_BREAK;
    if (!node || !destination || !files || !folders) return RECOVER_FAILED;
    if (recovery::NothingToRecover(node)) return RECOVER_OK;
    std::string name = recovery::NodeTargetName(node);
    if (name.empty()) return RECOVER_FAILED;
    g_Logger.InfoF("recovering node %s.", name.c_str());
    g_Logger.InfoF("node cluster is %u", node->key);
    g_Logger.InfoF("node size is %u", static_cast<unsigned>(node->size));
    g_Logger.InfoF("destination directory: %s", destination);

    std::string target = recovery::JoinTarget(destination, recovery::MakeSafeName(name));
    if (!node->IsDirectory()) return RecoverFile(this, node, destination, target, files);
    return recovery::RecoverFolder(this, node, target, files, folders, mode);
}

int recovery::RecoverFolder(CFileSystemParser* parser, NodeEntry* node, std::string target, uint32_t* files,
                            uint32_t* folders, int mode, void (*afterChild)(long index)) {
    g_Logger.Info("Directory detected. Processing..");
    if (!EnsureTargetFolder(target)) {
        g_Logger.Info("Can't create directory.");
        return RECOVER_NO_FOLDER;
    }
    target += '/';
    ++*folders;
    long index = 0;
    for (NodeEntry* child : node->Children()) {
        if (IsUserBreak()) return RECOVER_USER_BREAK;
        int result = parser->RecoverNode(child, target.c_str(), files, folders, 1, mode, nullptr);
        // A full disk fails every later child as well; stop and say so.
        if (result == RECOVER_DISK_FULL) return result;
        if (result != RECOVER_OK && result != RECOVER_USER_BREAK) NoteFailure();
        if (afterChild) afterChild(index);
        ++index;
    }
    SetFolderTimes(target, node);
    g_Logger.Info("Directory processing accomplished");
    return RECOVER_OK;
}
