#include "app/CardListModel.h"
#include "catalogue/ScanStore.h"
#include "settings/T_Log.h"
#include "support/AppFixture.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTest>

namespace {
QStringList menuTitles(QMenuBar *Bar)
{
    QStringList titles;
    for (QAction *a : Bar->actions())
        titles << a->text();
    return titles;
}

QStringList menuItems(QMenu *Menu)
{
    QStringList items;
    for (QAction *a : Menu->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return items;
}
} // namespace

TEST(StartUp, FormsAreCreatedOnceInOrderAndDestroyedMainLast)
{
    TTestEnvironment env;
    TDialogRecorder dialogs;
    QStringList destroyed;
    {
        TAppForms forms;
        StartUp(forms);
        EXPECT_EQ(forms.CreationOrder,
                  QStringList({"frmMain", "frmLoading", "frmCustomizeFormat", "frmDownloadData",
                               "frmAbout", "frmConfiguration", "frmScanAreas", "frmTest"}));
        for (QObject *form : std::initializer_list<QObject *>{
                 forms.frmMain.get(), forms.frmLoading.get(), forms.frmCustomizeFormat.get(),
                 forms.frmDownloadData.get(), forms.frmAbout.get(), forms.frmConfiguration.get(),
                 forms.frmScanAreas.get(), forms.frmTest.get()}) {
            const QString name = form->objectName();
            QObject::connect(form, &QObject::destroyed, [&destroyed, name] { destroyed << name; });
        }
    }
    EXPECT_EQ(destroyed,
              QStringList({"frmTest", "frmScanAreas", "frmConfiguration", "frmAbout",
                           "frmDownloadData", "frmCustomizeFormat", "frmLoading", "frmMain"}));
}

TEST(MainWindow, InitialState)
{
    TAppFixture app;
    TfrmMain &main = app.Main();

    EXPECT_EQ(main.windowTitle(), QStringLiteral("Scanner"));
    EXPECT_EQ(main.size(), QSize(1079, 822));
    EXPECT_EQ(main.SourceIndex, -1);
    EXPECT_FALSE(main.Game);
    EXPECT_FALSE(main.Expansion);
    EXPECT_FALSE(main.ScanCard);
    EXPECT_EQ(main.ScanArea, nullptr);
    EXPECT_FALSE(main.SkipImageLoad);
    EXPECT_TRUE(main.Cards.IsEmpty());
    EXPECT_TRUE(main.WebDir.isEmpty());
    EXPECT_EQ(main.lbGameSet->text(), QStringLiteral("Name"));
    EXPECT_TRUE(main.lbGameSet->font().bold());
    EXPECT_TRUE(main.lbFileName->text().isEmpty());
    EXPECT_TRUE(main.lbSize->text().isEmpty());
    EXPECT_EQ(main.btDownload->text(), QStringLiteral("Download card list from server"));
    EXPECT_EQ(main.lbScanArea->text(), QStringLiteral("Scan Area"));
    EXPECT_EQ(main.CardsModel->rowCount(), 0);

    EXPECT_EQ(main.OpenDialog.Filter, QStringLiteral("Data Files (*.csv)|*.csv"));
    EXPECT_EQ(main.OpenDialog.InitialDir, app.Env.ExeDir());

    // The left panel starts 334 pixels wide, the image area takes the rest.
    main.show();
    const auto *splitter = main.findChild<QSplitter *>(QStringLiteral("Splitter"));
    ASSERT_NE(splitter, nullptr);
    EXPECT_EQ(splitter->sizes().value(0), 334);

    // The image area starts fitted.
    EXPECT_TRUE(main.actFitToWindow->isChecked());
    EXPECT_FALSE(main.actOriginalSize->isChecked());
}

TEST(MainWindow, MenusAndTheirStates)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    EXPECT_EQ(menuTitles(main.menuBar()),
              QStringList({"File", "Scanner", "Image", "View", "Help"}));
    const QList<QAction *> menus = main.menuBar()->actions();
    EXPECT_EQ(menuItems(menus[0]->menu()),
              QStringList({"Load From File", "-", "Batch Job", "-", "Exit"}));
    EXPECT_EQ(menuItems(menus[1]->menu()),
              QStringList({"Select Source", "Configuration", "Scan size", "-", "Cancel scan"}));
    EXPECT_EQ(menuItems(menus[2]->menu()),
              QStringList({"_rotate_90_", "_rotate_180_", "_rotate_270_"}));
    EXPECT_EQ(menuItems(menus[3]->menu()),
              QStringList({"Fit Scan to Window", "Original Size", "-", "Refresh scan status",
                           "Go to first unscanned card"}));
    EXPECT_EQ(menuItems(menus[4]->menu()), QStringList({"About"}));

    EXPECT_FALSE(main.actBatchJob->isEnabled());
    EXPECT_EQ(main.actBatchJob->toolTip(),
              QStringLiteral("Performs operations like resize or watermark on multiple files"));
    EXPECT_FALSE(menus[2]->isEnabled());
    for (QAction *rotation : {main.actRotate90, main.actRotate180, main.actRotate270})
        EXPECT_FALSE(rotation->isEnabled());
    for (QAction *enabled : {main.actLoadFromFile, main.actExit, main.actSelectSource,
                             main.actConfiguration, main.actScanSize, main.actAbout})
        EXPECT_TRUE(enabled->isEnabled());
    // No accelerator letters anywhere in the menu texts.
    for (QAction *menu : menus) {
        EXPECT_FALSE(menu->text().contains(QLatin1Char('&')));
        for (QAction *item : menu->menu()->actions())
            EXPECT_FALSE(item->text().contains(QLatin1Char('&'))) << item->text().toStdString();
    }
}

