// Scanning card lists through the real data source manager, as an operator does.
#include "../cards/CardCorpus.h"
#include "ScanFixture.h"
#include "app/ImageView.h"
#include "app/ReviewCards.h"
#include "scanareas/CustomizeFormat.h"
#include "scanner/ScannerTest.h"

#include <QDir>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>

#include <functional>

TEST(Scanning, ThreeCardsAtThreeResolutionsLandInTheirFoldersAndTheSelectionMoves)
{
    TScanFixture f;
    f.PickFirstSource();
    f.LogLines();

    f.Scan(0, QStringLiteral("Std"));
    EXPECT_EQ(f.LogLines(), QStringList({
        "AcquireImageClick()", "Scan area is set", "Card info: id=1, nr=0, nrcol=, name=Card 1",
        "Store paths", "Scan area Std with dpi 300 starting at (0.10, 0.10), width=2.50, height=3.50",
        "Twain library loaded", "Choosing twain source", "SANE devices: not probed (VELLUMORA_SANE=0)",
        "Source is selected", "Loaded set to True",
        "Transfer mode set to 1", "Pixel type set 2", "Cap units set 0", "X resolution set 300",
        "Y resolution set 300", "Scan area set (0.10, 0.10, 2.60, 3.60)!", "Source enabled",
        "AcquireImageClick()-END", "TwainAcquire()", "Image assigned",
        "Cancel set to true (wants only single image)", "Saving images",
        "Scan check passed (empty 0.00, previous card none)",
        "hqName=" + f.Pics("HQ/xy/abc/1.jpg"), "webName=" + f.Pics("WEB/xy/abc/1.jpg"), "Folders ready",
        "image ratio=0.71", "HQ file saved", "Resized web image saved", "local scan status changed",
        "Image repainted", "File opened",
        "File info: 750x1050, " + QString::number(QFileInfo(f.Pics("HQ/xy/abc/1.jpg")).size() / 1024) + "kB",
        "File closed", "Move focus to next card", "SourceDisable()", "Loaded set to False",
        "TwainAcquire()-END", "TransferComplete(..., 0, -1)"}));

    f.Scan(1, QStringLiteral("Mini"));
    f.Scan(2, QStringLiteral("Big"));
    const struct { const char *Full; QSize FullSize; TScanStatus Status; } expected[] = {
        {"HQ/xy/abc/1.jpg", QSize(750, 1050), ScanHQ},
        {"MQ/xy/abc/2.jpg", QSize(375, 525), ScanMQ},
        {"VHQ/xy/abc/3.jpg", QSize(1500, 2100), ScanVHQ},
    };
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(jpegSize(f.Pics(QString::fromLatin1(expected[i].Full))), expected[i].FullSize) << i;
        EXPECT_EQ(jpegSize(f.Pics(QStringLiteral("WEB/xy/abc/%1.jpg").arg(i + 1))), QSize(375, 525)) << i;
        EXPECT_EQ(f.Main.Cards.Objects(i)->ScanStatus, expected[i].Status) << i;
    }
    EXPECT_EQ(f.Main.SelectedRow(), 3);
    EXPECT_EQ(f.Main.ImageHolder->Picture().size(), QSize(1500, 2100));   // the scan, not a file look-up
    EXPECT_EQ(f.Main.lbFileName->text(), f.Pics("VHQ/xy/abc/3.jpg"));
    EXPECT_TRUE(f.Main.lbSize->text().startsWith(QStringLiteral("1500x2100, ")));
    EXPECT_EQ(f.App.Dialogs.ModalForms, QStringList({QStringLiteral("FormSelectSource")}));   // chosen once

    // The last card: saved and marked, the selection stays.
    f.LogLines();
    f.Scan(3, QStringLiteral("Mini"));
    EXPECT_EQ(f.Main.SelectedRow(), 3);
    EXPECT_EQ(f.Main.Cards.Objects(3)->ScanStatus, ScanMQ);
    EXPECT_FALSE(f.LogLines().contains(QStringLiteral("Move focus to next card")));
}

