// The main window driven as a person would, over the bundled sample volumes (a real
// NTFS and a real FAT12 volume with deleted files) mapped to drive letters.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>
#include <map>
#include <memory>

#include "GuiTestSupport.h"
#include "common/logger/Logger.h"
#include "gui/CancelButton.h"
#include "gui/ControlIds.h"
#include "gui/FileListModel.h"
#include "gui/HintPanel.h"
#include "gui/MainDlg.h"
#include "platform/DynamicLibrary.h"
#include "tests/fixtures/NtfsImageBuilder.h"

using namespace guitest;

// Stands in for the desktop's URL opener.
class UrlCatcher final : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

class MainDlgTest final : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<IsolatedFolders> m_folders;
    QString m_junk;

    template <class W>
    static W* Find(CMainDlg& dlg, int id) {
        W* w = dlg.findChild<W*>(QString::number(id));
        if (!w) qWarning("control %d not found", id);
        return w;
    }
    static QTreeView* List(CMainDlg& dlg) { return Find<QTreeView>(dlg, ids::IDC_FILE_LIST); }
    static QPushButton* Button(CMainDlg& dlg, int id) { return Find<QPushButton>(dlg, id); }
    static bool FileMenuEnabled(CMainDlg& dlg) {
        return dlg.findChild<QMenuBar*>(QString::number(ids::IDR_MAINMENU))->actions().at(0)->isEnabled();
    }

    std::unique_ptr<CMainDlg> MakeDialog(char preferred = 0) {
        SetDrives({Drive('C', m_junk), Drive('E', SamplePath("ntfs-sample.img")),
                   Drive('F', SamplePath("fat-sample.img")), Drive('G', m_folders->File("missing.img"))});
        auto dlg = std::make_unique<CMainDlg>(preferred);
        dlg->show();
        if (!QTest::qWaitForWindowExposed(dlg.get())) qWarning("window not exposed");
        return dlg;
    }

    static void Scan(CMainDlg& dlg, char letter) {
        QVERIFY(dlg.SelectDrive(letter));
        Click(Button(dlg, ids::IDC_RESCAN));
        QVERIFY(!dlg.IsScanning());
    }

    static QStringList Column(CMainDlg& dlg, int column) {
        QStringList texts;
        QAbstractItemModel* model = List(dlg)->model();
        for (int r = 0; r < model->rowCount(); ++r) texts << model->index(r, column).data().toString().trimmed();
        return texts;
    }

    static int RowOf(CMainDlg& dlg, const QString& name) { return Column(dlg, 0).indexOf(name); }

    static void DoubleClickRow(CMainDlg& dlg, int row) {
        QTreeView* list = List(dlg);
        const QModelIndex index = list->model()->index(row, 0);
        list->scrollTo(index);
        const QPoint at = list->visualRect(index).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    static void SelectRows(CMainDlg& dlg, const QStringList& names) {
        QTreeView* list = List(dlg);
        list->selectionModel()->clearSelection();
        for (const QString& name : names) {
            const int row = RowOf(dlg, name);
            QVERIFY2(row >= 0, qPrintable(name));
            list->selectionModel()->select(list->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    void SetDestination(CMainDlg& dlg, const QString& folder) {
        QLineEdit* edit = Find<QLineEdit>(dlg, ids::IDC_DESTINATION);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, folder);
        List(dlg)->setFocus();
    }

private slots:
    void initTestCase() {
        m_folders = std::make_unique<IsolatedFolders>();
        m_junk = m_folders->File("junk.img");
        QFile junk(m_junk);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(1 << 20, '\0'));
        junk.close();
        g_Logger.Open(m_folders->File("test.log").toUtf8().constData());
        g_Logger.Activate();
    }

    void startUpSelectsTheFirstDriveThatCanBeScanned() {
        auto dlg = MakeDialog();
        QTreeWidget* tree = Find<QTreeWidget>(*dlg, ids::IDC_DRIVE_TREE);
        QStringList items;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) items << tree->topLevelItem(i)->text(0);
        QCOMPARE(items, QStringList({"C:", "E:", "F:", "G:"}));
        QCOMPARE(tree->currentItem()->text(0), QStringLiteral("E:"));
        QCOMPARE(Button(*dlg, ids::IDC_RESCAN)->text(), QStringLiteral("Scan E:"));
        QVERIFY(Button(*dlg, ids::IDC_RESCAN)->isEnabled());
        QVERIFY(!Button(*dlg, ids::IDC_UNDELETE)->isEnabled());
        QVERIFY(!dlg->Command(ids::ID_FILE_UNDELETE)->isEnabled());
        QCOMPARE(dlg->Command(ids::ID_FILE_SCAN)->text(), QStringLiteral("Scan E:"));
        QCOMPARE(dlg->StatusText(), QStringLiteral(" Drive E: is ready for scanning for deleted files"));
        auto* invitation = Find<CHintPanel>(*dlg, ids::IDC_INVITATION_PANEL);
        QVERIFY(invitation->isVisible());
        QCOMPARE(invitation->Text(),
                 QStringLiteral("Select drive to scan for deleted files and click the Scan button"));
        QVERIFY(!Find<CHintPanel>(*dlg, ids::IDC_NOT_SUPPORTED_PANEL)->isVisible());
        QCOMPARE(Find<QLineEdit>(*dlg, ids::IDC_FILES_FILTER)->text(), QStringLiteral("*.*"));
        QCOMPARE(Find<QLineEdit>(*dlg, ids::IDC_FOLDERS_FILTER)->text(), QStringLiteral("*"));
        QCOMPARE(Find<QLabel>(*dlg, ids::IDC_FILES_FILTER_LABEL)->text(), QStringLiteral("Filter found files:"));
        QCOMPARE(Find<QLabel>(*dlg, ids::IDC_DESTINATION_LABEL)->text(),
                 QStringLiteral("Undelete selected file(s) to:"));
        QVERIFY(Find<QLineEdit>(*dlg, ids::IDC_DESTINATION)->text().startsWith(m_folders->Path()));
        QVERIFY(!dlg->findChild<CCancelButton*>()->isVisible());
        QVERIFY(!dlg->findChild<QProgressBar*>()->isVisible());
        // Labels are never cut by the desktop's font.
        for (int id : {ids::IDC_FILES_FILTER_LABEL, ids::IDC_FOLDERS_FILTER_LABEL, ids::IDC_DESTINATION_LABEL}) {
            QLabel* label = Find<QLabel>(*dlg, id);
            QVERIFY(label->width() >= label->sizeHint().width());
        }
        // Every column shows its header and typical cells whole.
        QTreeView* list = List(*dlg);
        for (int c = 0; c < 7; ++c) {
            const QString title = list->model()->headerData(c, Qt::Horizontal).toString();
            QVERIFY(list->columnWidth(c) > list->fontMetrics().horizontalAdvance(title));
        }
        QVERIFY(list->columnWidth(5) > list->fontMetrics().horizontalAdvance("00.00.0000 00:00"));
    }

    void aMissingRuntimeLibraryEndsTheStartUpWithMinusOne() {
        platform::DynamicLibrary::SetRuntimeLibraryNameForTesting("libquenvar-missing-runtime.so");
        int thrown = 0;
        try {
            CMainDlg dlg;
        } catch (int value) {
            thrown = value;
        }
        platform::DynamicLibrary::SetRuntimeLibraryNameForTesting(nullptr);
        QCOMPARE(thrown, -1);
    }

    void aDriveThatCannotBeScannedSaysWhy() {
        auto dlg = MakeDialog();
        QVERIFY(dlg->SelectDrive('C'));
        auto* panel = Find<CHintPanel>(*dlg, ids::IDC_NOT_SUPPORTED_PANEL);
        QVERIFY(panel->isVisible());
        QVERIFY(!Find<CHintPanel>(*dlg, ids::IDC_INVITATION_PANEL)->isVisible());
        QCOMPARE(panel->Text(), QStringLiteral("Drive C: undelete is not supported"));
        QVERIFY2(panel->Reason().contains("holds no NTFS, FAT12, FAT16, FAT32 or exFAT file system"),
                 qPrintable(panel->Reason()));
        QCOMPARE(Button(*dlg, ids::IDC_RESCAN)->text(), QStringLiteral("Scan C:"));
        QVERIFY(!Button(*dlg, ids::IDC_RESCAN)->isEnabled());
        QVERIFY(!dlg->Command(ids::ID_FILE_SCAN)->isEnabled());
        QVERIFY(!dlg->Command(ids::ID_FILE_UNDELETE)->isEnabled());
        QCOMPARE(dlg->StatusText(), QStringLiteral("Drive C: undelete not supported"));
        QCOMPARE(dlg->CurrentDrive()->supportState, -1);

        // A double click on its item (the Scan command) changes nothing.
        QTreeWidget* tree = Find<QTreeWidget>(*dlg, ids::IDC_DRIVE_TREE);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(tree->currentItem()).center());
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(tree->currentItem()).center());
        QVERIFY(dlg->CurrentDrive()->parser == nullptr);
        QCOMPARE(dlg->StatusText(), QStringLiteral("Drive C: undelete not supported"));

        QVERIFY(dlg->SelectDrive('G'));
        QVERIFY2(panel->Reason().contains("cannot be found"), qPrintable(panel->Reason()));
        QCOMPARE(panel->Text(), QStringLiteral("Drive G: undelete is not supported"));
    }

    void scanOfAnNtfsVolumeThroughTheButton() {
        auto dlg = MakeDialog();
        QAbstractItemModelTester tester(dlg->ListModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        Scan(*dlg, 'E');
        QCOMPARE(Column(*dlg, 0), QStringList({"Documents", "Photos"}));
        QCOMPARE(Column(*dlg, 2), QStringList({"/", "/"}));
        QCOMPARE(Column(*dlg, 3), QStringList({"Good", "Good"}));
        QCOMPARE(Column(*dlg, 4), QStringList({"0 KB", "0 KB"}));
        QCOMPARE(
            dlg->StatusText(),
            QStringLiteral(" Current folder of drive E: has 2 deleted structures, 0 files and 2 folders match filter"));
        QCOMPARE(Button(*dlg, ids::IDC_RESCAN)->text(), QStringLiteral("Rescan E:"));
        QCOMPARE(dlg->Command(ids::ID_FILE_SCAN)->text(), QStringLiteral("Rescan E:"));
        QVERIFY(Button(*dlg, ids::IDC_UNDELETE)->isEnabled());
        QVERIFY(dlg->Command(ids::ID_FILE_UNDELETE)->isEnabled());
        QVERIFY(!Find<CHintPanel>(*dlg, ids::IDC_INVITATION_PANEL)->isVisible());
        QVERIFY(!dlg->findChild<CCancelButton*>()->isVisible());
        QVERIFY(dlg->cursor().shape() != Qt::WaitCursor);

        // Into Documents, where the ".." row leads back; then back up with it.
        DoubleClickRow(*dlg, RowOf(*dlg, "Documents"));
        QCOMPARE(Column(*dlg, 0), QStringList({"..", "Letters", "numbers.txt"}));
        QCOMPARE(Column(*dlg, 2).mid(1), QStringList({"/Documents/", "/Documents/"}));
        QCOMPARE(Column(*dlg, 4).at(2), QStringLiteral("106 KB"));
        QCOMPARE(Column(*dlg, 1).at(0), QString());
        QVERIFY(!Column(*dlg, 1).at(2).isEmpty());
        QCOMPARE(
            dlg->StatusText(),
            QStringLiteral(" Current folder of drive E: has 2 deleted structures, 1 files and 1 folders match filter"));
        DoubleClickRow(*dlg, RowOf(*dlg, "Letters"));
        QCOMPARE(Column(*dlg, 0), QStringList({"..", "letter.txt"}));
        // Backspace goes up, as the ".." row does.
        List(*dlg)->setFocus();
        QTest::keyClick(List(*dlg), Qt::Key_Backspace);
        QCOMPARE(Column(*dlg, 0), QStringList({"..", "Letters", "numbers.txt"}));
        DoubleClickRow(*dlg, RowOf(*dlg, ".."));
        QCOMPARE(Column(*dlg, 0), QStringList({"Documents", "Photos"}));

        // A rescan reuses the parser and lists the root again.
        CFileSystemParser* parser = dlg->CurrentDrive()->parser.get();
        Scan(*dlg, 'E');
        QCOMPARE(dlg->CurrentDrive()->parser.get(), parser);
        QCOMPARE(Column(*dlg, 0), QStringList({"Documents", "Photos"}));
    }

    void scanOfAFatVolumeThroughADoubleClick() {
        auto dlg = MakeDialog();
        QTreeWidget* tree = Find<QTreeWidget>(*dlg, ids::IDC_DRIVE_TREE);
        QVERIFY(dlg->SelectDrive('F'));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(tree->currentItem()).center());
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(tree->currentItem()).center());
        QVERIFY(dlg->CurrentDrive()->parser != nullptr);
        QCOMPARE(Column(*dlg, 0), QStringList({"Reports"}));
        QCOMPARE(Button(*dlg, ids::IDC_RESCAN)->text(), QStringLiteral("Rescan F:"));
        DoubleClickRow(*dlg, 0);
        QCOMPARE(Column(*dlg, 0).size(), 3);
        QCOMPARE(Column(*dlg, 0).at(0), QStringLiteral(".."));
        QCOMPARE(Column(*dlg, 0).at(2), QStringLiteral("All the numbers.txt"));
        QCOMPARE(Column(*dlg, 4).at(2), QStringLiteral("13 KB"));

        // Switching drives keeps each drive's listing.
        QVERIFY(dlg->SelectDrive('E'));
        QCOMPARE(Column(*dlg, 0), QStringList());
        QCOMPARE(Button(*dlg, ids::IDC_RESCAN)->text(), QStringLiteral("Scan E:"));
        QVERIFY(dlg->SelectDrive('F'));
        QCOMPARE(Column(*dlg, 0).size(), 3);
    }

    void columnClicksSortAscendingDescendingAscending() {
        auto dlg = MakeDialog();
        Scan(*dlg, 'E');
        DoubleClickRow(*dlg, RowOf(*dlg, "Documents"));
        QHeaderView* header = List(*dlg)->header();
        auto click = [&](int column) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                                     header->height() / 2));
        };
        click(0);
        QCOMPARE(Column(*dlg, 0), QStringList({"..", "Letters", "numbers.txt"}));
        QCOMPARE(dlg->Browser().SortStateValue(), 1);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        click(0);
        QCOMPARE(Column(*dlg, 0), QStringList({"numbers.txt", "Letters", ".."}));
        QCOMPARE(dlg->Browser().SortStateValue(), 2);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        click(0);
        QCOMPARE(Column(*dlg, 0), QStringList({"..", "Letters", "numbers.txt"}));
        // Size: the folder rows (0 bytes) before the 106 KB file, then reversed.
        click(4);
        QCOMPARE(Column(*dlg, 0).last(), QStringLiteral("numbers.txt"));
        click(4);
        QCOMPARE(Column(*dlg, 0).first(), QStringLiteral("numbers.txt"));
        QCOMPARE(dlg->Browser().SortColumn(), 4);
    }

    void filtersApplyAsTypedAndClearFilterResetsThem() {
        auto dlg = MakeDialog();
        Scan(*dlg, 'E');
        DoubleClickRow(*dlg, RowOf(*dlg, "Documents"));
        QLineEdit* files = Find<QLineEdit>(*dlg, ids::IDC_FILES_FILTER);
        QLineEdit* folders = Find<QLineEdit>(*dlg, ids::IDC_FOLDERS_FILTER);

        files->setFocus();
        files->selectAll();
        QTest::keyClicks(files, "NUM");
        QCOMPARE(Column(*dlg, 0), QStringList({"..", "Letters", "numbers.txt"}));
        files->selectAll();
        QTest::keyClicks(files, "let");
        QCOMPARE(Column(*dlg, 0), QStringList({"..", "Letters"}));
        QCOMPARE(
            dlg->StatusText(),
            QStringLiteral(" Current folder of drive E: has 2 deleted structures, 0 files and 1 folders match filter"));

        folders->setFocus();
        folders->selectAll();
        QTest::keyClicks(folders, "x");
        QCOMPARE(Column(*dlg, 0), QStringList({".."}));
        QTest::keyClick(folders, Qt::Key_Return);
        QCOMPARE(Column(*dlg, 0), QStringList({".."}));
        QVERIFY(dlg->isVisible());  // Enter applies the filter and leaves the window open

        Click(Button(*dlg, ids::IDC_CLEAR_FILTER));
        QCOMPARE(files->text(), QStringLiteral("*.*"));
        QCOMPARE(folders->text(), QString());
        QCOMPARE(Column(*dlg, 0), QStringList({"..", "Letters", "numbers.txt"}));
        QCOMPARE(
            dlg->StatusText(),
            QStringLiteral(" Current folder of drive E: has 2 deleted structures, 1 files and 1 folders match filter"));
    }

    void undeleteOfAFileAndOfAFolder() {
        auto dlg = MakeDialog();
        Scan(*dlg, 'E');
        QTemporaryDir out;
        SetDestination(*dlg, out.path());

        // Nothing selected.
        List(*dlg)->selectionModel()->clearSelection();
        {
            ModalScript none;
            none.ThenOk();
            Click(Button(*dlg, ids::IDC_UNDELETE));
            QCOMPARE(none.seen, QStringList({"Quenvar|Select file please"}));
        }

        {
            ModalScript folder;
            folder.ThenOk();
            SelectRows(*dlg, {"Photos"});
            Click(Button(*dlg, ids::IDC_UNDELETE));
            QCOMPARE(folder.seen.size(), 1);
            QVERIFY2(folder.seen[0].startsWith("Quenvar|Folder '") &&
                         folder.seen[0].endsWith("was successfully recovered: 1 files, 1 subfolders"),
                     qPrintable(folder.seen[0]));
        }
        QCOMPARE(QFileInfo(out.filePath("Photos/holiday.jpg")).size(), 150000);

        DoubleClickRow(*dlg, RowOf(*dlg, "Documents"));
        {
            ModalScript file;
            file.ThenOk();
            SelectRows(*dlg, {"numbers.txt"});
            Click(Button(*dlg, ids::IDC_UNDELETE));
            QCOMPARE(file.seen, QStringList({"Quenvar|File 'numbers.txt' was successfully recovered."}));
        }
        QByteArray expected;
        for (int i = 1; i <= 20000; ++i) expected += QByteArray::number(i) + '\n';
        QCOMPARE(ReadAll(out.filePath("numbers.txt")), expected);
        QVERIFY(!dlg->findChild<CCancelButton*>()->isVisible());
        QCOMPARE(dlg->cursor().shape(), Qt::ArrowCursor);

        // The ".." row selected first: nothing to do.
        {
            ModalScript up;
            up.ThenOk();
            SelectRows(*dlg, {".."});
            Click(Button(*dlg, ids::IDC_UNDELETE));
            QCOMPARE(up.seen, QStringList({"Quenvar|Select file please"}));
        }

        // A double click on a file row undeletes the selection.
        QTemporaryDir second;
        SetDestination(*dlg, second.path());
        ModalScript byDoubleClick;
        byDoubleClick.ThenOk();
        DoubleClickRow(*dlg, RowOf(*dlg, "numbers.txt"));
        QCOMPARE(byDoubleClick.seen, QStringList({"Quenvar|File 'numbers.txt' was successfully recovered."}));
        QCOMPARE(ReadAll(second.filePath("numbers.txt")), expected);
    }

    void recoverNamedStreamsIsAnOptionKeptAcrossSessions() {
        fixture::NtfsImageBuilder builder;
        const uint32_t n = builder.AddFile(5, u"notes.txt", {'m', 'a', 'i', 'n'}, true);
        builder.Record(n).ResidentData({'s', 'i', 'd', 'e'}, u"extra");
        const std::vector<uint8_t> image = builder.Build();
        const QString path = m_folders->File("streams.img");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(image.size()));
        file.close();
        SetDrives({Drive('E', path)});

        auto undelete = [this](CMainDlg& dlg, const QString& folder) {
            SetDestination(dlg, folder);
            ModalScript done;
            done.ThenOk();
            SelectRows(dlg, {"notes.txt"});
            Click(Button(dlg, ids::IDC_UNDELETE));
            QCOMPARE(done.seen, QStringList({"Quenvar|File 'notes.txt' was successfully recovered."}));
        };
        QTemporaryDir without, with;
        {
            CMainDlg dlg;
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            QAction* option = dlg.findChild<QAction*>(QString::number(ids::ID_FILE_RECOVER_STREAMS));
            QVERIFY(option && option->isCheckable());
            QCOMPARE(option->text(), QStringLiteral("Recover Named Streams"));
            QVERIFY(!option->isChecked());
            Scan(dlg, 'E');
            undelete(dlg, without.path());
            QCOMPARE(QDir(without.path()).entryList(QDir::Files), QStringList({"notes.txt"}));
            option->trigger();
            undelete(dlg, with.path());
            QCOMPARE(ReadAll(with.filePath("notes.txt:extra")), QByteArray("side"));
            QCOMPARE(ReadAll(with.filePath("notes.txt")), QByteArray("main"));
        }
        CMainDlg again;
        QAction* kept = again.findChild<QAction*>(QString::number(ids::ID_FILE_RECOVER_STREAMS));
        QVERIFY(kept->isChecked());
        kept->trigger();
        QVERIFY(!CMainDlg().findChild<QAction*>(QString::number(ids::ID_FILE_RECOVER_STREAMS))->isChecked());
    }

    void overwriteQuestionAnsweredYesNoAllAndCancel() {
        auto dlg = MakeDialog();
        Scan(*dlg, 'E');
        DoubleClickRow(*dlg, RowOf(*dlg, "Documents"));
        QTemporaryDir out;
        SetDestination(*dlg, out.path());
        QFile existing(out.filePath("numbers.txt"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("mine\n");
        existing.close();
        const QString question =
            "File numbers.txt already exists in the destination folder.\nDo you want to overwrite it?";
        QByteArray expected;
        for (int i = 1; i <= 20000; ++i) expected += QByteArray::number(i) + '\n';
        auto answer = [&](ModalScript& script, int button, QString* asked) {
            script.Then([=](QWidget* w) {
                QCOMPARE(w->windowTitle(), QStringLiteral("Confirm File Overwrite"));
                if (asked) *asked = w->findChild<QLabel*>(QString::number(ids::IDC_OVERWRITE_TEXT))->text();
                QVERIFY(!w->findChild<QLabel*>(QString::number(ids::IDC_OVERWRITE_ICON))->pixmap().isNull());
                Click(w->findChild<QPushButton*>(QString::number(button)));
            });
        };

        {  // No: nothing written, no message.
            ModalScript script;
            QString asked;
            answer(script, ids::IDNO, &asked);
            SelectRows(*dlg, {"numbers.txt"});
            Click(Button(*dlg, ids::IDC_UNDELETE));
            QCOMPARE(asked, question);
            QCOMPARE(script.seen, QStringList());
            QCOMPARE(script.unexpected, 0);
            QCOMPARE(ReadAll(out.filePath("numbers.txt")), QByteArray("mine\n"));
            QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList({"numbers.txt"}));
        }
        {  // Yes: written beside the existing file under a free name; the user's file stays.
            ModalScript script;
            answer(script, ids::IDOK, nullptr);
            script.ThenOk();
            SelectRows(*dlg, {"numbers.txt"});
            Click(Button(*dlg, ids::IDC_UNDELETE));
            QCOMPARE(script.seen, QStringList({"Quenvar|File 'numbers.txt' was successfully recovered."}));
            QCOMPARE(ReadAll(out.filePath("numbers.txt")), QByteArray("mine\n"));
            QCOMPARE(ReadAll(out.filePath("numbers(1).txt")), expected);
        }
        QVERIFY(QDir(out.path()).mkdir("Letters"));
        {  // Cancel: the job ends at once, nothing more is written.
            ModalScript script;
            answer(script, ids::IDCANCEL, nullptr);
            SelectRows(*dlg, {"numbers.txt", "Letters"});
            Click(Button(*dlg, ids::IDC_UNDELETE));
            QCOMPARE(script.seen, QStringList());
            QCOMPARE(script.unexpected, 0);
            QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
                     QStringList({"Letters", "numbers(1).txt", "numbers.txt"}));
            QCOMPARE(QDir(out.filePath("Letters")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
        }
        {  // All at the first question: no second question in this job.
            ModalScript script;
            answer(script, ids::IDALL, nullptr);
            script.ThenOk().ThenOk();
            SelectRows(*dlg, {"numbers.txt", "Letters"});
            Click(Button(*dlg, ids::IDC_UNDELETE));
            QCOMPARE(script.unexpected, 0);
            QCOMPARE(script.seen.size(), 2);
            QVERIFY2(script.seen[0].contains("Folder 'Letters' was successfully recovered"),
                     qPrintable(script.seen[0]));
            QCOMPARE(script.seen[1], QStringLiteral("Quenvar|File 'numbers.txt' was successfully recovered."));
            QCOMPARE(ReadAll(out.filePath("numbers(2).txt")), expected);
        }
        {  // The next job asks again.
            ModalScript script;
            QString asked;
            answer(script, ids::IDNO, &asked);
            SelectRows(*dlg, {"numbers.txt"});
            Click(Button(*dlg, ids::IDC_UNDELETE));
            QCOMPARE(asked, question);
        }
    }

    void resizingFollowsTheAnchorTableAndStopsAtTheTemplateSize() {
        auto dlg = MakeDialog();
        QWidget* client = dlg->findChild<QWidget*>("client");
        auto geometry = [&](int id) { return dlg->findChild<QWidget*>(QString::number(id))->geometry(); };
        const QSize client0 = client->size();
        std::map<int, QRect> before;
        const int all[] = {ids::IDC_DRIVE_TREE,         ids::IDC_RESCAN,         ids::IDC_FILE_LIST,
                           ids::IDC_FILES_FILTER,       ids::IDC_FOLDERS_FILTER, ids::IDC_CLEAR_FILTER,
                           ids::IDC_DESTINATION,        ids::IDC_BROWSE,         ids::IDC_UNDELETE,
                           ids::IDC_FILES_FILTER_LABEL, ids::IDC_ETCHED_VERTICAL};
        for (int id : all) before[id] = geometry(id);

        dlg->resize(dlg->width() + 200, dlg->height() + 100);
        QTRY_COMPARE(client->size(), client0 + QSize(200, 100));
        const int dx = 200, dy = 100;
        auto moved = [&](int id, int l, int t, int r, int b) {
            const QRect was = before[id], now = geometry(id);
            QCOMPARE(now.left(), was.left() + l);
            QCOMPARE(now.top(), was.top() + t);
            QCOMPARE(now.left() + now.width(), was.left() + was.width() + r);
            QCOMPARE(now.top() + now.height(), was.top() + was.height() + b);
        };
        moved(ids::IDC_FILE_LIST, 0, 0, dx, dy);
        moved(ids::IDC_DRIVE_TREE, 0, 0, 0, dy);
        moved(ids::IDC_RESCAN, 0, 0, 0, 0);
        for (int id : {ids::IDC_FILES_FILTER, ids::IDC_DESTINATION, ids::IDC_FILES_FILTER_LABEL})
            moved(id, 0, dy, dx, dy);
        for (int id : {ids::IDC_FOLDERS_FILTER, ids::IDC_CLEAR_FILTER, ids::IDC_BROWSE, ids::IDC_UNDELETE,
                       ids::IDC_ETCHED_VERTICAL})
            moved(id, dx, dy, dx, dy);

        // Smaller than the template is refused; back at it, every control is where it began.
        dlg->resize(200, 150);
        QTRY_COMPARE(client->size(), client->minimumSize());
        QVERIFY(dlg->width() >= client->minimumSize().width());
        for (int id : all) QCOMPARE(geometry(id), before[id]);
    }

    void enterAndEscDoNothingExitAndTheCloseBoxEndTheWindow() {
        auto dlg = MakeDialog();
        QTest::keyClick(dlg.get(), Qt::Key_Escape);
        QTest::keyClick(dlg.get(), Qt::Key_Return);
        QVERIFY(dlg->isVisible());
        dlg->Command(ids::ID_APP_EXIT)->trigger();
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), 1);

        auto second = MakeDialog();
        QVERIFY(second->close());
        QVERIFY(!second->isVisible());
        QCOMPARE(second->result(), 0);
    }

    void shiftScanAsksForALogFile() {
        auto dlg = MakeDialog();
        const QByteArray previous = g_Logger.GetLogFileName();
        const QString chosen = m_folders->File("chosen");
        {
            ModalScript script;
            script.Then([](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                QVERIFY(box);
                QCOMPARE(box->windowTitle(), QStringLiteral("Logging Mode"));
                QCOMPARE(box->icon(), QMessageBox::Question);
                Click(box->button(QMessageBox::Ok));
            });
            script.Then([&](QWidget* w) {
                auto* files = qobject_cast<QFileDialog*>(w);
                QVERIFY(files);
                QCOMPARE(files->defaultSuffix(), QStringLiteral("log"));
                QLineEdit* name = files->findChild<QLineEdit*>("fileNameEdit");
                QVERIFY(name);
                name->setText(chosen);
                QTest::keyClick(name, Qt::Key_Return);
            });
            QTest::mouseClick(Button(*dlg, ids::IDC_RESCAN), Qt::LeftButton, Qt::ShiftModifier);
            QCOMPARE(script.unexpected, 0);
        }
        QCOMPARE(QString::fromUtf8(g_Logger.GetLogFileName()), chosen + ".log");
        QVERIFY(ReadAll(chosen + ".log").contains(" ----------< Scanning MFT Structure."));
        QCOMPARE(Column(*dlg, 0), QStringList({"Documents", "Photos"}));

        // Cancelled at the file dialog: the scan runs and the log stays where it was.
        {
            ModalScript script;
            script.ThenOk();
            script.Then([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
            QTest::mouseClick(Button(*dlg, ids::IDC_RESCAN), Qt::LeftButton, Qt::ShiftModifier);
        }
        QCOMPARE(QString::fromUtf8(g_Logger.GetLogFileName()), chosen + ".log");
        g_Logger.Open(previous.constData());
    }

    void cancelStopsALongScanWithWhatWasFound() {
        // A volume big enough that its scan is still running when Cancel is clicked.
        constexpr uint32_t kFiles = 60000;
        fixture::NtfsImageBuilder::Options options;
        options.sectorsPerCluster = 8;
        options.mftRecords = kFiles + 64;
        options.totalSectors = (uint64_t{options.mftRecords} * 1024 * 2) / 512 + 16384;
        fixture::NtfsImageBuilder builder(options);
        for (uint32_t i = 0; i < kFiles; ++i)
            builder.Record(16 + i)
                .InUse(false)
                .StandardInformation(builder.fileTime, builder.fileTime)
                .FileName(5, u"file" + QString::number(i).toStdU16String() + u".txt")
                .ResidentData({});
        const std::vector<uint8_t> image = builder.Build();
        const QString path = m_folders->File("big.img");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(image.size()));
        file.close();

        SetDrives({Drive('E', path)});
        CMainDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* progress = dlg.findChild<QProgressBar*>();
        auto* cancel = dlg.findChild<CCancelButton*>();
        bool sawRunning = false;
        QTimer watcher;
        watcher.setInterval(1);
        connect(&watcher, &QTimer::timeout, [&] {
            if (!dlg.IsScanning() || progress->value() < 1) return;
            sawRunning = cancel->isVisible() && progress->isVisible() && !Button(dlg, ids::IDC_RESCAN)->isEnabled() &&
                         !Button(dlg, ids::IDC_CLEAR_FILTER)->isEnabled() &&
                         !Button(dlg, ids::IDC_BROWSE)->isEnabled() && !FileMenuEnabled(dlg) &&
                         dlg.cursor().shape() == Qt::WaitCursor &&
                         dlg.StatusText() == QStringLiteral(" Scanning drive E: ");
            watcher.stop();
            if (!sawRunning)
                qWarning("running state: cancel %d progress %d rescan %d scan %d cursor %d status '%s'",
                         cancel->isVisible(), progress->isVisible(), Button(dlg, ids::IDC_RESCAN)->isEnabled(),
                         FileMenuEnabled(dlg), dlg.cursor().shape(), qPrintable(dlg.StatusText()));
            Click(cancel);
        });
        watcher.start();
        Click(Button(dlg, ids::IDC_RESCAN));
        QVERIFY(sawRunning);
        QCOMPARE(dlg.CurrentDrive()->scanStatus, -1000);
        const int rows = dlg.ListModel()->rowCount();
        QVERIFY2(rows < static_cast<int>(kFiles), qPrintable(QString::number(rows)));
        QVERIFY(ReadAll(m_folders->File("test.log")).contains("PrepareDirectoryTree() returns -1000"));
        QVERIFY(Button(dlg, ids::IDC_RESCAN)->isEnabled());
        QVERIFY(FileMenuEnabled(dlg));
        QVERIFY(!cancel->isVisible());
        QVERIFY(dlg.cursor().shape() != Qt::WaitCursor);

        // The close box during a scan stops it and closes the window.
        bool closeRefused = false;
        connect(&watcher, &QTimer::timeout, &dlg, [&] {
            if (!dlg.IsScanning() || progress->value() < 1) return;
            watcher.stop();
            closeRefused = !dlg.close();
        });
        watcher.start();
        Click(Button(dlg, ids::IDC_RESCAN));
        QVERIFY(closeRefused);  // the window waits for the worker, which stops at once
        QCOMPARE(dlg.CurrentDrive()->scanStatus, -1000);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), 0);
    }

    void helpCommandsOpenTheProfilePagesAndTheLogFolder() {
        auto dlg = MakeDialog();
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("https", &catcher, "Open");
        QDesktopServices::setUrlHandler("file", &catcher, "Open");
        dlg->Command(ids::ID_HELP_SUPPORT)->trigger();
        dlg->Command(ids::ID_HELP_WEBSITE)->trigger();
        dlg->Command(ids::ID_OPEN_LOG_FOLDER)->trigger();
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(catcher.urls.size(), 3);
        QCOMPARE(catcher.urls[0], QUrl(dlg->ProfileValue("SupportURL")));
        QCOMPARE(catcher.urls[1], QUrl(dlg->ProfileValue("HomeURL")));
        QVERIFY(!dlg->ProfileValue("HomeURL").isEmpty());
        QCOMPARE(catcher.urls[2], QUrl::fromLocalFile(m_folders->Path()));
        // The File menu: Open Log Folder and a separator just above Exit.
        QList<QAction*> file =
            dlg->Command(ids::ID_APP_EXIT)->associatedObjects().isEmpty()
                ? QList<QAction*>()
                : qobject_cast<QMenu*>(dlg->Command(ids::ID_APP_EXIT)->associatedObjects().first())->actions();
        QVERIFY(file.size() >= 3);
        QCOMPARE(file.last()->text(), QStringLiteral("Exit"));
        QVERIFY(file[file.size() - 2]->isSeparator());
        QCOMPARE(file[file.size() - 3]->text(), QStringLiteral("Open &Log Folder.."));
    }

    void aDestinationInAMountOfTheScannedImageIsRefused() {
        const QString copy = m_folders->File("mounted.img");
        QVERIFY(QFile::copy(SamplePath("ntfs-sample.img"), copy));
        const QString mountPoint = m_folders->File("m");
        QVERIFY(QDir().mkpath(mountPoint));
        if (QProcess::execute("ntfs-3g", {copy, mountPoint}) != 0)
            QSKIP("ntfs-3g cannot mount here (needs root and FUSE)");
        struct Unmount {
            QString at;
            ~Unmount() { QProcess::execute("umount", {at}); }
        } unmount{mountPoint};

        SetDrives({Drive('E', copy)});
        CMainDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Scan(dlg, 'E');
        SetDestination(dlg, mountPoint + "/Documents/");
        ModalScript script;
        script.ThenOk();
        SelectRows(dlg, {"Photos"});
        Click(Button(dlg, ids::IDC_UNDELETE));
        QCOMPARE(script.seen,
                 QStringList({"Cannot Undelete to Drive E:|Select destination folder on a different drive. "
                              "Saving to drive E:\nmay harm the file(s) you want to undelete."}));
        QVERIFY(!QFile::exists(mountPoint + "/Documents/Photos"));
    }

    void closingDuringAnUndeleteEndsItThenTheWindow() {
        auto dlg = MakeDialog();
        Scan(*dlg, 'E');
        QTemporaryDir out;
        SetDestination(*dlg, out.path());
        ModalScript script;
        // The first result box is up: the user closes the window, then answers the box.
        script.Then([&](QWidget* w) {
            QVERIFY(dlg->IsUndeleting());
            QVERIFY(!dlg->close());
            Click(qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ok));
        });
        SelectRows(*dlg, {"Documents", "Photos"});
        Click(Button(*dlg, ids::IDC_UNDELETE));
        QCOMPARE(script.unexpected, 0);
        QCOMPARE(script.seen.size(), 1);
        QVERIFY(!QFile::exists(out.filePath("Photos")));
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), 0);
    }

    void openDiskImageAddsADriveAndSelectsIt() {
        auto dlg = MakeDialog();
        const QString copy = m_folders->File("opened.img");
        QFile::remove(copy);
        QVERIFY(QFile::copy(SamplePath("fat-sample.img"), copy));
        ModalScript script;
        script.Then([&](QWidget* w) {
            auto* files = qobject_cast<QFileDialog*>(w);
            QVERIFY(files);
            QLineEdit* name = files->findChild<QLineEdit*>("fileNameEdit");
            QVERIFY(name);
            name->setText(copy);
            QTest::keyClick(name, Qt::Key_Return);
        });
        dlg->Command(ids::ID_FILE_OPEN_IMAGE)->trigger();
        QCOMPARE(script.unexpected, 0);
        QTreeWidget* tree = Find<QTreeWidget>(*dlg, ids::IDC_DRIVE_TREE);
        QCOMPARE(tree->topLevelItemCount(), 5);
        QCOMPARE(tree->currentItem()->text(0), QStringLiteral("D:"));
        QCOMPARE(dlg->StatusText(), QStringLiteral(" Drive D: is ready for scanning for deleted files"));
        Scan(*dlg, 'D');
        QCOMPARE(Column(*dlg, 0), QStringList({"Reports"}));

        // Refresh Drives keeps the opened image and the scans of unchanged drives.
        QTest::keyClick(dlg.get(), Qt::Key_F5);
        QVERIFY(dlg->DriveOf('D') && dlg->DriveOf('D')->parser);
        QCOMPARE(tree->currentItem()->text(0), QStringLiteral("D:"));
        QCOMPARE(Column(*dlg, 0), QStringList({"Reports"}));
    }
};

QTEST_MAIN(MainDlgTest)
#include "MainDlgTest.moc"
