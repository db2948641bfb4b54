// The main window's card list: selection, details, sorting, name search and the
// card pop-up menu.
#include "app/CardListModel.h"
#include "app/ImageView.h"
#include "app/Main.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/Keys.h"
#include "platform/MessageCatalogue.h"
#include "platform/CardGrid.h"
#include "scanning/ScanWorkflow.h"

#include <QAction>
#include <QDateTime>
#include <QFileInfo>
#include <QHeaderView>
#include <QImageReader>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTableView>

namespace {

// A picture in a quality folder: the catalogue's own web picture (ScanWeb) is
// no scan of the shop's.
bool hasScan(const TGameCard *Card)
{
    return Card && Card->ScanStatus >= ScanMQ;
}

// Message texts go through the 8-bit code page on their way to the screen.
QString viaAnsi(const QString &Text)
{
    return FromAnsi(ToAnsi(Text));
}

} // namespace

void TfrmMain::createCardMenu()
{
    pmCard = new QMenu(this);
    pmCard->setObjectName(QStringLiteral("pmCard"));
    mnAcquireImage = pmCard->addAction(_("Acquire Image"));
    mnAcquireImage->setObjectName(QStringLiteral("mnAcquireImage"));
    QFont bold = mnAcquireImage->font();
    bold.setBold(true);
    mnAcquireImage->setFont(bold);
    pmCard->setDefaultAction(mnAcquireImage);
    connect(mnAcquireImage, &QAction::triggered, this, Guarded(this, &TfrmMain::AcquireSelectedCard));
    mnCardInfo = pmCard->addAction(_("Card Info"));
    mnCardInfo->setObjectName(QStringLiteral("mnCardInfo"));
    connect(mnCardInfo, &QAction::triggered, this, Guarded(this, &TfrmMain::mnCardInfoClick));
    mnDownloadPicture = pmCard->addAction(_("Download picture"));
    mnDownloadPicture->setObjectName(QStringLiteral("mnDownloadPicture"));
    mnDownloadPicture->setEnabled(false);

    vstCards->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(vstCards, &QWidget::customContextMenuRequested, this, [this](const QPoint &Pos) {
        pmCardPopup();
        pmCard->exec(vstCards->viewport()->mapToGlobal(Pos));
    });
}

void TfrmMain::createImageMenu()
{
    pmImage = new QMenu(this);
    pmImage->setObjectName(QStringLiteral("pmImage"));
    pmImage->addAction(actFitToWindow);
    pmImage->addAction(actOriginalSize);
    pmImage->addSeparator();
    pmImage->addAction(actRotate90);
    pmImage->addAction(actRotate180);
    pmImage->addAction(actRotate270);
    for (QWidget *w : {static_cast<QWidget *>(sbImage), static_cast<QWidget *>(ImageHolder)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w](const QPoint &Pos) { pmImage->exec(w->mapToGlobal(Pos)); });
    }
}

int TfrmMain::SelectedRow() const
{
    const QModelIndexList rows = vstCards->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return -1;
    return rows.first().row();
}

TGameCard *TfrmMain::SelectedCard() const
{
    return CardsModel->CardAt(SelectedRow());
}

void TfrmMain::showCardDetails(const TGameCard &Card)
{
    lbCardName->setText(Card.Name);
    lbNo->setText(Card.Number > 0 ? QString::number(Card.Number) : QString());
    lbCollectorsNo->setText(Card.CollectorsNo);
    lbID->setText(QStringLiteral("ID=") + QString::number(Card.Id));
    lbRarity->setText(Card.Rarity);
    lbFoil->setText(FromAnsi(Card.Foil));
    lbSubset->setText(FromAnsi(TGameCard::SubsetName(Card.SubsetId)));
    lbScan->setText(FromAnsi(Card.ScanFile));
    lbP0->setText(Card.P0);
    lbP1->setText(Card.P1);
    btNotes->setVisible(!Card.Notes.isEmpty());
}

