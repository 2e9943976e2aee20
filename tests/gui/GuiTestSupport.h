// What the desktop program's tests share: private folders for the profile, the log and
// the lock, the sample volumes, and a script that answers modal dialogs as a person
// would, in the order they appear.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/DriveTable.h"

class QAbstractButton;
class QWidget;

namespace guitest {

// Points HOME and the XDG folders into a fresh temporary folder for this process.
class IsolatedFolders {
public:
    IsolatedFolders();
    QString Path() const { return m_dir.path(); }
    QString File(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

QString SamplePath(const char* name);  // samples/<name> of the source tree
QString BinaryPath(const char* name);  // build/<preset>/bin/<name>

platform::DriveSource Drive(char letter, const QString& source);
// Replaces the drive table for the next main window.
void SetDrives(std::vector<platform::DriveSource> drives);

// Text of a file, "" when it cannot be read.
QByteArray ReadAll(const QString& path);

// Answers modal widgets one after the other: each handler gets the next modal widget
// that shows up. What message boxes said is recorded.
class ModalScript final : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(QWidget*)>;
    ModalScript();
    ~ModalScript() override;

    ModalScript& Then(Handler handler);
    // A message box answered with OK (or its only button).
    ModalScript& ThenOk();
    // Clicks the button of that object name (the overwrite dialog's ids) or text.
    ModalScript& ThenClick(const QString& nameOrText);

    int Pending() const { return static_cast<int>(m_handlers.size()); }
    // Modal widgets that came with no handler left: closed, so that no test hangs.
    int unexpected = 0;
    // Message box texts and captions seen, in order ("caption|text").
    QStringList seen;

private:
    void Poll();
    QTimer m_timer;
    std::deque<Handler> m_handlers;
    QPointer<QWidget> m_pLast;
    int m_nStale = 0;
    static constexpr int kStaleLimit = 300;  // polls of 10 ms
};

void Click(QAbstractButton* button);

}  // namespace guitest
