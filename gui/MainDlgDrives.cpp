// CMainDlg: the drive tree, drive selection and probing, and the commands that change
// the drive table (Open Disk Image..., Refresh Drives).
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "app/VolumeProbe.h"
#include "common/logger/Logger.h"
#include "gui/ControlIds.h"
#include "gui/DriveProbe.h"
#include "gui/FileListModel.h"
#include "gui/HintPanel.h"
#include "gui/MainDlg.h"
#include "gui/MainDlgStrings.h"
#include "platform/DriveTable.h"

namespace {

QString Letter(QString format, char letter) { return format.replace(QStringLiteral("%c"), QString(QChar(letter))); }

QIcon DriveIcon(const platform::DriveSource& drive) {
    QStyle* style = QApplication::style();
    // Without an icon theme fromTheme gives nothing and the style's icons stand in.
    if (drive.isBlockDevice)
        return QIcon::fromTheme(QStringLiteral("drive-harddisk"), style->standardIcon(QStyle::SP_DriveHDIcon));
    return QIcon::fromTheme(
        QStringLiteral("media-removable"),
        QIcon::fromTheme(QStringLiteral("drive-removable-media"), style->standardIcon(QStyle::SP_DriveFDIcon)));
}

}  // namespace

DriveEntry* CMainDlg::DriveOf(char letter) const {
    for (const auto& entry : m_drives)
        if (entry->letter == letter) return entry.get();
    return nullptr;
}

QTreeWidgetItem* CMainDlg::ItemOf(const DriveEntry* entry) const {
    // Partitions are items below their disk's.
    for (QTreeWidgetItemIterator it(m_pTree); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toInt() == entry->letter) return *it;
    }
    return nullptr;
}

DriveEntry* CMainDlg::SelectedEntry() const {
    const QList<QTreeWidgetItem*> selected = m_pTree->selectedItems();
    if (selected.isEmpty()) return nullptr;
    return DriveOf(static_cast<char>(selected.first()->data(0, Qt::UserRole).toInt()));
}

bool CMainDlg::SelectDrive(char letter) {
    DriveEntry* entry = DriveOf(letter);
    QTreeWidgetItem* item = entry ? ItemOf(entry) : nullptr;
    if (!item) return false;
    m_pTree->setCurrentItem(item);
    return true;
}

void CMainDlg::ProbeDrive(DriveEntry* entry) {
    if (entry->supportState == 0) entry->supportState = IsDriveSupported(entry->letter) ? 1 : -1;
}

void CMainDlg::FillDriveTree(char preferredLetter) {
    // Entries of letters that still name the same source keep their scans.
    std::vector<std::unique_ptr<DriveEntry>> kept;
    std::map<char, std::string> oldSources;
    for (QTreeWidgetItemIterator it(m_pTree); *it; ++it) {
        oldSources[static_cast<char>((*it)->data(0, Qt::UserRole).toInt())] =
            (*it)->data(0, Qt::UserRole + 1).toString().toStdString();
    }
    const std::vector<platform::DriveSource> drives = platform::DriveTable::Instance().Drives();
    for (const auto& drive : drives) {
        if (static_cast<int>(kept.size()) >= kMaxDrives) break;
        std::unique_ptr<DriveEntry> entry;
        for (auto& old : m_drives) {
            if (old && old->letter == drive.letter && oldSources[drive.letter] == drive.DisplayName())
                entry = std::move(old);
        }
        if (!entry) {
            entry = std::make_unique<DriveEntry>();
            entry->letter = drive.letter;
        }
        kept.push_back(std::move(entry));
    }
    const char current = m_pCurrentDrive ? m_pCurrentDrive->letter : 0;
    // Rows of a dropped drive may be on show: the list lets go of them first.
    m_pListModel->Clear();
    m_browser.SelectDrive(nullptr);
    m_pCurrentDrive = nullptr;
    {
        const QSignalBlocker blocker(m_pTree);
        m_pTree->clear();
    }
    m_drives = std::move(kept);

    const QSignalBlocker blocker(m_pTree);
    std::map<char, QTreeWidgetItem*> items;
    for (size_t i = 0; i < m_drives.size(); ++i) {
        const platform::DriveSource& drive = drives[i];
        QTreeWidgetItem* disk =
            drive.partition != 0 && items.count(drive.diskLetter) ? items[drive.diskLetter] : nullptr;
        auto* item = disk ? new QTreeWidgetItem(disk) : new QTreeWidgetItem(m_pTree);
        items[drive.letter] = item;
        if (drive.partition == 0) {
            item->setText(0, QStringLiteral("%1:").arg(QChar(drive.letter)));
            item->setToolTip(0, QString::fromStdString(drive.source));
        } else {
            // The tree is narrow: the number only, the rest in the tooltip.
            item->setText(0, QStringLiteral("%1: Partition %2").arg(QChar(drive.letter)).arg(drive.partition));
            item->setToolTip(0, QStringLiteral("%1\nPartition %2 of %3:, type %4\nstart sector %5, %6 sectors")
                                    .arg(QString::fromStdString(drive.DisplayName()))
                                    .arg(drive.partition)
                                    .arg(QChar(drive.diskLetter))
                                    .arg(QString::fromStdString(drive.partitionType))
                                    .arg(drive.firstSector)
                                    .arg(drive.sectorCount));
        }
        item->setIcon(0, DriveIcon(drive));
        item->setData(0, Qt::UserRole, static_cast<int>(drive.letter));
        item->setData(0, Qt::UserRole + 1, QString::fromStdString(drive.DisplayName()));
    }
    // Partitions sit one step in: a small indentation keeps their names whole.
    m_pTree->setIndentation(m_pTree->fontMetrics().averageCharWidth() * 2);
    m_pTree->expandAll();
    if (m_drives.empty()) {
        m_pRescan->setEnabled(false);
        Command(ids::ID_FILE_SCAN)->setEnabled(false);
        ShowPanels(false, false);
        return;
    }

    // C: is selected at start, unless it cannot be scanned (the root file system of a
    // Linux machine rarely is NTFS or FAT): then the first drive that can.
    DriveEntry* chosen = preferredLetter ? DriveOf(preferredLetter) : nullptr;
    if (!chosen && current) chosen = DriveOf(current);
    if (!chosen) {
        DriveEntry* c = DriveOf('C');
        if (c) ProbeDrive(c);
        if (c && c->supportState == 1) chosen = c;
        for (auto& entry : m_drives) {
            if (chosen) break;
            ProbeDrive(entry.get());
            if (entry->supportState == 1) chosen = entry.get();
        }
        if (!chosen) chosen = c ? c : m_drives.front().get();
    }
    m_pTree->setCurrentItem(ItemOf(chosen));
    m_pCurrentDrive = chosen;
    m_browser.SelectDrive(chosen);
    RefreshList();
    ShowDriveState(chosen);
}

