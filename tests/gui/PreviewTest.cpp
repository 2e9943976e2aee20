// The preview of deleted files (a text, a binary and a picture of a FAT volume), the
// content check's column and the "Write Recovery Report" option, driven through the
// main window as a person would.
#include <QAction>
#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <memory>

#include "GuiTestSupport.h"
#include "common/logger/Logger.h"
#include "gui/ContentCheckQueue.h"
#include "gui/ControlIds.h"
#include "gui/FileListModel.h"
#include "gui/MainDlg.h"
#include "gui/PreviewDlg.h"
#include "tests/fixtures/FatImageBuilder.h"

using namespace guitest;

class PreviewTest final : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<IsolatedFolders> m_folders;
    QString m_image;
    QByteArray m_text, m_binary, m_png;

    // A deleted file of the given bytes in the root folder.
    static void AddDeleted(FatImageBuilder& b, const char* name, const QByteArray& bytes) {
        uint32_t first = b.AddFile(b.Root(), name, static_cast<uint32_t>(bytes.size()));
        std::memcpy(b.Image().data() + b.ClusterOffset(first), bytes.constData(), static_cast<size_t>(bytes.size()));
        b.DeleteEntry(b.Root(), b.LastIndex(b.Root()));
    }

    std::unique_ptr<CMainDlg> ScannedDialog() {
        SetDrives({Drive('E', m_image)});
        auto dlg = std::make_unique<CMainDlg>('E');
        dlg->show();
        if (!QTest::qWaitForWindowExposed(dlg.get())) qWarning("window not exposed");
        dlg->SelectDrive('E');
        QTest::mouseClick(dlg->findChild<QPushButton*>(QString::number(ids::IDC_RESCAN)), Qt::LeftButton);
        return dlg;
    }

    static QTreeView* List(CMainDlg& dlg) { return dlg.findChild<QTreeView*>(QString::number(ids::IDC_FILE_LIST)); }

    // Selects the row whose name ends as given (deleted short names lose their first letter).
    static int Select(CMainDlg& dlg, const QString& tail) {
        QTreeView* list = List(dlg);
        for (int r = 0; r < list->model()->rowCount(); ++r) {
            if (list->model()->index(r, 0).data().toString().trimmed().endsWith(tail, Qt::CaseInsensitive)) {
                list->setCurrentIndex(list->model()->index(r, 0));
                list->selectionModel()->select(list->model()->index(r, 0),
                                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                return r;
            }
        }
        QStringList names;
        for (int r = 0; r < list->model()->rowCount(); ++r) names << list->model()->index(r, 0).data().toString();
        qWarning("no row %s in %s", qPrintable(tail), qPrintable(names.join('|')));
        return -1;
    }

    static QStringList FilesUnder(const QString& folder) {
        QStringList files;
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) files << it.next();
        files.sort();
        return files;
    }

    static QByteArray Sha(const QString& path) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    }

