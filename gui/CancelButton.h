// The Cancel button of the status bar during a scan or an undelete: it raises the
// user-break flag that the workers and the parsers test.
#pragma once

#include <QPushButton>

class CCancelButton final : public QPushButton {
    Q_OBJECT
public:
    static constexpr int kWidth = 56;
    explicit CCancelButton(QWidget* parent = nullptr);
};
