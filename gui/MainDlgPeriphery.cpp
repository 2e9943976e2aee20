// CMainDlg: the commands of the window's periphery: the MFT dump utility, the About
// box, the help window, the diagnostics report and the runtime library's toolbox.
#include "gui/AboutDlg.h"
#include "gui/ControlIds.h"
#include "gui/DiagnosticsFlow.h"
#include "gui/HelpLoader.h"
#include "gui/MFTDumpDlg.h"
#include "gui/MainDlg.h"

void CMainDlg::OnMftDump() {
    CMFTDumpDlg dialog(this);
    dialog.exec();
}

void CMainDlg::OnAbout() {
    CAboutDlg about(this,
                    {TitleAndVersion(), ProfileValue("VersionDesc"), ProfileValue("Copyright"), ProfileValue("HomeURL"),
                     ProfileValue("SupportEMAIL")},
                    m_runtime);
    about.exec();
}

void CMainDlg::OnHelpContents() {
    CHelpLoader::Instance().HtmlHelp(this, m_szHelpPath, CHelpLoader::HH_DISPLAY_TOC, 0);
}

void CMainDlg::OnHelpToolbox() {
    CHelpLoader::Instance().HtmlHelp(this, m_szHelpPath + QStringLiteral("::/toolbox.html"),
                                     CHelpLoader::HH_DISPLAY_TOC, 0);
}

void CMainDlg::OnDiagnostics() { RunDiagnostics(this, m_runtime); }

void CMainDlg::OnToolboxProducts(unsigned commandId) {
    // The library's "Toolbox Help" entry is the program's own command.
    if (commandId == static_cast<unsigned>(ids::ID_HELP_TOOLBOX)) {
        OnHelpToolbox();
        return;
    }
    if (commandId >= static_cast<unsigned>(ids::ID_TOOLBOX_FIRST) &&
        commandId <= static_cast<unsigned>(ids::ID_TOOLBOX_LAST))
        m_runtime.OnToolboxProducts(commandId);
}
