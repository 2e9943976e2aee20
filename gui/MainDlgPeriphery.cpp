// CMainDlg: the commands of the window's periphery: the MFT dump utility, the About
// box, the help window, the diagnostics report and the runtime library's toolbox.
#include "gui/MainDlg.h"

void CMainDlg::OnMftDump() {}

void CMainDlg::OnAbout() {}

void CMainDlg::OnHelpContents() {}

void CMainDlg::OnHelpToolbox() {}

void CMainDlg::OnDiagnostics() {}

void CMainDlg::OnToolboxProducts(unsigned commandId) { (void)commandId; }
