#include "gui/MFTDumpDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <functional>

#include "gui/ControlIds.h"
#include "platform/DriveTable.h"
#include "platform/Folders.h"

namespace {

const ControlSpec kControls[] = {
    {kNoControlId, ControlKind::Static, "NTFS Logical Discs:", 7, 7, 120, 8, 0},
    {CMFTDumpDlg::IDC_VOLUMES, ControlKind::DropList, nullptr, 7, 17, 170, 14, 0},
    {CMFTDumpDlg::IDC_GET_DUMP, ControlKind::DefPushButton, "Get MFT Dump", 185, 17, 62, 14, 0},
    {CMFTDumpDlg::IDC_FOLDER_TEXT, ControlKind::Static, nullptr, 7, 38, 170, 8, 0},
    {CMFTDumpDlg::IDC_FOLDER, ControlKind::PushButton, "Folder...", 185, 35, 62, 14, 0},
    {CMFTDumpDlg::IDC_PROGRESS, ControlKind::Progress, nullptr, 7, 55, 240, 9, 0},
    {kNoControlId, ControlKind::Static, "Status information:", 7, 70, 120, 8, 0},
    {CMFTDumpDlg::IDC_STATUS, ControlKind::ReadOnlyText, nullptr, 7, 80, 240, 120, 0},
};

// The status text and the progress bar of the dialog as the dump's report.
class DialogSink final : public mftdump::IMftDumpSink {
public:
    DialogSink(std::function<void(const QString&)> append, QProgressBar* progress)
        : m_append(std::move(append)), m_pProgress(progress) {}
    void Append(const std::string& message) override { m_append(QString::fromStdString(message)); }
    void SetProgressRange(int maximum) override { m_pProgress->setRange(0, maximum); }
    void SetProgress(int position) override {
        m_pProgress->setValue(position);
        // The dump runs on the interface thread; the bar and the text move as it goes.
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }

private:
    std::function<void(const QString&)> m_append;
    QProgressBar* m_pProgress;
};

}  // namespace

const DialogTemplate CMFTDumpDlg::kTemplate = {ids::IDD_MFTDUMP, "MFTDump", 254, 207, kControls};

CMFTDumpDlg::CMFTDumpDlg(QWidget* parent, const QString& folder) : QDialog(parent) {
    setObjectName(ControlName(kTemplate.id));
    setWindowTitle(QString::fromUtf8(kTemplate.caption));
    const CDialogUnits units(font());
    CreateControls(this, kTemplate, units, nullptr);
    setFixedSize(units.ToPixels(QSize(kTemplate.width, kTemplate.height)));
    m_pVolumes = findChild<QComboBox*>(ControlName(IDC_VOLUMES));
    m_pProgress = findChild<QProgressBar*>(ControlName(IDC_PROGRESS));
    m_pGetDump = findChild<QPushButton*>(ControlName(IDC_GET_DUMP));
    m_pFolderButton = findChild<QPushButton*>(ControlName(IDC_FOLDER));
    m_pFolderText = findChild<QLabel*>(ControlName(IDC_FOLDER_TEXT));
    m_pStatus = findChild<QPlainTextEdit*>(ControlName(IDC_STATUS));
    m_pStatus->setMaximumBlockCount(kMaxStatusLines);
    // Long paths wrap rather than hide behind a scroll bar.
    m_pStatus->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_pProgress->setRange(0, static_cast<int>(mftdump::kBlockCount));
    m_pProgress->setValue(0);

    SetFolder(folder.isEmpty() ? QString::fromStdString(platform::HomeFolder()) : folder);
    m_pStatus->setPlainText(QString::fromUtf8(mftdump::kStartLine));
    FillVolumes();
    connect(m_pGetDump, &QPushButton::clicked, this, [this] { OnGetDump(); });
    connect(m_pFolderButton, &QPushButton::clicked, this, [this] { OnChooseFolder(); });
}

void CMFTDumpDlg::FillVolumes() {
    const mftdump::VolumeList list = mftdump::ListNtfsVolumes(platform::DriveTable::Instance().Drives());
    m_volumes = list.volumes;
    for (const mftdump::NtfsVolume& volume : m_volumes)
        m_pVolumes->addItem(QString::fromStdString(mftdump::DisplayName(volume)));
    if (!m_volumes.empty()) m_pVolumes->setCurrentIndex(0);
    const std::string note = mftdump::DeniedNote(list);
    if (!note.empty()) AppendStatus(QString::fromStdString(note));
    m_pGetDump->setEnabled(!m_volumes.empty());
}

void CMFTDumpDlg::SetFolder(const QString& folder) {
    m_szFolder = folder;
    const QString shown = QStringLiteral("Files go to: %1").arg(folder);
    m_pFolderText->setText(m_pFolderText->fontMetrics().elidedText(shown, Qt::ElideMiddle, m_pFolderText->width()));
    m_pFolderText->setToolTip(folder);
}

QString CMFTDumpDlg::StatusText() const { return m_pStatus->toPlainText(); }

void CMFTDumpDlg::AppendStatus(const QString& message) {
    // As the text's "\r\n" + message: a leading line break makes an empty line. The text
    // keeps its last kMaxStatusLines lines.
    m_pStatus->appendPlainText(message);
}

void CMFTDumpDlg::OnChooseFolder() {
    const QString chosen =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Folder for the dump files"), m_szFolder);
    if (!chosen.isEmpty()) SetFolder(chosen);
}

bool CMFTDumpDlg::OnGetDump() {
    const int index = m_pVolumes->currentIndex();
    if (index < 0 || index >= static_cast<int>(m_volumes.size())) return false;
    m_pGetDump->setEnabled(false);
    m_pVolumes->setEnabled(false);
    m_pFolderButton->setEnabled(false);
    m_pProgress->setValue(0);
    DialogSink sink([this](const QString& message) { AppendStatus(message); }, m_pProgress);
    const mftdump::MftDumpResult result =
        mftdump::DumpMft(m_volumes[static_cast<size_t>(index)], m_szFolder.toStdString(), sink);
    AppendStatus(QString::fromUtf8(mftdump::kAgainMessage));
    m_pGetDump->setEnabled(true);
    m_pVolumes->setEnabled(true);
    m_pFolderButton->setEnabled(true);
    return result.bOk;
}
