#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTest>
#include <QWidget>

namespace guitest {

IsolatedFolders::IsolatedFolders() {
    const QByteArray root = m_dir.path().toUtf8();
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_STATE_HOME", root + "/state");
    qputenv("XDG_CACHE_HOME", root + "/cache");
    qputenv("XDG_RUNTIME_DIR", root);
    qunsetenv("QUENVAR_DRIVES");
    qunsetenv("QUENVAR_PROFILE");
}

QString SamplePath(const char* name) { return QStringLiteral(QVR_SOURCE_DIR "/samples/") + QString::fromUtf8(name); }
QString BinaryPath(const char* name) { return QStringLiteral(QVR_BIN_DIR "/") + QString::fromUtf8(name); }

platform::DriveSource Drive(char letter, const QString& source) {
    platform::DriveSource drive;
    drive.letter = letter;
    drive.source = source.toStdString();
    drive.mapped = true;
    return drive;
}

void SetDrives(std::vector<platform::DriveSource> drives) {
    platform::DriveTable::Instance().SetForTesting(std::move(drives));
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

ModalScript::ModalScript() {
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalScript::Poll);
    m_timer.start();
}

ModalScript::~ModalScript() = default;

ModalScript& ModalScript::Then(Handler handler) {
    m_handlers.push_back(std::move(handler));
    return *this;
}

ModalScript& ModalScript::ThenOk() {
    return Then([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY2(box, "a message box was expected");
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        if (!ok && !box->buttons().isEmpty()) ok = box->buttons().first();
        Click(ok);
    });
}

ModalScript& ModalScript::ThenClick(const QString& nameOrText) {
    return Then([nameOrText](QWidget* w) {
        for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
            if (b->objectName() == nameOrText || b->text() == nameOrText) {
                Click(b);
                return;
            }
        }
        QFAIL(qPrintable(QStringLiteral("no button %1 in %2").arg(nameOrText, w->windowTitle())));
    });
}

void ModalScript::Poll() {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible()) return;
    if (w == m_pLast.data()) {
        // A handler that failed half-way leaves its widget open: close it rather than hang.
        if (++m_nStale > kStaleLimit) {
            m_nStale = 0;
            w->close();
        }
        return;
    }
    m_nStale = 0;
    m_pLast = w;
    if (auto* box = qobject_cast<QMessageBox*>(w)) seen << box->windowTitle() + QLatin1Char('|') + box->text();
    if (m_handlers.empty()) {
        ++unexpected;
        if (auto* box = qobject_cast<QMessageBox*>(w); box && !box->buttons().isEmpty())
            Click(box->buttons().first());
        else
            w->close();
        return;
    }
    Handler handler = std::move(m_handlers.front());
    m_handlers.pop_front();
    handler(w);
}

void Click(QAbstractButton* button) {
    if (!button) return;
    QTest::mouseClick(button, Qt::LeftButton);
}

}  // namespace guitest
