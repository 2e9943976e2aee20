// qvr drives: the drive table with each volume's recognised file system.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "app/VolumeProbe.h"
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
        auto size =
            d.partition != 0 ? std::optional<uint64_t>(d.sectorCount * kSectorSize) : platform::SourceSize(d.source);
        const VolumeProbe probe = ProbeVolume(d.letter);
        const char* fs = FileSystemName(probe.fileSystem);
        const bool supported = probe.Scannable();
        if (json) {
            nlohmann::json row = {{"letter", std::string(1, d.letter) + ":"},
                                  {"source", d.source},
                                  {"blockDevice", d.isBlockDevice},
                                  {"size", size ? nlohmann::json(*size) : nlohmann::json(nullptr)},
                                  {"filesystem", fs ? nlohmann::json(fs) : nlohmann::json(nullptr)},
                                  {"supported", supported}};
            if (!probe.opened) row["openFailure"] = probe.OpenCause();
            if (d.partition != 0)
                row["partition"] = {{"number", d.partition},
                                    {"disk", std::string(1, d.diskLetter) + ":"},
                                    {"startSector", d.firstSector},
                                    {"sectors", d.sectorCount},
                                    {"type", d.partitionType}};
            list.push_back(std::move(row));
        } else {
            std::string sizeText = size ? std::to_string(*size) : "?";
            std::string where = d.source;
            // A partition: its name on the command line, then where it lies and its type.
            if (d.partition != 0)
                where = d.DisplayName() + "  (partition " + std::to_string(d.partition) + " of " + d.diskLetter +
                        ":, start sector " + std::to_string(d.firstSector) + ", type " + d.partitionType + ")";
            // A source that does not open says why, rather than only showing no size.
            if (!probe.opened) where += "  (cannot be opened: " + probe.OpenCause() + ")";
            std::printf("%c:     %-10s %14s  %-6s  %s\n", d.letter, fs ? fs : "-", sizeText.c_str(),
                        supported ? "yes" : "no", where.c_str());
        }
    }
    if (json) std::printf("%s\n", list.dump(2).c_str());
    return kExitOk;
}
