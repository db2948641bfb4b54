// Scanning card lists through the real data source manager, as an operator does.
#include "../scanner/DsmFixture.h"
#include "app/CardListModel.h"
#include "app/ImageView.h"
#include "catalogue/ScanStore.h"
#include "scanareas/ScanAreaStore.h"
#include "scanner/FormSelectSource.h"
#include "scanner/ScannerTest.h"
#include "settings/T_Log.h"
#include "support/AppFixture.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTableView>

namespace {

const char *const kAreas =
    "[Mini]\nQuality=150\nUnits=0\nLeft=0\nTop=0\nWidth=2.5\nHeight=3.5\n"
    "[Std]\nQuality=300\nUnits=0\nLeft=0.1\nTop=0.1\nWidth=2.5\nHeight=3.5\n"
    "[Big]\nQuality=600\nUnits=0\nLeft=0\nTop=0\nWidth=2.5\nHeight=3.5\n";

struct TScanFixture
{
    TAppFixture App;
    TDsmFixture Dsm;
    TfrmMain &Main = App.Main();

    TScanFixture()
    {
        App.Env.WriteFile(QStringLiteral("home/.local/share/Quorvath/Vellu Mora/scan areas.ini"), kAreas);
        App.Forms.frmScanAreas->LoadScanAreas();
        Main.Twain->DsmSearchFolders = {TDsmFixture::LibraryDir()};
        GiveCards(4);
    }

    void GiveCards(int Count, int FirstId = 1)
    {
        TGame game;
        game.Name = QStringLiteral("XY game");
        game.Code = QStringLiteral("XY");
        TExpansion set;
        set.Name = QStringLiteral("ABC set");
        set.Code = QStringLiteral("ABC");
        std::vector<std::unique_ptr<TGameCard>> cards;
        std::vector<const TGameCard *> accepted;
        for (int i = 0; i < Count; ++i) {
            cards.push_back(std::make_unique<TGameCard>());
            cards.back()->Id = FirstId + i;
            cards.back()->Number = i;
            cards.back()->Name = QStringLiteral("Card %1").arg(FirstId + i);
            accepted.push_back(cards.back().get());
        }
        Main.AcceptDownloadedList(game, set, accepted);
        Main.SetStorePaths(GetStorePaths(&game, &set));
    }

    // The source dialog, when it comes, picks the first source.
    void PickFirstSource()
    {
        App.Dialogs.QueueModal([](QDialog &Dialog) {
            auto &form = static_cast<TFormSelectSource &>(Dialog);
            EXPECT_EQ(form.lbSources->item(0)->text(), QStringLiteral("Virtual Flatbed"));
            return int(QDialog::Accepted);
        });
    }

    void Select(int Row, const QString &Area)
    {
        Main.vstCards->selectionModel()->setCurrentIndex(
            Main.CardsModel->index(Row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        Main.cbFormat->setCurrentIndex(Main.cbFormat->findText(Area));
    }

    // Acquire, then let the pump offer the poll message, as its timer would.
    void Scan(int Row, const QString &Area)
    {
        Select(Row, Area);
        Main.mnAcquireImageClick();
        Main.Twain->Poll();
    }

    // The run log since the last call, without time stamps.
    QStringList LogLines()
    {
        AppLog->Flush();
        QFile file(AppLog->FileName);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines;
        for (const QString &line : QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            lines << line.mid(18);
        const QStringList fresh = lines.mid(logRead_);
        logRead_ = lines.size();
        return fresh;
    }

    QString Pics(const QString &Relative) const { return App.Env.ExeDir() + QStringLiteral("pics/") + Relative; }

private:
    qsizetype logRead_ = 0;
};

QSize jpegSize(const QString &Path)
{
    QImageReader reader(Path);
    EXPECT_EQ(reader.format(), QByteArray("jpeg")) << Path.toStdString();
    return reader.size();
}

} // namespace

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