TEST(Scanning, RefusalsLeaveNoScanUnderWay)
{
    TScanFixture f;
    f.Select(0, QString());
    f.Main.mnAcquireImageClick();
    f.Main.Twain->DsmSearchFolders = {f.App.Env.Path(QStringLiteral("nowhere"))};
    f.Select(0, QStringLiteral("Mini"));
    f.Main.mnAcquireImageClick();
    f.Main.Twain->DsmSearchFolders = {TDsmFixture::LibraryDir()};
    f.Main.mnAcquireImageClick();   // the source dialog is cancelled
    EXPECT_EQ(f.App.Dialogs.Texts(), QStringList({"Please choose scan area first!", "Twain is not installed.",
                                                  "Source not selected!"}));
    EXPECT_EQ(f.Main.ScanCard, nullptr);

    // A source that cannot be enabled gives no image: the card is let go, the source closed.
    f.Dsm.Set("fail 1 9 0x502", "1 1");
    f.PickFirstSource();
    f.Main.mnAcquireImageClick();
    EXPECT_EQ(f.Main.ScanCard, nullptr);
    EXPECT_EQ(f.Main.Twain->OpenSourceCount(), 0);

    // While a scan is under way a second one is refused.
    f.Dsm.Set("fail 1 9 0x502", "");
    f.Dsm.Set("scan_ms", "100000");
    f.App.Dialogs.Messages.clear();
    f.Main.mnAcquireImageClick();
    f.Main.mnAcquireImageClick();
    EXPECT_EQ(f.App.Dialogs.Texts(), QStringList({"A card is alreay scanned!"}));
    EXPECT_TRUE(f.LogLines().contains(QStringLiteral("ERR Card is already scanned!")));
}

TEST(Scanning, AListReplacedDuringTheScanKeepsTheCapturedFolders)
{
    TScanFixture f;
    f.PickFirstSource();
    f.Select(0, QStringLiteral("Mini"));
    f.Main.mnAcquireImageClick();
    f.GiveCards(2, 100);   // another list, no card with Id 1
    TExpansion other;
    other.Code = QStringLiteral("OTH");
    f.Main.SetStorePaths(GetStorePaths(nullptr, &other));
    f.Main.Twain->Poll();
    EXPECT_TRUE(QFile::exists(f.Pics("MQ/xy/abc/1.jpg")));
    EXPECT_EQ(f.Main.Cards.Objects(0)->ScanStatus, ScanNone);
    EXPECT_EQ(f.Main.ScanCard, nullptr);
}

TEST(Scanning, TwoImagesCancelAndFailure)
{
    TScanFixture f;
    f.PickFirstSource();
    f.Dsm.Set("pending", "2");
    f.Scan(0, QStringLiteral("Mini"));
    QStringList log = f.LogLines();
    EXPECT_EQ(log.count(QStringLiteral("TwainAcquire()")), 1);
    EXPECT_TRUE(log.contains(QStringLiteral("TransferComplete(..., 0, -1)")));

    f.Dsm.Set("pending", "1");
    f.Dsm.Set("xfer_result 1", "1 2");
    f.Scan(1, QStringLiteral("Mini"));
    log = f.LogLines();
    EXPECT_TRUE(log.contains(QStringLiteral("AcquireError()")));
    EXPECT_TRUE(log.contains(QStringLiteral("index=0, errorcode=1, additional=2")));
    EXPECT_EQ(f.Main.ScanCard, nullptr);

    f.Dsm.Set("xfer_result 1", "3 0");
    f.Scan(1, QStringLiteral("Mini"));
    EXPECT_TRUE(f.LogLines().contains(QStringLiteral("AcquireCancel()")));

    f.Dsm.Set("xfer_result 1", "");
    f.Scan(1, QStringLiteral("Mini"));   // accepted again
    EXPECT_TRUE(QFile::exists(f.Pics("MQ/xy/abc/2.jpg")));
}

