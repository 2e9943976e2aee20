// The application object: the start-up steps in their order (single instance, the
// operations log, the main window run modally, the start-up failure messages).
#pragma once

#include <QStringList>
#include <string>

#include "app/VolumeProbe.h"
#include "platform/InstanceLock.h"

class CMainDlg;

struct StartupChoice {
    std::string logPath;       // the operations log to open
    bool defaultLog = true;    // the runtime library's "log_qvr.log", an older one deleted first
    std::string volumeSource;  // a device or image named on the command line, to select
};

// The command line's first word is the log file, unless it names a block device or a
// file that holds a recognised volume or partition table: such a file is never written
// to; it becomes a drive instead and the default log is used.
StartupChoice ChooseStartup(const QStringList& arguments);
// "log_qvr.log" in the runtime library's log folder (created), or in the current folder
// when the library cannot tell.
std::string DefaultLogPath();

class CQuenvarApp {
public:
    // Runs the start-up and the main window; returns the process's exit status. A second
    // instance returns at once, without a window or a message.
    int InitInstance(const QStringList& arguments);
    CMainDlg* MainWindow() const { return m_pMainWnd; }

private:
    platform::InstanceLock m_lock;  // held until the process ends
    CMainDlg* m_pMainWnd = nullptr;
};
