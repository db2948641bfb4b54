#include "app/CardListModel.h"
#include "app/ImageView.h"
#include "catalogue/Flags.h"
#include "XyList.h"
#include "support/AppFixture.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

namespace {

std::unique_ptr<TGameCard> makeCard(int Id, const QString &Name, int Number = 0,
                                    const AnsiString &Language = {}, const AnsiString &Foil = {})
{
    auto card = std::make_unique<TGameCard>();
    card->Id = Id;
    card->Name = Name;
    card->Number = Number;
    card->Language = Language;
    card->Foil = Foil;
    return card;
}

void writeJpeg(const QString &Path, QSize Size, QColor Colour)
{
    QDir().mkpath(QFileInfo(Path).absolutePath());
    QImage image(Size, QImage::Format_RGB32);
    image.fill(Colour);
    ASSERT_TRUE(image.save(Path, "JPG"));
}

void selectRow(TfrmMain &Main, int Row)
{
    Main.vstCards->selectionModel()->setCurrentIndex(
        Main.CardsModel->index(Row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QVariant cell(TfrmMain &Main, int Row, int Column, int Role)
{
    return Main.CardsModel->data(Main.CardsModel->index(Row, Column), Role);
}

} // namespace

TEST(CardGrid, CellsColoursAndFlagsComeFromTheCards)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    QAbstractItemModelTester tester(main.CardsModel.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::vector<std::unique_ptr<TGameCard>> cards;
    cards.push_back(makeCard(1, QStringLiteral("Foil even"), 0, "PL", "FOIL"));
    cards.push_back(makeCard(2, QStringLiteral("Foil odd"), 7, "en", "FOIL"));
    cards.push_back(makeCard(3, QStringLiteral("Plain even"), 0, "", "foil"));
    cards.push_back(makeCard(4, QStringLiteral("Plain odd")));
    cards[1]->ScanStatus = ScanHQ;
    cards[2]->ScanStatus = ScanVHQ;
    cards[3]->ScanStatus = ScanWeb;
    GiveXyList(main, cards);

    EXPECT_EQ(cell(main, 0, TCardListModel::ColNo, Qt::DisplayRole).toString(), QStringLiteral("0"));
    EXPECT_EQ(cell(main, 1, TCardListModel::ColNo, Qt::DisplayRole).toString(), QStringLiteral("7"));
    EXPECT_EQ(cell(main, 0, TCardListModel::ColLang, Qt::DisplayRole).toString(), QStringLiteral("PL"));

    const auto background = [&](int Row) {
        return cell(main, Row, TCardListModel::ColName, Qt::BackgroundRole).value<QBrush>().color();
    };
    EXPECT_EQ(background(0), QColor(192, 255, 192));
    EXPECT_EQ(background(1), QColor(224, 255, 224));
    EXPECT_EQ(background(2), QColor(226, 226, 226));   // "foil" in lower case is not foil
    EXPECT_EQ(background(3), QColor(245, 245, 245));

    const auto nameColour = [&](int Row) {
        return cell(main, Row, TCardListModel::ColName, Qt::ForegroundRole).value<QBrush>().color();
    };
    EXPECT_EQ(nameColour(0), QColor(255, 0, 0));
    EXPECT_EQ(nameColour(1), QColor(0, 128, 128));
    EXPECT_EQ(nameColour(2), QColor(128, 0, 128));
    EXPECT_EQ(nameColour(3), QColor(0, 0, 0));
    EXPECT_FALSE(cell(main, 0, TCardListModel::ColNo, Qt::ForegroundRole).isValid());

    const QVariant flag = cell(main, 0, TCardListModel::ColLang, Qt::DecorationRole);
    ASSERT_TRUE(flag.canConvert<QImage>());
    EXPECT_EQ(flag.value<QImage>(), main.ilFlags[FlagImageIndex("PL")]);
    EXPECT_FALSE(cell(main, 1, TCardListModel::ColLang, Qt::DecorationRole).isValid());   // "en"
    EXPECT_FALSE(cell(main, 2, TCardListModel::ColLang, Qt::DecorationRole).isValid());   // none
    // Outside the list nothing is answered.
    EXPECT_FALSE(main.CardsModel->data(QModelIndex(), Qt::DisplayRole).isValid());
}

TEST(CardGrid, SelectingACardFillsTheDetailsAndShowsItsBestScan)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    std::vector<std::unique_ptr<TGameCard>> cards;
    cards.push_back(makeCard(77, QStringLiteral("Scanned"), 0));
    cards.back()->SubsetId = 9;
    cards.back()->Notes = QStringLiteral("mind the corner");
    cards.back()->Rarity = QStringLiteral("Rare");
    cards.push_back(makeCard(78, QStringLiteral("Not scanned"), 4));
    cards.back()->CollectorsNo = QStringLiteral("4a");
    GiveXyList(main, cards);
    writeJpeg(main.HqDir + QStringLiteral("77.jpg"), QSize(300, 420), Qt::green);
    writeJpeg(main.WebDir + QStringLiteral("77.jpg"), QSize(100, 140), Qt::red);
    main.lbFileName->setText(QStringLiteral("last scan.jpg"));

    selectRow(main, 0);
    EXPECT_EQ(main.lbCardName->text(), QStringLiteral("Scanned"));
    EXPECT_TRUE(main.lbNo->text().isEmpty());             // number 0 shows nothing here
    EXPECT_EQ(main.lbID->text(), QStringLiteral("ID=77"));
    EXPECT_EQ(main.lbSubset->text(), QStringLiteral("9"));
    EXPECT_EQ(main.lbRarity->text(), QStringLiteral("Rare"));
    EXPECT_FALSE(main.btNotes->isHidden());
    EXPECT_EQ(main.Cards.Objects(0)->ScanStatus, ScanHQ);
    EXPECT_EQ(main.ImageHolder->Picture().size(), QSize(300, 420));
    EXPECT_EQ(main.lbFileName->text(), QStringLiteral("last scan.jpg"));

    main.Cards.Objects(1)->ScanStatus = ScanWeb;
    selectRow(main, 1);
    EXPECT_EQ(main.lbNo->text(), QStringLiteral("4"));
    EXPECT_EQ(main.lbCollectorsNo->text(), QStringLiteral("4a"));
    EXPECT_TRUE(main.btNotes->isHidden());
    EXPECT_TRUE(main.ImageHolder->Picture().isNull());
    EXPECT_EQ(main.Cards.Objects(1)->ScanStatus, ScanWeb);   // unchanged without a file

    main.vstCards->clearSelection();
    EXPECT_TRUE(main.lbCardName->text().isEmpty());
    EXPECT_TRUE(main.lbID->text().isEmpty());
}

TEST(CardGrid, SkipImageLoadKeepsTheAcquiredPictureOnce)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    std::vector<std::unique_ptr<TGameCard>> cards;
    cards.push_back(makeCard(1, QStringLiteral("One")));
    cards.push_back(makeCard(2, QStringLiteral("Two")));
    GiveXyList(main, cards);
    writeJpeg(main.MqDir + QStringLiteral("2.jpg"), QSize(50, 70), Qt::blue);
    QImage acquired(640, 480, QImage::Format_RGB32);
    acquired.fill(Qt::white);
    main.ImageHolder->SetPicture(acquired);

    main.SkipImageLoad = true;
    selectRow(main, 1);
    EXPECT_EQ(main.ImageHolder->Picture().size(), QSize(640, 480));
    EXPECT_EQ(main.Cards.Objects(1)->ScanStatus, ScanNone);
    EXPECT_FALSE(main.SkipImageLoad);

    selectRow(main, 0);
    selectRow(main, 1);
    EXPECT_EQ(main.ImageHolder->Picture().size(), QSize(50, 70));
    EXPECT_EQ(main.Cards.Objects(1)->ScanStatus, ScanMQ);
}

TEST(CardGrid, DamagedScanEmptiesThePictureAndSaysSoWithoutABox)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    std::vector<std::unique_ptr<TGameCard>> cards;
    cards.push_back(makeCard(5, QStringLiteral("Broken")));
    GiveXyList(main, cards);
    QDir().mkpath(main.VhqDir);
    QFile damaged(main.VhqDir + QStringLiteral("5.jpg"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("\xFF\xD8\xFF\xE0 this is not really a JPEG");
    damaged.close();
    main.ImageHolder->SetPicture(QImage(10, 10, QImage::Format_RGB32));

    selectRow(main, 0);
    EXPECT_TRUE(main.ImageHolder->Picture().isNull());
    EXPECT_EQ(main.Cards.Objects(0)->ScanStatus, ScanVHQ);
    EXPECT_EQ(main.lbCardName->text(), QStringLiteral("Broken"));
    EXPECT_TRUE(main.statusBar()->currentMessage().contains(QStringLiteral("5.jpg")));
    EXPECT_TRUE(app.Dialogs.Messages.empty());
}

TEST(CardGrid, HeaderClicksSortTheListInPlaceAndKeepTheSelectedPosition)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    std::vector<std::unique_ptr<TGameCard>> cards;
    cards.push_back(makeCard(1, QStringLiteral("beta"), 2));
    cards.push_back(makeCard(2, QStringLiteral("Alpha"), 3));
    cards.push_back(makeCard(3, QStringLiteral("gamma"), 1));
    GiveXyList(main, cards);
    selectRow(main, 0);

    main.vstCardsHeaderClick(TCardListModel::ColNo);
    EXPECT_EQ(main.Cards.Strings(0), QStringLiteral("gamma"));
    EXPECT_EQ(main.vstCards->horizontalHeader()->sortIndicatorSection(), TCardListModel::ColNo);
    EXPECT_EQ(main.vstCards->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    // Row 0 stays selected, and the details follow the card now in it, so the
    // panel shows the card a scan would be saved under.
    EXPECT_EQ(main.SelectedRow(), 0);
    EXPECT_EQ(main.lbCardName->text(), QStringLiteral("gamma"));
    EXPECT_EQ(main.SelectedCard()->Name, QStringLiteral("gamma"));

    main.vstCardsHeaderClick(TCardListModel::ColNo);
    EXPECT_EQ(main.Cards.Strings(0), QStringLiteral("Alpha"));
    EXPECT_EQ(main.vstCards->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    main.vstCardsHeaderClick(TCardListModel::ColName);
    EXPECT_EQ(main.Cards.Strings(0), QStringLiteral("Alpha"));
    EXPECT_EQ(main.Cards.Strings(2), QStringLiteral("gamma"));
    EXPECT_EQ(main.SortColumn(), TCardListModel::ColName);
}

TEST(CardGrid, TypingFindsANameAndANonMatchBeepsAndKeepsTheSelection)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    std::vector<std::unique_ptr<TGameCard>> cards;
    cards.push_back(makeCard(1, QStringLiteral("Alpha")));
    cards.push_back(makeCard(2, QStringLiteral("Beta")));
    cards.push_back(makeCard(3, QStringLiteral("Bear")));
    GiveXyList(main, cards);

    main.vstCardsIncrementalSearch(QStringLiteral("b"), false, 10'000);
    EXPECT_EQ(main.SelectedRow(), 1);
    main.vstCardsIncrementalSearch(QStringLiteral("E"), false, 10'100);
    main.vstCardsIncrementalSearch(QStringLiteral("a"), false, 10'200);
    EXPECT_EQ(main.SelectedRow(), 2);
    EXPECT_EQ(main.lbCardName->text(), QStringLiteral("Bear"));

    main.vstCardsIncrementalSearch(QStringLiteral("x"), false, 10'300);
    EXPECT_EQ(app.Dialogs.Beeps, 1);
    EXPECT_EQ(main.SelectedRow(), 2);

    main.vstCardsIncrementalSearch(QString(), true, 10'400);   // Backspace: "be"
    EXPECT_EQ(main.SelectedRow(), 1);

    // After a pause the search starts again.
    main.vstCardsIncrementalSearch(QStringLiteral("a"), false, 12'000);
    EXPECT_EQ(main.SelectedRow(), 0);
}

TEST(CardGrid, CardInfoNotesAndPopupEnabling)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    std::vector<std::unique_ptr<TGameCard>> cards;
    cards.push_back(makeCard(12, QStringLiteral("Łucznik"), 0, "PL", "FOIL"));
    cards.back()->SubsetId = 52;
    cards.back()->CollectorsNo = QStringLiteral("12b");
    cards.back()->ScanFile = "12.jpg";
    cards.back()->Rarity = QStringLiteral("C");
    cards.back()->P0 = QStringLiteral("Unit");
    cards.back()->Notes = QStringLiteral("bent");
    GiveXyList(main, cards);

    main.pmCardPopup();
    EXPECT_FALSE(main.mnAcquireImage->isEnabled());
    EXPECT_FALSE(main.mnCardInfo->isEnabled());
    EXPECT_FALSE(main.mnDownloadPicture->isEnabled());
    main.btNotesClick();   // no card selected: nothing happens
    EXPECT_TRUE(app.Dialogs.Messages.empty());

    selectRow(main, 0);
    main.pmCardPopup();
    EXPECT_TRUE(main.mnAcquireImage->isEnabled());
    EXPECT_TRUE(main.mnCardInfo->isEnabled());
    EXPECT_FALSE(main.mnDownloadPicture->isEnabled());
    EXPECT_EQ(main.pmCard->defaultAction(), main.mnAcquireImage);

    main.mnCardInfoClick();
    main.btNotesClick();
    ASSERT_EQ(app.Dialogs.Messages.size(), 2u);
    EXPECT_EQ(app.Dialogs.Messages[0].Text,
              QStringLiteral("Nazwa: Łucznik\r\nNr : 0\r\nNr kolekcjonerski: 12b\r\nID : 12\r\n"
                             "Jezyk : PL\r\nSkan : 12.jpg\r\nRarity : C\r\nFoil : FOIL\r\n"
                             "SubsetId : 52\r\nP0 : Unit\r\nP1 : \r\nUwagi : bent\r\n"));
    EXPECT_EQ(app.Dialogs.Messages[0].Type, TMsgDlgType::Information);
    EXPECT_EQ(app.Dialogs.Messages[1].Text, QStringLiteral("Notes:\r\nbent"));
}

TEST(CardGrid, AnyMouseButtonSelectsTheWholeRow)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    main.show();
    std::vector<std::unique_ptr<TGameCard>> cards;
    for (int i = 0; i < 3; ++i)
        cards.push_back(makeCard(i + 1, QStringLiteral("Card %1").arg(i)));
    GiveXyList(main, cards);
    QCoreApplication::processEvents();

    for (const auto &[button, row] : {std::pair{Qt::RightButton, 1}, std::pair{Qt::MiddleButton, 2},
                                     std::pair{Qt::LeftButton, 0}}) {
        const QRect cell = main.vstCards->visualRect(main.CardsModel->index(row, TCardListModel::ColName));
        QTest::mouseClick(main.vstCards->viewport(), button, {}, cell.center());
        EXPECT_EQ(main.SelectedRow(), row);
        EXPECT_EQ(main.vstCards->selectionModel()->selectedIndexes().size(),
                  main.CardsModel->columnCount());
    }
}

TEST(CardGrid, OneEnterStrokeOrLeftDoubleClickOnTheGridIsOneScanRequest)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    main.show();
    std::vector<std::unique_ptr<TGameCard>> cards;
    cards.push_back(makeCard(1, QStringLiteral("Alpha")));
    cards.push_back(makeCard(2, QStringLiteral("Beta")));
    GiveXyList(main, cards);
    selectRow(main, 0);
    QSignalSpy requests(&main, &TfrmMain::acquireRequested);
    QWidget *grid = main.vstCards;

    // Held Enter under X11: press, then release/press pairs marked auto-repeat.
    QTest::sendKeyEvent(QTest::Press, grid, Qt::Key_Return, QString(), Qt::NoModifier);
    for (int i = 0; i < 5; ++i) {
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QString(), true);
        QCoreApplication::sendEvent(grid, &release);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
        QCoreApplication::sendEvent(grid, &press);
    }
    QTest::sendKeyEvent(QTest::Release, grid, Qt::Key_Return, QString(), Qt::NoModifier);
    EXPECT_EQ(requests.count(), 1);

    // A release whose press went to another window (a box closed by Enter).
    QTest::sendKeyEvent(QTest::Release, grid, Qt::Key_Enter, QString(), Qt::NoModifier);
    EXPECT_EQ(requests.count(), 1);

    const QPoint cell = main.vstCards->visualRect(main.CardsModel->index(1, TCardListModel::ColName)).center();
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton})
        QTest::mouseDClick(main.vstCards->viewport(), button, {}, cell);
    EXPECT_EQ(requests.count(), 1);
    QTest::mouseDClick(main.vstCards->viewport(), Qt::LeftButton, {}, cell);
    EXPECT_EQ(requests.count(), 2);
}

TEST(CardGrid, DetailsPanelKeepsItsHeight)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    main.show();
    std::vector<std::unique_ptr<TGameCard>> cards;
    cards.push_back(makeCard(1, QStringLiteral("Plain")));
    cards.push_back(makeCard(2, QStringLiteral("Noted")));
    cards.back()->Notes = QStringLiteral("bent");
    cards.back()->P0 = QStringLiteral("Unit");
    GiveXyList(main, cards);
    QCoreApplication::processEvents();
    const QRect empty = main.panCardInfo->geometry();
    for (int row : {1, 0, 1}) {
        selectRow(main, row);
        QCoreApplication::processEvents();
        EXPECT_EQ(main.panCardInfo->geometry(), empty) << "row " << row;
    }
}
