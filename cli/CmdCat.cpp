// qvr cat: the data of one file, read through the parser's file-handle operations.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/VolumeProbe.h"
#include "cli/CliScan.h"
#include "cli/Commands.h"

int CmdCat(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qvr cat VOLUME KEY\n");
        return kExitUsage;
    }
    std::string volume = argv[0];
    char* end = nullptr;
    unsigned long long key = std::strtoull(argv[1], &end, 10);
    if (!*argv[1] || *end || key > 0xFFFFFFFFull) {
        std::fprintf(stderr, "qvr cat: KEY must be a record number\n");
        return kExitUsage;
    }
    char letter = ResolveVolume(volume);
    if (!letter) return kExitFailure;
    int error = 0;
    std::unique_ptr<CFileSystemParser> parser = OpenParser(letter, &error);
    if (!parser) {
        if (error == -1)
            std::fprintf(stderr, "qvr cat: %s: %s\n", volume.c_str(), NotOpenedText(letter).c_str());
        else
            std::fprintf(stderr, "qvr cat: %s: unknown file system: it holds no %s file system\n", volume.c_str(),
                         kScannedFileSystems);
        return kExitFailure;
    }
    // An exFAT key numbers the entries of a scan (the JSON of qvr scan gives them).
    if (parser->GetFileSystemType() == FS_EXFAT) parser->PrepareDirTree(100);
    NodeEntry node(static_cast<uint32_t>(key), nullptr, 0, 0);
    uint32_t h = parser->OpenNodeFile(&node);
    if (h == INVALID_HANDLE) {
        std::fprintf(stderr, "qvr cat: %s: file %llu cannot be opened\n", volume.c_str(), key);
        return kExitFailure;
    }
    uint32_t high = 0;
    uint64_t size = parser->GetFileSize(h, &high);
    size |= static_cast<uint64_t>(high) << 32;
    std::vector<uint8_t> buffer(1 << 20);
    int status = kExitOk;
    while (size > 0) {
        uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(size, buffer.size()));
        uint32_t read = 0;
        if (!parser->ReadFile(h, buffer.data(), chunk, &read) || read == 0) {
            std::fprintf(stderr, "qvr cat: %s: read error in file %llu\n", volume.c_str(), key);
            status = kExitFailure;
            break;
        }
        if (std::fwrite(buffer.data(), 1, read, stdout) != read) {
            status = kExitFailure;
            break;
        }
        size -= read;
    }
    parser->CloseFile(h);
    std::fflush(stdout);
    return status;
}
