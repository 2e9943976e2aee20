// qvr: the command-line front end over the scan and undelete cores.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/PartitionedDisk.h"
#include "cli/CliScan.h"
#include "cli/Commands.h"
#include "common/logger/Logger.h"
#include "common/runtime/RuntimeLibrary.h"
#include "platform/Files.h"

namespace {

void Usage(FILE* out) {
    std::fputs(
        "usage: qvr [--log FILE] COMMAND ...\n"
        "\n"
        "  drives [--json]                       the drive table: letters, sources, file systems\n"
        "  scan VOLUME [--json] [--deleted-only] [--orphans] [--check-content]\n"
        "                                        scan a volume and print its tree of live and deleted entries;\n"
        "                                        --check-content compares each deleted file's first bytes with\n"
        "                                        its type: matches, does not match, unknown type\n"
        "  cat VOLUME KEY                        write the data of file KEY (NTFS: MFT record; exFAT: key of qvr scan "
        "--json) to stdout\n"
        "  ls VOLUME [FOLDER] [--files PATTERN] [--folders PATTERN] [--sort COLUMN[:desc]] [--json]\n"
        "                                        list a folder as the browser shows it\n"
        "  recover VOLUME ITEM... --to DIR [--overwrite ask|all|skip] [--orphans] [--report FILE]\n"
        "                                        [--streams]\n"
        "                                        write deleted files and folders into DIR; --report writes\n"
        "                                        a JSON list of the files written (SHA-256, zero-filled ranges);\n"
        "                                        --streams writes NTFS named streams beside their files\n"
        "  mftdump VOLUME [--to DIR]             write an NTFS volume's boot sector and the first 1,024,000\n"
        "                                        bytes of its MFT to BootDump.hex and MFTDump.hex in DIR\n"
        "                                        (default: the home folder)\n"
        "  carve VOLUME [--types jpg,png,...] [--all-clusters] [--json] [--to DIR]\n"
        "                                        search the volume's free clusters (every sector when its file\n"
        "                                        system is unknown) for photos and videos by their content;\n"
        "                                        --to writes them into DIR, a folder per type\n"
        "\n"
        "VOLUME is a drive letter (E:), a block device or a disk image; IMAGE@N names partition N of a\n"
        "partitioned image or disk (N from 1, in table order). Volumes are only read.\n"
        "--log FILE chooses the operations log (default: log_qvr.log in the log folder).\n",
        out);
}

// The default log: the runtime library's log folder with "log_qvr.log", any older file
// of that name removed first, as the desktop program starts.
void OpenDefaultLog() {
    std::string folder = runtime::QueryLogFilesFolder();
    std::string path = platform::JoinPath(folder, "log_qvr.log");
    platform::DeleteFile(path);
    g_Logger.Open(path.c_str());
    g_Logger.Activate();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args(argv + 1, argv + argc);
    std::string logPath;
    bool logGiven = false;
    // --log FILE may stand before or after the command's name.
    for (size_t i = 0; i < args.size();) {
        if (std::strcmp(args[i], "--log") == 0) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "qvr: --log needs a file name\n");
                return kExitUsage;
            }
            logPath = args[i + 1];
            logGiven = true;
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
            continue;
        }
        ++i;
    }
    if (!args.empty() && (std::strcmp(args[0], "--help") == 0 || std::strcmp(args[0], "-h") == 0)) {
        Usage(stdout);
        return kExitOk;
    }
    if (!args.empty() && args[0][0] == '-') {
        std::fprintf(stderr, "qvr: unknown option %s\n", args[0]);
        Usage(stderr);
        return kExitUsage;
    }
    if (args.empty()) {
        Usage(stderr);
        return kExitUsage;
    }
    if (logGiven) {
        g_Logger.Open(logPath.c_str());
        g_Logger.Activate();
        if (!logPath.empty() && !*g_Logger.GetLogFileName())
            std::fprintf(stderr, "qvr: warning: cannot open log file %s\n", logPath.c_str());
    } else {
        OpenDefaultLog();
    }

    InstallPartitionLister();
    std::string command = args[0];
    int subArgc = static_cast<int>(args.size()) - 1;
    char** subArgv = args.data() + 1;
    if (command == "drives") return CmdDrives(subArgc, subArgv);
    if (command == "scan") return CmdScan(subArgc, subArgv);
    if (command == "cat") return CmdCat(subArgc, subArgv);
    if (command == "ls") return CmdLs(subArgc, subArgv);
    if (command == "recover") return CmdRecover(subArgc, subArgv);
    if (command == "mftdump") return CmdMftDump(subArgc, subArgv);
    if (command == "carve") return CmdCarve(subArgc, subArgv);
    std::fprintf(stderr, "qvr: unknown command %s\n", command.c_str());
    Usage(stderr);
    return kExitUsage;
}
