#include "gui/MainDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/logger/Logger.h"
#include "gui/CancelButton.h"
#include "gui/ConfirmOverwriteDlg.h"
#include "gui/ContentCheckQueue.h"
#include "gui/ControlIds.h"
#include "gui/FileListModel.h"
#include "gui/HintPanel.h"
#include "gui/MainDlgStrings.h"
#include "gui/MenuOptions.h"
#include "platform/Folders.h"

namespace {

using namespace ids;

const ControlSpec kControls[] = {
    {kNoControlId, ControlKind::EtchedHorz, nullptr, 0, 1, 497, 1, ANCHOR_RIGHT},
    {IDC_RESCAN, ControlKind::PushButton, "Rescan", 4, 7, 72, 14, 0},
    {IDC_DRIVE_TREE, ControlKind::TreeView, nullptr, 4, 25, 73, 238, ANCHOR_BOTTOM},
    {IDC_FILE_LIST, ControlKind::ListView, nullptr, 81, 7, 412, 197, ANCHOR_RIGHT | ANCHOR_BOTTOM},
    {IDC_FILES_FILTER_LABEL, ControlKind::Static, "Filter found files:", 81, 206, 52, 8,
     ANCHOR_RIGHT | ANCHOR_TOP | ANCHOR_BOTTOM},
    {IDC_FILES_FILTER, ControlKind::Edit, nullptr, 81, 217, 127, 12, ANCHOR_RIGHT | ANCHOR_TOP | ANCHOR_BOTTOM},
    {IDC_FOLDERS_FILTER_LABEL, ControlKind::Static, "Filter found folders:", 219, 206, 60, 8,
     ANCHOR_LEFT | ANCHOR_RIGHT | ANCHOR_TOP | ANCHOR_BOTTOM},
    {IDC_FOLDERS_FILTER, ControlKind::Edit, nullptr, 219, 217, 123, 12,
     ANCHOR_LEFT | ANCHOR_RIGHT | ANCHOR_TOP | ANCHOR_BOTTOM},
    {IDC_CLEAR_FILTER, ControlKind::PushButton, "Clear filter", 351, 216, 50, 14,
     ANCHOR_LEFT | ANCHOR_RIGHT | ANCHOR_TOP | ANCHOR_BOTTOM},
    {IDC_ETCHED_LINE, ControlKind::EtchedHorz, nullptr, 81, 235, 331, 1, ANCHOR_RIGHT | ANCHOR_TOP | ANCHOR_BOTTOM},
    {IDC_DESTINATION_LABEL, ControlKind::Static, "Undelete selected file(s) to:", 81, 239, 86, 8,
     ANCHOR_RIGHT | ANCHOR_TOP | ANCHOR_BOTTOM},
    {IDC_DESTINATION, ControlKind::Edit, nullptr, 81, 250, 261, 13, ANCHOR_RIGHT | ANCHOR_TOP | ANCHOR_BOTTOM},
    {IDC_BROWSE, ControlKind::PushButton, "Browse...", 351, 249, 50, 14,
     ANCHOR_LEFT | ANCHOR_RIGHT | ANCHOR_TOP | ANCHOR_BOTTOM},
    {IDC_UNDELETE, ControlKind::PushButton, "Undelete", 424, 222, 60, 27,
     ANCHOR_LEFT | ANCHOR_RIGHT | ANCHOR_TOP | ANCHOR_BOTTOM},
    {IDC_ETCHED_VERTICAL, ControlKind::EtchedVert, nullptr, 411, 207, 1, 60,
     ANCHOR_LEFT | ANCHOR_RIGHT | ANCHOR_TOP | ANCHOR_BOTTOM},
};

// Ends the caption after the product's own words.
constexpr const char* kCaptionCredit = " - by the Quenvar developers";

template <class W>
W* Control(QWidget* parent, int id) {
    return parent->findChild<W*>(ControlName(id), Qt::FindDirectChildrenOnly);
}

}  // namespace

// The icons are compiled into this library; a static library's resources must be
// registered by hand (outside any namespace, as the macro requires).
static void InitResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(quenvar);
        return true;
    }();
    (void)done;
}

const DialogTemplate CMainDlg::kTemplate = {IDD_MAIN, nullptr, 497, 268, kControls};

