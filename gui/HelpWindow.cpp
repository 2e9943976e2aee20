#include "gui/HelpWindow.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QRegularExpression>
#include <QSplitter>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

// The entries of the contents page: every list item that starts with a link to a page.
std::vector<std::pair<QString, QString>> ContentsEntries(const QString& indexPath) {
    QFile file(indexPath);
    std::vector<std::pair<QString, QString>> entries;
    if (!file.open(QIODevice::ReadOnly)) return entries;
    const QString html = QString::fromUtf8(file.readAll());
    static const QRegularExpression link(QStringLiteral("<li><a href=\"([^\"#:]+\\.html)\">([^<]+)</a>"));
    for (auto it = link.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        entries.emplace_back(match.captured(1), match.captured(2));
    }
    return entries;
}

}  // namespace

CHelpWindow::CHelpWindow(const QString& folder, QWidget* parent) : QWidget(parent, Qt::Window), m_szFolder(folder) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Quenvar Help"));

    auto* toolbar = new QToolBar(this);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_pBack = toolbar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("Back"));
    m_pForward = toolbar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("Forward"));
    QAction* home = toolbar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), QStringLiteral("Contents"));
    m_pBack->setShortcut(QKeySequence::Back);
    m_pForward->setShortcut(QKeySequence::Forward);
    m_pBack->setEnabled(false);
    m_pForward->setEnabled(false);

    auto* splitter = new QSplitter(this);
    m_pContents = new QListWidget(splitter);
    m_pContents->setObjectName(QStringLiteral("HelpContents"));
    m_pBrowser = new QTextBrowser(splitter);
    m_pBrowser->setObjectName(QStringLiteral("HelpBrowser"));
    m_pBrowser->setSearchPaths({folder});
    // The pages' own style sheet, whatever the browser makes of their link to it.
    QFile css(QDir(folder).filePath(QStringLiteral("help.css")));
    if (css.open(QIODevice::ReadOnly)) m_pBrowser->document()->setDefaultStyleSheet(QString::fromUtf8(css.readAll()));
    // Web and mail links go to the desktop's own programs; pages stay here.
    m_pBrowser->setOpenExternalLinks(true);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({250, 630});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolbar);
    layout->addWidget(splitter, 1);
    resize(880, 640);

    FillContents();
    connect(m_pBack, &QAction::triggered, m_pBrowser, &QTextBrowser::backward);
    connect(m_pForward, &QAction::triggered, m_pBrowser, &QTextBrowser::forward);
    connect(home, &QAction::triggered, this, [this] { ShowTopic(QString::fromUtf8(kContentsPage)); });
    connect(m_pBrowser, &QTextBrowser::backwardAvailable, m_pBack, &QAction::setEnabled);
    connect(m_pBrowser, &QTextBrowser::forwardAvailable, m_pForward, &QAction::setEnabled);
    connect(m_pBrowser, &QTextBrowser::sourceChanged, this,
            [this](const QUrl& url) { SelectContentsEntry(QFileInfo(url.toLocalFile()).fileName()); });
    connect(m_pContents, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { ShowTopic(item->data(Qt::UserRole).toString()); });
    connect(m_pContents, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ShowTopic(item->data(Qt::UserRole).toString()); });
}

void CHelpWindow::FillContents() {
    auto* top = new QListWidgetItem(QStringLiteral("Contents"), m_pContents);
    top->setData(Qt::UserRole, QString::fromUtf8(kContentsPage));
    for (const auto& [page, title] : ContentsEntries(QDir(m_szFolder).filePath(QString::fromUtf8(kContentsPage)))) {
        auto* item = new QListWidgetItem(title, m_pContents);
        item->setData(Qt::UserRole, page);
    }
}

bool CHelpWindow::ShowTopic(const QString& fileName) {
    const QString path = QDir(m_szFolder).filePath(fileName);
    if (!QFileInfo(path).isFile()) return false;
    const QUrl url = QUrl::fromLocalFile(path);
    if (m_pBrowser->source() != url) m_pBrowser->setSource(url);
    return true;
}

QString CHelpWindow::CurrentTopic() const { return QFileInfo(m_pBrowser->source().toLocalFile()).fileName(); }

void CHelpWindow::SelectContentsEntry(const QString& topic) {
    for (int i = 0; i < m_pContents->count(); ++i) {
        if (m_pContents->item(i)->data(Qt::UserRole).toString() != topic) continue;
        const QSignalBlocker quiet(m_pContents);
        m_pContents->setCurrentRow(i);
        return;
    }
    m_pContents->clearSelection();
}
