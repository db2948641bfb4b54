// One station of a shop, run by a test: the whole application started as at run
// time in its own HOME, driven by commands on standard input, one per line. Every
// prompt it would show goes to standard output instead ("message: ..."); questions
// are answered No, the source dialog takes the first scanner.
//
//   download GAME SET   the set's whole card list from the catalogue  -> "cards N"
//   scan ROW AREA       scans the card in ROW with the scan area       -> "scanned ROW STATUS"
//   refresh             reads the scan status again (F5)               -> "statuses S0 S1 ..."
//   quit
#include "app/AppForms.h"
#include "app/CardListModel.h"
#include "app/Main.h"
#include "download/DownloadData.h"
#include "platform/Dialogs.h"
#include "scanner/FormSelectSource.h"
#include "scanner/TwainManager.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QThread>
#include <QTreeWidget>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

void say(const QString &Line)
{
    std::printf("%s\n", qPrintable(Line));
    std::fflush(stdout);
}

class TStationDialogs : public TDialogService
{
public:
    QString Game;
    QString Set;

    void ShowMessage(QWidget *, const QString &, const QString &Text, TMsgDlgType, bool) override
    {
        say(QStringLiteral("message: ") + QString(Text).replace(u'\n', u' '));
    }
    QString GetOpenFileName(QWidget *, const QString &, const QString &) override { return {}; }
    QString GetExistingDirectory(QWidget *, const QString &, const QString &) override { return {}; }
    bool AskYesNo(QWidget *Owner, const QString &Caption, const QString &Text) override
    {
        ShowMessage(Owner, Caption, Text, TMsgDlgType::Confirmation, true);
        return false;
    }
    void Beep() override {}

    int ExecModal(QDialog &Dialog) override
    {
        if (auto *sources = qobject_cast<TFormSelectSource *>(&Dialog)) {
            sources->lbSources->setCurrentRow(0);
            return QDialog::Accepted;
        }
        if (auto *download = qobject_cast<TfrmDownloadData *>(&Dialog)) {
            download->show();   // asks for the games list
            pick(download->lvGames, Game);
            download->lvGamesDblClick();
            pick(download->lvSets, Set);
            download->lvSetsDblClick();
            download->btAccept->click();
            download->hide();
            return download->result();
        }
        return QDialog::Rejected;
    }

private:
    static void pick(QTreeWidget *List, const QString &Name)
    {
        const auto found = List->findItems(Name, Qt::MatchExactly);
        if (!found.isEmpty())
            List->setCurrentItem(found.first());
    }
};

// The scanner's answer arrives through the poll timer; here it is polled until
// the scan has ended, for at most half a minute.
void waitForScan(TfrmMain &Main)
{
    QDeadlineTimer deadline(30000);
    while (Main.ScanCard && !deadline.hasExpired()) {
        Main.Twain->Poll();
        QCoreApplication::processEvents();
        if (Main.ScanCard)
            QThread::msleep(5);
    }
}

QString statuses(const TfrmMain &Main)
{
    QStringList out;
    for (int i = 0; i < Main.Cards.Count(); ++i)
        out << QString::number(Main.Cards.Objects(i)->ScanStatus);
    return out.join(u' ');
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TStationDialogs dialogs;
    SetDialogService(&dialogs);
    TAppForms forms;
    StartUp(forms);
    TfrmMain &main = *forms.frmMain;

    std::string line;
    while (std::getline(std::cin, line)) {
        const QStringList words = QString::fromStdString(line).split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        const QString &command = words[0];
        if (command == u"quit")
            break;
        if (command == u"download" && words.size() >= 3) {
            // Names with blanks are written with underscores.
            dialogs.Game = QString(words[1]).replace(u'_', u' ');
            dialogs.Set = QString(words[2]).replace(u'_', u' ');
            main.btDownload->click();
            say(QStringLiteral("cards %1").arg(main.Cards.Count()));
        } else if (command == u"scan" && words.size() >= 3) {
            const int row = words[1].toInt();
            main.vstCards->selectionModel()->setCurrentIndex(
                main.CardsModel->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            main.cbFormat->setCurrentIndex(main.cbFormat->findText(words[2]));
            main.mnAcquireImageClick();
            waitForScan(main);
            say(QStringLiteral("scanned %1 %2").arg(row).arg(main.Cards.Objects(row)->ScanStatus));
        } else if (command == u"refresh") {
            main.actRefreshScanStatusExecute();
            say(QStringLiteral("statuses ") + statuses(main));
        } else {
            say(QStringLiteral("unknown command: ") + command);
        }
        QCoreApplication::processEvents();
    }
    return 0;
}
