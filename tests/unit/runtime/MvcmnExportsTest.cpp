#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/logger/Logger.h"
#include "common/runtime/RuntimeLibrary.h"
#include "common/runtime/RuntimeQueries.h"
#include "mvcmn/MvcmnApi.h"
#include "platform/DynamicLibrary.h"
#include "platform/Folders.h"
#include "tests/fixtures/FatImageBuilder.h"
#include "tests/unit/logger/LogTestUtil.h"

namespace {

using logtest::ReadAll;
using logtest::ScopedEnv;
using logtest::WriteAll;

class MvcmnExports : public ::testing::Test {
protected:
    MvcmnExports()
        : m_profile("QUENVAR_PROFILE", m_dir.File("profile.ini")),
          m_state("XDG_STATE_HOME", m_dir.File("state")),
          m_cache("XDG_CACHE_HOME", m_dir.File("cache")),
          m_config("XDG_CONFIG_HOME", m_dir.File("config")),
          m_drives("QUENVAR_DRIVES", ""),
          m_library(runtime::RuntimeLibraryPath()) {}

    // The export as the library has it, called directly.
    std::string Read(const char* section, const char* key, const char* dflt, int size = 256) {
        auto read = m_library.GetProc<MvReadProfileStringProc>("ReadProfileString");
        EXPECT_NE(read, nullptr);
        if (!read) return "<missing>";
        std::vector<char> buffer(static_cast<size_t>(size) + 1, '#');
        const int n = read(section, key, dflt, buffer.data(), size, 0);
        EXPECT_EQ(static_cast<size_t>(n), strlen(buffer.data()));
        return buffer.data();
    }