// The start-up steps in their numbered order, read top to bottom as one sequence.
// NOLINTNEXTLINE(readability-function-size)
CMainDlg::CMainDlg(char preferredLetter, QWidget* parent) : QDialog(parent), m_browser(&m_types) {
    InitResources();
    setObjectName(ControlName(IDD_MAIN));
    // Step 1: a clear state, and the runtime library, whose failure ends the start-up.
    m_runtime.LoadMvcmn();

    // The window is resizable, has no "?" button, and closes only by its close box or Exit.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    QIcon icon;
    icon.addFile(QStringLiteral(":/quenvar/icon-48.png"));
    icon.addFile(QStringLiteral(":/quenvar/icon-256.png"));
    setWindowIcon(icon);
    m_warningIcon = style()->standardIcon(QStyle::SP_MessageBoxWarning);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    CreateMenu();
    layout->setMenuBar(m_pMenuBar);

    m_pClient = new QWidget(this);
    m_pClient->setObjectName(QStringLiteral("client"));
    const CDialogUnits units(font());
    CreateControls(m_pClient, kTemplate, units, &m_anchors);
    m_pClient->setMinimumSize(m_anchors.ReferenceSize());
    m_pClient->installEventFilter(this);
    layout->addWidget(m_pClient, 1);

    m_pTree = Control<QTreeWidget>(m_pClient, IDC_DRIVE_TREE);
    m_pList = Control<QTreeView>(m_pClient, IDC_FILE_LIST);
    m_pRescan = Control<QPushButton>(m_pClient, IDC_RESCAN);
    m_pFilesFilter = Control<QLineEdit>(m_pClient, IDC_FILES_FILTER);
    m_pFoldersFilter = Control<QLineEdit>(m_pClient, IDC_FOLDERS_FILTER);
    m_pClearFilter = Control<QPushButton>(m_pClient, IDC_CLEAR_FILTER);
    m_pDestination = Control<QLineEdit>(m_pClient, IDC_DESTINATION);
    m_pBrowse = Control<QPushButton>(m_pClient, IDC_BROWSE);
    m_pUndelete = Control<QPushButton>(m_pClient, IDC_UNDELETE);

    CreateStatusBar();
    layout->addWidget(m_pStatusBar);
    m_progress.SetBar(m_pProgress);
    m_pPrompt = std::make_unique<CGuiPrompt>(this, QStringLiteral("Quenvar"),
                                             [this](const QString& text) { return AskOverwrite(text); });

    m_pFilesFilter->setText(QString::fromUtf8(browser::kInitialFilesFilter));
    m_pFoldersFilter->setText(QString::fromUtf8(browser::kInitialFoldersFilter));
    // The destination starts at the home folder: never on the drive being scanned
    // unless the user asks for it.
    m_szDestination = QDir::homePath().toStdString();
    if (m_szDestination.empty() || m_szDestination.back() != '/') m_szDestination += '/';
    m_pDestination->setText(QString::fromStdString(m_szDestination));
    m_pUndelete->setEnabled(false);

    connect(m_pRescan, &QPushButton::clicked, this, &CMainDlg::OnScan);
    connect(m_pUndelete, &QPushButton::clicked, this, &CMainDlg::OnUndelete);
    connect(m_pClearFilter, &QPushButton::clicked, this, &CMainDlg::OnClearFilter);
    connect(m_pBrowse, &QPushButton::clicked, this, &CMainDlg::OnBrowse);
    connect(m_pDestination, &QLineEdit::editingFinished, this, &CMainDlg::ReadControls);
    for (QLineEdit* filter : {m_pFilesFilter, m_pFoldersFilter}) {
        connect(filter, &QLineEdit::textEdited, this, &CMainDlg::OnFilterTextChanged);
        connect(filter, &QLineEdit::editingFinished, this, &CMainDlg::OnFilterEditingFinished);
        connect(filter, &QLineEdit::returnPressed, this, &CMainDlg::OnFilterReturnPressed);
    }

    CreateFileList();
    ReadProfile();
    // The tree's fill probes the selected drive and shows its state (steps 5 and 8).
    m_pTree->setRootIsDecorated(false);
    m_pTree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTree->setDragEnabled(false);
    m_pTree->setIconSize(QSize(16, 16));
    connect(m_pTree, &QTreeWidget::itemSelectionChanged, this, &CMainDlg::OnDriveSelectionChanged);
    connect(m_pTree, &QTreeWidget::itemDoubleClicked, this, [this] { OnScan(); });
    FillDriveTree(preferredLetter);

    QString caption = ProfileValue("ProgramTitle") + QLatin1Char(' ') + ProfileValue("Version") + QLatin1Char(' ') +
                      ProfileValue("VersionDesc") + QString::fromUtf8(kCaptionCredit);
    setWindowTitle(caption);
    m_szHelpPath = QCoreApplication::applicationDirPath() + QStringLiteral("/help/index.html");
    InsertToolbox();

    // The first size shows every column of the list when the screen has room for it.
    QSize size = minimumSizeHint();
    int columns = 0;
    for (int c = 0; c < browser::kColumnCount; ++c) columns += m_pList->columnWidth(c);
    const int missing = columns + 2 * m_pList->frameWidth() + 4 - m_pList->width();
    if (missing > 0) size.rwidth() += missing;
    if (QScreen* screen = this->screen()) size = size.boundedTo(screen->availableGeometry().size());
    resize(size.expandedTo(minimumSizeHint()));
    m_anchors.Apply(m_pClient->size());
}

