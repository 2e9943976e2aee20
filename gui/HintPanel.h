// A borderless panel centred over the file list that paints its text centred: the
// invitation to scan, or why a drive cannot be scanned (with a second, smaller line
// that says what to do about it).
#pragma once

#include <QString>
#include <QWidget>

class CHintPanel final : public QWidget {
    Q_OBJECT
public:
    // The panel's least size in pixels; it grows to fit its text.
    static constexpr int kWidth = 328;
    static constexpr int kHeight = 30;

    explicit CHintPanel(QWidget* list);
    void SetText(const QString& text, const QString& reason = QString());
    QString Text() const { return m_szText; }
    QString Reason() const { return m_szReason; }
    // Centres the panel in its parent.
    void Recentre();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString m_szText;
    QString m_szReason;
};