    logtest::ScratchFolder m_dir;
    ScopedEnv m_profile;
    ScopedEnv m_state;
    ScopedEnv m_cache;
    ScopedEnv m_config;
    ScopedEnv m_drives;
    platform::DynamicLibrary m_library;
};

TEST_F(MvcmnExports, OnlyTheSevenEntryPointsAreExported) {
    ASSERT_TRUE(m_library.IsLoaded()) << m_library.LoadError();
    for (const char* name : {"Initialize", "GetLogFilesFolder", "GetTempFilesFolder", "ReadProfileString",
                             "InsertToolboxMenu", "OnToolboxProducts", "MVdiag"})
        EXPECT_NE(m_library.GetProc(name), nullptr) << name;
    // Code linked into the library stays private to it.
    EXPECT_EQ(m_library.GetProc("_ZN8platform11StateFolderB5cxx11Ev"), nullptr);
}

TEST_F(MvcmnExports, ProfileSectionsKeysAndDefaults) {
    WriteAll(m_dir.File("profile.ini"),
             "; comment\n"
             "Top = value of the empty section \r\n"
             "Quoted=\"  spaced  \"\n"
             "top=second wins not\n"
             "# another comment\n"
             "[Settings]\n"
             "Top=settings value\n"
             "Empty=\n"
             "ProgramTitle=Renamed\n"
             "[broken\n"
             "Top=lost\n"
             "no equals sign here\n");
    struct Case {
        const char* section;
        const char* key;
        const char* dflt;
        std::string expected;
    } cases[] = {
        {"", "Top", "d", "value of the empty section"},
        {nullptr, "TOP", "d", "value of the empty section"},
        {"", "Quoted", "d", "  spaced  "},
        {"settings", "top", "d", "settings value"},
        {"Settings", "Empty", "d", ""},
        {"Settings", "Missing", "d", "d"},
        {"Settings", "Missing", nullptr, ""},
        {"Nowhere", "Top", "d", "d"},
        {"Settings", "ProgramTitle", "d", "Renamed"},
        {"", "ProgramTitle", "d", "Quenvar"},
        {"Nowhere", "LogLevel", "d", "info"},
        {"", "SupportEMAIL", "d", "support@quenvar.example.org"},
        {"", nullptr, "d", "d"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Read(c.section, c.key, c.dflt), c.expected)
            << (c.section ? c.section : "(null)") << "/" << (c.key ? c.key : "(null)");
    EXPECT_EQ(Read("", "Top", "d", 6), "value") << "cut to the buffer, terminated";
    EXPECT_EQ(Read("", "Top", "d", 1), "");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST_F(MvcmnExports, ToolboxEntriesAndTheirCommands) {
    const std::string opened = m_dir.File("opened.txt");
    const std::string opener = m_dir.File("opener.sh");
    WriteAll(opener, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + opened + "'\n");
    ASSERT_EQ(chmod(opener.c_str(), 0755), 0);
    ScopedEnv url("QUENVAR_URL_OPENER", opener);

    runtime::CRuntimeLibrary library;
    library.LoadMvcmn();
    std::vector<std::pair<unsigned, std::string>> entries;
    MvToolboxMenu menu{&entries, [](void* context, unsigned command, const char* caption) {
                           static_cast<std::vector<std::pair<unsigned, std::string>>*>(context)->emplace_back(command,
                                                                                                              caption);
                       }};
    library.InsertToolboxMenu(&menu, "/nonexistent");
    ASSERT_EQ(entries.size(), 4u);
    for (size_t i = 0; i + 1 < entries.size(); ++i) {
        EXPECT_EQ(entries[i].first, kToolboxFirstCommand + i);
        EXPECT_LE(entries[i].first, kToolboxLastCommand);
        EXPECT_FALSE(entries[i].second.empty());
    }
    EXPECT_EQ(entries.back(), std::make_pair(kToolboxHelpCommand, std::string("Toolbox Help")));
    library.InsertToolboxMenu(nullptr, nullptr);  // no menu: nothing happens

    // The program's own entry and an unknown command start nothing.
    EXPECT_TRUE(library.OnToolboxProducts(kToolboxHelpCommand));
    EXPECT_TRUE(library.OnToolboxProducts(kToolboxFirstCommand + 50));
    // An existing drive map is opened as it is; a missing profile is made from its template.
    const std::string driveMap = m_dir.File("config/quenvar/drives");
    ASSERT_TRUE(platform::MakeFolders(m_dir.File("config/quenvar")));
    WriteAll(driveMap, "E=/images/a.img\n");
    for (unsigned id = kToolboxFirstCommand; id < kToolboxFirstCommand + 3; ++id)
        EXPECT_TRUE(library.OnToolboxProducts(id));
    const std::string help = platform::ExecutableFolder() + "/help/qvr.html";
    const std::vector<std::string> expected = Lines(m_dir.File("profile.ini") + "\n" + driveMap + "\n" + help + "\n");
    std::vector<std::string> got;
    for (int i = 0; i < 500 && got.size() < expected.size(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        got = Lines(ReadAll(opened));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // room for a wrong extra start
    EXPECT_EQ(Lines(ReadAll(opened)), expected);
    EXPECT_EQ(ReadAll(driveMap), "E=/images/a.img\n");
    // The new profile holds only comments: every value is still the built-in one.
    const std::string profile = ReadAll(m_dir.File("profile.ini"));
    EXPECT_NE(profile.find(";LogLevel=info\n"), std::string::npos) << profile;
    EXPECT_EQ(Read("", "LogLevel", "d"), "info");
    EXPECT_EQ(Read("", "ProgramTitle", "d"), "Quenvar");
}

// Reads the entries of a ZIP archive through the libzip the runtime library itself uses.
std::map<std::string, std::string> ReadArchive(const std::string& path) {
    std::map<std::string, std::string> entries;
    void* lib = dlopen("libzip.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return entries;
    auto open = reinterpret_cast<decltype(&zip_open)>(dlsym(lib, "zip_open"));
    auto count = reinterpret_cast<decltype(&zip_get_num_entries)>(dlsym(lib, "zip_get_num_entries"));
    auto name = reinterpret_cast<decltype(&zip_get_name)>(dlsym(lib, "zip_get_name"));
    auto fopen = reinterpret_cast<decltype(&zip_fopen_index)>(dlsym(lib, "zip_fopen_index"));
    auto fread = reinterpret_cast<decltype(&zip_fread)>(dlsym(lib, "zip_fread"));
    auto fclose = reinterpret_cast<decltype(&zip_fclose)>(dlsym(lib, "zip_fclose"));
    auto discard = reinterpret_cast<decltype(&zip_discard)>(dlsym(lib, "zip_discard"));
    int error = 0;
    zip_t* archive =
        open && count && name && fopen && fread && fclose && discard ? open(path.c_str(), ZIP_RDONLY, &error) : nullptr;
    if (archive) {
        for (zip_int64_t i = 0; i < count(archive, 0); ++i) {
            std::string data;
            if (zip_file_t* file = fopen(archive, static_cast<zip_uint64_t>(i), 0)) {
                char buffer[65536];
                for (zip_int64_t n; (n = fread(file, buffer, sizeof(buffer))) > 0;)
                    data.append(buffer, static_cast<size_t>(n));
                fclose(file);
            }
            entries[name(archive, static_cast<zip_uint64_t>(i), 0)] = data;
        }
        discard(archive);
    }
    dlclose(lib);
    return entries;
}

TEST_F(MvcmnExports, DiagnosticsArchiveHoldsReportProfileDrivesAndLog) {
    const std::string profile = "ProgramTitle=Diag Title\nLogLevel=error\n";
    WriteAll(m_dir.File("profile.ini"), profile);
    FatImageBuilder fat(FatImageBuilder::Options{});
    const std::string image = m_dir.File("stick.img");
    WriteAll(image, std::string(fat.Image().begin(), fat.Image().end()));
    ScopedEnv drives("QUENVAR_DRIVES", "E=" + image);
    char folder[4096];
    ASSERT_NE(runtime::GetLogFilesFolder(folder, sizeof(folder)), 0);
    // A log still held by a running logger ends in its NUL allocation.
    WriteAll(std::string(folder) + "log_qvr.log", std::string("  INFO  | a line \n") + std::string(100, '\0'));
    // No log in use: the default one goes in.
    g_Logger.Open(m_dir.File("no/such/folder/x.log").c_str());

    runtime::CRuntimeLibrary library;
    library.LoadMvcmn();
    const std::string archive = m_dir.File("mvdiag.zip");
    ASSERT_TRUE(library.MVdiag(archive.c_str()));
    const auto entries = ReadArchive(archive);
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.first);
    EXPECT_EQ(names, (std::vector<std::string>{"contents.txt", "diagnostics.txt", "log_qvr.log", "quenvar.ini"}));
    ASSERT_TRUE(entries.count("diagnostics.txt"));
    const std::string& report = entries.at("diagnostics.txt");
    for (const std::string& line :
         std::vector<std::string>{"  ProgramTitle: Diag Title\n", "Requested by: GUI\n", "Product code: 268\n",
                                  "Runtime library: ", "Kernel: Linux ",
                                  "Distribution: ", "libzip: ", "  Operations log in use: " + std::string(folder)})
        EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
    // The mapped image with its size and the file system its superblock shows.
    EXPECT_NE(
        report.find("  E:  " + image + "  (image, mapped)  " + std::to_string(fat.Image().size()) + " bytes  vfat"),
        std::string::npos)
        << report;
    // Nothing that names the machine or what the user was working on.
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof(host) - 1), 0);
    EXPECT_EQ(report.find(std::string(": ") + host + "\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("Current folder"), std::string::npos);
    EXPECT_EQ(entries.at("quenvar.ini"), profile);
    EXPECT_EQ(entries.at("log_qvr.log"), "  INFO  | a line \n");
    for (const char* member : {"diagnostics.txt", "quenvar.ini", "log_qvr.log", "contents.txt"})
        EXPECT_NE(entries.at("contents.txt").find(std::string("\n") + member + "  "), std::string::npos) << member;

    EXPECT_FALSE(library.MVdiag(m_dir.File("no/such/folder/x.zip").c_str()));
}

TEST_F(MvcmnExports, DiagnosticsArchiveHoldsTheLogInUse) {
    char folder[4096];
    ASSERT_NE(runtime::GetLogFilesFolder(folder, sizeof(folder)), 0);
    WriteAll(std::string(folder) + "log_qvr.log", "  INFO  | the default log \n");
    ASSERT_TRUE(platform::MakeFolders(m_dir.File("config/quenvar")));
    WriteAll(m_dir.File("config/quenvar/drives"), "F=/images/f.img\n");
    // A log chosen for one scan, as the logging mode does.
    const std::string chosen = m_dir.File("chosen.log");
    g_Logger.Open(chosen.c_str());
    g_Logger.Info("a line of the chosen log");
    runtime::CRuntimeLibrary library;
    library.LoadMvcmn();
    const std::string archive = m_dir.File("mvdiag.zip");
    const bool written = library.MVdiag(archive.c_str());
    g_Logger.Close();
    ASSERT_TRUE(written);
    const auto entries = ReadArchive(archive);
    EXPECT_EQ(entries.count("log_qvr.log"), 0u);
    ASSERT_EQ(entries.count("chosen.log"), 1u);
    EXPECT_NE(entries.at("chosen.log").find("a line of the chosen log"), std::string::npos);
    EXPECT_EQ(entries.at("drives"), "F=/images/f.img\n");
    EXPECT_NE(entries.at("diagnostics.txt").find("  Operations log in use: " + chosen + "\n"), std::string::npos);
}

}  // namespace
