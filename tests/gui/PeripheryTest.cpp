// The periphery of the main window driven as a person would: the MFT dump dialog over
// fixture NTFS volumes mapped to letters, the About box and its Diagnostics..., the help
// window through the help loader, and the toolbox entries of the runtime library.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QUrlQuery>
#include <memory>

#include "GuiTestSupport.h"
#include "common/logger/Logger.h"
#include "gui/AboutDlg.h"
#include "gui/ControlIds.h"
#include "gui/DiagnosticsFlow.h"
#include "gui/HelpLoader.h"
#include "gui/HelpWindow.h"
#include "gui/MFTDumpDlg.h"
#include "gui/MainDlg.h"
#include "tests/fixtures/NtfsImageBuilder.h"

using namespace guitest;

namespace {

// A fixture NTFS volume of 4 KiB clusters whose MFT starts at cluster 16, written to a file.
QString WriteNtfsVolume(const QString& path) {
    fixture::NtfsImageBuilder::Options options;
    options.sectorsPerCluster = 8;
    options.totalSectors = 8192;
    fixture::NtfsImageBuilder builder(options);
    builder.AddFile(5, u"kept.txt", std::vector<uint8_t>(5000, 'k'));
    builder.AddFile(5, u"gone.txt", std::vector<uint8_t>(7000, 'g'), true);
    const std::vector<uint8_t> image = builder.Build();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(image.size()));
    return path;
}

QStringList Lines(const QString& text) { return text.split(QLatin1Char('\n')); }

// The names of the members of a ZIP archive, from its central directory.
QStringList ArchiveMembers(const QByteArray& zip) {
    QStringList names;
    for (qsizetype at = zip.indexOf("PK\x01\x02"); at >= 0 && at + 46 <= zip.size();
         at = zip.indexOf("PK\x01\x02", at + 4)) {
        const auto u16 = [&](qsizetype off) {
            return static_cast<int>(static_cast<uint8_t>(zip[at + off]) |
                                    (static_cast<uint8_t>(zip[at + off + 1]) << 8));
        };
        names << QString::fromUtf8(zip.mid(at + 46, u16(28)));
    }
    names.sort();
    return names;
}

}  // namespace

class PeripheryTest final : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<IsolatedFolders> m_folders;

    template <class W>
    static W* Find(QWidget& dlg, int id) {
        W* w = dlg.findChild<W*>(QString::number(id));
        if (!w) qWarning("control %d not found", id);
        return w;
    }