void TfrmMain::vstCardsChange(int Row)
{
    TGameCard *card = CardsModel->CardAt(Row);
    if (!card) {
        ClearCardDetails();
        return;
    }
    showCardDetails(*card);
    if (!SkipImageLoad) {
        const std::optional<TFoundScan> found =
            FindCardScan(*card, TStorePaths{WebDir, MqDir, HqDir, VhqDir});
        if (found) {
            CardsModel->Repaint();
            LoadImageFile(found->Path);
        } else {
            ImageHolder->ClearPicture();
        }
    }
    SkipImageLoad = false;
}

void TfrmMain::LoadImageFile(const QString &FileName)
{
    QImageReader reader(FileName);
    const QImage picture = reader.read();
    if (picture.isNull()) {
        // A damaged file must not stop the operator: no box per click, just a note.
        ImageHolder->ClearPicture();
        statusBar()->showMessage(_("Cannot show %1: %2").arg(QFileInfo(FileName).fileName(),
                                                              reader.errorString()));
        return;
    }
    statusBar()->clearMessage();
    ImageHolder->SetPicture(picture);
}

void TfrmMain::vstCardsHeaderClick(int Column)
{
    sortColumn_->Click(Column);
    SortCards(Cards, sortColumn_->Column(), sortColumn_->Descending());
    // The rows stay selected by position; only their contents change. The details,
    // the picture and the acquire command must then agree on the card now in the
    // selected row, or a scan would be saved under a card the panel does not show.
    CardsModel->Repaint();
    if (SelectedRow() >= 0)
        vstCardsChange(SelectedRow());
}

void TfrmMain::vstCardsIncrementalSearch(const QString &Typed, bool Backspace, qint64 NowMs)
{
    const QString candidate = Backspace ? search_.Backspace(NowMs) : search_.Typed(Typed, NowMs);
    if (candidate == search_.Text() || candidate.isEmpty()) {
        search_.Accept(candidate);
        return;
    }
    const int row = FindCardByNamePrefix(Cards, CardsModel->rowCount(), candidate);
    if (row < 0) {
        // The selection and the search text stay as they were.
        Beep();
        return;
    }
    search_.Accept(candidate);
    SelectRow(row);
}

