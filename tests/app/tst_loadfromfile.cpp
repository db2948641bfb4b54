#include "app/CardListModel.h"
#include "platform/AppError.h"
#include "support/AppFixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>

namespace {

const QByteArray kHeader = "id;name;number;colno;rarity;foil;a;b;c;notes;p0;p1\n";

// Loads a file through the open-file dialog, as the user does.
void loadThroughDialog(TAppFixture &App, const QString &FileName)
{
    App.Dialogs.QueueFileName(FileName);
    App.Main().actLoadFromFileExecute();
}

} // namespace

TEST(LoadFromFile, CardsCaptionColumnsAndFolders)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    const QString file = app.Env.WriteFile(
        QStringLiteral("lists/set one.csv"),
        kHeader
            + "101;\"Black Lotus\";3;;Rare;FOIL;x;y;z;\"Sac, add mana\";Artifact;;\n"
            + "102;Mox;0;;Rare;;;;;;Artifact;Jewel\n");

    loadThroughDialog(app, file);

    EXPECT_EQ(app.Dialogs.LastFilter, QStringLiteral("Data Files (*.csv)|*.csv"));
    EXPECT_EQ(app.Dialogs.LastInitialDir, app.Env.ExeDir());
    EXPECT_TRUE(app.Dialogs.Messages.empty());
    ASSERT_EQ(main.Cards.Count(), 2);
    const TGameCard &lotus = *main.Cards.Objects(0);
    EXPECT_EQ(lotus.Id, 101);
    EXPECT_EQ(lotus.Name, QStringLiteral("Black Lotus"));
    EXPECT_EQ(main.Cards.Strings(0), QStringLiteral("Black Lotus"));
    EXPECT_EQ(lotus.Number, 3);
    EXPECT_TRUE(lotus.IsFoil());
    EXPECT_EQ(lotus.Notes, QStringLiteral("Sac, add mana"));
    EXPECT_EQ(lotus.P0, QStringLiteral("Artifact"));
    EXPECT_TRUE(lotus.Language.isEmpty());
    EXPECT_EQ(main.Cards.Objects(1)->P1, QStringLiteral("Jewel"));
    EXPECT_EQ(main.CardsModel->rowCount(), 2);

    // Some card has a number, none a collector's number.
    EXPECT_FALSE(main.vstCards->isColumnHidden(TCardListModel::ColNo));
    EXPECT_TRUE(main.vstCards->isColumnHidden(TCardListModel::ColCollectorsNo));

    ASSERT_TRUE(main.Game && main.Expansion);
    EXPECT_EQ(main.Game->Code, QStringLiteral("OFFLINE"));
    EXPECT_EQ(main.lbGameSet->text(), file + QStringLiteral(", ") + main.Expansion->Name);
    EXPECT_EQ(main.WebDir, app.Env.ExeDir() + QStringLiteral("pics/WEB/offline/")
                               + main.Expansion->Code + QLatin1Char('/'));
    EXPECT_EQ(main.VhqDir, app.Env.ExeDir() + QStringLiteral("pics/VHQ/offline/")
                               + main.Expansion->Code + QLatin1Char('/'));
    EXPECT_EQ(main.SortColumn(), -1);
}

TEST(LoadFromFile, HeaderOnlyOrEmptyFileGivesAnEmptyListWithCaptionAndFolders)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    for (const QByteArray &content : {kHeader, QByteArray()}) {
        const QString file = app.Env.WriteFile(QStringLiteral("lists/empty.csv"), content);
        loadThroughDialog(app, file);
        EXPECT_TRUE(app.Dialogs.Messages.empty());
        EXPECT_EQ(main.Cards.Count(), 0);
        EXPECT_TRUE(main.vstCards->isColumnHidden(TCardListModel::ColNo));
        EXPECT_TRUE(main.vstCards->isColumnHidden(TCardListModel::ColCollectorsNo));
        EXPECT_TRUE(main.lbGameSet->text().startsWith(file));
        EXPECT_FALSE(main.WebDir.isEmpty());
    }
}

