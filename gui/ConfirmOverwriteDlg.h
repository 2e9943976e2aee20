// "Confirm File Overwrite" (template 139): asked by the undelete job before it writes
// over a file of the same name. Yes ends with IDOK, No with IDNO, All with IDALL, Cancel
// (button or Esc) with IDCANCEL.
#pragma once

#include <QDialog>
#include <QIcon>

#include "app/UndeleteJob.h"
#include "gui/DialogTemplate.h"

class QLabel;

class CConfirmOverwriteDlg final : public QDialog {
    Q_OBJECT
public:
    static const DialogTemplate kTemplate;

    CConfirmOverwriteDlg(QWidget* parent, const QString& message, const QIcon& warningIcon);
    QString Message() const { return m_szMessage; }

    // The job's answer for a dialog result.
    static IUndeletePrompt::Answer AnswerOf(int result);

protected:
    void reject() override;

private:
    QString m_szMessage;
};
