#include "support/DialogRecorder.h"

#include <QDialog>

TDialogRecorder::TDialogRecorder()
{
    SetDialogService(this);
}

TDialogRecorder::~TDialogRecorder()
{
    SetDialogService(nullptr);
}

QStringList TDialogRecorder::Texts() const
{
    QStringList texts;
    for (const Message &m : Messages)
        texts << m.Text;
    return texts;
}

void TDialogRecorder::ShowMessage(QWidget *, const QString &Caption, const QString &Text,
                                  TMsgDlgType Type, bool WithIcon)
{
    Messages.push_back({Caption, Text, Type, WithIcon});
}

QString TDialogRecorder::GetOpenFileName(QWidget *, const QString &InitialDir,
                                         const QString &Filter)
{
    LastInitialDir = InitialDir;
    LastFilter = Filter;
    if (fileNames_.empty())
        return {};
    QString name = fileNames_.front();
    fileNames_.pop_front();
    return name;
}

QString TDialogRecorder::GetExistingDirectory(QWidget *Owner, const QString &, const QString &InitialDir)
{
    return GetOpenFileName(Owner, InitialDir, QString());
}

int TDialogRecorder::ExecModal(QDialog &Dialog)
{
    ModalForms << Dialog.objectName();
    if (modals_.empty())
        return QDialog::Rejected;
    auto handler = std::move(modals_.front());
    modals_.pop_front();
    return handler(Dialog);
}

bool TDialogRecorder::AskYesNo(QWidget *, const QString &Caption, const QString &Text)
{
    Messages.push_back({Caption, Text, TMsgDlgType::Confirmation, true});
    if (answers_.empty())
        return false;
    const bool answer = answers_.front();
    answers_.pop_front();
    return answer;
}
