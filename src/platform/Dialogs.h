#pragma once

#include <QString>

class QDialog;
class QWidget;

enum class TMsgDlgType { Information, Warning, Error, Confirmation };

// Every prompt the application shows goes through this one service, so tests
// can answer and record them instead of blocking on a modal window.
class TDialogService
{
public:
    virtual ~TDialogService() = default;

    virtual void ShowMessage(QWidget *Owner, const QString &Caption, const QString &Text,
                             TMsgDlgType Type, bool WithIcon) = 0;
    // The chosen file's full path, or empty when the user cancelled.
    virtual QString GetOpenFileName(QWidget *Owner, const QString &InitialDir,
                                    const QString &Filter) = 0;
    // The chosen folder's full path, or empty when the user cancelled.
    virtual QString GetExistingDirectory(QWidget *Owner, const QString &Caption,
                                         const QString &InitialDir) = 0;
    virtual int ExecModal(QDialog &Dialog) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool AskYesNo(QWidget *Owner, const QString &Caption, const QString &Text) = 0;
    virtual void Beep() = 0;
};

// The production service shows real Qt dialogs.
TDialogService &Dialogs();
// Installs another service (tests); nullptr restores the production one.
void SetDialogService(TDialogService *Service);

// A modal message with the given caption, one OK button, no icon and no owner.
void ShowMessageBox(const QString &Caption, const QString &Text);
// A plain message: the application's name as caption, the text, one OK button.
void ShowMessage(const QString &Text);
// A message dialog with the icon of its type and one OK button; the caption is
// the type's name ("Error", "Information", ...).
void MessageDlg(const QString &Text, TMsgDlgType Type);
QString MsgDlgCaption(TMsgDlgType Type);

// A confirmation ("Confirm", question icon) with Yes and No; true for Yes.
bool MessageDlgYesNo(const QString &Text);

int ShowModal(QDialog &Dialog);
void Beep();
