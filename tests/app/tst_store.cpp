// The scan store in a folder of the shop's choosing, shared by several stations.
#include "ScanFixture.h"
#include "catalogue/StoreFolder.h"
#include "output/SaveJpeg.h"
#include "settings/Configuration.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QToolButton>

namespace {

// VELLUMORA_STORE for one test.
struct TStoreVariable
{
    explicit TStoreVariable(const QString &Folder) { qputenv("VELLUMORA_STORE", Folder.toLocal8Bit()); }
    ~TStoreVariable() { qunsetenv("VELLUMORA_STORE"); }
};

// What another station leaves in the store: a card's full-size and web files.
void writeScanOfAnotherStation(const QString &FullSize, const QString &Web)
{
    QImage picture(60, 84, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QDir().mkpath(QFileInfo(FullSize).absolutePath());
    QDir().mkpath(QFileInfo(Web).absolutePath());
    SaveHqAndWebJpeg(picture, FullSize, 84, 80, Web, 60.0 / 84, QString(), {});
}

} // namespace

TEST(ScanStoreFolder, ChosenInTheConfigurationCheckedAndUsedForTheNextScans)
{
    TScanFixture f;
    const QString shared = f.App.Env.Path(QStringLiteral("share/store"));
    QDir().mkpath(shared);
    f.App.Dialogs.QueueModal([&](QDialog &Dialog) {
        auto &form = static_cast<TfrmConfiguration &>(Dialog);
        form.FormShow();
        f.App.Dialogs.QueueFileName(f.App.Env.Path(QStringLiteral("share/missing")));
        QTest::mouseClick(form.btStoreFolder, Qt::LeftButton);
        QTest::mouseClick(form.btOk, Qt::LeftButton);   // refused, the dialog stays
        EXPECT_EQ(form.result(), int(QDialog::Rejected));
        f.App.Dialogs.QueueFileName(shared);
        QTest::mouseClick(form.btStoreFolder, Qt::LeftButton);
        QTest::mouseClick(form.btOk, Qt::LeftButton);
        return form.result();
    });
    f.Main.actConfiguration->trigger();
    EXPECT_EQ(f.App.Dialogs.Texts(),
              QStringList({"The scan store folder \"" + f.App.Env.Path(QStringLiteral("share/missing"))
                           + "\" cannot be used: it does not exist."}));
    EXPECT_EQ(LoadSettingsValues().ScanStoreFolder, shared);
    EXPECT_EQ(f.Main.WebDir, shared + QStringLiteral("/WEB/xy/abc/"));   // the list moved with it

    f.PickFirstSource();
    f.Scan(0, QStringLiteral("Mini"));
    EXPECT_EQ(jpegSize(shared + QStringLiteral("/MQ/xy/abc/1.jpg")), QSize(375, 525));
}

TEST(ScanStoreFolder, AFolderThatCannotBeUsedAtStartUpLeavesTheDefaultForTheRun)
{
    TAppFixture app;
    const QString fallback = app.Env.ExeDir() + QStringLiteral("pics/");
    const QString gone = app.Env.Path(QStringLiteral("unmounted share"));
    TStoredSettings stored;
    stored.ScanStoreFolder = gone;
    SaveSettingsValues(stored);

    TAppForms station;   // the next start of the program
    StartUp(station);
    EXPECT_EQ(ScanStoreRoot(), fallback);
    EXPECT_TRUE(app.Dialogs.Messages.empty());   // said when the window shows
    station.frmMain->FormShow();
    EXPECT_EQ(app.Dialogs.Texts(), QStringList({"The scan store folder \"" + gone
                                                + "\" cannot be used: it does not exist. Scans are kept in \""
                                                + fallback + "\" for this run."}));
    station.frmMain->close();
    EXPECT_EQ(LoadSettingsValues().ScanStoreFolder, gone);   // kept for when the share is back

    // The variable wins over the setting for the session.
    const QString session = app.Env.Path(QStringLiteral("session store"));
    QDir().mkpath(session);
    TStoreVariable variable(session);
    TAppForms next;
    StartUp(next);
    EXPECT_EQ(ScanStoreRoot(), session + QStringLiteral("/"));
}

TEST(ScanStoreFolder, AnotherStationsScansShowOnRefreshAndAreNotReplacedUnasked)
{
    TScanFixture f;
    f.Main.show();
    f.Main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.Main));
    f.App.Dialogs.Messages.clear();   // the first-run notice
    // Card 4 was scanned before this list was loaded; card 2 by another station since.
    writeScanOfAnotherStation(f.Pics(QStringLiteral("MQ/xy/abc/4.jpg")), f.Pics(QStringLiteral("WEB/xy/abc/4.jpg")));
    f.GiveCards(4);
    writeScanOfAnotherStation(f.Pics(QStringLiteral("HQ/xy/abc/2.jpg")), f.Pics(QStringLiteral("WEB/xy/abc/2.jpg")));
    EXPECT_EQ(f.Main.Cards.Objects(1)->ScanStatus, ScanNone);
    // Coming back to the window re-reads the store only once the last reading is old enough.
    const auto activate = [&] {
        QEvent activation(QEvent::ActivationChange);
        QApplication::sendEvent(&f.Main, &activation);
    };
    activate();
    EXPECT_EQ(f.Main.Cards.Objects(1)->ScanStatus, ScanNone);
    f.Main.StatusRereadAfterMs = 0;
    activate();
    EXPECT_EQ(f.Main.Cards.Objects(1)->ScanStatus, ScanHQ);
    EXPECT_EQ(f.Main.Cards.Objects(3)->ScanStatus, ScanMQ);
    writeScanOfAnotherStation(f.Pics(QStringLiteral("HQ/xy/abc/3.jpg")), f.Pics(QStringLiteral("WEB/xy/abc/3.jpg")));
    QTest::keyClick(f.Main.vstCards, Qt::Key_F5);
    EXPECT_EQ(f.Main.Cards.Objects(2)->ScanStatus, ScanHQ);

    f.PickFirstSource();
    const QDateTime theirs = QFileInfo(f.Pics(QStringLiteral("HQ/xy/abc/2.jpg"))).lastModified();
    f.Scan(1, QStringLiteral("Std"));   // unanswered: No
    ASSERT_EQ(f.App.Dialogs.Messages.size(), 1u) << f.App.Dialogs.Texts().join(u'|').toStdString();
    EXPECT_EQ(f.App.Dialogs.Messages[0].Text,
              "The file \"" + f.Pics(QStringLiteral("HQ/xy/abc/2.jpg"))
                  + "\" was written by another station after this list was loaded. Replace it?");
    EXPECT_EQ(QFileInfo(f.Pics(QStringLiteral("HQ/xy/abc/2.jpg"))).lastModified(), theirs);
    EXPECT_TRUE(f.LogLines().contains("File of another station kept, card not saved: "
                                      + f.Pics(QStringLiteral("HQ/xy/abc/2.jpg"))));

    // Files that were there at loading and this station's own scans are replaced without a word.
    f.App.Dialogs.Messages.clear();
    f.Scan(3, QStringLiteral("Mini"));
    f.Scan(0, QStringLiteral("Mini"));
    f.Scan(0, QStringLiteral("Mini"));
    EXPECT_TRUE(f.App.Dialogs.Messages.empty());
    EXPECT_EQ(f.Main.Cards.Objects(0)->ScanStatus, ScanMQ);
}