TEST(Scanning, AFileOfAnotherCardIsReplacedOnlyWhenTheOperatorSaysSo)
{
    TScanFixture f;
    f.App.Forms.frmConfiguration->FileNames = 2;   // by number: cards 1 and 5 are both "0.jpg"
    f.GiveCards(2);
    f.Main.Cards.Objects(1)->Number = 0;
    f.PickFirstSource();
    f.Scan(0, QStringLiteral("Mini"));
    const QString file = f.Pics("MQ/xy/abc/0.jpg");
    const QDateTime first = QFileInfo(file).lastModified();
    f.Scan(0, QStringLiteral("Std"));   // the same card again: no question
    EXPECT_TRUE(f.App.Dialogs.Messages.empty());

    f.Scan(1, QStringLiteral("Mini"));   // unanswered: No
    ASSERT_EQ(f.App.Dialogs.Messages.size(), 1u);
    EXPECT_EQ(f.App.Dialogs.Messages[0].Type, TMsgDlgType::Confirmation);
    EXPECT_EQ(f.Main.Cards.Objects(1)->ScanStatus, ScanNone);
    EXPECT_EQ(QFileInfo(file).lastModified(), first);
    EXPECT_TRUE(f.LogLines().contains(QStringLiteral("Existing file of another card kept, card not saved: ") + file));

    f.App.Dialogs.QueueAnswer(true);
    f.Scan(1, QStringLiteral("Mini"));
    EXPECT_EQ(f.Main.Cards.Objects(1)->ScanStatus, ScanMQ);
}

TEST(Scanning, ScannerTestReportsEachCapability)
{
    TScanFixture f;
    f.PickFirstSource();
    f.Main.RunScannerCapabilitiesTest();
    const QStringList report = f.App.Forms.frmTest->Log->toPlainText().split(u'\n');
    ASSERT_EQ(report.size(), 14);
    EXPECT_EQ(report[2], QStringLiteral("Product: Virtual Flatbed"));
    EXPECT_EQ(report.mid(5), QStringList({"--- Capabilities test ---", "Loaded: True", "RGB pixel type: Ok",
                                          "Centimeter measure units: Ok", "Inch measure units: Ok",
                                          "Pixel measure units: Ok", "X resolution: Ok", "Y resolution: Ok",
                                          "Programmable scan area: Ok"}));
    EXPECT_TRUE(f.App.Forms.frmTest->isVisible());
    EXPECT_EQ(f.Main.Twain->OpenSourceCount(), 0);

    f.Dsm.Set("capfail 0x101 6", "1 13");
    f.Main.RunScannerCapabilitiesTest();   // the second run replaces the first
    const QStringList second = f.App.Forms.frmTest->Log->toPlainText().split(u'\n');
    ASSERT_EQ(second.size(), 14);
    EXPECT_EQ(second[7], QStringLiteral("RGB pixel type: UNSUPPORTED"));
}

TEST(Scanning, AnAreaChangedOrRemovedDuringTheScanDoesNotRedirectIt)
{
    TScanFixture f;
    f.PickFirstSource();
    // The operator opens "Scan size" while the scanner works, and changes the
    // scan's area to 600 dpi, then removes it altogether.
    auto scanWhileEditing = [&f](int Row, std::function<void(QDialog &)> Edit) {
        f.Select(Row, QStringLiteral("Std"));
        f.Main.mnAcquireImageClick();
        f.App.Dialogs.QueueModal([Edit](QDialog &Dialog) { Edit(Dialog); return int(QDialog::Accepted); });
        f.Main.actScanSize->trigger();
        f.Main.Twain->Poll();
    };
    auto selectArea = [](QDialog &Dialog) {
        auto &areas = static_cast<TfrmScanAreas &>(Dialog);
        areas.lvAreas->setCurrentItem(areas.lvAreas->findItems(QStringLiteral("Std"), Qt::MatchExactly).first());
        return &areas;
    };
    scanWhileEditing(0, [&](QDialog &Dialog) {
        TfrmScanAreas *areas = selectArea(Dialog);
        f.App.Dialogs.QueueModal([](QDialog &Editor) {
            auto &form = static_cast<TfrmCustomizeFormat &>(Editor);
            form.cbQuality->setCurrentIndex(form.cbQuality->findText(QStringLiteral("600")));
            QTest::mouseClick(form.btSet, Qt::LeftButton);
            return form.result();
        });
        QTest::mouseClick(areas->btChange, Qt::LeftButton);
    });
    scanWhileEditing(1, [&](QDialog &Dialog) { QTest::mouseClick(selectArea(Dialog)->btRemove, Qt::LeftButton); });

    EXPECT_EQ(f.App.Forms.frmScanAreas->Areas.Count(), 2);   // the edits themselves took
    for (int id : {1, 2}) {
        EXPECT_EQ(jpegSize(f.Pics(QStringLiteral("HQ/xy/abc/%1.jpg").arg(id))), QSize(750, 1050)) << id;
        EXPECT_EQ(jpegSize(f.Pics(QStringLiteral("WEB/xy/abc/%1.jpg").arg(id))), QSize(375, 525)) << id;
        EXPECT_EQ(f.Main.Cards.Objects(id - 1)->ScanStatus, ScanHQ) << id;
    }
    EXPECT_FALSE(QDir(f.Pics(QStringLiteral("VHQ"))).exists());
    EXPECT_FALSE(QDir(f.Pics(QStringLiteral("MQ"))).exists());
}

