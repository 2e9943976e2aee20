#include <gtest/gtest.h>

#include "common/logger/Logger.h"

namespace {

// An object of another file that logs while the program starts and ends.
struct LogsFromStaticLifetime {
    LogsFromStaticLifetime() : nLevelSeen(g_Logger.GetMinLevel()) { g_Logger.Info("static constructor"); }
    ~LogsFromStaticLifetime() { g_Logger.Info("static destructor"); }
    int nLevelSeen;
};
LogsFromStaticLifetime g_early;

TEST(LoggerStaticLifetime, GlobalLoggerIsBuiltBeforeOtherStaticObjects) {
    // Had g_Logger not been built yet, the level seen would be the zero of unbuilt
    // memory rather than the profile's level, which a fresh logger reads again here.
    CLogger fresh(12, LOG_ALL);
    if (fresh.GetMinLevel() == 0) GTEST_SKIP() << "the profile's level is 0 here: nothing to tell apart";
    EXPECT_EQ(g_early.nLevelSeen, fresh.GetMinLevel());
}

}  // namespace
