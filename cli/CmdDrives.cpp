// qvr drives: the drive table with each volume's recognised file system.
#include <cstdio>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/CliScan.h"
#include "cli/Commands.h"
#include "platform/DriveTable.h"

int CmdDrives(int argc, char** argv) {
    bool json = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else {
            std::fprintf(stderr, "qvr drives: unknown argument %s\n", argv[i]);
            return kExitUsage;
        }
    }
    nlohmann::json list = nlohmann::json::array();
    if (!json) std::printf("%-6s %-10s %14s  %-6s  %s\n", "DRIVE", "FS", "SIZE", "SCAN", "SOURCE");
    for (const platform::DriveSource& d : platform::DriveTable::Instance().Drives()) {
        auto size = platform::SourceSize(d.source);
        uint8_t type = FS_UNKNOWN;
        if (CDiskDrive* drive = OpenDrive(d.letter)) {
            uint8_t boot[512];
            type = DetectDriveFileSystem(drive, boot);
            delete drive;
        }
        const char* fs = FileSystemName(type);
        bool supported = type != FS_UNKNOWN;
        if (json) {
            list.push_back({{"letter", std::string(1, d.letter) + ":"},
                            {"source", d.source},
                            {"blockDevice", d.isBlockDevice},
                            {"size", size ? nlohmann::json(*size) : nlohmann::json(nullptr)},
                            {"filesystem", fs ? nlohmann::json(fs) : nlohmann::json(nullptr)},
                            {"supported", supported}});
        } else {
            std::string sizeText = size ? std::to_string(*size) : "?";
            std::printf("%c:     %-10s %14s  %-6s  %s\n", d.letter, fs ? fs : "-", sizeText.c_str(),
                        supported ? "yes" : "no", d.source.c_str());
        }
    }
    if (json) std::printf("%s\n", list.dump(2).c_str());
    return kExitOk;
}