CMainDlg::~CMainDlg() {
    // The list's rows point into the trees the drive entries own.
    if (m_pListModel) m_pListModel->Clear();
    SetProgressTarget(nullptr);
}

void CMainDlg::CreateMenu() {
    m_pMenuBar = new QMenuBar(this);
    m_pMenuBar->setObjectName(ControlName(IDR_MAINMENU));
    QMenu* file = m_pMenuBar->addMenu(QStringLiteral("&File"));
    AddCommand(file, ID_FILE_SCAN, QStringLiteral("Scan"));
    AddCommand(file, ID_FILE_UNDELETE, QStringLiteral("Undelete"));
    AddCommand(file, ID_FILE_PREVIEW, QStringLiteral("Preview..."), QKeySequence(Qt::Key_F3));
    file->addSeparator();
    menuoptions::Bind(AddCommand(file, ID_FILE_WRITE_REPORT, QStringLiteral("Write Recovery Report")),
                      "WriteRecoveryReport", false);
    menuoptions::Bind(AddCommand(file, ID_FILE_RECOVER_STREAMS, QStringLiteral("Recover Named Streams")),
                      "RecoverNamedStreams", false);
    file->addSeparator();
    AddCommand(file, ID_FILE_OPEN_IMAGE, QStringLiteral("Open Disk Image..."), QKeySequence::Open);
    AddCommand(file, ID_FILE_MFTDUMP, QStringLiteral("MFT Dump Utility"));
    file->addSeparator();
    if (!m_commands.count(ID_OPEN_LOG_FOLDER)) {
        AddCommand(file, ID_OPEN_LOG_FOLDER, QStringLiteral("Open &Log Folder.."));
        file->addSeparator();
    }
    AddCommand(file, ID_APP_EXIT, QStringLiteral("Exit"));

    QMenu* view = m_pMenuBar->addMenu(QStringLiteral("&View"));
    AddCommand(view, ID_VIEW_REFRESH_DRIVES, QStringLiteral("Refresh Drives"), QKeySequence(Qt::Key_F5));
    view->addSeparator();
    menuoptions::Bind(AddCommand(view, ID_VIEW_CONTENT_COLUMN, QStringLiteral("Content Check Column")),
                      "ContentCheckColumn", false);

    m_pToolboxMenu = m_pMenuBar->addMenu(QStringLiteral("&Toolbox"));

    QMenu* help = m_pMenuBar->addMenu(QStringLiteral("&Help"));
    AddCommand(help, ID_HELP_CONTENTS, QStringLiteral("Contents and index"), QKeySequence(Qt::Key_F1));
    help->addSeparator();
    AddCommand(help, ID_HELP_SUPPORT, QStringLiteral("Request Customer Support Online"));
    AddCommand(help, ID_HELP_WEBSITE, QStringLiteral("Go to Quenvar Web Site"));
    help->addSeparator();
    AddCommand(help, ID_HELP_DIAGNOSTICS, QStringLiteral("Diagnostics..."));
    AddCommand(help, ID_APP_ABOUT, QStringLiteral("About Quenvar"));
    m_topMenus = {file, view, m_pToolboxMenu, help};

    connect(Command(ID_FILE_SCAN), &QAction::triggered, this, &CMainDlg::OnScan);
    connect(Command(ID_FILE_UNDELETE), &QAction::triggered, this, &CMainDlg::OnUndelete);
    connect(Command(ID_FILE_OPEN_IMAGE), &QAction::triggered, this, &CMainDlg::OnOpenDiskImage);
    connect(Command(ID_FILE_MFTDUMP), &QAction::triggered, this, &CMainDlg::OnMftDump);
    connect(Command(ID_OPEN_LOG_FOLDER), &QAction::triggered, this, &CMainDlg::OnOpenLogFolder);
    connect(Command(ID_APP_EXIT), &QAction::triggered, this, &CMainDlg::OnExit);
    connect(Command(ID_VIEW_REFRESH_DRIVES), &QAction::triggered, this, &CMainDlg::OnRefreshDrives);
    connect(Command(ID_HELP_CONTENTS), &QAction::triggered, this, &CMainDlg::OnHelpContents);
    connect(Command(ID_HELP_SUPPORT), &QAction::triggered, this, &CMainDlg::OnSupport);
    connect(Command(ID_HELP_WEBSITE), &QAction::triggered, this, &CMainDlg::OnWebSite);
    connect(Command(ID_HELP_DIAGNOSTICS), &QAction::triggered, this, &CMainDlg::OnDiagnostics);
    connect(Command(ID_APP_ABOUT), &QAction::triggered, this, &CMainDlg::OnAbout);
    connect(Command(ID_FILE_PREVIEW), &QAction::triggered, this, &CMainDlg::OnPreview);
    Command(ID_FILE_UNDELETE)->setEnabled(false);
}

