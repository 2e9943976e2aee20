#include "gui/HintPanel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

namespace {
constexpr int kMargin = 8;
}

CHintPanel::CHintPanel(QWidget* list) : QWidget(list) {
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAutoFillBackground(false);
    if (list) list->installEventFilter(this);
    hide();
}

void CHintPanel::SetText(const QString& text, const QString& reason) {
    m_szText = text;
    m_szReason = reason;
    const QFontMetrics metrics(font());
    int width = metrics.horizontalAdvance(m_szText) + 2 * kMargin;
    int height = metrics.height() + kMargin;
    if (!m_szReason.isEmpty()) {
        // The reason wraps within the list's width rather than running past it.
        const int room = parentWidget() ? std::max(kWidth, parentWidget()->width() - 2 * kMargin) : 2 * kWidth;
        QRect box = metrics.boundingRect(QRect(0, 0, room, 1000), Qt::AlignHCenter | Qt::TextWordWrap, m_szReason);
        width = std::max(width, box.width() + 2 * kMargin);
        height += box.height() + kMargin / 2;
    }
    resize(std::max(kWidth, width), std::max(kHeight, height));
    Recentre();
    update();
}

void CHintPanel::Recentre() {
    if (!parentWidget()) return;
    const QSize room = parentWidget()->size();
    move(std::max(0, (room.width() - width()) / 2), std::max(0, (room.height() - height()) / 2));
}

bool CHintPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        if (!m_szReason.isEmpty())
            SetText(m_szText, m_szReason);
        else
            Recentre();
    }
    return QWidget::eventFilter(watched, event);
}

void CHintPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    painter.setPen(palette().color(QPalette::Text));
    const QFontMetrics metrics(font());
    if (m_szReason.isEmpty()) {
        painter.drawText(rect(), Qt::AlignCenter, m_szText);
        return;
    }
    QRect first(0, kMargin / 2, width(), metrics.height());
    painter.drawText(first, Qt::AlignCenter, m_szText);
    QRect rest(kMargin, first.bottom() + kMargin / 2, width() - 2 * kMargin, height() - first.bottom() - kMargin);
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(rest, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, m_szReason);
}