TEST(Scanning, CardsWithoutIdsAreToldApartAndNeverReplaceEachOthersFiles)
{
    TScanFixture f;
    // An id column left empty: every card is Id 0, every scan "0.jpg".
    f.App.Dialogs.QueueFileName(f.App.Env.WriteFile(
        QStringLiteral("no ids.csv"), "id;name;number;colno;rarity;foil;a;b;c;notes;p0;p1\n"
                                      ";Ash;1;;;;;;;;;\n;Birch;2;;;;;;;;;\n;Cedar;3;;;;;;;;;\n"));
    f.App.Dialogs.QueueAnswer(true);   // select the first of them
    f.Main.actLoadFromFileExecute();
    ASSERT_EQ(f.App.Dialogs.Texts(),
              QStringList({"3 cards share file names under this naming, for example 0.jpg; their scans would "
                           "replace each other.\n\nSelect the first of them?"}));
    EXPECT_EQ(f.Main.SelectedRow(), 0);
    const TStorePaths store = GetStorePaths(f.Main.Game.get(), f.Main.Expansion.get());
    f.App.Dialogs.Messages.clear();
    f.PickFirstSource();

    f.Scan(0, QStringLiteral("Mini"));
    EXPECT_EQ(f.Main.SelectedRow(), 1);   // the selection moved from the scanned card
    const QDateTime first = QFileInfo(store.WebDir + "0.jpg").lastModified();
    // Card 2 at 300 dpi: its full-size file would be new, but the web copy is card 1's.
    f.Scan(1, QStringLiteral("Std"));
    ASSERT_EQ(f.App.Dialogs.Messages.size(), 1u);
    EXPECT_TRUE(f.App.Dialogs.Messages[0].Text.contains(QDir::toNativeSeparators(store.WebDir + "0.jpg")));
    EXPECT_FALSE(QFile::exists(store.HqDir + "0.jpg"));
    EXPECT_EQ(QFileInfo(store.WebDir + "0.jpg").lastModified(), first);

    f.App.Dialogs.QueueAnswer(true);
    f.Scan(2, QStringLiteral("Std"));
    const int statuses[] = {ScanMQ, ScanNone, ScanHQ};   // each status on the card that was scanned
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(f.Main.Cards.Objects(row)->ScanStatus, statuses[row]) << row;
}

TEST(Scanning, TheScannerTestAndSourceChoiceWaitForTheScanUnderWay)
{
    TScanFixture f;
    f.PickFirstSource();
    f.Select(0, QStringLiteral("Mini"));
    f.Main.mnAcquireImageClick();
    f.Main.RunScannerCapabilitiesTest();
    f.Main.actSelectSourceExecute();
    ASSERT_EQ(f.App.Dialogs.Messages.size(), 2u);
    EXPECT_TRUE(f.App.Dialogs.Messages[0].Text.endsWith(QStringLiteral("then test the scanner.")));
    EXPECT_TRUE(f.App.Dialogs.Messages[1].Text.endsWith(QStringLiteral("then choose the scanner.")));
    EXPECT_FALSE(f.App.Forms.frmTest->isVisible());
    EXPECT_EQ(f.Main.Twain->OpenSourceCount(), 1);

    f.Main.Twain->Poll();   // the scan ends as if nothing had been asked
    EXPECT_EQ(f.Main.Cards.Objects(0)->ScanStatus, ScanMQ);
    EXPECT_EQ(f.Main.ScanCard, nullptr);
}

