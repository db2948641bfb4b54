#pragma once

#include "platform/Dialogs.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

// Answers and records every prompt instead of showing it. Installed for the
// lifetime of the object.
class TDialogRecorder : public TDialogService
{
public:
    struct Message
    {
        QString Caption;
        QString Text;
        TMsgDlgType Type;
        bool WithIcon;
    };

    TDialogRecorder();
    ~TDialogRecorder() override;

    std::vector<Message> Messages;
    QStringList ModalForms;     // object names of the dialogs run modally, in order
    int Beeps = 0;

    // The next open-file or folder dialog returns this (empty = cancelled).
    void QueueFileName(const QString &FileName) { fileNames_.push_back(FileName); }
    // The next modal dialog is handed to Handler, whose result is the dialog's.
    // Without a queued handler a modal dialog returns Rejected at once.
    void QueueModal(std::function<int(QDialog &)> Handler) { modals_.push_back(std::move(Handler)); }

    // The next Yes/No question is answered with Answer; unqueued questions get No.
    void QueueAnswer(bool Answer) { answers_.push_back(Answer); }

    QStringList Texts() const;

    void ShowMessage(QWidget *Owner, const QString &Caption, const QString &Text,
                     TMsgDlgType Type, bool WithIcon) override;
    QString GetOpenFileName(QWidget *Owner, const QString &InitialDir,
                            const QString &Filter) override;
    QString GetExistingDirectory(QWidget *Owner, const QString &Caption,
                                 const QString &InitialDir) override;
    int ExecModal(QDialog &Dialog) override;
    // Recorded in Messages as a Confirmation.
    bool AskYesNo(QWidget *Owner, const QString &Caption, const QString &Text) override;
    void Beep() override { ++Beeps; }

    QString LastInitialDir;
    QString LastFilter;

private:
    std::deque<QString> fileNames_;
    std::deque<std::function<int(QDialog &)>> modals_;
    std::deque<bool> answers_;
};
