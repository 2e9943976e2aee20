// "About" (template 100): the product line, the profile's copyright, the web and the
// support e-mail links, the legal notice, "OK" and "Diagnostics...".
#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>

#include "gui/DialogTemplate.h"

class QLabel;
namespace runtime {
class CRuntimeLibrary;
}

class CAboutDlg final : public QDialog {
    Q_OBJECT
public:
    static const DialogTemplate kTemplate;
    static constexpr int IDC_WEB_LINK = 1024;
    static constexpr int IDC_MAIL_LINK = 1025;
    static constexpr int IDC_PRODUCT = 1028;
    static constexpr int IDC_COPYRIGHT = 1029;
    static constexpr int IDC_DIAGNOSTICS = 1033;
    static constexpr int IDC_LEGAL = 1030;  // this port's id for the legal notice

    // String-table entries the box falls back on and its links open.
    static constexpr const char* kSupportEmail = "support@quenvar.example.org";  // 32785
    static constexpr const char* kWebAddress = "https://quenvar.example.org/";   // 32786
    static constexpr const char* kMailSubject = "Quenvar Beta";                  // 32794

    // What the main window knows from the profile.
    struct Texts {
        QString titleAndVersion;  // ProgramTitle + " " + Version
        QString versionDesc;
        QString copyright;
        QString homeUrl;       // "HomeURL"
        QString supportEmail;  // "SupportEMAIL"
    };

    CAboutDlg(QWidget* parent, const Texts& texts, const runtime::CRuntimeLibrary& runtime);

    // Where the links go when clicked (the web address and the mail of the string table).
    static QUrl WebTarget();
    static QUrl MailTarget();
    // Opens a link target; QDesktopServices unless a test replaces it.
    void SetUrlOpener(std::function<void(const QUrl&)> opener) { m_openUrl = std::move(opener); }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QLabel* Link(int id) const;

    const runtime::CRuntimeLibrary& m_runtime;
    std::function<void(const QUrl&)> m_openUrl;
};
