#include "gui/JobBridge.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

void CGuiProgress::OnProgress(int position) {
    m_nPosition.store(position);
    QProgressBar* bar = m_pBar.data();
    if (!bar || m_bPending.exchange(true)) return;
    QMetaObject::invokeMethod(
        bar,
        [this, bar] {
            m_bPending.store(false);
            bar->setValue(m_nPosition.load());
        },
        Qt::QueuedConnection);
}

void CGuiPrompt::RunOnInterfaceThread(const std::function<void()>& fn) {
    if (QThread::currentThread() == m_pOwner->thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(m_pOwner, fn, Qt::BlockingQueuedConnection);
}

IUndeletePrompt::Answer CGuiPrompt::ConfirmOverwrite(const std::string& text) {
    Answer answer = Answer::Cancel;
    RunOnInterfaceThread([&] { answer = m_question(QString::fromStdString(text)); });
    return answer;
}

void CGuiPrompt::ShowMessage(Icon icon, const std::string& caption, const std::string& text) {
    RunOnInterfaceThread([&] { ShowMessageNow(icon, QString::fromStdString(caption), QString::fromStdString(text)); });
}

void CGuiPrompt::ShowMessageNow(Icon icon, const QString& caption, const QString& text) {
    QMessageBox::Icon boxIcon = QMessageBox::Information;
    if (icon == Icon::Exclamation) boxIcon = QMessageBox::Warning;
    if (icon == Icon::Error) boxIcon = QMessageBox::Critical;
    QMessageBox box(boxIcon, caption.isEmpty() ? m_szDefaultCaption : caption, text, QMessageBox::Ok, m_pOwner);
    box.exec();
}
