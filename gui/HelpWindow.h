// The program's help viewer: the pages of docs/help in a text browser, with the list
// of contents beside it and Back, Forward and Contents buttons above it.
#pragma once

#include <QWidget>

class QAction;
class QListWidget;
class QTextBrowser;

class CHelpWindow final : public QWidget {
    Q_OBJECT
public:
    // folder: where the pages are; its index.html is the contents.
    explicit CHelpWindow(const QString& folder, QWidget* parent = nullptr);

    // Shows a page of the folder ("toolbox.html"); false when it does not exist.
    bool ShowTopic(const QString& fileName);
    QString CurrentTopic() const;
    QTextBrowser* Browser() const { return m_pBrowser; }
    QListWidget* Contents() const { return m_pContents; }
    QAction* BackAction() const { return m_pBack; }
    QAction* ForwardAction() const { return m_pForward; }

    static constexpr const char* kContentsPage = "index.html";

private:
    void FillContents();
    void SelectContentsEntry(const QString& topic);

    QString m_szFolder;
    QTextBrowser* m_pBrowser = nullptr;
    QListWidget* m_pContents = nullptr;
    QAction* m_pBack = nullptr;
    QAction* m_pForward = nullptr;
};
