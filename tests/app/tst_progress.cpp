// The list's progress in the status bar and the way back to where a run stopped.
#include "ScanFixture.h"

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QTest>

namespace {

// A scan left in the store before this run: its full-size and web files.
void writeEarlierScan(const TScanFixture &F, int Id)
{
    QImage picture(60, 84, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    for (const char *folder : {"MQ", "WEB"}) {
        const QString file = F.Pics(QStringLiteral("%1/xy/abc/%2.jpg").arg(QLatin1String(folder)).arg(Id));
        ASSERT_TRUE(QDir().mkpath(QFileInfo(file).absolutePath()));
        ASSERT_TRUE(picture.save(file, "JPEG"));
    }
}

void showActive(TfrmMain &Main)
{
    Main.show();
    Main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Main));
}

} // namespace

TEST(ScanProgress, CountsTheListsScansAndThisRunsAfterEveryLoadRefreshAndScan)
{
    TScanFixture f;
    showActive(f.Main);
    writeEarlierScan(f, 3);
    f.GiveCards(4);
    QTest::keyClick(f.Main.vstCards, Qt::Key_F5);
    EXPECT_EQ(f.Main.lbProgress->text(), QStringLiteral("Scanned 1 of 4 (0 in this run)"));

    // While the scanner works its message and the progress show side by side.
    f.PickFirstSource();
    f.Select(0, QStringLiteral("Mini"));
    f.Main.mnAcquireImageClick();
    EXPECT_FALSE(f.Main.statusBar()->currentMessage().isEmpty());
    EXPECT_TRUE(f.Main.lbProgress->isVisible());
    f.Main.Twain->Poll();
    EXPECT_EQ(f.Main.lbProgress->text(), QStringLiteral("Scanned 2 of 4 (1 in this run)"));
    f.Scan(2, QStringLiteral("Mini"));   // a card scanned before, scanned again
    EXPECT_EQ(f.Main.lbProgress->text(), QStringLiteral("Scanned 2 of 4 (2 in this run)"));

    // A new list counts its own cards; scans of this run carry over to it.
    f.GiveCards(6);
    QTest::keyClick(f.Main.vstCards, Qt::Key_F5);
    EXPECT_EQ(f.Main.lbProgress->text(), QStringLiteral("Scanned 2 of 6 (2 in this run)"));
    f.Main.ClearCards();
    EXPECT_TRUE(f.Main.lbProgress->text().isEmpty());
}

TEST(ScanProgress, CtrlUSelectsTheFirstUnscannedCardInTheShownOrder)
{
    TScanFixture f;
    f.GiveCards(40);
    showActive(f.Main);
    for (const int id : {40, 39, 1})
        writeEarlierScan(f, id);
    QTest::keyClick(f.Main.vstCards, Qt::Key_F5);
    // Sorted by name, descending: "Card 9", "Card 8", ... "Card 40", "Card 4", "Card 39", ...
    const int nameColumn = TCardListModel::ColName;
    QHeaderView *header = f.Main.vstCards->horizontalHeader();
    for (int click = 0; click < 2; ++click)
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(nameColumn) + 5, header->height() / 2));
    f.Main.vstCards->scrollToTop();
    f.App.Dialogs.Messages.clear();

    QTest::keyClick(QApplication::activeWindow(), Qt::Key_U, Qt::ControlModifier);
    ASSERT_NE(f.Main.SelectedCard(), nullptr);
    EXPECT_EQ(f.Main.SelectedCard()->Name, QStringLiteral("Card 9"));

    // Scan the top rows away from view: the first unscanned one is far down,
    // past one that has only the catalogue's own picture.
    for (int row = 0; row < 30; ++row)
        f.Main.CardsModel->CardAt(row)->ScanStatus = ScanMQ;
    f.Main.CardsModel->CardAt(29)->ScanStatus = ScanWeb;
    f.Main.vstCards->scrollToTop();
    QTest::keyClick(QApplication::activeWindow(), Qt::Key_U, Qt::ControlModifier);
    const TGameCard *selected = f.Main.SelectedCard();
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(selected, f.Main.CardsModel->CardAt(29));
    const QRect shown = f.Main.vstCards->visualRect(f.Main.CardsModel->index(29, nameColumn));
    EXPECT_TRUE(f.Main.vstCards->viewport()->rect().contains(shown)) << "scrolled to it";
    EXPECT_TRUE(f.Main.vstCards->hasFocus());

    for (int row = 0; row < 40; ++row)
        f.Main.CardsModel->CardAt(row)->ScanStatus = ScanMQ;
    QTest::keyClick(QApplication::activeWindow(), Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(f.Main.SelectedCard(), selected);
    EXPECT_EQ(f.Main.statusBar()->currentMessage(), QStringLiteral("Every card of this list has a scan."));
    EXPECT_TRUE(f.App.Dialogs.Messages.empty());
}
