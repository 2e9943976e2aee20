// CMainDlg: the program's window (template 102): the drive tree, the file list of the
// browser model, the filters, the destination and Undelete, the menu and the status bar
// with the progress bar and Cancel during a job. It owns the drive table's entries and
// the state of the scan, undelete and browser jobs, and dispatches the commands to them.
#pragma once

#include <QDialog>
#include <QIcon>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/BrowserModel.h"
#include "app/ScanJob.h"
#include "common/runtime/RuntimeLibrary.h"
#include "gui/DialogTemplate.h"
#include "gui/JobBridge.h"
#include "gui/MimeTypes.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QModelIndex;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class CCancelButton;
class CFileListModel;
class CHintPanel;

class CMainDlg final : public QDialog {
    Q_OBJECT
public:
    static const DialogTemplate kTemplate;
    // The drive table holds at most this many drives.
    static constexpr int kMaxDrives = 24;

    // The dialog's start-up. Throws the int -1 when the runtime library cannot be loaded.
    // preferredLetter: the drive to select instead of C: (0 for none).
    explicit CMainDlg(char preferredLetter = 0, QWidget* parent = nullptr);
    ~CMainDlg() override;

    // What tests and the other dialogs look at.
    DriveEntry* CurrentDrive() const { return m_pCurrentDrive; }
    DriveEntry* DriveOf(char letter) const;
    CBrowserModel& Browser() { return m_browser; }
    CFileListModel* ListModel() const { return m_pListModel; }
    QAction* Command(int id) const;
    bool IsScanning() const { return m_bScanning; }
    bool IsUndeleting() const { return m_bUndeleting; }
    QString StatusText() const;
    const runtime::CRuntimeLibrary& Runtime() const { return m_runtime; }
    // Profile value read at start-up ("ProgramTitle", "Version", ...).
    QString ProfileValue(const char* key) const;
    // ProgramTitle + " " + Version.
    QString TitleAndVersion() const;
    QString HelpFilePath() const { return m_szHelpPath; }
    QIcon WarningIcon() const { return m_warningIcon; }
    // Selects the drive's tree item (as a click would); false when there is none.
    bool SelectDrive(char letter);

public slots:
    // Commands.
    void OnScan();
    void OnUndelete();
    void OnClearFilter();
    void OnBrowse();
    void OnOpenDiskImage();
    void OnRefreshDrives();
    void OnOpenLogFolder();
    void OnSupport();
    void OnWebSite();
    void OnExit();
    // Filled by the dialogs of the periphery (MFT dump, About box, help, diagnostics).
    void OnMftDump();
    void OnAbout();
    void OnHelpContents();
    void OnHelpToolbox();
    void OnDiagnostics();
    void OnToolboxProducts(unsigned commandId);
    // The selected file's first bytes in the preview dialog.
    void OnPreview();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Start-up.
    void CreateMenu();
    QAction* AddCommand(QMenu* menu, int id, const QString& text, const QKeySequence& key = {});
    void CreateStatusBar();
    void CreateFileList();
    void ReadProfile();
    void InsertToolbox();
    void SetColumnWidths();

    // Drive tree.
    void FillDriveTree(char preferredLetter);
    QTreeWidgetItem* ItemOf(const DriveEntry* entry) const;
    DriveEntry* SelectedEntry() const;
    void ProbeDrive(DriveEntry* entry);
    void OnDriveSelectionChanged();
    void ShowDriveState(DriveEntry* entry);

    // Scan.
    bool LoggingModePrompt();
    void StartScan();
    void RunScanJob(DriveEntry* entry);

    // Undelete.
    void RunUndeleteJob();
    std::vector<NodeEntry*> SelectedNodes() const;
    IUndeletePrompt::Answer AskOverwrite(const QString& text);

    // File list.
    void RefreshList();
    void ApplyFilters();
    void ReadControls();
    void WriteControls();
    void UpdateListStatus();
    void OnListDoubleClicked(const QModelIndex& index);
    void ActivateRow(long row);
    void GoUp();
    void OnColumnClicked(int column);
    void OnFilterTextChanged();
    void OnFilterEditingFinished();
    void OnFilterReturnPressed();
    void OnListContextMenu(const QPoint& at);
    void ShowContentColumn(bool shown);

    // Jobs.
    void BeginJob(const QString& paneText);
    void EndJob();
    void SetCommandsEnabled(bool enabled);
    void SetStatus(const QString& text);
    void ShowPanels(bool invitation, bool notSupported);

    runtime::CRuntimeLibrary m_runtime;
    std::vector<std::unique_ptr<DriveEntry>> m_drives;
    DriveEntry* m_pCurrentDrive = nullptr;
    CMimeTypes m_types;
    CBrowserModel m_browser;
    CFileListModel* m_pListModel = nullptr;
    CGuiProgress m_progress;
    std::unique_ptr<CGuiPrompt> m_pPrompt;

    CAnchorLayout m_anchors;
    QWidget* m_pClient = nullptr;
    QMenuBar* m_pMenuBar = nullptr;
    QStatusBar* m_pStatusBar = nullptr;
    QLabel* m_pStatusPane = nullptr;
    QProgressBar* m_pProgress = nullptr;
    CCancelButton* m_pCancel = nullptr;
    CHintPanel* m_pInvitation = nullptr;
    CHintPanel* m_pNotSupported = nullptr;
    QTreeWidget* m_pTree = nullptr;
    QTreeView* m_pList = nullptr;
    QPushButton* m_pRescan = nullptr;
    QLineEdit* m_pFilesFilter = nullptr;
    QLineEdit* m_pFoldersFilter = nullptr;
    QPushButton* m_pClearFilter = nullptr;
    QLineEdit* m_pDestination = nullptr;
    QPushButton* m_pBrowse = nullptr;
    QPushButton* m_pUndelete = nullptr;
    QMenu* m_pToolboxMenu = nullptr;
    std::vector<QMenu*> m_topMenus;
    std::map<int, QAction*> m_commands;
    QIcon m_warningIcon;

    std::map<std::string, QString> m_profile;
    QString m_szHelpPath;
    std::string m_szFilesFilter = browser::kInitialFilesFilter;
    std::string m_szFoldersFilter = browser::kInitialFoldersFilter;
    std::string m_szDestination;
    bool m_bScanning = false;  // the busy flag: a scan worker runs
    bool m_bUndeleting = false;
    bool m_bCloseRequested = false;
    int m_nFilterEditing = 0;
};
