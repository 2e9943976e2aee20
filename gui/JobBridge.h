// How the workers reach the window: progress positions forwarded with queued calls (a
// new one only after the window took the last), and the questions and message boxes of
// the jobs shown on the interface thread while the worker waits for the answer.
#pragma once

#include <QPointer>
#include <QProgressBar>
#include <QWidget>
#include <atomic>
#include <functional>

#include "app/UndeleteJob.h"
#include "fslib/core/JobState.h"

class CGuiProgress final : public IProgressSink {
public:
    void SetBar(QProgressBar* bar) { m_pBar = bar; }
    void OnProgress(int position) override;

private:
    QPointer<QProgressBar> m_pBar;
    std::atomic<int> m_nPosition{0};
    std::atomic<bool> m_bPending{false};
};

class CGuiPrompt final : public IUndeletePrompt {
public:
    // The dialog asking the overwrite question: the window's CConfirmOverwriteDlg.
    using OverwriteQuestion = std::function<Answer(const QString& text)>;

    CGuiPrompt(QWidget* owner, QString defaultCaption, OverwriteQuestion question)
        : m_pOwner(owner), m_szDefaultCaption(std::move(defaultCaption)), m_question(std::move(question)) {}

    Answer ConfirmOverwrite(const std::string& text) override;
    void ShowMessage(Icon icon, const std::string& caption, const std::string& text) override;

    // The box itself, on the interface thread.
    void ShowMessageNow(Icon icon, const QString& caption, const QString& text);

private:
    // Runs fn on the interface thread and returns when it has; called from there, it
    // simply runs fn.
    void RunOnInterfaceThread(const std::function<void()>& fn);

    QWidget* m_pOwner;
    QString m_szDefaultCaption;
    OverwriteQuestion m_question;
};
