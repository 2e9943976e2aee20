// The operations log in use, exported from the program so the runtime library's
// diagnostics archive holds the log the user is looking at (a log chosen for one scan
// included) rather than only the default one.
#include <type_traits>

#include "common/logger/Logger.h"
#include "mvcmn/MvcmnApi.h"

extern "C" __attribute__((visibility("default"))) const char* QvrOperationsLogPath() {
    return g_Logger.GetLogFileName();
}

static_assert(std::is_same_v<decltype(&QvrOperationsLogPath), MvOperationsLogPathProc>);
