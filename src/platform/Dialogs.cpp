#include "platform/Dialogs.h"

#include "platform/MessageCatalogue.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace {

// Converts a filter of "Description|pattern|Description|pattern" pairs into Qt's form.
QString toQtFilter(const QString &Filter)
{
    const QStringList parts = Filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString pattern = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        if (!description.contains(QLatin1Char('(')))
            description += QStringLiteral(" (%1)").arg(pattern);
        filters << description;
    }
    return filters.join(QStringLiteral(";;"));
}

class TQtDialogService final : public TDialogService
{
public:
    void ShowMessage(QWidget *Owner, const QString &Caption, const QString &Text,
                     TMsgDlgType Type, bool WithIcon) override
    {
        QMessageBox box(Owner);
        box.setWindowTitle(Caption);
        box.setText(Text);
        box.setStandardButtons(QMessageBox::Ok);
        if (WithIcon) {
            switch (Type) {
            case TMsgDlgType::Information: box.setIcon(QMessageBox::Information); break;
            case TMsgDlgType::Warning: box.setIcon(QMessageBox::Warning); break;
            case TMsgDlgType::Error: box.setIcon(QMessageBox::Critical); break;
            case TMsgDlgType::Confirmation: box.setIcon(QMessageBox::Question); break;
            }
        }
        box.exec();
    }

    QString GetOpenFileName(QWidget *Owner, const QString &InitialDir,
                            const QString &Filter) override
    {
        return QFileDialog::getOpenFileName(Owner, QString(), InitialDir, toQtFilter(Filter));
    }

    QString GetExistingDirectory(QWidget *Owner, const QString &Caption,
                                 const QString &InitialDir) override
    {
        return QFileDialog::getExistingDirectory(Owner, Caption, InitialDir);
    }

    int ExecModal(QDialog &Dialog) override { return Dialog.exec(); }

    bool AskYesNo(QWidget *Owner, const QString &Caption, const QString &Text) override
    {
        QMessageBox box(QMessageBox::Question, Caption, Text, QMessageBox::Yes | QMessageBox::No, Owner);
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }

    void Beep() override { QApplication::beep(); }
};

TQtDialogService &qtService()
{
    static TQtDialogService service;
    return service;
}

TDialogService *installed = nullptr;

} // namespace

TDialogService &Dialogs()
{
    return installed ? *installed : qtService();
}

void SetDialogService(TDialogService *Service)
{
    installed = Service;
}

void ShowMessageBox(const QString &Caption, const QString &Text)
{
    Dialogs().ShowMessage(nullptr, Caption, Text, TMsgDlgType::Information, false);
}

void ShowMessage(const QString &Text)
{
    Dialogs().ShowMessage(QApplication::activeWindow(), QGuiApplication::applicationDisplayName(), Text,
                          TMsgDlgType::Information, false);
}

QString MsgDlgCaption(TMsgDlgType Type)
{
    switch (Type) {
    case TMsgDlgType::Information: return _("Information");
    case TMsgDlgType::Warning: return _("Warning");
    case TMsgDlgType::Error: return _("Error");
    case TMsgDlgType::Confirmation: return _("Confirm");
    }
    return {};
}

void MessageDlg(const QString &Text, TMsgDlgType Type)
{
    Dialogs().ShowMessage(QApplication::activeWindow(), MsgDlgCaption(Type), Text, Type, true);
}

bool MessageDlgYesNo(const QString &Text)
{
    return Dialogs().AskYesNo(QApplication::activeWindow(), MsgDlgCaption(TMsgDlgType::Confirmation), Text);
}

int ShowModal(QDialog &Dialog)
{
    return Dialogs().ExecModal(Dialog);
}

void Beep()
{
    Dialogs().Beep();
}
