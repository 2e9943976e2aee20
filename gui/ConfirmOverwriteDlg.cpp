#include "gui/ConfirmOverwriteDlg.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "gui/ControlIds.h"
#include "gui/MainDlgStrings.h"

namespace {

const ControlSpec kControls[] = {
    {ids::IDC_OVERWRITE_ICON, ControlKind::Icon, nullptr, 10, 10, 21, 20, 0},
    {ids::IDC_OVERWRITE_TEXT, ControlKind::Static, nullptr, 40, 10, 186, 30, 0},
    {ids::IDOK, ControlKind::DefPushButton, "Yes", 22, 48, 46, 14, 0},
    {ids::IDNO, ControlKind::PushButton, "No", 74, 48, 46, 14, 0},
    {ids::IDALL, ControlKind::PushButton, "All", 126, 48, 46, 14, 0},
    {ids::IDCANCEL, ControlKind::PushButton, "Cancel", 178, 48, 46, 14, 0},
};

// How much wider than its template the dialog may grow for a long file name.
constexpr int kMaxExtraWidth = 400;

}  // namespace

const DialogTemplate CConfirmOverwriteDlg::kTemplate = {ids::IDD_CONFIRM_OVERWRITE, text::kConfirmOverwriteCaption, 236,
                                                        70, kControls};

CConfirmOverwriteDlg::CConfirmOverwriteDlg(QWidget* parent, const QString& message, const QIcon& warningIcon)
    : QDialog(parent), m_szMessage(message) {
    setObjectName(ControlName(kTemplate.id));
    setWindowTitle(QString::fromUtf8(kTemplate.caption));
    const CDialogUnits units(font());
    CreateControls(this, kTemplate, units, nullptr);
    QSize size = units.ToPixels(QSize(kTemplate.width, kTemplate.height));

    auto* icon = findChild<QLabel*>(ControlName(ids::IDC_OVERWRITE_ICON));
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(warningIcon.pixmap(iconSize, iconSize));

    auto* label = findChild<QLabel*>(ControlName(ids::IDC_OVERWRITE_TEXT));
    label->setWordWrap(true);
    label->setText(message);
    // The question's lines stay whole where the screen allows: the dialog widens for a
    // long name, and only a name wider than that wraps.
    int longest = 0;
    for (const QString& line : message.split(QLatin1Char('\n')))
        longest = std::max(longest, label->fontMetrics().horizontalAdvance(line) + 4);
    const int wider = std::min(std::max(0, longest - label->width()), kMaxExtraWidth);
    if (wider > 0) {
        label->resize(label->width() + wider, label->height());
        for (int id : {ids::IDOK, ids::IDNO, ids::IDALL, ids::IDCANCEL}) {
            QWidget* button = findChild<QWidget*>(ControlName(id));
            button->move(button->x() + wider / 2, button->y());
        }
        size.rwidth() += wider;
    }
    // A long file name wraps; the buttons move down to make room for it.
    const int extra = std::max(0, label->heightForWidth(label->width()) - label->height());
    if (extra > 0) {
        label->resize(label->width(), label->height() + extra);
        for (int id : {ids::IDOK, ids::IDNO, ids::IDALL, ids::IDCANCEL}) {
            QWidget* button = findChild<QWidget*>(ControlName(id));
            button->move(button->x(), button->y() + extra);
        }
        size.rheight() += extra;
    }
    setFixedSize(size);

    connect(findChild<QPushButton*>(ControlName(ids::IDOK)), &QPushButton::clicked, this, [this] { done(ids::IDOK); });
    connect(findChild<QPushButton*>(ControlName(ids::IDNO)), &QPushButton::clicked, this, [this] { done(ids::IDNO); });
    connect(findChild<QPushButton*>(ControlName(ids::IDALL)), &QPushButton::clicked, this,
            [this] { done(ids::IDALL); });
    connect(findChild<QPushButton*>(ControlName(ids::IDCANCEL)), &QPushButton::clicked, this,
            [this] { done(ids::IDCANCEL); });
}

void CConfirmOverwriteDlg::reject() { done(ids::IDCANCEL); }

IUndeletePrompt::Answer CConfirmOverwriteDlg::AnswerOf(int result) {
    switch (result) {
        case ids::IDOK: return IUndeletePrompt::Answer::Yes;
        case ids::IDNO: return IUndeletePrompt::Answer::No;
        case ids::IDALL: return IUndeletePrompt::Answer::All;
        default: return IUndeletePrompt::Answer::Cancel;
    }
}