TEST(Scanning, AMissingOrRefusingScannerIsNamedAndFoundAgainWhenPluggedIn)
{
    TScanFixture f;
    f.Dsm.Set("sources", "2");
    f.App.Dialogs.QueueModal([](QDialog &Dialog) {
        auto &form = static_cast<TFormSelectSource &>(Dialog);
        form.lbSources->setCurrentRow(1);
        return int(QDialog::Accepted);
    });
    f.Scan(0, QStringLiteral("Mini"));
    EXPECT_EQ(f.Main.SourceName, QByteArray("Virtual Flatbed 2"));

    f.Dsm.Set("sources", "1");   // unplugged
    f.LogLines();
    f.Scan(1, QStringLiteral("Mini"));
    ASSERT_EQ(f.App.Dialogs.Messages.size(), 1u);
    EXPECT_EQ(f.App.Dialogs.Messages[0].Text,
              QStringLiteral("The scanner \"Virtual Flatbed 2\" was not found: it is not connected or not "
                             "switched on. Connect it and try again, or choose another scanner with Scanner, "
                             "Select Source."));
    EXPECT_TRUE(f.LogLines().contains(QStringLiteral("Source not found!")));
    EXPECT_EQ(f.Main.ScanCard, nullptr);

    f.Dsm.Set("sources", "2");   // plugged in again: found by its name, no question
    f.Scan(1, QStringLiteral("Mini"));
    EXPECT_EQ(f.Main.Cards.Objects(1)->ScanStatus, ScanMQ);
    EXPECT_EQ(f.App.Dialogs.ModalForms.size(), 1);

    // In use by another program: the reason is named and nothing is left pending.
    f.App.Dialogs.Messages.clear();
    f.Dsm.Set("fail 1 3 0x401", "1 4");
    f.Scan(2, QStringLiteral("Mini"));
    ASSERT_EQ(f.App.Dialogs.Messages.size(), 1u);
    EXPECT_EQ(f.App.Dialogs.Messages[0].Text,
              QStringLiteral("The scanner \"Virtual Flatbed 2\" cannot be opened: it is in use by another program."));
    EXPECT_EQ(f.Main.ScanCard, nullptr);

    // The source dialog lists the scanners there are now.
    f.Dsm.Set("fail 1 3 0x401", "");
    f.Dsm.Set("sources", "3");
    f.App.Dialogs.QueueModal([](QDialog &Dialog) {
        auto &form = static_cast<TFormSelectSource &>(Dialog);
        EXPECT_EQ(form.lbSources->count(), 3);
        EXPECT_EQ(form.lbSources->currentRow(), 1);   // the remembered scanner
        return int(QDialog::Rejected);
    });
    f.Main.actSelectSource->trigger();
    EXPECT_EQ(f.App.Dialogs.ModalForms.size(), 2);
}

TEST(Scanning, EscapeCancelsAScanThatNeverEnds)
{
    TScanFixture f;
    f.Main.show();
    f.Main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.Main));
    f.PickFirstSource();
    f.Dsm.Set("scan_ms", "600000");
    f.Select(1, QStringLiteral("Mini"));
    QTest::keyClick(f.Main.vstCards, Qt::Key_Return);
    ASSERT_NE(f.Main.ScanCard, nullptr);
    EXPECT_TRUE(f.Main.actCancelScan->isEnabled());
    EXPECT_EQ(f.Main.statusBar()->currentMessage(), QStringLiteral("Scanning \"Card 2\"; Escape cancels the scan."));
    f.Main.Twain->Poll();
    f.LogLines();

    QTest::keyClick(f.Main.vstCards, Qt::Key_Escape);
    EXPECT_EQ(f.Main.ScanCard, nullptr);
    EXPECT_EQ(f.Main.Twain->OpenSourceCount(), 0);
    EXPECT_FALSE(f.Main.actCancelScan->isEnabled());
    EXPECT_TRUE(f.Main.statusBar()->currentMessage().isEmpty());
    EXPECT_EQ(f.LogLines(), QStringList({"CancelScanClick()", "SourceDisable()", "Scan cancelled, source closed",
                                         "CancelScanClick()-END"}));
    EXPECT_EQ(f.Main.SelectedRow(), 1);
    EXPECT_EQ(f.Main.Cards.Objects(1)->ScanStatus, ScanNone);

    f.Dsm.Set("scan_ms", "0");
    QTest::keyClick(f.Main.vstCards, Qt::Key_Return);
    f.Main.Twain->Poll();
    EXPECT_EQ(f.Main.Cards.Objects(1)->ScanStatus, ScanMQ);
}