TEST(LoadFromFile, WrongFormatKeepsCaptionColumnsFoldersAndSortButShowsNoRows)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    const QString good = app.Env.WriteFile(QStringLiteral("good.csv"),
                                           kHeader + "1;A;0;c1;R;;;;;;;\n");
    loadThroughDialog(app, good);
    main.vstCardsHeaderClick(TCardListModel::ColName);
    const QString caption = main.lbGameSet->text();
    const QString webDir = main.WebDir;

    // The second card line has only 11 fields.
    const QString bad = app.Env.WriteFile(QStringLiteral("bad.csv"),
                                          kHeader + "1;A;5;;R;;;;;;;\n2;B;6;;R;;;;;;\n");
    loadThroughDialog(app, bad);

    ASSERT_EQ(app.Dialogs.Messages.size(), 1u);
    EXPECT_EQ(app.Dialogs.Messages[0].Text, QStringLiteral("Wrong data format!"));
    EXPECT_EQ(app.Dialogs.Messages[0].Caption, QStringLiteral("Error"));
    EXPECT_EQ(main.Cards.Count(), 1);              // read before the bad line
    EXPECT_EQ(main.CardsModel->rowCount(), 0);      // but not shown
    EXPECT_EQ(main.lbGameSet->text(), caption);
    EXPECT_EQ(main.WebDir, webDir);
    EXPECT_TRUE(main.vstCards->isColumnHidden(TCardListModel::ColNo));
    EXPECT_FALSE(main.vstCards->isColumnHidden(TCardListModel::ColCollectorsNo));
    EXPECT_EQ(main.SortColumn(), TCardListModel::ColName);
    EXPECT_EQ(main.Game->Code, QStringLiteral("OFFLINE"));
}

TEST(LoadFromFile, CancelledDialogChangesNothing)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    app.Main().actLoadFromFileExecute();
    EXPECT_FALSE(main.Game);
    EXPECT_EQ(main.lbGameSet->text(), QStringLiteral("Name"));
}

TEST(LoadFromFile, UnreadableFileIsReportedByTheErrorHandlerAndLeavesAnEmptyList)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    loadThroughDialog(app, app.Env.WriteFile(QStringLiteral("one.csv"), kHeader + "1;A;1;;R;;;;;;;\n"));
    ASSERT_EQ(main.Cards.Count(), 1);

    const QString gone = app.Env.Path(QStringLiteral("vanished.csv"));
    app.Dialogs.QueueFileName(gone);
    // Run the command from the event loop, where a menu click runs it.
    QMetaObject::invokeMethod(&main, [&main] { main.actLoadFromFileExecute(); }, Qt::QueuedConnection);
    QCoreApplication::processEvents();

    ASSERT_EQ(app.Dialogs.Messages.size(), 1u);
    EXPECT_EQ(app.Dialogs.Messages[0].Caption, QStringLiteral("Error"));
    EXPECT_TRUE(app.Dialogs.Messages[0].Text.contains(QStringLiteral("vanished.csv")));
    EXPECT_EQ(main.Cards.Count(), 0);
    EXPECT_EQ(main.CardsModel->rowCount(), 0);
    EXPECT_EQ(main.Game->Code, QStringLiteral("OFFLINE"));
    // The main window goes on: the next load works.
    loadThroughDialog(app, app.Env.WriteFile(QStringLiteral("two.csv"), kHeader + "2;B;1;;R;;;;;;;\n"));
    EXPECT_EQ(main.CardsModel->rowCount(), 1);
}

TEST(LoadFromFile, EachLoadGetsItsOwnSetFolder)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    const QString file = app.Env.WriteFile(QStringLiteral("l.csv"), kHeader);
    loadThroughDialog(app, file);
    const QString first = main.Expansion->Code;
    EXPECT_EQ(first.size(), QStringLiteral("2010-03-27 140509").size());
    EXPECT_TRUE(main.WebDir.endsWith(first + QLatin1Char('/')));
}
