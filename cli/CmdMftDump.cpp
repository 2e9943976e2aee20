// qvr mftdump: the boot sector and the first 1,024,000 bytes of an NTFS volume's MFT
// written to BootDump.hex and MFTDump.hex, the same dump as the desktop program's.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/MftDump.h"
#include "cli/CliScan.h"
#include "cli/Commands.h"
#include "platform/DriveTable.h"
#include "platform/Folders.h"

namespace {

// The report on stdout, a line at a time; the dialog's blank separator lines are left out.
class ConsoleSink final : public mftdump::IMftDumpSink {
public:
    void Append(const std::string& message) override {
        const size_t start = message.find_first_not_of('\n');
        if (start != std::string::npos) std::printf("%s\n", message.c_str() + start);
        std::fflush(stdout);
    }
};

}  // namespace

int CmdMftDump(int argc, char** argv) {
    std::string volume;
    std::string folder = platform::HomeFolder();
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--to") == 0 && i + 1 < argc) {
            folder = argv[++i];
        } else if (argv[i][0] == '-' || !volume.empty()) {
            std::fprintf(stderr, "usage: qvr mftdump VOLUME [--to DIR]\n");
            return kExitUsage;
        } else {
            volume = argv[i];
        }
    }
    if (volume.empty() || folder.empty()) {
        std::fprintf(stderr, "usage: qvr mftdump VOLUME [--to DIR]\n");
        return kExitUsage;
    }
    const char letter = ResolveVolume(volume);
    if (!letter) return kExitFailure;
    const auto drive = platform::DriveTable::Instance().Find(letter);
    if (!drive) return kExitFailure;
    ConsoleSink sink;
    const mftdump::MftDumpResult result = mftdump::DumpMft(mftdump::NtfsVolume::Of(*drive), folder, sink);
    return result.bOk ? kExitOk : kExitFailure;
}
