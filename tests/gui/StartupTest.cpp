// The application object: which file becomes the log, and the real program started as
// a person starts it (a second copy ends silently, the log of the command line).
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <memory>

#include "GuiTestSupport.h"
#include "gui/QuenvarApp.h"
#include "platform/InstanceLock.h"

using namespace guitest;

class StartupTest final : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<IsolatedFolders> m_folders;

    std::unique_ptr<QProcess> Start(const QStringList& arguments) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QUENVAR_DRIVES", "E=" + SamplePath("ntfs-sample.img"));
        process->setProcessEnvironment(env);
        process->setProgram(BinaryPath("quenvar"));
        process->setArguments(arguments);
        process->start();
        if (!process->waitForStarted(10000)) qWarning("quenvar did not start");
        return process;
    }

    // The lock file is held by a running instance once it has passed its first step.
    static bool LockHeld() {
        const int fd = ::open(platform::InstanceLock::LockPath().c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return false;
        const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        if (!held) ::flock(fd, LOCK_UN);
        ::close(fd);
        return held;
    }

    static void Stop(QProcess& process) {
        process.terminate();
        if (!process.waitForFinished(10000)) process.kill();
    }

private slots:
    void initTestCase() { m_folders = std::make_unique<IsolatedFolders>(); }

    void theFirstWordOfTheCommandLineChoosesTheLog() {
        const QString log = m_folders->File("x.log");
        StartupChoice choice = ChooseStartup({log, "more", "words"});
        QCOMPARE(QString::fromStdString(choice.logPath), log);
        QVERIFY(!choice.defaultLog);
        QVERIFY(choice.volumeSource.empty());

        choice = ChooseStartup({});
        QVERIFY(choice.defaultLog);
        QCOMPARE(QString::fromStdString(choice.logPath), m_folders->Path() + "/state/quenvar/log_qvr.log");
    }

    void aVolumeOnTheCommandLineIsOpenedNeverWritten() {
        for (const char* sample : {"ntfs-sample.img", "fat-sample.img"}) {
            const StartupChoice choice = ChooseStartup({SamplePath(sample)});
            QVERIFY(choice.defaultLog);
            QCOMPARE(QString::fromStdString(choice.volumeSource), SamplePath(sample));
            QVERIFY(QString::fromStdString(choice.logPath).endsWith("/log_qvr.log"));
        }
        // A partition table (boot signature) names a disk; an ordinary text file a log.
        QFile disk(m_folders->File("disk.img"));
        QVERIFY(disk.open(QIODevice::WriteOnly));
        QByteArray mbr(4096, '\0');
        mbr[510] = char(0x55);
        mbr[511] = char(0xAA);
        disk.write(mbr);
        disk.close();
        QVERIFY(NamesVolume(disk.fileName().toStdString()));
        QFile text(m_folders->File("old.log"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write(QByteArray(4096, 'x'));
        text.close();
        QVERIFY(!NamesVolume(text.fileName().toStdString()));
        QVERIFY(!NamesVolume(m_folders->File("absent").toStdString()));
        // A damaged image container is an image too: it must never become the log.
        QFile container(m_folders->File("broken.vhdx"));
        QVERIFY(container.open(QIODevice::WriteOnly));
        container.write(QByteArray("vhdxfile") + QByteArray(4096, '\0'));
        container.close();
        QVERIFY(NamesVolume(container.fileName().toStdString()));
    }

    void aSecondInstanceEndsSilently() {
        auto first = Start({m_folders->File("first.log")});
        QTRY_VERIFY_WITH_TIMEOUT(LockHeld(), 20000);
        auto second = Start({m_folders->File("second.log")});
        QVERIFY(second->waitForFinished(20000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(second->readAllStandardError().isEmpty());
        QVERIFY(!QFile::exists(m_folders->File("second.log")));
        QCOMPARE(first->state(), QProcess::Running);
        // The first one writes its log where its command line said.
        QTRY_VERIFY_WITH_TIMEOUT(!ReadAll(m_folders->File("first.log")).isEmpty(), 10000);
        Stop(*first);
    }

    void theDefaultLogStartsFreshAndAnImageArgumentStaysUntouched() {
        const QString defaultLog = m_folders->Path() + "/state/quenvar/log_qvr.log";
        QVERIFY(QDir().mkpath(m_folders->Path() + "/state/quenvar"));
        QFile old(defaultLog);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("OLD RUN\n");
        old.close();

        const QString image = m_folders->File("arg.img");
        QFile::remove(image);
        QVERIFY(QFile::copy(SamplePath("fat-sample.img"), image));
        const QByteArray before = QCryptographicHash::hash(ReadAll(image), QCryptographicHash::Sha256);
        auto process = Start({image});
        QTRY_VERIFY_WITH_TIMEOUT(LockHeld(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!ReadAll(defaultLog).isEmpty() && !ReadAll(defaultLog).contains("OLD RUN"), 10000);
        Stop(*process);
        QCOMPARE(QCryptographicHash::hash(ReadAll(image), QCryptographicHash::Sha256), before);
    }
};

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
