#include "gui/DialogUnits.h"

#include <QFontMetrics>

namespace {

// Rounded like the system's MulDiv, so that a rectangle converts the same way wherever
// it stands.
int MulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>(product >= 0 ? (product + denominator / 2) / denominator
                                         : (product - denominator / 2) / denominator);
}

}  // namespace

CDialogUnits::CDialogUnits(const QFont& font) {
    QFontMetrics metrics(font);
    // The average over the 52 letters, rounded, is what the templates were laid out in.
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_nBaseX = (letters / 26 + 1) / 2;
    m_nBaseY = metrics.height();
    if (m_nBaseX < 1) m_nBaseX = 1;
    if (m_nBaseY < 1) m_nBaseY = 1;
}

int CDialogUnits::X(int units) const { return MulDiv(units, m_nBaseX, 4); }
int CDialogUnits::Y(int units) const { return MulDiv(units, m_nBaseY, 8); }

QRect CDialogUnits::ToPixels(int x, int y, int w, int h) const {
    // Edges are converted, not sizes, so adjacent controls keep touching.
    const int left = X(x), top = Y(y);
    return QRect(left, top, X(x + w) - left, Y(y + h) - top);
}

QSize CDialogUnits::ToPixels(QSize units) const { return QSize(X(units.width()), Y(units.height())); }
