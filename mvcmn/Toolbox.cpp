#include "mvcmn/Toolbox.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/DriveTable.h"
#include "platform/Folders.h"

extern char** environ;

namespace {

constexpr const char* kDriveMapTemplate =
    "# Drive letters for disk images and devices, one a line: LETTER=PATH.\n"
    "# Mapped letters win over the letters found automatically.\n"
    "#E=/home/me/images/usb-stick.img\n"
    "#F=/dev/sdc1\n";

bool StartOpener(const std::string& target) {
    const char* opener = std::getenv("QUENVAR_URL_OPENER");
    if (!opener || !*opener) opener = "xdg-open";
    // A shell starts the opener in the background and ends at once: the opener is
    // nobody's child to reap, and nothing here waits for the editor or browser.
    std::string shell = "sh";
    std::string script = "\"$0\" \"$1\" </dev/null >/dev/null 2>&1 &";
    std::string program = opener;
    std::string argument = target;
    std::string dashC = "-c";
    char* argv[] = {shell.data(), dashC.data(), script.data(), program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Writes the template into a file that does not exist yet; an existing file is never
// touched. True when the file exists afterwards.
bool CreateFromTemplate(const std::string& path, const std::string& text) {
    if (access(path.c_str(), F_OK) == 0) return true;
    if (text.empty()) return false;
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !platform::MakeFolders(path.substr(0, slash))) return false;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return errno == EEXIST;
    bool ok = true;
    for (size_t done = 0; ok && done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    if (close(fd) != 0) ok = false;
    if (!ok) unlink(path.c_str());
    return ok;
}

}  // namespace

std::string CToolbox::ProfileTemplate() {
    std::string text =
        "; Quenvar profile. Remove the ';' in front of a line to set its value.\n"
        "; LogLevel: error (failures only), info (every step, the default), debug or all.\n";
    for (const std::string& key : CProfile::BuiltInKeys())
        text += ";" + key + "=" + CProfile::BuiltIn(key).value_or("") + "\n";
    return text;
}

std::vector<ToolboxEntry> CToolbox::Entries() {
    return {
        {kToolboxFirstCommand + 0, "Open Profile (quenvar.ini)", CProfile::DefaultPath(), ProfileTemplate()},
        {kToolboxFirstCommand + 1, "Edit Drive Map (letters for images)", platform::DriveMapPath(), kDriveMapTemplate},
        {kToolboxFirstCommand + 2, "Command-Line Tool Help (qvr)", platform::ExecutableFolder() + "/help/qvr.html", ""},
        {kToolboxHelpCommand, "Toolbox Help", "", ""},
    };
}

void CToolbox::Fill(MvToolboxMenu* menu) {
    if (!menu || !menu->AddItem) return;
    for (const auto& entry : Entries()) menu->AddItem(menu->pContext, entry.nCommand, entry.szCaption.c_str());
}

bool CToolbox::Choose(unsigned command) {
    for (const auto& entry : Entries()) {
        if (entry.nCommand != command) continue;
        if (entry.szTarget.empty() || !CreateFromTemplate(entry.szTarget, entry.szTemplate)) return false;
        return StartOpener(entry.szTarget);
    }
    return false;
}
