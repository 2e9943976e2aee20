// Dialog units to pixels, as the dialog templates are written: a horizontal unit is a
// quarter of the font's average character width, a vertical unit an eighth of its height.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);
    CDialogUnits(int baseX, int baseY) : m_nBaseX(baseX), m_nBaseY(baseY) {}

    int BaseX() const { return m_nBaseX; }
    int BaseY() const { return m_nBaseY; }
    int X(int units) const;
    int Y(int units) const;
    QRect ToPixels(int x, int y, int w, int h) const;
    QSize ToPixels(QSize units) const;

    // Average character width of the reference font the pixel sizes of the list
    // columns and panels were chosen for (8-point dialog font at 96 dpi).
    static constexpr int kReferenceBaseX = 6;

private:
    int m_nBaseX;
    int m_nBaseY;
};