QAction* CMainDlg::AddCommand(QMenu* menu, int id, const QString& text, const QKeySequence& key) {
    QAction* action = menu->addAction(text);
    action->setObjectName(ControlName(id));
    action->setData(id);
    if (!key.isEmpty()) {
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
    }
    m_commands[id] = action;
    return action;
}

QAction* CMainDlg::Command(int id) const {
    auto it = m_commands.find(id);
    return it == m_commands.end() ? nullptr : it->second;
}

void CMainDlg::InsertToolbox() {
    // The library adds its entries through this callback; each becomes a command whose
    // identifier is handed back to the library when chosen.
    struct Context {
        CMainDlg* dlg;
    } context{this};
    MvToolboxMenu menu{&context, [](void* ctx, unsigned commandId, const char* caption) {
                           CMainDlg* dlg = static_cast<Context*>(ctx)->dlg;
                           QAction* action = dlg->AddCommand(dlg->m_pToolboxMenu, static_cast<int>(commandId),
                                                             QString::fromUtf8(caption ? caption : ""));
                           connect(action, &QAction::triggered, dlg,
                                   [dlg, commandId] { dlg->OnToolboxProducts(commandId); });
                       }};
    const QStringList shared = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    const QString commonData = shared.isEmpty() ? QStringLiteral("/usr/share") : shared.last();
    m_runtime.InsertToolboxMenu(&menu, commonData.toUtf8().constData());
    m_pToolboxMenu->menuAction()->setVisible(!m_pToolboxMenu->actions().isEmpty());
}

void CMainDlg::CreateStatusBar() {
    m_pStatusBar = new QStatusBar(this);
    m_pStatusBar->setSizeGripEnabled(true);
    m_pStatusPane = new QLabel(m_pStatusBar);
    m_pStatusPane->setObjectName(ControlName(IDC_STATUS_PANE0));
    m_pStatusBar->addWidget(m_pStatusPane, 1);
    m_pProgress = new QProgressBar(m_pStatusBar);
    m_pProgress->setObjectName(ControlName(IDC_PROGRESS));
    m_pProgress->setRange(0, 100);
    m_pProgress->setTextVisible(false);
    m_pProgress->hide();
    m_pCancel = new CCancelButton(m_pStatusBar);
    m_pCancel->hide();
    // The bar keeps one height whether it shows a status line or a running job.
    const int height = std::max(
        {m_pCancel->sizeHint().height(), m_pProgress->sizeHint().height(), m_pStatusPane->sizeHint().height()});
    m_pStatusPane->setMinimumHeight(height);
    m_pProgress->setMaximumHeight(height);
    m_pCancel->setMaximumHeight(height);
}