// Areas that straighten and crop, around the simulated card (2.5 x 3.5 inches
// at 0.1, 0.1) or cutting into it, and one in centimetres for a glass picture.
const char *const kCropAreas =
    "[Around]\nQuality=150\nUnits=0\nLeft=0\nTop=0\nWidth=2.8\nHeight=3.8\n"
    "CropToCard=1\nCardWidth=2.5\nCardHeight=3.5\n"
    "[Into]\nQuality=150\nUnits=0\nLeft=0.2\nTop=0.2\nWidth=2.7\nHeight=3.7\n"
    "CropToCard=1\nCardWidth=2.5\nCardHeight=3.5\n"
    "[Glass]\nQuality=300\nUnits=1\nLeft=0\nTop=0\nWidth=8\nHeight=10.5\n"
    "CropToCard=1\nCardWidth=6.3\nCardHeight=8.8\n";

TEST(Scanning, AnAreaThatCropsSavesTheCardStraightenedAndAsksWhenItIsNotSure)
{
    TScanFixture f;
    f.App.Env.WriteFile(QStringLiteral("home/.local/share/Quorvath/Vellu Mora/scan areas.ini"), kCropAreas);
    f.App.Forms.frmScanAreas->LoadScanAreas();
    f.PickFirstSource();
    f.LogLines();

    f.Scan(0, QStringLiteral("Around"));
    EXPECT_TRUE(f.App.Dialogs.Messages.empty());
    EXPECT_EQ(jpegSize(f.Pics("MQ/xy/abc/1.jpg")), QSize(375, 525));
    EXPECT_EQ(f.Main.ImageHolder->Picture().size(), QSize(375, 525));
    EXPECT_EQ(f.Main.Cards.Objects(0)->ScanStatus, ScanMQ);
    EXPECT_TRUE(f.LogLines().contains(QStringLiteral("Card straightened and cut, angle 0.00")));

    // The frame cuts into the card: declined, nothing is saved and the card waits.
    f.Scan(1, QStringLiteral("Into"));
    ASSERT_EQ(f.App.Dialogs.Messages.size(), 1u);
    EXPECT_EQ(f.App.Dialogs.Messages[0].Text,
              QStringLiteral("No card could be cut for sure from the scan: it touches the edge of the scan. "
                             "Save the whole frame?"));
    EXPECT_FALSE(QFile::exists(f.Pics("MQ/xy/abc/2.jpg")));
    EXPECT_EQ(f.Main.Cards.Objects(1)->ScanStatus, ScanNone);
    EXPECT_EQ(f.Main.SelectedRow(), 1);
    EXPECT_EQ(f.Main.ScanCard, nullptr);
    QStringList log = f.LogLines();
    EXPECT_TRUE(log.contains(QStringLiteral("No sure card in the scan: touches the image edge")));
    EXPECT_TRUE(log.contains(QStringLiteral("Scan not saved")));

    f.App.Dialogs.QueueAnswer(true);
    f.Scan(1, QStringLiteral("Into"));
    EXPECT_EQ(jpegSize(f.Pics("MQ/xy/abc/2.jpg")), QSize(405, 555));   // the whole frame
    EXPECT_EQ(f.Main.SelectedRow(), 2);
    EXPECT_TRUE(f.LogLines().contains(QStringLiteral("Whole frame kept")));
}

