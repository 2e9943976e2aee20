// "MFTDump" (template 141): lists the NTFS volumes of the drive table and writes the
// boot sector and the start of the MFT of the chosen one to BootDump.hex and MFTDump.hex
// (the dump of app/MftDump), reporting every step in its status text.
#pragma once

#include <QDialog>
#include <QString>

#include "app/MftDump.h"
#include "gui/DialogTemplate.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class CMFTDumpDlg final : public QDialog {
    Q_OBJECT
public:
    static const DialogTemplate kTemplate;
    // Control ids of the template (1004 and 1005 are this port's output folder).
    static constexpr int IDC_VOLUMES = 1000;
    static constexpr int IDC_PROGRESS = 1002;
    static constexpr int IDC_GET_DUMP = 1003;
    static constexpr int IDC_FOLDER = 1004;
    static constexpr int IDC_FOLDER_TEXT = 1005;
    static constexpr int IDC_STATUS = 1009;
    // Lines the status text keeps; older ones are dropped first.
    static constexpr int kMaxStatusLines = 2000;

    // Lists the volumes of the drive table; the files go to folder (the home folder when empty).
    explicit CMFTDumpDlg(QWidget* parent = nullptr, const QString& folder = QString());

    QString Folder() const { return m_szFolder; }
    void SetFolder(const QString& folder);
    QString StatusText() const;
    // The "Get MFT Dump" command; false when the dump failed or nothing was chosen.
    bool OnGetDump();

private:
    void FillVolumes();
    void AppendStatus(const QString& message);
    void OnChooseFolder();

    QComboBox* m_pVolumes = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pGetDump = nullptr;
    QPushButton* m_pFolderButton = nullptr;
    QLabel* m_pFolderText = nullptr;
    QPlainTextEdit* m_pStatus = nullptr;
    std::vector<mftdump::NtfsVolume> m_volumes;
    QString m_szFolder;
};