void CMainDlg::ReadProfile() {
    for (const char* key :
         {"ProgramTitle", "Version", "VersionDesc", "Copyright", "HomeURL", "SupportURL", "SupportEMAIL"})
        m_profile[key] = QString::fromStdString(m_runtime.ReadProfileString("", key, "", 1));
}

QString CMainDlg::ProfileValue(const char* key) const {
    auto it = m_profile.find(key);
    return it == m_profile.end() ? QString() : it->second;
}

QString CMainDlg::TitleAndVersion() const {
    return ProfileValue("ProgramTitle") + QLatin1Char(' ') + ProfileValue("Version");
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pClient && event->type() == QEvent::Resize) m_anchors.Apply(m_pClient->size());
    if (watched == m_pList && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            OnListDoubleClicked(m_pList->currentIndex());
            return true;
        }
        if (key->key() == Qt::Key_Backspace) {
            GoUp();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CMainDlg::keyPressEvent(QKeyEvent* event) {
    // Enter and Esc do nothing: the window closes only by its close box or Exit.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape: event->accept(); return;
        default: QDialog::keyPressEvent(event);
    }
}

void CMainDlg::reject() {}

void CMainDlg::closeEvent(QCloseEvent* event) {
    if (m_bScanning || m_bUndeleting) {
        // The job stops as Cancel stops it; the window closes when its worker has ended.
        g_Logger.Info("Main window closed while a job runs: stopping it.");
        m_bCloseRequested = true;
        UserBreak.store(1);
        event->ignore();
        return;
    }
    event->accept();
    done(0);
}

void CMainDlg::OnExit() { done(1); }

void CMainDlg::SetStatus(const QString& text) {
    // The string table's texts end some status lines with a line break the pane does not show.
    QString shown = text;
    while (shown.endsWith(QLatin1Char('\n'))) shown.chop(1);
    m_pStatusPane->setText(shown);
}

QString CMainDlg::StatusText() const { return m_pStatusPane->text(); }

void CMainDlg::ShowPanels(bool invitation, bool notSupported) {
    m_pInvitation->setVisible(invitation);
    m_pNotSupported->setVisible(notSupported);
}

void CMainDlg::SetCommandsEnabled(bool enabled) {
    m_pRescan->setEnabled(enabled);
    m_pClearFilter->setEnabled(enabled);
    m_pBrowse->setEnabled(enabled);
    m_pUndelete->setEnabled(enabled);
    // The list's rows and the parser stay the worker's until it ends: no other drive
    // or scan may be chosen meanwhile.
    m_pTree->setEnabled(enabled);
    for (size_t i = 0; i < 3 && i < m_topMenus.size(); ++i) m_topMenus[i]->menuAction()->setEnabled(enabled);
}

void CMainDlg::BeginJob(const QString& paneText) {
    // The job's panes take the room of the status line, so the window does not move.
    m_pStatusBar->setFixedHeight(m_pStatusBar->height());
    m_pStatusBar->removeWidget(m_pStatusPane);
    SetStatus(paneText);
    m_pStatusPane->setFixedWidth(m_pStatusPane->fontMetrics().horizontalAdvance(paneText) + 8);
    m_pStatusBar->addWidget(m_pStatusPane, 0);
    m_pStatusBar->addWidget(m_pCancel, 0);
    m_pStatusBar->addWidget(m_pProgress, 1);
    m_pStatusPane->show();
    m_pProgress->setValue(0);
    m_pProgress->show();
    m_pCancel->show();
    setCursor(Qt::WaitCursor);
    SetProgressTarget(&m_progress);
    m_pListModel->ContentChecks()->SetPaused(true);
}

void CMainDlg::EndJob() {
    SetProgressTarget(nullptr);
    m_pListModel->ContentChecks()->SetPaused(false);
    unsetCursor();
    m_pStatusBar->removeWidget(m_pProgress);
    m_pStatusBar->removeWidget(m_pCancel);
    m_pStatusBar->removeWidget(m_pStatusPane);
    m_pProgress->hide();
    m_pCancel->hide();
    m_pStatusPane->setMinimumWidth(0);
    m_pStatusPane->setMaximumWidth(QWIDGETSIZE_MAX);
    m_pStatusBar->addWidget(m_pStatusPane, 1);
    m_pStatusPane->show();
    m_pStatusBar->setMinimumHeight(0);
    m_pStatusBar->setMaximumHeight(QWIDGETSIZE_MAX);
}
