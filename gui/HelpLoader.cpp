#include "gui/HelpLoader.h"

#include <QDir>
#include <QFileInfo>

#include "gui/HelpWindow.h"

namespace {

constexpr const char* kTopicSeparator = "::/";

bool HoldsPages(const QString& folder) {
    return !folder.isEmpty() &&
           QFileInfo(QDir(folder).filePath(QString::fromUtf8(CHelpWindow::kContentsPage))).isFile();
}

}  // namespace

CHelpLoader& CHelpLoader::Instance() {
    static CHelpLoader loader;
    return loader;
}

CHelpWindow* CHelpLoader::Viewer() const { return m_pViewer.data(); }

void CHelpLoader::ResetForTesting() {
    if (m_pViewer) delete m_pViewer.data();
    *this = CHelpLoader();
}

bool CHelpLoader::Resolve(const QString& file) {
    if (m_bResolved) return true;
    if (m_bFailed) return false;
    ++m_nLookups;
    // The pages lie beside the program, where the page asked for names them.
    const QString pagePath = file.section(QString::fromUtf8(kTopicSeparator), 0, 0);
    const QString folder = pagePath.isEmpty() ? QString() : QFileInfo(pagePath).absolutePath();
    if (!HoldsPages(folder)) {
        m_bFailed = true;
        return false;
    }
    m_szFolder = folder;
    m_bResolved = true;
    return true;
}

int CHelpLoader::HtmlHelp(QWidget* owner, const QString& file, unsigned command, quintptr data) {
    (void)data;  // no command in use takes one
    if (!Resolve(file)) return 0;
    const QString separator = QString::fromUtf8(kTopicSeparator);
    QString topic = file.section(separator, 1);
    if (topic.isEmpty()) topic = QFileInfo(file.section(separator, 0, 0)).fileName();
    if (topic.isEmpty()) topic = QString::fromUtf8(CHelpWindow::kContentsPage);
    // The window always shows the contents beside the page, so HH_DISPLAY_TOC and
    // HH_DISPLAY_TOPIC show the same.
    (void)command;
    if (!m_pViewer) {
        // A window of its own that stays open beside the program, owned by the owner's window.
        m_pViewer = new CHelpWindow(m_szFolder, owner ? owner->window() : nullptr);
        m_pViewer->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (!m_pViewer->ShowTopic(topic)) m_pViewer->ShowTopic(QString::fromUtf8(CHelpWindow::kContentsPage));
    m_pViewer->show();
    m_pViewer->raise();
    m_pViewer->activateWindow();
    return 1;
}
