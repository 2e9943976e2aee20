#include <cstdio>

#include "cli/CliScan.h"
#include "cli/Commands.h"

// Placeholder until the browser and undelete cores land.
int CmdRecover(int, char**) {
    std::fprintf(stderr, "qvr: this command is not available yet\n");
    return kExitFailure;
}
