#include "gui/CancelButton.h"

#include "fslib/core/JobState.h"
#include "gui/ControlIds.h"
#include "gui/DialogTemplate.h"
#include "gui/MainDlgStrings.h"

CCancelButton::CCancelButton(QWidget* parent) : QPushButton(QString::fromUtf8(text::kCancel), parent) {
    setObjectName(ControlName(ids::IDC_CANCEL_BUTTON));
    setFlat(true);
    setAutoDefault(false);
    setFocusPolicy(Qt::NoFocus);
    // The window shows the wait cursor while a job runs; the way out keeps the arrow.
    setCursor(Qt::ArrowCursor);
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setFixedWidth(std::max(kWidth, fontMetrics().horizontalAdvance(text()) + 12));
    connect(this, &QPushButton::clicked, this, [] { UserBreak.store(1); });
}