private slots:
    void initTestCase() {
        m_folders = std::make_unique<IsolatedFolders>();
        g_Logger.Open(m_folders->File("test.log").toUtf8().constData());
        g_Logger.Activate();
        for (int i = 0; i < 40; ++i)
            m_text += "A line of plain text to preview, number " + QByteArray::number(i) + ".\n";
        for (int i = 0; i < 700; ++i) m_binary += static_cast<char>((i * 37) & 0xFF);
        QImage picture(48, 32, QImage::Format_RGB32);
        picture.fill(QColor(20, 120, 200));
        QBuffer buffer(&m_png);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(picture.save(&buffer, "PNG"));

        FatImageBuilder::Options o;
        o.fatBits = 12;
        FatImageBuilder b(o);
        AddDeleted(b, "NOTES.TXT", m_text);
        AddDeleted(b, "TABLE.BIN", m_binary);
        AddDeleted(b, "PHOTO.PNG", m_png);
        m_image = m_folders->File("fat.img");
        QFile img(m_image);
        QVERIFY(img.open(QIODevice::WriteOnly));
        img.write(reinterpret_cast<const char*>(b.Image().data()), static_cast<qsizetype>(b.Image().size()));
    }

    void aTextABinaryAndAPictureArePreviewedWithoutWritingAnything() {
        auto dlg = ScannedDialog();
        QVERIFY(!dlg->IsScanning());
        const QByteArray imageBefore = Sha(m_image);
        const QStringList filesBefore = FilesUnder(m_folders->Path());

        struct Case {
            const char* tail;
            CPreviewDlg::Mode mode;
        };
        for (const Case& c : {Case{"otes.txt", CPreviewDlg::Mode::Text}, Case{"able.bin", CPreviewDlg::Mode::Hex},
                              Case{"hoto.png", CPreviewDlg::Mode::Picture}}) {
            QVERIFY(Select(*dlg, c.tail) >= 0);
            ModalScript script;
            bool seen = false;
            script.Then([&](QWidget* w) {
                auto* preview = qobject_cast<CPreviewDlg*>(w);
                QVERIFY2(preview, "the preview dialog was expected");
                seen = true;
                QVERIFY(preview->Readable());
                QCOMPARE(preview->CurrentMode(), c.mode);
                QVERIFY(preview->windowTitle().endsWith(c.tail, Qt::CaseInsensitive));
                if (c.mode == CPreviewDlg::Mode::Text) {
                    QCOMPARE(preview->Bytes(), m_text);
                    QCOMPARE(preview->ShownText(), QString::fromUtf8(m_text));
                } else if (c.mode == CPreviewDlg::Mode::Hex) {
                    QCOMPARE(preview->Bytes(), m_binary);
                    const QString dump = preview->ShownText();
                    QVERIFY2(dump.startsWith("00000000  00 25 4a 6f 94 b9 de 03  28 4d 72 97 bc e1 06 2b "),
                             qPrintable(dump.left(80)));
                    QCOMPARE(dump.count(QLatin1Char('\n')), (700 + 15) / 16);
                    // Either way the text view can still be chosen.
                    preview->SetMode(CPreviewDlg::Mode::Text);
                    QCOMPARE(preview->CurrentMode(), CPreviewDlg::Mode::Text);
                } else {
                    QCOMPARE(preview->Picture().size(), QSize(48, 32));
                    QCOMPARE(preview->Picture().pixelColor(5, 5), QColor(20, 120, 200));
                    QVERIFY(preview->InfoText().contains("48 × 32 pixels"));
                }
                preview->reject();
            });
            dlg->Command(ids::ID_FILE_PREVIEW)->trigger();
            QVERIFY2(seen, c.tail);
            QCOMPARE(script.unexpected, 0);
        }
        // Nothing was written: not on the volume, not in the scratch folder, nowhere else.
        QCOMPARE(Sha(m_image), imageBefore);
        QStringList filesAfter = FilesUnder(m_folders->Path());
        filesAfter.removeAll(m_folders->File("test.log"));
        QStringList expected = filesBefore;
        expected.removeAll(m_folders->File("test.log"));
        QCOMPARE(filesAfter, expected);
    }

    void aFolderOrNothingSelectedAsksForAFile() {
        auto dlg = ScannedDialog();
        List(*dlg)->selectionModel()->clearSelection();
        ModalScript script;
        script.ThenOk();
        dlg->Command(ids::ID_FILE_PREVIEW)->trigger();
        QCOMPARE(script.seen.size(), 1);
        QVERIFY(script.seen.first().endsWith("Select file please"));
    }

    void theContentColumnIsFilledForTheRowsShownAndRemembered() {
        {
            auto dlg = ScannedDialog();
            QTreeView* list = List(*dlg);
            QVERIFY(list->isColumnHidden(CFileListModel::kContentColumn));
            dlg->Command(ids::ID_VIEW_CONTENT_COLUMN)->trigger();
            QVERIFY(!list->isColumnHidden(CFileListModel::kContentColumn));
            QCOMPARE(list->model()->headerData(CFileListModel::kContentColumn, Qt::Horizontal).toString(),
                     QStringLiteral("Content"));
            const int row = Select(*dlg, "hoto.png");
            QVERIFY(row >= 0);
            const QModelIndex cell = list->model()->index(row, CFileListModel::kContentColumn);
            // The first answer is a placeholder; the check runs between events.
            QTRY_COMPARE(cell.data().toString(), QStringLiteral("matches"));
            QTRY_COMPARE(
                list->model()->index(Select(*dlg, "otes.txt"), CFileListModel::kContentColumn).data().toString(),
                QStringLiteral("matches"));
            QTRY_COMPARE(
                list->model()->index(Select(*dlg, "able.bin"), CFileListModel::kContentColumn).data().toString(),
                QStringLiteral("unknown type"));
            QVERIFY(list->columnWidth(CFileListModel::kContentColumn) >
                    list->fontMetrics().horizontalAdvance("does not match"));
        }
        auto again = ScannedDialog();
        QVERIFY(again->Command(ids::ID_VIEW_CONTENT_COLUMN)->isChecked());
        QVERIFY(!List(*again)->isColumnHidden(CFileListModel::kContentColumn));
        again->Command(ids::ID_VIEW_CONTENT_COLUMN)->trigger();
    }

    void theRecoveryReportOptionIsRememberedAndWritesTheReport() {
        const QString out = m_folders->File("out");
        QVERIFY(QDir().mkpath(out));
        {
            auto dlg = ScannedDialog();
            QAction* option = dlg->Command(ids::ID_FILE_WRITE_REPORT);
            QVERIFY(option->isCheckable());
            QVERIFY(!option->isChecked());
            option->trigger();
        }
        auto dlg = ScannedDialog();
        QVERIFY(dlg->Command(ids::ID_FILE_WRITE_REPORT)->isChecked());
        auto* destination = dlg->findChild<QLineEdit*>(QString::number(ids::IDC_DESTINATION));
        destination->setText(out);
        QVERIFY(Select(*dlg, "otes.txt") >= 0);
        ModalScript script;
        script.ThenOk();
        dlg->Command(ids::ID_FILE_UNDELETE)->trigger();
        QCOMPARE(script.unexpected, 0);
        QVERIFY2(script.seen.join('\n').contains("was successfully recovered"), qPrintable(script.seen.join('\n')));
        const QByteArray report = ReadAll(out + "/recovery-report.json");
        QVERIFY2(report.contains("\"content\": \"matches\""), report.constData());
        const QString written = QDir(out).entryList({"*otes.txt"}, QDir::Files).value(0);
        QVERIFY(!written.isEmpty());
        QVERIFY(report.contains(Sha(out + "/" + written).toHex()));
        dlg->Command(ids::ID_FILE_WRITE_REPORT)->trigger();
    }
};

QTEST_MAIN(PreviewTest)
#include "PreviewTest.moc"