void TfrmMain::SelectRow(int Row)
{
    const QModelIndex index = CardsModel->index(Row, TCardListModel::ColName);
    vstCards->selectionModel()->setCurrentIndex(index,
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    vstCards->scrollTo(index);
}

void TfrmMain::actGoToFirstUnscannedExecute()
{
    for (int row = 0; row < CardsModel->rowCount(); ++row) {
        if (!hasScan(CardsModel->CardAt(row))) {
            SelectRow(row);
            // Enter then scans it.
            vstCards->setFocus();
            return;
        }
    }
    if (CardsModel->rowCount() > 0)
        statusBar()->showMessage(_("Every card of this list has a scan."));
}

bool TfrmMain::savedInThisRun(const TGameCard &Card, int Naming) const
{
    // Its web file is among this station's own writes: every quality shares
    // the web folder.
    return scanning_->WroteInThisRun(WebDir + FromAnsi(Card.ScanFileName(Naming)));
}

void TfrmMain::UpdateScanProgress()
{
    // The grid's rows, not the list: the grid is emptied before the list is.
    const int total = CardsModel->rowCount();
    if (total == 0) {
        lbProgress->clear();
        return;
    }
    const int naming = fileNamesSetting();
    int scanned = 0;
    int thisRun = 0;
    for (int row = 0; row < total; ++row) {
        const TGameCard *card = CardsModel->CardAt(row);
        if (!hasScan(card))
            continue;
        ++scanned;
        if (savedInThisRun(*card, naming))
            ++thisRun;
    }
    lbProgress->setText(_n("Scanned %1 of %2 (%3 in this run)", "Scanned %1 of %2 (%3 in this run)",
                           static_cast<unsigned long>(total))
                            .arg(scanned)
                            .arg(total)
                            .arg(thisRun));
}

void TfrmMain::vstCardsKeyUp(int Key)
{
    if ((Key == Qt::Key_Return || Key == Qt::Key_Enter) && SelectedCard())
        AcquireSelectedCard();
}

void TfrmMain::vstCardsDblClick()
{
    if (SelectedCard())
        AcquireSelectedCard();
}

void TfrmMain::pmCardPopup()
{
    const bool selected = SelectedCard() != nullptr;
    mnAcquireImage->setEnabled(selected);
    mnCardInfo->setEnabled(selected);
}

void TfrmMain::mnCardInfoClick()
{
    const TGameCard *card = SelectedCard();
    if (!card)
        return;
    const QString crlf = QStringLiteral("\r\n");
    const QString text =
        QStringLiteral("Nazwa: ") + card->Name + crlf
        + QStringLiteral("Nr : ") + QString::number(card->Number) + crlf
        + QStringLiteral("Nr kolekcjonerski: ") + card->CollectorsNo + crlf
        + QStringLiteral("ID : ") + QString::number(card->Id) + crlf
        + QStringLiteral("Jezyk : ") + FromAnsi(card->Language) + crlf
        + QStringLiteral("Skan : ") + FromAnsi(card->ScanFile) + crlf
        + QStringLiteral("Rarity : ") + card->Rarity + crlf
        + QStringLiteral("Foil : ") + FromAnsi(card->Foil) + crlf
        + QStringLiteral("SubsetId : ") + QString::number(card->SubsetId) + crlf
        + QStringLiteral("P0 : ") + card->P0 + crlf
        + QStringLiteral("P1 : ") + card->P1 + crlf
        + QStringLiteral("Uwagi : ") + card->Notes + crlf;
    MessageDlg(viaAnsi(text), TMsgDlgType::Information);
}

void TfrmMain::btNotesClick()
{
    // The button can still be visible after the details were cleared.
    const TGameCard *card = SelectedCard();
    if (!card)
        return;
    MessageDlg(viaAnsi(QStringLiteral("Notes:\r\n") + card->Notes), TMsgDlgType::Information);
}

void TfrmMain::AcquireSelectedCard()
{
    emit acquireRequested();
    mnAcquireImageClick();
}

bool TfrmMain::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Watched == vstCards->viewport()) {
        // Only the left button's double click starts a scan, as on the platform
        // the grid was first made for.
        if (Event->type() == QEvent::MouseButtonDblClick
            && static_cast<QMouseEvent *>(Event)->button() == Qt::LeftButton)
            vstCardsDblClick();
        return QMainWindow::eventFilter(Watched, Event);
    }
    if (Watched != vstCards)
        return QMainWindow::eventFilter(Watched, Event);
    switch (Event->type()) {
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(Event);
        if (IsEnterKey(key->key())) {
            if (!key->isAutoRepeat())
                enterPressedOnGrid_ = true;
            break;
        }
        const qint64 now = searchClock_.elapsed();
        if (key->key() == Qt::Key_Backspace) {
            vstCardsIncrementalSearch(QString(), true, now);
            return true;
        }
        const QString text = key->text();
        if (!text.isEmpty() && text[0].isPrint()
            && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            vstCardsIncrementalSearch(text, false, now);
            return true;
        }
        break;
    }
    case QEvent::KeyRelease: {
        // X11 sends a release with every auto-repeat, and a box closed by Enter
        // leaves its release to the grid: one stroke that began here is one scan.
        auto *key = static_cast<QKeyEvent *>(Event);
        if (IsEnterKey(key->key())) {
            if (key->isAutoRepeat() || !enterPressedOnGrid_)
                break;
            enterPressedOnGrid_ = false;
        }
        vstCardsKeyUp(key->key());
        break;
    }
    case QEvent::FocusOut:
        enterPressedOnGrid_ = false;
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(Watched, Event);
}