TEST(Scanning, ACardOnAGlassPictureIsFoundThroughTheWholeScanPath)
{
    TScanFixture f;
    f.App.Env.WriteFile(QStringLiteral("home/.local/share/Quorvath/Vellu Mora/scan areas.ini"), kCropAreas);
    f.App.Forms.frmScanAreas->LoadScanAreas();
    TGlassLayout layout = RandomGlass(5, 300, 1, 8, 3);
    layout.GlassMm = QSizeF(80, 105);
    layout.Cards[0].CentreMm = QPointF(40, 52);
    f.PutOnGlass(layout);
    f.PickFirstSource();
    f.Scan(0, QStringLiteral("Glass"));
    EXPECT_TRUE(f.App.Dialogs.Messages.empty());
    EXPECT_EQ(jpegSize(f.Pics("HQ/xy/abc/1.jpg")), QSize(744, 1039));
    EXPECT_GT(Psnr(f.Main.ImageHolder->Picture(), RenderReference(layout, 0)), 30);
}

TEST(Scanning, APassOverAGlassOfCardsSavesEachKeptCardAsItsOwnScan)
{
    TScanFixture f;
    f.App.Env.WriteFile(QStringLiteral("home/.local/share/Quorvath/Vellu Mora/scan areas.ini"),
                        "[Several]\nQuality=300\nUnits=1\nLeft=0\nTop=0\nWidth=21\nHeight=29.7\n"
                        "CropToCard=0\nCardWidth=6.3\nCardHeight=8.8\nSeveralCards=1\n");
    f.App.Forms.frmScanAreas->LoadScanAreas();
    f.GiveCards(6);
    f.PutOnGlass(RandomGlass(14, 300, 4, 6, 4));
    f.PickFirstSource();
    QStringList listed;
    f.App.Dialogs.QueueModal([&](QDialog &Dialog) {
        auto &review = static_cast<TfrmReviewCards &>(Dialog);
        QTest::keyClick(review.lvCards, Qt::Key_2);
        for (int row = 0; row < review.lvCards->model()->rowCount(); ++row)
            listed << review.lvCards->model()->index(row, 0).data().toString();
        QTest::keyClick(review.lvCards, Qt::Key_Return);
        return review.result();
    });
    f.LogLines();
    f.Scan(1, QStringLiteral("Several"));

    EXPECT_EQ(listed, QStringList({"1. Card 2", "2. Card 3: left out", "3. Card 4", "4. Card 5"}));
    QStringList named;
    for (const QString &line : f.LogLines())
        if (line.startsWith(QStringLiteral("Card")) && !line.startsWith(QStringLiteral("Card straightened")))
            named << line;
        else if (line.startsWith(QStringLiteral("hqName")) || line.startsWith(QStringLiteral("Move")))
            named << line;
    EXPECT_EQ(named, QStringList({"Card info: id=2, nr=1, nrcol=, name=Card 2",
                                  "Cards found: 4, unsure 0, beyond the list 0",
                                  "Card info: id=2, nr=1, nrcol=, name=Card 2", "hqName=" + f.Pics("HQ/xy/abc/2.jpg"),
                                  "Card left out: Card 3",
                                  "Card info: id=4, nr=3, nrcol=, name=Card 4", "hqName=" + f.Pics("HQ/xy/abc/4.jpg"),
                                  "Card info: id=5, nr=4, nrcol=, name=Card 5", "hqName=" + f.Pics("HQ/xy/abc/5.jpg"),
                                  "Move focus to next card"}));
    const TScanStatus statuses[] = {ScanNone, ScanHQ, ScanNone, ScanHQ, ScanHQ, ScanNone};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(f.Main.Cards.Objects(i)->ScanStatus, statuses[i]) << i;
        const bool saved = statuses[i] == ScanHQ;
        for (const char *folder : {"HQ", "WEB"})
            EXPECT_EQ(QFile::exists(f.Pics(QStringLiteral("%1/xy/abc/%2.jpg").arg(folder).arg(i + 1))), saved) << i;
        if (saved) {
            EXPECT_EQ(jpegSize(f.Pics(QStringLiteral("HQ/xy/abc/%1.jpg").arg(i + 1))), QSize(744, 1039));
        }
    }
    EXPECT_EQ(f.Main.SelectedRow(), 5);
    EXPECT_EQ(f.Main.ImageHolder->Picture().size(), QSize(744, 1039));
    EXPECT_EQ(f.Main.lbFileName->text(), f.Pics("HQ/xy/abc/5.jpg"));
    EXPECT_EQ(f.Main.ScanCard, nullptr);
}
