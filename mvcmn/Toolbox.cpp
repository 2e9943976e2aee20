#include "mvcmn/Toolbox.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace {

bool StartOpener(const std::string& target) {
    const char* opener = std::getenv("QUENVAR_URL_OPENER");
    if (!opener || !*opener) opener = "xdg-open";
    // A shell starts the opener in the background and ends at once: the opener is
    // nobody's child to reap, and nothing here waits for the browser.
    std::string shell = "sh";
    std::string script = "\"$0\" \"$1\" </dev/null >/dev/null 2>&1 &";
    std::string program = opener;
    std::string argument = target;
    std::string dashC = "-c";
    char* argv[] = {shell.data(), dashC.data(), script.data(), program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::vector<ToolboxEntry> CToolbox::Entries(const CProfile& profile) {
    const std::string title = profile.Find("", "ProgramTitle").value_or("Quenvar");
    return {
        {kToolboxFirstCommand + 0, title + " on the Web", profile.Find("", "HomeURL").value_or("")},
        {kToolboxFirstCommand + 1, "Technical support", profile.Find("", "SupportURL").value_or("")},
        {kToolboxFirstCommand + 2, "Write to support", "mailto:" + profile.Find("", "SupportEMAIL").value_or("")},
    };
}

void CToolbox::Fill(MvToolboxMenu* menu, const CProfile& profile) {
    if (!menu || !menu->AddItem) return;
    for (const auto& entry : Entries(profile)) menu->AddItem(menu->pContext, entry.nCommand, entry.szCaption.c_str());
}

bool CToolbox::Choose(unsigned command, const CProfile& profile) {
    for (const auto& entry : Entries(profile)) {
        if (entry.nCommand != command) continue;
        if (entry.szTarget.empty() || entry.szTarget == "mailto:") return false;
        return StartOpener(entry.szTarget);
    }
    return false;
}