private slots:
    void init() {
        m_folders = std::make_unique<IsolatedFolders>();
        CHelpLoader::Instance().ResetForTesting();
    }
    void cleanup() {
        CHelpLoader::Instance().ResetForTesting();
        m_folders.reset();
    }

    void MftDumpListsNtfsVolumesAndReportsEachStep() {
        const QString ntfs = WriteNtfsVolume(m_folders->File("ntfs.img"));
        SetDrives(
            {Drive('C', m_folders->File("missing.img")), Drive('F', ntfs), Drive('G', SamplePath("fat-sample.img"))});
        QDir(m_folders->Path()).mkdir(QStringLiteral("out"));
        const QString out = m_folders->File("out");
        CMFTDumpDlg dlg(nullptr, out);
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("MFTDump"));
        auto* volumes = Find<QComboBox>(dlg, CMFTDumpDlg::IDC_VOLUMES);
        QCOMPARE(volumes->count(), 1);
        QCOMPARE(volumes->currentText(), QStringLiteral("F:  ") + ntfs);

        const QString start = QStringLiteral("Select NTFS drive and press button to start dump process..");
        const QString boot = out + QStringLiteral("/BootDump.hex");
        const QString mft = out + QStringLiteral("/MFTDump.hex");
        const QStringList oneDump = {
            QString(),
            QStringLiteral("  MFT Dump runned on drive: F"),
            QStringLiteral("  >> MFT Offset from the beginning: 10000"),
            QStringLiteral("  >> Total sectors quantity: 8191"),
            QStringLiteral("  >> Writing Boot Sector in File on ") + boot,
            QStringLiteral("  >> Ok."),
            QStringLiteral("  >> Writing MFT Dump File on ") + mft,
            QStringLiteral("  >> Ok."),
            QStringLiteral("______________________________________"),
            QStringLiteral("Dump process successfully acomplished."),
            QString(),
            QStringLiteral(" Select NTFS drive and press button to start dump process.."),
        };
        QCOMPARE(Lines(dlg.StatusText()), QStringList{start});
        QTest::mouseClick(Find<QPushButton>(dlg, CMFTDumpDlg::IDC_GET_DUMP), Qt::LeftButton);
        QCOMPARE(Lines(dlg.StatusText()), QStringList{start} + oneDump);
        QCOMPARE(Find<QProgressBar>(dlg, CMFTDumpDlg::IDC_PROGRESS)->value(), 10);
        QFile volume(ntfs);
        QVERIFY(volume.open(QIODevice::ReadOnly));
        QCOMPARE(ReadAll(boot), volume.read(512));
        QVERIFY(volume.seek(0x10000));
        const QByteArray mftBytes = ReadAll(mft);
        QCOMPARE(mftBytes.size(), 1024000);
        QCOMPARE(mftBytes, volume.read(1024000));

        // A second dump replaces both files and appends its own report.
        QFile::remove(boot);
        QVERIFY(QFile(mft).resize(10));
        QTest::mouseClick(Find<QPushButton>(dlg, CMFTDumpDlg::IDC_GET_DUMP), Qt::LeftButton);
        QCOMPARE(Lines(dlg.StatusText()), QStringList{start} + oneDump + oneDump);
        QCOMPARE(ReadAll(boot).size(), 512);
        QCOMPARE(ReadAll(mft), mftBytes);
    }

    void MftDumpWithoutNtfsVolumesHasAnEmptyList() {
        SetDrives({Drive('C', SamplePath("fat-sample.img")), Drive('D', m_folders->File("missing.img"))});
        CMFTDumpDlg dlg(nullptr, m_folders->Path());
        QCOMPARE(Find<QComboBox>(dlg, CMFTDumpDlg::IDC_VOLUMES)->count(), 0);
        QVERIFY(!Find<QPushButton>(dlg, CMFTDumpDlg::IDC_GET_DUMP)->isEnabled());
        QVERIFY(!dlg.OnGetDump());
        QCOMPARE(dlg.StatusText(), QStringLiteral("Select NTFS drive and press button to start dump process.."));
    }

    void MftDumpFromTheMenuGoesToTheHomeFolder() {
        const QString ntfs = WriteNtfsVolume(m_folders->File("ntfs.img"));
        SetDrives({Drive('C', SamplePath("fat-sample.img")), Drive('E', ntfs)});
        CMainDlg main;
        ModalScript script;
        script.Then([](QWidget* w) {
            auto* dump = qobject_cast<CMFTDumpDlg*>(w);
            QVERIFY2(dump, "the MFT dump dialog was expected");
            QTest::mouseClick(dump->findChild<QPushButton*>(QString::number(CMFTDumpDlg::IDC_GET_DUMP)),
                              Qt::LeftButton);
            dump->reject();
        });
        main.Command(ids::ID_FILE_MFTDUMP)->trigger();
        QCOMPARE(script.Pending(), 0);
        QCOMPARE(ReadAll(m_folders->File("BootDump.hex")).size(), 512);
        QCOMPARE(ReadAll(m_folders->File("MFTDump.hex")).size(), 1024000);
    }

    void AboutBoxTextsAndLinkTargets() {
        runtime::CRuntimeLibrary runtime;
        struct Case {
            CAboutDlg::Texts texts;
            QString web, mail;
        } cases[] = {
            {{"Quenvar 2.5", "Beta", "Copyright (C) Somebody", "https://elsewhere.test/", "help@elsewhere.test"},
             "https://elsewhere.test/",
             "help@elsewhere.test"},
            {{"Quenvar 2.5", "", "", "", ""}, CAboutDlg::kWebAddress, CAboutDlg::kSupportEmail},
        };
        for (const Case& c : cases) {
            CAboutDlg about(nullptr, c.texts, runtime);
            about.show();
            QCOMPARE(about.windowTitle(), QStringLiteral("About"));
            QCOMPARE(Find<QLabel>(about, CAboutDlg::IDC_PRODUCT)->text(),
                     c.texts.titleAndVersion + " " + c.texts.versionDesc);
            QCOMPARE(Find<QLabel>(about, CAboutDlg::IDC_COPYRIGHT)->text(), c.texts.copyright);
            QLabel* web = Find<QLabel>(about, CAboutDlg::IDC_WEB_LINK);
            QLabel* mail = Find<QLabel>(about, CAboutDlg::IDC_MAIL_LINK);
            QCOMPARE(web->text(), c.web);
            QCOMPARE(mail->text(), c.mail);
            QVERIFY(web->font().underline());
            QCOMPARE(web->palette().color(QPalette::WindowText), QColor(0, 0, 255));

            // Clicks open the program's own addresses, whatever the profile shows.
            std::vector<QUrl> opened;
            about.SetUrlOpener([&](const QUrl& url) { opened.push_back(url); });
            QTest::mouseClick(&about, Qt::LeftButton, {}, web->geometry().center());
            QTest::mouseClick(&about, Qt::LeftButton, {}, mail->geometry().center());
            QTest::mouseClick(&about, Qt::LeftButton, {}, QPoint(2, 2));  // outside both links
            QCOMPARE(opened.size(), size_t{2});
            QCOMPARE(opened[0].toString(), QStringLiteral("https://quenvar.example.org/"));
            QCOMPARE(opened[1].scheme(), QStringLiteral("mailto"));
            QCOMPARE(opened[1].path(), QStringLiteral("support@quenvar.example.org"));
            QCOMPARE(QUrlQuery(opened[1]).queryItemValue(QStringLiteral("Subject"), QUrl::FullyDecoded),
                     QStringLiteral("\"Quenvar Beta\""));
        }
    }

    void DiagnosticsAnsweredNoWritesNothing() {
        runtime::CRuntimeLibrary runtime;
        runtime.LoadMvcmn();
        CAboutDlg about(nullptr, {}, runtime);
        about.show();
        ModalScript script;
        script.Then([](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY2(box, "the question was expected");
            QCOMPARE(box->windowTitle(), QStringLiteral("Morvant Diagnostics"));
            QCOMPARE(box->text(), QString::fromUtf8(diagnostics::kQuestion));
            QCOMPARE(box->icon(), QMessageBox::Question);
            Click(box->button(QMessageBox::No));
        });
        Click(Find<QPushButton>(about, CAboutDlg::IDC_DIAGNOSTICS));
        QCOMPARE(script.Pending(), 0);
        QCOMPARE(script.unexpected, 0);
        QVERIFY(!QFile::exists(QDir::home().filePath(QStringLiteral("mvdiag.zip"))));
    }

    void DiagnosticsAnsweredYesSavesTheArchiveWhereChosen() {
        runtime::CRuntimeLibrary runtime;
        runtime.LoadMvcmn();
        const QString log = m_folders->File("session.log");
        g_Logger.Open(log.toUtf8().constData());
        g_Logger.Info("a line of this session");
        const QString target = m_folders->File("saved/for-support.zip");
        QDir(m_folders->Path()).mkdir(QStringLiteral("saved"));
        CAboutDlg about(nullptr, {}, runtime);
        about.show();
        QString offered;
        ModalScript script;
        script.ThenClick(QStringLiteral("&Yes")).Then([&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            QVERIFY2(dialog, "the save dialog was expected");
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Morvant Diagnostics"));
            QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
            QCOMPARE(dialog->nameFilters(), (QStringList{"ZIP Archives (*.zip)", "All Files (*)"}));
            offered = dialog->selectedFiles().value(0);
            // Typed, as a person would: selectFile() leaves a focused name box as it is.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY2(name, "the save dialog's name box was expected");
            name->setText(target);
            static_cast<QDialog*>(dialog)->accept();
        });
        Click(Find<QPushButton>(about, CAboutDlg::IDC_DIAGNOSTICS));
        g_Logger.Close();
        QCOMPARE(script.Pending(), 0);
        QCOMPARE(script.unexpected, 0);
        QCOMPARE(QFileInfo(offered).fileName(), QStringLiteral("mvdiag.zip"));
        QCOMPARE(ArchiveMembers(ReadAll(target)), (QStringList{"contents.txt", "diagnostics.txt", "session.log"}));
    }

    void HelpLoaderShowsPagesOrNothing() {
        CHelpLoader& loader = CHelpLoader::Instance();
        // Pages missing: nothing is shown, and a second call looks for nothing.
        const QString missing = m_folders->File("nohelp/index.html");
        QCOMPARE(loader.HtmlHelp(nullptr, missing, CHelpLoader::HH_DISPLAY_TOC, 0), 0);
        QVERIFY(loader.Failed());
        QCOMPARE(loader.HtmlHelp(nullptr, BinaryPath("help/index.html"), CHelpLoader::HH_DISPLAY_TOC, 0), 0);
        QCOMPARE(loader.LookupCount(), 1);
        QVERIFY(!loader.Viewer());

        // Pages present: the contents, then a topic, with back and forward.
        loader.ResetForTesting();
        const QString contents = BinaryPath("help/index.html");
        QCOMPARE(loader.HtmlHelp(nullptr, contents, CHelpLoader::HH_DISPLAY_TOC, 0), 1);
        CHelpWindow* viewer = loader.Viewer();
        QVERIFY(viewer && viewer->isVisible());
        QCOMPARE(viewer->CurrentTopic(), QStringLiteral("index.html"));
        QVERIFY(viewer->Browser()->toPlainText().contains(QStringLiteral("Getting started")));
        QCOMPARE(viewer->Contents()->count(), 9);
        QCOMPARE(loader.HtmlHelp(nullptr, contents + QStringLiteral("::/toolbox.html"), CHelpLoader::HH_DISPLAY_TOC, 0),
                 1);
        QCOMPARE(loader.Viewer(), viewer);
        QCOMPARE(viewer->CurrentTopic(), QStringLiteral("toolbox.html"));
        QCOMPARE(viewer->Contents()->currentItem()->text(), QStringLiteral("The Toolbox menu"));
        QVERIFY(viewer->BackAction()->isEnabled());
        viewer->BackAction()->trigger();
        QCOMPARE(viewer->CurrentTopic(), QStringLiteral("index.html"));
        QVERIFY(viewer->ForwardAction()->isEnabled());
        viewer->ForwardAction()->trigger();
        QCOMPARE(viewer->CurrentTopic(), QStringLiteral("toolbox.html"));
        // A link of a page leads to the page it names.
        viewer->Contents()->setCurrentRow(0);
        QTest::mouseClick(viewer->Contents()->viewport(), Qt::LeftButton, {},
                          viewer->Contents()->visualItemRect(viewer->Contents()->item(1)).center());
        QCOMPARE(viewer->CurrentTopic(), QStringLiteral("getting-started.html"));
        QCOMPARE(loader.LookupCount(), 1);
    }

    void MainWindowHelpCommandsAndToolbox() {
        SetDrives({Drive('C', SamplePath("fat-sample.img"))});
        const QString opened = m_folders->File("opened.txt");
        const QString opener = m_folders->File("opener.sh");
        QFile script(opener);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n").arg(opened).toUtf8());
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("QUENVAR_URL_OPENER", opener.toUtf8());

        CMainDlg main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QTest::keyClick(&main, Qt::Key_F1);
        CHelpWindow* viewer = CHelpLoader::Instance().Viewer();
        QVERIFY(viewer);
        QCOMPARE(viewer->CurrentTopic(), QStringLiteral("index.html"));

        // The toolbox: the library's entries in 2000..2100, then "Toolbox Help" (32800).
        QMenu* toolbox = nullptr;
        for (QMenu* menu : main.findChildren<QMenu*>())
            if (menu->title() == QStringLiteral("&Toolbox")) toolbox = menu;
        QVERIFY(toolbox);
        QList<QAction*> entries;
        for (QAction* action : toolbox->actions())
            if (!action->isSeparator()) entries << action;
        QCOMPARE(entries.size(), 4);
        for (int i = 0; i < 3; ++i) {
            const int id = entries[i]->data().toInt();
            QVERIFY2(id >= ids::ID_TOOLBOX_FIRST && id <= ids::ID_TOOLBOX_LAST, qPrintable(entries[i]->text()));
        }
        QCOMPARE(entries[3]->text(), QStringLiteral("Toolbox Help"));
        QCOMPARE(entries[3]->data().toInt(), ids::ID_HELP_TOOLBOX);
        entries[3]->trigger();
        QCOMPARE(viewer->CurrentTopic(), QStringLiteral("toolbox.html"));

        // The first entry reaches the library, which opens the profile.
        entries[0]->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(ReadAll(opened)).trimmed(),
                                  m_folders->File("config/quenvar/quenvar.ini"), 5000);
        QVERIFY(QFile::exists(m_folders->File("config/quenvar/quenvar.ini")));
        qunsetenv("QUENVAR_URL_OPENER");
    }
};

QTEST_MAIN(PeripheryTest)
#include "PeripheryTest.moc"
