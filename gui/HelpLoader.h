// The help loader: finds the help viewer once (the program's help window over the pages
// beside the program) and forwards help requests to it. Once finding it has failed,
// every later request answers 0 without looking again.
#pragma once

#include <QPointer>
#include <QString>

class CHelpWindow;
class QWidget;

class CHelpLoader {
public:
    static constexpr unsigned HH_DISPLAY_TOPIC = 0;
    static constexpr unsigned HH_DISPLAY_TOC = 1;  // show the table of contents

    // The process-wide loader.
    static CHelpLoader& Instance();

    // file: the path of a page, optionally followed by "::/" and a topic of the same
    // folder ("…/help/index.html::/toolbox.html"). Shows the page in the help window;
    // answers non-zero when it did, 0 when no viewer is available (nothing is shown).
    int HtmlHelp(QWidget* owner, const QString& file, unsigned command, quintptr data);

    bool Failed() const { return m_bFailed; }
    // How often the pages were looked for (once, whatever the number of requests).
    int LookupCount() const { return m_nLookups; }
    CHelpWindow* Viewer() const;
    // Forgets the folder, the window and the failure (tests).
    void ResetForTesting();

private:
    bool Resolve(const QString& file);

    bool m_bResolved = false;
    bool m_bFailed = false;
    int m_nLookups = 0;
    QString m_szFolder;
    QPointer<CHelpWindow> m_pViewer;
};