TEST(MainWindow, CardGridColumnsAndFileFactsPlacement)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    QAbstractItemModelTester tester(main.CardsModel.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);

    QHeaderView *header = main.vstCards->horizontalHeader();
    QStringList headers;
    for (int c = 0; c < main.CardsModel->columnCount(); ++c)
        headers << main.CardsModel->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers, QStringList({"No.", "Col No.", "Name", "Lang"}));
    EXPECT_EQ(header->sectionSize(TCardListModel::ColCollectorsNo), 100);
    EXPECT_EQ(header->sectionSize(TCardListModel::ColLang), 30);
    EXPECT_TRUE(header->sectionsMovable());
    EXPECT_EQ(main.vstCards->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(main.vstCards->selectionBehavior(), QAbstractItemView::SelectRows);

    const int expected = main.lbFilename1->x()
                         + main.lbFilename1->fontMetrics().horizontalAdvance(QStringLiteral("Filename:")) + 5;
    EXPECT_EQ(main.lbFileName->x(), expected);
    EXPECT_EQ(main.lbSize->x(), expected);
}

TEST(MainWindow, DownloadHandOverReplacesTheListAndCancelKeepsIt)
{
    TAppFixture app;
    TfrmMain &main = app.Main();

    TGame game;
    game.Id = 3;
    game.Name = QStringLiteral("Game");
    game.Code = QStringLiteral("GM");
    TExpansion set;
    set.Id = 9;
    set.Name = QStringLiteral("Base Set");
    set.Code = QStringLiteral("BS");
    TGameCard a, b;
    a.Id = 1;
    a.Name = QStringLiteral("Alpha");
    a.CollectorsNo = QStringLiteral("1a");
    b.Id = 2;
    b.Name = QStringLiteral("Beta");
    // The status comes from the store, read again when the list arrives.
    app.Env.WriteFile(QStringLiteral("bin/pics/HQ/gm/bs/1.jpg"), "scan");

    // The dialog hands over before it closes with OK.
    app.Dialogs.QueueModal([&](QDialog &) {
        main.AcceptDownloadedList(game, set, {&a, &b});
        return int(QDialog::Accepted);
    });
    main.vstCardsHeaderClick(TCardListModel::ColName);
    main.btDownloadClick();

    ASSERT_EQ(main.Cards.Count(), 2);
    EXPECT_NE(main.Cards.Objects(0), &a);   // a copy, not the dialog's card
    EXPECT_EQ(main.Cards.Objects(0)->ScanStatus, ScanHQ);
    EXPECT_EQ(main.Cards.Strings(1), QStringLiteral("Beta"));
    EXPECT_EQ(main.CardsModel->rowCount(), 2);
    EXPECT_TRUE(main.vstCards->isColumnHidden(TCardListModel::ColNo));
    EXPECT_FALSE(main.vstCards->isColumnHidden(TCardListModel::ColCollectorsNo));
    EXPECT_EQ(main.lbGameSet->text(), QStringLiteral("Game, Base Set"));
    EXPECT_EQ(main.WebDir, GetStorePaths(&game, &set).WebDir);
    EXPECT_TRUE(main.WebDir.endsWith(QStringLiteral("pics/WEB/gm/bs/")));
    EXPECT_EQ(main.SortColumn(), -1);
    EXPECT_FALSE(main.vstCards->horizontalHeader()->isSortIndicatorShown());

    // Cancelled: list, caption, folders and sort order stay.
    main.vstCardsHeaderClick(TCardListModel::ColName);
    app.Dialogs.QueueModal([](QDialog &) { return int(QDialog::Rejected); });
    main.btDownloadClick();
    EXPECT_EQ(main.Cards.Count(), 2);
    EXPECT_EQ(main.lbGameSet->text(), QStringLiteral("Game, Base Set"));
    EXPECT_EQ(main.SortColumn(), TCardListModel::ColName);
    EXPECT_EQ(app.Dialogs.ModalForms, QStringList({"frmDownloadData", "frmDownloadData"}));
}

TEST(MainWindow, MenuCommandsOpenTheirDialogsModally)
{
    TAppFixture app;
    TfrmMain &main = app.Main();
    main.actConfiguration->trigger();
    main.actScanSize->trigger();
    main.actAbout->trigger();
    EXPECT_EQ(app.Dialogs.ModalForms,
              QStringList({"frmConfiguration", "frmScanAreas", "frmAbout"}));
}

TEST(MainWindow, RunLogLivesFromTheMainWindowsCreationToItsDestruction)
{
    TTestEnvironment env;
    TDialogRecorder dialogs;
    // A new account has no state folder yet: the log makes it.
    ASSERT_FALSE(QFileInfo::exists(env.Path(QStringLiteral("home/.local/state"))));
    {
        TAppForms forms;
        StartUp(forms);
        ASSERT_NE(AppLog, nullptr);
        EXPECT_EQ(AppLog->MaxLines, 1);
        AppLog->Add(QStringLiteral("buffered until the end"));
    }
    EXPECT_EQ(AppLog, nullptr);
    QFile log(env.Path(QStringLiteral("home/.local/state/Vellumora000.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    ASSERT_EQ(lines.size(), 4);   // three lines and the empty rest after the last break
    EXPECT_TRUE(lines[0].endsWith(" Vellumora started\r"));
    EXPECT_TRUE(lines[1].endsWith(" buffered until the end\r"));
    EXPECT_TRUE(lines[2].endsWith(" Vellumora closed\r"));
    // Each line carries its time stamp: "yy/mm/dd hh:nn:ss ".
    EXPECT_EQ(lines[0].indexOf(' '), 8);
}
