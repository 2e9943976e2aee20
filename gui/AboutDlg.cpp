#include "gui/AboutDlg.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include "gui/ControlIds.h"
#include "gui/DiagnosticsFlow.h"

namespace {

constexpr const char* kLegalNotice =
    "This program comes with no warranty. It only reads the volumes it scans and writes recovered "
    "files to a folder on another drive; what was overwritten on a volume cannot be recovered by any "
    "program.";

const ControlSpec kControls[] = {
    {ids::IDI_MAINFRAME, ControlKind::Icon, nullptr, 11, 10, 21, 20, 0},
    {CAboutDlg::IDC_PRODUCT, ControlKind::Static, nullptr, 40, 10, 202, 8, 0},
    {CAboutDlg::IDC_COPYRIGHT, ControlKind::Static, nullptr, 40, 21, 202, 8, 0},
    {CAboutDlg::IDC_WEB_LINK, ControlKind::Static, nullptr, 40, 35, 160, 8, 0},
    {kNoControlId, ControlKind::Static, "e-mail:", 40, 46, 24, 8, 0},
    {CAboutDlg::IDC_MAIL_LINK, ControlKind::Static, nullptr, 66, 46, 150, 8, 0},
    {CAboutDlg::IDC_LEGAL, ControlKind::Static, kLegalNotice, 40, 60, 202, 40, 0},
    {CAboutDlg::IDC_DIAGNOSTICS, ControlKind::PushButton, "Diagnostics...", 124, 108, 62, 14, 0},
    {ids::IDOK, ControlKind::DefPushButton, "OK", 192, 108, 50, 14, 0},
};

QString Or(const QString& value, const char* fallback) { return value.isEmpty() ? QString::fromUtf8(fallback) : value; }

}  // namespace

const DialogTemplate CAboutDlg::kTemplate = {ids::IDD_ABOUTBOX, "About", 249, 130, kControls};

QUrl CAboutDlg::WebTarget() { return QUrl(QString::fromUtf8(kWebAddress)); }

QUrl CAboutDlg::MailTarget() {
    return QUrl(QStringLiteral("mailto:%1?Subject=\"%2\"")
                    .arg(QString::fromUtf8(kSupportEmail), QString::fromUtf8(kMailSubject)));
}

CAboutDlg::CAboutDlg(QWidget* parent, const Texts& texts, const runtime::CRuntimeLibrary& runtime)
    : QDialog(parent), m_runtime(runtime), m_openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    setObjectName(ControlName(kTemplate.id));
    setWindowTitle(QString::fromUtf8(kTemplate.caption));
    const CDialogUnits units(font());
    CreateControls(this, kTemplate, units, nullptr);
    setFixedSize(units.ToPixels(QSize(kTemplate.width, kTemplate.height)));

    auto* icon = findChild<QLabel*>(ControlName(ids::IDI_MAINFRAME));
    // The program's icon (128), as the application and its main window carry it.
    icon->setPixmap(windowIcon().pixmap(units.ToPixels(QSize(21, 20))));

    // The links show the profile's addresses when it has them; clicks open the program's own.
    Link(IDC_MAIL_LINK)->setText(Or(texts.supportEmail, kSupportEmail));
    Link(IDC_WEB_LINK)->setText(Or(texts.homeUrl, kWebAddress));
    for (int id : {IDC_WEB_LINK, IDC_MAIL_LINK}) {
        QLabel* link = Link(id);
        QFont underlined = link->font();
        underlined.setUnderline(true);
        link->setFont(underlined);
        QPalette palette = link->palette();
        palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
        link->setPalette(palette);
        link->setCursor(Qt::PointingHandCursor);
        link->adjustSize();
        // Clicks reach the box, which tells the links apart by their rectangles.
        link->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    auto* product = findChild<QLabel*>(ControlName(IDC_PRODUCT));
    product->setText(texts.titleAndVersion + QLatin1Char(' ') + texts.versionDesc);
    product->setWordWrap(true);
    product->resize(units.X(202), product->heightForWidth(units.X(202)));
    auto* copyright = findChild<QLabel*>(ControlName(IDC_COPYRIGHT));
    copyright->setText(texts.copyright);
    copyright->move(copyright->x(), std::max(copyright->y(), product->geometry().bottom() + units.Y(3)));
    auto* legal = findChild<QLabel*>(ControlName(CAboutDlg::IDC_LEGAL));
    legal->setWordWrap(true);
    legal->resize(units.X(202), units.Y(40));

    connect(findChild<QPushButton*>(ControlName(ids::IDOK)), &QPushButton::clicked, this, &QDialog::accept);
    connect(findChild<QPushButton*>(ControlName(IDC_DIAGNOSTICS)), &QPushButton::clicked, this,
            [this] { RunDiagnostics(this, m_runtime); });
}

QLabel* CAboutDlg::Link(int id) const { return findChild<QLabel*>(ControlName(id)); }

void CAboutDlg::mouseReleaseEvent(QMouseEvent* event) {
    QDialog::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    if (Link(IDC_WEB_LINK)->geometry().contains(at))
        m_openUrl(WebTarget());
    else if (Link(IDC_MAIL_LINK)->geometry().contains(at))
        m_openUrl(MailTarget());
}