void CMainDlg::OnDriveSelectionChanged() {
    DriveEntry* entry = SelectedEntry();
    if (!entry || m_bScanning || m_bUndeleting) return;
    m_pCurrentDrive = entry;
    m_browser.SelectDrive(entry);
    RefreshList();
    ShowDriveState(entry);
}

void CMainDlg::ShowDriveState(DriveEntry* entry) {
    const char letter = entry->letter;
    if (entry->parser) {
        ShowPanels(false, false);
        UpdateListStatus();
        const QString rescan = Letter(QString::fromUtf8(text::kRescanButton), letter);
        m_pRescan->setText(rescan);
        Command(ids::ID_FILE_SCAN)->setText(rescan);
        m_pRescan->setEnabled(true);
        Command(ids::ID_FILE_SCAN)->setEnabled(true);
        m_pUndelete->setEnabled(true);
        Command(ids::ID_FILE_UNDELETE)->setEnabled(true);
        return;
    }
    ProbeDrive(entry);
    const QString scan = Letter(QString::fromUtf8(text::kScanButton), letter);
    m_pRescan->setText(scan);
    Command(ids::ID_FILE_SCAN)->setText(scan);
    m_pUndelete->setEnabled(false);
    Command(ids::ID_FILE_UNDELETE)->setEnabled(false);
    if (entry->supportState == 1) {
        ShowPanels(true, false);
        m_pRescan->setEnabled(true);
        Command(ids::ID_FILE_SCAN)->setEnabled(true);
        SetStatus(Letter(QString::fromUtf8(text::kDriveReady), letter));
    } else {
        QString reason;
        if (auto source = platform::DriveTable::Instance().Find(letter)) reason = NotSupportedReason(*source);
        m_pNotSupported->SetText(Letter(QString::fromUtf8(text::kNotSupportedPanel), letter), reason);
        ShowPanels(false, true);
        m_pRescan->setEnabled(false);
        Command(ids::ID_FILE_SCAN)->setEnabled(false);
        SetStatus(Letter(QString::fromUtf8(text::kDriveNotSupportedStatus), letter));
    }
}

void CMainDlg::OnOpenDiskImage() {
    if (m_bScanning || m_bUndeleting) return;
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open Disk Image"), QString(),
        QStringLiteral("Disk Images (*.img *.ima *.dd *.raw *.bin *.iso *.vfd *.flp *.001 *.E01 *.e01 *.Ex01 *.ex01 "
                       "*.vhd *.VHD *.vhdx *.VHDX *.vmdk *.VMDK *.qcow2 *.qcow *.qcow3);;"
                       "Raw Images (*.img *.ima *.dd *.raw *.bin *.iso *.vfd *.flp);;"
                       "Split Raw Images (*.000 *.001);;"
                       "Forensic Images (*.E01 *.e01 *.Ex01 *.ex01);;"
                       "Virtual Machine Disks (*.vhd *.VHD *.vhdx *.VHDX *.vmdk *.VMDK *.qcow2 *.qcow *.qcow3);;"
                       "All Files (*)"));
    if (path.isEmpty()) return;
    const AddedSource added = AddVolumeSource(path.toStdString());
    if (!added.letter) {
        QMessageBox::critical(this, QStringLiteral("Quenvar"),
                              QStringLiteral("%1:\n%2").arg(path, QString::fromStdString(added.reason)));
        return;
    }
    g_Logger.InfoValue("Disk image opened as a drive:", path.toUtf8().constData());
    FillDriveTree(added.letter);
}

void CMainDlg::OnRefreshDrives() {
    if (m_bScanning || m_bUndeleting) return;
    platform::DriveTable::Instance().Reload();
    FillDriveTree(0);
}
