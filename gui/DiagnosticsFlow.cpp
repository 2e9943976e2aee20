#include "gui/DiagnosticsFlow.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

#include "common/runtime/RuntimeLibrary.h"

namespace {

// The file name of the last archive, offered again in the same process.
QString& LastChoice() {
    static QString path = QDir::home().filePath(QString::fromUtf8(diagnostics::kDefaultName));
    return path;
}

}  // namespace

bool RunDiagnostics(QWidget* owner, const runtime::CRuntimeLibrary& runtime) {
    const QString caption = QString::fromUtf8(diagnostics::kCaption);
    if (QMessageBox::question(owner, caption, QString::fromUtf8(diagnostics::kQuestion),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return false;

    QFileDialog dialog(owner, caption, LastChoice());
    dialog.setObjectName(QStringLiteral("DiagnosticsSaveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(QString::fromUtf8(diagnostics::kFilter).split(QStringLiteral(";;")));
    dialog.setDefaultSuffix(QStringLiteral("zip"));
    // The same dialog on every desktop, so that tests and the help describe what is shown.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.selectFile(LastChoice());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    const QString path = dialog.selectedFiles().first();
    LastChoice() = path;

    QFile::remove(path);
    if (runtime.MVdiag(QFile::encodeName(path).constData())) return true;
    QMessageBox::critical(owner, caption,
                          QStringLiteral("The diagnostics archive could not be written to %1.").arg(path));
    return false;
}
